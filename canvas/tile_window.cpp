// TileWindow: loading, painting and the mouse handling of one tile.
#include "canvas/tile_window.h"

#include "canvas/annotation_painter.h"
#include "imaging/frame_attributes.h"
#include "imaging/frame_loader.h"
#include "platform/corner_text.h"
#include "platform/desktop.h"
#include "toolkit/data_set.h"

#include <QMouseEvent>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr uint32_t TAG_PIXEL_SPACING = 0x00280030;

TileWindow::CalibrationPrompt& Prompt()
{
    static TileWindow::CalibrationPrompt prompt;
    return prompt;
}

// The live tiles and their shared cursor.
struct TileClass {
    std::vector<TileWindow*> tiles;
    bool cursorSet = false;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    bool overlayShown = false;
};

TileClass& Class()
{
    static TileClass tileClass;
    return tileClass;
}

// Moves each side of `rect` out by half the growth from its current size to `size` x `zoom`,
// truncated, so the rectangle keeps its centre.
void GrowAboutCentre(PixelRect& rect, uint32_t width, uint32_t height, double zoom)
{
    const auto half = [](double target, int32_t current) {
        const double growth = std::trunc((target - current) / 2.0);
        return static_cast<int32_t>(std::clamp(growth, -1e9, 1e9));
    };
    const int32_t dx = half(width * zoom, rect.Width());
    const int32_t dy = half(height * zoom, rect.Height());
    rect.left -= dx;
    rect.right += dx;
    rect.top -= dy;
    rect.bottom += dy;
}

} // namespace

// Sizes the image rectangle once the frame is described and paints every converted band at
// once, so a large frame appears from the top down while it is read.
class TileWindow::LoadPainter : public FrameLoadObserver {
public:
    LoadPainter(TileWindow& tile, uint32_t frame)
        : m_tile(tile)
        , m_dc(tile.Context())
        , m_frame(frame)
    {
    }
    void Described(const ImageDescription& description, int32_t) override
    {
        TileWindow& t = m_tile;
        t.m_fileWindow = { description.windowCenter, description.windowWidth };
        t.m_imageRect
            = { 0, 0, static_cast<int32_t>(description.columns), static_cast<int32_t>(description.rows) };
        const double zoom = t.CurrentZoom();
        if (t.m_zoom.show)
            t.m_zoom.show(zoom);
        GrowAboutCentre(t.m_imageRect, description.columns, description.rows, zoom);
        const int32_t w = t.m_imageRect.Width(), h = t.m_imageRect.Height();
        const PixelRect client = t.ClientRect();
        t.m_imageRect.left = (client.Width() - w) / 2;
        t.m_imageRect.top = (client.Height() - h) / 2;
        t.m_imageRect.right = t.m_imageRect.left + w;
        t.m_imageRect.bottom = t.m_imageRect.top + h;
        if (DataSet* dataSet = t.m_source.BoundDataSet()) {
            // An enhanced image keeps its spacing in the Pixel Measures functional group.
            const ElementId spacing = FindFrameAttribute(*dataSet, TAG_PIXEL_SPACING, m_frame);
            if (spacing != NO_ELEMENT) {
                t.m_spacing[0] = dataSet->GetReal(spacing, 0);
                t.m_spacing[1] = dataSet->GetReal(spacing, 1);
            }
            t.m_facts = ReadOverlayFacts(*dataSet, m_frame);
            t.m_hounsfield = RescalesToHounsfield(*dataSet, description, m_frame);
        }
    }
    void PieceAppended(std::span<const uint8_t>, bool accepted, bool) override
    {
        if (!accepted)
            return;
        TileWindow& t = m_tile;
        t.m_bands.emplace_back(t.m_bitmap.RowsBefore(), t.m_bitmap.RowsAfter());
        if (t.m_bitmap.RowsAfter() == t.m_bitmap.RowsBefore())
            return;
        t.m_bitmap.Paint(&m_dc, &t.m_imageRect, PaintMode::Progressive);
        emit t.BandPainted(t.m_bitmap.RowsBefore(), t.m_bitmap.RowsAfter());
        if (t.isVisible())
            t.repaint();
    }

private:
    TileWindow& m_tile;
    DrawContext m_dc;
    uint32_t m_frame;
};

