// CommandTable: every command of the viewer written once: its id, the function it runs, its
// check state, its text and its key. The toolbar buttons, the context menus, the keyboard
// shortcuts and the F1 help window all read this one table, so every way of reaching a command
// stays in step.
//
// Adding a command is one Add call with one Command. A feature file adds its own commands from
// a function of its own (`void AddFooCommands(CommandTable&, ...)`), called once where the main
// dialog builds its table; the menus, keys and help pick the new entries up by themselves.
#pragma once

#include <QKeySequence>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace velmora {

// The context menus a command is listed in (flags, combined with |).
enum MenuPlaces : unsigned {
    NO_MENU = 0,
    IMAGE_MENU = 1, // right click on the image area, Menu key
    TREE_IMAGE_MENU = 2, // right click on an image item of the exam tree
    TREE_GROUP_MENU = 4, // right click on a patient, study or series item of the exam tree
};

// Where a command's items sit in a menu: groups in this order, a separator between them.
enum MenuGroup : int {
    BRANCH_GROUP = 5,
    TOOLS_GROUP = 10,
    READING_AIDS_GROUP = 20,
    FILE_GROUP = 30,
    HELP_GROUP = 40
};

struct Command {
    // A toolbar button's control id, or an id from 2000 up for a command without a button.
    int id = 0;
    // The text of its menu item and of its line in the help window.
    QString text;
    // Its shortcut; none when empty.
    QKeySequence key;
    // What the command does (for a toolbar command: what a click runs after the button toggled).
    std::function<void()> run;
    // Its check state as menus show it; empty for a command that is not checkable.
    std::function<bool()> checked;
    // The context menus that list it.
    unsigned menus = NO_MENU;
    // Where its menu item sits.
    int group = TOOLS_GROUP;
    // Whether it can act now; empty for a command that always can. Menus show an unavailable
    // command greyed out; its key does nothing.
    std::function<bool()> available = {};

    bool Available() const { return !available || available(); }
};

class CommandTable {
public:
    // Appends `command` (menus and help list commands in the order they were added); a command
    // of an id already present replaces it in place.
    void Add(Command command);
    const Command* Find(int id) const;
    // Runs command `id`; false when there is none.
    bool Run(int id) const;
    const std::vector<Command>& Entries() const { return m_entries; }
    // The commands listed in menu `place`, by group, in table order within a group.
    std::vector<const Command*> InMenu(MenuPlaces place) const;

    // One shortcut on `window` for each command with a key (window-wide, so it works whatever
    // control has the focus, except where a text box takes the typed key); `trigger` receives
    // the command's id, when the command is available. Call after every Add; the table must
    // outlive the shortcuts.
    void InstallKeys(QWidget* window, const std::function<void(int id)>& trigger) const;

private:
    std::vector<Command> m_entries;
};

} // namespace velmora
