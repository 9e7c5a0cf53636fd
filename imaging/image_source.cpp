// ImageSource: the image module of a data set as an ImageDescription, and frame bytes.
// Built once the toolkit's DataSet is present in the tree.
#if __has_include("toolkit/data_set.h")
#include "imaging/image_source.h"

#include "imaging/frame_attributes.h"
#include "imaging/frame_fragments.h"
#include "imaging/segmented_palette.h"
#include "toolkit/data_set.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr uint32_t TAG_PIXEL_DATA = 0x7FE00010;
constexpr uint32_t TAG_FLOAT_PIXEL_DATA = 0x7FE00008;
constexpr uint32_t TAG_DOUBLE_FLOAT_PIXEL_DATA = 0x7FE00009;
constexpr uint32_t TAG_ITEM = 0xFFFEE000;
constexpr uint32_t TAG_SAMPLES_PER_PIXEL = 0x00280002;
constexpr uint32_t TAG_PHOTOMETRIC = 0x00280004;
constexpr uint32_t TAG_PLANAR_CONFIGURATION = 0x00280006;
constexpr uint32_t TAG_NUMBER_OF_FRAMES = 0x00280008;
constexpr uint32_t TAG_ROWS = 0x00280010;
constexpr uint32_t TAG_COLUMNS = 0x00280011;
constexpr uint32_t TAG_BITS_ALLOCATED = 0x00280100;
constexpr uint32_t TAG_BITS_STORED = 0x00280101;
constexpr uint32_t TAG_HIGH_BIT = 0x00280102;
constexpr uint32_t TAG_PIXEL_REPRESENTATION = 0x00280103;
constexpr uint32_t TAG_WINDOW_CENTER = 0x00281050;
constexpr uint32_t TAG_WINDOW_WIDTH = 0x00281051;
constexpr uint32_t TAG_RESCALE_INTERCEPT = 0x00281052;
constexpr uint32_t TAG_RESCALE_SLOPE = 0x00281053;
constexpr uint32_t TAG_MODALITY_LUT_SEQUENCE = 0x00283000;
constexpr uint32_t TAG_LUT_DESCRIPTOR = 0x00283002;
constexpr uint32_t TAG_LUT_DATA = 0x00283006;
constexpr uint32_t TAG_VOI_LUT_SEQUENCE = 0x00283010;
constexpr uint32_t UNDEFINED_LENGTH = 0xFFFFFFFF;

// Palette descriptor, data and segmented data tags, in the order red, green, blue.
struct PaletteTags {
    uint32_t descriptor, data, segmented;
};
constexpr PaletteTags PALETTE_TAGS[3] = {
    { 0x00281101, 0x00281201, 0x00281221 },
    { 0x00281102, 0x00281202, 0x00281222 },
    { 0x00281103, 0x00281203, 0x00281223 },
};

ElementId Sibling(DataSet& ds, ElementId from, uint32_t tag)
{
    return ds.FindElement(from, tag, true);
}
ElementId Anywhere(DataSet& ds, uint32_t tag)
{
    return ds.FindElement(-1, tag, false);
}

uint32_t UnsignedOr0(DataSet& ds, ElementId id, uint32_t index = 0)
{
    return id < 0 ? 0 : ds.GetUnsigned(id, index);
}

// The element giving `frame` its value of `tag`: in an enhanced file the top level's, the shared
// or the frame's functional groups'; in others, as always, the first anywhere in the tree.
ElementId FrameValue(DataSet& ds, uint32_t tag, uint32_t frame)
{
    return HasFunctionalGroups(ds) ? FindFrameAttribute(ds, tag, frame) : Anywhere(ds, tag);
}

double RealOrAbsent(DataSet& ds, uint32_t tag, uint32_t frame)
{
    const ElementId id = FrameValue(ds, tag, frame);
    return id < 0 ? ABSENT_REAL : ds.GetReal(id, 0);
}

