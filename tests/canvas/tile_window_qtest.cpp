// TileWindow driven through its operations and real mouse events; every check reads the
// framebuffer against what the imaging layer alone produces for the same frame and rectangle.
#include "canvas/tile_window.h"
#include "tile_fixtures.h"
#include "toolkit/built_in_tables.h"

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

using namespace velmora;
using namespace velmora::testing;

namespace {

// Exposes the erase handler on its own.
class ErasingTile : public TileWindow {
public:
    using TileWindow::TileWindow;
    void EraseOnly()
    {
        DrawContext dc = Context();
        OnEraseBackground(dc);
    }
};

const QRgb kMarker = qRgb(255, 0, 255);

bool Same(const QImage& a, const QImage& b)
{
    return a.size() == b.size()
        && a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// Whether every pixel outside `rect` is black.
bool BlackOutside(const QImage& image, const PixelRect& rect)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            if (!inside && (image.pixel(x, y) & 0xFFFFFF) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

class TileWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    double m_zoom = 1.0;
    std::vector<double> m_shownZooms;
    std::string m_ramp512; // 512 x 512 8-bit diagonal ramp
    std::string m_tall; // 1,200 x 1,000 8-bit: more than one piece
    std::string m_wide16; // 1,024 x 600 16-bit: two pieces, converted at the end

    std::unique_ptr<ErasingTile> MakeTile(int width, int height)
    {
        ZoomLink link;
        link.current = [this] { return m_zoom; };
        link.show = [this](double zoom) { m_shownZooms.push_back(zoom); };
        auto tile = std::make_unique<ErasingTile>(nullptr, std::move(link));
        tile->resize(width, height);
        tile->show();
        return tile;
    }

    static QImage Painted(TileWindow& tile)
    {
        tile.UpdateNow();
        return tile.Framebuffer().copy();
    }

private slots:
    void initTestCase()
    {
        InstallBuiltInTables();
        NativeImage ramp { 512, 512, 8, 1, "MONOCHROME2", "0.5\\0.25", {} };
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x)
                ramp.pixels.push_back(static_cast<uint8_t>((x + 2 * y) & 0xFF));
        m_ramp512 = (m_dir.path() + "/ramp512.dcm").toStdString();
        QVERIFY(WriteNativeDicom(m_ramp512, ramp));
        NativeImage tall { 1000, 1200, 8, 1, "MONOCHROME2", "", {} };
        tall.pixels.resize(1200u * 1000u);
        for (size_t k = 0; k < tall.pixels.size(); ++k)
            tall.pixels[k] = static_cast<uint8_t>(k / 1200 / 4);
        m_tall = (m_dir.path() + "/tall.dcm").toStdString();
        QVERIFY(WriteNativeDicom(m_tall, tall));
        NativeImage wide { 600, 1024, 16, 1, "MONOCHROME2", "", {} };
        wide.pixels.resize(1024u * 600u * 2u);
        for (size_t k = 0; k < wide.pixels.size() / 2; ++k)
            wide.pixels[2 * k] = static_cast<uint8_t>(k % 251);
        m_wide16 = (m_dir.path() + "/wide16.dcm").toStdString();
        QVERIFY(WriteNativeDicom(m_wide16, wide));
    }

    void init()
    {
        m_zoom = 1.0;
        m_shownZooms.clear();
    }

    void largeFrameOverflowsEverySideAtTheDialogZoom()
    {
        auto tile = MakeTile(400, 300);
        QVERIFY(tile->ShowDicomImage(m_ramp512, 1));
        QVERIFY(tile->ImageShown());
        QCOMPARE(tile->Content(), TileContent::DicomFrame);
        QCOMPARE(tile->ImageRect(), (PixelRect { -56, -106, 456, 406 }));
        QCOMPARE(m_shownZooms, std::vector<double>({ 1.0 }));
        QCOMPARE(tile->SpacingMm()[0], 0.5);
        QCOMPARE(tile->SpacingMm()[1], 0.25);
        QVERIFY(Same(Painted(*tile), ExpectedTile(m_ramp512, 1, {}, tile->size(), tile->ImageRect())));
    }

    void steppingReusesTheFrameMemory()
    {
        // Next and cine load frame after frame of one size: the raw frame and the bitmap are
        // overwritten in place, and each still shows what the imaging layer alone produces.
        auto tile = MakeTile(400, 300);
        QVERIFY(tile->ShowDicomImage(m_ramp512, 1));
        const uint8_t* raw = tile->Description().pixelBuffer.data();
        const uint8_t* bits = tile->Bitmap().Bits().data();
        QVERIFY(!tile->ShowDicomImage("/nonexistent/next.dcm", 1));
        for (int step = 0; step < 3; ++step) {
            QVERIFY(tile->ShowDicomImage(m_ramp512, 1));
            QCOMPARE(tile->Description().pixelBuffer.data(), raw);
            QCOMPARE(tile->Bitmap().Bits().data(), bits);
        }
        QVERIFY(Same(Painted(*tile), ExpectedTile(m_ramp512, 1, {}, tile->size(), tile->ImageRect())));
    }

    void showsWhatTheRenderToolShows()
    {
        // The golden picture of `velmora-tool render --png` for the same file.
        const QImage golden(QString::fromStdString(SourceFile("tests/data/tools/golden/ct_small.png")));
        QVERIFY(!golden.isNull());
        auto tile = MakeTile(300, 200);
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        const PixelRect r = tile->ImageRect();
        QCOMPARE(r, (PixelRect { 86, 36, 214, 164 }));
        const QImage shown = Painted(*tile);
        for (int y = 0; y < golden.height(); ++y)
            for (int x = 0; x < golden.width(); ++x)
                QCOMPARE(shown.pixel(r.left + x, r.top + y) & 0xFFFFFF, golden.pixel(x, y) & 0xFFFFFF);
        QVERIFY(BlackOutside(shown, r));
    }

    void zoomsAboutTheCentre_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::newRow("200 %") << 2.0 << 22 << 278;
        QTest::newRow("50 %") << 0.5 << 118 << 182;
        QTest::newRow("110 %") << 1.1 << 80 << 220;
        QTest::newRow("near zero") << 1.4e-16 << 149 << 151;
        QTest::newRow("zero") << 0.0 << 150 << 150;
    }

