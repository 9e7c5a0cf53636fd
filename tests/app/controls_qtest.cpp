// IconButton, ColourLabel and ColourEdit: return values, check mode, bitmaps by state, hover,
// double clicks, colour slots.
#include "app/controls.h"

#include <QtTest>

using namespace velmora;

namespace {

QImage Solid(QColor colour, int w = 40, int h = 50)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void returnValues()
    {
        QWidget parent;
        IconButton button(7, IconButton::Kind::Push, "", &parent);
        QCOMPARE(ControlId(&button), 7);
        QCOMPARE(button.SetColour(6, Qt::red), int(IconButton::BAD_SLOT));
        QCOMPARE(button.SetPressedStyle(2), int(IconButton::BAD_STYLE));
        QCOMPARE(button.PressedOffset(), QPoint(1, 1));
        QCOMPARE(button.SetPressedStyle(1), 0);
        QCOMPARE(button.PressedOffset(), QPoint(0, 2));
        QCOMPARE(button.SetBitmaps(129, Qt::cyan, 130, Qt::black), int(IconButton::BAD_BITMAP));
        QCOMPARE(button.SetBitmaps(175, Qt::white, 174, Qt::white), 0);
        button.SizeToContent();
        QCOMPARE(button.size(), QSize(40, 50));
    }

    void checkModeAndBitmapsByState()
    {
        QWidget parent;
        parent.resize(100, 100);
        IconButton button(1, IconButton::Kind::Check, "", &parent);
        button.SetBitmaps(Solid(Qt::red), Qt::white, Solid(Qt::blue), Qt::white);
        button.SizeToContent();
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(button.grab().toImage().pixelColor(20, 25), QColor(Qt::blue));
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(button.GetCheck(), 1);
        QCOMPARE(button.grab().toImage().pixelColor(20, 25), QColor(Qt::red));
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(button.GetCheck(), 0);
        button.SetCheck(2);
        QCOMPARE(button.GetCheck(), 1);
        button.SetCheck(0);
        // A double click counts as two clicks.
        int clicks = 0;
        connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
        auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(5, 5), button.mapToGlobal(QPointF(5, 5)), Qt::LeftButton, buttons,
                Qt::NoModifier);
            QApplication::sendEvent(&button, &event);
        };
        send(QEvent::MouseButtonPress, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        send(QEvent::MouseButtonDblClick, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        QCOMPARE(clicks, 2);
    }

    void onlyBitmapOneShowsAlwaysAndTransparencyShowsTheBackground()
    {
        QWidget parent;
        IconButton button(1, IconButton::Kind::Push, "", &parent);
        QImage image = Solid(Qt::green);
        image.setPixelColor(0, 0, Qt::white);
        button.SetBitmaps(image, Qt::white, QImage(), Qt::white);
        button.SizeToContent();
        button.SetColour(IconButton::BACK_NORMAL, QColor(1, 2, 3));
        parent.show();
        const QImage shot = button.grab().toImage();
        QCOMPARE(shot.pixelColor(10, 10), QColor(Qt::green));
        QCOMPARE(shot.pixelColor(0, 0), QColor(1, 2, 3));
    }

    void hoverNeedsAMoveWithoutTheLeftButton()
    {
        QWidget parent;
        parent.resize(100, 100);
        IconButton button(1, IconButton::Kind::Push, "", &parent);
        button.resize(40, 50);
        parent.show();
        QVERIFY(QTest::qWaitForWindowActive(&parent)); // hover is tracked in an active window
        QMouseEvent held(QEvent::MouseMove, QPointF(5, 5), button.mapToGlobal(QPointF(5, 5)), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&button, &held);
        QVERIFY(!button.Hovered());
        QMouseEvent free(QEvent::MouseMove, QPointF(6, 6), button.mapToGlobal(QPointF(6, 6)), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&button, &free);
        QVERIFY(button.Hovered());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QVERIFY(!button.Hovered());
    }

    void systemColourChangeResetsTheSlots()
    {
        QWidget parent;
        IconButton button(1, IconButton::Kind::Push, "", &parent);
        const QColor face = button.Colour(IconButton::BACK_NORMAL);
        button.SetColour(IconButton::BACK_NORMAL, Qt::black);
        QEvent change(QEvent::ApplicationPaletteChange);
        QApplication::sendEvent(&button, &change);
        QCOMPARE(button.Colour(IconButton::BACK_NORMAL), face);
    }

    void labelAndEditColours()
    {
        QWidget parent;
        ColourLabel label(333, "caption", &parent);
        label.SetBackgroundColour(Qt::black);
        QCOMPARE(label.EffectiveBackground(), QColor(Qt::black));
        label.SetBackgroundColour(QColor());
        QCOMPARE(label.EffectiveBackground(), QApplication::palette().color(QPalette::Button));
        ColourEdit edit(330, &parent);
        QCOMPARE(edit.EffectiveText(), QColor(0, 0, 0));
        edit.SetBackgroundColour(Qt::white);
        edit.SetDialogColours(Qt::white, Qt::black);
        QCOMPARE(edit.EffectiveBackground(), QColor(Qt::black));
        QCOMPARE(edit.EffectiveText(), QColor(Qt::white));
    }
};

QTEST_MAIN(ControlsTest)
#include "controls_qtest.moc"
