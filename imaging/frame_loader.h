// FrameLoader: the one sequence that turns (file, frame number) into a DisplayBitmap, shared by the
// tile window and velmora-tool render so that both show the same thing. Loads the file's DataSet
// (or reuses the one it loaded last, while the file is unchanged), binds the ImageSource, describes
// the image, then feeds the DisplayBitmap: native frames in pieces of 1,048,576 bytes (growth
// quantum = frame size), RLE / JPEG / JPEG-LS frames read whole, decoded by PixelDecoder and
// appended once (quantum 0). JPEG 2000 and unknown compression kinds are refused. When the frame
// completes, the display flags are applied in the tile's order (reflect X, reflect Y, invert: each
// MarkComplete, ResetAdjustments, operation). No windowing system here: the caller paints from the
// observer. Qt-free.
#pragma once

#include "imaging/display_bitmap.h"
#include "imaging/image_description.h"
#include "imaging/image_source.h"
#include "imaging/pixel_decoder.h"
#include "imaging/window_presets.h"
#include "toolkit/disk_file.h"
#include "toolkit/result_code.h"

#include <cstdint>
#include <memory>
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
    // After a successful Describe, before any pixel is read and before a preset replaces the
    // file's window (the tile sizes its rectangle here).
    virtual void Described(const ImageDescription&, int32_t /*frameCount*/) { }
    // After each piece was appended (and, for the completing piece, the flags applied):
    // `piece` is the bytes as the bitmap received them; the tile paints progressively here.
    virtual void PieceAppended(std::span<const uint8_t> /*piece*/, bool /*accepted*/, bool /*completed*/) { }
};

// Runs loads and keeps the memory they need between them (the bytes read from the file, the
// decoder's compressed and decoded frames), so that stepping through frames of one size, in one
// file or many, allocates and clears nothing. Keep one beside each DisplayBitmap.
//
// It also keeps the data set of the file it loaded last (the file itself is closed between
// loads): a load of the same path whose file still has the same identity, size and times reopens
// the file and reuses the data set, so stepping through
// the frames of one file parses its header and walks its fragments once, not on every frame.
// A file changed, replaced or removed in between is loaded afresh, and so is a file changed in
// the last two seconds (file times are too coarse to tell a rewrite at once after the load).
class FrameLoader {
public:
    FrameLoader();
    ~FrameLoader();
    FrameLoader(const FrameLoader&) = delete;
    FrameLoader& operator=(const FrameLoader&) = delete;

    // Loads `frame` (1-based) of `path` into `bitmap`. `description` is released first and holds
    // the image afterwards (its pixel buffer is the raw frame after the display flags); `source`
    // is left unbound. Shown only when the whole frame reached the bitmap; otherwise the bitmap
    // shows what arrived and black below it.
    FrameLoadResult Load(const std::string& path, uint32_t frame, const DisplayFlags& flags,
        ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
        FrameLoadObserver* observer = nullptr);
    // What DataSet::Load gave for the last Load that returned LoadFailed (SUCCESS otherwise).
    ResultCode LoadCode() const { return m_loadCode; }
    // Whether the last Load reused the kept data set.
    bool ReusedFile() const { return m_reused; }
    // Closes the kept file (for a tile that no longer shows it).
    void ReleaseFile();

    // The same from an already loaded data set (the caller owns and closes it).
    FrameLoadResult LoadFromDataSet(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
        ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
        FrameLoadObserver* observer = nullptr);

private:
    FrameLoadResult FillBitmap(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
        ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
        FrameLoadObserver* observer);

    // The kept data set for `path`, loaded now unless the kept one is still the file's.
    DataSet* DataSetFor(const std::string& path);

    std::vector<uint8_t> m_stored; // a piece of a native frame, or a whole compressed frame
    PixelDecoder m_decoder;
    std::unique_ptr<DataSet> m_kept;
    std::string m_keptPath;
    FileStamp m_keptStamp;
    ResultCode m_loadCode = SUCCESS;
    bool m_reused = false;
};

// One load with a loader of its own (nothing kept for a next frame).
FrameLoadResult LoadFrame(const std::string& path, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
    FrameLoadObserver* observer = nullptr);
FrameLoadResult LoadFrameFromDataSet(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap,
    FrameLoadObserver* observer = nullptr);

} // namespace velmora