// Reads the entries of a table value as the peers read them: `count` 16-bit words; a value
// shorter than that holds entries of at most 8 bits one byte each when it has `count` bytes,
// otherwise the whole words it has (a shorter table). False when it holds not even one entry.
bool ReadEntries(
    DataSet& ds, ElementId id, std::vector<uint16_t>& entries, uint32_t count, uint32_t bitsPerEntry)
{
    entries.clear();
    const uint32_t held = std::min(ds.GetValueLength(id), ds.GetHeldLength(id));
    if (held >= count * 2) {
        entries.resize(count);
        if (ds.ReadValue(id, entries.data(), 0, count * 2) != SUCCESS)
            entries.clear();
    } else if (bitsPerEntry <= 8 && held >= count) {
        std::vector<uint8_t> bytes(count);
        if (ds.ReadValue(id, bytes.data(), 0, count) == SUCCESS)
            entries.assign(bytes.begin(), bytes.end());
    } else if (held >= 2) {
        entries.resize(held / 2);
        if (ds.ReadValue(id, entries.data(), 0, held / 2 * 2) != SUCCESS)
            entries.clear();
    }
    return !entries.empty();
}

// A modality or VOI LUT of `frame`: the first item of `sequenceTag`, its descriptor and data.
bool ReadLut(DataSet& ds, uint32_t sequenceTag, uint32_t frame, LookupTable& table)
{
    table.Clear();
    const ElementId sequence = FrameValue(ds, sequenceTag, frame);
    if (sequence < 0)
        return false;
    const ElementId item = ds.FirstChild(sequence);
    if (item < 0)
        return false;
    const ElementId first = ds.FirstChild(item);
    if (first < 0)
        return false;
    const ElementId descriptor = Sibling(ds, first, TAG_LUT_DESCRIPTOR);
    if (descriptor < 0)
        return false;
    const uint32_t stored = ds.GetUnsigned(descriptor, 0);
    const uint32_t count = (stored == 0 || stored > 65536) ? 65536 : stored;
    const ElementId data = Sibling(ds, first, TAG_LUT_DATA);
    const uint32_t bitsPerEntry = ds.GetUnsigned(descriptor, 2);
    if (data < 0 || !ReadEntries(ds, data, table.entries, count, bitsPerEntry)) {
        table.Clear();
        return false;
    }
    table.entryCount = static_cast<int32_t>(table.entries.size());
    table.firstMapped = ds.GetUnsigned(descriptor, 1);
    table.bitsPerEntry = bitsPerEntry;
    return true;
}

struct PhotometricRow {
    const char* name;
    PhotometricCode code;
};
constexpr PhotometricRow PHOTOMETRIC_TABLE[] = {
    { "MONOCHROME1", PHOTOMETRIC_MONOCHROME1 },
    { "MONOCHROME2", PHOTOMETRIC_MONOCHROME2 },
    { "PALETTE COLOR", PHOTOMETRIC_PALETTE_COLOR },
    { "RGB", PHOTOMETRIC_RGB },
    { "ARGB", PHOTOMETRIC_ARGB },
    { "CMYK", PHOTOMETRIC_CMYK },
    { "YBR_FULL_422", PHOTOMETRIC_YBR_FULL_422 },
    { "YBR_FULL", PHOTOMETRIC_YBR_FULL },
};

} // namespace

void ImageSource::Bind(DataSet* dataSet)
{
    m_dataSet = dataSet;
    m_pixelData = -1;
    m_groupedFrames.reset();
    if (dataSet == nullptr)
        return;
    // The image's own pixels are the top level's: an Icon Image Sequence (0088,0200) holds a
    // thumbnail with Pixel Data of its own, earlier in the tree, which must not stand in for the
    // image. Only a data set without any at the top level is searched whole. Parametric maps
    // carry Float or Double Float Pixel Data instead.
    constexpr uint32_t kPixelTags[] = { TAG_PIXEL_DATA, TAG_FLOAT_PIXEL_DATA, TAG_DOUBLE_FLOAT_PIXEL_DATA };
    for (const uint32_t tag : kPixelTags)
        if (m_pixelData < 0)
            m_pixelData = dataSet->FindElement(NO_ELEMENT, tag, true);
    for (const uint32_t tag : kPixelTags)
        if (m_pixelData < 0)
            m_pixelData = Anywhere(*dataSet, tag);
}

