// The random-use test's actions beside the viewer's main window: the context menus (the image
// area's by a right click without motion and by the Menu key, the exam tree's on image rows and on
// patient, study and series rows), each used by choosing one of its enabled items at random or
// by pressing the keys of its greyed items, which must do nothing; the DICOM tags window opened,
// filtered and closed while the selection moves (it lists the selected image after every change);
// copy and export of the tile under the pointer, checked against that tile's picture as shown;
// keys with the pointer over an empty tile; Expand all and Collapse all; the F1 help.
//
// The dialogs they lead to are answered here: the save dialog with a file of a folder of its
// own, the file manager as started, and any modal dialog (the calibration offered after a first
// ruler) declined.
#pragma once

#include "app/context_menus.h"
#include "app/key_help_window.h"
#include "app/reading_aids.h"
#include "app/tags_window.h"
#include "platform/dialogs.h"
#include "viewer_fixture.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>

namespace velmora::testing {

// The process's dialogs, answered and counted.
class CountingDialogs : public Dialogs {
public:
    explicit CountingDialogs(QString folder)
        : m_folder(std::move(folder))
    {
    }
    MessageAnswer Message(QWidget*, const QString&, const QString& text, MessageIcon) override
    {
        messages << text;
        return MessageAnswer::Ok;
    }
    QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&) override
    {
        lastSaved = QString("%1/export%2.png").arg(m_folder).arg(++saves);
        return lastSaved;
    }
    QString Folder(QWidget*, const QString&) override { return {}; }
    bool ShowFolder(const QByteArray&) override
    {
        ++foldersShown;
        return true;
    }

    QStringList messages;
    int saves = 0;
    int foldersShown = 0;
    QString lastSaved;

private:
    QString m_folder;
};

// Declines every modal dialog that opens while it lives.
class ModalDecliner {
public:
    ModalDecliner()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

class BesideTheWindow {
public:
    // `below(n)`: a random number in [0, n). `failure(what)`: the failure message for `what`.
    // `note(what)`: adds to the names of the recent actions.
    BesideTheWindow(MainDialog& d, PromptAnswers& answers, std::function<int(int)> below,
        std::function<QString(const QString&)> failure, std::function<void(const QString&)> note)
        : m_d(d)
        , m_answers(answers)
        , m_below(std::move(below))
        , m_failure(std::move(failure))
        , m_note(std::move(note))
        , m_dialogs(new CountingDialogs(m_out.path()))
        , m_previousDialogs(SetDialogs(std::unique_ptr<Dialogs>(m_dialogs)))
    {
    }
    ~BesideTheWindow() { SetDialogs(std::move(m_previousDialogs)); }

    // The image area's menu by a right click without motion at `p` of `tile`, with the pointer
    // resting there (so that the keys of greyed items act where the menu would).
    void ImageMenuByClick(TileWindow* tile, QPoint p)
    {
        QVERIFY(WaitUntilNoMenu());
        QTest::mouseMove(tile, p);
        // Where another window covers the tile, or the screen ends, the click cannot reach it.
        if (!Holds(tile, QApplication::widgetAt(QCursor::pos()))) {
            ++m_unreachable;
            return;
        }
        SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, p);
        UseMenu(IMAGE_MENU);
    }

    // The Menu key, away from the tree: the image area's menu for the tile under the pointer,
    // else tile 0.
    void ImageMenuByKey()
    {
        QVERIFY(WaitUntilNoMenu());
        m_d.Button(ID_TILE1)->setFocus();
        QTest::keyClick(&m_d, Qt::Key_Menu);
        UseMenu(IMAGE_MENU);
    }

    // A right click on a row of the tree, through the window as the mouse gives it.
    void TreeMenu()
    {
        QTreeWidgetItem* row = SomeRow(false);
        if (!row)
            return;
        RightClickRow(row);
        UseMenu(m_d.Tree()->Model().Record(m_d.Tree()->ItemOf(row)) ? TREE_IMAGE_MENU : TREE_GROUP_MENU);
    }

