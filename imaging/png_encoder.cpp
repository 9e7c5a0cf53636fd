// PNG encoder with stored (uncompressed) deflate blocks (RFC 1950/1951 and the PNG format).
#include "imaging/png_encoder.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace velmora {

namespace {

const std::array<uint32_t, 256>& CrcTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t {};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, PngCrc32(out.data() + start, out.size() - start));
}

} // namespace

uint32_t PngCrc32(const uint8_t* data, std::size_t length, uint32_t crc)
{
    const auto& table = CrcTable();
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<uint8_t> EncodePng(const DibView& bitmap)
{
    if (bitmap.bits == nullptr || bitmap.width <= 0 || bitmap.height <= 0
        || (bitmap.bitCount == 8 && bitmap.colourTable == nullptr)
        || (bitmap.bitCount != 8 && bitmap.bitCount != 24))
        return {};
    const uint32_t width = static_cast<uint32_t>(bitmap.width);
    const uint32_t height = static_cast<uint32_t>(bitmap.height);
    bool grey = bitmap.bitCount == 8;
    if (grey) {
        std::array<bool, 256> used {};
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                used[bitmap.bits[static_cast<std::size_t>(y) * bitmap.stride + x]] = true;
        for (int i = 0; i < 256 && grey; ++i) {
            const uint8_t* e = bitmap.colourTable + 4 * i;
            grey = !used[i] || (e[0] == e[1] && e[1] == e[2]);
        }
    }
    const uint32_t channels = grey ? 1 : 3;
    // Filter byte 0 (none) before each row.
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + width * channels));
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.bits + static_cast<std::size_t>(y) * bitmap.stride;
        raw.push_back(0);
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* bgr = bitmap.bitCount == 8 ? bitmap.colourTable + 4 * row[x] : row + 3 * x;
            if (grey) {
                raw.push_back(bgr[0]);
            } else {
                raw.push_back(bgr[2]);
                raw.push_back(bgr[1]);
                raw.push_back(bgr[0]);
            }
        }
    }
    // zlib stream of stored blocks of at most 65,535 bytes, then Adler-32.
    std::vector<uint8_t> z { 0x78, 0x01 };
    std::size_t position = 0;
    do {
        const std::size_t block = std::min<std::size_t>(65535, raw.size() - position);
        const bool last = position + block == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(block));
        z.push_back(static_cast<uint8_t>(block >> 8));
        z.push_back(static_cast<uint8_t>(~block));
        z.push_back(static_cast<uint8_t>(~block >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(position),
            raw.begin() + static_cast<std::ptrdiff_t>(position + block));
        position += block;
    } while (position < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(z, b << 16 | a);

    std::vector<uint8_t> png { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    std::vector<uint8_t> header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.push_back(8); // bit depth
    header.push_back(grey ? 0 : 2); // grey or truecolour
    header.push_back(0);
    header.push_back(0);
    header.push_back(0);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

} // namespace velmora