ResultCode ImageSource::Describe(ImageDescription& d, TableReading tables, uint32_t frame)
{
    if (m_dataSet == nullptr || m_pixelData < 0)
        return ERROR_GENERAL_FAILURE;
    DataSet& ds = *m_dataSet;
    const ElementId pixel = m_pixelData;
    d.Release();
    d.compressionKind = static_cast<int32_t>(ds.GetCompression());

    const ElementId rows = Sibling(ds, pixel, TAG_ROWS);
    const ElementId columns = Sibling(ds, pixel, TAG_COLUMNS);
    if (rows < 0 || columns < 0)
        return ERROR_GENERAL_FAILURE;
    d.rows = ds.GetUnsigned(rows, 0);
    d.columns = ds.GetUnsigned(columns, 0);

    LookupTable* palettes[3] = { &d.redPalette, &d.greenPalette, &d.bluePalette };
    for (int i = 0; i < 3; ++i) {
        const ElementId descriptor = Sibling(ds, pixel, PALETTE_TAGS[i].descriptor);
        LookupTable& t = *palettes[i];
        if (descriptor < 0)
            continue;
        const uint32_t count = ds.GetUnsigned(descriptor, 0);
        t.entryCount = (count == 0 || count > 65536) ? 65536 : static_cast<int32_t>(count);
        t.firstMapped = ds.GetUnsigned(descriptor, 1);
        t.bitsPerEntry = ds.GetUnsigned(descriptor, 2);
    }
    d.largestPaletteCount = static_cast<uint32_t>(
        std::max({ d.redPalette.entryCount, d.greenPalette.entryCount, d.bluePalette.entryCount }));
    d.smallestFirstMapped
        = std::min({ d.redPalette.firstMapped, d.greenPalette.firstMapped, d.bluePalette.firstMapped });

    if (tables == TableReading::Read) {
        for (int i = 0; i < 3; ++i) {
            LookupTable& t = *palettes[i];
            if (t.entryCount == 0)
                continue;
            const uint32_t count = static_cast<uint32_t>(t.entryCount);
            const ElementId data = Anywhere(ds, PALETTE_TAGS[i].data);
            if (data >= 0) {
                if (!ReadEntries(ds, data, t.entries, count, t.bitsPerEntry)) {
                    d.Release();
                    return ERROR_GENERAL_FAILURE;
                }
                continue;
            }
            const ElementId segmented = Anywhere(ds, PALETTE_TAGS[i].segmented);
            if (segmented < 0) {
                d.Release();
                return ERROR_GENERAL_FAILURE;
            }
            // Segmented data (PS3.3 C.7.9.2) expands to the descriptor's count of entries.
            const uint32_t length = ds.GetValueLength(segmented);
            std::vector<uint16_t> words;
            if (length != UNDEFINED_LENGTH && length >= 2 && length <= 4u * 65536 * 2) {
                words.resize(length / 2);
                if (ds.ReadValue(segmented, words.data(), 0, static_cast<uint32_t>(words.size() * 2))
                    != SUCCESS)
                    words.clear();
            }
            t.entries = ExpandSegmentedPalette(words, count);
        }
    }

    d.bitsStored = UnsignedOr0(ds, Sibling(ds, pixel, TAG_BITS_STORED));
    d.bitsAllocated = UnsignedOr0(ds, Sibling(ds, pixel, TAG_BITS_ALLOCATED));
    d.highBit = UnsignedOr0(ds, Sibling(ds, pixel, TAG_HIGH_BIT));
    d.pixelRepresentation = UnsignedOr0(ds, Sibling(ds, pixel, TAG_PIXEL_REPRESENTATION));
    d.samplesPerPixel = UnsignedOr0(ds, Sibling(ds, pixel, TAG_SAMPLES_PER_PIXEL));
    if (d.samplesPerPixel == 0)
        d.samplesPerPixel = 1;
    if (d.samplesPerPixel > 1)
        d.planarConfiguration = UnsignedOr0(ds, Sibling(ds, pixel, TAG_PLANAR_CONFIGURATION));
    const uint32_t pixelTag = ds.GetTag(pixel);
    if (pixelTag == TAG_FLOAT_PIXEL_DATA || pixelTag == TAG_DOUBLE_FLOAT_PIXEL_DATA) {
        // IEEE samples: bits allocated 32 or 64 by the element; no bits stored or sign.
        d.floatSamples = true;
        d.bitsAllocated = d.bitsStored = pixelTag == TAG_FLOAT_PIXEL_DATA ? 32 : 64;
        d.highBit = d.bitsAllocated - 1;
        d.pixelRepresentation = 0;
    }

    const ElementId photometric = Sibling(ds, pixel, TAG_PHOTOMETRIC);
    if (photometric >= 0) {
        char* text = ds.GetString(photometric, 0);
        if (text != nullptr) {
            std::strncpy(d.photometric, text, sizeof d.photometric - 1);
            DataSet::FreeString(text);
        }
    } else if (d.samplesPerPixel == 1) {
        std::strcpy(d.photometric, "MONOCHROME2");
    } else {
        return ERROR_GENERAL_FAILURE;
    }
    const PhotometricRow* match = nullptr;
    for (const PhotometricRow& row : PHOTOMETRIC_TABLE)
        if (std::strcmp(row.name, d.photometric) == 0) {
            match = &row;
            break;
        }
    if (match == nullptr)
        return ERROR_GENERAL_FAILURE;
    d.photometricCode = match->code;
    switch (match->code) {
    case PHOTOMETRIC_MONOCHROME1:
    case PHOTOMETRIC_MONOCHROME2:
        d.displayDepth = 8;
        d.greyscale = true;
        break;
    case PHOTOMETRIC_PALETTE_COLOR:
        d.displayDepth = d.largestPaletteCount <= 256 ? 8 : 24;
        break;
    case PHOTOMETRIC_YBR_FULL_422:
    case PHOTOMETRIC_YBR_FULL:
        d.displayDepth = d.samplesPerPixel == 3 ? 24 : 8;
        d.greyscale = d.displayDepth == 8;
        break;
    default:
        d.displayDepth = 24;
        break;
    }
    if (d.displayDepth == 8 && (d.bitsAllocated == 16 || d.bitsAllocated == 12))
        d.displayDepth = 16;

    if (tables == TableReading::Read) {
        d.bothTables = true;
        if (!ReadLut(ds, TAG_MODALITY_LUT_SEQUENCE, frame, d.modalityLut))
            d.bothTables = false;
        if (!ReadLut(ds, TAG_VOI_LUT_SEQUENCE, frame, d.voiLut))
            d.bothTables = false;
    }

    d.windowWidth = RealOrAbsent(ds, TAG_WINDOW_WIDTH, frame);
    d.windowCenter = RealOrAbsent(ds, TAG_WINDOW_CENTER, frame);
    if (!(d.windowWidth > 0.0)) {
        d.windowWidth = ABSENT_REAL;
        d.windowCenter = ABSENT_REAL;
    }
    d.rescaleIntercept = RealOrAbsent(ds, TAG_RESCALE_INTERCEPT, frame);
    d.rescaleSlope = RealOrAbsent(ds, TAG_RESCALE_SLOPE, frame);
    d.minimumKnown = d.maximumKnown = false;
    return SUCCESS;
}

