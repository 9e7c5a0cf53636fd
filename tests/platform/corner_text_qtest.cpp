// Corner text in rectangles too small for its lines: facing lines take rows of their own where
// there are rows to spare, else share the row without running into each other; a line cut short
// ends after a whole word; the top and bottom corners keep apart, the later lines giving way.
#include "platform/corner_text.h"

#include <QtTest>

using namespace velmora;

Q_DECLARE_METATYPE(velmora::CornerStrings)

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
        const QSize size(240, 24); // one row: no row to spare
        const QImage both = Drawn(size, Corners({ left }, { right }));
        const std::array<QImage, 2> alone { Drawn(size, Corners({ left })),
            Drawn(size, Corners({}, { right })) };
        if (whole >= 0) {
            // The short line is drawn as it is alone, the long one cut short before it.
            const QRect box = Painted(alone[static_cast<size_t>(whole)]).adjusted(-1, -1, 1, 1);
            QCOMPARE(both.copy(box), alone[static_cast<size_t>(whole)].copy(box));
            // The long one takes the rest of the row, not only its half: it reaches past the
            // middle towards the short one.
            const QRect shortBox = Painted(alone[static_cast<size_t>(whole)]);
            const QRect between = whole == 0
                ? QRect(QPoint(shortBox.right() + 8, 0), QPoint(size.width() / 2 - 1, size.height() - 1))
                : QRect(QPoint(size.width() / 2, 0), QPoint(shortBox.left() - 8, size.height() - 1));
            QVERIFY(!Painted(both.copy(between)).isNull());
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

    // Facing lines that do not fit side by side: one corner's lines move away from the edge by as
    // few rows as leave every line whole, as if it had started with empty lines.
    void facingLinesTakeRowsOfTheirOwnWhenRoomAllows_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<CornerStrings>("corners");
        QTest::addColumn<CornerStrings>("placed");
        const QString name = "Wolfeschlegelsteinhausenbergerdorff Hubert Blaine Maximilian";
        const QString position = "Pos: 189.43, 199.43, -761.87 mm, and further on and on";
        // The date and description go one row down, under the name.
        QTest::newRow("long name at the top") << 240 << Corners({ name, "1CT1" }, { "2004-01-19", "CT Head" })
                                              << Corners({ name, "1CT1" }, { "", "2004-01-19", "CT Head" });
        // The series lines go one row up, over the long position.
        QTest::newRow("long position at the bottom")
            << 240
            << Corners({}, {}, { "Se: 2 Axial", "Im: 1 / 15" }, { "W: 400 L: 40", "Zoom: 100%", position })
            << Corners(
                   {}, {}, { "Se: 2 Axial", "Im: 1 / 15", "" }, { "W: 400 L: 40", "Zoom: 100%", position });
        // Both at once, each in its own rows.
        QTest::newRow("both") << 240
                              << Corners({ name, "1CT1" }, { "2004-01-19", "CT Head" },
                                     { "Se: 2 Axial", "Im: 1 / 15" },
                                     { "W: 400 L: 40", "Zoom: 100%", position })
                              << Corners({ name, "1CT1" }, { "", "2004-01-19", "CT Head" },
                                     { "Se: 2 Axial", "Im: 1 / 15", "" },
                                     { "W: 400 L: 40", "Zoom: 100%", position });
        // No pair fits side by side: moving either corner takes five rows, and the bottom-left
        // corner moves, the window staying in the bottom-right one.
        const QStringList wide { "Alpha bravo charlie delta", "Echo foxtrot golf hotel",
            "India juliett kilo lima", "Mike november oscar papa", "Quebec romeo sierra tango" };
        QTest::newRow("a tie") << 240 << Corners({}, {}, wide.mid(0, 2), wide.mid(2))
                               << Corners({}, {}, wide.mid(0, 2) + QStringList { "", "", "" }, wide.mid(2));
        // Two rows: no row to spare, the lines share theirs as before.
        QTest::newRow("no row to spare")
            << 40 << Corners({ name }, { "2004-01-19" }, { "Im: 1 / 15" }, { position })
            << Corners({ name }, { "2004-01-19" }, { "Im: 1 / 15" }, { position });
    }

    void facingLinesTakeRowsOfTheirOwnWhenRoomAllows()
    {
        QFETCH(int, height);
        QFETCH(CornerStrings, corners);
        QFETCH(CornerStrings, placed);
        const QSize size(240, height);
        QCOMPARE(Drawn(size, corners), Drawn(size, placed));
    }

    // A line too long for the rectangle ends after its last whole word that fits with the
    // ellipsis; a first word too long for it is cut within.
    void aLineCutShortEndsAfterAWord()
    {
        const QString line = "Chest abdomen pelvis with contrast";
        const QSize size(150, 24);
        const int room = size.width() - 8; // the margins
        QFont font("DejaVu Sans");
        font.setPixelSize(CornerTextHeight(size.height()));
        const QFontMetrics metrics(font);
        QVERIFY(metrics.horizontalAdvance(line) > room);
        // The most whole words that fit with the ellipsis.
        const QString ellipsis(QChar(0x2026));
        const QStringList words = line.split(' ');
        QString expected;
        for (int k = 1; k < words.size(); ++k) {
            const QString cut = words.mid(0, k).join(' ') + ellipsis;
            if (metrics.horizontalAdvance(cut) <= room)
                expected = cut;
        }
        QVERIFY(!expected.isEmpty());
        const QImage drawn = Drawn(size, Corners({ line }));
        QCOMPARE(drawn, Drawn(size, Corners({ expected })));
        // Not what cutting at any character gives, which ends inside a word here.
        const QString midWord = metrics.elidedText(line, Qt::ElideRight, room);
        QVERIFY(midWord != expected);
        QVERIFY(drawn != Drawn(size, Corners({ midWord })));
        // A first word too long for the rectangle is cut within it.
        const QString word = "Wolfeschlegelsteinhausenbergerdorff";
        QCOMPARE(Drawn(size, Corners({ word })),
            Drawn(size, Corners({ metrics.elidedText(word, Qt::ElideRight, room) })));
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
        // Moving a corner of lines that cannot share rows would take the bottom pair past its half
        // of the height but two rows, into the middle of the image: they share their rows instead.
        const QStringList wide { "Alpha bravo charlie delta", "Echo foxtrot golf hotel",
            "India juliett kilo lima", "Mike november oscar papa", "Quebec romeo sierra tango" };
        const QImage shared = Drawn({ 240, 120 }, Corners({}, {}, wide.mid(0, 2), wide.mid(2)));
        QVERIFY(Painted(shared).top() >= 60);
        QVERIFY(Painted(Drawn({ 240, 240 }, Corners({}, {}, wide.mid(0, 2), wide.mid(2)))).top() < 180);
        // Nothing fits in a sliver.
        QVERIFY(Painted(Drawn({ 200, 12 }, six)).isNull());
    }
};

QTEST_MAIN(CornerTextTest)
#include "corner_text_qtest.moc"
