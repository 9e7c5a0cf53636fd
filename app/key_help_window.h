// KeyHelpWindow: the F1 window that lists every command of the command table, its key (blank
// for a command without one) and its text.
#pragma once

#include <QDialog>

class QTreeWidget;

namespace velmora {

class CommandTable;

class KeyHelpWindow : public QDialog {
    Q_OBJECT
public:
    KeyHelpWindow(const CommandTable& commands, QWidget* parent);
    QTreeWidget* List() const { return m_list; }

    // Shows the help window of `owner`, made on first use, in front.
    static KeyHelpWindow* ShowFor(const CommandTable& commands, QWidget* owner);

private:
    QTreeWidget* m_list = nullptr;
};

} // namespace velmora