uint64_t ImageSource::FrameBits() const
{
    if (m_dataSet == nullptr || m_pixelData < 0)
        return 0;
    DataSet& ds = *m_dataSet;
    const ElementId rowsId = Sibling(ds, m_pixelData, TAG_ROWS);
    const ElementId columnsId = Sibling(ds, m_pixelData, TAG_COLUMNS);
    if (rowsId < 0 || columnsId < 0)
        return 0;
    const uint64_t rows = ds.GetUnsigned(rowsId, 0);
    const uint64_t columns = ds.GetUnsigned(columnsId, 0);
    const uint32_t tag = ds.GetTag(m_pixelData);
    const uint64_t bits = tag == TAG_FLOAT_PIXEL_DATA ? 32
        : tag == TAG_DOUBLE_FLOAT_PIXEL_DATA          ? 64
                                             : UnsignedOr0(ds, Sibling(ds, m_pixelData, TAG_BITS_ALLOCATED));
    uint64_t samples = UnsignedOr0(ds, Sibling(ds, m_pixelData, TAG_SAMPLES_PER_PIXEL));
    if (samples == 0)
        samples = 1;
    // Beyond any real image; the product below stays far from overflowing.
    if (rows >= (1u << 24) || columns >= (1u << 24) || bits > 64 || samples > 64)
        return 0;
    // Native YBR_FULL_422 keeps two bytes per pixel (Cb and Cr shared by each pair).
    if (samples == 3 && bits == 8 && ds.GetCompression() == 0) {
        const ElementId photometric = Sibling(ds, m_pixelData, TAG_PHOTOMETRIC);
        if (photometric >= 0) {
            char* text = ds.GetString(photometric, 0);
            const bool subsampled = text != nullptr && std::strcmp(text, "YBR_FULL_422") == 0;
            DataSet::FreeString(text);
            if (subsampled)
                return rows * columns * 16;
        }
    }
    return rows * columns * bits * samples;
}

