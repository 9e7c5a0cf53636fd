#include "app/context_menus.h"

#include "app/exam_tree.h"
#include "app/main_dialog.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>

namespace velmora {

ContextMenus::ContextMenus(MainDialog& dialog)
    : m_dialog(dialog)
{
    qApp->installEventFilter(this);
    ExamTree* tree = m_dialog.Tree();
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, &ContextMenus::OpenTreeMenu);
}

ContextMenus::~ContextMenus()
{
    qApp->removeEventFilter(this);
    delete m_open.data();
}

QMenu* ContextMenus::OpenMenu() const
{
    return m_open.data();
}

QMenu* ContextMenus::Open(MenuPlaces place, QPoint at)
{
    delete m_open.data();
    auto* menu = new QMenu(&m_dialog);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<QWidget> tile = place == IMAGE_MENU ? TileAt(at) : nullptr;
    int group = 0;
    // The commands judge whether they can act on the menu's tile.
    m_actingTile = tile;
    for (const Command* command : m_dialog.Commands().InMenu(place)) {
        if (group != 0 && command->group != group)
            menu->addSeparator();
        group = command->group;
        QString text = command->text;
        // The key shows in the menu's shortcut column; it is no second shortcut.
        if (!command->key.isEmpty())
            text += '\t' + command->key.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(text);
        if (command->checked) {
            action->setCheckable(true);
            action->setChecked(command->checked());
        }
        action->setEnabled(command->Available());
        connect(action, &QAction::triggered, &m_dialog, [this, tile, id = command->id] {
            m_actingTile = tile;
            m_dialog.TriggerCommand(id);
            m_actingTile = nullptr;
        });
    }
    m_actingTile = nullptr;
    m_open = menu;
    menu->popup(at);
    return menu;
}

void ContextMenus::OpenForKeyboard()
{
    ExamTree* tree = m_dialog.Tree();
    if (tree->hasFocus()) {
        if (QTreeWidgetItem* current = tree->currentItem())
            OpenTreeMenu(tree->visualItemRect(current).center());
        return;
    }
    // The tile the keys act on: the one under the pointer, at the pointer as a right click
    // there opens it; else tile 0, which shows the selected image.
    if (TileUnderPointer(m_dialog.Area()) != nullptr)
        Open(IMAGE_MENU, QCursor::pos());
    else if (QWidget* tile = m_dialog.Area().Tile(0))
        Open(IMAGE_MENU, tile->mapToGlobal(tile->rect().center()));
}

void ContextMenus::OpenTreeMenu(QPoint inViewport)
{
    ExamTree* tree = m_dialog.Tree();
    const ExamItem item = tree->ItemOf(tree->itemAt(inViewport));
    if (!item)
        return;
    tree->Select(item);
    Open(tree->Model().Record(item) ? TREE_IMAGE_MENU : TREE_GROUP_MENU,
        tree->viewport()->mapToGlobal(inViewport));
}

bool ContextMenus::IsTile(QObject* watched) const
{
    for (int k = 0; k < 4; ++k) {
        if (watched && watched == m_dialog.Area().Tile(k))
            return true;
    }
    return false;
}

QWidget* ContextMenus::TileAt(QPoint global) const
{
    for (int k = 0; k < 4; ++k) {
        QWidget* tile = m_dialog.Area().Tile(k);
        if (tile && tile->rect().contains(tile->mapFromGlobal(global)))
            return tile;
    }
    return nullptr;
}

bool ContextMenus::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    if (!IsTile(watched))
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
        m_pressedTile = watched;
        m_pressedAt = at;
        m_moved = false;
    } else if (type == QEvent::MouseMove && watched == m_pressedTile) {
        // Any move pans the image, so the press is a drag, not a click.
        m_moved = m_moved || at != m_pressedAt;
    } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton
        && watched == m_pressedTile) {
        m_pressedTile = nullptr;
        if (!m_moved && at == m_pressedAt) {
            // After the tile has seen its release (and ended its pan).
            const QPoint global = mouse->globalPosition().toPoint();
            QMetaObject::invokeMethod(
                this, [this, global] { Open(IMAGE_MENU, global); }, Qt::QueuedConnection);
        }
    }
    return false;
}

} // namespace velmora
