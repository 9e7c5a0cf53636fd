// DisplayBitmap: raw frame bytes -> top-down DIB, the viewing adjustments and painting.
#include "imaging/display_bitmap.h"

#include "imaging/pixel_layout.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

void FillGreyTable(std::array<uint8_t, 1024>& table)
{
    for (int i = 0; i < 256; ++i) {
        table[i * 4 + 0] = table[i * 4 + 1] = table[i * 4 + 2] = static_cast<uint8_t>(i);
        table[i * 4 + 3] = 0;
    }
}

uint8_t ClampByte(int64_t v)
{
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

// One byte through the brightness/contrast transfer: u = v + B, then the distance from mid-grey
// scaled by (k / 1000)^2.
uint8_t AdjustByte(int32_t v, int32_t brightness, int64_t k, bool applyContrast)
{
    const int64_t u = std::clamp<int64_t>(static_cast<int64_t>(v) + brightness, 0, 255);
    if (!applyContrast)
        return static_cast<uint8_t>(u);
    const int64_t w = (((2 * u - 255) * k * k + 255000000) >> 1) / 1000000;
    return ClampByte(w);
}

// One-bit frames: pixels are bits packed across rows; mirror (left-right) or flip (top-bottom).
void ReflectBits(ImageDescription& d, bool leftRight)
{
    const uint64_t pixels = static_cast<uint64_t>(d.rows) * d.columns;
    if (d.pixelBuffer.size() * 8 < pixels)
        return;
    std::vector<uint8_t> bits(static_cast<size_t>(pixels));
    for (uint64_t i = 0; i < pixels; ++i)
        bits[i] = (d.pixelBuffer[i >> 3] >> (i & 7)) & 1;
    for (uint32_t r = 0; r < d.rows; ++r) {
        uint8_t* row = bits.data() + static_cast<size_t>(r) * d.columns;
        if (leftRight)
            std::reverse(row, row + d.columns);
        else if (r < d.rows / 2)
            std::swap_ranges(
                row, row + d.columns, bits.data() + static_cast<size_t>(d.rows - 1 - r) * d.columns);
    }
    for (uint64_t i = 0; i < pixels; ++i) {
        uint8_t& byte = d.pixelBuffer[i >> 3];
        byte = static_cast<uint8_t>((byte & ~(1u << (i & 7))) | bits[i] << (i & 7));
    }
}

} // namespace

bool DisplayBitmap::Attach(ImageDescription* description)
{
    DeleteBitmap();
    m_description = description;
    m_received = m_converted = 0;
    m_progressive = m_complete = m_inverted = false;
    m_total = 0;
    m_tableMinimum = m_tableMaximum = 0;
    m_rowsBefore = m_rowsAfter = 0;
    m_sourceRowBytes = m_stride = m_planeBytes = 0;
    m_savedColourTable.clear();
    m_backup.clear();
    m_paletteMapReady = false;
    m_brightnessTotal = m_contrastTotal = 0;
    m_growthQuantum = 1;
    if (description == nullptr)
        return true;
    const FrameLayout layout = FrameLayout::Of(*description);
    if (layout.valid) {
        m_total = layout.totalBytes;
        m_sourceRowBytes = layout.rowBytes;
        m_planeBytes = layout.planeBytes;
        m_stride = layout.bitmapStride;
    }
    m_growthQuantum = std::max<uint32_t>(1, (m_total + 2) / 3);
    return true;
}

ResultCode DisplayBitmap::Begin(Progressive progressive, uint32_t growthQuantum)
{
    if (m_received != 0 || (m_description != nullptr && !m_description->pixelBuffer.empty())) {
        // The memory is kept for the next frame, which is usually the same size (cine).
        if (m_description != nullptr)
            m_description->pixelBuffer.clear();
        m_savedColourTable.clear();
        m_received = m_converted = 0;
    }
    DeleteBitmap();
    m_backup.clear();
    m_paletteMapReady = false;
    m_complete = m_inverted = false;
    m_rowsBefore = m_rowsAfter = 0;
    m_progressive = progressive == Progressive::Yes;
    if (m_progressive && !CreateBitmap())
        return ERROR_GENERAL_FAILURE;
    if (growthQuantum != 0)
        m_growthQuantum = growthQuantum;
    return SUCCESS;
}

