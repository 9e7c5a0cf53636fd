#include "canvas/annotation_install.h"

#include "canvas/annotation_canvas.h"
#include "canvas/calibrate_dialog.h"
#include "canvas/tile_window.h"

#include <QPointer>

namespace velmora {

namespace {

std::unique_ptr<BindableCanvas> MakeCanvas(
    FramebufferWindow& window, AnnotationLayer& layer, const PixelRect* rect)
{
    FrameGeometry frame;
    auto* tile = qobject_cast<TileWindow*>(&window);
    if (tile) {
        frame.columns = tile->Description().columns;
        frame.rows = tile->Description().rows;
        frame.spacing = PixelSpacingFrom(tile->SpacingMm()[0], tile->SpacingMm()[1]);
    }
    auto canvas = std::make_unique<AnnotationCanvas>(window, layer, rect, frame);
    if (!canvas->Valid())
        return nullptr;
    if (tile)
        canvas->SetCursorSetter([](Qt::CursorShape shape) { TileWindow::SetClassCursor(shape); });
    return canvas;
}

} // namespace

void InstallAnnotationCanvas()
{
    InstallCanvasFactory(&MakeCanvas);
    TileWindow::SetCalibrationPrompt(&PromptCalibration);
}

void PromptCalibration(TileWindow& tile)
{
    auto* canvas = dynamic_cast<AnnotationCanvas*>(tile.Binding().Canvas());
    if (canvas == nullptr || !canvas->ReleaseFinishedRuler())
        return;
    const int32_t index = canvas->LastShapeIndex();
    double pixels = 0.0;
    if (canvas->ShapePixelLength(index, pixels) != SUCCESS)
        return;
    if (!(pixels > 0.0)) {
        // A click without a drag is no reference: the next ruler is.
        tile.MarkCalibrationPending();
        return;
    }
    // With the image's own spacing the entry starts at the length it gives now.
    QString millimetres;
    float length = 0.0f;
    if (canvas->Scale().Unit() == LengthUnit::Millimetres && canvas->ShapeLength(index, length) == SUCCESS)
        millimetres = QString::asprintf("%.1f", length);

    QPointer<TileWindow> guard(&tile);
    const uint64_t serial = canvas->Serial();
    CalibrateDialog dialog(tile.window(), pixels, millimetres);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The dialog runs an event loop: a timer may have loaded another image meanwhile, which binds
    // another canvas and drops this one.
    if (!accepted || guard.isNull())
        return;
    canvas = dynamic_cast<AnnotationCanvas*>(tile.Binding().Canvas());
    if (canvas == nullptr || canvas->Serial() != serial || canvas->LastShapeIndex() != index)
        return;
    if (canvas->CalibrateWith(index, dialog.Millimetres()) == SUCCESS)
        tile.Invalidate(Erase::Yes);
}

} // namespace velmora
