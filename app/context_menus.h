// ContextMenus: the context menus of the image area and of the exam tree's items, built from the
// command table each time they open, with the commands' check states; a command that cannot act
// now shows greyed out. The image area's opens on a right click that does not move (a right drag
// pans, as before) and by the Menu key; the tree's on a right click on an item, which it selects
// first: the image items' menu on an image, the group menu on a patient, study or series.
#pragma once

#include "app/command_table.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

class QMenu;

namespace velmora {

class MainDialog;

class ContextMenus : public QObject {
    Q_OBJECT
public:
    // Watches the dialog's tiles and tree from now on.
    explicit ContextMenus(MainDialog& dialog);
    ~ContextMenus() override;

    // Opens menu `place` at the global point `at` without waiting for it to close; each item
    // runs its command as a click on the command's button does.
    QMenu* Open(MenuPlaces place, QPoint at);
    // The Menu key: the tree's menu under its current item when the tree has the focus, else
    // the image area's menu for the tile the keys act on: at the pointer over the live tile under
    // it, else over the middle of the first tile.
    void OpenForKeyboard();
    // The menu open now, null when none.
    QMenu* OpenMenu() const;
    // While an item of the image area's menu runs, and while the menu asks its commands whether
    // they are available: the tile the menu was opened over (the menu has taken the mouse, so the
    // tile under it says nothing). Null at any other time.
    QWidget* ActingTile() const { return m_actingTile; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsTile(QObject* watched) const;
    QWidget* TileAt(QPoint global) const;
    void OpenTreeMenu(QPoint inViewport);

    MainDialog& m_dialog;
    QPointer<QMenu> m_open;
    QPointer<QWidget> m_actingTile;
    // The right press on a tile that may become a click: where, and whether the mouse moved.
    QPointer<QObject> m_pressedTile;
    QPoint m_pressedAt;
    bool m_moved = false;
};

} // namespace velmora
