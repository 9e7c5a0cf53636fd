// DrawContext: drawing into a window's framebuffer, the few device-context operations the tiles
// and the annotation canvas need: fills, copies to and from bitmaps, nearest-neighbour stretching
// of display bitmaps (it is the PaintTarget DisplayBitmap::Paint draws through), one-pixel lines
// with a copy pen or an inverting pen, and text in a named font at a pixel height.
// A context refers to the framebuffer object of its window and stays valid for the window's
// lifetime, across resizes. Sits in the platform layer, on Qt.
#pragma once

#include "imaging/paint_target.h"

#include <QImage>
#include <QRgb>
#include <QSize>
#include <QString>

namespace velmora {

// How a line combines with the pixels under it: Copy paints the pen colour; Not inverts the
// destination (drawing the same line twice restores the pixels exactly).
enum class PenMode { Copy, Not };

// A font asked for by face name (fontconfig substitutes a missing face) at a pixel size.
struct TextFont {
    QString face; // empty: the application's default face
    int height = 12; // character cell height in pixels
    int averageWidth = 0; // average character width in pixels; 0 keeps the face's own
    int weight = 400; // 400 normal, 700 bold
};

class DrawContext : public PaintTarget {
public:
    explicit DrawContext(QImage& target)
        : m_target(&target)
    {
    }

    QImage& Target() const { return *m_target; }
    int Width() const { return m_target->width(); }
    int Height() const { return m_target->height(); }
    PixelRect Bounds() const { return { 0, 0, Width(), Height() }; }

    // Fills the part of `rect` inside the framebuffer.
    void Fill(const PixelRect& rect, QRgb colour);

    // A new bitmap with the pixels under `rect` (a copy-out blit); pixels outside the framebuffer
    // come out black. An empty rectangle gives a null image.
    QImage CopyOut(const PixelRect& rect) const;
    // Copies `bitmap` 1:1 with its top-left at (x, y), clipped to the framebuffer.
    void CopyIn(const QImage& bitmap, int x, int y);

    // PaintTarget: nearest-neighbour stretch of a display bitmap, clipped to `clip` and the
    // framebuffer.
    bool StretchBlit(const DibView& source, const PixelRect& sourceRect, const PixelRect& destination,
        const PixelRect& clip) override;

    // A picture scaled smoothly into `destination`, clipped to the framebuffer.
    void DrawPicture(const QImage& picture, const PixelRect& destination);

    // A one-pixel line from (x0, y0) towards (x1, y1); the last point is not drawn, so lines
    // joined end to start touch every pixel once (which an inverting pen needs).
    void Line(int x0, int y0, int x1, int y1, QRgb colour, PenMode mode);

    // The size of `text` in `font`: its advance width and the requested cell height.
    QSize MeasureText(const QString& text, const TextFont& font) const;
    // Draws one line of `text` with its cell's top-left at (x, y), transparent background.
    void Text(int x, int y, const QString& text, const TextFont& font, QRgb colour);

private:
    QImage* m_target;
};

} // namespace velmora
