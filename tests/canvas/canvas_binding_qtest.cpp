// CanvasBinding through a tile: a recording canvas shows what the tile binds after a load, that
// the hook gives the canvas the mouse before the tile, what each mode does to the hook, and that
// an unbound binding refuses everything.
#include "canvas/tile_window.h"
#include "platform/window_properties.h"
#include "tile_fixtures.h"
#include "toolkit/built_in_tables.h"

#include <QtTest>

using namespace velmora;
using namespace velmora::testing;

namespace {

std::vector<std::string> g_log;
int g_made = 0;
int g_alive = 0;
bool g_refuse = false;

class RecordingCanvas : public BindableCanvas {
public:
    explicit RecordingCanvas(const PixelRect* rect)
    {
        ++g_alive;
        g_log.push_back(
            rect ? "made " + std::to_string(rect->left) + "," + std::to_string(rect->top) : "made");
    }
    ~RecordingCanvas() override { --g_alive; }
    void MouseMove(const MouseMessage& m) override
    {
        g_log.push_back("canvas move " + std::to_string(m.keys));
    }
    void ButtonDown(const MouseMessage&) override { g_log.push_back("canvas down"); }
    void ButtonUp(const MouseMessage&) override { g_log.push_back("canvas up"); }
    ResultCode SetLayerName(const char* name) override
    {
        g_log.push_back(std::string("name ") + name);
        return SUCCESS;
    }
    ResultCode SetCanvasMode(CanvasMode mode) override
    {
        g_log.push_back("mode " + std::to_string(static_cast<int>(mode)));
        return SUCCESS;
    }
    ResultCode StartTool(ToolKind kind, const char* text) override
    {
        g_log.push_back("tool " + std::to_string(static_cast<int>(kind)) + " " + text);
        return SUCCESS;
    }
    void SetColour(uint8_t r, uint8_t g, uint8_t b, bool redraw) override
    {
        g_log.push_back("colour " + std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b)
            + (redraw ? " redraw" : ""));
    }
    void SetScale(float, float) override { }
    ResultCode MoveAll(int32_t dx, int32_t dy) override
    {
        g_log.push_back("move all " + std::to_string(dx) + " " + std::to_string(dy));
        return SUCCESS;
    }
    ResultCode DeleteShape(int32_t) override { return SUCCESS; }
    int32_t LastShapeIndex() const override { return 7; }
    ResultCode ShapeLength(int32_t, float& length) const override
    {
        length = 2.5f;
        return SUCCESS;
    }
    void SetImageRect(const PixelRect&) override { g_log.push_back("rect"); }
    void Refresh() override { g_log.push_back("refresh"); }
    void PaintAnnotations(DrawContext&, const ClientToPicture&) const override { }
    void RedrawAll(bool) override { g_log.push_back("redraw"); }
};

std::vector<std::string> TakeLog()
{
    std::vector<std::string> log;
    log.swap(g_log);
    return log;
}

using Log = std::vector<std::string>;

} // namespace

class CanvasBindingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TileWindow> m_tile;
    const std::string m_ct = PydicomFile("CT_small.dcm");

