// ImageArea: what MainDialog asks of its image area, the tile grid (app/tile_grid.h): layout,
// loading the selection, and the fan-out of the viewing commands to every live tile. Kept as an
// interface so the dialog's commands can be driven and checked on their own.
#pragma once

#include "app/model/exam_model.h"
#include "imaging/window_presets.h"

#include <array>
#include <memory>
#include <string>

class QWidget;

namespace velmora {

// Canvas modes and tool kinds handed to the tiles.
enum class InteractionMode { Off = 0, Draw = 1, Select = 2 };
enum class AnnotationKind { Arrow = 1, Angle = 2, Ruler = 3, Text = 10 };

using FourPaths = std::array<std::string, 4>;

class ImageArea {
public:
    virtual ~ImageArea() = default;

    // Creates tile 0 at (0, 50, 743, 589) in `parent`, mode 1.
    virtual void Create(QWidget* parent) = 0;
    virtual void SetMode(int mode) = 0;
    virtual int Mode() const = 0;
    virtual void Resize(int right, int bottom) = 0;

    virtual void ShowImages(const FourSlots& four) = 0;
    virtual void ShowPictures(const FourPaths& paths) = 0;

    virtual void SetMirror(bool on) = 0;
    virtual void SetFlip(bool on) = 0;
    virtual void SetInvert(bool on) = 0;
    virtual void ApplyMirror() = 0;
    virtual void ApplyFlip() = 0;
    virtual void ApplyInvert() = 0;
    virtual void SetZoom(double factor) = 0;
    virtual void ToggleWindowLevel() = 0;
    virtual void SetInteractionMode(InteractionMode mode) = 0;
    virtual void ChooseAnnotation(AnnotationKind kind) = 0;
    virtual void ChooseText(const std::string& text) = 0;
    // The window every live tile shows, through later loads too (an area without windows
    // ignores it).
    virtual void SetWindowChoice(WindowChoice) { }

    // Whether tile `index` (0..3) exists and holds an image (a DICOM frame or a picture).
    virtual bool TileHoldsImage(int index) const = 0;
    // The tile widget `index`, null when it does not exist.
    virtual QWidget* Tile(int index) const = 0;
};

// The live tile (one of the first Mode() tiles) under the mouse pointer as it is now, whether it
// shows an image or not; null when the pointer is over no live tile, or another window covers it.
// Found from where the pointer is: a tile's enter and leave events do not follow a change of
// layout or window size under a resting pointer.
QWidget* TileUnderPointer(const ImageArea& area);

// The tile grid behind the interface; MainDialog reads the zoom it applies from `zoomSource`.
class ZoomHost;
std::unique_ptr<ImageArea> MakeTileGridArea(ZoomHost& host);

// What the tiles ask of the dialog when they load an image: the current zoom, and where to
// write the zoom percentage.
class ZoomHost {
public:
    virtual ~ZoomHost() = default;
    virtual double CurrentZoom() const = 0;
    virtual void ShowZoomPercent(double zoom) = 0;
};

} // namespace velmora
