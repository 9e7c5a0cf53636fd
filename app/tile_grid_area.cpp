// The tile grid behind MainDialog's ImageArea interface.
#include "app/image_area.h"

#include <QPalette>
#include <QWidget>

#include <array>

namespace velmora {

namespace {

// Stand-in used while the tile grid is not in the tree: black tiles laid out as the grid lays
// them out, showing nothing.
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
    void ShowImages(const FourSlots&) override { }
    void ShowPictures(const FourPaths&) override { }
    void SetMirror(bool) override { }
    void SetFlip(bool) override { }
    void SetInvert(bool) override { }
    void ApplyMirror() override { }
    void ApplyFlip() override { }
    void ApplyInvert() override { }
    void SetZoom(double) override { }
    void ToggleWindowLevel() override { }
    void SetInteractionMode(InteractionMode) override { }
    void ChooseAnnotation(AnnotationKind) override { }
    void ChooseText(const std::string&) override { }
    bool TileHoldsImage(int) const override { return false; }
    QWidget* Tile(int index) const override { return index >= 0 && index < 4 ? m_tiles[static_cast<size_t>(index)] : nullptr; }

private:
    QWidget* MakeTile()
    {
        auto* tile = new QWidget(m_parent);
        tile->setAutoFillBackground(true);
        tile->setPalette(QPalette(Qt::white, Qt::black));
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

    QWidget* m_parent = nullptr;
    std::array<QWidget*, 4> m_tiles {};
    int m_mode = 1;
    int m_x = 0, m_y = 50, m_width = 743, m_height = 589;
};

} // namespace

std::unique_ptr<ImageArea> MakeTileGridArea(ZoomHost&)
{
    return std::make_unique<BlackTiles>();
}

} // namespace velmora