    // Expand all or Collapse all from the menu of a patient, study or series row: every row of
    // its branch opens or closes.
    void ExpandOrCollapse()
    {
        QTreeWidgetItem* row = SomeRow(true);
        if (!row)
            return;
        RightClickRow(row);
        QMenu* menu = WaitForMenu();
        QVERIFY2(menu, qPrintable(m_failure("no menu on a tree row")));
        const bool expand = m_below(2) == 0;
        const QString item = expand ? "Expand all" : "Collapse all";
        m_note(item);
        Choose(menu, item);
        QList<QTreeWidgetItem*> branch { row };
        for (int k = 0; k < branch.size(); ++k) {
            if (branch[k]->childCount() == 0)
                continue;
            QVERIFY2(branch[k]->isExpanded() == expand,
                qPrintable(m_failure(
                    QString("%1 left %2 %3").arg(item, branch[k]->text(0), expand ? "closed" : "open"))));
            for (int c = 0; c < branch[k]->childCount(); ++c)
                branch << branch[k]->child(c);
        }
    }

    // Ctrl+D: the tags window of the selected image; nothing once its file was removed.
    void OpenTags()
    {
        const TagsWindow* before = m_d.Aids()->Tags();
        const bool shownBefore = before && before->isVisible();
        const std::string listedBefore = before ? before->File() : std::string();
        QTest::keyClick(&m_d, Qt::Key_D, Qt::ControlModifier);
        TagsWindow* tags = m_d.Aids()->Tags();
        const QFileInfo selected(QFile::decodeName(QByteArray::fromStdString(SelectedPath())));
        if (!SelectedPath().empty() && !selected.isFile()) {
            QVERIFY2(tags == before
                    && (!tags || (tags->isVisible() == shownBefore && tags->File() == listedBefore)),
                qPrintable(m_failure("Ctrl+D acted on an image whose file was removed")));
            return;
        }
        if (SelectedPath().empty()) {
            QVERIFY2(!tags || !tags->isVisible() || tags->File().empty(),
                qPrintable(m_failure("the tags window lists a file with no image selected")));
            return;
        }
        QVERIFY2(tags && tags->isVisible(), qPrintable(m_failure("Ctrl+D showed no tags window")));
        QVERIFY2(tags->File() == SelectedPath(),
            qPrintable(m_failure("the tags window lists " + QString::fromStdString(tags->File()))));
        m_tagsSelection = m_d.Tree()->Selected();
    }

    // Text typed into the filter box: none of it reaches the viewer's keys, and the rows shown are
    // those that match or hold a row that does.
    void FilterTags()
    {
        TagsWindow* tags = m_d.Aids()->Tags();
        if (!tags || !tags->isVisible())
            return;
        static const char* const texts[] = { "0010", "name", "ct", "pixel", "7fe0", "x", "no such", "" };
        const QString text = texts[m_below(static_cast<int>(std::size(texts)))];
        m_note("filter \"" + text + "\"");
        auto* box = tags->findChild<QLineEdit*>();
        QVERIFY(box);
        MakeActive(tags);
        const QString before = State(m_d);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
        QVERIFY2(
            State(m_d) == before, qPrintable(m_failure("typing into the filter box changed the viewer")));
        for (int k = 0; k < tags->Tree()->topLevelItemCount(); ++k)
            CheckFiltered(tags->Tree()->topLevelItem(k), text);
    }

    // Rows of the tags window selected and copied by Ctrl+C there: their lines, one per row, on
    // the clipboard, and no picture.
    void CopyTagRows()
    {
        TagsWindow* tags = m_d.Aids()->Tags();
        if (!tags || !tags->isVisible())
            return;
        QList<QTreeWidgetItem*> shown;
        for (QTreeWidgetItemIterator it(tags->Tree(), QTreeWidgetItemIterator::NotHidden); *it; ++it)
            shown << *it;
        if (shown.isEmpty())
            return;
        MakeActive(tags);
        tags->Tree()->setFocus();
        tags->Tree()->clearSelection();
        QStringList expected;
        for (QTreeWidgetItem* row : shown) {
            if (m_below(8) == 0 || (row == shown.last() && expected.isEmpty())) {
                row->setSelected(true);
                expected << row->text(TagsWindow::TAG);
            }
        }
        m_note(QString("%1 tag rows copied").arg(expected.size()));
        const QString before = State(m_d);
        QTest::keyClick(tags->Tree(), Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == expected.size() && QApplication::clipboard()->image().isNull(),
            qPrintable(
                m_failure(QString("%1 lines copied of %2 rows").arg(lines.size()).arg(expected.size()))));
        for (qsizetype k = 0; k < lines.size(); ++k) {
            QVERIFY2(lines[k].contains(expected[k]),
                qPrintable(
                    m_failure(QString("copied line \"%1\" is not of row %2").arg(lines[k], expected[k]))));
        }
        QVERIFY2(State(m_d) == before, qPrintable(m_failure("copying tag rows changed the viewer")));
    }

