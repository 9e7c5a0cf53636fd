// The context menus on the real viewer: what they list, that each item does what a click on its
// button does, the right-click-without-motion rule next to panning, the Menu key, the tree's
// menu with "Open containing folder", greyed items, and the F1 help listing every command.
#include "app/context_menus.h"
#include "app/key_help_window.h"
#include "app/reading_aids.h"
#include "app/tags_window.h"
#include "app/viewer_commands.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "toolkit/data_set.h"
#include "toolkit/tag.h"
#include "viewer_fixture.h"

#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>

using namespace velmora;
using namespace velmora::testing;

namespace {

// Records the folders the file manager was asked to show.
class WatchedDialogs : public Dialogs {
public:
    explicit WatchedDialogs(QList<QByteArray>& shown)
        : m_shown(shown)
    {
    }
    MessageAnswer Message(QWidget*, const QString&, const QString& text, MessageIcon) override
    {
        messages << text;
        return MessageAnswer::Ok;
    }
    QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&) override { return savePath; }
    QString Folder(QWidget*, const QString&) override { return {}; }
    bool ShowFolder(const QByteArray& url) override
    {
        m_shown << url;
        return fileManager;
    }

    QString savePath; // what the save dialog answers
    bool fileManager = true; // whether one starts
    QStringList messages;

private:
    QList<QByteArray>& m_shown;
};

QStringList Texts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? "-" : action->text() + (action->isChecked() ? " [x]" : ""));
    return texts;
}

// The items of `menu` shown greyed out, without their keys.
QStringList Greyed(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator() && !action->isEnabled())
            texts << action->text().section('\t', 0, 0);
    }
    return texts;
}

// A sample slice without its pixels, filed as a series of its own without an image: patient
// "NOPIX^PATIENT", series "Report".
void WriteFileWithoutPixels(const QString& path)
{
    DataSet ds;
    QCOMPARE(ds.Load(QFile::encodeName(SampleFolder() + "/CT_HEAD/CT001.dcm").constData()), SUCCESS);
    ds.RemoveSubtree(ds.FindElement(-1, tags::PIXEL_DATA, true));
    for (const auto& [tag, text] :
        { std::pair { 0x00100010u, "NOPIX^PATIENT" }, { 0x0008103Eu, "Report" } }) {
        const ElementId id = ds.FindElement(-1, tag, true);
        ds.FreeValue(id);
        QCOMPARE(ds.SetString(id, text), SUCCESS);
    }
    QDir().mkpath(QFileInfo(path).path());
    QCOMPARE(ds.Save(QFile::encodeName(path).constData(), 0), SUCCESS);
}

// Clicks the item of `menu` whose text starts with `text`, as the user would.
void ChooseItem(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(text + '\t') || action->text() == text) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            return;
        }
    }
    QFAIL(qPrintable("no item " + text));
}

// The menu that opens; null when none does.
QMenu* WaitForMenu(MainDialog& d)
{
    if (!QTest::qWaitFor(
            [&] { return d.Menus().OpenMenu() && d.Menus().OpenMenu()->isVisible(); }, kEventWaitMs))
        return nullptr;
    return d.Menus().OpenMenu();
}

// A right click on row `row` of the exam tree through the window, as the mouse gives it, once no
// menu is open.
void RightClickRow(MainDialog& d, QTreeWidgetItem* row)
{
    QVERIFY(QTest::qWaitFor([&] { return !d.Menus().OpenMenu(); }, kEventWaitMs));
    const ExamTree* tree = d.Tree();
    const QPoint at = tree->viewport()->mapTo(&d, tree->visualItemRect(row).center());
    QTest::mouseClick(d.windowHandle(), Qt::RightButton, {}, at);
}

// Runs what the events so far have queued: a right click opens its menu from a queued call.
void RunQueuedCalls()
{
    QCoreApplication::processEvents();
}

QPoint ImageCentre(TileWindow* tile)
{
    const PixelRect& r = tile->ImageRect();
    return { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
}

} // namespace

class ContextMenusTest : public QObject {
    Q_OBJECT

    ViewerFolder m_folder;
    PromptAnswers m_answers;
    QTemporaryDir m_out;

private slots:
    void initTestCase() { InstallViewerTables(); }

