// FramebufferWindow's paint cycle, the mouse hook in front of a window, window properties and
// the small desktop services.
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/framebuffer_window.h"
#include "platform/mouse_hook.h"
#include "platform/window_properties.h"

#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

namespace {

std::vector<std::string> g_log;

class CountingWindow : public FramebufferWindow {
public:
    int erases = 0;
    int paints = 0;

protected:
    void OnEraseBackground(DrawContext& dc) override
    {
        ++erases;
        FramebufferWindow::OnEraseBackground(dc);
    }
    void OnPaint(DrawContext& dc) override
    {
        ++paints;
        dc.Fill({ 1, 1, 3, 3 }, qRgb(0, 255, 0));
    }
    void mousePressEvent(QMouseEvent*) override { g_log.push_back("window press"); }
    void mouseReleaseEvent(QMouseEvent*) override { g_log.push_back("window release"); }
};

class RecordingHook : public MouseHook {
public:
    std::vector<MouseMessage> seen;
    void OnMouseMessage(QWidget*, const MouseMessage& message) override
    {
        seen.push_back(message);
        g_log.push_back("hook");
    }
};

class ScriptedDialogs : public Dialogs {
public:
    MessageAnswer Message(QWidget*, const QString&, const QString& text, MessageIcon) override
    {
        messages << text;
        return MessageAnswer::Ok;
    }
    QString OpenFile(QWidget*, const QString&, const QString&) override { return "/a/b.dcm"; }
    QString SaveFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString Folder(QWidget*, const QString&) override { return "/a"; }
    QStringList messages;
};

void Send(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
    Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, QPointF(5, 6), w->mapToGlobal(QPointF(5, 6)), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

} // namespace

class FramebufferWindowTest : public QObject {
    Q_OBJECT
private slots:
    void paintsIntoTheFramebufferBeforePresenting()
    {
        CountingWindow window;
        window.resize(30, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.Framebuffer().size(), QSize(30, 20));
        QTRY_COMPARE(window.paints, 1);
        QCOMPARE(window.erases, 1);
        QCOMPARE(window.Framebuffer().pixel(2, 2) & 0xFFFFFF, 0x00FF00u);
        QVERIFY(!window.Invalid());
        // Without erasing: only the paint runs.
        window.Invalidate({ 0, 0, 5, 5 }, Erase::No);
        QVERIFY(window.Invalid());
        window.UpdateNow();
        QCOMPARE(window.paints, 2);
        QCOMPARE(window.erases, 1);
        // UpdateNow does nothing on a valid window; PaintNow always paints.
        window.UpdateNow();
        QCOMPARE(window.paints, 2);
        window.PaintNow();
        QCOMPARE(window.paints, 3);
        // The posted repaint arrives later and erases.
        window.PostRepaint();
        QVERIFY(!window.Invalid());
        QTRY_COMPARE(window.erases, 2);
        // A new size: a fresh black framebuffer, repainted with erasing.
        window.Framebuffer().fill(qRgb(9, 9, 9));
        window.resize(12, 7);
        QCOMPARE(window.Framebuffer().size(), QSize(12, 7));
        QVERIFY(window.Invalid());
        window.UpdateNow();
        QCOMPARE(window.Framebuffer().pixel(10, 5) & 0xFFFFFF, 0u);
        QCOMPARE(window.Framebuffer().pixel(1, 1) & 0xFFFFFF, 0x00FF00u);
        // What is shown is the framebuffer.
        QTRY_COMPARE(window.grab().toImage().pixel(2, 2) & 0xFFFFFF, 0x00FF00u);
        window.resize(0, 0);
        QVERIFY(window.Framebuffer().isNull());
        window.PaintNow();
    }

