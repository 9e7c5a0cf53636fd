// MainDialog driven through its real widgets, with a recording image area and scripted prompts.
#include "app/controls.h"
#include "app/exam_tree.h"
#include "app/main_dialog.h"
#include "tests/app/event_wait.h"
#include "tests/app/hostile_folder.h"
#include "toolkit/built_in_tables.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

using namespace velmora;
using velmora::testing::kEventWaitMs;

namespace {

struct Calls {
    std::vector<FourSlots> shown;
    std::vector<FourPaths> pictures;
    std::vector<double> zooms;
    int mode = 1;
    bool mirror = false, flip = false, invert = false;
    int mirrorApplied = 0, windowLevel = 0;
    std::vector<int> interaction;
    std::vector<int> annotations;
    bool holdsImage = false;
    std::pair<int, int> resized { 0, 0 };
};

class RecordingArea : public ImageArea {
public:
    explicit RecordingArea(Calls& calls)
        : m(calls)
    {
    }
    void Create(QWidget* parent) override
    {
        m_tile = new QWidget(parent);
        m_tile->setGeometry(0, 50, 743, 589);
    }
    void SetMode(int mode) override { m.mode = mode; }
    int Mode() const override { return m.mode; }
    void Resize(int right, int bottom) override { m.resized = { right, bottom }; }
    void ShowImages(const FourSlots& four) override { m.shown.push_back(four); }
    void ShowPictures(const FourPaths& four) override { m.pictures.push_back(four); }
    void SetMirror(bool on) override { m.mirror = on; }
    void SetFlip(bool on) override { m.flip = on; }
    void SetInvert(bool on) override { m.invert = on; }
    void ApplyMirror() override { ++m.mirrorApplied; }
    void ApplyFlip() override { }
    void ApplyInvert() override { }
    void SetZoom(double factor) override { m.zooms.push_back(factor); }
    void ToggleWindowLevel() override { ++m.windowLevel; }
    void SetInteractionMode(InteractionMode mode) override
    {
        m.interaction.push_back(static_cast<int>(mode));
    }
    void ChooseAnnotation(AnnotationKind kind) override { m.annotations.push_back(static_cast<int>(kind)); }
    void ChooseText(const std::string&) override { }
    bool TileHoldsImage(int index) const override { return m.holdsImage && index == 0; }
    QWidget* Tile(int index) const override { return index == 0 ? m_tile : nullptr; }

private:
    Calls& m;
    QWidget* m_tile = nullptr;
};

struct Answers {
    QString folder;
    QStringList warnings;
};

class ScriptedPrompts : public UserPrompts {
public:
    explicit ScriptedPrompts(Answers& answers)
        : a(answers)
    {
    }
    QString ChooseFolder(QWidget*, const QString&) override { return a.folder; }
    QString ChooseOpenFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(QWidget*) override { return {}; }
    void Warn(QWidget*, const QString&, const QString& text) override { a.warnings << text; }
    bool AskAnnotationText(QWidget*, QString&) override { return false; }

private:
    Answers& a;
};

QString SampleFolder()
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/resources/DICOM";
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private:
    Calls calls;
    Answers answers;
    QTemporaryDir programFolder;

