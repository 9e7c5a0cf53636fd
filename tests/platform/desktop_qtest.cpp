// The containing-folder URL handed to the file manager: every byte of the name kept. File names
// shown readably whatever their bytes.
#include "platform/desktop.h"

#include <QDir>
#include <QtTest>

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