uint32_t ImageSource::FrameBytes() const
{
    // Whole bytes: a frame of one-bit pixels ends in a partly used byte.
    const uint64_t bytes = (FrameBits() + 7) / 8;
    return bytes > MAX_FRAME_BYTES ? 0 : static_cast<uint32_t>(bytes);
}

bool ImageSource::BigEndianWords() const
{
    DataSet& ds = *m_dataSet;
    if (ds.GetVr(m_pixelData) != 0x4F57 /* OW */)
        return false;
    const ElementId syntax = Anywhere(ds, 0x00020010);
    char* text = syntax < 0 ? nullptr : ds.GetString(syntax, 0);
    const bool bigEndian = text != nullptr && std::strcmp(text, "1.2.840.10008.1.2.2") == 0;
    DataSet::FreeString(text);
    return bigEndian;
}

bool ImageSource::ThirtyTwoBitWordsSwappedInPairs() const
{
    return UnsignedOr0(*m_dataSet, Sibling(*m_dataSet, m_pixelData, TAG_BITS_ALLOCATED)) == 32
        && BigEndianWords();
}

bool ImageSource::Encapsulated() const
{
    return m_dataSet != nullptr && m_pixelData >= 0
        && m_dataSet->GetValueLength(m_pixelData) == UNDEFINED_LENGTH;
}

const std::vector<ImageSource::EncapsulatedFrame>& ImageSource::GroupFrames() const
{
    if (m_groupedFrames)
        return *m_groupedFrames;
    m_groupedFrames = std::make_shared<std::vector<EncapsulatedFrame>>();
    DataSet& ds = *m_dataSet;
    std::vector<ElementId> items;
    for (ElementId child = ds.FirstChild(m_pixelData); child >= 0; child = ds.NextSibling(child)) {
        if (ds.GetTag(child) != TAG_ITEM || ds.GetValueLength(child) == UNDEFINED_LENGTH)
            break;
        items.push_back(child);
    }
    if (items.size() < 2)
        return *m_groupedFrames;
    const uint32_t frames = UnsignedOr0(ds, Anywhere(ds, TAG_NUMBER_OF_FRAMES));
    // With a fragment per frame (or fewer fragments) nothing else is consulted, so neither the
    // offset table nor the fragments' first and last bytes are read: a tile steps through such
    // files without touching their pixel data twice.
    const bool onePerFragment = frames >= items.size() - 1;
    std::vector<uint32_t> offsets;
    const uint32_t tableLength = ds.GetValueLength(items[0]);
    if (!onePerFragment && tableLength >= 4 && tableLength <= 4u * 1048576) {
        std::vector<uint8_t> table(tableLength);
        if (ds.ReadValue(items[0], table.data(), 0, tableLength) == SUCCESS)
            offsets = ParseBasicOffsetTable(table);
    }
    // A fragment cut short by the end of the file counts only what it holds, so a damaged length
    // cannot make a frame's buffer gigabytes long. Each held length asks the file for its size;
    // when the last fragment is whole, so is every fragment before it.
    const bool allWhole = ds.GetHeldLength(items.back()) == ds.GetValueLength(items.back());
    std::vector<FragmentInfo> fragments(items.size() - 1);
    for (size_t i = 1; i < items.size(); ++i) {
        FragmentInfo& f = fragments[i - 1];
        f.length = allWhole ? ds.GetValueLength(items[i]) : ds.GetHeldLength(items[i]);
        if (onePerFragment)
            continue;
        const uint32_t head = std::min<uint32_t>(f.length, FRAGMENT_HEAD_BYTES);
        if (head > 0 && ds.ReadValue(items[i], f.head.data(), 0, head) == SUCCESS)
            f.headLength = static_cast<uint8_t>(head);
        const uint32_t tail = std::min<uint32_t>(f.length, FRAGMENT_TAIL_BYTES);
        if (tail > 0 && ds.ReadValue(items[i], f.tail.data(), f.length - tail, tail) == SUCCESS)
            f.tailLength = static_cast<uint8_t>(tail);
    }
    for (const FrameExtent& extent :
        GroupFragments(offsets, fragments, frames, static_cast<int32_t>(ds.GetCompression()))) {
        EncapsulatedFrame frame;
        for (uint32_t k = 0; k < extent.fragmentCount && extent.firstFragment + k + 1 < items.size(); ++k) {
            frame.fragments.push_back(items[extent.firstFragment + k + 1]);
            frame.length += fragments[extent.firstFragment + k].length;
        }
        m_groupedFrames->push_back(std::move(frame));
    }
    return *m_groupedFrames;
}

