// Drawing into a framebuffer: fills, copies, stretches, lines and text.
#include "platform/draw_context.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

PixelRect Intersect(const PixelRect& a, const PixelRect& b)
{
    return { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
        std::min(a.bottom, b.bottom) };
}

int CellHeight(const TextFont& request)
{
    return std::max(1, request.height);
}

// The font is asked for by its character cell height (ascent plus descent, as a positive
// LOGFONT height asks): the largest pixel size whose cell fits the requested height. Asking
// for the pixel size itself would give a cell a few pixels taller.
QFont MakeFont(const TextFont& request)
{
    QFont font;
    if (!request.face.isEmpty())
        font.setFamily(request.face);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(request.weight, 1, 1000)));
    const int cell = CellHeight(request);
    int size = cell;
    font.setPixelSize(size);
    while (size > 1 && QFontMetrics(font).height() > cell)
        font.setPixelSize(--size);
    if (request.averageWidth > 0) {
        const int natural = QFontMetrics(font).averageCharWidth();
        if (natural > 0)
            font.setStretch(std::clamp(request.averageWidth * 100 / natural, 1, 4000));
    }
    return font;
}

} // namespace

void DrawContext::Fill(const PixelRect& rect, QRgb colour)
{
    const PixelRect r = Intersect(rect, Bounds());
    if (r.Width() <= 0 || r.Height() <= 0)
        return;
    const uint32_t value = 0xFF000000u | colour;
    for (int y = r.top; y < r.bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(m_target->scanLine(y));
        std::fill(row + r.left, row + r.right, value);
    }
}

QImage DrawContext::CopyOut(const PixelRect& rect) const
{
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return {};
    QImage bitmap(rect.Width(), rect.Height(), QImage::Format_RGB32);
    if (bitmap.isNull())
        return {};
    bitmap.fill(Qt::black);
    const PixelRect r = Intersect(rect, Bounds());
    for (int y = r.top; y < r.bottom; ++y) {
        const auto* from = reinterpret_cast<const uint32_t*>(m_target->constScanLine(y)) + r.left;
        auto* to = reinterpret_cast<uint32_t*>(bitmap.scanLine(y - rect.top)) + (r.left - rect.left);
        if (r.Width() > 0)
            std::memcpy(to, from, static_cast<size_t>(r.Width()) * 4);
    }
    return bitmap;
}

void DrawContext::CopyIn(const QImage& bitmap, int x, int y)
{
    if (bitmap.isNull())
        return;
    const QImage source = bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
        ? bitmap
        : bitmap.convertToFormat(QImage::Format_RGB32);
    const PixelRect r = Intersect({ x, y, x + source.width(), y + source.height() }, Bounds());
    for (int row = r.top; row < r.bottom; ++row) {
        const auto* from = reinterpret_cast<const uint32_t*>(source.constScanLine(row - y)) + (r.left - x);
        auto* to = reinterpret_cast<uint32_t*>(m_target->scanLine(row)) + r.left;
        for (int k = 0; k < r.Width(); ++k)
            to[k] = 0xFF000000u | from[k];
    }
}

bool DrawContext::StretchBlit(
    const DibView& source, const PixelRect& sourceRect, const PixelRect& destination, const PixelRect& clip)
{
    if (m_target->isNull() || source.bits == nullptr)
        return false;
    if (sourceRect.Width() <= 0 || sourceRect.Height() <= 0 || destination.Width() <= 0
        || destination.Height() <= 0)
        return true;
    if (sourceRect.left < 0 || sourceRect.top < 0 || sourceRect.right > source.width
        || sourceRect.bottom > source.height || (source.bitCount != 8 && source.bitCount != 24)
        || (source.bitCount == 8 && source.colourTable == nullptr))
        return false;
    const PixelRect r = Intersect(Intersect(clip, destination), Bounds());
    if (r.Width() <= 0 || r.Height() <= 0)
        return true;
    // The same nearest-neighbour rule as StretchBlitToArgb, with the source column of every
    // destination column and the 8-bit palette worked out once per blit instead of per pixel.
    const int64_t sw = sourceRect.Width(), sh = sourceRect.Height();
    const int64_t dw = destination.Width(), dh = destination.Height();
    std::vector<int32_t> columns(static_cast<size_t>(r.Width()));
    for (int32_t x = r.left; x < r.right; ++x)
        columns[static_cast<size_t>(x - r.left)]
            = static_cast<int32_t>(sourceRect.left + ((2 * (x - destination.left) + 1) * sw) / (2 * dw));
    uint32_t palette[256];
    if (source.bitCount == 8) {
        for (int i = 0; i < 256; ++i) {
            const uint8_t* bgr = source.colourTable + 4 * i;
            palette[i] = 0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
        }
    }
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const int64_t sy = sourceRect.top + ((2 * (y - destination.top) + 1) * sh) / (2 * dh);
        const uint8_t* row = source.bits + static_cast<size_t>(sy) * source.stride;
        uint32_t* out = reinterpret_cast<uint32_t*>(m_target->scanLine(y)) + r.left;
        if (source.bitCount == 8) {
            for (size_t k = 0; k < columns.size(); ++k)
                out[k] = palette[row[columns[k]]];
        } else {
            for (size_t k = 0; k < columns.size(); ++k) {
                const uint8_t* bgr = row + 3 * static_cast<size_t>(columns[k]);
                out[k] = 0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
            }
        }
    }
    return true;
}

void DrawContext::DrawPicture(const QImage& picture, const PixelRect& destination)
{
    if (picture.isNull() || m_target->isNull() || destination.Width() <= 0 || destination.Height() <= 0)
        return;
    QPainter painter(m_target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(
        QRect(destination.left, destination.top, destination.Width(), destination.Height()), picture);
}

void DrawContext::Line(int x0, int y0, int x1, int y1, QRgb colour, PenMode mode)
{
    const int w = Width(), h = Height();
    const uint32_t value = 0xFF000000u | colour;
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    // Bresenham from the first point up to, not including, the last.
    while (x0 != x1 || y0 != y1) {
        if (x0 >= 0 && y0 >= 0 && x0 < w && y0 < h) {
            uint32_t& pixel = reinterpret_cast<uint32_t*>(m_target->scanLine(y0))[x0];
            pixel = mode == PenMode::Copy ? value : (0xFF000000u | ~pixel);
        }
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

QSize DrawContext::MeasureText(const QString& text, const TextFont& font) const
{
    const QFontMetrics metrics(MakeFont(font));
    return { metrics.horizontalAdvance(text), CellHeight(font) };
}

void DrawContext::Text(int x, int y, const QString& text, const TextFont& font, QRgb colour)
{
    if (m_target->isNull() || text.isEmpty())
        return;
    const QFont qfont = MakeFont(font);
    const QFontMetrics metrics(qfont);
    QPainter painter(m_target);
    painter.setFont(qfont);
    painter.setPen(QColor::fromRgb(colour));
    const QRect box(x, y, metrics.horizontalAdvance(text), CellHeight(font));
    painter.setClipRect(box);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

} // namespace velmora
