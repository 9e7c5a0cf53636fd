// Frame grouping for encapsulated pixel data (see frame_fragments.h for the rules).
#include "imaging/frame_fragments.h"

#include "imaging/pixel_decoder.h"

#include <optional>

namespace velmora {

namespace {

enum class Markers { None, Jpeg, Jpeg2000, Rle };

Markers MarkersFor(int32_t compressionKind)
{
    // JPEG processes and JPEG-LS both open with SOI; JPEG 2000 with SOC; RLE with its header.
    switch (CodecForCompression(compressionKind)) {
    case PixelCodec::Jpeg:
    case PixelCodec::JpegLs:
        return Markers::Jpeg;
    case PixelCodec::Jpeg2000:
        return Markers::Jpeg2000;
    case PixelCodec::Rle:
        return Markers::Rle;
    default:
        return Markers::None;
    }
}

bool StartsFrame(const FragmentInfo& fragment, Markers markers)
{
    const auto& h = fragment.head;
    const uint32_t n = fragment.headLength;
    switch (markers) {
    case Markers::Jpeg:
        return n >= 2 && h[0] == 0xFF && h[1] == 0xD8;
    case Markers::Jpeg2000:
        if (n >= 4 && h[0] == 0xFF && h[1] == 0x4F && h[2] == 0xFF && h[3] == 0x51)
            return true;
        return n >= 8 && h[0] == 0 && h[1] == 0 && h[2] == 0 && h[3] == 0x0C && h[4] == 'j' && h[5] == 'P'
            && h[6] == ' ' && h[7] == ' ';
    case Markers::Rle:
        // PS3.5 G.5: a segment count of 1 to 15, then the first segment's offset, 64 (the
        // header's own size), both little-endian 32-bit.
        return n >= 8 && h[0] >= 1 && h[0] <= 15 && h[1] == 0 && h[2] == 0 && h[3] == 0 && h[4] == 64
            && h[5] == 0 && h[6] == 0 && h[7] == 0;
    case Markers::None:
        break;
    }
    return false;
}

// EOI at the very end, or followed by the one pad byte that keeps an item's length even.
bool EndsJpegFrame(const FragmentInfo& fragment)
{
    const auto& t = fragment.tail;
    const uint32_t n = fragment.tailLength;
    if (n >= 2 && t[n - 2] == 0xFF && t[n - 1] == 0xD9)
        return true;
    return n >= 3 && t[n - 3] == 0xFF && t[n - 2] == 0xD9 && t[n - 1] == 0x00;
}

std::vector<FrameExtent> OnePerFragment(size_t count)
{
    std::vector<FrameExtent> frames(count);
    for (size_t i = 0; i < count; ++i)
        frames[i] = { static_cast<uint32_t>(i), 1 };
    return frames;
}

// Turns the 0-based indices of each frame's first fragment into extents.
std::vector<FrameExtent> FromStarts(const std::vector<uint32_t>& starts, size_t fragmentCount)
{
    std::vector<FrameExtent> frames;
    frames.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        const uint32_t end = i + 1 < starts.size() ? starts[i + 1] : static_cast<uint32_t>(fragmentCount);
        frames.push_back({ starts[i], end - starts[i] });
    }
    return frames;
}

// Offsets are measured from the first byte of the first fragment's item tag; each item has an
// 8-byte header. Every offset must land exactly on an item, in increasing order.
std::optional<std::vector<FrameExtent>> ByOffsetTable(
    std::span<const uint32_t> table, std::span<const FragmentInfo> fragments)
{
    if (table.empty() || table[0] != 0)
        return std::nullopt;
    std::vector<uint32_t> starts;
    starts.reserve(table.size());
    uint64_t position = 0;
    size_t next = 0;
    for (uint32_t index = 0; index < fragments.size() && next < table.size(); ++index) {
        if (position == table[next]) {
            starts.push_back(index);
            ++next;
        } else if (position > table[next]) {
            return std::nullopt; // lands inside an item, or not increasing
        }
        position += 8u + static_cast<uint64_t>(fragments[index].length);
    }
    if (next != table.size())
        return std::nullopt;
    return FromStarts(starts, fragments.size());
}

std::vector<uint32_t> StartsByHead(std::span<const FragmentInfo> fragments, Markers markers)
{
    std::vector<uint32_t> starts;
    for (uint32_t i = 0; i < fragments.size(); ++i) {
        if (StartsFrame(fragments[i], markers))
            starts.push_back(i);
    }
    if (starts.empty() || starts.front() != 0)
        return {};
    return starts;
}

std::vector<uint32_t> StartsByTail(std::span<const FragmentInfo> fragments)
{
    std::vector<uint32_t> starts;
    bool atStart = true;
    for (uint32_t i = 0; i < fragments.size(); ++i) {
        if (fragments[i].tailLength == 0)
            return {};
        if (atStart)
            starts.push_back(i);
        atStart = EndsJpegFrame(fragments[i]);
    }
    if (!atStart)
        return {}; // the last frame never ended
    return starts;
}

} // namespace

std::vector<FrameExtent> GroupFragments(std::span<const uint32_t> basicOffsetTable,
    std::span<const FragmentInfo> fragments, uint32_t numberOfFrames, int32_t compressionKind)
{
    const size_t count = fragments.size();
    if (count == 0)
        return {};
    if (numberOfFrames >= count)
        return OnePerFragment(count);
    const bool known = numberOfFrames != 0;

    if (known ? basicOffsetTable.size() == numberOfFrames : !basicOffsetTable.empty()) {
        if (auto frames = ByOffsetTable(basicOffsetTable, fragments))
            return *frames;
    }

    const Markers markers = MarkersFor(compressionKind);
    if (markers != Markers::None) {
        std::vector<uint32_t> starts = StartsByHead(fragments, markers);
        if (!starts.empty() && (!known || starts.size() == numberOfFrames))
            return FromStarts(starts, count);
        if (markers == Markers::Jpeg) {
            starts = StartsByTail(fragments);
            if (!starts.empty() && (!known || starts.size() == numberOfFrames))
                return FromStarts(starts, count);
        }
    }

    if (numberOfFrames == 1)
        return { FrameExtent { 0, static_cast<uint32_t>(count) } };
    return OnePerFragment(count);
}

std::vector<uint32_t> ParseBasicOffsetTable(std::span<const uint8_t> value)
{
    std::vector<uint32_t> offsets(value.size() / 4);
    for (size_t i = 0; i < offsets.size(); ++i) {
        const uint8_t* p = value.data() + 4 * i;
        offsets[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    return offsets;
}

} // namespace velmora
