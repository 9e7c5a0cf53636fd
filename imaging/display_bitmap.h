// DisplayBitmap: turns the raw bytes of one frame into a top-down device-independent bitmap
// (8 bits with a 256-entry colour table, or 24-bit blue-green-red, rows padded to 4 bytes),
// converting complete rows as pieces arrive. Greyscale deeper than 8 bits is windowed to 8-bit
// grey; palette, RGB, YBR, CMYK and ARGB become colour. Offers the tile's viewing operations:
// brightness, contrast, invert, reflection. Paints through a PaintTarget, so it stays Qt-free.
// Reads and writes the ImageDescription it is attached to (raw buffer, pixel range cache).
#pragma once

#include "imaging/image_description.h"
#include "imaging/paint_target.h"
#include "toolkit/result_code.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

enum class Progressive { No, Yes };
enum class PaintMode { Progressive, Full };

// Largest bitmap DisplayBitmap creates (columns x rows); a larger frame is refused.
inline constexpr uint64_t MAX_BITMAP_PIXELS = 1ull << 28;

class DisplayBitmap {
public:
    DisplayBitmap() = default;
    DisplayBitmap(const DisplayBitmap&) = delete;
    DisplayBitmap& operator=(const DisplayBitmap&) = delete;

    // Resets counters and flags, drops the bitmap and backup, keeps `description` (borrowed; null
    // detaches) and computes the frame's sizes from it. Returns true.
    bool Attach(ImageDescription* description);

    // Starts a frame: drops earlier data and adjustments, creates the bitmap when progressive.
    // A non-zero `growthQuantum` replaces the raw buffer's growth step.
    ResultCode Begin(Progressive progressive, uint32_t growthQuantum);

    // Adds a piece of raw data (clamped to the rest of the frame) and, when progressive, converts
    // every row it completes. False for a null or empty piece, a piece after completion or past
    // the frame, and when the image has no conversion; the piece is then dropped.
    bool Append(const uint8_t* data, uint32_t length);
    bool Append(std::span<const uint8_t> piece)
    {
        return Append(piece.data(), static_cast<uint32_t>(piece.size()));
    }
    // Where the next `length` bytes of the frame go in the raw buffer (clamped to the rest of the
    // frame; empty when none can come), so that a reader can fill it in place; Append of that
    // memory then takes the piece without copying it.
    std::span<uint8_t> PieceRoom(uint32_t length);

    // No more data comes for this frame: rows it never reached are cleared to black.
    void MarkComplete();
    // Forgets the saved colour table and the 24-bit backup; both totals to 0.
    void ResetAdjustments();

    // Steps of -100..100 (mouse motion in pixels). Need a complete frame. Brightness adds
    // 255/1000 (8-bit) or 255/100 (24-bit) of a grey level per unit; contrast scales the
    // distance from mid-grey by (1 + total / 1000)^2. Totals back at 0 restore the original.
    ResultCode Brightness(int32_t step);
    ResultCode Contrast(int32_t step);
    // Replaces the attached description's window (centre and width in the modality's rescaled
    // units; the file's (0028,1050) / (0028,1051) until then) and, once the frame is whole,
    // converts it again from the raw frame with the adjustment totals. ERROR_GENERAL_FAILURE
    // without a description.
    ResultCode SetWindow(double center, double width);
    // Invert shows the negative (255 minus every shown value) until the next Invert or frame;
    // the reflections change the raw data. Each reconverts the whole frame and reapplies the
    // adjustment totals.
    ResultCode Invert();
    ResultCode ReflectX();
    ResultCode ReflectY();

    // Full: the whole bitmap stretched into `destination`. Progressive: only the band of rows
    // the last Append converted, at its place within `destination`. Clipped to `destination`.
    ResultCode Paint(PaintTarget* target, const PixelRect* destination, PaintMode mode) const;

    // The bitmap (empty view when none exists).
    DibView View() const;
    bool HasBitmap() const { return m_bitCount != 0; }
    int32_t Width() const { return m_bitmapWidth; }
    int32_t Height() const { return m_bitmapHeight; }
    int32_t BitCount() const { return m_bitCount; } // 8 or 24; 0 without a bitmap
    uint32_t Stride() const { return m_stride; }
    std::span<const uint8_t> Bits() const
    {
        return HasBitmap() ? std::span<const uint8_t>(m_bits) : std::span<const uint8_t>();
    }
    // 256 entries of blue, green, red, 0 (meaningful for 8-bit bitmaps).
    const std::array<uint8_t, 1024>& ColourTable() const { return m_colourTable; }

