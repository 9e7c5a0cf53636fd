// FrameLoader: the one sequence that turns (file, frame number) into a DisplayBitmap, shared by
// the tile window and velmora-tool render so that both show the same thing. Loads a fresh
// DataSet, binds the ImageSource, describes the image, then feeds the DisplayBitmap: native
// frames in pieces of 1,048,576 bytes (growth quantum = frame size), RLE / JPEG / JPEG-LS frames
// read whole, decoded by PixelDecoder and appended once (quantum 0). JPEG 2000 and unknown
// compression kinds are refused. When the frame completes, the display flags are applied in the
// tile's order (reflect X, reflect Y, invert: each MarkComplete, ResetAdjustments, operation).
// No windowing system here: the caller paints from the observer. Qt-free.
#pragma once

#include "imaging/display_bitmap.h"
#include "imaging/image_description.h"
#include "imaging/image_source.h"
#include "imaging/pixel_decoder.h"
#include "imaging/window_presets.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

inline constexpr uint32_t FRAME_PIECE_BYTES = 1048576;

struct DisplayFlags {
    bool reflectX = false;
    bool reflectY = false;
    bool invert = false;
    // A preset replaces the file's window before any pixel is read, on images whose rescale
    // gives Hounsfield units only; the frame's range replaces it once the frame is whole, before
    // the other flags. Others ignore it.
    WindowChoice window;
};

// Why a load stopped; Shown on success.
enum class FrameLoadResult {
    Shown,
    LoadFailed, // DataSet::Load refused the file
    DescribeFailed, // no describable image
    NoSuchFrame, // frame number outside 1..FrameCount, or the frame could not be read
    CompressionRefused, // JPEG 2000 or a kind outside the decoders' table
    DecodeFailed, // PixelDecoder could not decode the frame
    AppendFailed, // the display bitmap took none of it or not all of it
};
const char* FrameLoadResultName(FrameLoadResult result);

// Hooks for the caller; every default does nothing.
class FrameLoadObserver {
public:
    virtual ~FrameLoadObserver() = default;
    // After a successful Describe, before any pixel is read (the tile sizes its rectangle here).
    virtual void Described(const ImageDescription&, int32_t /*frameCount*/) { }
    // After each piece was appended (and, for the completing piece, the flags applied):
    // `piece` is the bytes as the bitmap received them; the tile paints progressively here.
    virtual void PieceAppended(std::span<const uint8_t> /*piece*/, bool /*accepted*/, bool /*completed*/) { }
};

// Runs loads and keeps the memory they need between them (the bytes read from the file, the
// decoder's compressed and decoded frames), so that stepping through frames of one size, in one
// file or many, allocates and clears nothing. Keep one beside each DisplayBitmap.
class FrameLoader {
public:
    // Loads `frame` (1-based) of `path` into `bitmap`. `description` is released first and holds
    // the image afterwards (its pixel buffer is the raw frame after the display flags); `source`
    // is left unbound, since the data set lives only for the load. The source file is closed
    // before return. Shown only when the whole frame reached the bitmap; otherwise the bitmap
    // shows what arrived and black below it.
    FrameLoadResult Load(const std::string& path, uint32_t frame, const DisplayFlags& flags,
        ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
        FrameLoadObserver* observer = nullptr);

    // The same from an already loaded data set (the caller owns and closes it).
    FrameLoadResult LoadFromDataSet(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
        ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
        FrameLoadObserver* observer = nullptr);

private:
    FrameLoadResult FillBitmap(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
        ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
        FrameLoadObserver* observer);

    std::vector<uint8_t> m_stored; // a piece of a native frame, or a whole compressed frame
    PixelDecoder m_decoder;
};

// One load with a loader of its own (nothing kept for a next frame).
FrameLoadResult LoadFrame(const std::string& path, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
    FrameLoadObserver* observer = nullptr);
FrameLoadResult LoadFrameFromDataSet(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
    FrameLoadObserver* observer = nullptr);

} // namespace velmora