TileWindow::TileWindow(QWidget* parent, ZoomLink zoom)
    : FramebufferWindow(parent)
    , m_zoom(std::move(zoom))
{
    setMouseTracking(true);
    TileClass& tileClass = Class();
    tileClass.tiles.push_back(this);
    if (tileClass.cursorSet)
        setCursor(tileClass.cursor);
}

TileWindow::~TileWindow()
{
    std::erase(Class().tiles, this);
    m_binding.UnbindCanvas();
    m_layer.Clear();
    m_bitmap.Attach(nullptr);
    m_description.Release();
}

void TileWindow::SetCalibrationPrompt(CalibrationPrompt prompt)
{
    Prompt() = std::move(prompt);
}

void TileWindow::SetClassCursor(Qt::CursorShape shape)
{
    TileClass& tileClass = Class();
    tileClass.cursorSet = true;
    tileClass.cursor = shape;
    for (TileWindow* tile : tileClass.tiles)
        tile->setCursor(shape);
}

Qt::CursorShape TileWindow::ClassCursor()
{
    return Class().cursor;
}

double TileWindow::CurrentZoom() const
{
    const double zoom = m_zoom.current ? m_zoom.current() : 1.0;
    // A zoom that is no number or below zero shows nothing rather than a reversed rectangle.
    return std::isfinite(zoom) ? std::clamp(zoom, 0.0, 1000.0) : 1.0;
}

bool TileWindow::ShowDicomImage(const std::string& path, int32_t frame)
{
    m_imageShown = false;
    m_framePath.clear();
    m_bands.clear();
    m_spacing = {};
    // From here the tile shows this load's frame or nothing: a picture shown before is gone.
    m_content = TileContent::DicomFrame;
    m_picture = QImage();
    m_facts = {};
    m_hounsfield = false;
    const DisplayFlags flags { reflectX, reflectY, invert, windowChoice };
    FrameLoadResult result = FrameLoadResult::LoadFailed;
    if (!path.empty() && frame >= 1) {
        LoadPainter painter(*this, static_cast<uint32_t>(frame));
        result = m_loader.Load(
            path, static_cast<uint32_t>(frame), flags, m_source, m_description, m_bitmap, &painter);
    }
    if (result != FrameLoadResult::Shown) {
        // A frame that did not arrive whole leaves the tile empty (black), never half an image,
        // and without the annotations of the image it no longer shows.
        m_bitmap.Attach(nullptr);
        m_description.Release();
        DropAnnotations();
        Invalidate(Erase::Yes);
        return false;
    }
    BindAfterLoad();
    Invalidate(Erase::Yes);
    m_appliedWindow = Effective(windowChoice);
    m_imageShown = true;
    m_framePath = path;
    return true;
}

void TileWindow::DropAnnotations()
{
    // Unbind first: a canvas holding an annotation in Select mode gives it back to the layer when
    // it is destroyed, so clearing before would let it reappear over the next image.
    m_binding.UnbindCanvas();
    m_layer.Clear();
}

void TileWindow::BindAfterLoad()
{
    DropAnnotations();
    if (m_binding.BindCanvas(this, &m_layer, &m_imageRect) != SUCCESS)
        return;
    m_binding.SetLayerName("Layer 1");
    m_binding.SetColour(255, 255, 0, false);
    m_binding.SetCanvasMode(CanvasMode::Off);
}

