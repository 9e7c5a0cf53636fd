// The containing-folder URL handed to the file manager: every byte of the name kept.
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
};

QTEST_MAIN(DesktopTest)
#include "desktop_qtest.moc"