bool ImageSource::ReadShiftedBits(uint8_t* out, uint64_t start, uint32_t amount, uint32_t bitShift) const
{
    DataSet& ds = *m_dataSet;
    if (ds.ReadValue(m_pixelData, out, static_cast<uint32_t>(start), amount) != SUCCESS)
        return false;
    // The byte after (when the value has it) supplies the high bits of the last byte.
    uint8_t next = 0;
    if (start + amount < ds.GetHeldLength(m_pixelData)
        && ds.ReadValue(m_pixelData, &next, static_cast<uint32_t>(start + amount), 1) != SUCCESS)
        return false;
    for (uint32_t i = 0; i < amount; ++i) {
        const uint8_t high = i + 1 < amount ? out[i + 1] : next;
        out[i] = static_cast<uint8_t>(out[i] >> bitShift | high << (8 - bitShift));
    }
    return true;
}

bool ImageSource::ReadWholeWords(uint8_t* out, uint64_t start, uint32_t amount) const
{
    DataSet& ds = *m_dataSet;
    if ((start % 2 == 0 && amount % 2 == 0) || !BigEndianWords())
        return ds.ReadValue(m_pixelData, out, static_cast<uint32_t>(start), amount) == SUCCESS;
    // Big-endian OW values are swapped per 16-bit word: read the words around an odd-sized frame
    // and keep its bytes.
    const uint64_t first = start & ~uint64_t { 1 };
    const uint64_t end
        = std::min<uint64_t>((start + amount + 1) & ~uint64_t { 1 }, ds.GetHeldLength(m_pixelData));
    std::vector<uint8_t> words(static_cast<size_t>(end - first));
    if (ds.ReadValue(
            m_pixelData, words.data(), static_cast<uint32_t>(first), static_cast<uint32_t>(words.size()))
        != SUCCESS)
        return false;
    std::memcpy(out, words.data() + (start - first), amount);
    return true;
}

int32_t ImageSource::FrameCount() const
{
    if (m_dataSet == nullptr || m_pixelData < 0)
        return -1;
    const uint32_t length = m_dataSet->GetValueLength(m_pixelData);
    if (length == UNDEFINED_LENGTH)
        return static_cast<int32_t>(std::min<size_t>(GroupFrames().size(), INT32_MAX));
    if (m_dataSet->GetCompression() != 0)
        return length != 0 ? 1 : 0;
    if (FrameBytes() == 0)
        return 0; // no frame size (or an absurd one): nothing can be shown
    // Only frames whose bytes the file holds: a cut file or a hostile length gives no phantom
    // frames. One-bit frames follow each other without padding (PS3.5 8.1.1).
    const uint64_t held = m_dataSet->GetHeldLength(m_pixelData);
    const uint64_t count = held * 8 / FrameBits();
    if (held != 0 && count == 0)
        return 1; // a single short frame shows what it has
    return static_cast<int32_t>(std::min<uint64_t>(count, INT32_MAX));
}

