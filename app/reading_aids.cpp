// ReadingAids: the reading-aid commands and their actions.
#include "app/reading_aids.h"

#include "app/command_table.h"
#include "app/exam_tree.h"
#include "app/image_area.h"
#include "app/tags_window.h"
#include "canvas/tile_window.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeySequence>
#include <QSaveFile>

namespace velmora {

ReadingAids::ReadingAids(
    QWidget& owner, ImageArea& area, ExamTree& tree, std::function<QWidget*()> pointedTile)
    : QObject(&owner)
    , m_owner(owner)
    , m_area(area)
    , m_tree(tree)
    , m_pointedTile(std::move(pointedTile))
{
    connect(&m_tree, &ExamTree::SelectionChanged, this, [this] { FollowSelection(); });
}

void ReadingAids::ToggleOverlay()
{
    TileWindow::SetOverlayShown(!TileWindow::OverlayShown());
}

void ReadingAids::ChooseWindow(WindowChoice choice)
{
    if (choice.mode == WindowMode::Preset && !PresetsApply())
        return;
    m_window = choice;
    m_area.SetWindowChoice(choice);
}

bool ReadingAids::PresetsApply() const
{
    for (int k = 0; k < m_area.Mode(); ++k) {
        const auto* tile = qobject_cast<TileWindow*>(m_area.Tile(k));
        if (tile != nullptr && tile->ImageShown() && tile->Hounsfield())
            return true;
    }
    return false;
}

bool ReadingAids::HasImage() const
{
    // What ImageAsShown would give, without drawing it: a picture that could not be read shows
    // black but holds nothing to take.
    const TileWindow* tile = CurrentTile();
    if (tile == nullptr)
        return false;
    return tile->Content() == TileContent::Picture ? !tile->Picture().isNull() : tile->Bitmap().HasBitmap();
}

bool ReadingAids::HasTagsFile() const
{
    // A file removed since the scan has no tags to list: the window would only say so.
    return RegularFileExists(TagsFile());
}

std::string ReadingAids::TagsFile() const
{
    // From a tile's menu: that tile's file (the selection shows in tile 0).
    const auto* pointed = m_pointedTile ? qobject_cast<TileWindow*>(m_pointedTile()) : nullptr;
    if (pointed != nullptr && !pointed->FramePath().empty())
        return pointed->FramePath();
    std::string path;
    m_tree.Model().GetPath(m_tree.Selected(), path);
    return path;
}

TileWindow* ReadingAids::CurrentTile() const
{
    if (QWidget* pointed = m_pointedTile ? m_pointedTile() : nullptr) {
        auto* tile = qobject_cast<TileWindow*>(pointed);
        return tile != nullptr && tile->ImageShown() ? tile : nullptr;
    }
    // The pointer over an empty tile takes nothing, as that tile's menu offers nothing to take.
    if (QWidget* under = TileUnderPointer(m_area)) {
        auto* tile = qobject_cast<TileWindow*>(under);
        return tile != nullptr && tile->ImageShown() ? tile : nullptr;
    }
    auto* first = qobject_cast<TileWindow*>(m_area.Tile(0));
    return first != nullptr && first->ImageShown() ? first : nullptr;
}

TagsWindow* ReadingAids::Tags() const
{
    return m_tags.data();
}

void ReadingAids::ShowTags()
{
    if (m_tags.isNull()) {
        m_tags = new TagsWindow(&m_owner);
        m_tags->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_tags->show();
    // Later selections are followed again.
    const std::string file = TagsFile();
    if (file != m_tags->File() || file.empty())
        m_tags->ShowFile(file);
    m_tags->raise();
    m_tags->activateWindow();
}

void ReadingAids::FollowSelection()
{
    // A closed window reads nothing (cine would parse every file twice); it catches up when
    // shown again.
    if (m_tags.isNull() || !m_tags->isVisible())
        return;
    // No image selected (a patient, study or series, or an emptied tree): nothing is listed, as
    // nothing is shown.
    std::string path;
    m_tree.Model().GetPath(m_tree.Selected(), path);
    if (path != m_tags->File() || path.empty())
        m_tags->ShowFile(path);
}

void ReadingAids::CopyImage()
{
    if (const TileWindow* tile = CurrentTile()) {
        const QImage image = tile->ImageAsShown();
        if (!image.isNull())
            QApplication::clipboard()->setImage(image);
    }
}

bool ReadingAids::ExportImage()
{
    const TileWindow* tile = CurrentTile();
    const QImage image = tile != nullptr ? tile->ImageAsShown() : QImage();
    if (image.isNull())
        return false;
    QString path = CurrentDialogs().SaveFile(&m_owner, tr("Export Image"), tr("PNG image (*.png)"));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    // Written beside the target and put in its place only when complete: a failed export
    // leaves an earlier file of that name as it was.
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    if (file.open(QIODevice::WriteOnly) && writer.write(image) && file.commit())
        return true;
    const QString reason
        = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
    CurrentDialogs().Message(&m_owner, tr("Export Image"),
        tr("The image could not be written to %1: %2").arg(path, reason), MessageIcon::Warning);
    return false;
}

void AddReadingAidCommands(CommandTable& table, ReadingAids& aids)
{
    const auto window = [&aids](WindowChoice choice) {
        return Command { 0, {}, {}, [&aids, choice] { aids.ChooseWindow(choice); },
            [&aids, choice] { return aids.Window() == choice; }, IMAGE_MENU, READING_AIDS_GROUP };
    };
    const auto hasImage = [&aids] { return aids.HasImage(); };
    table.Add({ ID_OVERLAY, "Overlay text", Qt::Key_O, [&aids] { aids.ToggleOverlay(); },
        [] { return TileWindow::OverlayShown(); }, IMAGE_MENU, READING_AIDS_GROUP });
    Command file = window({});
    file.id = ID_FILE_WINDOW;
    file.text = "File window";
    file.key = Qt::Key_F2;
    table.Add(file);
    Command range = window({ WindowMode::FrameRange, 0 });
    range.id = ID_FRAME_RANGE_WINDOW;
    range.text = "Automatic window (minimum to maximum)";
    range.key = Qt::Key_F3;
    table.Add(range);
    const std::span<const WindowPreset> presets = WindowPresets();
    for (uint32_t k = 0; k < presets.size(); ++k) {
        Command preset = window({ WindowMode::Preset, k });
        preset.id = ID_FIRST_PRESET + static_cast<int>(k);
        preset.text = QString("%1 window (%2 / %3 HU)")
                          .arg(QString::fromUtf8(
                              presets[k].name.data(), static_cast<qsizetype>(presets[k].name.size())))
                          .arg(presets[k].window.width)
                          .arg(presets[k].window.center);
        preset.key = Qt::Key_F4 + static_cast<int>(k);
        preset.available = [&aids] { return aids.PresetsApply(); };
        table.Add(preset);
    }
    table.Add({ ID_TAGS, "DICOM tags...", QKeySequence(Qt::CTRL | Qt::Key_D), [&aids] { aids.ShowTags(); },
        {}, IMAGE_MENU | TREE_IMAGE_MENU, READING_AIDS_GROUP, [&aids] { return aids.HasTagsFile(); } });
    table.Add({ ID_COPY_IMAGE, "Copy image", QKeySequence(Qt::CTRL | Qt::Key_C),
        [&aids] { aids.CopyImage(); }, {}, IMAGE_MENU, FILE_GROUP, hasImage });
    table.Add({ ID_EXPORT_IMAGE, "Export image as PNG...", QKeySequence(Qt::CTRL | Qt::Key_E),
        [&aids] { aids.ExportImage(); }, {}, IMAGE_MENU, FILE_GROUP, hasImage });
}

} // namespace velmora