bool DisplayBitmap::CreateBitmap()
{
    DeleteBitmap();
    if (m_description == nullptr || m_total == 0)
        return false;
    const FrameLayout layout = FrameLayout::Of(*m_description);
    if (!layout.valid)
        return false;
    m_bitCount = layout.bitmapBitCount;
    m_bitmapWidth = static_cast<int32_t>(m_description->columns);
    m_bitmapHeight = static_cast<int32_t>(m_description->rows);
    m_stride = layout.bitmapStride;
    const size_t size = static_cast<size_t>(m_stride) * m_description->rows;
    const uint32_t rowBytes
        = static_cast<uint32_t>(static_cast<uint64_t>(m_bitmapWidth) * static_cast<uint32_t>(m_bitCount) / 8);
    m_staleRows = m_bits.size() == size && m_bitsRowBytes == rowBytes;
    if (!m_staleRows)
        m_bits.assign(size, 0);
    m_bitsRowBytes = rowBytes;
    FillGreyTable(m_colourTable);
    m_description->bitmapBits = m_bits.data();
    return true;
}

void DisplayBitmap::DeleteBitmap()
{
    m_bitCount = m_bitmapWidth = m_bitmapHeight = 0;
    if (m_description != nullptr)
        m_description->bitmapBits = nullptr;
}

bool DisplayBitmap::Append(const uint8_t* data, uint32_t length)
{
    if (data == nullptr || m_description == nullptr || m_complete)
        return false;
    length = std::min(length, m_total - m_received);
    if (length == 0)
        return false;
    ByteBuffer& raw = m_description->pixelBuffer;
    const uint64_t needed = static_cast<uint64_t>(m_received) + length;
    // A piece read into PieceRoom is already in place.
    if (data != raw.data() + m_received || raw.size() < needed) {
        GrowRaw(needed);
        std::memcpy(raw.data() + m_received, data, length);
    }
    if (!m_progressive) {
        m_received += length;
        return true;
    }
    std::array<uint8_t, 1024> table = m_colourTable;
    m_rowsBefore = m_sourceRowBytes ? m_converted / m_sourceRowBytes : 0;
    if (!Convert(length, table)) {
        raw.resize(m_received);
        return false;
    }
    m_received += length;
    m_rowsAfter = m_sourceRowBytes ? std::min(m_converted / m_sourceRowBytes, m_description->rows) : 0;
    m_staleRows = m_staleRows && ConvertedRows() < m_description->rows;
    m_colourTable = table;
    return true;
}

std::span<uint8_t> DisplayBitmap::PieceRoom(uint32_t length)
{
    if (m_description == nullptr || m_complete)
        return {};
    length = std::min(length, m_total - m_received);
    if (length == 0)
        return {};
    GrowRaw(static_cast<uint64_t>(m_received) + length);
    return { m_description->pixelBuffer.data() + m_received, length };
}

// Grows the raw buffer in steps of the quantum, never past the frame: one allocation when the
// quantum is the frame size.
void DisplayBitmap::GrowRaw(uint64_t needed)
{
    ByteBuffer& raw = m_description->pixelBuffer;
    if (raw.size() >= needed)
        return;
    const uint64_t q = m_growthQuantum;
    raw.resize(static_cast<size_t>(std::min<uint64_t>(m_total, q * (needed / q + 1))));
}

void DisplayBitmap::MarkComplete()
{
    m_complete = true;
    if (m_staleRows && HasBitmap())
        BlankRowsFrom(ConvertedRows());
}

uint32_t DisplayBitmap::ConvertedRows() const
{
    // Converters that need the whole frame convert it at once and count it all.
    if (m_total != 0 && m_converted >= m_total)
        return m_description->rows;
    return m_rowsAfter;
}

