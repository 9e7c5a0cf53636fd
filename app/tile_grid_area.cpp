// The tile grid behind MainDialog's ImageArea interface.
#include "app/image_area.h"
#include "imaging/frame_loader.h"
#include "imaging/paint_target.h"

#include <QPainter>
#include <QPalette>
#include <QWidget>
#include <array>
#include <cmath>

namespace velmora {

namespace {

// A plain tile: loads one frame through the imaging layer's FrameLoader and paints it centred at
// the dialog's zoom, nearest-neighbour, on black.
class PlainTile : public QWidget {
public:
    explicit PlainTile(QWidget* parent)
        : QWidget(parent)
    {
        setAutoFillBackground(true);
        setPalette(QPalette(Qt::white, Qt::black));
    }
    bool Show(const TileSlot& slot, const DisplayFlags& flags)
    {
        m_slot = slot;
        m_flags = flags;
        m_shown = false;
        if (!slot.path.empty() && slot.frame > 0) {
            ImageSource source;
            ImageDescription description;
            m_shown = LoadFrame(
                          slot.path, static_cast<uint32_t>(slot.frame), flags, source, description, m_bitmap)
                == FrameLoadResult::Shown;
        }
        update();
        return m_shown;
    }
    void Reload(const DisplayFlags& flags)
    {
        if (m_shown)
            Show(m_slot, flags);
    }
    void SetZoom(double zoom)
    {
        m_zoom = zoom;
        update();
    }
    bool Shown() const { return m_shown; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage frame(size(), QImage::Format_RGB32);
        frame.fill(Qt::black);
        if (m_shown && m_bitmap.Width() > 0 && m_bitmap.Height() > 0) {
            const int w = static_cast<int>(m_bitmap.Width() * m_zoom),
                      h = static_cast<int>(m_bitmap.Height() * m_zoom);
            const PixelRect destination { (width() - w) / 2, (height() - h) / 2, (width() - w) / 2 + w,
                (height() - h) / 2 + h };
            DibView view;
            view.bits = m_bitmap.Bits().data();
            view.width = m_bitmap.Width();
            view.height = m_bitmap.Height();
            view.bitCount = m_bitmap.BitCount();
            view.stride = m_bitmap.Stride();
            view.colourTable = view.bitCount == 8 ? m_bitmap.ColourTable().data() : nullptr;
            StretchBlitToArgb(reinterpret_cast<uint32_t*>(frame.bits()), frame.width(), frame.height(), view,
                PixelRect { 0, 0, view.width, view.height }, destination,
                PixelRect { 0, 0, width(), height() });
        }
        QPainter(this).drawImage(0, 0, frame);
    }

private:
    DisplayBitmap m_bitmap;
    TileSlot m_slot;
    DisplayFlags m_flags;
    double m_zoom = 1.0;
    bool m_shown = false;
};

// Stand-in used while the tile grid is not in the tree: plain tiles laid out as the grid lays
// them out.
class BlackTiles : public ImageArea {
public:
    void Create(QWidget* parent) override
    {
        m_parent = parent;
        m_tiles[0] = MakeTile();
        m_tiles[0]->setGeometry(m_x, m_y, m_width, m_height);
        m_tiles[0]->show();
    }
    void SetMode(int mode) override
    {
        if (mode == m_mode || (mode != 1 && mode != 4) || !m_parent)
            return;
        m_mode = mode;
        if (mode == 4) {
            for (size_t k = 1; k < 4; ++k)
                m_tiles[k] = MakeTile();
        } else {
            for (size_t k = 1; k < 4; ++k) {
                delete m_tiles[k];
                m_tiles[k] = nullptr;
            }
        }
        Place();
    }
    int Mode() const override { return m_mode; }
    void Resize(int right, int bottom) override
    {
        m_width = right - m_x;
        m_height = bottom - m_y;
        Place();
    }
    void ShowImages(const FourSlots& four) override
    {
        for (size_t k = 0; k < 4; ++k) {
            if (m_tiles[k])
                m_tiles[k]->Show(four[k], m_flags);
        }
        m_host.ShowZoomPercent(m_host.CurrentZoom());
        for (PlainTile* tile : m_tiles) {
            if (tile)
                tile->SetZoom(m_host.CurrentZoom());
        }
    }
    void ShowPictures(const FourPaths&) override { }
    void SetMirror(bool on) override { m_flags.reflectX = on; }
    void SetFlip(bool on) override { m_flags.reflectY = on; }
    void SetInvert(bool on) override { m_flags.invert = on; }
    void ApplyMirror() override { Reload(); }
    void ApplyFlip() override { Reload(); }
    void ApplyInvert() override { Reload(); }
    void SetZoom(double zoom) override
    {
        for (PlainTile* tile : m_tiles) {
            if (tile)
                tile->SetZoom(zoom);
        }
    }
    void ToggleWindowLevel() override { }
    void SetInteractionMode(InteractionMode) override { }
    void ChooseAnnotation(AnnotationKind) override { }
    void ChooseText(const std::string&) override { }
    bool TileHoldsImage(int index) const override
    {
        return index >= 0 && index < 4 && m_tiles[static_cast<size_t>(index)]
            && m_tiles[static_cast<size_t>(index)]->Shown();
    }
    explicit BlackTiles(ZoomHost& host)
        : m_host(host)
    {
    }
    QWidget* Tile(int index) const override
    {
        return index >= 0 && index < 4 ? m_tiles[static_cast<size_t>(index)] : nullptr;
    }

private:
    void Reload()
    {
        for (PlainTile* tile : m_tiles) {
            if (tile)
                tile->Reload(m_flags);
        }
    }
    PlainTile* MakeTile()
    {
        auto* tile = new PlainTile(m_parent);
        tile->SetZoom(m_host.CurrentZoom());
        tile->show();
        return tile;
    }
    void Place()
    {
        const int w = m_width, h = m_height;
        if (m_mode == 1) {
            if (m_tiles[0])
                m_tiles[0]->setGeometry(m_x, m_y, std::max(w, 0), std::max(h, 0));
            return;
        }
        const QRect rects[4] = { QRect(QPoint(m_x, m_y), QPoint(m_x + w / 2 - 1, m_y + h / 2 - 1)),
            QRect(QPoint(m_x + w / 2 + 1, m_y), QPoint(m_x + w, m_y + h / 2 - 1)),
            QRect(QPoint(m_x, m_y + h / 2 + 1), QPoint(m_x + w / 2 - 1, m_y + h)),
            QRect(QPoint(m_x + w / 2 + 1, m_y + h / 2 + 1), QPoint(m_x + w, m_y + h)) };
        for (size_t k = 0; k < 4; ++k) {
            if (m_tiles[k])
                m_tiles[k]->setGeometry(rects[k].normalized());
        }
    }

    ZoomHost& m_host;
    DisplayFlags m_flags;
    QWidget* m_parent = nullptr;
    std::array<PlainTile*, 4> m_tiles {};
    int m_mode = 1;
    int m_x = 0, m_y = 50, m_width = 743, m_height = 589;
};

} // namespace

std::unique_ptr<ImageArea> MakeTileGridArea(ZoomHost& host)
{
    return std::make_unique<BlackTiles>(host);
}

} // namespace velmora