    // Up, Down, Home, End, Left, Right in the exam tree: the selection moves by keyboard.
    void TreeKeys()
    {
        static const Qt::Key keys[]
            = { Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End, Qt::Key_Left, Qt::Key_Right };
        ExamTree* tree = m_d.Tree();
        tree->setFocus();
        for (int k = 1 + m_below(3); k > 0; --k)
            QTest::keyClick(tree, keys[m_below(static_cast<int>(std::size(keys)))]);
        // Now and then the Menu key there: the menu of the tree's current row.
        if (m_below(3) != 0 || !tree->currentItem())
            return;
        QVERIFY(WaitUntilNoMenu());
        const bool image = tree->Model().Record(tree->ItemOf(tree->currentItem())) != nullptr;
        m_note("Menu key in the tree");
        QTest::keyClick(tree, Qt::Key_Menu);
        UseMenu(image ? TREE_IMAGE_MENU : TREE_GROUP_MENU);
    }

    // A folder of the samples (or all of them, or one file) dropped on the window in place of
    // what the tree held.
    void Drop(const QString& sampleCopy)
    {
        static const char* const paths[]
            = { "", "/CT_HEAD", "/MR_BRAIN", "/OTHER", "/CT_HEAD/CT002.dcm", "/OTHER/RGB001.dcm" };
        const QString path = sampleCopy + paths[m_below(static_cast<int>(std::size(paths)))];
        m_note("dropped " + path.section('/', -2));
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(path) });
        const QPoint at(m_below(std::max(m_d.width(), 1)), m_below(std::max(m_d.height(), 1)));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&m_d, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&m_d, &drop);
        // The tree holds something new: the tags window follows whatever is selected now.
        m_tagsSelection = -2;
    }

    void CloseTags()
    {
        TagsWindow* tags = m_d.Aids()->Tags();
        if (!tags || !tags->isVisible())
            return;
        if (m_below(2) == 0) {
            MakeActive(tags);
            QTest::keyClick(tags, Qt::Key_Escape);
        } else {
            tags->close();
        }
        QVERIFY2(!tags->isVisible(), qPrintable(m_failure("the tags window did not close")));
    }

    // Ctrl+C, with the pointer over a tile now and then: the clipboard holds the picture of the
    // tile under the pointer (tile 0 when none is), as export writes it; nothing when that tile is
    // empty.
    void Copy()
    {
        PointerOverSomeTile();
        CopyAndCheck();
    }

    // Ctrl+E, likewise: the file written holds that picture.
    void Export()
    {
        PointerOverSomeTile();
        ExportAndCheck();
    }

    // In 4-up, a key with the pointer over an empty tile (any tile when none is empty).
    void KeysOverEmptyTile()
    {
        if (m_d.Area().Mode() != 4)
            return;
        std::vector<int> empty;
        for (int k = 0; k < 4; ++k) {
            if (TileOf(m_d, k) && !TileOf(m_d, k)->ImageShown())
                empty.push_back(k);
        }
        const int k = empty.empty() ? m_below(4)
                                    : empty[static_cast<size_t>(m_below(static_cast<int>(empty.size())))];
        TileWindow* tile = TileOf(m_d, k);
        QTest::mouseMove(tile, tile->rect().center());
        const auto ctrl = [](Qt::Key key) { return QKeyCombination(Qt::ControlModifier, key); };
        const QKeyCombination keys[]
            = { ctrl(Qt::Key_C), ctrl(Qt::Key_E), ctrl(Qt::Key_D), ctrl(Qt::Key_S), Qt::Key_F6, Qt::Key_F3,
                  Qt::Key_Plus, Qt::Key_M, Qt::Key_I, Qt::Key_O, Qt::Key_0, Qt::Key_PageDown, Qt::Key_Menu };
        const QKeyCombination key = keys[m_below(static_cast<int>(std::size(keys)))];
        m_note(QString("key %1 over tile %2").arg(QKeySequence(key).toString()).arg(k));
        if (key == ctrl(Qt::Key_C)) {
            CopyAndCheck();
        } else if (key == ctrl(Qt::Key_E)) {
            ExportAndCheck();
        } else if (key.key() == Qt::Key_Menu) {
            m_d.Button(ID_TILE1)->setFocus();
            QTest::keyClick(&m_d, Qt::Key_Menu);
            UseMenu(IMAGE_MENU);
        } else {
            QTest::keyClick(&m_d, key.key(), key.keyboardModifiers());
        }
    }

    // The file of an image removed behind the viewer's back (two at most in a run): its loads
    // fail from then on, and Save Image is no longer offered for it.
    void RemoveSomeFile()
    {
        if (m_removed >= 2)
            return;
        const ExamModel& model = m_d.Tree()->Model();
        std::vector<std::string> paths;
        for (ExamItem item = model.FirstDeepest(); item != 0;
             item = model.NextImage(item, Wrap::No, Across::WholeTree)) {
            const ImageItemRecord* record = model.Record(item);
            if (record && QFile::exists(QFile::decodeName(record->path.c_str())))
                paths.push_back(record->path);
        }
        if (paths.empty())
            return;
        const std::string& path = paths[static_cast<size_t>(m_below(static_cast<int>(paths.size())))];
        m_note("removed " + QString::fromStdString(path).section('/', -2));
        QVERIFY(QFile::remove(QFile::decodeName(path.c_str())));
        ++m_removed;
    }

    // F1, then now and then closed again by Escape.
    void Help()
    {
        QTest::keyClick(&m_d, Qt::Key_F1);
        auto* help = m_d.findChild<KeyHelpWindow*>();
        QVERIFY2(help && help->isVisible(), qPrintable(m_failure("F1 showed no help")));
        QVERIFY2(
            m_d.findChildren<KeyHelpWindow*>().size() == 1, qPrintable(m_failure("a second help window")));
        QVERIFY2(help->List()->topLevelItemCount() == static_cast<int>(m_d.Commands().Entries().size()),
            qPrintable(m_failure("the help lists another number of commands than the table holds")));
        if (m_below(2) == 0) {
            MakeActive(help);
            QTest::keyClick(help, Qt::Key_Escape);
            QVERIFY2(!help->isVisible(), qPrintable(m_failure("Escape left the help open")));
        }
    }

    // After every action: an open tags window lists the selected image once the selection moved.
    void Check()
    {
        TagsWindow* tags = m_d.Aids()->Tags();
        const ExamItem selected = m_d.Tree()->Selected();
        if (!tags || !tags->isVisible()) {
            m_tagsSelection = -1;
            return;
        }
        if (m_tagsSelection != -1 && (selected != m_tagsSelection || m_tagsSelection == -2)) {
            ++m_tagsFollowed;
            QVERIFY2(tags->File() == SelectedPath(),
                qPrintable(m_failure(
                    QString("the tags window lists \"%1\", not the selected image \"%2\"")
                        .arg(QString::fromStdString(tags->File()), QString::fromStdString(SelectedPath())))));
        }
        m_tagsSelection = selected;
        const bool readable = !tags->File().empty() && QFile::exists(QFile::decodeName(tags->File().c_str()));
        QVERIFY2(!readable || tags->Tree()->topLevelItemCount() > 0,
            qPrintable(
                m_failure("the tags window lists no rows of " + QString::fromStdString(tags->File()))));
    }

    // What the actions saw, for the test's log.
    QString Summary() const
    {
        return QString("%1 menus: %2 items chosen, %3 greyed keys pressed; %4 copies and %5 exports "
                       "compared; the tags window followed %6 selections; %7 right clicks on a "
                       "covered tile left out")
            .arg(m_menus)
            .arg(m_itemsChosen)
            .arg(m_greyedKeys)
            .arg(m_copies)
            .arg(m_exports)
            .arg(m_tagsFollowed)
            .arg(m_unreachable);
    }

    // Keys reach the viewer's window while it is the active one, as after a click on it.
    void Activate() { MakeActive(&m_d); }