void TileWindow::ShowPicture(const std::string& path)
{
    if (path.empty())
        return;
    m_picturePath = path;
    m_framePath.clear();
    m_imageShown = false;
    m_loader.ReleaseFile();
    // The annotations belong to the frame the picture replaces; a canvas left bound would paint
    // that frame's snapshot over the picture at the next click.
    DropAnnotations();
    m_picture = LoadPicture(path);
    // What was read of the frame no longer applies: no presets, no overlay facts.
    m_hounsfield = false;
    m_facts = {};
    // The tile holds an image now, even when the file could not be read: it paints black.
    m_imageShown = true;
    m_content = TileContent::Picture;
    Invalidate(Erase::Yes);
}

void TileWindow::ApplyWindow()
{
    const WindowChoice choice = Effective(windowChoice);
    // The window already shown is chosen again to undo a window/level drag.
    const bool dragged = m_bitmap.BrightnessTotal() != 0 || m_bitmap.ContrastTotal() != 0;
    if (!m_imageShown || m_content != TileContent::DicomFrame || (choice == m_appliedWindow && !dragged))
        return;
    // The same frame in another window: converted again from the raw frame in place, so the pan,
    // the reflections, Invert and the annotations stay. Brightness and contrast dragged for the
    // old window do not carry over: the new window is shown as chosen.
    WindowValues values = m_fileWindow;
    const std::span<const WindowPreset> presets = WindowPresets();
    if (choice.mode == WindowMode::Preset && choice.preset < presets.size())
        values = presets[choice.preset].window;
    else if (choice.mode == WindowMode::FrameRange && m_description.minimumKnown
        && m_description.maximumKnown)
        values = FrameRangeWindow(m_description);
    m_bitmap.MarkComplete();
    m_bitmap.ResetAdjustments();
    m_bitmap.SetWindow(values.center, values.width);
    m_appliedWindow = choice;
    Invalidate(Erase::Yes);
}

// The choice as a load applies it to this frame: presets only with a rescale to Hounsfield units,
// nothing on frames that are not windowed.
WindowChoice TileWindow::Effective(WindowChoice choice) const
{
    if (!IsWindowed(m_description) || (choice.mode == WindowMode::Preset && !m_hounsfield))
        return {};
    return choice;
}

void TileWindow::SetOverlayShown(bool shown)
{
    TileClass& tileClass = Class();
    tileClass.overlayShown = shown;
    for (TileWindow* tile : tileClass.tiles)
        tile->Invalidate(Erase::Yes);
}

bool TileWindow::OverlayShown()
{
    return Class().overlayShown;
}

CornerLines TileWindow::OverlayLines(std::optional<double> zoom) const
{
    if (!m_imageShown || m_content != TileContent::DicomFrame)
        return {};
    OverlayView view;
    view.imageIndex = imageIndex;
    view.imageCount = imageCount;
    view.window = ShownWindow(m_description);
    if (view.window)
        view.window = AdjustedWindow(*view.window, m_bitmap.BrightnessTotal(), m_bitmap.ContrastTotal());
    view.units = UnitsOf(m_description);
    view.zoom = zoom.value_or(CurrentZoom());
    return ComposeCorners(m_facts, view);
}

void TileWindow::PaintOverlay(QImage& target, const QRect& area, std::optional<double> zoom) const
{
    const CornerLines lines = OverlayLines(zoom);
    CornerStrings strings;
    for (size_t k = 0; k < lines.size(); ++k)
        for (const std::string& line : lines[k])
            strings[k].append(QString::fromStdString(line));
    DrawCornerText(target, area, strings);
}

QImage TileWindow::ImageAsShown() const
{
    if (!m_imageShown)
        return {};
    if (m_content == TileContent::Picture)
        return m_picture;
    if (!m_bitmap.HasBitmap())
        return {};
    QImage image(m_bitmap.Width(), m_bitmap.Height(), QImage::Format_RGB32);
    image.fill(Qt::black);
    DrawContext dc(image);
    const PixelRect whole { 0, 0, m_bitmap.Width(), m_bitmap.Height() };
    m_bitmap.Paint(&dc, &whole, PaintMode::Full);
    // Layered as on screen: the overlay over the image, the annotations over both, each over the
    // image pixels it was drawn on, at the image's own scale.
    if (OverlayShown())
        PaintOverlay(image, image.rect(), 1.0);
    m_binding.PaintAnnotations(dc, ClientToPicture(m_imageRect, whole.right, whole.bottom));
    return image;
}

