// A viewer as the program runs it (real tile grid, real tiles) on a copy of a few sample images,
// with prompts the test answers, and the mouse helpers the viewer tests share.
#pragma once

#include "app/controls.h"
#include "app/exam_tree.h"
#include "app/main_dialog.h"
#include "app/user_prompts.h"
#include "canvas/annotation_canvas.h"
#include "canvas/annotation_install.h"
#include "canvas/tile_window.h"
#include "tests/app/event_wait.h"
#include "toolkit/built_in_tables.h"

#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace velmora::testing {

struct PromptAnswers {
    QString folder;
    QString openFile;
    QString saveFile;
    QString text = "note";
    int saveAsked = 0;
};

class AnsweringPrompts : public UserPrompts {
public:
    explicit AnsweringPrompts(PromptAnswers& answers)
        : a(answers)
    {
    }
    QString ChooseFolder(QWidget*, const QString&) override { return a.folder; }
    QString ChooseOpenFile(QWidget*, const QString&, const QString&) override { return a.openFile; }
    QString ChooseSaveFile(QWidget*) override
    {
        ++a.saveAsked;
        return a.saveFile;
    }
    void Warn(QWidget*, const QString&, const QString&) override { }
    bool AskAnnotationText(QWidget*, QString& text) override
    {
        text = a.text;
        return !a.text.isEmpty();
    }

private:
    PromptAnswers& a;
};

inline QString SampleFolder()
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/resources/DICOM";
}

inline void InstallViewerTables()
{
    InstallBuiltInTables();
    InstallAnnotationCanvas();
}

// A program folder whose "DICOM" holds three CT slices and an MR image of the samples.
class ViewerFolder {
public:
    ViewerFolder()
    {
        for (const char* name :
            { "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "CT_HEAD/CT003.dcm", "MR_BRAIN/MR001.dcm" }) {
            const QString target = m_dir.path() + "/DICOM/" + name;
            QDir().mkpath(QFileInfo(target).path());
            QFile::copy(SampleFolder() + "/" + name, target);
        }
    }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// A shown, active viewer on `programFolder` (empty: no start-up scan). The keys are window
// shortcuts, which reach an active window only: the test fails here when it never becomes one.
inline std::unique_ptr<MainDialog> MakeViewer(const QString& programFolder, PromptAnswers& answers)
{
    auto dialog
        = std::make_unique<MainDialog>(programFolder, nullptr, std::make_unique<AnsweringPrompts>(answers));
    dialog->Initialise();
    dialog->show();
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog.get(), kEventWaitMs))
        QTest::qFail("the viewer window did not become active", __FILE__, __LINE__);
    return dialog;
}

// The bitmap's pixels through its colour table: the picture the tile paints at 100 %.
inline QImage BitmapImage(const DisplayBitmap& bitmap)
{
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    const auto& table = bitmap.ColourTable();
    for (int y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.Bits().data() + static_cast<size_t>(y) * bitmap.Stride();
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.Width(); ++x) {
            if (bitmap.BitCount() == 8) {
                const uint8_t* e = &table[row[x] * 4];
                out[x] = qRgb(e[2], e[1], e[0]);
            } else {
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            }
        }
    }
    return image;
}

inline TileWindow* TileOf(const MainDialog& d, int k)
{
    return qobject_cast<TileWindow*>(d.Area().Tile(k));
}

inline void SendMouse(
    QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint p)
{
    QMouseEvent event(type, QPointF(p), widget->mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// What a command can change, in one comparable text.
inline QString State(MainDialog& d)
{
    QStringList parts;
    for (QObject* child : d.children()) {
        if (auto* button = qobject_cast<IconButton*>(child))
            parts << QString("button %1=%2").arg(ControlId(button)).arg(button->GetCheck());
    }
    parts << QString("zoom %1 mode %2 cine %3 whole %4")
                 .arg(d.Zoom())
                 .arg(d.Area().Mode())
                 .arg(d.CineRunning())
                 .arg(d.WholeList());
    parts << QString("mirror %1 flip %2 invert %3")
                 .arg(d.MirrorState())
                 .arg(d.FlipState())
                 .arg(d.InvertState());
    parts << QString("selected %1 visible %2").arg(d.Tree()->Selected()).arg(d.isVisible());
    for (int k = 0; k < 4; ++k) {
        TileWindow* tile = TileOf(d, k);
        if (!tile)
            continue;
        const auto* canvas = dynamic_cast<const AnnotationCanvas*>(tile->Binding().Canvas());
        parts << QString("tile %1 level %2 canvas %3 tool %4")
                     .arg(k)
                     .arg(tile->WindowLevelMode())
                     .arg(canvas ? int(canvas->Mode()) : -9)
                     .arg(canvas ? int(canvas->Tool()) : -9);
    }
    return parts.join('\n');
}

// A click on button `id`: a real one where the button shows, else what its click does (the
// check toggles, then the command runs).
inline void Click(MainDialog& d, int id)
{
    IconButton* button = d.Button(id);
    if (button->isVisible()) {
        QTest::mouseClick(button, Qt::LeftButton);
        return;
    }
    if (button->CheckMode())
        button->SetCheck(button->GetCheck() ? 0 : 1);
    d.RunCommand(id);
}

// Clicks `before` in two fresh viewers, then clicks button `id` in one and does `act` in the
// other: both must end in the same state, and `act` must have changed something.
inline void ExpectSameAsClick(const QString& programFolder, PromptAnswers& answers, const QList<int>& before,
    int id, const std::function<void(MainDialog&)>& act)
{
    auto clicked = MakeViewer(programFolder, answers);
    for (int first : before)
        Click(*clicked, first);
    Click(*clicked, id);
    const QString expected = State(*clicked);
    clicked.reset();

    auto acted = MakeViewer(programFolder, answers);
    for (int first : before)
        Click(*acted, first);
    const QString unchanged = State(*acted);
    act(*acted);
    QCOMPARE(State(*acted), expected);
    QVERIFY(State(*acted) != unchanged);
}

} // namespace velmora::testing
