// PreviewApp's names: the application is named, but no display name is fixed, so the platform
// shows every window title exactly as the window sets it (with a display name, Qt would append
// " — Velmora" to each).
#include "app/preview_app.h"

#include <QtTest>

using namespace velmora;

class PreviewAppTest : public QObject {
    Q_OBJECT
private slots:
    void namesTheApplicationWithoutADisplayName()
    {
        NameApplication();
        QCOMPARE(QApplication::applicationName(), QString("Velmora"));
        QCOMPARE(QGuiApplication::desktopFileName(), QString("velmora"));
        // A display name of its own would not follow the application name.
        QApplication::setApplicationName("Probe");
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString("Probe"));
        NameApplication();
    }
};

QTEST_MAIN(PreviewAppTest)
#include "preview_app_qtest.moc"