void TileWindow::SelectTool(ToolKind kind)
{
    m_windowLevelMode = false;
    m_binding.SetCanvasMode(CanvasMode::Draw);
    m_binding.StartTool(kind, "");
}

void TileWindow::StartText(const std::string& text)
{
    m_binding.SetCanvasMode(CanvasMode::Draw);
    m_binding.StartTool(ToolKind::Text, text.c_str());
}

void TileWindow::SetCanvasMode(CanvasMode mode)
{
    m_binding.SetCanvasMode(mode);
}

void TileWindow::ToggleWindowLevelMode()
{
    if (m_imageShown)
        m_windowLevelMode = !m_windowLevelMode;
}

void TileWindow::SetZoom(double zoom)
{
    if (!m_imageShown)
        return;
    if (!std::isfinite(zoom))
        return;
    GrowAboutCentre(m_imageRect, m_description.columns, m_description.rows, std::clamp(zoom, 0.0, 1000.0));
    m_binding.SetImageRect(m_imageRect);
    m_binding.Refresh();
    Invalidate(Erase::Yes);
}

void TileWindow::ApplyToBitmap(ResultCode (DisplayBitmap::*operation)())
{
    if (!m_imageShown)
        return;
    m_bitmap.MarkComplete();
    // The brightness and contrast the user dragged to stay: the bitmap reapplies them.
    (m_bitmap.*operation)();
    Invalidate(Erase::Yes);
}

void TileWindow::ReflectX()
{
    ApplyToBitmap(&DisplayBitmap::ReflectX);
}

void TileWindow::ReflectY()
{
    ApplyToBitmap(&DisplayBitmap::ReflectY);
}

void TileWindow::Invert()
{
    ApplyToBitmap(&DisplayBitmap::Invert);
}

// ---------------------------------------------------------------------------------------------
// Painting

void TileWindow::OnEraseBackground(DrawContext& dc)
{
    if (!m_imageShown) {
        FramebufferWindow::OnEraseBackground(dc);
        return;
    }
    // Only the bands around the image: the image area is painted over, never cleared first.
    const int32_t w = dc.Width(), h = dc.Height();
    const PixelRect& r = m_imageRect;
    const QRgb black = qRgb(0, 0, 0);
    dc.Fill({ 0, 0, r.left, h }, black);
    dc.Fill({ r.right, 0, w, h }, black);
    dc.Fill({ r.left, 0, r.right, r.top }, black);
    dc.Fill({ r.left, r.bottom, r.right, h }, black);
}

void TileWindow::OnPaint(DrawContext& dc)
{
    if (m_content == TileContent::Picture) {
        PaintPicture(dc);
        return;
    }
    const bool overlay = m_imageShown && OverlayShown();
    // A paint without erasing (a window/level drag) would draw the corner text and the annotations
    // that reach past the image again over themselves in the bands around it, blending their
    // anti-aliased edges darker at every paint.
    OnEraseBackground(dc);
    m_bitmap.Paint(&dc, &m_imageRect, PaintMode::Full);
    // The overlay goes under the annotations, into the clean picture the canvas keeps: restoring
    // that picture (erasing a rubber band, putting a shape down) then leaves the overlay as a full
    // paint draws it.
    if (overlay)
        PaintOverlay(dc.Target(), QRect(0, 0, dc.Width(), dc.Height()));
    m_binding.SetImageRect(m_imageRect);
    m_binding.Refresh();
    m_binding.RedrawAll();
}

