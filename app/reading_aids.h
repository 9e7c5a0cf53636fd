// ReadingAids: the reading aids of the image area and their keys: the corner overlay (O), the
// file's own window (F2), the frame's range (F3), the Hounsfield presets (F4 to F8), the tags
// window (Ctrl+D), copy (Ctrl+C) and PNG export (Ctrl+E) of the current tile's image as shown.
// AddReadingAidCommands puts them in the command table, from which keys and menus reach them.
#pragma once

#include "imaging/window_presets.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

class QWidget;

namespace velmora {

class CommandTable;
class ExamTree;
class ImageArea;
class TagsWindow;
class TileWindow;

class ReadingAids : public QObject {
    Q_OBJECT
public:
    // A child of `owner`, as the tags window it opens. `pointedTile`, when set, names a tile the
    // image commands act on whatever the mouse is over (a context menu's tile); null: none.
    ReadingAids(QWidget& owner, ImageArea& area, ExamTree& tree, std::function<QWidget*()> pointedTile = {});

    void ToggleOverlay();
    // F2, F3 and F4..F8 (preset 0..4). A preset does nothing unless a live tile shows an image
    // whose rescale gives Hounsfield units.
    void ChooseWindow(WindowChoice choice);
    // Opens (or raises) the tags window on the pointed tile's file, else on the selected image's.
    void ShowTags();
    void CopyImage();
    // Asks for a file name through the save dialog and writes the image there as PNG; false when
    // cancelled, without an image, or when writing failed (then a message says so).
    bool ExportImage();

    // The tile the image commands act on: the pointed tile when there is one, else the live tile
    // under the mouse, else tile 0; null when it shows nothing.
    TileWindow* CurrentTile() const;
    // Whether the commands can act now: a live tile shows an image with a rescale to Hounsfield
    // units (the presets); the current tile holds a picture (copy, export); there is a file for
    // the tags window to list, and it is still there.
    bool PresetsApply() const;
    bool HasImage() const;
    bool HasTagsFile() const;
    TagsWindow* Tags() const;
    // The last window chosen (the file's own at start).
    WindowChoice Window() const { return m_window; }

private:
    void FollowSelection();
    // The file the tags window lists: the pointed tile's, else the selected image's; empty when
    // there is none.
    std::string TagsFile() const;

    QWidget& m_owner;
    ImageArea& m_area;
    ExamTree& m_tree;
    std::function<QWidget*()> m_pointedTile;
    QPointer<TagsWindow> m_tags;
    WindowChoice m_window;
};

// Ids of the reading aids' commands.
enum ReadingAidIdentifier : int {
    ID_OVERLAY = 2100,
    ID_FILE_WINDOW = 2101,
    ID_FRAME_RANGE_WINDOW = 2102,
    ID_FIRST_PRESET = 2103, // one id per preset, in the presets' order
    ID_TAGS = 2110,
    ID_COPY_IMAGE = 2111,
    ID_EXPORT_IMAGE = 2112,
};

// Adds the reading aids' commands to `table` (image menu; the tags window on tree items too).
void AddReadingAidCommands(CommandTable& table, ReadingAids& aids);

} // namespace velmora
