// TileWindow: the child window that shows one image, a DICOM frame through the display bitmap or
// a picture file fitted to the window. It sizes the frame by the viewer's zoom and centres it,
// paints native frames band by band while they are read, erases only the bands around the
// image, and handles window/level dragging (left button), panning (right button) and the
// calibration prompt after a ruler. Its annotation canvas, bound after every load, sees the
// mouse first. The corner overlay, when shown, is drawn over the image and under the annotations,
// so the canvas keeps it in its clean picture. Sits in the canvas layer, on the platform layer.
#pragma once

#include "canvas/annotation_layer.h"
#include "canvas/canvas_binding.h"
#include "imaging/display_bitmap.h"
#include "imaging/frame_loader.h"
#include "imaging/image_description.h"
#include "imaging/image_source.h"
#include "imaging/overlay_facts.h"
#include "imaging/window_presets.h"
#include "platform/framebuffer_window.h"

#include <QImage>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

enum class TileContent : uint8_t { Picture = 0, DicomFrame = 1 };

// Where a tile reads the viewer's zoom and writes the zoom percentage when it loads a frame.
struct ZoomLink {
    std::function<double()> current; // empty: 1.0
    std::function<void(double zoom)> show; // empty: nothing shown
};

class TileWindow : public FramebufferWindow {
    Q_OBJECT
public:
    explicit TileWindow(QWidget* parent = nullptr, ZoomLink zoom = {});
    ~TileWindow() override;

    // Loads `path` and shows `frame` (1-based); false when the file can't be read, the image
    // can't be described, the frame is missing, or its compression is not shown.
    bool ShowDicomImage(const std::string& path, int32_t frame);
    // Shows a picture file fitted and centred; an empty path does nothing.
    void ShowPicture(const std::string& path);

    void SelectTool(ToolKind kind);
    void StartText(const std::string& text);
    void SetCanvasMode(CanvasMode mode);
    void ToggleWindowLevelMode();
    void MarkCalibrationPending() { m_calibrationPending = true; }
    // Resizes the image rectangle about its centre to the frame size times `zoom`.
    void SetZoom(double zoom);
    void ReflectX();
    void ReflectY();
    void Invert();

    // Shows the frame with `windowChoice` (converted again in place), the way a load applies it.
    void ApplyWindow();

    // Display flags, applied after every load (the grid writes them).
    bool reflectX = false;
    bool reflectY = false;
    bool invert = false;
    WindowChoice windowChoice;
    // The shown image's place in its series (1-based), for the overlay; 0 when unknown.
    int32_t imageIndex = 0;
    int32_t imageCount = 0;

    // The corner overlay of every tile (it belongs to the tiles' kind, like the cursor): showing
    // or hiding it repaints every live tile. Hidden until first shown.
    static void SetOverlayShown(bool shown);
    static bool OverlayShown();
    // The overlay's lines for the shown DICOM frame (empty corners for anything else), with the
    // zoom it is shown at, or `zoom` when given.
    CornerLines OverlayLines(std::optional<double> zoom = std::nullopt) const;
    // The frame as shown at 100 % (window, brightness/contrast, flags), layered as on screen: the
    // overlay when it is shown (its zoom the picture's, 100 %), then the annotations over the pixels they
    // were drawn on; a picture as loaded; a null image when the tile is empty.
    QImage ImageAsShown() const;
    // Whether the frame's rescale gives Hounsfield units (the presets apply).
    bool Hounsfield() const { return m_hounsfield; }

    bool ImageShown() const { return m_imageShown; }
    TileContent Content() const { return m_content; }
    bool WindowLevelMode() const { return m_windowLevelMode; }
    bool Panning() const { return m_panning; }
    bool CalibrationPending() const { return m_calibrationPending; }
    const PixelRect& ImageRect() const { return m_imageRect; }
    const DisplayBitmap& Bitmap() const { return m_bitmap; }
    const ImageDescription& Description() const { return m_description; }
    const std::string& PicturePath() const { return m_picturePath; }
    // The file of the DICOM frame shown; empty when the tile shows none.
    const std::string& FramePath() const { return m_framePath; }
    const QImage& Picture() const { return m_picture; }
    CanvasBinding& Binding() { return m_binding; }
    AnnotationLayer& Layer() { return m_layer; }
    // Pixel Spacing (0028,0030) of the loaded frame in mm, row then column (from its functional
    // groups in an enhanced image); 0 when absent.
    const std::array<double, 2>& SpacingMm() const { return m_spacing; }
    // The row bands [before, after) each progressive paint of the last load drew.
    const std::vector<std::pair<uint32_t, uint32_t>>& PaintedBands() const { return m_bands; }

    // What runs on the left-button release that finds calibration pending (the canvas has seen
    // the release already); pending is cleared just before, the prompt may set it again. Set once
    // by the annotation code; without it the release only clears pending.
    using CalibrationPrompt = std::function<void(TileWindow& tile)>;
    static void SetCalibrationPrompt(CalibrationPrompt prompt);

    // The cursor every tile shows (it belongs to the tiles' kind, not to one tile): setting it
    // changes it in every live tile and in tiles made later. No cursor until first set.
    static void SetClassCursor(Qt::CursorShape shape);
    static Qt::CursorShape ClassCursor();

    // The mouse handlers, as the window's own handling calls them after the canvas hook.
    void OnMouseMessage(const MouseMessage& message);

signals:
    // A load painted the rows [rowsBefore, rowsAfter) of the frame into the framebuffer.
    void BandPainted(uint32_t rowsBefore, uint32_t rowsAfter);

protected:
    void OnEraseBackground(DrawContext& dc) override;
    void OnPaint(DrawContext& dc) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    class LoadPainter;
    void BindAfterLoad();
    void DropAnnotations();
    void ApplyToBitmap(ResultCode (DisplayBitmap::*operation)());
    void WindowLevelDrag(int32_t x, int32_t y);
    void Pan(int32_t x, int32_t y);
    void PaintPicture(DrawContext& dc);
    void PaintOverlay(QImage& target, const QRect& area, std::optional<double> zoom = std::nullopt) const;
    WindowChoice Effective(WindowChoice choice) const;
    double CurrentZoom() const;

    ZoomLink m_zoom;
    DisplayBitmap m_bitmap;
    FrameLoader m_loader; // keeps the frame buffers from one image to the next
    ImageSource m_source;
    ImageDescription m_description;
    AnnotationLayer m_layer; // outlives the canvas that draws it
    CanvasBinding m_binding;
    bool m_imageShown = false;
    bool m_windowLevelMode = false;
    int32_t m_lastLevelX = 0, m_lastLevelY = 0;
    bool m_panning = false;
    int32_t m_lastPanX = 0, m_lastPanY = 0;
    PixelRect m_imageRect;
    bool m_calibrationPending = false;
    TileContent m_content = TileContent::DicomFrame;
    std::string m_picturePath;
    std::string m_framePath;
    QImage m_picture;
    std::array<double, 2> m_spacing {};
    std::vector<std::pair<uint32_t, uint32_t>> m_bands;
    OverlayFacts m_facts;
    bool m_hounsfield = false;
    WindowChoice m_appliedWindow; // the window choice the frame is shown with
    WindowValues m_fileWindow; // the frame's own window, as its file gave it
};

} // namespace velmora