void TileWindow::PaintPicture(DrawContext& dc)
{
    // The size is measured at every paint: the grid resizes tiles between pictures.
    const int64_t cw = dc.Width(), ch = dc.Height();
    dc.Fill(dc.Bounds(), qRgb(0, 0, 0));
    if (m_picture.isNull() || cw <= 0 || ch <= 0)
        return;
    const int64_t pw = m_picture.width(), ph = m_picture.height();
    int64_t w = pw, h = ph;
    if (pw > cw || ph > ch) {
        h = ch;
        w = ch * pw / ph;
        if (w > cw) {
            w = cw;
            h = cw * ph / pw;
        }
    }
    const int32_t x = static_cast<int32_t>(cw / 2 - w / 2), y = static_cast<int32_t>(ch / 2 - h / 2);
    dc.DrawPicture(m_picture, { x, y, x + static_cast<int32_t>(w), y + static_cast<int32_t>(h) });
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TileWindow::OnMouseMessage(const MouseMessage& message)
{
    switch (message.action) {
    case MouseAction::Move:
        if (m_windowLevelMode && message.keys == KEY_LBUTTON)
            WindowLevelDrag(message.x, message.y);
        if (m_panning && message.keys == KEY_RBUTTON)
            Pan(message.x, message.y);
        break;
    case MouseAction::LeftDown:
        if (m_windowLevelMode) {
            m_lastLevelX = message.x;
            m_lastLevelY = message.y;
        }
        break;
    case MouseAction::LeftUp:
        if (m_calibrationPending) {
            m_calibrationPending = false;
            if (Prompt())
                Prompt()(*this);
        }
        break;
    case MouseAction::RightDown:
        if (!m_windowLevelMode) {
            m_lastPanX = message.x;
            m_lastPanY = message.y;
            m_panning = true;
        }
        break;
    case MouseAction::RightUp:
        m_panning = false;
        break;
    default:
        break;
    }
}

void TileWindow::WindowLevelDrag(int32_t x, int32_t y)
{
    m_bitmap.MarkComplete();
    m_bitmap.Brightness(x - m_lastLevelX);
    m_bitmap.Contrast(y - m_lastLevelY);
    PaintNow();
    m_lastLevelX = x;
    m_lastLevelY = y;
}

void TileWindow::Pan(int32_t x, int32_t y)
{
    const int32_t dx = x - m_lastPanX, dy = y - m_lastPanY;
    m_binding.MoveAll(dx, dy);
    m_lastPanX = x;
    m_lastPanY = y;
    // The strips of the old rectangle the image uncovers; the bands around the new one are
    // erased with them.
    const PixelRect& r = m_imageRect;
    if (dx < 0)
        Invalidate({ r.right + dx, r.top, r.right, r.bottom }, Erase::Yes);
    else if (dx > 0)
        Invalidate({ r.left, r.top, r.left + dx, r.bottom }, Erase::Yes);
    if (dy < 0)
        Invalidate({ r.left, r.bottom + dy, r.right, r.bottom }, Erase::Yes);
    else if (dy > 0)
        Invalidate({ r.left, r.top, r.right, r.top + dy }, Erase::Yes);
    m_imageRect = { r.left + dx, r.top + dy, r.right + dx, r.bottom + dy };
    PaintNow();
}

void TileWindow::mouseMoveEvent(QMouseEvent* event)
{
    MouseMessage message;
    if (ToMouseMessage(event, message))
        OnMouseMessage(message);
    event->accept();
}

void TileWindow::mousePressEvent(QMouseEvent* event)
{
    MouseMessage message;
    if (ToMouseMessage(event, message))
        OnMouseMessage(message);
    event->accept();
}

void TileWindow::mouseReleaseEvent(QMouseEvent* event)
{
    MouseMessage message;
    if (ToMouseMessage(event, message))
        OnMouseMessage(message);
    event->accept();
}

void TileWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a message of its own that the tile does not handle.
    event->accept();
}

} // namespace velmora