void DisplayBitmap::BlankRowsFrom(uint32_t row)
{
    const size_t from = std::min(static_cast<size_t>(row) * m_stride, m_bits.size());
    std::fill(m_bits.begin() + static_cast<ptrdiff_t>(from), m_bits.end(), 0);
    m_staleRows = false;
}

void DisplayBitmap::ResetAdjustments()
{
    m_savedColourTable.clear();
    std::vector<uint8_t>().swap(m_backup);
    m_brightnessTotal = m_contrastTotal = 0;
}

ResultCode DisplayBitmap::Brightness(int32_t step)
{
    return Adjust(0, step);
}
ResultCode DisplayBitmap::Contrast(int32_t step)
{
    return Adjust(step, 0);
}

ResultCode DisplayBitmap::Adjust(int32_t contrastStep, int32_t brightnessStep)
{
    if (!Usable() || !HasBitmap() || contrastStep < -100 || contrastStep > 100 || brightnessStep < -100
        || brightnessStep > 100)
        return ERROR_GENERAL_FAILURE;
    if (m_contrastTotal + contrastStep == 0 && m_brightnessTotal + brightnessStep == 0) {
        m_contrastTotal = m_brightnessTotal = 0;
        if (m_savedColourTable.size() == m_colourTable.size())
            std::memcpy(m_colourTable.data(), m_savedColourTable.data(), m_colourTable.size());
        if (!m_backup.empty() && m_backup.size() == m_bits.size())
            std::memcpy(m_bits.data(), m_backup.data(), m_bits.size());
        return SUCCESS;
    }
    if (m_bitCount == 8 && m_savedColourTable.empty()) {
        m_savedColourTable.assign(m_colourTable.begin(), m_colourTable.end());
        m_contrastTotal = m_brightnessTotal = 0;
    }
    if (m_bitCount == 24 && m_backup.empty())
        m_backup = m_bits;
    // Far beyond this every byte is saturated; the bound keeps the arithmetic in range.
    constexpr int32_t LIMIT = 1000000;
    m_contrastTotal = std::clamp(m_contrastTotal + contrastStep, -LIMIT, LIMIT);
    m_brightnessTotal = std::clamp(m_brightnessTotal + brightnessStep, -LIMIT, LIMIT);
    ApplyTotals();
    return SUCCESS;
}

// Recomputes the bitmap (24-bit) or its colour table (8-bit) from the unadjusted copy.
void DisplayBitmap::ApplyTotals()
{
    const int64_t k = static_cast<int64_t>(m_contrastTotal) + 1000;
    if (m_bitCount == 8) {
        if (m_savedColourTable.size() != m_colourTable.size())
            return;
        const int32_t b = (m_brightnessTotal * 255 + 500) / 1000;
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c)
                m_colourTable[i * 4 + c] = AdjustByte(m_savedColourTable[i * 4 + c], b, k, true);
        return;
    }
    if (m_backup.size() != m_bits.size())
        return;
    const int32_t b = static_cast<int32_t>((static_cast<int64_t>(m_brightnessTotal) * 255 + 50) / 100);
    if (m_contrastTotal == 0) {
        // Brightness alone is a saturating add, which the compiler vectorises.
        const int32_t add = std::clamp(b, -255, 255);
        const uint8_t* from = m_backup.data();
        uint8_t* to = m_bits.data();
        for (size_t i = 0, n = m_bits.size(); i < n; ++i)
            to[i] = static_cast<uint8_t>(std::clamp(from[i] + add, 0, 255));
        return;
    }
    std::array<uint8_t, 256> map;
    for (int v = 0; v < 256; ++v)
        map[v] = AdjustByte(v, b, k, m_contrastTotal != 0);
    const uint8_t* from = m_backup.data();
    uint8_t* to = m_bits.data();
    for (size_t i = 0, n = m_bits.size(); i < n; ++i)
        to[i] = map[from[i]];
}

