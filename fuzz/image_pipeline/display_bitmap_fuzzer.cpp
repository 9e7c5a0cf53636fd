// Fuzzes DisplayBitmap with an arbitrary ImageDescription (geometry capped at 64 x 64) and raw
// bytes: progressive appends in pieces, every adjustment, invert, reflection and painting.
// Every bitmap byte and painted pixel is read.
#include "imaging/display_bitmap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    uint8_t Byte() { return m_position < m_size ? m_data[m_position++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    size_t Left() const { return m_size - m_position; }
    const uint8_t* Here() const { return m_data + m_position; }
    void Skip(size_t n) { m_position += n < Left() ? n : Left(); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

void Table(Reader& in, velmora::LookupTable& table)
{
    const uint8_t count = in.Byte() % 20;
    if (count == 0)
        return;
    table.entryCount = count;
    table.firstMapped = in.Word();
    table.bitsPerEntry = in.Byte() % 20;
    for (uint8_t i = 0; i < count; ++i)
        table.entries.push_back(in.Word());
}

class Sink : public velmora::PaintTarget {
public:
    bool StretchBlit(const velmora::DibView& source, const velmora::PixelRect& from,
        const velmora::PixelRect& to, const velmora::PixelRect& clip) override
    {
        return velmora::StretchBlitToArgb(pixels, 32, 32, source, from, to, clip);
    }
    uint32_t pixels[32 * 32] = {};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    Reader in(data, size);
    ImageDescription d;
    d.columns = in.Byte() % 65;
    d.rows = in.Byte() % 65;
    static const uint32_t BITS[] = { 0, 1, 8, 12, 16, 32, 64, 16 };
    d.bitsAllocated = BITS[in.Byte() % 8];
    d.bitsStored = in.Byte() % 33;
    d.highBit = in.Byte() % 33;
    const uint8_t samples = in.Byte();
    d.samplesPerPixel = samples % 5;
    d.floatSamples = samples & 0x80;
    d.pixelRepresentation = in.Byte() % 2;
    d.planarConfiguration = in.Byte() % 2;
    const uint8_t flags = in.Byte();
    static const int32_t CODES[] = { 0, 1, 2, 3, 4, 5, 7, 9, 6, 8 };
    d.photometricCode = CODES[in.Byte() % 10];
    d.greyscale = flags & 1;
    static const int32_t DEPTHS[] = { 8, 16, 24, 0 };
    d.displayDepth = DEPTHS[(flags >> 1) & 3];
    d.compressionKind = (flags & 8) ? 0x100000 : 0;
    d.bothTables = flags & 16;
    d.windowCenter = (flags & 32) ? static_cast<int16_t>(in.Word()) : ABSENT_REAL;
    d.windowWidth = (flags & 64) ? static_cast<int16_t>(in.Word()) : ABSENT_REAL;
    d.rescaleIntercept = (flags & 128) ? static_cast<int16_t>(in.Word()) : ABSENT_REAL;
    d.rescaleSlope = (flags & 128) ? static_cast<int16_t>(in.Word()) / 16.0 : ABSENT_REAL;
    Table(in, d.redPalette);
    Table(in, d.greenPalette);
    Table(in, d.bluePalette);
    Table(in, d.modalityLut);
    Table(in, d.voiLut);
    d.largestPaletteCount = static_cast<uint32_t>(
        std::max({ d.redPalette.entryCount, d.greenPalette.entryCount, d.bluePalette.entryCount }));
    const uint8_t operations = in.Byte();
    const uint32_t piece = 1 + in.Byte() * 7u;

    DisplayBitmap bitmap;
    bitmap.Attach(&d);
    bitmap.Begin(Progressive::Yes, piece / 2);
    Sink sink;
    const PixelRect rect { -3, 2, 29, 35 };
    while (in.Left() > 0) {
        const size_t n = std::min<size_t>(piece, in.Left());
        bitmap.Append(in.Here(), static_cast<uint32_t>(n));
        in.Skip(n);
        bitmap.Paint(&sink, &rect, PaintMode::Progressive);
    }
    bitmap.MarkComplete();
    if (operations & 1)
        bitmap.Contrast(static_cast<int8_t>(operations) % 101);
    if (operations & 2)
        bitmap.Brightness(-37);
    if (operations & 4)
        bitmap.Invert();
    if (operations & 8)
        bitmap.ReflectX();
    if (operations & 16)
        bitmap.ReflectY();
    if (operations & 32)
        bitmap.Brightness(37);
    bitmap.Paint(&sink, &rect, PaintMode::Full);
    uint32_t sum = 0;
    for (uint8_t b : bitmap.Bits())
        sum += b;
    for (uint32_t p : sink.pixels)
        sum += p;
    volatile uint32_t keep = sum;
    (void)keep;
    return 0;
}
