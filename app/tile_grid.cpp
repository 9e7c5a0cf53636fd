// TileGrid: layout of the tiles and the fan-out of the viewing commands.
#include "app/tile_grid.h"

#include <algorithm>

namespace velmora {

std::unique_ptr<ImageArea> MakeTileGridArea(ZoomHost& host)
{
    return std::make_unique<TileGrid>(host);
}

TileGrid::TileGrid(ZoomHost& host)
    : m_host(host)
{
}

TileGrid::~TileGrid()
{
    for (QPointer<TileWindow>& tile : m_tiles)
        delete tile.data();
}

TileWindow* TileGrid::MakeTile()
{
    ZoomLink zoom;
    zoom.current = [this] { return m_host.CurrentZoom(); };
    zoom.show = [this](double value) { m_host.ShowZoomPercent(value); };
    auto* tile = new TileWindow(m_parent, std::move(zoom));
    TileWindow::SetClassCursor(Qt::ArrowCursor);
    return tile;
}

// Places tile `index` at the rectangle [left, right) x [top, bottom); an empty or reversed
// rectangle (a dialog too small for the grid) gives a tile of no size.
void TileGrid::Place(int index, int left, int top, int right, int bottom)
{
    TileWindow* tile = m_tiles[static_cast<size_t>(index)];
    if (tile == nullptr)
        return;
    tile->setGeometry(left, top, std::max(0, right - left), std::max(0, bottom - top));
    tile->Invalidate(Erase::Yes);
    tile->show();
}

QRect TileGrid::Area() const
{
    return QRect(m_x, m_y, m_width, m_height);
}

void TileGrid::Create(QWidget* parent)
{
    if (m_parent != nullptr)
        return;
    m_parent = parent;
    m_tiles[0] = MakeTile();
    Place(0, m_x, m_y, m_x + m_width, m_y + m_height);
    m_mode = 1;
}

void TileGrid::SetMode(int mode)
{
    if (m_parent == nullptr || mode == m_mode)
        return;
    const int x = m_x, y = m_y, w = m_width, h = m_height;
    if (m_mode == 1 && mode == 4) {
        Place(0, x, y, x + w / 2 - 1, y + h / 2 - 1);
        for (size_t k = 1; k < 4; ++k)
            m_tiles[k] = MakeTile();
        Place(1, x + w / 2 + 1, y, x + w / 2 + 1 + w / 2 - 1, y + h / 2 - 1);
        Place(2, x, y + h / 2 + 1, x + w / 2 - 1, y + h / 2 + 1 + h / 2 - 1);
        Place(3, x + w / 2 + 1, y + h / 2 + 1, x + w / 2 + 1 + w / 2 - 1, y + h / 2 + 1 + h / 2 - 1);
        m_mode = 4;
    } else if (m_mode == 4 && mode == 1) {
        for (size_t k = 1; k < 4; ++k) {
            delete m_tiles[k];
            m_tiles[k] = nullptr;
        }
        Place(0, x, y, x + w, y + h);
        m_mode = 1;
    }
}

void TileGrid::Resize(int right, int bottom)
{
    m_width = right - m_x;
    m_height = bottom - m_y;
    const int x = m_x, y = m_y, w = m_width, h = m_height;
    if (m_mode == 1) {
        Place(0, x, y, right, bottom);
        return;
    }
    Place(0, x, y, x + w / 2 - 1, y + h / 2 - 1);
    Place(1, x + w / 2 + 1, y, x + w, y + h / 2 - 1);
    Place(2, x, y + h / 2 + 1, x + w / 2 - 1, y + h);
    Place(3, x + w / 2 + 1, y + h / 2 + 1, x + w, y + h);
}

template <typename Operation> void TileGrid::ForEachTile(Operation operation)
{
    const size_t count = m_mode == 4 ? 4 : 1;
    for (size_t k = 0; k < count; ++k) {
        if (m_tiles[k] != nullptr)
            operation(*m_tiles[k], k);
    }
}

void TileGrid::ShowImages(const FourSlots& four)
{
    ForEachTile([&](TileWindow& tile, size_t k) {
        tile.reflectX = m_mirror;
        tile.reflectY = m_flip;
        tile.invert = m_invert;
        tile.windowChoice = m_window;
        tile.imageIndex = four[k].index;
        tile.imageCount = four[k].count;
        m_lastShowResult = tile.ShowDicomImage(four[k].path, four[k].frame);
    });
}

void TileGrid::ShowPictures(const FourPaths& paths)
{
    const auto freeTile = [this](size_t k) { return m_tiles[k] != nullptr && !m_tiles[k]->ImageShown(); };
    const auto show
        = [this, &paths](size_t tile, size_t picture) { m_tiles[tile]->ShowPicture(paths[picture]); };
    if (m_tiles[0] == nullptr)
        return;
    if (m_mode == 1) {
        show(0, 0);
        return;
    }
    // A free tile 0 takes p0, and the placement in tiles 1 to 3 follows all the same, so p0 also
    // shows in the first free one of them.
    const bool tile0WasFree = freeTile(0);
    if (tile0WasFree)
        show(0, 0);
    if (freeTile(1)) {
        show(1, 0);
        if (freeTile(2) && !paths[1].empty())
            show(2, 1);
        if (freeTile(3) && !paths[2].empty())
            show(3, 2);
    } else if (freeTile(2)) {
        show(2, 0);
        if (freeTile(3) && !paths[1].empty())
            show(3, 1);
    } else if (freeTile(3)) {
        show(3, 0);
    } else if (!tile0WasFree) {
        show(0, 0);
    }
}

void TileGrid::ApplyMirror()
{
    ForEachTile([&](TileWindow& tile, size_t) {
        tile.reflectX = m_mirror;
        tile.ReflectX();
    });
}

void TileGrid::ApplyFlip()
{
    ForEachTile([&](TileWindow& tile, size_t) {
        tile.reflectY = m_flip;
        tile.ReflectY();
    });
}

void TileGrid::ApplyInvert()
{
    ForEachTile([&](TileWindow& tile, size_t) {
        tile.invert = m_invert;
        tile.Invert();
    });
}

void TileGrid::SetWindowChoice(WindowChoice choice)
{
    m_window = choice;
    ForEachTile([&](TileWindow& tile, size_t) {
        tile.windowChoice = choice;
        tile.ApplyWindow();
    });
}

void TileGrid::SetZoom(double factor)
{
    ForEachTile([&](TileWindow& tile, size_t) { tile.SetZoom(factor); });
}

void TileGrid::ToggleWindowLevel()
{
    ForEachTile([](TileWindow& tile, size_t) {
        tile.ToggleWindowLevelMode();
        tile.SetCanvasMode(CanvasMode::Off);
    });
}

void TileGrid::SetInteractionMode(InteractionMode mode)
{
    ForEachTile([&](TileWindow& tile, size_t) { tile.SetCanvasMode(static_cast<CanvasMode>(mode)); });
}

void TileGrid::ChooseAnnotation(AnnotationKind kind)
{
    if (m_mode == 1 && !m_rulerArmed && kind == AnnotationKind::Ruler && m_tiles[0] != nullptr) {
        m_tiles[0]->MarkCalibrationPending();
        m_rulerArmed = true;
    }
    ForEachTile([&](TileWindow& tile, size_t) { tile.SelectTool(static_cast<ToolKind>(kind)); });
}

void TileGrid::ChooseText(const std::string& text)
{
    ForEachTile([&](TileWindow& tile, size_t) { tile.StartText(text); });
}

bool TileGrid::TileHoldsImage(int index) const
{
    const TileWindow* tile = TileAt(index);
    return tile != nullptr && tile->ImageShown();
}

QWidget* TileGrid::Tile(int index) const
{
    return TileAt(index);
}

TileWindow* TileGrid::TileAt(int index) const
{
    return index >= 0 && index < 4 ? m_tiles[static_cast<size_t>(index)] : nullptr;
}

} // namespace velmora