// 255 minus every shown value: the colour table of an 8-bit bitmap (grey ramp or palette),
// the pixels of a 24-bit one.
void DisplayBitmap::Negate(std::array<uint8_t, 1024>& table)
{
    if (m_bitCount == 8) {
        for (size_t i = 0; i < table.size(); i += 4)
            for (size_t c = 0; c < 3; ++c)
                table[i + c] = static_cast<uint8_t>(255 - table[i + c]);
        return;
    }
    // Pixels only: the row padding keeps whatever it holds.
    const size_t rowBytes = 3 * static_cast<size_t>(m_bitmapWidth);
    for (int32_t r = 0; r < m_bitmapHeight; ++r) {
        uint8_t* row = BitmapRow(static_cast<uint32_t>(r));
        for (size_t i = 0; i < rowBytes; ++i)
            row[i] = static_cast<uint8_t>(255 - row[i]);
    }
}

void DisplayBitmap::Reconvert()
{
    if (!HasBitmap() && !CreateBitmap())
        return;
    std::array<uint8_t, 1024> table;
    FillGreyTable(table);
    m_received = m_converted = 0;
    m_rowsBefore = 0;
    Convert(m_total, table);
    if (m_inverted)
        Negate(table);
    m_rowsAfter = m_sourceRowBytes ? std::min(m_converted / m_sourceRowBytes, m_description->rows) : 0;
    if (ConvertedRows() < m_description->rows)
        BlankRowsFrom(ConvertedRows()); // what the conversion did not reach shows black
    m_staleRows = false;
    m_colourTable = table;
    m_received = m_total;
    // The unadjusted copies follow the new pixels; the totals are then applied again.
    if (!m_savedColourTable.empty() || (m_bitCount == 8 && (m_contrastTotal || m_brightnessTotal)))
        m_savedColourTable.assign(m_colourTable.begin(), m_colourTable.end());
    if (!m_backup.empty() || (m_bitCount == 24 && (m_contrastTotal || m_brightnessTotal)))
        m_backup = m_bits;
    if (m_contrastTotal != 0 || m_brightnessTotal != 0)
        ApplyTotals();
}

ResultCode DisplayBitmap::SetWindow(double center, double width)
{
    if (m_description == nullptr)
        return ERROR_GENERAL_FAILURE;
    m_description->windowCenter = center;
    m_description->windowWidth = width;
    if (RawComplete())
        Reconvert();
    return SUCCESS;
}

ResultCode DisplayBitmap::Invert()
{
    if (!RawComplete())
        return ERROR_GENERAL_FAILURE;
    // The negative of the picture as shown, whatever the layout: the mapping to the display is
    // reversed after conversion (Reconvert), the raw frame stays as decoded.
    m_inverted = !m_inverted;
    Reconvert();
    return SUCCESS;
}

ResultCode DisplayBitmap::ReflectX()
{
    if (!RawComplete())
        return ERROR_GENERAL_FAILURE;
    ImageDescription& d = *m_description;
    const FrameLayout layout = FrameLayout::Of(d);
    uint8_t* raw = d.pixelBuffer.data();
    const uint32_t columns = d.columns;
    if (d.bitsAllocated == 1) {
        ReflectBits(d, true);
    } else if (d.IsSubsampled422()) {
        // Pairs of pixels share Cb Cr: reverse the pairs and the two Y values within each.
        for (uint32_t r = 0; r < d.rows; ++r) {
            uint8_t* row = raw + static_cast<size_t>(r) * layout.rowBytes;
            const uint32_t pairs = columns / 2;
            for (uint32_t i = 0; i < pairs / 2; ++i)
                std::swap_ranges(row + 4 * i, row + 4 * i + 4, row + 4 * (pairs - 1 - i));
            for (uint32_t i = 0; i < pairs; ++i)
                std::swap(row[4 * i], row[4 * i + 1]);
        }
    } else {
        const bool byPlane = d.planarConfiguration == 1 && d.samplesPerPixel > 1;
        const uint32_t pixelBytes = byPlane ? layout.sampleBytes : layout.sampleBytes * d.samplesPerPixel;
        const uint32_t rowBytes = pixelBytes * columns;
        const uint32_t rowCount = byPlane ? d.rows * d.samplesPerPixel : d.rows;
        if (pixelBytes >= 1 && static_cast<uint64_t>(rowBytes) * rowCount <= m_total) {
            for (uint32_t r = 0; r < rowCount; ++r) {
                uint8_t* row = raw + static_cast<size_t>(r) * rowBytes;
                for (uint32_t i = 0; i < columns / 2; ++i)
                    std::swap_ranges(row + i * pixelBytes, row + (i + 1) * pixelBytes,
                        row + (columns - 1 - i) * pixelBytes);
            }
        }
    }
    Reconvert();
    return SUCCESS;
}

