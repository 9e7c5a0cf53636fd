// SplashDialog: the picture beside the program at its own size; Escape does not close it.
#include "canvas/splash_dialog.h"
#include "tile_fixtures.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;

class SplashDialogTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheBitmapAndSwallowsEscape()
    {
        QTemporaryDir program;
        QVERIFY(QFile::copy(QString::fromStdString(testing::SourceFile("resources/splash.bmp")),
            program.path() + "/splash.bmp"));
        SplashDialog splash(program.path());
        QVERIFY(splash.Loaded());
        QCOMPARE(splash.size(), QSize(496, 316));
        QCOMPARE(splash.Bitmap()->property("controlId").toInt(), 1011);
        QCOMPARE(splash.Bitmap()->pixmap().size(), QSize(496, 316));
        QCOMPARE(splash.Bitmap()->pos(), QPoint(0, 0));
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QTest::keyClick(&splash, Qt::Key_Escape);
        QVERIFY(splash.isVisible());
        QCOMPARE(splash.result(), 0);
        splash.accept();
        QVERIFY(!splash.isVisible());
    }

    void missingPictureIsNotLoaded()
    {
        QTemporaryDir program;
        QVERIFY(!SplashDialog(program.path()).Loaded());
        QVERIFY(!SplashDialog(QString()).Loaded());
    }
};

QTEST_MAIN(SplashDialogTest)
#include "splash_dialog_qtest.moc"
