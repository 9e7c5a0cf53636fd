#include "app/viewer_commands.h"

#include "app/command_table.h"
#include "app/context_menus.h"
#include "app/exam_tree.h"
#include "app/key_help_window.h"
#include "app/main_dialog.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"

#include <QFileInfo>

namespace velmora {

namespace {

// The measurement and annotation tools: one of them at most is on.
constexpr int kTools[] = { ID_RULER, ID_ANGLE, ID_ARROW, ID_TEXT, ID_SELECT };

constexpr unsigned kBothMenus = IMAGE_MENU | TREE_IMAGE_MENU;
constexpr unsigned kTreeMenus = TREE_IMAGE_MENU | TREE_GROUP_MENU;

void ToolsOff(MainDialog& d)
{
    for (int id : kTools)
        d.Release(id);
    d.Area().SetInteractionMode(InteractionMode::Off);
}

bool NoToolOn(const MainDialog& d)
{
    for (int id : kTools) {
        if (d.Checked(id))
            return false;
    }
    return true;
}

// The image whose folder Open containing folder shows: the selected image, or the first image
// of the selected patient, study or series; null when there is none.
const ImageItemRecord* FirstImageRecord(const MainDialog& d)
{
    const ExamModel& model = d.Tree()->Model();
    return model.Record(model.FirstImage(d.Tree()->Selected()));
}

// A branch of files without pixels has no image, and a folder removed since the scan is no
// place to show.
bool CanOpenContainingFolder(const MainDialog& d)
{
    const ImageItemRecord* record = FirstImageRecord(d);
    return record && !record->path.empty() && ContainingFolderExists(record->path);
}

// The file manager on the folder of the selected image's file (of a patient, study or series:
// of its first image's); a message when none starts (no desktop, no xdg-open), where a click
// would otherwise do nothing at all.
void OpenContainingFolder(MainDialog& d)
{
    const ImageItemRecord* record = FirstImageRecord(d);
    if (!record || record->path.empty() || CurrentDialogs().ShowFolder(ContainingFolderUrl(record->path)))
        return;
    const QString folder = QFileInfo(ShownPath(record->path)).absolutePath();
    CurrentDialogs().Message(&d, "Open containing folder",
        QString("No file manager could be started to show %1.").arg(folder), MessageIcon::Warning);
}

// Save Image writes the selected image's file: without one, or once it was removed since the
// scan, it would ask for a name and write nothing.
bool ImageFileSelected(const MainDialog& d)
{
    const ImageItemRecord* record = d.Tree()->Model().Record(d.Tree()->Selected());
    return record && RegularFileExists(record->path);
}

} // namespace

void AddViewerCommands(CommandTable& table, MainDialog& d)
{
    const auto checkedButton = [&d](int id) { return [&d, id] { return d.Checked(id); }; };

    // The tools of the context menus.
    table.Add({ ID_RULER, "Ruler", Qt::Key_R, [&d] { d.ChooseTool(ID_RULER); }, checkedButton(ID_RULER),
        kBothMenus, TOOLS_GROUP });
    table.Add({ ID_ANGLE, "Angle", Qt::Key_A, [&d] { d.ChooseTool(ID_ANGLE); }, checkedButton(ID_ANGLE),
        kBothMenus, TOOLS_GROUP });
    table.Add({ ID_ARROW, "Arrow", Qt::Key_P, [&d] { d.ChooseTool(ID_ARROW); }, checkedButton(ID_ARROW),
        kBothMenus, TOOLS_GROUP });
    table.Add({ ID_TEXT, "Text...", Qt::Key_T, [&d] { d.TextTool(); }, checkedButton(ID_TEXT), kBothMenus,
        TOOLS_GROUP });
    table.Add({ ID_SELECT, "Select", Qt::Key_S, [&d] { d.ChooseTool(ID_SELECT); }, checkedButton(ID_SELECT),
        kBothMenus, TOOLS_GROUP });
    table.Add({ ID_TOOLS_OFF, "Tools off", Qt::Key_N, [&d] { ToolsOff(d); }, [&d] { return NoToolOn(d); },
        kBothMenus, TOOLS_GROUP });
    table.Add({ ID_SAVE_IMAGE, "Save Image...", QKeySequence(Qt::CTRL | Qt::Key_S), [&d] { d.SaveImage(); },
        {}, kBothMenus, FILE_GROUP, [&d] { return ImageFileSelected(d); } });
    table.Add({ ID_OPEN_CONTAINING_FOLDER, "Open containing folder",
        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O), [&d] { OpenContainingFolder(d); }, {}, kTreeMenus,
        FILE_GROUP, [&d] { return CanOpenContainingFolder(d); } });
    table.Add({ ID_EXPAND_BRANCH, "Expand all", {}, [&d] { d.Tree()->ExpandBranch(d.Tree()->Selected()); },
        {}, TREE_GROUP_MENU, BRANCH_GROUP });
    table.Add({ ID_COLLAPSE_BRANCH, "Collapse all", {},
        [&d] { d.Tree()->CollapseBranch(d.Tree()->Selected()); }, {}, TREE_GROUP_MENU, BRANCH_GROUP });
    table.Add({ ID_KEY_HELP, "Keyboard shortcuts...", Qt::Key_F1,
        [&d] { KeyHelpWindow::ShowFor(d.Commands(), &d); }, {}, kBothMenus | TREE_GROUP_MENU, HELP_GROUP });
    table.Add({ ID_CONTEXT_MENU, "Context menu", Qt::Key_Menu, [&d] { d.Menus().OpenForKeyboard(); }, {},
        NO_MENU, HELP_GROUP });

