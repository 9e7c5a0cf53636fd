#include "app/key_help_window.h"

#include "app/command_table.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace velmora {

KeyHelpWindow::KeyHelpWindow(const CommandTable& commands, QWidget* parent)
    : QDialog(parent)
    , m_list(new QTreeWidget(this))
{
    setWindowTitle("Velmora - Keyboard Shortcuts");
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({ "Key", "Command" });
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    // Every command, those reached by menu or button only with an empty key column.
    for (const Command& command : commands.Entries()) {
        QString text = command.text;
        text.remove("...");
        m_list->addTopLevelItem(
            new QTreeWidgetItem(QStringList { command.key.toString(QKeySequence::NativeText), text }));
    }
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    // Wide enough for every line whole, with room for the scroll bar.
    const QMargins margins = layout->contentsMargins();
    const int listWidth = m_list->header()->length() + 2 * m_list->frameWidth()
        + m_list->verticalScrollBar()->sizeHint().width();
    resize(std::max(360, listWidth + margins.left() + margins.right()), 480);
}

KeyHelpWindow* KeyHelpWindow::ShowFor(const CommandTable& commands, QWidget* owner)
{
    auto* window = owner->findChild<KeyHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new KeyHelpWindow(commands, owner);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace velmora
