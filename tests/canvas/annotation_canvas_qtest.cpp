// The annotation canvas on a real tile: every tool drawn with real mouse events through the
// canvas hook, checked in the framebuffer (yellow lines, inverted rubber bands that leave no trace,
// labels) and in the layer; Select mode, the cursor, panning, redraws, and the calibration flow
// with the dialog answered by the test.
#include "canvas/annotation_canvas.h"
#include "canvas/annotation_install.h"
#include "canvas/calibrate_dialog.h"
#include "canvas/tile_window.h"
#include "tile_fixtures.h"
#include "toolkit/built_in_tables.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using namespace velmora;
using namespace velmora::testing;

namespace {

const QRgb kYellow = 0xFFFF00;
const QRgb kRed = 0xFF0000;

constexpr int kWidth = 600, kHeight = 400;

QRgb Rgb(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

QRgb Inverted(QRgb rgb)
{
    return ~rgb & 0xFFFFFF;
}

// The pixels differing between two frames.
int Differences(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += Rgb(a, x, y) != Rgb(b, x, y);
    return count;
}

// Whether some pixel in `rect` is yellowish (text is antialiased over the image).
bool HasYellowText(const QImage& image, const QRect& rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = QColor::fromRgb(image.pixel(x, y));
            if (c.red() > 200 && c.green() > 200 && c.blue() < 120)
                return true;
        }
    return false;
}

// Answers the next CalibrateDialog from inside its event loop; Seen() tells whether one opened.
struct DialogAnswer {
    QObject context; // a pending answer goes with it
    bool seen = false;
    QString pixels, initial;
    bool Seen()
    {
        QCoreApplication::processEvents();
        return seen;
    }
    void Arm(const QString& millimetres, bool ok)
    {
        seen = false;
        QTimer::singleShot(0, &context, [this, millimetres, ok] {
            auto* dialog = qobject_cast<CalibrateDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            pixels = dialog->PixelsLabel()->text();
            initial = dialog->MillimetreEdit()->text();
            dialog->MillimetreEdit()->setText(millimetres);
            QTest::mouseClick(ok ? dialog->OkButton() : dialog->CancelButton(), Qt::LeftButton);
        });
    }
};

} // namespace

class AnnotationCanvasTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::string m_plain; // 600 x 400 grey pattern, no spacing
    std::string m_spaced; // the same with Pixel Spacing 0.5 mm
    double m_zoom = 1.0;
    std::unique_ptr<TileWindow> m_tile;

    // A tile showing `path` at the current zoom, painted.
    TileWindow& Show(const std::string& path)
    {
        ZoomLink link;
        link.current = [this] { return m_zoom; };
        m_tile = std::make_unique<TileWindow>(nullptr, std::move(link));
        m_tile->resize(kWidth, kHeight);
        m_tile->show();
        if (!m_tile->ShowDicomImage(path, 1))
            qWarning("load failed");
        m_tile->UpdateNow();
        return *m_tile;
    }
    AnnotationCanvas* Canvas() const { return dynamic_cast<AnnotationCanvas*>(m_tile->Binding().Canvas()); }
    QImage Frame() const { return m_tile->Framebuffer().copy(); }
    // The bare image, as the canvas keeps it.
    QImage Bare() const { return Canvas()->CleanSnapshot().copy(); }

    void Press(QPoint p, Qt::MouseButtons also = Qt::NoButton)
    {
        SendMouse(m_tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | also, p);
    }
    void Drag(QPoint p, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        SendMouse(m_tile.get(), QEvent::MouseMove, Qt::NoButton, buttons, p);
    }
    void Hover(QPoint p) { SendMouse(m_tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, p); }
    void Release(QPoint p)
    {
        SendMouse(m_tile.get(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, p);
    }
    void Click(QPoint p)
    {
        Press(p);
        Release(p);
    }
    void DragLine(QPoint from, QPoint to)
    {
        Press(from);
        Drag((from + to) / 2);
        Drag(to);
        Release(to);
    }
    // Repaints the tile as a window repaint does.
    void Repaint()
    {
        m_tile->Invalidate(Erase::Yes);
        m_tile->UpdateNow();
    }
    const ShapeAnnotation& Shape(int index) const { return m_tile->Layer().Shapes().at(index); }

    // What the framebuffer must hold with `shape` rubber-banded over `base`: its label (when
    // given) then its lines inverted, as the canvas draws them.
    QImage WithRubberBand(QImage base, const ShapeAnnotation& shape, const std::string& label)
    {
        DrawContext dc(base);
        if (!label.empty())
            dc.Text(shape.labelRect.left, shape.labelRect.top, QString::fromStdString(label),
                Canvas()->Font(), kYellow);
        const auto& p = shape.points;
        auto line = [&](int a, int b) {
            dc.Line(int(p[a].x), int(p[a].y), int(p[b].x), int(p[b].y), 0, PenMode::Not);
        };
        if (shape.kind == ToolKind::Arrow) {
            line(0, 1);
            line(1, 2);
            line(3, 4);
        } else if (shape.kind == ToolKind::Ruler) {
            line(2, 1);
            line(2, 0);
            line(2, 3);
            line(3, 4);
            line(3, 5);
        } else {
            line(0, 1);
            line(2, 3);
        }
        return base;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(InstallBuiltInTables() == SUCCESS);
        InstallAnnotationCanvas();
        QVERIFY(m_dir.isValid());
        NativeImage image;
        image.columns = kWidth;
        image.rows = kHeight;
        image.pixels.resize(size_t(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                image.pixels[size_t(y) * kWidth + x] = uint8_t(40 + (x * 3 + y * 5) % 160);
        m_plain = m_dir.filePath("plain.dcm").toStdString();
        QVERIFY(WriteNativeDicom(m_plain, image));
        image.pixelSpacing = "0.5\\0.5";
        m_spaced = m_dir.filePath("spaced.dcm").toStdString();
        QVERIFY(WriteNativeDicom(m_spaced, image));
    }

    void init() { m_zoom = 1.0; }
    void cleanup() { m_tile.reset(); }

    void boundAfterEveryLoad()
    {
        TileWindow& tile = Show(m_plain);
        AnnotationCanvas* first = Canvas();
        QVERIFY(first);
        QCOMPARE(tile.Layer().Name(), std::string("Layer 1"));
        QVERIFY(tile.Layer().Colour() == (LayerColour { 255, 255, 0 }));
        QCOMPARE(first->Mode(), CanvasMode::Off);
        QVERIFY(InstalledMouseHook(&tile) == nullptr); // mode Off: the canvas sees nothing
        QCOMPARE(first->ImageRect(), (PixelRect { 0, 0, kWidth, kHeight }));
        float length = -1;
        QCOMPARE(tile.Binding().ShapeLength(0, length), ERROR_GENERAL_FAILURE);
        QCOMPARE(length, -1.0f);
        QCOMPARE(tile.Binding().LastShapeIndex(), -1);
        QCOMPARE(tile.Binding().DeleteShape(0), ERROR_GENERAL_FAILURE);

        tile.SelectTool(ToolKind::Arrow);
        DragLine({ 100, 100 }, { 200, 100 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
        const uint64_t serial = first->Serial();
        QVERIFY(tile.ShowDicomImage(m_plain, 1));
        QVERIFY(Canvas()->Serial() != serial);
        QVERIFY(tile.Layer().Empty());
        QCOMPARE(Canvas()->Mode(), CanvasMode::Off);
        QCOMPARE(Canvas()->Tool(), ToolKind::None);
    }

    void arrowDrawnWithTheMouse()
    {
        TileWindow& tile = Show(m_plain);
        const QImage bare = Bare();
        tile.SelectTool(ToolKind::Arrow);
        Press({ 100, 100 });
        Drag({ 150, 130 });
        // The rubber band inverts what lies under it.
        QCOMPARE(Rgb(Frame(), 125, 115), Inverted(Rgb(bare, 125, 115)));
        Drag({ 200, 100 });
        QCOMPARE(Rgb(Frame(), 125, 115), Rgb(bare, 125, 115)); // the old band is gone
        Release({ 200, 100 });

        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
        const ShapeAnnotation& arrow = Shape(0);
        QCOMPARE(arrow.kind, ToolKind::Arrow);
        QCOMPARE(arrow.points.size(), size_t(5));
        QCOMPARE(arrow.points[0], (FloatPoint { 100, 100 }));
        QCOMPARE(arrow.points[1], (FloatPoint { 200, 100 }));
        QCOMPARE(arrow.points[3], (FloatPoint { 200, 100 }));
        QVERIFY(std::abs(arrow.points[2].x - 182.3) < 0.05 && std::abs(arrow.points[2].y - 82.3) < 0.05);
        QVERIFY(std::abs(arrow.points[4].x - 182.3) < 0.05 && std::abs(arrow.points[4].y - 117.7) < 0.05);

        // Finished: solid yellow, everything else the bare image.
        const QImage frame = Frame();
        for (int x = 100; x < 200; ++x)
            QCOMPARE(Rgb(frame, x, 100), kYellow);
        QCOMPARE(Rgb(frame, 191, 91), kYellow);
        QCOMPARE(Rgb(frame, 191, 109), kYellow);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (Rgb(frame, x, y) != Rgb(bare, x, y))
                    QCOMPARE(Rgb(frame, x, y), kYellow);
        // A repaint draws the same.
        Repaint();
        QCOMPARE(Frame(), frame);
        // The tool stays: the next press starts another arrow.
        DragLine({ 100, 200 }, { 300, 250 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(2));
        QCOMPARE(Canvas()->Tool(), ToolKind::Arrow);
    }

    void rubberBandsLeaveNoTrace_data()
    {
        QTest::addColumn<int>("tool");
        QTest::newRow("arrow") << int(ToolKind::Arrow);
        QTest::newRow("ruler") << int(ToolKind::Ruler);
    }
    void rubberBandsLeaveNoTrace()
    {
        QFETCH(int, tool);
        TileWindow& tile = Show(m_plain);
        const QImage bare = Bare();
        tile.SelectTool(ToolKind(tool));
        Press({ 100, 100 });
        for (QPoint p :
            { QPoint(300, 300), QPoint(400, 50), QPoint(120, 380), QPoint(90, 110), QPoint(250, 140) })
            Drag(p);
        // Exactly the bare image with the current band (and label) over it.
        const ShapeAnnotation& band = *Canvas()->ShapeInProgress();
        const std::string label = ToolKind(tool) == ToolKind::Ruler ? "155.2px" : "";
        if (!label.empty())
            QCOMPARE(Canvas()->LabelOf(band), label);
        QCOMPARE(Differences(Frame(), WithRubberBand(bare, band, label)), 0);
        // Drawing the band's lines a second time gives back the image under them exactly.
        Release({ 250, 140 });
        Repaint();
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
    }

    void rulerLabelsAndEndBars_data()
    {
        QTest::addColumn<bool>("spacing");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("label");
        QTest::newRow("no spacing: image pixels") << false << 1.0 << "100.0px";
        QTest::newRow("pixel spacing 0.5 mm") << true << 1.0 << "50.0mm";
        QTest::newRow("200 %: half the image pixels") << false << 2.0 << "50.0px";
        QTest::newRow("spacing at 200 %") << true << 2.0 << "25.0mm";
        QTest::newRow("50 %") << true << 0.5 << "100.0mm";
    }
    void rulerLabelsAndEndBars()
    {
        QFETCH(bool, spacing);
        QFETCH(double, zoom);
        QFETCH(QString, label);
        m_zoom = zoom;
        TileWindow& tile = Show(spacing ? m_spaced : m_plain);
        tile.SelectTool(ToolKind::Ruler);
        Press({ 200, 150 });
        QCOMPARE(Canvas()->ShapeInProgress()->labelRect.left, 210); // the placeholder's place
        Drag({ 300, 150 });
        Release({ 300, 150 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
        const ShapeAnnotation& ruler = Shape(0);
        QCOMPARE(QString::fromStdString(Canvas()->LabelOf(ruler)), label);
        float length = 0;
        QCOMPARE(tile.Binding().ShapeLength(0, length), SUCCESS);
        QCOMPARE(QString::asprintf(spacing ? "%3.1fmm" : "%3.1fpx", length), label);
        // End bars from y 140 to y 160 at x 200 and x 300.
        QVERIFY(std::abs(ruler.points[0].y - 140) < 1e-3 && std::abs(ruler.points[1].y - 160) < 1e-3);
        QVERIFY(std::abs(ruler.points[4].y - 140) < 1e-3 && std::abs(ruler.points[5].y - 160) < 1e-3);
        const QImage frame = Frame();
        for (int y = 141; y < 160; ++y) {
            QCOMPARE(Rgb(frame, 200, y), kYellow);
            QCOMPARE(Rgb(frame, 300, y), kYellow);
        }
        QCOMPARE(ruler.labelRect.left, 310);
        QCOMPARE(ruler.labelRect.top, 140);
        QCOMPARE(ruler.labelRect.bottom - ruler.labelRect.top, 12); // the font's 12-pixel cell
        QVERIFY(HasYellowText(frame, QRect(310, 140, 70, 15)));
    }

    void placeholderWhileStarting()
    {
        Show(m_plain).SelectTool(ToolKind::Ruler);
        const QImage bare = Bare();
        Press({ 100, 100 });
        QVERIFY(HasYellowText(Frame(), QRect(110, 90, 80, 15)));
        ShapeAnnotation placeholder = *Canvas()->ShapeInProgress();
        QCOMPARE(Differences(Frame(), WithRubberBand(bare, placeholder, "000.0px")), 0);
        m_tile->SelectTool(ToolKind::Angle);
        // Choosing another tool drops the half-drawn ruler and erases it.
        QCOMPARE(Differences(Frame(), bare), 0);
        Press({ 300, 200 });
        placeholder = *Canvas()->ShapeInProgress();
        QCOMPARE(placeholder.labelRect.left, 290);
        QCOMPARE(placeholder.labelRect.top, 210);
        QCOMPARE(Differences(Frame(), WithRubberBand(bare, placeholder, "000.0")), 0);
    }

    void angleTakesThreeClicksWithTheArmFollowing()
    {
        TileWindow& tile = Show(m_plain);
        const QImage bare = Bare();
        tile.SelectTool(ToolKind::Angle);
        Click({ 100, 100 }); // vertex
        QCOMPARE(Canvas()->AngleClicks(), 1);
        Hover({ 200, 100 }); // no button: the first arm follows
        QCOMPARE(Canvas()->ShapeInProgress()->points[1], (FloatPoint { 200, 100 }));
        QCOMPARE(Rgb(Frame(), 150, 100), Inverted(Rgb(bare, 150, 100)));
        Click({ 200, 100 });
        QCOMPARE(Canvas()->AngleClicks(), 2);
        QVERIFY(tile.Layer().Empty());
        Hover({ 100, 30 }); // now the second arm follows
        QCOMPARE(Canvas()->ShapeInProgress()->points[3], (FloatPoint { 100, 30 }));
        QCOMPARE(Canvas()->ShapeInProgress()->points[1], (FloatPoint { 200, 100 }));
        Hover({ 100, 0 });
        QCOMPARE(Rgb(Frame(), 100, 50), Inverted(Rgb(bare, 100, 50)));
        Click({ 100, 0 });
        QCOMPARE(Canvas()->AngleClicks(), 0);
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
        const ShapeAnnotation& angle = Shape(0);
        QCOMPARE(angle.kind, ToolKind::Angle);
        QCOMPARE(angle.points[0], (FloatPoint { 100, 100 }));
        QCOMPARE(angle.points[2], (FloatPoint { 100, 100 }));
        QCOMPARE(angle.points[3], (FloatPoint { 100, 0 }));
        QCOMPARE(Canvas()->LabelOf(angle), std::string("90.0"));
        QCOMPARE(angle.labelRect.left, 90);
        QCOMPARE(angle.labelRect.top, 110);
        const QImage frame = Frame();
        QCOMPARE(Rgb(frame, 150, 100), kYellow);
        QCOMPARE(Rgb(frame, 100, 50), kYellow);
        QVERIFY(HasYellowText(frame, QRect(90, 110, 40, 15)));

        // A second arm ending on the vertex measures 0.0.
        Click({ 300, 300 });
        Click({ 350, 300 });
        Click({ 300, 300 });
        QCOMPARE(Canvas()->LabelOf(Shape(1)), std::string("0.0"));
    }

    void dragWithTheRightButtonAlsoHeldDoesNothing()
    {
        TileWindow& tile = Show(m_plain);
        tile.SelectTool(ToolKind::Arrow);
        Press({ 100, 100 });
        Drag({ 200, 150 }, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(Canvas()->ShapeInProgress()->points[1], (FloatPoint { 100, 100 }));
        Drag({ 210, 150 }, Qt::LeftButton);
        QCOMPARE(Canvas()->ShapeInProgress()->points[1], (FloatPoint { 210, 150 }));
        Release({ 210, 150 });

        tile.SetCanvasMode(CanvasMode::Select);
        Press({ 150, 125 });
        Drag({ 180, 125 }, Qt::LeftButton | Qt::RightButton);
        Release({ 180, 125 });
        QCOMPARE(Shape(0).points[0], (FloatPoint { 100, 100 })); // not moved
    }

    void pressOutsideTheImageIsIgnored()
    {
        m_zoom = 0.5; // 300 x 200 centred: (150, 100) to (450, 300)
        TileWindow& tile = Show(m_plain);
        QCOMPARE(Canvas()->ImageRect(), (PixelRect { 150, 100, 450, 300 }));
        tile.SelectTool(ToolKind::Arrow);
        DragLine({ 100, 50 }, { 200, 150 });
        QVERIFY(tile.Layer().Empty());
        Press({ 200, 150 });
        Drag({ 500, 350 }); // outside: ignored, the tip stays
        QCOMPARE(Canvas()->ShapeInProgress()->points[1], (FloatPoint { 200, 150 }));
        Drag({ 449, 299 });
        Release({ 500, 350 });
        QCOMPARE(Shape(0).points[1], (FloatPoint { 449, 299 }));
    }

    void textPlacedWherePressed()
    {
        TileWindow& tile = Show(m_plain);
        const QImage bare = Bare();
        tile.StartText("Hello");
        Press({ 100, 100 });
        Drag({ 300, 300 });
        Release({ 300, 300 });
        QCOMPARE(tile.Layer().Texts().size(), size_t(1));
        const TextAnnotation& text = tile.Layer().Texts()[0];
        QCOMPARE(text.text, std::string("Hello"));
        QCOMPARE(text.left, 100.0f);
        QCOMPARE(text.top, 100.0f);
        QVERIFY(text.right > 110 && text.bottom > 105);
        const QImage frame = Frame();
        QVERIFY(HasYellowText(frame, QRect(100, 100, int(text.right) - 100, int(text.bottom) - 100)));
        // Nothing but the box changed.
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (x < 100 || y < 100 || x >= text.right || y >= text.bottom)
                    QCOMPARE(Rgb(frame, x, y), Rgb(bare, x, y));
        Repaint();
        QCOMPARE(Differences(Frame(), frame), 0);
        // A long text keeps its first 259 characters.
        tile.StartText(std::string(300, 'w'));
        Click({ 10, 300 });
        QCOMPARE(tile.Layer().Texts().back().text, std::string(259, 'w'));
        // An empty text places nothing.
        tile.StartText("");
        Click({ 10, 200 });
        QCOMPARE(tile.Layer().Texts().size(), size_t(2));
    }

    void selectPicksUpMovesAndPutsBack()
    {
        TileWindow& tile = Show(m_plain);
        tile.SelectTool(ToolKind::Ruler);
        DragLine({ 100, 100 }, { 200, 100 });
        tile.SelectTool(ToolKind::Arrow);
        DragLine({ 100, 300 }, { 300, 300 });
        tile.StartText("note");
        Click({ 140, 95 }); // a text under the ruler
        QCOMPARE(tile.Layer().Shapes().size(), size_t(2));

        tile.SetCanvasMode(CanvasMode::Select);
        // Picking the ruler up: the shape wins over the text; it is out of the layer meanwhile,
        // shown inverted without its label.
        const QImage bare = Bare();
        Press({ 150, 100 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
        QCOMPARE(Shape(0).kind, ToolKind::Arrow);
        QCOMPARE(Rgb(Frame(), 195, 100), Inverted(Rgb(bare, 195, 100)));
        QVERIFY(!HasYellowText(Frame(), QRect(210, 90, 70, 15)));
        Drag({ 160, 150 });
        Drag({ 170, 200 });
        Release({ 170, 200 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(2));
        const ShapeAnnotation& moved = Shape(1); // back at the end of the list
        QCOMPARE(moved.kind, ToolKind::Ruler);
        QCOMPARE(moved.points[2], (FloatPoint { 120, 200 }));
        QCOMPARE(moved.points[3], (FloatPoint { 220, 200 }));
        QCOMPARE(moved.labelRect.left, 230);
        QCOMPARE(moved.labelRect.top, 190);
        QCOMPARE(Canvas()->LabelOf(moved), std::string("100.0px"));
        const QImage after = Frame();
        QCOMPARE(Rgb(after, 170, 200), kYellow);
        QCOMPARE(Rgb(after, 195, 100), Rgb(bare, 195, 100)); // gone from the old place
        QVERIFY(HasYellowText(after, QRect(230, 190, 70, 15)));

        // The text can be moved now that no shape covers it.
        const float width = tile.Layer().Texts()[0].right - tile.Layer().Texts()[0].left;
        Press({ 142, 98 });
        QVERIFY(tile.Layer().Texts().empty());
        Drag({ 152, 58 });
        Release({ 152, 58 });
        QCOMPARE(tile.Layer().Texts().size(), size_t(1));
        QCOMPARE(tile.Layer().Texts()[0].left, 150.0f);
        QCOMPARE(tile.Layer().Texts()[0].top, 55.0f);
        QCOMPARE(tile.Layer().Texts()[0].right - tile.Layer().Texts()[0].left, width);
        QCOMPARE(tile.Layer().Texts()[0].bottom - tile.Layer().Texts()[0].top, 12.0f);
        QVERIFY(HasYellowText(Frame(), QRect(150, 55, int(width), 12)));

        // Pressing where nothing is does nothing.
        Press({ 500, 380 });
        QVERIFY(!Canvas()->ButtonIsDown());
        Release({ 500, 380 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(2));
    }

    void pickUpAndPutDownUnmoved()
    {
        TileWindow& tile = Show(m_plain);
        tile.SelectTool(ToolKind::Ruler);
        DragLine({ 100, 100 }, { 200, 100 });
        tile.SelectTool(ToolKind::Arrow);
        DragLine({ 100, 300 }, { 300, 300 });
        const QImage before = Frame();
        const ShapeAnnotation ruler = Shape(0);
        tile.SetCanvasMode(CanvasMode::Select);
        Click({ 150, 101 });
        QCOMPARE(tile.Layer().Shapes().size(), size_t(2));
        QCOMPARE(Shape(0).kind, ToolKind::Arrow);
        QCOMPARE(Shape(1).points, ruler.points); // in place, now last
        QCOMPARE(Shape(1).labelRect, ruler.labelRect);
        QCOMPARE(Differences(Frame(), before), 0);
    }

    void selectCursorIsACrossOverAnnotations()
    {
        TileWindow& tile = Show(m_plain);
        tile.SelectTool(ToolKind::Arrow);
        DragLine({ 100, 100 }, { 200, 100 });
        tile.SetCanvasMode(CanvasMode::Select);
        Hover({ 150, 103 });
        QCOMPARE(tile.cursor().shape(), Qt::CrossCursor);
        QCOMPARE(TileWindow::ClassCursor(), Qt::CrossCursor); // the tiles share it
        Hover({ 150, 106 });
        QCOMPARE(tile.cursor().shape(), Qt::ArrowCursor);
        Hover({ 150, 100 });
        QCOMPARE(tile.cursor().shape(), Qt::CrossCursor);
        // A second tile shares the cursor, and sets it right when the mouse moves over it.
        TileWindow other(nullptr, ZoomLink {});
        other.resize(kWidth, kHeight);
        other.show();
        QVERIFY(other.ShowDicomImage(m_plain, 1));
        other.SetCanvasMode(CanvasMode::Select);
        QCOMPARE(other.cursor().shape(), Qt::CrossCursor);
        SendMouse(&other, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, { 150, 100 });
        QCOMPARE(other.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(tile.cursor().shape(), Qt::ArrowCursor);
        Hover({ 150, 100 });
        QCOMPARE(other.cursor().shape(), Qt::CrossCursor);
        tile.SetCanvasMode(CanvasMode::Off); // leaving Select mode leaves no cross behind
        QCOMPARE(tile.cursor().shape(), Qt::ArrowCursor);
    }

    void unfinishedAngleDroppedWhenTheModeChanges()
    {
        TileWindow& tile = Show(m_plain);
        const QImage bare = Bare();
        tile.SelectTool(ToolKind::Angle);
        Click({ 100, 100 });
        Hover({ 200, 150 });
        tile.SetCanvasMode(CanvasMode::Select);
        QCOMPARE(Canvas()->AngleClicks(), 0);
        QCOMPARE(Differences(Frame(), bare), 0); // its lines and label are erased
        Hover({ 250, 150 });
        QCOMPARE(Differences(Frame(), bare), 0);
        QVERIFY(tile.Layer().Empty());
    }

    void panMovesAnnotationsAndStopsThemAtTheEdge()
    {
        TileWindow& tile = Show(m_plain);
        tile.SelectTool(ToolKind::Ruler);
        DragLine({ 100, 100 }, { 200, 100 });
        DragLine({ 480, 300 }, { 570, 300 });
        tile.SetCanvasMode(CanvasMode::Off);
        SendMouse(&tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 300, 200 });
        SendMouse(&tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 350, 210 });
        SendMouse(&tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, { 350, 210 });
        QCOMPARE(Shape(0).points[2], (FloatPoint { 150, 110 }));
        QCOMPARE(Shape(0).labelRect.left, 260);
        // The second ruler's end reached the image's right edge (600) after 30 pixels; it
        // stops there and keeps its length.
        QCOMPARE(Shape(1).points[3].x, 600.0f);
        QCOMPARE(Shape(1).points[2].x, 510.0f);
        QCOMPARE(Shape(1).points[2].y, 310.0f);
        QCOMPARE(Canvas()->LabelOf(Shape(1)), std::string("90.0px"));
        tile.UpdateNow();
        QCOMPARE(Rgb(Frame(), 175, 110), kYellow);
    }

    void redrawAllAndColour()
    {
        TileWindow& tile = Show(m_plain);
        tile.SelectTool(ToolKind::Arrow);
        DragLine({ 100, 100 }, { 200, 100 });
        tile.Binding().SetColour(255, 0, 0, true);
        QCOMPARE(Rgb(Frame(), 150, 100), kRed);
        QCOMPARE(tile.Binding().MoveAll(0, 50), SUCCESS);
        tile.Binding().RedrawAll();
        QCOMPARE(Rgb(Frame(), 150, 150), kRed);
        QCOMPARE(Rgb(Frame(), 150, 100), Rgb(Bare(), 150, 100));
        QCOMPARE(tile.Binding().SetLayerName(""), ERROR_GENERAL_FAILURE);
        QCOMPARE(tile.Layer().Name(), std::string("Layer 1"));
        QCOMPARE(tile.Binding().StartTool(ToolKind(7), ""), ERROR_GENERAL_FAILURE);
        QCOMPARE(tile.Binding().StartTool(ToolKind::Text, nullptr), ERROR_GENERAL_FAILURE);
        QVERIFY(!Canvas()->TextInProgress() && !Canvas()->ShapeInProgress());
        Click({ 300, 300 }); // no record: presses are ignored
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
    }

    void calibrationWithTheDialog()
    {
        TileWindow& tile = Show(m_plain);
        DialogAnswer answer;
        tile.MarkCalibrationPending();
        tile.SelectTool(ToolKind::Ruler);
        answer.Arm("50", true);
        DragLine({ 100, 100 }, { 300, 100 });
        QVERIFY(answer.Seen());
        QCOMPARE(answer.pixels, QString("200.0"));
        QCOMPARE(answer.initial, QString("200.0")); // the entry starts at the pixel count
        QVERIFY(!tile.CalibrationPending());
        QVERIFY(tile.Layer().Shapes().empty()); // the reference ruler is gone
        QVERIFY(Canvas()->Scale().Calibrated());
        tile.UpdateNow();
        QCOMPARE(Rgb(Frame(), 200, 100), Rgb(Bare(), 200, 100));

        answer.Arm("1", true);
        DragLine({ 100, 200 }, { 200, 200 });
        QVERIFY(!answer.Seen()); // offered once
        QCOMPARE(Canvas()->LabelOf(Shape(0)), std::string("25.0mm"));
        QVERIFY(HasYellowText(Frame(), QRect(210, 190, 70, 15)));
        // The scale belongs to the image: at 200 % a ruler twice as long reads the same.
        m_zoom = 2.0;
        tile.SetZoom(2.0);
        tile.UpdateNow();
        DragLine({ 100, 300 }, { 300, 300 });
        QCOMPARE(Canvas()->LabelOf(Shape(1)), std::string("25.0mm"));
        // A new load starts without a scale.
        QVERIFY(tile.ShowDicomImage(m_plain, 1));
        tile.UpdateNow();
        tile.SelectTool(ToolKind::Ruler);
        DragLine({ 100, 100 }, { 200, 100 });
        QVERIFY(!answer.Seen());
        QCOMPARE(Canvas()->LabelOf(Shape(0)), std::string("50.0px"));
    }

    void calibrationCancelled()
    {
        TileWindow& tile = Show(m_plain);
        DialogAnswer answer;
        tile.MarkCalibrationPending();
        tile.SelectTool(ToolKind::Ruler);
        answer.Arm("50", false);
        DragLine({ 100, 100 }, { 300, 100 });
        QVERIFY(answer.Seen());
        QVERIFY(!tile.CalibrationPending());
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1)); // an ordinary ruler now
        QCOMPARE(Canvas()->LabelOf(Shape(0)), std::string("200.0px"));
        QVERIFY(!Canvas()->Scale().Calibrated());
        answer.Arm("50", true);
        DragLine({ 100, 200 }, { 300, 200 });
        QVERIFY(!answer.Seen());
    }

    void calibrationOfAnImageWithSpacingStartsAtItsReading()
    {
        TileWindow& tile = Show(m_spaced);
        DialogAnswer answer;
        tile.MarkCalibrationPending();
        tile.SelectTool(ToolKind::Ruler);
        answer.Arm("40", true);
        DragLine({ 100, 100 }, { 300, 100 });
        QVERIFY(answer.Seen());
        QCOMPARE(answer.pixels, QString("200.0"));
        QCOMPARE(answer.initial, QString("100.0"));
        DragLine({ 100, 200 }, { 200, 200 });
        QCOMPARE(Canvas()->LabelOf(Shape(0)), std::string("20.0mm")); // the calibration wins
    }

    void calibrationRefusals()
    {
        TileWindow& tile = Show(m_plain);
        DialogAnswer answer;
        tile.MarkCalibrationPending();
        tile.SelectTool(ToolKind::Ruler);
        // A ruler without length is no reference: no dialog, still pending.
        answer.Arm("50", true);
        Click({ 100, 100 });
        QVERIFY(!answer.Seen());
        QVERIFY(tile.CalibrationPending());
        QCOMPARE(tile.Layer().Shapes().size(), size_t(1));
        // An entry that is no positive number keeps OK disabled; Cancel leaves everything.
        bool okEnabled = true;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CalibrateDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QString("-- Calibrate Dialog --"));
            dialog->MillimetreEdit()->setText("abc");
            okEnabled = dialog->OkButton()->isEnabled();
            dialog->MillimetreEdit()->setText("0");
            okEnabled = okEnabled || dialog->OkButton()->isEnabled();
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton); // disabled: nothing happens
            QVERIFY(dialog->isVisible());
            QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        });
        DragLine({ 100, 200 }, { 300, 200 });
        QVERIFY(!okEnabled);
        QVERIFY(!Canvas()->Scale().Calibrated());
        QCOMPARE(tile.Layer().Shapes().size(), size_t(2));
    }

    void releaseThatFinishesNoRulerEndsThePrompt()
    {
        TileWindow& tile = Show(m_plain);
        DialogAnswer answer;
        tile.SelectTool(ToolKind::Ruler);
        DragLine({ 100, 100 }, { 300, 100 }); // an older ruler is last in the list
        tile.MarkCalibrationPending();
        tile.SetCanvasMode(CanvasMode::Select);
        answer.Arm("50", true);
        Click({ 500, 300 });
        QVERIFY(!answer.Seen());
        QVERIFY(!tile.CalibrationPending());
    }
};

QTEST_MAIN(AnnotationCanvasTest)
#include "annotation_canvas_qtest.moc"
