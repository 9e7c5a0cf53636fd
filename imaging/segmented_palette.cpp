// Segmented palette expansion, PS3.3 C.7.9.2.
#include "imaging/segmented_palette.h"

namespace velmora {

namespace {

struct Expander {
    std::span<const uint16_t> words;
    std::vector<uint16_t>& out;
    uint32_t count;

    // Expands `segments` segments (all when 0) starting at word `position`; an indirect segment
    // may not refer to another indirect one.
    void Run(size_t position, uint32_t segments, bool allowIndirect)
    {
        for (uint32_t done = 0;
             (segments == 0 || done < segments) && position + 1 < words.size() && out.size() < count;
             ++done) {
            const uint16_t opcode = words[position];
            const uint16_t length = words[position + 1];
            if (opcode == 0) {
                for (uint32_t i = 0; i < length && position + 2 + i < words.size() && out.size() < count; ++i)
                    out.push_back(words[position + 2 + i]);
                position += 2 + static_cast<size_t>(length);
            } else if (opcode == 1) {
                if (position + 2 >= words.size() || out.empty())
                    return; // a linear segment needs a previous value
                const int64_t y0 = out.back();
                const int64_t y1 = words[position + 2];
                for (uint32_t i = 1; i <= length && out.size() < count; ++i)
                    out.push_back(static_cast<uint16_t>(y0 + (y1 - y0) * i / length));
                position += 3;
            } else if (opcode == 2 && allowIndirect) {
                if (position + 3 >= words.size())
                    return;
                const uint32_t byteOffset
                    = words[position + 2] | static_cast<uint32_t>(words[position + 3]) << 16;
                Run(byteOffset / 2, length, false);
                position += 4;
            } else {
                return;
            }
        }
    }
};

} // namespace

std::vector<uint16_t> ExpandSegmentedPalette(std::span<const uint16_t> words, uint32_t count)
{
    std::vector<uint16_t> out;
    out.reserve(count);
    Expander { words, out, count }.Run(0, 0, true);
    out.resize(count, 0);
    return out;
}

} // namespace velmora
