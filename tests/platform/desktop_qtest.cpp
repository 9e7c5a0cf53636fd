// The containing-folder URL handed to the file manager: every byte of the name kept; whether
// that folder, and a file, is there. File names shown readably whatever their bytes.
#include "platform/desktop.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void containingFolderUrlKeepsEveryByte_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("plain") << QByteArray("/data/CT/a.dcm") << QByteArray("file:///data/CT");
        QTest::newRow("at the root") << QByteArray("/a.dcm") << QByteArray("file:///");
        QTest::newRow("space and hash")
            << QByteArray("/my scans/#1/a") << QByteArray("file:///my%20scans/%231");
        QTest::newRow("UTF-8") << QByteArray("/Bj\xc3\xb6rk/a") << QByteArray("file:///Bj%C3%B6rk");
        QTest::newRow("Latin-1, not UTF-8") << QByteArray("/M\xfcller/a") << QByteArray("file:///M%FCller");
        const QByteArray cwd = QDir::currentPath().toUtf8();
        QTest::newRow("relative") << QByteArray("scans/a.dcm") << QByteArray("file://" + cwd + "/scans");
        QTest::newRow("bare name") << QByteArray("a.dcm") << QByteArray("file://" + cwd + "/.");
    }

    void containingFolderUrlKeepsEveryByte()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, url);
        QCOMPARE(ContainingFolderUrl(std::string_view(path.constData(), size_t(path.size()))), url);
    }

    // Whether Open containing folder has a folder to show: a name that is not UTF-8 is found by
    // its bytes, a link to a folder counts, a removed folder or a file in its place does not.
    void containingFolderExistsByItsBytes()
    {
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        QVERIFY(::mkdir(root + "/M\xfcller", 0700) == 0);
        QVERIFY(::symlink(root + "/M\xfcller", root + "/link") == 0);
        QVERIFY(::mkdir(root + "/gone", 0700) == 0 && ::rmdir(root + "/gone") == 0);
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        const struct {
            QByteArray path;
            bool exists;
        } cases[] = {
            { root + "/M\xfcller/a.dcm", true },
            { root + "/M\xc3\xbcller/a.dcm", false },
            { root + "/link/a.dcm", true },
            { root + "/gone/a.dcm", false },
            { root + "/plain/a.dcm", false },
            { "/a.dcm", true },
            { "a.dcm", true },
        };
        for (const auto& c : cases)
            QVERIFY2(ContainingFolderExists(std::string_view(c.path.constData(), size_t(c.path.size())))
                    == c.exists,
                c.path.constData());
    }

    // Whether Save Image has a file to read: found by its bytes, through a link; not once removed,
    // nor a folder, a FIFO or a dangling link in its place.
    void regularFileExistsByItsBytes()
    {
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        for (const QByteArray& name : { QByteArray("/M\xfcller.dcm"), QByteArray("/removed.dcm") }) {
            const int fd = ::open(root + name, O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0 && ::close(fd) == 0);
        }
        QVERIFY(::unlink(root + "/removed.dcm") == 0);
        QVERIFY(::symlink(root + "/M\xfcller.dcm", root + "/link") == 0);
        QVERIFY(::symlink(root + "/removed.dcm", root + "/dangling") == 0);
        QVERIFY(::mkdir(root + "/folder", 0700) == 0);
        QVERIFY(::mkfifo(root + "/fifo", 0600) == 0);
        const struct {
            QByteArray path;
            bool exists;
        } cases[] = {
            { root + "/M\xfcller.dcm", true },
            { root + "/M\xc3\xbcller.dcm", false },
            { root + "/link", true },
            { root + "/removed.dcm", false },
            { root + "/dangling", false },
            { root + "/folder", false },
            { root + "/fifo", false },
            { "", false },
        };
        for (const auto& c : cases)
            QVERIFY2(RegularFileExists(std::string(c.path.constData(), size_t(c.path.size()))) == c.exists,
                c.path.constData());
    }

    void fileNamesShowReadably_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QByteArray("/data/CT_small.dcm") << QString("CT_small.dcm");
        QTest::newRow("UTF-8") << QByteArray("/d/Bj\xc3\xb6rk.dcm") << QString::fromUtf8("Bj\xc3\xb6rk.dcm");
        QTest::newRow("Latin-1, not UTF-8")
            << QByteArray("/d/M\xfcller.dcm") << QString::fromUtf8("M\xc3\xbcller.dcm");
        QTest::newRow("bare name") << QByteArray("a.dcm") << QString("a.dcm");
        QTest::newRow("a folder") << QByteArray("/d/") << QString();
    }

    void fileNamesShowReadably()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, name);
        QCOMPARE(ShownFileName(std::string_view(path.constData(), size_t(path.size()))), name);
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_qtest.moc"
