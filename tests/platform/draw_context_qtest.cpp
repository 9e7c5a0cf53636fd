// DrawContext on a framebuffer: clipping of fills and copies, the stretch every tile paints
// with, lines with a copy pen and an inverting pen, and text inside its measured box.
#include "platform/draw_context.h"

#include <QtTest>
#include <algorithm>

using namespace velmora;

class DrawContextTest : public QObject {
    Q_OBJECT

    static QImage Canvas(int w, int h, QRgb colour)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }
    static int Count(const QImage& image, QRgb colour)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        return n;
    }

private slots:
    void fillsAndCopiesAreClipped()
    {
        QImage fb = Canvas(10, 8, qRgb(1, 2, 3));
        DrawContext dc(fb);
        dc.Fill({ -5, -5, 3, 2 }, qRgb(255, 0, 0));
        QCOMPARE(Count(fb, qRgb(255, 0, 0)), 6);
        dc.Fill({ 4, 4, 2, 6 }, qRgb(0, 255, 0)); // reversed: nothing
        QCOMPARE(Count(fb, qRgb(0, 255, 0)), 0);
        // A copy reaching outside the framebuffer is black there.
        const QImage copy = dc.CopyOut({ -2, -1, 3, 2 });
        QCOMPARE(copy.size(), QSize(5, 3));
        QCOMPARE(copy.pixel(0, 0) & 0xFFFFFF, 0u);
        QCOMPARE(copy.pixel(2, 1) & 0xFFFFFF, 0xFF0000u);
        QVERIFY(dc.CopyOut({ 3, 3, 3, 5 }).isNull());
        // Copying back in is 1:1 and clipped.
        QImage fb2 = Canvas(10, 8, qRgb(9, 9, 9));
        DrawContext dc2(fb2);
        dc2.CopyIn(copy, 8, 6);
        QCOMPARE(fb2.pixel(9, 7) & 0xFFFFFF, 0u);
        QCOMPARE(fb2.pixel(7, 5) & 0xFFFFFF, 0x090909u);
        dc2.CopyIn(copy, -2, -1);
        QCOMPARE(fb2.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(fb2.pixel(2, 1) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(fb2.pixel(3, 0) & 0xFFFFFF, 0x090909u);
    }

    void stretchesDisplayBitmapsNearestNeighbour()
    {
        // A 2 x 2 8-bit bitmap through a colour table: 0 black, 1 red, 2 green, 3 blue.
        std::vector<uint8_t> table(1024, 0);
        table[4 + 2] = 255;
        table[8 + 1] = 255;
        table[12 + 0] = 255;
        const uint8_t bits[8] = { 0, 1, 0, 0, 2, 3, 0, 0 };
        const DibView view { bits, 2, 2, 8, 4, table.data() };
        QImage fb = Canvas(6, 6, qRgb(7, 7, 7));
        DrawContext dc(fb);
        PaintTarget& target = dc;
        QVERIFY(target.StretchBlit(view, { 0, 0, 2, 2 }, { 0, 0, 4, 4 }, { 0, 0, 3, 6 }));
        QCOMPARE(fb.pixel(0, 0) & 0xFFFFFF, 0u);
        QCOMPARE(fb.pixel(2, 1) & 0xFFFFFF, 0xFF0000u);
        QCOMPARE(fb.pixel(1, 3) & 0xFFFFFF, 0x00FF00u);
        QCOMPARE(fb.pixel(3, 0) & 0xFFFFFF, 0x070707u); // clipped
        QCOMPARE(fb.pixel(2, 3) & 0xFFFFFF, 0x0000FFu);
        QVERIFY(target.StretchBlit(view, { 0, 0, 2, 2 }, { 5, 5, 5, 9 }, { 0, 0, 6, 6 }));
        QImage none;
        DrawContext empty(none);
        QVERIFY(!empty.StretchBlit(view, { 0, 0, 2, 2 }, { 0, 0, 4, 4 }, { 0, 0, 4, 4 }));
    }

    void linesStopBeforeTheirLastPoint()
    {
        QImage fb = Canvas(20, 20, qRgb(0, 0, 0));
        DrawContext dc(fb);
        dc.Line(2, 5, 12, 5, qRgb(255, 255, 0), PenMode::Copy);
        QCOMPARE(Count(fb, qRgb(255, 255, 0)), 10);
        QCOMPARE(fb.pixel(2, 5) & 0xFFFFFF, 0xFFFF00u);
        QCOMPARE(fb.pixel(12, 5) & 0xFFFFFF, 0u);
        dc.Line(-5, -5, 30, 30, qRgb(255, 255, 255), PenMode::Copy); // clipped, no fault
        QCOMPARE(fb.pixel(19, 19) & 0xFFFFFF, 0xFFFFFFu);
    }

    void anInvertingPenTwiceRestoresEveryPixel()
    {
        QImage fb(50, 40, QImage::Format_RGB32);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x)
                fb.setPixel(x, y, qRgb(x * 5, y * 6, (x * y) & 0xFF));
        const QImage before = fb.copy();
        DrawContext dc(fb);
        // A ruler-like figure: joined lines, crossings, a steep and a shallow slope.
        const int lines[][4]
            = { { 5, 5, 45, 30 }, { 45, 30, 40, 2 }, { 40, 2, 5, 5 }, { 10, 35, 30, 0 }, { 25, 20, 25, 39 } };
        for (const auto& l : lines)
            dc.Line(l[0], l[1], l[2], l[3], qRgb(255, 255, 0), PenMode::Not);
        QVERIFY(fb != before);
        QCOMPARE(fb.pixel(5, 5) & 0xFFFFFF, ~before.pixel(5, 5) & 0xFFFFFF);
        for (const auto& l : lines)
            dc.Line(l[0], l[1], l[2], l[3], qRgb(255, 255, 0), PenMode::Not);
        QCOMPARE(fb, before);
    }

    void textStaysInItsMeasuredBox_data()
    {
        QTest::addColumn<QString>("face");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("weight");
        QTest::newRow("labels: 12-pixel cell") << "MS Sans Serif" << 12 << 400;
        QTest::newRow("bold") << "MS Sans Serif" << 12 << 700;
        QTest::newRow("the system's face") << QString() << 12 << 400;
        QTest::newRow("13-pixel cell") << "MS Sans Serif" << 13 << 400;
        QTest::newRow("large") << "DejaVu Sans" << 30 << 400;
        QTest::newRow("tiny") << "MS Sans Serif" << 3 << 400;
    }

    void textStaysInItsMeasuredBox()
    {
        QFETCH(QString, face);
        QFETCH(int, height);
        QFETCH(int, weight);
        QImage fb = Canvas(300, 80, qRgb(0, 0, 0));
        DrawContext dc(fb);
        const TextFont font { face, height, 0, weight };
        const QString text = "123.4mg|";
        const QSize size = dc.MeasureText(text, font);
        // The height asked for is the character cell's, as the box every label gets.
        QCOMPARE(size.height(), height);
        QVERIFY(size.width() > 0 && size.width() < 250);
        dc.Text(10, 20, text, font, qRgb(255, 255, 0));
        int inside = 0, top = 80, bottom = -1;
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 300; ++x) {
                if ((fb.pixel(x, y) & 0xFFFFFF) == 0)
                    continue;
                QVERIFY2(x >= 10 && x < 10 + size.width() && y >= 20 && y < 20 + size.height(),
                    qPrintable(QString("%1,%2").arg(x).arg(y)));
                ++inside;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        QVERIFY(inside > 0);
        // The font fills its cell: the bar and the descender reach most of its height.
        if (height >= 12)
            QVERIFY2(bottom - top + 1 >= height * 2 / 3, qPrintable(QString::number(bottom - top + 1)));
        // Transparent background: the black around the glyphs stays.
        QCOMPARE(fb.pixel(10, 20) & 0xFFFFFF, 0u);
    }

    void picturesScaleIntoTheirRectangle()
    {
        QImage fb = Canvas(40, 40, qRgb(0, 0, 0));
        DrawContext dc(fb);
        QImage picture(4, 2, QImage::Format_RGB32);
        picture.fill(qRgb(0, 0, 255));
        dc.DrawPicture(picture, { 10, 10, 30, 20 });
        QCOMPARE(Count(fb, qRgb(0, 0, 255)), 200);
        dc.DrawPicture(QImage(), { 0, 0, 40, 40 });
        QCOMPARE(Count(fb, qRgb(0, 0, 255)), 200);
    }
};

QTEST_MAIN(DrawContextTest)
#include "draw_context_qtest.moc"