    void theHookSeesTheMouseFirst()
    {
        CountingWindow window;
        window.resize(30, 20);
        RecordingHook hook;
        g_log.clear();
        InstallMouseHook(&window, &hook);
        QCOMPARE(InstalledMouseHook(&window), &hook);
        Send(&window, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton,
            Qt::ShiftModifier);
        Send(&window, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::RightButton);
        Send(&window, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, Qt::ControlModifier);
        Send(&window, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
        QCOMPARE(g_log,
            (std::vector<std::string> {
                "hook", "window press", "hook", "window release", "hook", "hook", "window press" }));
        QCOMPARE(hook.seen.size(), size_t(4));
        QCOMPARE(hook.seen[0].action, MouseAction::LeftDown);
        QCOMPARE(hook.seen[0].keys, uint32_t(KEY_LBUTTON | KEY_RBUTTON | KEY_SHIFT));
        QCOMPARE(hook.seen[0].x, 5);
        QCOMPARE(hook.seen[0].y, 6);
        QCOMPARE(hook.seen[1].action, MouseAction::LeftUp);
        QCOMPARE(hook.seen[1].keys, uint32_t(KEY_RBUTTON));
        QCOMPARE(hook.seen[2].action, MouseAction::Move);
        QCOMPARE(hook.seen[2].keys, uint32_t(KEY_MBUTTON | KEY_CONTROL));
        QCOMPARE(hook.seen[3].action, MouseAction::RightDown);
        // Replacing and removing.
        RecordingHook other;
        InstallMouseHook(&window, &other);
        Send(&window, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(other.seen.size(), size_t(1));
        QCOMPARE(hook.seen.size(), size_t(4));
        RemoveMouseHook(&window);
        QVERIFY(InstalledMouseHook(&window) == nullptr);
        g_log.clear();
        Send(&window, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(g_log, (std::vector<std::string> { "window press" }));
        RemoveMouseHook(&window);
        QEvent other2(QEvent::Enter);
        MouseMessage message;
        QVERIFY(!ToMouseMessage(&other2, message));
    }

    void windowPropertiesHoldPointers()
    {
        QObject window;
        int value = 0;
        QVERIFY(SetWindowProperty(&window, "prop1", &value));
        QVERIFY(!SetWindowProperty(&window, "", &value));
        QVERIFY(!SetWindowProperty(&window, "prop0", nullptr));
        QCOMPARE(GetWindowProperty(&window, "prop1"), static_cast<void*>(&value));
        QVERIFY(GetWindowProperty(&window, "prop0") == nullptr);
        QCOMPARE(RemoveWindowProperty(&window, "prop1"), static_cast<void*>(&value));
        QVERIFY(GetWindowProperty(&window, "prop1") == nullptr);
        QVERIFY(RemoveWindowProperty(&window, "prop1") == nullptr);
    }

    void desktopServices()
    {
        QTemporaryDir dir;
        QImage picture(7, 5, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(dir.path() + "/p.jpg"));
        QCOMPARE(LoadPicture(dir.path() + "/p.jpg").size(), QSize(7, 5));
        QVERIFY(LoadPicture(dir.path() + "/none.jpg").isNull());
        QVERIFY(LoadPicture(QString()).isNull());
        // A name that is not UTF-8 loads by its bytes; a FIFO is refused without waiting.
        const std::string latin1 = QFile::encodeName(dir.path()).toStdString() + "/caf\xe9.jpg";
        QCOMPARE(::link((QFile::encodeName(dir.path()) + "/p.jpg").constData(), latin1.c_str()), 0);
        QCOMPARE(LoadPicture(latin1).size(), QSize(7, 5));
        const std::string fifo = QFile::encodeName(dir.path()).toStdString() + "/fifo.jpg";
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        QVERIFY(LoadPicture(fifo).isNull());
        QFile text(dir.path() + "/t.jpg");
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
        text.close();
        QVERIFY(LoadPicture(dir.path() + "/t.jpg").isNull());
        QCOMPARE(ProgramFolder(), QCoreApplication::applicationDirPath());
        {
            WaitCursor wait;
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // Tests answer the dialogs.
        auto scripted = std::make_unique<ScriptedDialogs>();
        ScriptedDialogs* answers = scripted.get();
        SetDialogs(std::move(scripted));
        QCOMPARE(CurrentDialogs().OpenFile(nullptr, "Import Image", "ALL (*)"), QString("/a/b.dcm"));
        CurrentDialogs().Message(nullptr, "Velmora", "hello", MessageIcon::Warning);
        QCOMPARE(answers->messages, QStringList { "hello" });
        SetDialogs(nullptr);
        QVERIFY(dynamic_cast<QtDialogs*>(&CurrentDialogs()) != nullptr);
    }
};

QTEST_MAIN(FramebufferWindowTest)
#include "framebuffer_window_qtest.moc"