private:
    static void MakeActive(QWidget* window)
    {
        // After the activations still queued (of a window just opened).
        QCoreApplication::processEvents();
        if (QApplication::activeWindow() == window)
            return;
        // Not qWaitForWindowActive: it counts a window active while a window of its own is.
        window->activateWindow();
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }, kEventWaitMs));
    }

    std::string SelectedPath() const
    {
        const ImageItemRecord* record = m_d.Tree()->Model().Record(m_d.Tree()->Selected());
        return record ? record->path : std::string();
    }

    bool WaitUntilNoMenu() const
    {
        return QTest::qWaitFor([&] { return !m_d.Menus().OpenMenu(); }, kEventWaitMs);
    }

    QMenu* WaitForMenu() const
    {
        if (!QTest::qWaitFor(
                [&] { return m_d.Menus().OpenMenu() && m_d.Menus().OpenMenu()->isVisible(); }, kEventWaitMs))
            return nullptr;
        return m_d.Menus().OpenMenu();
    }

    // A row of the tree whose parents are open (a patient, study or series row when `group`).
    QTreeWidgetItem* SomeRow(bool group) const
    {
        ExamTree* tree = m_d.Tree();
        QList<QTreeWidgetItem*> rows;
        for (QTreeWidgetItemIterator it(tree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
            const bool shown = !(*it)->parent() || (*it)->parent()->isExpanded();
            bool parentsOpen = shown;
            for (QTreeWidgetItem* p = (*it)->parent(); p && parentsOpen; p = p->parent())
                parentsOpen = !p->parent() || p->parent()->isExpanded();
            if (parentsOpen && (!group || !tree->Model().Record(tree->ItemOf(*it))))
                rows << *it;
        }
        return rows.isEmpty() ? nullptr : rows[m_below(static_cast<int>(rows.size()))];
    }

    void RightClickRow(QTreeWidgetItem* row)
    {
        QVERIFY(WaitUntilNoMenu());
        ExamTree* tree = m_d.Tree();
        tree->scrollToItem(row);
        const QPoint at = tree->viewport()->mapTo(&m_d, tree->visualItemRect(row).center());
        m_note("row " + row->text(0));
        QTest::mouseClick(m_d.windowHandle(), Qt::RightButton, {}, at);
    }

    void Choose(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions()) {
            if (action->text().section('\t', 0, 0) == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                QVERIFY(WaitUntilNoMenu());
                return;
            }
        }
        QFAIL(qPrintable(m_failure("no menu item " + text)));
    }

    // The menu that opened: an enabled item chosen at random, or the menu closed and the keys of
    // its greyed items pressed.
    // The greyed keys are pressed with the pointer where the menu was opened (by a right click
    // or the Menu key), so they act on the menu's tile.
    void UseMenu(MenuPlaces place)
    {
        QMenu* menu = WaitForMenu();
        QVERIFY2(menu, qPrintable(m_failure("no menu opened")));
        ++m_menus;
        CheckMarks(menu);
        if (QTest::currentTestFailed())
            return;
        QList<QAction*> enabled;
        QList<QKeySequence> greyedKeys;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            if (action->isEnabled())
                enabled << action;
            else if (action->text().contains('\t'))
                greyedKeys << QKeySequence::fromString(
                    action->text().section('\t', 1), QKeySequence::NativeText);
        }
        if (enabled.isEmpty() || m_below(3) == 0) {
            m_note(QString("menu %1 closed, %2 greyed keys").arg(place).arg(greyedKeys.size()));
            QTest::keyClick(menu, Qt::Key_Escape);
            QVERIFY(WaitUntilNoMenu());
            Activate();
            for (const QKeySequence& key : greyedKeys) {
                PressGreyedKey(key);
                if (QTest::currentTestFailed())
                    return;
            }
            return;
        }
        ++m_itemsChosen;
        QAction* action = enabled[m_below(static_cast<int>(enabled.size()))];
        const QString text = action->text().section('\t', 0, 0);
        m_note("menu item " + text);
        const bool tagsBefore = m_d.Aids()->Tags() && m_d.Aids()->Tags()->isVisible();
        const int saveAsked = m_answers.saveAsked;
        Choose(menu, text);
        if (text == "Save Image...") {
            QVERIFY2(m_answers.saveAsked == saveAsked + 1 && QFileInfo(m_answers.saveFile).size() > 0,
                qPrintable(m_failure("Save Image, offered, saved nothing")));
            QFile::remove(m_answers.saveFile);
        }
        // The tags window opened from a tile's menu lists that tile's file, until the selection
        // moves.
        if (text == "DICOM tags..." && !tagsBefore)
            m_tagsSelection = m_d.Tree()->Selected();
    }

    // One tool at most is on, shown by one mark among the tools and Tools off; one window is the
    // one shown; the overlay's mark is whether it shows.
    void CheckMarks(const QMenu* menu)
    {
        static const QStringList tools { "Ruler", "Angle", "Arrow", "Text...", "Select", "Tools off" };
        int toolMarks = 0, windowMarks = 0, windowItems = 0;
        const QList<QAction*> actions = menu->actions();
        for (const QAction* action : actions) {
            const QString text = action->text().section('\t', 0, 0);
            toolMarks += tools.contains(text) && action->isChecked();
            if (text.endsWith(" window") || text.contains(" window (")) {
                ++windowItems;
                windowMarks += action->isChecked();
            }
            if (text == "Overlay text") {
                QVERIFY2(action->isChecked() == TileWindow::OverlayShown(),
                    qPrintable(m_failure("the overlay's mark is not whether it shows")));
            }
        }
        const bool listsTools = std::any_of(actions.begin(), actions.end(),
            [](const QAction* action) { return action->text().startsWith("Tools off"); });
        QVERIFY2(
            !listsTools || toolMarks == 1, qPrintable(m_failure(QString("%1 tools marked").arg(toolMarks))));
        QVERIFY2(windowItems == 0 || windowMarks == 1,
            qPrintable(m_failure(QString("%1 windows marked").arg(windowMarks))));
    }

    // What any command could change: the viewer's state, the windows beside it, the clipboard,
    // the files written, the questions asked.
    QString Observable() const
    {
        QStringList parts { State(m_d) };
        const TagsWindow* tags = m_d.Aids()->Tags();
        const auto* help = m_d.findChild<KeyHelpWindow*>();
        parts << QString("window %1/%2 overlay %3 tags %4 %5 help %6")
                     .arg(int(m_d.Aids()->Window().mode))
                     .arg(m_d.Aids()->Window().preset)
                     .arg(TileWindow::OverlayShown())
                     .arg(tags && tags->isVisible())
                     .arg(tags ? QString::fromStdString(tags->File()) : QString())
                     .arg(help && help->isVisible());
        parts << QString("save asked %1").arg(m_answers.saveAsked);
        parts << QString("dialogs %1 %2 %3")
                     .arg(m_dialogs->messages.join('|'))
                     .arg(m_dialogs->saves)
                     .arg(m_dialogs->foldersShown);
        const QClipboard* clipboard = QApplication::clipboard();
        parts << "clipboard " + clipboard->text() + (clipboard->image().isNull() ? "" : " and an image");
        for (int k = 0; k < 4; ++k) {
            if (const TileWindow* tile = TileOf(m_d, k)) {
                const auto bits = tile->Bitmap().Bits();
                parts << QString("bitmap %1 %2").arg(k).arg(qHashBits(bits.data(), bits.size()));
            }
        }
        return parts.join('\n');
    }

    // A greyed item's key does nothing at all.
    void PressGreyedKey(const QKeySequence& key)
    {
        ++m_greyedKeys;
        QApplication::clipboard()->setText("untouched");
        const QString before = Observable();
        QTest::keySequence(&m_d, key);
        QCoreApplication::processEvents();
        const QString after = Observable();
        if (after == before)
            return;
        const QStringList was = before.split('\n'), is = after.split('\n');
        QStringList changed;
        for (qsizetype k = 0; k < std::min(was.size(), is.size()); ++k) {
            if (was[k] != is[k])
                changed << was[k] + " -> " + is[k];
        }
        QFAIL(qPrintable(m_failure(
            QString("the key %1 of a greyed item acted: %2").arg(key.toString(), changed.join("; ")))));
    }

    static bool Holds(const QWidget* widget, const QWidget* under)
    {
        return under && (widget == under || widget->isAncestorOf(under));
    }

    // The tile the copy and export keys act on: the live tile under the pointer (where Qt finds
    // it now), else tile 0.
    TileWindow* PointedTile() const
    {
        const QWidget* under = QApplication::widgetAt(QCursor::pos());
        for (int k = 0; k < m_d.Area().Mode(); ++k) {
            if (Holds(TileOf(m_d, k), under))
                return TileOf(m_d, k);
        }
        return TileOf(m_d, 0);
    }

    void PointerOverSomeTile()
    {
        if (m_below(2) != 0)
            return;
        const int k = m_below(m_d.Area().Mode());
        TileWindow* tile = TileOf(m_d, k);
        m_note(QString("pointer over tile %1").arg(k));
        QTest::mouseMove(
            tile, QPoint(m_below(std::max(tile->width(), 1)), m_below(std::max(tile->height(), 1))));
    }

    void CopyAndCheck()
    {
        const TileWindow* tile = PointedTile();
        const QImage expected = tile->ImageShown() ? tile->ImageAsShown() : QImage();
        QApplication::clipboard()->setText("untouched");
        QTest::keyClick(&m_d, Qt::Key_C, Qt::ControlModifier);
        const QImage copied = QApplication::clipboard()->image();
        m_copies += !expected.isNull();
        if (expected.isNull()) {
            QVERIFY2(copied.isNull() && QApplication::clipboard()->text() == "untouched",
                qPrintable(m_failure("Ctrl+C copied a picture over an empty tile")));
            return;
        }
        QVERIFY2(
            copied.convertToFormat(QImage::Format_RGB32) == expected.convertToFormat(QImage::Format_RGB32),
            qPrintable(m_failure("the clipboard does not hold the pointed tile's picture")));
    }

    void ExportAndCheck()
    {
        const TileWindow* tile = PointedTile();
        const QImage expected = tile->ImageShown() ? tile->ImageAsShown() : QImage();
        const int saves = m_dialogs->saves;
        QTest::keyClick(&m_d, Qt::Key_E, Qt::ControlModifier);
        if (expected.isNull()) {
            QVERIFY2(
                m_dialogs->saves == saves, qPrintable(m_failure("Ctrl+E asked to export an empty tile")));
            return;
        }
        QVERIFY2(m_dialogs->saves == saves + 1, qPrintable(m_failure("Ctrl+E asked for no file")));
        ++m_exports;
        QVERIFY2(QImage(m_dialogs->lastSaved).convertToFormat(QImage::Format_RGB32)
                == expected.convertToFormat(QImage::Format_RGB32),
            qPrintable(m_failure("the exported file does not hold the pointed tile's picture")));
        QFile::remove(m_dialogs->lastSaved);
    }

    // `row` shows exactly when its tag, name or value holds `text`, or a row below it shows.
    bool CheckFiltered(QTreeWidgetItem* row, const QString& text)
    {
        bool below = false;
        for (int k = 0; k < row->childCount(); ++k)
            below = CheckFiltered(row->child(k), text) || below;
        bool matches = text.isEmpty();
        for (int column : { TagsWindow::TAG, TagsWindow::NAME, TagsWindow::VALUE })
            matches = matches || row->text(column).contains(text, Qt::CaseInsensitive);
        const bool shown = matches || below;
        if (row->isHidden() == shown) {
            QTest::qFail(
                qPrintable(m_failure(QString("filter \"%1\": the row %2 %3 is %4")
                                         .arg(text, row->text(TagsWindow::TAG), row->text(TagsWindow::NAME),
                                             shown ? "hidden" : "shown"))),
                __FILE__, __LINE__);
        }
        return shown;
    }

    MainDialog& m_d;
    PromptAnswers& m_answers;
    std::function<int(int)> m_below;
    std::function<QString(const QString&)> m_failure;
    std::function<void(const QString&)> m_note;
    QTemporaryDir m_out;
    CountingDialogs* m_dialogs; // owned by the process's dialogs while this lives
    std::unique_ptr<Dialogs> m_previousDialogs;
    ModalDecliner m_decliner;
    // The selection when the open tags window was last seen; -1 while it is closed, -2 after a
    // drop filled the tree anew.
    ExamItem m_tagsSelection = -1;
    int m_removed = 0;
    int m_menus = 0, m_itemsChosen = 0, m_greyedKeys = 0, m_copies = 0, m_exports = 0, m_tagsFollowed = 0,
        m_unreachable = 0;
};

} // namespace velmora::testing