    void zoomsAboutTheCentre()
    {
        QFETCH(double, zoom);
        QFETCH(int, left);
        QFETCH(int, right);
        auto tile = MakeTile(300, 300);
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        QCOMPARE(tile->ImageRect(), (PixelRect { 86, 86, 214, 214 }));
        tile->SetZoom(zoom);
        QCOMPARE(tile->ImageRect(), (PixelRect { left, left, right, right }));
        QVERIFY(Same(Painted(*tile),
            ExpectedTile(PydicomFile("CT_small.dcm"), 1, {}, tile->size(), tile->ImageRect())));
        // A load at that zoom gives the same rectangle.
        m_zoom = zoom;
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        QCOMPARE(tile->ImageRect(), (PixelRect { left, left, right, right }));
        // Nonsense zooms change nothing and fail nothing.
        tile->SetZoom(std::nan(""));
        QCOMPARE(tile->ImageRect(), (PixelRect { left, left, right, right }));
        tile->SetZoom(-3.0);
        Painted(*tile);
    }

    // The export is the frame at 100 %, whatever the zoom the tile shows it at: its overlay says
    // so too, while the tile's own overlay gives the zoom on screen.
    void exportedOverlayGivesTheExportsZoom()
    {
        TileWindow::SetOverlayShown(true);
        auto tile = MakeTile(300, 300);
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        const QImage atHundred = tile->ImageAsShown();
        m_zoom = 2.0;
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        const CornerLines lines = tile->OverlayLines();
        const QImage atTwoHundred = tile->ImageAsShown();
        TileWindow::SetOverlayShown(false);
        QVERIFY(std::find(lines[3].begin(), lines[3].end(), "Zoom: 200%") != lines[3].end());
        QVERIFY(Same(atTwoHundred, atHundred));
    }