    // The toolbar: in no menu.
    const auto toolbar = [&table](int id, const char* text, QKeySequence key, std::function<void()> run) {
        table.Add({ id, text, key, std::move(run), {}, NO_MENU, TOOLS_GROUP });
    };
    toolbar(ID_LOAD, "Load file", QKeySequence(Qt::CTRL | Qt::Key_O), [&d] { d.LoadFile(); });
    toolbar(ID_BROWSE, "Browse for folder", QKeySequence(Qt::CTRL | Qt::Key_B), [&d] { d.Browse(); });
    toolbar(ID_WINDOW_LEVEL, "Window level", Qt::Key_L, [&d] { d.WindowLevel(); });
    toolbar(ID_INVERT, "Invert", Qt::Key_I, [&d] { d.InvertImages(); });
    toolbar(ID_ZOOM_IN, "Zoom in", Qt::Key_Plus, [&d] { d.ZoomIn(); });
    toolbar(ID_ZOOM_OUT, "Zoom out", Qt::Key_Minus, [&d] { d.ZoomOut(); });
    toolbar(ID_REFLECT_X, "Mirror (left-right)", Qt::Key_M, [&d] { d.Mirror(); });
    toolbar(ID_REFLECT_Y, "Flip (top-bottom)", Qt::Key_F, [&d] { d.Flip(); });
    toolbar(ID_CINE, "Cine play/stop", Qt::Key_C, [&d] { d.CinePlayStop(); });
    toolbar(ID_RESET, "Reset to original", Qt::Key_0, [&d] { d.Reset(); });
    toolbar(ID_TILE1, "1-up view", Qt::Key_1, [&d] { d.OneUp(); });
    toolbar(ID_TILE4, "4-up view", Qt::Key_4, [&d] { d.FourUp(); });
    toolbar(ID_PREVIOUS, "Previous image", Qt::Key_PageUp, [&d] { d.Previous(); });
    toolbar(ID_NEXT, "Next image", Qt::Key_PageDown, [&d] { d.Next(); });
    toolbar(ID_LOAD_ALL, "Step through the entire list", Qt::Key_E, [&d] { d.ToggleWholeList(); });
    toolbar(ID_OK, "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), [&d] { d.accept(); });
}

} // namespace velmora
