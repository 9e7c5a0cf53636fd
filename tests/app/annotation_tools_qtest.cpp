// The annotation tools driven the way the viewer drives them: MainDialog's tool commands fan out
// through the real tile grid to the tiles, the mouse draws on tile 0, the calibration prompt is
// armed once per run in 1-up only, and the "Annotations Text" dialog asks for the text.
#include "app/controls.h"
#include "app/exam_tree.h"
#include "app/main_dialog.h"
#include "app/tile_grid.h"
#include "app/user_prompts.h"
#include "canvas/annotation_canvas.h"
#include "canvas/annotation_install.h"
#include "canvas/calibrate_dialog.h"
#include "tests/app/event_wait.h"
#include "toolkit/built_in_tables.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

using namespace velmora;

namespace {

class TextPrompts : public UserPrompts {
public:
    QString text;
    bool ok = true;
    int asked = 0;
    QString ChooseFolder(QWidget*, const QString&) override { return {}; }
    QString ChooseOpenFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(QWidget*) override { return {}; }
    void Warn(QWidget*, const QString&, const QString&) override { }
    bool AskAnnotationText(QWidget*, QString& answer) override
    {
        ++asked;
        answer = text;
        return ok;
    }
};

QString SampleFolder()
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/resources/DICOM";
}

void Mouse(QWidget* tile, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint p)
{
    QMouseEvent event(type, QPointF(p), tile->mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(tile, &event);
}

void DragLine(QWidget* tile, QPoint from, QPoint to)
{
    Mouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
    Mouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, to);
    Mouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, to);
}

// Counts CalibrateDialogs opened while it lives, answering each with `millimetres` and OK.
class CalibrationAnswers : public QObject {
public:
    int opened = 0;
    QString pixels;
    void Answer(const QString& millimetres)
    {
        QTimer::singleShot(0, this, [this, millimetres] {
            auto* dialog = qobject_cast<CalibrateDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            ++opened;
            pixels = dialog->PixelsLabel()->text();
            dialog->MillimetreEdit()->setText(millimetres);
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        });
    }
    int Opened()
    {
        QCoreApplication::processEvents();
        return opened;
    }
};

} // namespace

class AnnotationToolsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    TextPrompts* m_prompts = nullptr;

    std::unique_ptr<MainDialog> Make()
    {
        QDir().mkpath(m_folder.path() + "/DICOM/CT_HEAD");
        for (const char* name : { "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm" })
            QFile::copy(SampleFolder() + "/" + name, m_folder.path() + "/DICOM/" + name);
        auto prompts = std::make_unique<TextPrompts>();
        m_prompts = prompts.get();
        auto dialog = std::make_unique<MainDialog>(m_folder.path(), nullptr, std::move(prompts));
        dialog->Initialise();
        dialog->show();
        if (!QTest::qWaitForWindowExposed(dialog.get(), testing::kEventWaitMs))
            QTest::qFail("the main window was not exposed", __FILE__, __LINE__);
        return dialog;
    }
    static TileWindow* Tile(MainDialog& d, int k) { return qobject_cast<TileWindow*>(d.Area().Tile(k)); }
    static AnnotationCanvas* CanvasOf(TileWindow* tile)
    {
        return tile ? dynamic_cast<AnnotationCanvas*>(tile->Binding().Canvas()) : nullptr;
    }
    // Checks button `id` and runs its command, as a click does.
    static void Click(MainDialog& d, int id, bool checked = true)
    {
        d.Button(id)->SetCheck(checked ? 1 : 0);
        d.RunCommand(id);
    }
    // A point `dx`, `dy` from the centre of the tile's image.
    static QPoint InImage(TileWindow* tile, int dx, int dy)
    {
        const PixelRect& r = tile->ImageRect();
        return { (r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2 + dy };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(InstallBuiltInTables() == SUCCESS);
        InstallAnnotationCanvas();
    }

    void toolCommandsDrawOnTheShownImage()
    {
        auto d = Make();
        TileWindow* tile = Tile(*d, 0);
        QVERIFY(tile && tile->ImageShown());
        AnnotationCanvas* canvas = CanvasOf(tile);
        QVERIFY(canvas);
        QCOMPARE(canvas->Mode(), CanvasMode::Off);

        Click(*d, ID_ARROW);
        QCOMPARE(canvas->Mode(), CanvasMode::Draw);
        QCOMPARE(canvas->Tool(), ToolKind::Arrow);
        DragLine(tile, InImage(tile, -50, 0), InImage(tile, 50, 0));
        QCOMPARE(tile->Layer().Shapes().size(), size_t(1));
        QCOMPARE(tile->Framebuffer().pixel(InImage(tile, 0, 0)) & 0xFFFFFF, 0xFFFF00u);

        Click(*d, ID_ANGLE);
        QCOMPARE(d->Button(ID_ARROW)->GetCheck(), 0);
        QCOMPARE(canvas->Tool(), ToolKind::Angle);
        for (QPoint p : { InImage(tile, 0, 40), InImage(tile, 60, 40), InImage(tile, 0, -20) }) {
            Mouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, p);
            Mouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, p);
        }
        QCOMPARE(tile->Layer().Shapes().size(), size_t(2));
        QCOMPARE(canvas->LabelOf(tile->Layer().Shapes()[1]), std::string("90.0"));

        m_prompts->text = "Left";
        Click(*d, ID_TEXT);
        QCOMPARE(m_prompts->asked, 1);
        QCOMPARE(d->Button(ID_TEXT)->GetCheck(), 0); // the tool stays active with its button up
        QCOMPARE(canvas->Tool(), ToolKind::Text);
        DragLine(tile, InImage(tile, -40, -40), InImage(tile, -40, -40));
        QCOMPARE(tile->Layer().Texts().size(), size_t(1));
        QCOMPARE(tile->Layer().Texts()[0].text, std::string("Left"));

        Click(*d, ID_SELECT);
        QCOMPARE(canvas->Mode(), CanvasMode::Select);
        DragLine(tile, InImage(tile, 0, 0), InImage(tile, 0, 30));
        QCOMPARE(tile->Layer().Shapes().back().kind, ToolKind::Arrow);
        QCOMPARE(tile->Layer().Shapes().back().points[0].y, float(InImage(tile, 0, 30).y()));

        Click(*d, ID_SELECT, false);
        QCOMPARE(canvas->Mode(), CanvasMode::Off);
        QVERIFY(InstalledMouseHook(tile) == nullptr);
        Click(*d, ID_WINDOW_LEVEL);
        QVERIFY(tile->WindowLevelMode());
        QCOMPARE(canvas->Mode(), CanvasMode::Off);
        // Annotations survive a repaint and a zoom, and go with the next image.
        d->ZoomIn();
        tile->UpdateNow();
        QCOMPARE(tile->Layer().Shapes().size(), size_t(2));
        d->Next();
        QVERIFY(CanvasOf(tile) != nullptr);
        QVERIFY(tile->Layer().Empty());
    }

    void aHeldAnnotationGoesWithItsImage()
    {
        // An annotation picked up in Select mode and still held when the wheel or the cine timer
        // loads the next image does not come back over that image.
        auto d = Make();
        TileWindow* tile = Tile(*d, 0);
        const auto yellowPixels = [tile] {
            tile->UpdateNow();
            const QImage& shown = tile->Framebuffer();
            int count = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    count += (shown.pixel(x, y) & 0xFFFFFF) == 0xFFFF00u;
            return count;
        };
        const auto drawAndHoldAnArrow = [&] {
            Click(*d, ID_ARROW);
            DragLine(tile, InImage(tile, -50, 0), InImage(tile, 50, 0));
            Click(*d, ID_SELECT);
            Mouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, InImage(tile, 0, 0));
            QVERIFY(tile->Layer().Shapes().empty()); // held: out of the layer
        };
        drawAndHoldAnArrow();
        QWheelEvent down(QPointF(InImage(tile, 0, 0)), tile->mapToGlobal(QPointF(InImage(tile, 0, 0))),
            QPoint(), QPoint(0, -120), Qt::LeftButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        const ExamItem before = d->Tree()->Selected();
        QApplication::sendEvent(tile, &down);
        QVERIFY(d->Tree()->Selected() != before);
        QVERIFY(tile->Layer().Empty());
        QCOMPARE(yellowPixels(), 0);
        Mouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, InImage(tile, 0, 30));
        QVERIFY(tile->Layer().Empty());
        QCOMPARE(yellowPixels(), 0);

        Click(*d, ID_SELECT, false);
        drawAndHoldAnArrow();
        QSignalSpy steps(d->Tree(), &ExamTree::SelectionChanged);
        d->Button(ID_CINE)->click();
        QVERIFY(steps.wait(testing::kEventWaitMs)); // the cine timer's tick loads the next image
        d->Button(ID_CINE)->click();
        QVERIFY(tile->Layer().Empty());
        QCOMPARE(yellowPixels(), 0);
    }

    void calibrationOncePerRunAndNeverIn4Up()
    {
        auto d = Make();
        TileWindow* tile = Tile(*d, 0);
        CalibrationAnswers answers;

        // 4-up first: choosing the ruler there never arms the prompt.
        d->FourUp();
        Click(*d, ID_RULER);
        answers.Answer("10");
        DragLine(Tile(*d, 0), InImage(Tile(*d, 0), -20, 0), InImage(Tile(*d, 0), 20, 0));
        QCOMPARE(answers.Opened(), 0);
        d->OneUp();
        tile = Tile(*d, 0);

        Click(*d, ID_RULER);
        answers.Answer("50");
        DragLine(tile, InImage(tile, -50, 0), InImage(tile, 50, 0));
        QCOMPARE(answers.Opened(), 1);
        QCOMPARE(answers.pixels, QString("100.0"));
        AnnotationCanvas* canvas = CanvasOf(tile);
        QVERIFY(canvas->Scale().Calibrated());
        QVERIFY(tile->Layer().Shapes().empty());
        tile->UpdateNow();
        // 100 pixels were 50 mm: a ruler half as long reads half of it.
        DragLine(tile, InImage(tile, -25, 20), InImage(tile, 25, 20));
        QCOMPARE(canvas->LabelOf(tile->Layer().Shapes()[0]), std::string("25.0mm"));

        // Choosing the ruler again does not offer it again.
        Click(*d, ID_RULER, false);
        Click(*d, ID_RULER);
        answers.Answer("5");
        DragLine(tile, InImage(tile, -40, 40), InImage(tile, 40, 40));
        QCOMPARE(answers.Opened(), 1);

        // Another image: the scale is gone; the CT's own Pixel Spacing measures it.
        d->Next();
        canvas = CanvasOf(tile);
        QVERIFY(!canvas->Scale().Calibrated());
        QCOMPARE(canvas->Scale().Unit(), LengthUnit::Millimetres);
    }
};

QTEST_MAIN(AnnotationToolsTest)
#include "annotation_tools_qtest.moc"