    void viewingFlagsMatchTheLoader_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("flag");
        for (const char* file :
            { "pydicom:MR_small.dcm", "resources/DICOM/OTHER/RGB001.dcm", "pydicom:CT_small.dcm" }) {
            for (int flag = 0; flag < 3; ++flag)
                QTest::newRow(qPrintable(QString("%1 %2").arg(file).arg(flag))) << QString(file) << flag;
        }
    }

    // A row of viewingFlagsMatchTheLoader_data: the file's path and the one flag (0 mirror,
    // 1 flip, 2 invert).
    static std::string FlagRowPath(const QString& file)
    {
        return file.startsWith("pydicom:") ? PydicomFile(file.mid(8).toStdString())
                                           : SourceFile(file.toStdString());
    }
    static DisplayFlags FlagRowFlags(int flag)
    {
        DisplayFlags flags;
        (flag == 0 ? flags.reflectX : flag == 1 ? flags.reflectY : flags.invert) = true;
        return flags;
    }

    void viewingFlagsMatchTheLoader()
    {
        QFETCH(QString, file);
        QFETCH(int, flag);
        const std::string path = FlagRowPath(file);
        const DisplayFlags flags = FlagRowFlags(flag);
        m_zoom = 1.5;
        // Applied to a shown image ...
        auto tile = MakeTile(250, 180);
        QVERIFY(tile->ShowDicomImage(path, 1));
        const QImage plain = Painted(*tile);
        flag == 0 ? tile->ReflectX() : flag == 1 ? tile->ReflectY() : tile->Invert();
        const QImage expected = ExpectedTile(path, 1, flags, tile->size(), tile->ImageRect());
        const QImage changed = Painted(*tile);
        QVERIFY(!Same(changed, plain));
        QVERIFY(Same(changed, expected));
        // ... and set before a load.
        auto second = MakeTile(250, 180);
        second->reflectX = flags.reflectX;
        second->reflectY = flags.reflectY;
        second->invert = flags.invert;
        QVERIFY(second->ShowDicomImage(path, 1));
        QVERIFY(Same(Painted(*second), expected));
    }

    // A window/level drag keeps its look through Mirror, Flip and Invert, on colour-table
    // (greyscale) and 24-bit (colour) bitmaps alike.
    void adjustmentsSurviveViewingCommands_data() { viewingFlagsMatchTheLoader_data(); }
    void adjustmentsSurviveViewingCommands()
    {
        QFETCH(QString, file);
        QFETCH(int, flag);
        const std::string path = FlagRowPath(file);
        const DisplayFlags flags = FlagRowFlags(flag);
        auto tile = MakeTile(200, 200);
        QVERIFY(tile->ShowDicomImage(path, 1));
        tile->ToggleWindowLevelMode();
        SendMouse(tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 10, 10 });
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 30, 40 });
        SendMouse(tile.get(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 30, 40 });
        flag == 0 ? tile->ReflectX() : flag == 1 ? tile->ReflectY() : tile->Invert();
        QCOMPARE(tile->Bitmap().BrightnessTotal(), 20);
        QCOMPARE(tile->Bitmap().ContrastTotal(), 30);
        const QImage adjusted = ExpectedTile(path, 1, flags, tile->size(), tile->ImageRect(), 20, 30);
        QVERIFY(!Same(adjusted, ExpectedTile(path, 1, flags, tile->size(), tile->ImageRect())));
        QVERIFY(Same(Painted(*tile), adjusted));
    }

    void windowLevelDragNeedsExactlyTheLeftButton()
    {
        auto tile = MakeTile(200, 200);
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        const QImage before = Painted(*tile);
        // Without window/level mode a left drag changes nothing.
        SendMouse(tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 10, 10 });
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 40, 10 });
        SendMouse(tile.get(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 40, 10 });
        QCOMPARE(tile->Bitmap().BrightnessTotal(), 0);
        tile->ToggleWindowLevelMode();
        QVERIFY(tile->WindowLevelMode());
        SendMouse(tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 10, 10 });
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 15, 13 });
        QCOMPARE(tile->Bitmap().BrightnessTotal(), 5);
        QCOMPARE(tile->Bitmap().ContrastTotal(), 3);
        // Repainted at once, without waiting for the event loop.
        QVERIFY(!tile->Invalid());
        QVERIFY(!Same(tile->Framebuffer(), before));
        // Another key or button held: nothing.
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 40, 40 }, Qt::ShiftModifier);
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton, { 50, 50 });
        SendMouse(
            tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 60, 60 }, Qt::ControlModifier);
        QCOMPARE(tile->Bitmap().BrightnessTotal(), 5);
        QCOMPARE(tile->Bitmap().ContrastTotal(), 3);
        // Back to the start point: exactly the unadjusted picture.
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 10, 10 });
        QCOMPARE(tile->Bitmap().BrightnessTotal(), 0);
        QVERIFY(Same(tile->Framebuffer(), before));
        // Window/level mode keeps the right button from panning.
        SendMouse(tile.get(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 10, 10 });
        QVERIFY(!tile->Panning());
    }

    void rightDragPans()
    {
        auto tile = MakeTile(200, 160);
        const std::string path = PydicomFile("CT_small.dcm");
        QVERIFY(tile->ShowDicomImage(path, 1));
        Painted(*tile);
        SendMouse(tile.get(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 50, 50 });
        QVERIFY(tile->Panning());
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 62, 45 });
        QCOMPARE(tile->ImageRect(), (PixelRect { 48, 11, 176, 139 }));
        // The uncovered strips are black, the image is whole at its new place.
        QVERIFY(Same(tile->Framebuffer(), ExpectedTile(path, 1, {}, tile->size(), tile->ImageRect())));
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton | Qt::LeftButton, { 90, 90 });
        SendMouse(
            tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 70, 40 }, Qt::ShiftModifier);
        QCOMPARE(tile->ImageRect(), (PixelRect { 48, 11, 176, 139 }));
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 42, 60 });
        QCOMPARE(tile->ImageRect(), (PixelRect { 28, 26, 156, 154 }));
        QVERIFY(Same(tile->Framebuffer(), ExpectedTile(path, 1, {}, tile->size(), tile->ImageRect())));
        SendMouse(tile.get(), QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, { 42, 60 });
        QVERIFY(!tile->Panning());
        SendMouse(tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 0, 0 });
        QCOMPARE(tile->ImageRect(), (PixelRect { 28, 26, 156, 154 }));
    }

    void erasesOnlyTheBandsAroundTheImage()
    {
        auto tile = MakeTile(200, 160);
        tile->Framebuffer().fill(kMarker);
        tile->EraseOnly();
        QVERIFY(BlackOutside(tile->Framebuffer(), {}));
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        const PixelRect r = tile->ImageRect();
        tile->Framebuffer().fill(kMarker);
        tile->EraseOnly();
        const QImage& fb = tile->Framebuffer();
        QVERIFY(BlackOutside(fb, r));
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                QCOMPARE(fb.pixel(x, y), kMarker | 0xFF000000u);
    }

    void aDirectPaintRepaintsTheWholeImage()
    {
        auto tile = MakeTile(200, 160);
        const std::string path = PydicomFile("MR_small.dcm");
        QVERIFY(tile->ShowDicomImage(path, 1));
        const QImage expected = ExpectedTile(path, 1, {}, tile->size(), tile->ImageRect());
        QVERIFY(Same(Painted(*tile), expected));
        tile->Framebuffer().fill(kMarker);
        QVERIFY(!tile->Invalid());
        tile->PaintNow();
        const PixelRect r = tile->ImageRect();
        QCOMPARE(tile->Framebuffer().copy(r.left, r.top, r.Width(), r.Height()),
            expected.copy(r.left, r.top, r.Width(), r.Height()));
        // The posted repaint invalidates the whole window with erasing when it arrives.
        tile->Framebuffer().fill(kMarker);
        tile->PostRepaint();
        QVERIFY(!tile->Invalid());
        QCoreApplication::sendPostedEvents(tile.get());
        QVERIFY(tile->Invalid());
        QVERIFY(Same(Painted(*tile), expected));
    }

    void nativeFramesArriveBandByBand()
    {
        auto tile = MakeTile(300, 200);
        m_zoom = 0.2;
        QVERIFY(tile->ShowDicomImage(m_tall, 1));
        // 1,048,576 / 1,200 = 873 whole rows in the first piece, the other 127 in the second.
        using Bands = std::vector<std::pair<uint32_t, uint32_t>>;
        QCOMPARE(tile->PaintedBands(), (Bands { { 0, 873 }, { 873, 1000 } }));
        QVERIFY(Same(Painted(*tile), ExpectedTile(m_tall, 1, {}, tile->size(), tile->ImageRect())));
        // 16-bit data is windowed once the frame is complete: one band at the end.
        QVERIFY(tile->ShowDicomImage(m_wide16, 1));
        QCOMPARE(tile->PaintedBands(), (Bands { { 0, 0 }, { 0, 600 } }));
        // A compressed frame is decoded whole and appended once.
        QVERIFY(tile->ShowDicomImage(PydicomFile("MR_small_RLE.dcm"), 1));
        QCOMPARE(tile->PaintedBands(), (Bands { { 0, 64 } }));
        QVERIFY(Same(Painted(*tile),
            ExpectedTile(PydicomFile("MR_small_RLE.dcm"), 1, {}, tile->size(), tile->ImageRect())));
    }

    void refusedLoadsLeaveTheTileEmpty_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("frame");
        QTest::addColumn<bool>("afterPicture");
        const std::pair<const char*, std::pair<std::string, int>> refused[] = {
            { "JPEG 2000", { PydicomFile("JPEG2000.dcm"), 1 } },
            { "missing file", { PydicomFile("no-such-file.dcm"), 1 } },
            { "not DICOM", { SourceFile("resources/splash.bmp"), 1 } },
            { "empty path", { std::string(), 1 } },
            { "frame past the end", { PydicomFile("CT_small.dcm"), 2 } },
            { "frame 0", { PydicomFile("CT_small.dcm"), 0 } },
            { "no image", { PydicomFile("rtplan.dcm"), 1 } },
        };
        // Whatever the tile showed before, a frame or a picture, a refused load leaves it black.
        for (const bool afterPicture : { false, true }) {
            for (const auto& [name, load] : refused) {
                QTest::addRow("%s after a %s", name, afterPicture ? "picture" : "frame")
                    << QString::fromStdString(load.first) << load.second << afterPicture;
            }
        }
    }

    void refusedLoadsLeaveTheTileEmpty()
    {
        QFETCH(QString, path);
        QFETCH(int, frame);
        QFETCH(bool, afterPicture);
        auto tile = MakeTile(120, 90);
        QVERIFY(tile->ShowDicomImage(PydicomFile("JPEG-lossy.dcm"), 1));
        if (afterPicture) {
            QImage red(40, 30, QImage::Format_RGB32);
            red.fill(qRgb(255, 0, 0));
            const QString file = m_dir.path() + "/before.png";
            QVERIFY(red.save(file));
            tile->ShowPicture(file.toStdString());
            QCOMPARE(Painted(*tile).pixel(60, 45) & 0xFFFFFF, 0xFF0000u);
        }
        QVERIFY(tile->ImageShown());
        QVERIFY(!tile->ShowDicomImage(path.toStdString(), frame));
        QVERIFY(!tile->ImageShown());
        QCOMPARE(tile->Content(), TileContent::DicomFrame);
        QVERIFY(BlackOutside(Painted(*tile), {}));
        // Nothing brings the old picture back: a repaint and a resize paint black too.
        tile->resize(100, 80);
        QVERIFY(BlackOutside(Painted(*tile), {}));
    }

    void picturesAreFittedAndCentred_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("placed");
        QTest::newRow("smaller: own size") << QSize(200, 100) << QRect(100, 100, 200, 100);
        QTest::newRow("wide") << QSize(800, 200) << QRect(0, 100, 400, 100);
        QTest::newRow("tall") << QSize(300, 600) << QRect(125, 0, 150, 300);
        QTest::newRow("wider only") << QSize(500, 250) << QRect(0, 50, 400, 200);
    }

    void picturesAreFittedAndCentred()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, placed);
        QImage red(picture, QImage::Format_RGB32);
        red.fill(qRgb(255, 0, 0));
        const QString file = m_dir.path() + "/picture.png";
        QVERIFY(red.save(file));
        auto tile = MakeTile(400, 300);
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        tile->ShowPicture(file.toStdString());
        QVERIFY(tile->ImageShown());
        QCOMPARE(tile->Content(), TileContent::Picture);
        const QImage shown = Painted(*tile);
        const QRect inner = placed.adjusted(1, 1, -1, -1);
        for (const QPoint p :
            { inner.topLeft(), inner.topRight(), inner.bottomLeft(), inner.bottomRight(), inner.center() })
            QCOMPARE(shown.pixel(p) & 0xFFFFFF, 0xFF0000u);
        QVERIFY(
            BlackOutside(shown, { placed.left(), placed.top(), placed.right() + 1, placed.bottom() + 1 }));
        // The tile measures itself at each paint: after a resize the picture is fitted again.
        tile->resize(200, 150);
        const QImage resized = Painted(*tile);
        QCOMPARE(resized.pixel(100, 75) & 0xFFFFFF, 0xFF0000u);
    }

    void unreadablePicturesPaintBlack()
    {
        auto tile = MakeTile(100, 80);
        tile->ShowPicture("");
        QVERIFY(!tile->ImageShown());
        tile->ShowPicture(SourceFile("tests/data/imaging/README.md"));
        QVERIFY(tile->ImageShown());
        QVERIFY(tile->Picture().isNull());
        QVERIFY(BlackOutside(Painted(*tile), {}));
    }

    void everyPydicomFileShowsOrIsRefusedWhole()
    {
        // A tile agrees with the loader on every real file, and a refused one leaves it black.
        auto tile = MakeTile(90, 70);
        const QDir folder(QString::fromStdString(PydicomFile("")));
        int shown = 0;
        for (const QString& name : folder.entryList({ "*.dcm" }, QDir::Files)) {
            const std::string path = folder.filePath(name).toStdString();
            ImageSource source;
            ImageDescription description;
            DisplayBitmap bitmap;
            const bool expected
                = LoadFrame(path, 1, {}, source, description, bitmap) == FrameLoadResult::Shown;
            QCOMPARE(tile->ShowDicomImage(path, 1), expected);
            const QImage painted = Painted(*tile);
            if (!expected)
                QVERIFY2(BlackOutside(painted, {}), qPrintable(name));
            shown += expected;
        }
        QVERIFY(shown > 20);
    }

    void zeroSizedTilesFailNothing()
    {
        auto tile = MakeTile(0, 0);
        QVERIFY(tile->ShowDicomImage(PydicomFile("CT_small.dcm"), 1));
        tile->SetZoom(3.0);
        tile->ReflectX();
        tile->PaintNow();
        tile->ShowPicture(SourceFile("resources/splash.bmp"));
        tile->PaintNow();
        QVERIFY(tile->Framebuffer().isNull());
    }
};

QTEST_MAIN(TileWindowTest)
#include "tile_window_qtest.moc"
