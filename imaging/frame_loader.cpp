// FrameLoader: the load sequence shared by the tile window and velmora-tool render.
// Built once the toolkit's DataSet is present in the tree.
#if __has_include("toolkit/data_set.h")
#include "imaging/frame_loader.h"

#include "imaging/pixel_decoder.h"
#include "toolkit/data_set.h"

#include <algorithm>
#include <chrono>

namespace velmora {

namespace {

// RLE, the JPEG kinds and JPEG-LS: the kinds a tile decodes. JPEG 2000 (0x1600000, 0x1700000)
// and anything else is refused.
constexpr uint32_t FIRST_SHOWN_COMPRESSION = 0x100000;
constexpr uint32_t LAST_SHOWN_COMPRESSION = 0x1500000;

void ApplyFlags(DisplayBitmap& bitmap, const DisplayFlags& flags)
{
    if (flags.reflectX) {
        bitmap.MarkComplete();
        bitmap.ResetAdjustments();
        bitmap.ReflectX();
    }
    if (flags.reflectY) {
        bitmap.MarkComplete();
        bitmap.ResetAdjustments();
        bitmap.ReflectY();
    }
    if (flags.invert) {
        bitmap.MarkComplete();
        bitmap.ResetAdjustments();
        bitmap.Invert();
    }
}

// A preset window, set before the pixels arrive so the frame is converted once.
void ApplyPresetWindow(
    DataSet& dataSet, uint32_t frame, ImageDescription& description, const WindowChoice& choice)
{
    const std::span<const WindowPreset> presets = WindowPresets();
    if (choice.mode != WindowMode::Preset || choice.preset >= presets.size()
        || !RescalesToHounsfield(dataSet, description, frame))
        return;
    description.windowCenter = presets[choice.preset].window.center;
    description.windowWidth = presets[choice.preset].window.width;
}

// Appends one piece; when it completes the frame, sets the frame-range window and applies the
// flags. Then tells the observer.
bool AppendPiece(DisplayBitmap& bitmap, const ImageDescription& description, std::span<const uint8_t> piece,
    const DisplayFlags& flags, FrameLoadObserver* observer)
{
    const bool accepted = bitmap.Append(piece);
    const bool completed = accepted && bitmap.Received() == bitmap.Total();
    if (completed && flags.window.mode == WindowMode::FrameRange && IsWindowed(description)
        && description.minimumKnown && description.maximumKnown) {
        const WindowValues range = FrameRangeWindow(description);
        bitmap.MarkComplete();
        bitmap.SetWindow(range.center, range.width);
    }
    if (completed)
        ApplyFlags(bitmap, flags);
    if (observer != nullptr)
        observer->PieceAppended(piece, accepted, completed);
    return accepted;
}

// File times advance by the kernel's clock tick, so a file rewritten at the same size within a
// tick of being stamped keeps its stamp. A file changed in the last seconds is therefore not kept
// for reuse (it is loaded again next time), as the file may still be being written.
bool Recent(const FileStamp& stamp)
{
    constexpr int64_t kSettledNs = 2'000'000'000;
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                            .count();
    return now - std::max(stamp.modifiedNs, stamp.changedNs) < kSettledNs;
}

} // namespace

const char* FrameLoadResultName(FrameLoadResult result)
{
    switch (result) {
    case FrameLoadResult::Shown:
        return "shown";
    case FrameLoadResult::LoadFailed:
        return "the file could not be read as DICOM";
    case FrameLoadResult::DescribeFailed:
        return "the image could not be described";
    case FrameLoadResult::NoSuchFrame:
        return "the frame could not be read";
    case FrameLoadResult::CompressionRefused:
        return "the compression is not shown";
    case FrameLoadResult::DecodeFailed:
        return "the frame could not be decoded";
    case FrameLoadResult::AppendFailed:
        return "the frame could not be converted";
    }
    return "";
}

FrameLoadResult FrameLoader::LoadFromDataSet(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap, FrameLoadObserver* observer)
{
    const FrameLoadResult result = FillBitmap(dataSet, frame, flags, source, description, bitmap, observer);
    if (result != FrameLoadResult::Shown && bitmap.HasBitmap())
        bitmap.MarkComplete(); // nothing more comes: rows the frame did not reach show black
    return result;
}

FrameLoadResult FrameLoader::FillBitmap(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap, FrameLoadObserver* observer)
{
    description.Release();
    bitmap.Attach(nullptr);
    source.Bind(&dataSet);
    if (source.Describe(description, TableReading::Read, frame) != SUCCESS)
        return FrameLoadResult::DescribeFailed;
    const int32_t frameCount = source.FrameCount();
    if (observer != nullptr)
        observer->Described(description, frameCount); // still with the file's own window
    ApplyPresetWindow(dataSet, frame, description, flags.window);
    const uint32_t frameSize = source.FrameBytes();
    const uint32_t kind = static_cast<uint32_t>(description.compressionKind);

    if (kind == 0) {
        bitmap.Attach(&description);
        if (bitmap.Begin(Progressive::Yes, frameSize) != SUCCESS)
            return FrameLoadResult::AppendFailed;
        // Without display flags each piece is read straight into the bitmap's raw buffer. The
        // flags rewrite that buffer once the frame is complete, while the observer is to see the
        // last piece as read: with flags the pieces are read aside and copied. So is an odd-sized
        // frame, whose last byte may need its partner of a byte-swapped word read with it.
        const bool inPlace = !flags.reflectX && !flags.reflectY && !flags.invert && frameSize % 2 == 0;
        uint32_t offset = 0;
        while (bitmap.Received() < bitmap.Total()) {
            const uint8_t* piece = m_stored.data();
            uint32_t read = 0;
            if (inPlace) {
                const std::span<uint8_t> room = bitmap.PieceRoom(FRAME_PIECE_BYTES);
                piece = room.data();
                read = room.empty() ? 0 : source.ReadFrame(frame, room, offset);
            } else {
                read = source.ReadFrame(frame, m_stored, offset, FRAME_PIECE_BYTES);
                piece = m_stored.data();
            }
            if (read == 0)
                break;
            if (!AppendPiece(bitmap, description, { piece, read }, flags, observer))
                return FrameLoadResult::AppendFailed;
            offset += read;
        }
        if (bitmap.Received() == 0)
            return FrameLoadResult::NoSuchFrame;
        return bitmap.Received() == bitmap.Total() ? FrameLoadResult::Shown : FrameLoadResult::AppendFailed;
    }
    if (kind < FIRST_SHOWN_COMPRESSION || kind > LAST_SHOWN_COMPRESSION)
        return FrameLoadResult::CompressionRefused;

    const uint32_t compressed = source.ReadFrame(frame, m_stored, 0, 0);
    if (compressed == 0)
        return FrameLoadResult::NoSuchFrame;
    // The decoder produces full samples (three per pixel for YBR_FULL_422 too).
    const uint64_t decodedSize = static_cast<uint64_t>(description.rows) * description.columns
        * description.bitsAllocated * description.samplesPerPixel / 8;
    if (decodedSize == 0 || decodedSize > MAX_FRAME_BYTES)
        return FrameLoadResult::DecodeFailed;
    if (m_decoder.Init(
            description.compressionKind, description.bitsAllocated, description.samplesPerPixel, compressed)
            != SUCCESS
        || m_decoder.Append(m_stored.data(), compressed) != SUCCESS)
        return FrameLoadResult::DecodeFailed;
    m_decoder.SetLayout(description.planarConfiguration, static_cast<uint32_t>(decodedSize));
    if (m_decoder.Decode() != SUCCESS || m_decoder.DecodedLength() == 0)
        return FrameLoadResult::DecodeFailed;
    // JPEG gives its components by pixel whatever Planar Configuration says (PS3.5 8.2.1 has it
    // be 0 for JPEG; files that say 1 are read by pixel by DCMTK and pydicom too).
    if (CodecForCompression(description.compressionKind) == PixelCodec::Jpeg)
        description.planarConfiguration = 0;
    bitmap.Attach(&description);
    if (bitmap.Begin(Progressive::Yes, 0) != SUCCESS)
        return FrameLoadResult::AppendFailed;
    if (!AppendPiece(
            bitmap, description, { m_decoder.Output().data(), m_decoder.DecodedLength() }, flags, observer))
        return FrameLoadResult::AppendFailed;
    return bitmap.Received() == bitmap.Total() ? FrameLoadResult::Shown : FrameLoadResult::AppendFailed;
}

FrameLoader::FrameLoader() = default;
FrameLoader::~FrameLoader() = default;

void FrameLoader::ReleaseFile()
{
    m_kept.reset();
    m_keptPath.clear();
}

DataSet* FrameLoader::DataSetFor(const std::string& path)
{
    // The stamp is taken before the load: a file changed while it loads differs next time.
    FileStamp stamp;
    const bool stamped = DiskFile::StampOf(path.c_str(), stamp);
    m_reused = m_kept && stamped && !m_keptPath.empty() && path == m_keptPath && stamp == m_keptStamp
        && m_kept->ReopenSource(path.c_str()) == SUCCESS;
    if (m_reused)
        return m_kept.get();
    ReleaseFile();
    auto dataSet = std::make_unique<DataSet>();
    m_loadCode = dataSet->Load(path.c_str());
    if (m_loadCode != SUCCESS)
        return nullptr;
    m_kept = std::move(dataSet);
    if (stamped && !Recent(stamp)) {
        m_keptPath = path;
        m_keptStamp = stamp;
    }
    return m_kept.get();
}

FrameLoadResult FrameLoader::Load(const std::string& path, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap, FrameLoadObserver* observer)
{
    description.Release();
    bitmap.Attach(nullptr);
    m_loadCode = SUCCESS;
    DataSet* dataSet = DataSetFor(path);
    if (dataSet == nullptr) {
        source.Bind(nullptr);
        return FrameLoadResult::LoadFailed;
    }
    const FrameLoadResult result
        = LoadFromDataSet(*dataSet, frame, flags, source, description, bitmap, observer);
    source.Bind(nullptr);
    // Closed between loads, so that a disk the file is on can be ejected while it is shown. A
    // deflated file's source is an inflated copy of our own, which would vanish when closed.
    if ((dataSet->Flags() & DS_DEFLATED) == 0)
        dataSet->CloseSource();
    return result;
}

FrameLoadResult LoadFrame(const std::string& path, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap, FrameLoadObserver* observer)
{
    return FrameLoader().Load(path, frame, flags, source, description, bitmap, observer);
}

FrameLoadResult LoadFrameFromDataSet(DataSet& dataSet, uint32_t frame, const DisplayFlags& flags,
    ImageSource& source, ImageDescription& description, DisplayBitmap& bitmap, FrameLoadObserver* observer)
{
    return FrameLoader().LoadFromDataSet(dataSet, frame, flags, source, description, bitmap, observer);
}

} // namespace velmora
#endif
