// TileGrid: MainDialog's image area. Owns the tile windows, lays them out 1-up or 4-up with
// 2-pixel gaps, and hands every viewing command to each live tile (tile 0 in 1-up; tiles 0, 1,
// 2, 3 in that order in 4-up). Pictures go into free tiles by its own placement rule. The first
// ruler chosen in 1-up arms the calibration prompt, once per run.
#pragma once

#include "app/image_area.h"
#include "canvas/tile_window.h"

#include <QPointer>
#include <array>

namespace velmora {

class TileGrid : public ImageArea {
public:
    explicit TileGrid(ZoomHost& host);
    ~TileGrid() override;
    TileGrid(const TileGrid&) = delete;
    TileGrid& operator=(const TileGrid&) = delete;

    void Create(QWidget* parent) override;
    void SetMode(int mode) override;
    int Mode() const override { return m_mode; }
    void Resize(int right, int bottom) override;

    void ShowImages(const FourSlots& four) override;
    void ShowPictures(const FourPaths& paths) override;

    void SetMirror(bool on) override { m_mirror = on; }
    void SetFlip(bool on) override { m_flip = on; }
    void SetInvert(bool on) override { m_invert = on; }
    void ApplyMirror() override;
    void ApplyFlip() override;
    void ApplyInvert() override;
    void SetZoom(double factor) override;
    // Each live tile re-reads its frame with the new window.
    void SetWindowChoice(WindowChoice choice) override;
    WindowChoice Window() const { return m_window; }
    void ToggleWindowLevel() override;
    void SetInteractionMode(InteractionMode mode) override;
    void ChooseAnnotation(AnnotationKind kind) override;
    void ChooseText(const std::string& text) override;

    bool TileHoldsImage(int index) const override;
    QWidget* Tile(int index) const override;

    // The tile window `index` (0..3), null when it does not exist.
    TileWindow* TileAt(int index) const;
    // Whether the last ShowImages load succeeded (the result of its last tile).
    bool LastShowResult() const { return m_lastShowResult; }
    bool RulerArmed() const { return m_rulerArmed; }
    QRect Area() const;

private:
    TileWindow* MakeTile();
    void Place(int index, int left, int top, int right, int bottom);
    template <typename Operation> void ForEachTile(Operation operation);

    ZoomHost& m_host;
    QWidget* m_parent = nullptr;
    std::array<QPointer<TileWindow>, 4> m_tiles {}; // children of the parent
    bool m_mirror = false;
    bool m_flip = false;
    bool m_invert = false;
    WindowChoice m_window;
    int m_mode = 1;
    int m_x = 0;
    int m_y = 50;
    int m_width = 743;
    int m_height = 589;
    bool m_rulerArmed = false;
    bool m_lastShowResult = false;
};

} // namespace velmora