    std::unique_ptr<MainDialog> Make(bool withSamples)
    {
        calls = Calls {};
        answers = Answers {};
        QDir(programFolder.path()).removeRecursively();
        QDir().mkpath(programFolder.path() + "/DICOM");
        if (withSamples) {
            for (const char* name :
                { "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "CT_HEAD/CT005.dcm", "MR_BRAIN/MR001.dcm" }) {
                QDir().mkpath(QFileInfo(programFolder.path() + "/DICOM/" + QString(name)).path());
                QFile::copy(
                    SampleFolder() + "/" + QString(name), programFolder.path() + "/DICOM/" + QString(name));
            }
        }
        auto dialog = std::make_unique<MainDialog>(programFolder.path(),
            std::make_unique<RecordingArea>(calls), std::make_unique<ScriptedPrompts>(answers));
        dialog->Initialise();
        dialog->show();
        if (!QTest::qWaitForWindowExposed(dialog.get(), kEventWaitMs))
            QTest::qFail("the main window was not exposed", __FILE__, __LINE__);
        return dialog;
    }

private slots:
    void initTestCase() { InstallBuiltInTables(); }

    void startsEmptyWithTheTemplateState()
    {
        auto d = Make(false);
        QCOMPARE(d->windowTitle(), QString(" Velmora - Image Preview - "));
        QCOMPARE(d->size(), QSize(918, 638));
        QCOMPARE(d->Tree()->topLevelItemCount(), 0);
        QCOMPARE(d->Tree()->geometry().bottom() + 1, d->height() - 70);
        QVERIFY(!d->Pictures()->isVisible());
        QVERIFY(!d->Control(ID_JPEG_CAPTION)->isVisible());
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("100"));
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX))->text(), QString("10"));
        QCOMPARE(d->Button(ID_TILE1)->GetCheck(), 1);
        QCOMPARE(d->Button(ID_TILE4)->GetCheck(), 0);
        // Hidden controls stay hidden and disabled; the toolbar buttons take their bitmap's size.
        for (int id :
            { ID_APPLY_ALL, ID_RULER, ID_ANGLE, ID_TEXT, ID_ARROW, ID_SELECT, ID_SAVE_IMAGE, ID_OK }) {
            QVERIFY2(!d->Control(id)->isVisible() && !d->Control(id)->isEnabled(),
                qPrintable(QString::number(id)));
        }
        QCOMPARE(d->Button(ID_LOAD)->size(), QSize(40, 50));
        QCOMPARE(d->Button(ID_NEXT)->size(), QSize(20, 50));
        QCOMPARE(d->Button(ID_NEXT)->toolTip(), QString("Next Image"));
        QCOMPARE(d->Button(ID_REFLECT_Y)->toolTip(), QString("Reflect X"));
        QCOMPARE(d->Button(ID_LOAD)->geometry().topLeft(), QPoint(0, 0));
        QCOMPARE(d->Button(ID_BROWSE)->geometry().topLeft(), QPoint(39, 0));
        QCOMPARE(d->Tree()->x(), 744);
        // The toolbar paints on black: a pixel between the buttons' row and the tiles.
        const QImage shot = d->grab().toImage();
        QCOMPARE(QColor(shot.pixel(900, 60)), QColor(0, 0, 0));
    }

    void tabFollowsTheTemplateOrder()
    {
        auto d = Make(false);
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        d->Button(ID_LOAD)->setFocus();
        const QList<int> expected = { ID_BROWSE, ID_WINDOW_LEVEL, ID_INVERT, ID_ZOOM_IN, ID_ZOOM_BOX,
            ID_ZOOM_OUT, ID_REFLECT_Y, ID_REFLECT_X, ID_CINE, ID_FPS_BOX, ID_RESET, ID_TILE1, ID_TILE4,
            ID_PREVIOUS, ID_NEXT, ID_LOAD_ALL, ID_EXAM_TREE, ID_LOAD };
        QList<int> seen;
        for (qsizetype k = 0; k < expected.size(); ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << ControlId(QApplication::focusWidget());
        }
        QCOMPARE(seen, expected);
    }

    void escapeDoesNothing()
    {
        auto d = Make(false);
        QTest::keyClick(d.get(), Qt::Key_Escape);
        QTest::keyClick(d->Tree(), Qt::Key_Escape);
        QVERIFY(d->isVisible());
        QCOMPARE(d->result(), 0);
    }

    void samplesFillTheTreeAndShowTheFirstImage()
    {
        auto d = Make(true);
        QCOMPARE(d->Tree()->topLevelItemCount(), 2);
        QCOMPARE(d->Tree()->topLevelItem(1)->text(0), QString("ROE RICHARD"));
        QTreeWidgetItem* patient = d->Tree()->topLevelItem(0);
        QCOMPARE(patient->text(0), QString("DOE JANE"));
        QCOMPARE(patient->child(0)->text(0), QString("CT Head"));
        QTreeWidgetItem* series = patient->child(0)->child(0);
        QCOMPARE(series->childCount(), 3);
        QCOMPARE(series->child(2)->text(0), QString("Image  3"));
        QVERIFY(!calls.shown.empty());
        QVERIFY(calls.shown.back()[0].path.ends_with("CT_HEAD/CT001.dcm"));
        QCOMPARE(calls.shown.back()[0].frame, 1);
    }

    void wheelStepsThroughTheSeries_data()
    {
        // Angle deltas of the events in turn, and the image selected afterwards, from image 1 of
        // the three-image CT series (stepping wraps within the series).
        QTest::addColumn<QList<QPoint>>("deltas");
        QTest::addColumn<QString>("selected");
        QTest::newRow("down: next") << QList<QPoint> { { 0, -120 } } << "Image  2";
        QTest::newRow("up: previous, wrapping") << QList<QPoint> { { 0, 120 } } << "Image  3";
        QTest::newRow("down then up") << QList<QPoint> { { 0, -120 }, { 0, 120 } } << "Image  1";
        QTest::newRow("two notches in one event") << QList<QPoint> { { 0, -240 } } << "Image  3";
        QTest::newRow("tilt right") << QList<QPoint> { { -120, 0 } } << "Image  1";
        QTest::newRow("tilt left") << QList<QPoint> { { 120, 0 } } << "Image  1";
        QTest::newRow("sideways swipe") << QList<QPoint> { { 40, 0 }, { 40, 0 }, { 40, 0 } } << "Image  1";
        QTest::newRow("no movement") << QList<QPoint> { { 0, 0 } } << "Image  1";
        QTest::newRow("diagonal: its vertical part") << QList<QPoint> { { -60, -120 } } << "Image  2";
        QTest::newRow("fine wheel: thirds add up")
            << QList<QPoint> { { 0, -40 }, { 0, -40 }, { 0, -40 } } << "Image  2";
        QTest::newRow("fine wheel: reversing drops the part")
            << QList<QPoint> { { 0, -60 }, { 0, 60 }, { 0, -60 } } << "Image  1";
    }

    void wheelStepsThroughTheSeries()
    {
        QFETCH(QList<QPoint>, deltas);
        QFETCH(QString, selected);
        // Over a toolbar button and over the tree alike.
        for (const bool overTree : { false, true }) {
            auto d = Make(true);
            QCOMPARE(d->Tree()->Model().Label(d->Tree()->Selected()), std::string("Image  1"));
            QWidget* under = overTree ? d->Tree()->viewport() : static_cast<QWidget*>(d->Button(ID_LOAD));
            for (const QPoint delta : deltas) {
                QWheelEvent event(QPointF(10, 10), under->mapToGlobal(QPointF(10, 10)), QPoint(), delta,
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(under, &event);
            }
            QCOMPARE(QString::fromStdString(d->Tree()->Model().Label(d->Tree()->Selected())), selected);
        }
    }

    void dragOverTheTreeZoomsAndNeverSelects()
    {
        auto d = Make(true);
        calls.holdsImage = true;
        ExamTree* tree = d->Tree();
        QTreeWidgetItem* first = tree->WidgetItemOf(tree->Selected());
        QTreeWidgetItem* series = first->parent();
        const auto at = [&](int image) { return tree->visualItemRect(series->child(image)).center(); };
        const auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint p) {
            QMouseEvent event(
                type, QPointF(p), tree->viewport()->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
            QApplication::sendEvent(tree->viewport(), &event);
        };
        // A left drag from image 2 down over image 3, and a right drag from the selected image: the
        // selection stays on image 1 and nothing is loaded.
        for (const auto& [button, from] : { std::pair(Qt::LeftButton, 1), std::pair(Qt::RightButton, 0) }) {
            const size_t loads = calls.shown.size();
            send(QEvent::MouseButtonPress, button, button, at(from));
            send(QEvent::MouseMove, Qt::NoButton, button, at(from) + QPoint(0, 6));
            send(QEvent::MouseMove, Qt::NoButton, button, at(2));
            send(QEvent::MouseButtonRelease, button, Qt::NoButton, at(2));
            QCOMPARE(tree->Selected(), tree->ItemOf(first));
            QCOMPARE(calls.shown.size(), loads);
        }
        // The left drag moved down over the tree: drag-zoom steps out (the first move is its first
        // sample); the right drag is no zoom.
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("99"));
        // A click selects at its release; a click on the selected image shows it again.
        send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, at(1));
        QCOMPARE(tree->Selected(), tree->ItemOf(first));
        send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, at(1));
        QCOMPARE(tree->Selected(), tree->ItemOf(series->child(1)));
        QVERIFY(calls.shown.back()[0].path.ends_with("CT002.dcm"));
        const size_t loads = calls.shown.size();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at(1));
        QCOMPARE(calls.shown.size(), loads + 1);
        // The keyboard selects.
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->Selected(), tree->ItemOf(series->child(2)));
        QVERIFY(calls.shown.back()[0].path.ends_with("CT005.dcm"));
        // A double click opens and closes a series.
        QTest::mouseDClick(
            tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(series).center());
        QVERIFY(!series->isExpanded());
        QTest::mouseDClick(
            tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(series).center());
        QVERIFY(series->isExpanded());
    }

    void nextAndPreviousWrapOrCrossWithTheWholeList()
    {
        auto d = Make(true);
        d->Previous();
        QCOMPARE(d->Tree()->Model().Label(d->Tree()->Selected()), std::string("Image  3"));
        d->Next();
        QCOMPARE(d->Tree()->Model().Label(d->Tree()->Selected()), std::string("Image  1"));
        d->Button(ID_LOAD_ALL)->click();
        QVERIFY(d->WholeList());
        d->Previous(); // first image of the tree: to the very last one (the MR series)
        std::string path;
        d->Tree()->Model().GetPath(d->Tree()->Selected(), path);
        QVERIFY(path.ends_with("MR001.dcm"));
    }

    void zoomStepsTruncateAndStopAtTheLimits()
    {
        auto d = Make(false);
        auto* box = qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX));
        for (int k = 0; k < 10; ++k)
            d->Button(ID_ZOOM_IN)->click();
        QCOMPARE(box->text(), QString("200"));
        QCOMPARE(d->Button(ID_ZOOM_IN)->GetCheck(), 0);
        for (int k = 0; k < 30; ++k)
            d->ZoomIn();
        QCOMPARE(box->text(), QString("400"));
        const double atLimit = d->Zoom();
        d->ZoomIn();
        QCOMPARE(d->Zoom(), atLimit);

        auto d2 = Make(false);
        auto* box2 = qobject_cast<QLineEdit*>(d2->Control(ID_ZOOM_BOX));
        QStringList seen;
        for (int k = 0; k < 12; ++k) {
            d2->Button(ID_ZOOM_OUT)->click();
            seen << box2->text();
        }
        QCOMPARE(seen.mid(0, 9), QStringList({ "90", "80", "70", "60", "50", "40", "30", "20", "10" }));
        QCOMPARE(seen.last(), QString("10")); // held at 10 %
        QVERIFY(d2->Zoom() > 0.0999);
    }

    void dragZoomStepsByHundredths()
    {
        auto d = Make(true);
        QWidget* tile = d->Area().Tile(0);
        auto move = [&](int y) {
            QMouseEvent event(QEvent::MouseMove, QPointF(100, y), tile->mapToGlobal(QPointF(100, y)),
                Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(tile, &event);
        };
        move(100); // first sample; no image in tile 0 yet
        calls.holdsImage = true;
        move(90);
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("101"));
        move(95);
        move(99);
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("99"));
        QCOMPARE(d->ZoomStep(), 0.1);
        // Hundredths added up in binary fall a hair short of the percentage they make: fifty more
        // steps out (99 % less 50 %) read 49, not 48, and forty back in 89.
        for (int y = 100; y < 150; ++y)
            move(y);
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("49"));
        for (int y = 148; y >= 109; --y)
            move(y);
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("89"));
        d->Button(ID_WINDOW_LEVEL)->click(); // a checked tool stops drag-zoom
        QCOMPARE(calls.windowLevel, 1);
        move(10);
        QCOMPARE(qobject_cast<QLineEdit*>(d->Control(ID_ZOOM_BOX))->text(), QString("89"));
    }

    void cineTicksAndRefusesZero()
    {
        auto d = Make(true);
        QSignalSpy steps(d->Tree(), &ExamTree::SelectionChanged);
        d->Button(ID_CINE)->click();
        QVERIFY(d->CineRunning());
        QCOMPARE(d->CineInterval(), 100);
        QVERIFY(steps.wait(kEventWaitMs)); // the timer's tick steps
        d->Button(ID_CINE)->click();
        QVERIFY(!d->CineRunning());
        qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX))->setText("0");
        d->Button(ID_CINE)->click();
        QVERIFY(!d->CineRunning());
        QCOMPARE(answers.warnings, QStringList({ "Invalid value for the number of frames per second." }));
        qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX))->setText("abc");
        d->CinePlayStop();
        QCOMPARE(answers.warnings.last(), QString("Invalid value for the number of frames per second."));
        QVERIFY(answers.warnings.contains("Please enter a positive integer."));
        qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX))->setText("7");
        d->CinePlayStop();
        QCOMPARE(d->CineInterval(), 142);
        d->CinePlayStop();
    }

    // Cine ticks (timer events of the cine timer) step like Next: to the series' first image after
    // its last, or on through the tree and back to its first image with the whole list. Rates
    // above 1000 fps give a period of 0, run at the shortest the platform has.
    void cineWrapsAtTheEndOfASeriesAndClampsTheRate()
    {
        auto d = Make(true);
        const ExamModel& model = d->Tree()->Model();
        auto selected = [&] {
            std::string path;
            model.GetPath(d->Tree()->Selected(), path);
            return QFileInfo(QString::fromStdString(path)).fileName();
        };
        auto tick = [&] {
            QTimerEvent event(d->CineTimerId());
            QCoreApplication::sendEvent(d.get(), &event);
        };
        qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX))->setText("1"); // no tick of its own meanwhile
        d->CinePlayStop();
        QVERIFY(d->CineRunning());
        QCOMPARE(d->CineInterval(), 1000);
        QStringList seen;
        for (int k = 0; k < 4; ++k) {
            tick();
            seen << selected();
        }
        QCOMPARE(seen, QStringList({ "CT002.dcm", "CT005.dcm", "CT001.dcm", "CT002.dcm" }));
        d->Button(ID_LOAD_ALL)->click();
        seen.clear();
        for (int k = 0; k < 3; ++k) {
            tick();
            seen << selected();
        }
        QCOMPARE(seen, QStringList({ "CT005.dcm", "MR001.dcm", "CT001.dcm" }));
        d->CinePlayStop();
        QVERIFY(!d->CineRunning());

        auto* box = qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX));
        for (const char* rate : { "1001", "4294967295" }) {
            box->setText(rate);
            d->CinePlayStop();
            QVERIFY(d->CineRunning());
            QCOMPARE(d->CineInterval(), 0);
            QSignalSpy steps(d->Tree(), &ExamTree::SelectionChanged);
            QVERIFY(steps.wait(kEventWaitMs)); // the timer does run
            d->CinePlayStop();
        }
        // One more than an unsigned 32-bit number is no number: the last rate stays.
        box->setText("4294967296");
        answers.warnings.clear();
        d->CinePlayStop();
        QCOMPARE(answers.warnings, QStringList({ "Please enter a positive integer." }));
        QCOMPARE(d->CineInterval(), 0);
        d->CinePlayStop();
        QVERIFY(!d->CineRunning());
    }

    void mirrorStaysForLaterImages()
    {
        auto d = Make(true);
        d->Button(ID_REFLECT_X)->click();
        QVERIFY(d->MirrorState());
        QVERIFY(calls.mirror);
        QCOMPARE(d->Button(ID_REFLECT_X)->GetCheck(), 0);
        d->Next();
        QVERIFY(calls.mirror); // the grid hands it to every later load
        d->Button(ID_REFLECT_X)->click();
        QVERIFY(!calls.mirror);
        QCOMPARE(calls.mirrorApplied, 2);
    }

    void fourUpCollectsSiblingsOrTheWholeList()
    {
        auto d = Make(true);
        d->Button(ID_TILE4)->click();
        QCOMPARE(calls.mode, 4);
        QCOMPARE(d->Button(ID_TILE1)->GetCheck(), 0);
        FourSlots last = calls.shown.back();
        QVERIFY(last[2].path.ends_with("CT005.dcm"));
        QVERIFY(last[3].path.empty());
        d->Button(ID_LOAD_ALL)->click();
        last = calls.shown.back();
        QVERIFY(last[3].path.ends_with("MR001.dcm"));
    }

    void wideningMovesTheRightPanel()
    {
        auto d = Make(true);
        const QPoint tree = d->Tree()->pos(), logo = d->Control(ID_LOGO)->pos(),
                     ok = d->Control(ID_OK)->pos(), caption = d->Control(ID_DICOM_CAPTION)->pos(),
                     load = d->Button(ID_LOAD)->pos();
        const size_t before = calls.shown.size();
        d->resize(d->width() + 100, d->height());
        QCOMPARE(d->Tree()->pos(), tree + QPoint(100, 0));
        QCOMPARE(d->Control(ID_LOGO)->pos(), logo + QPoint(100, 0));
        QCOMPARE(d->Control(ID_OK)->pos(), ok + QPoint(100, 0));
        QCOMPARE(d->Control(ID_DICOM_CAPTION)->pos(), caption + QPoint(100, 0));
        QCOMPARE(d->Button(ID_LOAD)->pos(), load);
        QCOMPARE(calls.resized, std::make_pair(1018 - 174, 638));
        QVERIFY(calls.shown.size() > before); // the 1-up command ran again
        // Minimize: nothing; restore: the tile command runs again.
        const size_t shown = calls.shown.size();
        d->OnSize(true, 0, 0);
        QCOMPARE(calls.shown.size(), shown);
        d->OnSize(false, d->width(), d->height());
        QCOMPARE(calls.shown.size(), shown + 1);
    }

    // Patient labels as pydicom decodes the names (str(PatientName) with "^" read as a blank).
    void labelsAreDecodedByTheFilesCharacterSets()
    {
        auto d = Make(false);
        QTemporaryDir root;
        const QString charsets = "/usr/lib/python3/dist-packages/pydicom/data/charset_files/";
        for (const char* name : { "chrFren.dcm", "chrH31.dcm", "chrI2.dcm", "chrX2.dcm" })
            QVERIFY(QFile::copy(charsets + name, root.path() + "/" + name));
        answers.folder = root.path();
        d->Button(ID_BROWSE)->click();
        QStringList labels;
        for (int i = 0; i < d->Tree()->topLevelItemCount(); ++i)
            labels << d->Tree()->topLevelItem(i)->text(0);
        QCOMPARE(labels,
            QStringList(
                { QString::fromUtf8("Buc Jérôme"), QString::fromUtf8("Yamada Tarou=山田 太郎=やまだ たろう"),
                    QString::fromUtf8("Hong Gildong=洪 吉洞=홍 길동"),
                    QString::fromUtf8("Wang XiaoDong=王 小东") }));
    }

    void browseIntoNestedFoldersAndPictures()
    {
        auto d = Make(false);
        QTemporaryDir root;
        QDir().mkpath(root.path() + "/one/two");
        QFile::copy(SampleFolder() + "/MR_BRAIN/MR001.dcm", root.path() + "/one/two/a.dcm");
        QFile::copy(SampleFolder() + "/OTHER/RGB001.dcm", root.path() + "/one/b.dcm");
        QFile jpeg(root.path() + "/one/photo.JPG");
        QVERIFY(jpeg.open(QIODevice::WriteOnly));
        jpeg.close();
        answers.folder = root.path();
        d->Button(ID_BROWSE)->click();
        QCOMPARE(d->Tree()->topLevelItemCount(), 1);
        QCOMPARE(d->Tree()->topLevelItem(0)->childCount(), 2); // MR Brain and Photos
        QVERIFY(d->JpegFound());
        QVERIFY(d->Pictures()->isVisible());
        QCOMPARE(d->Pictures()->topLevelItem(0)->text(0), QString("photo.JPG"));
        QCOMPARE(d->Tree()->geometry().bottom() + 1, d->height() / 2);
        // Cancelling the browser changes nothing.
        answers.folder.clear();
        d->Button(ID_BROWSE)->click();
        QCOMPARE(d->Tree()->topLevelItemCount(), 1);
    }

    void browseFinishesInAHostileFolderAndFilesEachImageOnce()
    {
        auto d = Make(false);
        const testing::HostileFolder folder;
        // A picture whose name is not UTF-8 (Latin-1 "é").
        const std::string picture = folder.Root() + "/b/\xe9t\xe9.jpg";
        QImage(4, 3, QImage::Format_RGB32)
            .save(QFile::decodeName(QByteArray::fromStdString(folder.Root())) + "/p.jpg");
        QCOMPARE(::rename((folder.Root() + "/p.jpg").c_str(), picture.c_str()), 0);
        answers.folder = QFile::decodeName(QByteArray::fromStdString(folder.Root()));
        d->Button(ID_BROWSE)->click();
        QCOMPARE(testing::HostileFolder::FiledPaths(d->Tree()->Model()), folder.SortedImages());
        QVERIFY(!calls.shown.empty());
        // The picture keeps its bytes and shows readably.
        QCOMPARE(d->Pictures()->Count(), 1);
        QCOMPARE(d->Pictures()->PathAt(0), picture);
        QCOMPARE(d->Pictures()->topLevelItem(0)->text(0), QString("\u00e9t\u00e9.jpg"));
        d->Pictures()->setCurrentItem(d->Pictures()->topLevelItem(0));
        QTest::mouseClick(d->Pictures()->viewport(), Qt::LeftButton, {},
            d->Pictures()->visualItemRect(d->Pictures()->topLevelItem(0)).center());
        QVERIFY(!calls.pictures.empty());
        QCOMPARE(calls.pictures.back()[0], picture);
    }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_qtest.moc"