    void aRightClickWithoutMotionOpensTheImageMenu()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        TileWindow* tile = TileOf(*d, 0);
        QTest::keyClick(d.get(), Qt::Key_R);
        const PixelRect before = tile->ImageRect();
        const QPoint p = ImageCentre(tile);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, p);
        QMenu* menu = WaitForMenu(*d);
        QVERIFY(menu);
        QCOMPARE(Texts(menu),
            (QStringList { "Ruler\tR [x]", "Angle\tA", "Arrow\tP", "Text...\tT", "Select\tS", "Tools off\tN",
                "-", "Overlay text\tO", "File window\tF2 [x]", "Automatic window (minimum to maximum)\tF3",
                "Brain window (80 / 40 HU)\tF4", "Soft tissue window (400 / 40 HU)\tF5",
                "Lung window (1500 / -600 HU)\tF6", "Bone window (2000 / 300 HU)\tF7",
                "Abdomen window (350 / 50 HU)\tF8", "DICOM tags...\tCtrl+D", "-", "Save Image...\tCtrl+S",
                "Copy image\tCtrl+C", "Export image as PNG...\tCtrl+E", "-", "Keyboard shortcuts...\tF1" }));
        QCOMPARE(tile->ImageRect().left, before.left);
        QCOMPARE(tile->ImageRect().top, before.top);
        QVERIFY(!tile->Panning());
    }

    void aRightDragPansAndOpensNoMenu()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        TileWindow* tile = TileOf(*d, 0);
        const PixelRect before = tile->ImageRect();
        const QPoint p = ImageCentre(tile);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, p + QPoint(30, 20));
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, p + QPoint(30, 20));
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, p + QPoint(30, 20));
        RunQueuedCalls();
        QVERIFY(!d->Menus().OpenMenu());
        QCOMPARE(tile->ImageRect().left, before.left + 30);
        QCOMPARE(tile->ImageRect().top, before.top + 20);
        QVERIFY(!tile->Panning());
        // Back and forth to the press point is still a drag: the image moved on the way.
        SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, p + QPoint(5, 0));
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, p);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, p);
        RunQueuedCalls();
        QVERIFY(!d->Menus().OpenMenu());
        // A left click opens nothing either.
        QTest::mouseClick(tile, Qt::LeftButton, {}, p);
        RunQueuedCalls();
        QVERIFY(!d->Menus().OpenMenu());
    }

    // Copy, Export and the tags from the menu of a tile take that tile's image (the menu holds the
    // mouse, so the tile under it is no guide); from the menu of an empty tile they take nothing.
    void theImageMenuActsOnTheTileItWasOpenedOver()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        QTest::keyClick(d.get(), Qt::Key_4);
        TileWindow* tile2 = TileOf(*d, 2);
        QVERIFY(tile2->ImageShown());
        const QImage third = tile2->ImageAsShown();
        QVERIFY(third != TileOf(*d, 0)->ImageAsShown());
        const auto rightClick = [&](TileWindow* tile) {
            const QPoint p = tile->rect().center();
            SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, p);
            SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, p);
            return WaitForMenu(*d);
        };

        QMenu* menu = rightClick(tile2);
        QVERIFY(menu);
        ChooseItem(menu, "Copy image");
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), third);

        const QString exported = m_out.filePath("tile2.png");
        QList<QByteArray> shown;
        auto saving = std::make_unique<WatchedDialogs>(shown);
        saving->savePath = exported;
        auto previous = SetDialogs(std::move(saving));
        QVERIFY(QTest::qWaitFor([&] { return !d->Menus().OpenMenu(); }, kEventWaitMs));
        ChooseItem(rightClick(tile2), "Export image as PNG...");
        SetDialogs(std::move(previous));
        QCOMPARE(QImage(exported).convertToFormat(QImage::Format_RGB32), third);

        // Its tags too; the window follows the selection again afterwards.
        const ExamItem selected = d->Tree()->Selected();
        QVERIFY(QTest::qWaitFor([&] { return !d->Menus().OpenMenu(); }, kEventWaitMs));
        ChooseItem(rightClick(tile2), "DICOM tags...");
        TagsWindow* tags = d->Aids()->Tags();
        QVERIFY(tags && tags->isVisible());
        QCOMPARE(QString::fromStdString(tags->File()), m_folder.Path() + "/DICOM/CT_HEAD/CT003.dcm");
        QCOMPARE(d->Tree()->Selected(), selected);
        QTest::keyClick(d.get(), Qt::Key_PageDown);
        QCOMPARE(QString::fromStdString(tags->File()), m_folder.Path() + "/DICOM/CT_HEAD/CT002.dcm");
        tags->close();
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));

        // Image 3 of three: tiles 1 to 3 stay empty; their menu has no image to copy or export
        // (the tags are the selected image's, as that tile shows nothing of its own).
        QTest::keyClick(d.get(), Qt::Key_PageDown);
        QVERIFY(!TileOf(*d, 2)->ImageShown());
        QApplication::clipboard()->setText("before");
        QVERIFY(QTest::qWaitFor([&] { return !d->Menus().OpenMenu(); }, kEventWaitMs));
        menu = rightClick(TileOf(*d, 2));
        QVERIFY(menu);
        QCOMPARE(Greyed(menu), (QStringList { "Copy image", "Export image as PNG..." }));
        ChooseItem(menu, "Copy image");
        QCOMPARE(QApplication::clipboard()->text(), QString("before"));
        menu->close();
        // The keyboard's Ctrl+C afterwards is back to the tile under the mouse, else tile 0.
        QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
            TileOf(*d, 0)->ImageAsShown());
    }

    // With the pointer resting over an empty tile, its menu greys Copy and Export, and their keys
    // do nothing either; over a tile with an image, or away from the tiles, they take that tile's
    // image, or tile 0's.
    void copyAndExportKeysActOnTheTileUnderThePointer()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        QList<QByteArray> shown;
        auto watched = std::make_unique<WatchedDialogs>(shown);
        WatchedDialogs* dialogs = watched.get();
        dialogs->savePath = m_out.filePath("pointed.png");
        auto previous = SetDialogs(std::move(watched));
        QTest::keyClick(d.get(), Qt::Key_4);
        QTest::keyClick(d.get(), Qt::Key_PageDown);
        QTest::keyClick(d.get(), Qt::Key_PageDown);
        TileWindow* empty = TileOf(*d, 2);
        QVERIFY(TileOf(*d, 0)->ImageShown() && !empty->ImageShown());
        QTest::mouseMove(empty, empty->rect().center());
        QVERIFY(empty->underMouse());
        SendMouse(empty, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, empty->rect().center());
        SendMouse(empty, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, empty->rect().center());
        QMenu* menu = WaitForMenu(*d);
        QVERIFY(menu);
        QCOMPARE(Greyed(menu), (QStringList { "Copy image", "Export image as PNG..." }));
        QTest::keyClick(menu, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !d->Menus().OpenMenu(); }, kEventWaitMs));
        QApplication::clipboard()->setText("before");
        QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(d.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString("before"));
        QVERIFY(!QFileInfo::exists(dialogs->savePath));

        for (QWidget* over : { static_cast<QWidget*>(TileOf(*d, 0)), static_cast<QWidget*>(d->Tree()) }) {
            QTest::mouseMove(over, over->rect().center());
            QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                TileOf(*d, 0)->ImageAsShown());
        }
        SetDialogs(std::move(previous));
    }

    // The pointer rests where 4-up puts tile 1 (in 1-up, over tile 0): Ctrl+C takes tile 1, as
    // a right click there would; the same after the window is made smaller under it.
    void copyTakesTheTileUnderTheRestingPointerAfterTheLayoutChanges()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        TileWindow* first = TileOf(*d, 0);
        const QPoint inSecond = first->mapToGlobal(QPoint(first->width() * 3 / 4, first->height() / 4));
        QTest::mouseMove(first, first->mapFromGlobal(inSecond));
        QTest::keyClick(d.get(), Qt::Key_4);
        TileWindow* second = TileOf(*d, 1);
        QVERIFY(second->rect().contains(second->mapFromGlobal(inSecond)));
        QVERIFY(second->ImageShown() && second->ImageAsShown() != first->ImageAsShown());
        QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(
            QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), second->ImageAsShown());

        // Smaller: the pointer is now beside the window, over no tile, and tile 0 is taken.
        d->resize(d->width() / 2, d->height() / 2);
        QVERIFY(!second->rect().contains(second->mapFromGlobal(inSecond)));
        QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(
            QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), first->ImageAsShown());
    }

    void eachMenuItemDoesWhatAClickOnItsButtonDoes_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("id");
        QTest::addColumn<QList<int>>("before");
        QTest::newRow("ruler") << "Ruler" << int(ID_RULER) << QList<int> {};
        QTest::newRow("ruler off") << "Ruler" << int(ID_RULER) << QList<int> { ID_RULER };
        QTest::newRow("angle after level") << "Angle" << int(ID_ANGLE) << QList<int> { ID_WINDOW_LEVEL };
        QTest::newRow("arrow over ruler") << "Arrow" << int(ID_ARROW) << QList<int> { ID_RULER };
        QTest::newRow("text") << "Text..." << int(ID_TEXT) << QList<int> {};
        QTest::newRow("select") << "Select" << int(ID_SELECT) << QList<int> { ID_ANGLE };
    }

    void eachMenuItemDoesWhatAClickOnItsButtonDoes()
    {
        QFETCH(QString, item);
        QFETCH(int, id);
        QFETCH(QList<int>, before);
        ExpectSameAsClick(m_folder.Path(), m_answers, before, id, [&](MainDialog& d) {
            TileWindow* tile = TileOf(d, 0);
            ChooseItem(d.Menus().Open(IMAGE_MENU, tile->mapToGlobal(ImageCentre(tile))), item);
        });
    }

    void toolsOffAndSaveImageFromTheMenu()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        TileWindow* tile = TileOf(*d, 0);
        const QPoint at = tile->mapToGlobal(ImageCentre(tile));
        ChooseItem(d->Menus().Open(IMAGE_MENU, at), "Angle");
        QCOMPARE(d->Button(ID_ANGLE)->GetCheck(), 1);
        ChooseItem(d->Menus().Open(IMAGE_MENU, at), "Tools off");
        QCOMPARE(d->Button(ID_ANGLE)->GetCheck(), 0);
        QVERIFY(Texts(d->Menus().Open(IMAGE_MENU, at)).contains("Tools off\tN [x]"));
        d->Menus().OpenMenu()->close();

        m_answers.saveFile = m_out.filePath("saved.raw");
        m_answers.saveAsked = 0;
        ChooseItem(d->Menus().Open(IMAGE_MENU, at), "Save Image...");
        QCOMPARE(m_answers.saveAsked, 1);
        QVERIFY(QFileInfo(m_answers.saveFile).size() > 0);
        m_answers.saveFile.clear();
    }

    void theMenuKeyOpensTheImageMenuOrTheTreeMenu()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        d->Button(ID_TILE1)->setFocus();
        QTest::keyClick(d.get(), Qt::Key_Menu);
        QMenu* menu = WaitForMenu(*d);
        QVERIFY(menu);
        QVERIFY(!Texts(menu).contains("Open containing folder\tCtrl+Alt+O"));
        menu->close();
        d->Tree()->setFocus();
        QTest::keyClick(d->Tree(), Qt::Key_Menu);
        QVERIFY(WaitForMenu(*d));
        QVERIFY(Texts(d->Menus().OpenMenu()).contains("Open containing folder\tCtrl+Alt+O"));
    }

    // The Menu key's image menu acts on the tile Ctrl+C and Ctrl+E take: the one under the
    // pointer (an empty one offers nothing to take), else tile 0.
    void theMenuKeyActsOnTheTileUnderThePointerAsTheKeysDo()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        QTest::keyClick(d.get(), Qt::Key_4);
        TileWindow* second = TileOf(*d, 1);
        TileWindow* empty = TileOf(*d, 3);
        QVERIFY(second->ImageShown() && !empty->ImageShown());
        QVERIFY(second->ImageAsShown() != TileOf(*d, 0)->ImageAsShown());
        const auto menuByKey = [&] {
            // The keys reach the window once it is active again, as after a click on it.
            QCoreApplication::processEvents();
            d->activateWindow();
            if (!QTest::qWaitFor(
                    [&] { return !d->Menus().OpenMenu() && QApplication::activeWindow() == d.get(); },
                    kEventWaitMs))
                return static_cast<QMenu*>(nullptr);
            d->Button(ID_TILE1)->setFocus();
            QTest::keyClick(d.get(), Qt::Key_Menu);
            return WaitForMenu(*d);
        };

        QTest::mouseMove(second, ImageCentre(second));
        QMenu* menu = menuByKey();
        QVERIFY(menu);
        ChooseItem(menu, "Copy image");
        QCOMPARE(
            QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), second->ImageAsShown());

        QTest::mouseMove(empty, empty->rect().center());
        menu = menuByKey();
        QVERIFY(menu);
        QCOMPARE(Greyed(menu), (QStringList { "Copy image", "Export image as PNG..." }));
        menu->close();

        QTest::mouseMove(d->Tree(), d->Tree()->rect().center());
        menu = menuByKey();
        QVERIFY(menu);
        ChooseItem(menu, "Copy image");
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
            TileOf(*d, 0)->ImageAsShown());
    }

    void theTreeMenuSelectsTheImageAndOpensItsFolder()
    {
        QList<QByteArray> shown;
        auto previous = SetDialogs(std::make_unique<WatchedDialogs>(shown));
        auto d = MakeViewer(m_folder.Path(), m_answers);
        ExamTree* tree = d->Tree();
        tree->expandAll();
        // On the last image: selected, then its menu.
        QTreeWidgetItem* image = tree->topLevelItem(0);
        while (image->childCount() > 0)
            image = image->child(image->childCount() - 1);
        QVERIFY(tree->Selected() != tree->ItemOf(image));
        QContextMenuEvent onImage(QContextMenuEvent::Mouse, tree->visualItemRect(image).center(),
            tree->viewport()->mapToGlobal(tree->visualItemRect(image).center()), Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &onImage);
        QMenu* menu = WaitForMenu(*d);
        QVERIFY(menu);
        QCOMPARE(tree->Selected(), tree->ItemOf(image));
        QCOMPARE(Texts(menu).last(), QString("Keyboard shortcuts...\tF1"));
        ChooseItem(menu, "Open containing folder");
        SetDialogs(std::move(previous));
        QCOMPARE(shown.size(), 1);
        const std::string path = tree->Model().Record(tree->Selected())->path;
        QCOMPARE(QUrl::fromEncoded(shown.first()),
            QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absolutePath()));

        // Without a file manager the user is told, by the key as by the menu.
        auto none = std::make_unique<WatchedDialogs>(shown);
        none->fileManager = false;
        WatchedDialogs* told = none.get();
        previous = SetDialogs(std::move(none));
        QTest::keyClick(d.get(), Qt::Key_O, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(told->messages,
            QStringList { "No file manager could be started to show "
                + QFileInfo(QString::fromStdString(path)).absolutePath() + "." });
        SetDialogs(std::move(previous));
    }

    // Patient, study and series rows: a menu of their own, from a right click through the window
    // (as the mouse gives it) and from the Menu key; it acts on the row clicked.
    void aGroupRowHasItsMenuOfBranchCommands()
    {
        QList<QByteArray> shown;
        auto previous = SetDialogs(std::make_unique<WatchedDialogs>(shown));
        auto d = MakeViewer(m_folder.Path(), m_answers);
        ExamTree* tree = d->Tree();
        tree->collapseAll();
        const auto branch = [](QTreeWidgetItem* top) {
            QList<QTreeWidgetItem*> rows { top };
            for (int k = 0; k < rows.size(); ++k)
                for (int c = 0; c < rows[k]->childCount(); ++c)
                    if (rows[k]->child(c)->childCount() > 0)
                        rows << rows[k]->child(c);
            return rows;
        };

        // The second patient (MR_BRAIN), so that the tree's first image is not its first image.
        QTreeWidgetItem* patient = tree->topLevelItem(1);
        QCOMPARE(patient->text(0), QString("ROE RICHARD"));
        RightClickRow(*d, patient);
        QMenu* menu = WaitForMenu(*d);
        QVERIFY(menu);
        QCOMPARE(tree->Selected(), tree->ItemOf(patient));
        QCOMPARE(Texts(menu),
            (QStringList { "Expand all", "Collapse all", "-", "Open containing folder\tCtrl+Alt+O", "-",
                "Keyboard shortcuts...\tF1" }));
        ChooseItem(menu, "Expand all");
        for (QTreeWidgetItem* row : branch(patient))
            QVERIFY2(row->isExpanded(), qPrintable(row->text(0)));
        QVERIFY(!tree->topLevelItem(0)->isExpanded());

        QTreeWidgetItem* series = patient->child(0)->child(0);
        RightClickRow(*d, series);
        QVERIFY(WaitForMenu(*d));
        QCOMPARE(tree->Selected(), tree->ItemOf(series));
        ChooseItem(WaitForMenu(*d), "Open containing folder");
        QCOMPARE(shown.size(), 1);
        QCOMPARE(QUrl::fromEncoded(shown.first()), QUrl::fromLocalFile(m_folder.Path() + "/DICOM/MR_BRAIN"));

        RightClickRow(*d, patient);
        ChooseItem(WaitForMenu(*d), "Collapse all");
        for (QTreeWidgetItem* row : branch(patient))
            QVERIFY2(!row->isExpanded(), qPrintable(row->text(0)));

        // The Menu key on a selected study: the same menu.
        patient->setExpanded(true);
        tree->Select(tree->ItemOf(patient->child(0)));
        tree->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return !d->Menus().OpenMenu(); }, kEventWaitMs));
        QTest::keyClick(tree, Qt::Key_Menu);
        menu = WaitForMenu(*d);
        QVERIFY(menu);
        QCOMPARE(Texts(menu).first(), QString("Expand all"));
        QCOMPARE(tree->Selected(), tree->ItemOf(patient->child(0)));
        menu->close();
        SetDialogs(std::move(previous));
    }

    // A command that cannot act shows greyed out in every menu that lists it, and its key does
    // nothing, without a word: a series of files without pixels, tiles that show nothing, a
    // folder removed since the scan.
    void commandsThatCannotActAreGreyedAndTheirKeysDoNothing()
    {
        QTemporaryDir dir;
        const QString gone = dir.filePath("gone");
        QDir().mkpath(gone);
        QVERIFY(QFile::copy(SampleFolder() + "/CT_HEAD/CT001.dcm", gone + "/CT001.dcm"));
        WriteFileWithoutPixels(dir.filePath("report/report.dcm"));
        QList<QByteArray> shown;
        auto watched = std::make_unique<WatchedDialogs>(shown);
        WatchedDialogs* dialogs = watched.get();
        dialogs->savePath = dir.filePath("exported.png");
        auto previous = SetDialogs(std::move(watched));
        auto d = MakeViewer(QString(), m_answers);
        d->OpenPaths({ QFile::encodeName(dir.filePath("report")).toStdString(),
            QFile::encodeName(gone).toStdString() });
        ExamTree* tree = d->Tree();
        tree->expandAll();
        const auto closeMenu = [&] {
            d->Menus().OpenMenu()->close();
            QVERIFY(QTest::qWaitFor([&] { return !d->Menus().OpenMenu(); }, kEventWaitMs));
        };

        // The series without an image is selected at start and every tile is empty.
        const QList<QTreeWidgetItem*> found
            = tree->findItems("Report", Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        QTreeWidgetItem* report = found.first();
        QTreeWidgetItem* patient = report->parent()->parent();
        QCOMPARE(report->childCount(), 0);
        QCOMPARE(tree->Selected(), tree->ItemOf(report));
        for (QTreeWidgetItem* row : { report, patient }) {
            RightClickRow(*d, row);
            QMenu* menu = WaitForMenu(*d);
            QVERIFY(menu);
            QCOMPARE(Greyed(menu), QStringList { "Open containing folder" });
            closeMenu();
        }
        d->Button(ID_TILE1)->setFocus();
        QTest::keyClick(d.get(), Qt::Key_Menu);
        QMenu* menu = WaitForMenu(*d);
        QVERIFY(menu);
        QCOMPARE(Greyed(menu),
            (QStringList { "Brain window (80 / 40 HU)", "Soft tissue window (400 / 40 HU)",
                "Lung window (1500 / -600 HU)", "Bone window (2000 / 300 HU)", "Abdomen window (350 / 50 HU)",
                "DICOM tags...", "Save Image...", "Copy image", "Export image as PNG..." }));
        closeMenu();
        QApplication::clipboard()->setText("before");
        m_answers.saveAsked = 0;
        for (const QKeyCombination key :
            { Qt::CTRL | Qt::ALT | Qt::Key_O, Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::Key_D,
                Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_E, QKeyCombination(Qt::Key_F6) })
            QTest::keyClick(d.get(), key.key(), key.keyboardModifiers());
        QVERIFY(shown.isEmpty());
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(m_answers.saveAsked, 0);
        QVERIFY(!d->Aids()->Tags());
        QCOMPARE(QApplication::clipboard()->text(), QString("before"));
        QVERIFY(!QFileInfo::exists(dialogs->savePath));
        QCOMPARE(d->Aids()->Window(), WindowChoice {});

        // A CT image: everything can act on it, until its file is removed (there is nothing left
        // to list or save), then its folder.
        QTreeWidgetItem* image = tree->topLevelItem(tree->indexOfTopLevelItem(patient) == 0 ? 1 : 0);
        while (image->childCount() > 0)
            image = image->child(0);
        tree->Select(tree->ItemOf(image));
        QVERIFY(TileOf(*d, 0)->ImageShown());
        TileWindow* tile = TileOf(*d, 0);
        d->Menus().Open(IMAGE_MENU, tile->mapToGlobal(ImageCentre(tile)));
        QCOMPARE(Greyed(WaitForMenu(*d)), QStringList {});
        closeMenu();
        RightClickRow(*d, image);
        QCOMPARE(Greyed(WaitForMenu(*d)), QStringList {});
        closeMenu();
        QVERIFY(QFile::remove(gone + "/CT001.dcm"));
        const QStringList nothingToRead { "DICOM tags...", "Save Image..." };
        d->Menus().Open(IMAGE_MENU, tile->mapToGlobal(ImageCentre(tile)));
        QCOMPARE(Greyed(WaitForMenu(*d)), nothingToRead);
        closeMenu();
        RightClickRow(*d, image);
        QCOMPARE(Greyed(WaitForMenu(*d)), nothingToRead);
        closeMenu();
        QVERIFY(QDir(gone).removeRecursively());
        RightClickRow(*d, image);
        QCOMPARE(Greyed(WaitForMenu(*d)), nothingToRead + QStringList { "Open containing folder" });
        closeMenu();
        QTest::keyClick(d.get(), Qt::Key_O, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(d.get(), Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(d.get(), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(shown.isEmpty());
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(m_answers.saveAsked, 0);
        QVERIFY(!d->Aids()->Tags());
        SetDialogs(std::move(previous));
    }

    void helpListsEveryCommandOfTheTable()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        QTest::keyClick(d.get(), Qt::Key_F1);
        auto* help = d->findChild<KeyHelpWindow*>();
        QVERIFY(help && help->isVisible());
        QStringList rows;
        for (int k = 0; k < help->List()->topLevelItemCount(); ++k)
            rows << help->List()->topLevelItem(k)->text(0) + " | " + help->List()->topLevelItem(k)->text(1);
        // One row per command, in the table's order; a command without a key has none shown.
        QStringList expected;
        for (const Command& command : d->Commands().Entries())
            expected << command.key.toString(QKeySequence::NativeText) + " | "
                    + QString(command.text).remove("...");
        QCOMPARE(rows, expected);
        for (const char* row : { "R | Ruler", "F1 | Keyboard shortcuts", "Menu | Context menu",
                 "Ctrl+S | Save Image", "PgDown | Next image", "Ctrl+Q | Quit", " | Expand all",
                 " | Collapse all", "Ctrl+Alt+O | Open containing folder", "Ctrl+E | Export image as PNG" })
            QVERIFY2(rows.contains(row), row);
        // Every line whole: both columns as wide as their longest text, and the list as wide as both.
        QTreeWidget* list = help->List();
        const QFontMetrics metrics(list->font());
        for (int k = 0; k < list->topLevelItemCount(); ++k)
            for (int column : { 0, 1 })
                QVERIFY2(metrics.horizontalAdvance(list->topLevelItem(k)->text(column))
                        < list->columnWidth(column),
                    qPrintable(list->topLevelItem(k)->text(column)));
        QVERIFY(list->header()->length() <= list->viewport()->width());
        // A second F1 shows the same window.
        d->activateWindow();
        QTest::keyClick(d.get(), Qt::Key_F1);
        QCOMPARE(d->findChildren<KeyHelpWindow*>().size(), 1);
    }
};

QTEST_MAIN(ContextMenusTest)
#include "context_menus_qtest.moc"