ResultCode DisplayBitmap::ReflectY()
{
    if (!RawComplete())
        return ERROR_GENERAL_FAILURE;
    ImageDescription& d = *m_description;
    const FrameLayout layout = FrameLayout::Of(d);
    uint8_t* raw = d.pixelBuffer.data();
    if (d.bitsAllocated == 1) {
        ReflectBits(d, false);
        Reconvert();
        return SUCCESS;
    }
    const bool byPlane = d.planarConfiguration == 1 && d.samplesPerPixel > 1 && !d.IsSubsampled422();
    const uint32_t planes = byPlane ? d.samplesPerPixel : 1;
    const uint32_t rowBytes = byPlane ? layout.sampleBytes * d.columns : layout.rowBytes;
    for (uint32_t p = 0; p < planes; ++p) {
        uint8_t* plane = raw + static_cast<size_t>(p) * rowBytes * d.rows;
        for (uint32_t r = 0; r < d.rows / 2; ++r)
            std::swap_ranges(plane + static_cast<size_t>(r) * rowBytes,
                plane + static_cast<size_t>(r + 1) * rowBytes,
                plane + static_cast<size_t>(d.rows - 1 - r) * rowBytes);
    }
    Reconvert();
    return SUCCESS;
}

DibView DisplayBitmap::View() const
{
    if (!HasBitmap())
        return {};
    return DibView { m_bits.data(), m_bitmapWidth, m_bitmapHeight, m_bitCount, m_stride,
        m_bitCount == 8 ? m_colourTable.data() : nullptr };
}

ResultCode DisplayBitmap::Paint(PaintTarget* target, const PixelRect* destination, PaintMode mode) const
{
    if (target == nullptr || destination == nullptr || m_description == nullptr || !HasBitmap())
        return ERROR_GENERAL_FAILURE;
    const DibView view = View();
    const PixelRect& rect = *destination;
    bool ok;
    if (mode == PaintMode::Full) {
        ok = target->StretchBlit(view, PixelRect { 0, 0, m_bitmapWidth, m_bitmapHeight }, rect, rect);
    } else {
        const float sx = static_cast<float>(rect.Width()) / static_cast<float>(m_bitmapWidth);
        const float sy = static_cast<float>(rect.Height()) / static_cast<float>(m_bitmapHeight);
        const int32_t top = rect.top + static_cast<int32_t>(static_cast<float>(m_rowsBefore) * sy);
        const int32_t height = static_cast<int32_t>(sy * static_cast<float>(m_rowsAfter))
            - static_cast<int32_t>(sy * static_cast<float>(m_rowsBefore));
        const int32_t width = static_cast<int32_t>(sx * static_cast<float>(m_bitmapWidth));
        const PixelRect source { 0, static_cast<int32_t>(m_rowsBefore), m_bitmapWidth,
            static_cast<int32_t>(m_rowsAfter) };
        ok = target->StretchBlit(
            view, source, PixelRect { rect.left, top, rect.left + width, top + height }, rect);
    }
    return ok ? SUCCESS : ERROR_GENERAL_FAILURE;
}

} // namespace velmora
