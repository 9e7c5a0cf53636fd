// The viewer's own commands in the command table: every toolbar button's command, the tool
// choices of the context menus (Ruler, Angle, Arrow, Text, Select, Tools off), Save Image and
// Quit, Open containing folder, expanding and collapsing a branch of the exam tree, the context
// menu and the F1 help, with their texts and keys.
#pragma once

namespace velmora {

class CommandTable;
class MainDialog;

// Ids of the commands that have no button (buttons use their control id).
enum CommandIdentifier : int {
    ID_TOOLS_OFF = 2000,
    ID_OPEN_CONTAINING_FOLDER = 2001,
    ID_CONTEXT_MENU = 2002,
    ID_KEY_HELP = 2003,
    ID_EXPAND_BRANCH = 2004,
    ID_COLLAPSE_BRANCH = 2005,
};

void AddViewerCommands(CommandTable& table, MainDialog& dialog);

} // namespace velmora
