// ImageSource: reads the image module of a loaded data set into an ImageDescription and the
// stored bytes of one frame out of its Pixel Data. Bound to one DataSet per load (borrowed).
// Encapsulated pixel data is counted and read in frames, fragments grouped per PS3.5 A.4
// (frame_fragments.h). Sits in the imaging layer above the toolkit's DataSet. Qt-free.
#pragma once

#include "imaging/image_description.h"
#include "toolkit/result_code.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

class DataSet;

// Whether Describe reads palette data and the modality and VOI LUTs (the tile always does).
enum class TableReading { Skip, Read };

// The largest native frame ImageSource accepts: a frame size beyond it (or beyond 32 bits) is
// refused as 0 bytes, so a hostile header never drives an allocation.
inline constexpr uint64_t MAX_FRAME_BYTES = 1ull << 30;

class ImageSource {
public:
    // Keeps the data set (may be null) and finds the first Pixel Data (7FE0,0010) in depth-first
    // order, so an icon image in an earlier sequence wins; without one, Float (7FE0,0008) or
    // Double Float Pixel Data (7FE0,0009).
    void Bind(DataSet* dataSet);

    // Fills `description` from the data set. SUCCESS or ERROR_GENERAL_FAILURE (no Pixel Data,
    // rows or columns; unreadable palette data; missing photometric text with several samples;
    // an unknown interpretation). Geometry the display bitmap cannot show (rows or columns 0,
    // unusual bits allocated) is described as stored; DisplayBitmap refuses it. Window, rescale
    // and the modality and VOI LUTs are those of `frame` (1-based), which in an enhanced
    // multi-frame image may come from its functional groups (frame_attributes.h).
    ResultCode Describe(ImageDescription& description, TableReading tables, uint32_t frame = 1);

    // Bytes of one native frame: rows x columns x bits allocated x samples / 8, rounded up to a
    // whole byte (rows x columns x 2 for native 8-bit YBR_FULL_422); 0 when Pixel Data, rows or
    // columns is absent, or the size exceeds MAX_FRAME_BYTES.
    uint32_t FrameBytes() const;

    // Frames in Pixel Data: -1 without it; native: the whole frames among the bytes the file
    // really holds (one when it holds less than a frame, 0 when the frame size is 0);
    // encapsulated: frames after grouping.
    int32_t FrameCount() const;

    // Copies up to `maximum` (0 = the rest) stored bytes of `frame` (1-based), starting `offset`
    // into the frame, to the start of `buffer` (grown when smaller than the amount). Native frame
    // k starts at (k - 1) x the frame size; one-bit frames, packed without padding, come out
    // starting at bit 0. Returns the bytes copied, 0 on any failure or past the frame's end or
    // the bytes the file holds.
    uint32_t ReadFrame(uint32_t frame, std::vector<uint8_t>& buffer, uint32_t offset, uint32_t maximum);
    // The same into `destination`, up to its size: a caller that owns the frame's memory reads
    // straight into it.
    uint32_t ReadFrame(uint32_t frame, std::span<uint8_t> destination, uint32_t offset);

    int32_t PixelDataElement() const { return m_pixelData; }
    DataSet* BoundDataSet() const { return m_dataSet; }

private:
    struct EncapsulatedFrame {
        std::vector<int32_t> fragments; // element ids of the frame's items, in order
        uint64_t length = 0;
    };
    // Both ReadFrame forms; `place(amount)` gives the memory for `amount` bytes.
    template <typename Place>
    uint32_t ReadFrameTo(uint32_t frame, uint32_t offset, uint32_t maximum, Place place);
    bool Encapsulated() const;
    uint64_t FrameBits() const;
    // Reads `amount` bytes from byte `start` of Pixel Data, whole 16-bit words at a time.
    bool ReadWholeWords(uint8_t* out, uint64_t start, uint32_t amount) const;
    // Reads `amount` bytes of bits starting `bitShift` bits into byte `start` of Pixel Data.
    bool ReadShiftedBits(uint8_t* out, uint64_t start, uint32_t amount, uint32_t bitShift) const;
    // OW Pixel Data of a big-endian file: swapped per 16-bit word when read.
    bool BigEndianWords() const;
    bool ThirtyTwoBitWordsSwappedInPairs() const;
    // Frames of encapsulated Pixel Data, grouped once per Bind.
    const std::vector<EncapsulatedFrame>& GroupFrames() const;

    DataSet* m_dataSet = nullptr;
    int32_t m_pixelData = -1;
    mutable std::shared_ptr<std::vector<EncapsulatedFrame>> m_groupedFrames;
};

} // namespace velmora