    uint32_t Received() const { return m_received; }
    uint32_t Converted() const { return m_converted; }
    uint32_t Total() const { return m_total; }
    bool Complete() const { return m_complete; }
    bool Inverted() const { return m_inverted; }
    uint32_t RowsBefore() const { return m_rowsBefore; }
    uint32_t RowsAfter() const { return m_rowsAfter; }
    uint32_t GrowthQuantum() const { return m_growthQuantum; }
    int32_t BrightnessTotal() const { return m_brightnessTotal; }
    int32_t ContrastTotal() const { return m_contrastTotal; }
    int32_t TableMinimum() const { return m_tableMinimum; }
    int32_t TableMaximum() const { return m_tableMaximum; }

private:
    bool CreateBitmap();
    void DeleteBitmap();
    void GrowRaw(uint64_t needed);
    void BlankRowsFrom(uint32_t row);
    uint32_t ConvertedRows() const;
    bool Convert(uint32_t length, std::array<uint8_t, 1024>& table);
    bool ConvertMonochrome(uint32_t length, std::array<uint8_t, 1024>& table);
    bool ConvertMonochromeTable(uint32_t length);
    bool ConvertMonochrome8(uint32_t length);
    bool ConvertMonochrome16(uint32_t length);
    bool ConvertMonochrome1(uint32_t length);
    bool ConvertMonochrome32(uint32_t length);
    bool ConvertMonochromeFloat(uint32_t length);
    bool ConvertPalette(uint32_t length, std::array<uint8_t, 1024>& table);
    bool ConvertPalette24(uint32_t length);
    bool ConvertRgb(uint32_t length);
    bool ConvertYbr(uint32_t length);
    bool ConvertYbr422(uint32_t length);
    bool ConvertCmykArgb(uint32_t length);
    bool ConvertGreyFirstSample(uint32_t length);
    ResultCode Adjust(int32_t contrastStep, int32_t brightnessStep);
    void ApplyTotals();
    void Reconvert();
    void Negate(std::array<uint8_t, 1024>& table);
    uint8_t* BitmapRow(uint32_t row) { return m_bits.data() + static_cast<size_t>(row) * m_stride; }
    bool Usable() const { return m_description != nullptr && m_complete; }
    // Invert and reflection rewrite the raw frame: it must be all there.
    bool RawComplete() const
    {
        return Usable() && m_total != 0 && m_received == m_total
            && m_description->pixelBuffer.size() >= m_total;
    }

    ImageDescription* m_description = nullptr;
    uint32_t m_received = 0;
    uint32_t m_converted = 0;
    bool m_progressive = false;
    bool m_complete = false;
    bool m_inverted = false; // shown as the negative
    uint32_t m_total = 0;
    int32_t m_tableMinimum = 0;
    int32_t m_tableMaximum = 0;
    uint32_t m_rowsBefore = 0;
    uint32_t m_rowsAfter = 0;
    uint32_t m_growthQuantum = 0;
    uint32_t m_sourceRowBytes = 0;
    uint32_t m_stride = 0;
    uint32_t m_planeBytes = 0;
    std::vector<uint8_t> m_savedColourTable; // 1,024 bytes between the first adjustment and a reset
    std::vector<uint8_t> m_backup; // 24-bit bitmap before the first adjustment
    int32_t m_brightnessTotal = 0;
    int32_t m_contrastTotal = 0;

    std::vector<uint8_t> m_paletteMap; // 24-bit palette images: blue, green, red per index
    bool m_paletteMapReady = false; // m_paletteMap is this frame's (cleared by Attach and Begin)
    std::vector<uint8_t> m_windowTable; // the 16-bit window look-up table, kept between frames
    // The bitmap's pixels, m_stride x rows. Kept when the bitmap is deleted: the next frame of the
    // same shape overwrites it in place (padding bytes stay zero, only pixels are written).
    std::vector<uint8_t> m_bits;
    uint32_t m_bitsRowBytes = 0; // pixel bytes per row of the shape m_bits was made for
    bool m_staleRows = false; // rows past m_rowsAfter still hold an earlier frame
    std::array<uint8_t, 1024> m_colourTable {};
    int32_t m_bitmapWidth = 0;
    int32_t m_bitmapHeight = 0;
    int32_t m_bitCount = 0;
};

} // namespace velmora