private slots:
    void initTestCase()
    {
        InstallBuiltInTables();
        InstallCanvasFactory([](FramebufferWindow&, AnnotationLayer&, const PixelRect* rect) {
            ++g_made;
            return g_refuse ? nullptr : std::make_unique<RecordingCanvas>(rect);
        });
        TileWindow::SetCalibrationPrompt([](TileWindow& tile) {
            float length = 0;
            tile.Binding().ShapeLength(tile.Binding().LastShapeIndex(), length);
            g_log.push_back("prompt " + std::to_string(length));
        });
    }

    void init()
    {
        g_log.clear();
        g_made = 0;
        g_refuse = false;
        m_tile = std::make_unique<TileWindow>();
        m_tile->resize(200, 200);
        m_tile->show();
    }

    void cleanup()
    {
        m_tile.reset();
        QCOMPARE(g_alive, 0);
    }

    void aLoadBindsAFreshCanvasInModeOff()
    {
        QVERIFY(m_tile->ShowDicomImage(m_ct, 1));
        QCOMPARE(TakeLog(), (Log { "made 36,36", "name Layer 1", "colour 255 255 0", "mode 0" }));
        QVERIFY(m_tile->Binding().Bound());
        QCOMPARE(GetWindowProperty(m_tile.get(), "prop1"), static_cast<void*>(m_tile->Binding().Canvas()));
        QCOMPARE(GetWindowProperty(m_tile.get(), "prop0"), static_cast<void*>(m_tile.get()));
        QCOMPARE(CanvasBinding::CanvasOf(m_tile.get()), m_tile->Binding().Canvas());
        // Mode Off: the canvas is out of the mouse's way.
        SendMouse(m_tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 50, 50 });
        SendMouse(m_tile.get(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 50, 50 });
        // Painting refreshes the canvas over the bare image and redraws it.
        m_tile->UpdateNow();
        QCOMPARE(TakeLog(), (Log { "rect", "refresh", "redraw" }));
        // Another load: a new canvas replaces the old one.
        QVERIFY(m_tile->ShowDicomImage(m_ct, 1));
        QCOMPARE(g_made, 2);
        QCOMPARE(g_alive, 1);
        // A failed load empties the tile: no image, no canvas, no annotations.
        QVERIFY(!m_tile->ShowDicomImage(PydicomFile("JPEG2000.dcm"), 1));
        QVERIFY(!m_tile->Binding().Bound());
        QCOMPARE(g_alive, 0);
        QVERIFY(GetWindowProperty(m_tile.get(), "prop1") == nullptr);
    }

    void theCanvasSeesTheMouseFirst()
    {
        QVERIFY(m_tile->ShowDicomImage(m_ct, 1));
        m_tile->ToggleWindowLevelMode();
        TakeLog();
        m_tile->SelectTool(ToolKind::Ruler);
        QVERIFY(!m_tile->WindowLevelMode());
        QCOMPARE(TakeLog(), (Log { "mode 1", "tool 3 " }));
        m_tile->MarkCalibrationPending();
        SendMouse(m_tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 50, 50 });
        SendMouse(m_tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 60, 50 });
        SendMouse(m_tile.get(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 60, 50 });
        // The release completes the annotation before the tile's calibration prompt runs.
        QCOMPARE(TakeLog(), (Log { "canvas down", "canvas move 1", "canvas up", "prompt 2.500000" }));
        QVERIFY(!m_tile->CalibrationPending());
        // The right button is the tile's alone; panning moves the annotations.
        SendMouse(m_tile.get(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 50, 50 });
        SendMouse(m_tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 53, 46 });
        const Log log = TakeLog();
        QCOMPARE(log.at(0), std::string("canvas move 2"));
        QCOMPARE(log.at(1), std::string("move all 3 -4"));
        SendMouse(m_tile.get(), QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, { 53, 46 });
        // Off takes the hook away again; Select puts it back.
        m_tile->SetCanvasMode(CanvasMode::Off);
        TakeLog();
        SendMouse(m_tile.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 50, 50 });
        QCOMPARE(TakeLog(), Log {});
        m_tile->SetCanvasMode(CanvasMode::Select);
        SendMouse(m_tile.get(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 50, 50 });
        QCOMPARE(TakeLog(), (Log { "mode 2", "canvas up" }));
        m_tile->StartText("hello");
        QCOMPARE(TakeLog(), (Log { "mode 1", "tool 10 hello" }));
        // Zoom hands the new rectangle to the canvas and refreshes it.
        m_tile->SetZoom(2.0);
        QCOMPARE(TakeLog(), (Log { "rect", "refresh" }));
    }

    void anUnboundBindingRefusesEverything()
    {
        g_refuse = true;
        QVERIFY(m_tile->ShowDicomImage(m_ct, 1));
        CanvasBinding& binding = m_tile->Binding();
        QVERIFY(!binding.Bound());
        QVERIFY(GetWindowProperty(m_tile.get(), "prop1") == nullptr);
        float length = -1.0f;
        QCOMPARE(binding.LastShapeIndex(), -1);
        QCOMPARE(binding.ShapeLength(0, length), ERROR_GENERAL_FAILURE);
        QCOMPARE(length, -1.0f);
        QCOMPARE(binding.SetLayerName("x"), ERROR_GENERAL_FAILURE);
        QCOMPARE(binding.SetCanvasMode(CanvasMode::Draw), ERROR_GENERAL_FAILURE);
        QCOMPARE(binding.StartTool(ToolKind::Arrow, ""), ERROR_GENERAL_FAILURE);
        QCOMPARE(binding.MoveAll(1, 1), ERROR_GENERAL_FAILURE);
        QCOMPARE(binding.DeleteShape(0), ERROR_GENERAL_FAILURE);
        binding.SetColour(1, 2, 3, true);
        binding.SetScale(1, 2);
        binding.Refresh();
        binding.RedrawAll();
        // Tools do nothing; the tile still pans and windows.
        m_tile->SelectTool(ToolKind::Ruler);
        SendMouse(m_tile.get(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 50, 50 });
        SendMouse(m_tile.get(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 55, 50 });
        QCOMPARE(m_tile->ImageRect().left, 41);
        // An empty layer name is refused even with a canvas.
        g_refuse = false;
        QVERIFY(m_tile->ShowDicomImage(m_ct, 1));
        QCOMPARE(m_tile->Binding().SetLayerName(""), ERROR_GENERAL_FAILURE);
        QCOMPARE(m_tile->Binding().SetLayerName(nullptr), ERROR_GENERAL_FAILURE);
        m_tile->Binding().UnbindCanvas();
        QVERIFY(GetWindowProperty(m_tile.get(), "prop0") == nullptr);
        QCOMPARE(g_alive, 0);
    }
};

QTEST_MAIN(CanvasBindingTest)
#include "canvas_binding_qtest.moc"