template <typename Place>
uint32_t ImageSource::ReadFrameTo(uint32_t frame, uint32_t offset, uint32_t maximum, Place place)
{
    if (m_dataSet == nullptr || m_pixelData < 0 || frame == 0)
        return 0;
    DataSet& ds = *m_dataSet;
    const uint32_t length = ds.GetValueLength(m_pixelData);
    uint8_t* out = nullptr;
    auto clampAmount = [&](uint64_t amount) -> uint32_t {
        if (maximum != 0 && maximum < amount)
            amount = maximum;
        if (amount == 0 || amount > MAX_FRAME_BYTES)
            return 0;
        out = place(static_cast<uint32_t>(amount));
        return static_cast<uint32_t>(amount);
    };
    if (length == UNDEFINED_LENGTH) {
        const std::vector<EncapsulatedFrame>& frames = GroupFrames();
        if (frame > frames.size())
            return 0;
        const EncapsulatedFrame& f = frames[frame - 1];
        if (offset >= f.length)
            return 0;
        const uint32_t amount = clampAmount(f.length - offset);
        if (amount == 0)
            return 0;
        // Copy across the frame's fragments, skipping `offset` bytes.
        uint64_t skip = offset;
        uint32_t written = 0;
        for (ElementId item : f.fragments) {
            const uint32_t itemLength = ds.GetHeldLength(item);
            if (skip >= itemLength) {
                skip -= itemLength;
                continue;
            }
            const uint32_t take
                = static_cast<uint32_t>(std::min<uint64_t>(itemLength - skip, amount - written));
            if (ds.ReadValue(item, out + written, static_cast<uint32_t>(skip), take) != SUCCESS)
                return 0;
            written += take;
            skip = 0;
            if (written == amount)
                break;
        }
        return written == amount ? amount : 0;
    }
    if (ds.GetCompression() != 0) {
        if (frame != 1) // a defined-length compressed value holds one frame
            return 0;
        const uint32_t held = ds.GetHeldLength(m_pixelData); // not more than the file holds
        if (offset >= held)
            return 0;
        const uint32_t amount = clampAmount(held - offset);
        if (amount == 0 || ds.ReadValue(m_pixelData, out, offset, amount) != SUCCESS)
            return 0;
        return amount;
    }
    const int32_t count = FrameCount();
    const uint32_t frameBytes = FrameBytes();
    if (count <= 0 || frame > static_cast<uint32_t>(count) || offset >= frameBytes)
        return 0;
    // Frame k starts at (k - 1) x frame size, whatever follows the last frame; one-bit frames may
    // start inside a byte.
    const uint64_t startBit = FrameBits() * (frame - 1);
    const uint32_t bitShift = static_cast<uint32_t>(startBit % 8);
    const uint64_t start = startBit / 8 + offset;
    const uint64_t held = ds.GetHeldLength(m_pixelData);
    if (start >= held)
        return 0;
    const uint32_t amount = clampAmount(std::min<uint64_t>(frameBytes - offset, held - start));
    if (amount == 0)
        return 0;
    if (bitShift != 0 ? !ReadShiftedBits(out, start, amount, bitShift) : !ReadWholeWords(out, start, amount))
        return 0;
    const uint32_t usedBits = static_cast<uint32_t>(FrameBits() % 8);
    if (offset + amount == frameBytes && usedBits != 0) // the next frame's first bits are not ours
        out[amount - 1] &= static_cast<uint8_t>((1u << usedBits) - 1);
    if (ThirtyTwoBitWordsSwappedInPairs() && start % 4 == 0) {
        // Big-endian OW data is swapped per 16-bit word; 32-bit samples need their halves
        // exchanged as well to come out little-endian.
        for (uint32_t i = 0; i + 3 < amount; i += 4) {
            std::swap(out[i], out[i + 2]);
            std::swap(out[i + 1], out[i + 3]);
        }
    }
    return amount;
}

uint32_t ImageSource::ReadFrame(
    uint32_t frame, std::vector<uint8_t>& buffer, uint32_t offset, uint32_t maximum)
{
    return ReadFrameTo(frame, offset, maximum, [&buffer](uint32_t amount) {
        if (buffer.size() < amount)
            buffer.resize(amount);
        return buffer.data();
    });
}

uint32_t ImageSource::ReadFrame(uint32_t frame, std::span<uint8_t> destination, uint32_t offset)
{
    if (destination.empty() || destination.size() > MAX_FRAME_BYTES)
        return 0;
    return ReadFrameTo(frame, offset, static_cast<uint32_t>(destination.size()),
        [&destination](uint32_t) { return destination.data(); });
}

} // namespace velmora
#endif
