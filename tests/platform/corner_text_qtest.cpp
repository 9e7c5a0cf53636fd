// Corner text in rectangles too small for its lines: facing lines share the row without running
// into each other, and the top and bottom corners keep apart, the later lines giving way.
#include "platform/corner_text.h"

#include <QtTest>

using namespace velmora;

namespace {

CornerStrings Corners(
    QStringList topLeft, QStringList topRight = {}, QStringList bottomLeft = {}, QStringList bottomRight = {})
{
    return { topLeft, topRight, bottomLeft, bottomRight };
}

QImage Drawn(QSize size, const CornerStrings& corners)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    DrawCornerText(image, image.rect(), corners);
    return image;
}

bool BlackRows(const QImage& image, int top, int bottom)
{
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(0, 0, 0))
                return false;
    return true;
}

bool BlackColumn(const QImage& image, int x, int top, int bottom)
{
    for (int y = top; y < bottom; ++y)
        if (image.pixel(x, y) != qRgb(0, 0, 0))
            return false;
    return true;
}

// The smallest rectangle holding every pixel that is not black; null when all are.
QRect Painted(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(0, 0, 0))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class CornerTextTest : public QObject {
    Q_OBJECT

private slots:
    void facingLinesShareTheRow_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("whole"); // the line left whole: 0 left, 1 right, -1 neither
        const QString name = "Wolfeschlegelsteinhausenbergerdorff Hubert Blaine Maximilian";
        QTest::newRow("long name, short date") << name << "2004-01-19" << 1;
        QTest::newRow("short id, long description") << "1CT1" << name << 0;
        QTest::newRow("both long") << name << name << -1;
        QTest::newRow("right to left")
            << QString::fromUtf8("قباني لنزار قباني لنزار قباني لنزار قباني") << name << -1;
    }

    void facingLinesShareTheRow()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, whole);
        const QSize size(240, 60);
        const QImage both = Drawn(size, Corners({ left }, { right }));
        const std::array<QImage, 2> alone { Drawn(size, Corners({ left })),
            Drawn(size, Corners({}, { right })) };
        if (whole >= 0) {
            // The short line is drawn as it is alone, the long one cut short before it.
            const QRect box = Painted(alone[static_cast<size_t>(whole)]).adjusted(-1, -1, 1, 1);
            QCOMPARE(both.copy(box), alone[static_cast<size_t>(whole)].copy(box));
        } else {
            // Half the width each: the middle stays dark.
            QVERIFY(BlackColumn(both, size.width() / 2 - 1, 0, size.height()));
            QVERIFY(BlackColumn(both, size.width() / 2, 0, size.height()));
        }
        QVERIFY(!Painted(both.copy(0, 0, size.width() / 2, size.height())).isNull());
        QVERIFY(!Painted(both.copy(size.width() / 2, 0, size.width() / 2, size.height())).isNull());
        // Alone, a line stays within the margins too.
        for (const QImage& image : alone)
            QVERIFY(QRect(3, 0, size.width() - 6, size.height()).contains(Painted(image)));
    }

    void topAndBottomCornersKeepApart()
    {
        const CornerStrings six = Corners({ "Alpha", "Beta", "Gamma" }, { "2004", "CT" },
            { "One", "Two", "Three" }, { "W: 400 L: 40", "Zoom: 100%" });
        // Room for one row: the first line of the top corners only.
        const QImage oneRow = Drawn({ 200, 30 }, six);
        QCOMPARE(oneRow, Drawn({ 200, 30 }, Corners({ "Alpha" }, { "2004" })));
        // Two rows: the first line of each corner, the bottom ones on the bottom row.
        const QImage twoRows = Drawn({ 200, 40 }, six);
        QCOMPARE(
            twoRows, Drawn({ 200, 40 }, Corners({ "Alpha" }, { "2004" }, { "One" }, { "W: 400 L: 40" })));
        const QRect top = Painted(twoRows.copy(0, 0, 200, 20));
        const QRect bottom = Painted(twoRows.copy(0, 20, 200, 20)).translated(0, 20);
        QVERIFY(!top.isNull() && !bottom.isNull());
        QVERIFY(BlackRows(twoRows, top.bottom() + 1, bottom.top()));
        // Nothing fits in a sliver.
        QVERIFY(Painted(Drawn({ 200, 12 }, six)).isNull());
    }
};

QTEST_MAIN(CornerTextTest)
#include "corner_text_qtest.moc"
