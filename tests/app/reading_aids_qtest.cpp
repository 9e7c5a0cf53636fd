// Reading aids in the running viewer: the start-up state, the corner overlay in every corner and
// tile, presets against the same file windowed by DCMTK, the frame-range window against pydicom's
// range, the tags window against velmora-tool dump, export and copy of the image as shown.
#include "app/exam_tree.h"
#include "app/reading_aids.h"
#include "app/tags_window.h"
#include "canvas/calibrate_dialog.h"
#include "imaging/frame_loader.h"
#include "platform/dialogs.h"
#include "viewer_fixture.h"

#include <QClipboard>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

// The save dialog answered with a path.
class SavingDialogs : public QtDialogs {
public:
    explicit SavingDialogs(QString path)
        : m_path(std::move(path))
    {
    }
    QString SaveFile(QWidget*, const QString&, const QString&) override { return m_path; }
    MessageAnswer Message(QWidget*, const QString&, const QString& text, MessageIcon) override
    {
        messages << text;
        return MessageAnswer::Ok;
    }
    QStringList messages;

private:
    QString m_path;
};

QByteArray Pixels(const DisplayBitmap& bitmap)
{
    return QByteArray(
        reinterpret_cast<const char*>(bitmap.Bits().data()), static_cast<qsizetype>(bitmap.Bits().size()));
}

// Pixels of `a` and `b` (same size) that differ inside `area`.
int Differing(const QImage& a, const QImage& b, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

std::array<QRect, 4> Corners(const QSize& size)
{
    const int w = 160, h = 48;
    return { QRect(0, 0, w, h), QRect(size.width() - w, 0, w, h), QRect(0, size.height() - h, w, h),
        QRect(size.width() - w, size.height() - h, w, h) };
}

} // namespace

class ReadingAidsTest : public QObject {
    Q_OBJECT

    ViewerFolder m_folder;
    PromptAnswers m_answers;
    QTemporaryDir m_scratch;

    std::unique_ptr<MainDialog> Viewer()
    {
        TileWindow::SetOverlayShown(false);
        auto d = MakeViewer(m_folder.Path(), m_answers);
        return d;
    }

    QString Slice(int n) const { return m_folder.Path() + QString("/DICOM/CT_HEAD/CT00%1.dcm").arg(n); }

    // `file` with (0028,1050) / (0028,1051) set by DCMTK's dcmodify, loaded as a tile loads it.
    bool LoadWindowed(const QString& file, WindowValues window, ImageDescription& d, DisplayBitmap& bitmap)
    {
        const QString copy = m_scratch.filePath("windowed.dcm");
        QFile::remove(copy);
        QFile::copy(file, copy);
        const int status = QProcess::execute("dcmodify",
            { "-nb", "-i", QString("(0028,1050)=%1").arg(window.center), "-i",
                QString("(0028,1051)=%1").arg(window.width), copy });
        if (status != 0)
            return false;
        ImageSource source;
        return LoadFrame(copy.toStdString(), 1, {}, source, d, bitmap) == FrameLoadResult::Shown;
    }

private slots:
    void initTestCase() { InstallViewerTables(); }
    void cleanup() { TileWindow::SetOverlayShown(false); }

    void opensWithTheOverlayOffAndTheFilesWindow()
    {
        auto d = Viewer();
        QVERIFY(!TileWindow::OverlayShown());
        QCOMPARE(d->Aids()->Window(), WindowChoice {});
        const TileWindow* tile = TileOf(*d, 0);
        QVERIFY(tile->ImageShown());
        QCOMPARE(tile->Description().windowCenter, 40.0);
        QCOMPARE(tile->Description().windowWidth, 120.0);
    }

    void overlayDrawsInEveryCornerOfEveryTileAndGoesAway()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_4);
        QVERIFY(TileOf(*d, 2)->ImageShown());
        std::array<QImage, 4> before;
        std::array<QByteArray, 4> bits;
        for (int k = 0; k < 4; ++k) {
            TileOf(*d, k)->PaintNow();
            before[k] = TileOf(*d, k)->Framebuffer().copy();
            bits[k] = Pixels(TileOf(*d, k)->Bitmap());
        }
        QTest::keyClick(d.get(), Qt::Key_O);
        QVERIFY(TileWindow::OverlayShown());
        QVERIFY(d->Commands().Find(ID_OVERLAY)->checked());
        for (int k = 0; k < 3; ++k) {
            TileWindow* tile = TileOf(*d, k);
            tile->PaintNow();
            const QImage on = tile->Framebuffer();
            const std::array<QRect, 4> corners = Corners(on.size());
            for (size_t c = 0; c < 4; ++c) {
                QVERIFY2(Differing(before[k], on, corners[c]) > 20,
                    qPrintable(QString("tile %1 corner %2").arg(k).arg(c)));
            }
            // Nothing of it reaches the bitmap, and the image's middle is untouched.
            QCOMPARE(Pixels(tile->Bitmap()), bits[k]);
            QCOMPARE(Differing(before[k], on, QRect(on.width() / 2 - 20, on.height() / 2 - 20, 40, 40)), 0);
        }
        const CornerLines lines = TileOf(*d, 0)->OverlayLines();
        QCOMPARE(lines[0].front(), std::string("DOE JANE"));
        QVERIFY(std::find(lines[2].begin(), lines[2].end(), "Im: 1 / 3") != lines[2].end());
        QCOMPARE(lines[3].front(), std::string("W: 120 L: 40"));
        QTest::keyClick(d.get(), Qt::Key_O);
        for (int k = 0; k < 4; ++k) {
            TileOf(*d, k)->PaintNow();
            QCOMPARE(TileOf(*d, k)->Framebuffer(), before[k]);
        }
    }

    // With the overlay on, the tile always shows what a full repaint shows: no corner text left
    // from before a window/level drag, none wiped where the canvas restores its clean picture.
    void overlayStaysWholeThroughDragsAndAnnotations()
    {
        auto d = Viewer();
        TileWindow* tile = TileOf(*d, 0);
        QTest::keyClick(d.get(), Qt::Key_O);
        const auto repainted = [tile] {
            tile->Invalidate(Erase::Yes);
            tile->UpdateNow();
            return tile->Framebuffer().copy();
        };
        const auto drag = [tile](Qt::MouseButton button, QPoint from, QList<QPoint> path) {
            SendMouse(tile, QEvent::MouseButtonPress, button, button, from);
            for (const QPoint& p : path)
                SendMouse(tile, QEvent::MouseMove, Qt::NoButton, button, p);
            SendMouse(tile, QEvent::MouseButtonRelease, button, Qt::NoButton, path.back());
            tile->UpdateNow();
        };

        QTest::keyClick(d.get(), Qt::Key_L);
        drag(Qt::LeftButton, { 300, 300 }, { { 320, 310 }, { 345, 290 }, { 370, 330 } });
        QVERIFY(tile->Bitmap().BrightnessTotal() != 0);
        const QImage dragged = tile->Framebuffer().copy();
        QCOMPARE(dragged, repainted());
        QTest::keyClick(d.get(), Qt::Key_L);

        // The image panned under the top-left corner's text, an arrow put down on it.
        const PixelRect r = tile->ImageRect();
        drag(Qt::RightButton, { 400, 400 }, { { 400 - r.left, 400 - r.top } });
        QCOMPARE(tile->ImageRect().left, 0);
        QTest::keyClick(d.get(), Qt::Key_P);
        drag(Qt::LeftButton, { 60, 100 }, { { 80, 110 }, { 100, 120 } });
        QCOMPARE(tile->Layer().Shapes().size(), size_t { 1 });
        const QImage drawn = tile->Framebuffer().copy();
        QCOMPARE(drawn, repainted());
    }

    // Annotations that lie past the image, in the black bands, stay as a full repaint draws them
    // through a window/level drag, whose paints do not erase: drawn again over themselves, their
    // anti-aliased edges would grow darker at every move.
    void annotationsBesideTheImageStayWholeThroughAWindowLevelDrag()
    {
        auto d = Viewer();
        for (int k = 0; k < 5; ++k)
            QTest::keyClick(d.get(), Qt::Key_Minus);
        TileWindow* tile = TileOf(*d, 0);
        const PixelRect r = tile->ImageRect();
        QVERIFY(r.right + 80 < tile->width() && r.bottom + 40 < tile->height());
        // A text and a ruler's label that start on the image and run past its right edge.
        tile->StartText("Beside the image");
        const QPoint textAt(r.right - 6, (r.top + r.bottom) / 2);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, textAt);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, textAt);
        QTest::keyClick(d.get(), Qt::Key_R);
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        const QPoint start(r.left + 10, r.bottom - 12), end(r.right - 4, r.bottom - 12);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, start);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, end);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, end);
        d->activateWindow(); // the offscreen platform leaves no window active after the dialog
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        QCOMPARE(tile->Layer().Texts().size() + tile->Layer().Shapes().size(), size_t { 2 });

        QTest::keyClick(d.get(), Qt::Key_L);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 200, 200 });
        for (int k = 1; k <= 6; ++k)
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 200 + 7 * k, 200 - 5 * k });
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 242, 170 });
        tile->UpdateNow();
        const QImage dragged = tile->Framebuffer().copy();
        tile->Framebuffer().fill(Qt::magenta);
        tile->Invalidate(Erase::Yes);
        tile->UpdateNow();
        QCOMPARE(dragged, tile->Framebuffer());
    }

    void presetsMatchTheFileWindowedAtTheirValuesInEveryTile()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_4);
        for (uint32_t p = 0; p < WindowPresets().size(); ++p) {
            const WindowValues w = WindowPresets()[p].window;
            QTest::keyClick(d.get(), static_cast<Qt::Key>(Qt::Key_F4 + p));
            QCOMPARE(d->Aids()->Window(), (WindowChoice { WindowMode::Preset, p }));
            for (int k = 0; k < 3; ++k) {
                ImageDescription description;
                DisplayBitmap expected;
                if (!LoadWindowed(Slice(k + 1), w, description, expected))
                    QSKIP("dcmodify (DCMTK) is not installed");
                QCOMPARE(Pixels(TileOf(*d, k)->Bitmap()), Pixels(expected));
                QCOMPARE(TileOf(*d, k)->Description().windowCenter, w.center);
            }
        }
    }

    void presetsStayThroughNextUntilF2AndADragStartsFromThem()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_F6); // lung
        const QByteArray lung = Pixels(TileOf(*d, 0)->Bitmap());
        QTest::keyClick(d.get(), Qt::Key_PageDown);
        TileWindow* tile = TileOf(*d, 0);
        QCOMPARE(tile->Description().windowCenter, -600.0);
        QCOMPARE(tile->Description().windowWidth, 1500.0);

        // A window/level drag changes the shown picture from the preset, never the windowed pixels.
        QTest::keyClick(d.get(), Qt::Key_PageUp);
        QCOMPARE(Pixels(TileOf(*d, 0)->Bitmap()), lung);
        const QImage atPreset = TileOf(*d, 0)->ImageAsShown();
        d->WindowLevel();
        tile = TileOf(*d, 0);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 300, 300 });
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 330, 310 });
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 330, 310 });
        QVERIFY(tile->Bitmap().BrightnessTotal() != 0);
        QCOMPARE(Pixels(tile->Bitmap()), lung);
        QVERIFY(tile->ImageAsShown() != atPreset);

        QTest::keyClick(d.get(), Qt::Key_F2);
        QCOMPARE(TileOf(*d, 0)->Description().windowCenter, 40.0);
        QCOMPARE(TileOf(*d, 0)->Description().windowWidth, 120.0);
    }

    // F2, or the key of the window shown, undoes a window/level drag.
    void theShownWindowsKeyUndoesADrag()
    {
        auto d = Viewer();
        TileWindow* tile = TileOf(*d, 0);
        const auto drag = [&] {
            SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 300, 300 });
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 330, 280 });
            SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 330, 280 });
            QVERIFY(tile->Bitmap().BrightnessTotal() != 0 && tile->Bitmap().ContrastTotal() != 0);
        };
        const QImage file = tile->ImageAsShown();
        const CornerLines fileLines = tile->OverlayLines();
        QTest::keyClick(d.get(), Qt::Key_L);
        drag();
        QVERIFY(tile->ImageAsShown() != file);
        QTest::keyClick(d.get(), Qt::Key_F2);
        QCOMPARE(tile->ImageAsShown(), file);
        QCOMPARE(tile->OverlayLines(), fileLines);

        QTest::keyClick(d.get(), Qt::Key_F7); // bone
        const QImage bone = tile->ImageAsShown();
        QVERIFY(bone != file);
        drag();
        QTest::keyClick(d.get(), Qt::Key_F7);
        QCOMPARE(tile->ImageAsShown(), bone);
        QCOMPARE(tile->Description().windowWidth, 2000.0);
    }

    // A preset re-windows the frame shown: the measurements on it, the pan, the reflections and
    // Invert stay, and the pixels are the preset's negative.
    void presetsKeepTheFramesAnnotationsPanAndFlags()
    {
        auto d = Viewer();
        TileWindow* tile = TileOf(*d, 0);
        ShapeAnnotation ruler;
        ruler.kind = ToolKind::Ruler;
        tile->Layer().AddShape(ruler);
        const PixelRect before = tile->ImageRect();
        SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 200, 200 });
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, { 220, 210 });
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, { 220, 210 });
        const PixelRect panned = tile->ImageRect();
        QCOMPARE(panned.left, before.left + 20);
        d->Mirror();
        d->InvertImages();
        QTest::keyClick(d.get(), Qt::Key_F5); // soft tissue
        QCOMPARE(TileOf(*d, 0), tile);
        QCOMPARE(tile->Layer().Shapes().size(), size_t { 1 });
        QCOMPARE(tile->ImageRect().left, panned.left);
        QCOMPARE(tile->ImageRect().top, panned.top);
        QVERIFY(tile->Bitmap().Inverted());
        QCOMPARE(tile->Description().windowCenter, 40.0);
        QCOMPARE(tile->Description().windowWidth, 400.0);

        ImageDescription description;
        DisplayBitmap expected;
        if (!LoadWindowed(Slice(1), WindowPresets()[1].window, description, expected))
            QSKIP("dcmodify (DCMTK) is not installed");
        expected.MarkComplete();
        expected.ReflectX();
        expected.Invert();
        QCOMPARE(tile->ImageAsShown(), BitmapImage(expected));
    }

    void presetsDoNothingWithoutHounsfieldUnits()
    {
        auto d = Viewer();
        ExamTree* tree = d->Tree();
        ExamItem mr = 0, ct = 0;
        for (ExamItem item = tree->Model().FirstDeepest(); item != 0;
             item = tree->Model().NextImage(item, Wrap::No, Across::WholeTree)) {
            std::string path;
            tree->Model().GetPath(item, path);
            if (path.find("MR001") != std::string::npos)
                mr = item;
            else if (path.find("CT001") != std::string::npos)
                ct = item;
        }
        QVERIFY(mr != 0);
        tree->Select(mr);
        const QByteArray shown = Pixels(TileOf(*d, 0)->Bitmap());
        QTest::keyClick(d.get(), Qt::Key_F4);
        QCOMPARE(d->Aids()->Window(), WindowChoice {});
        QCOMPARE(Pixels(TileOf(*d, 0)->Bitmap()), shown);

        // Nor on a picture that took the place of a CT slice.
        tree->Select(ct);
        QVERIFY(TileOf(*d, 0)->Hounsfield());
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const QString jpeg = m_scratch.filePath("picture.jpg");
        QVERIFY(picture.save(jpeg));
        TileOf(*d, 0)->ShowPicture(jpeg.toStdString());
        QTest::keyClick(d.get(), Qt::Key_F6);
        QCOMPARE(d->Aids()->Window(), WindowChoice {});
        QVERIFY(TileOf(*d, 0)->OverlayLines() == CornerLines {});
    }

    // An Enhanced CT keeps rescale, window and pixel spacing in its functional groups: CT_small's
    // pixels as such a file take the lung preset as CT_small does, the overlay reads in HU, and a
    // ruler measures in millimetres.
    void enhancedCtTakesPresetsOverlayAndRulerFromItsGroups()
    {
        QTemporaryDir folder;
        QDir().mkpath(folder.path() + "/DICOM");
        const QString fixtures = qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/tests/data/imaging/source/";
        QVERIFY(QFile::copy(fixtures + "enhanced_ct_small.dcm", folder.path() + "/DICOM/enhanced.dcm"));
        auto d = MakeViewer(folder.path(), m_answers);
        TileWindow* tile = TileOf(*d, 0);
        QVERIFY(tile->Hounsfield());
        auto windowLine = [&tile] { return QString::fromStdString(tile->OverlayLines()[3].at(0)); };
        QCOMPARE(windowLine(), QString("W: 400 L: 40")); // the shared group's window, in HU

        QTest::keyClick(d.get(), Qt::Key_F6); // lung
        tile = TileOf(*d, 0);
        QCOMPARE(tile->Description().windowCenter, -600.0);
        ImageDescription expected;
        DisplayBitmap expectedBitmap;
        const QString ctSmall = "/usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm";
        if (!LoadWindowed(ctSmall, { -600.0, 1500.0 }, expected, expectedBitmap))
            QSKIP("dcmodify (DCMTK) is not installed");
        QCOMPARE(Pixels(tile->Bitmap()), Pixels(expectedBitmap));
        QCOMPARE(
            windowLine(), QString::fromStdString(WindowText(*ShownWindow(expected), WindowUnits::Whole)));

        // CT_small's spacing is 0.661468 mm both ways: 100 pixels across read 66.1 mm.
        QCOMPARE(tile->SpacingMm()[0], 0.661468);
        auto* canvas = dynamic_cast<AnnotationCanvas*>(tile->Binding().Canvas());
        QVERIFY(canvas != nullptr);
        QCOMPARE(canvas->Scale().Unit(), LengthUnit::Millimetres);
        Click(*d, ID_RULER);
        // The first ruler offers a calibration, its entry filled with the length it measures.
        QString offered;
        QTimer::singleShot(0, d.get(), [&offered] {
            if (auto* dialog = qobject_cast<CalibrateDialog*>(QApplication::activeModalWidget())) {
                offered = dialog->MillimetreEdit()->text();
                QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
            }
        });
        const PixelRect& r = tile->ImageRect();
        QCOMPARE(r.Width(), 128); // shown at 100 %
        const QPoint from((r.left + r.right) / 2 - 50, (r.top + r.bottom) / 2), to = from + QPoint(100, 0);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, to);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, to);
        QCOMPARE(offered, QString("66.1"));
    }

    void frameRangeSpansPydicomsMinimumToMaximum()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_F3);
        const std::optional<WindowValues> shown = ShownWindow(TileOf(*d, 0)->Description());
        QVERIFY(shown.has_value());
        // CT001 by pydicom: stored 6 .. 2040, rescale -1024.
        QCOMPARE(shown->width, 2034.0);
        QCOMPARE(shown->center, (6 + 2040) / 2.0 - 1024.0);
    }

    void tagsWindowListsWhatDumpPrintsFiltersAndFollowsTheSelection()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_D, Qt::ControlModifier);
        TagsWindow* tags = d->Aids()->Tags();
        QVERIFY(tags != nullptr && tags->isVisible());
        QCOMPARE(tags->File(), Slice(1).toStdString());
        QCOMPARE(tags->windowTitle(), QString("DICOM Tags - CT001.dcm"));

        QProcess dump;
        dump.start(VELMORA_TOOL_PATH, { "dump", Slice(1) });
        QVERIFY(dump.waitForFinished());
        const QStringList lines
            = QString::fromUtf8(dump.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QStringList rows;
        int count = 0;
        for (QTreeWidgetItemIterator it(tags->Tree()); *it; ++it, ++count) {
            int depth = 0;
            for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
                ++depth;
            QString row = QString(depth * 2, ' ') + (*it)->text(TagsWindow::TAG) + ' '
                + (*it)->text(TagsWindow::VR) + ' ' + (*it)->text(TagsWindow::LENGTH) + ' '
                + (*it)->text(TagsWindow::NAME);
            if (!(*it)->text(TagsWindow::VALUE).isEmpty())
                row += " = " + (*it)->text(TagsWindow::VALUE);
            rows << row;
        }
        QCOMPARE(rows, lines);

        // The filter keeps the rows whose tag, name or value hold the text.
        tags->SetFilter("patient");
        QStringList kept;
        for (QTreeWidgetItemIterator it(tags->Tree(), QTreeWidgetItemIterator::NotHidden); *it; ++it)
            kept << (*it)->text(TagsWindow::TAG);
        QStringList expected;
        for (const QString& line : lines) {
            const QString text = line.trimmed(); // "(gggg,eeee) VR LENGTH NAME[ = VALUE]"
            if (text.section(' ', 3).contains("patient", Qt::CaseInsensitive))
                expected << text.section(' ', 0, 0);
        }
        QVERIFY(!kept.isEmpty());
        QCOMPARE(kept, expected);
        tags->SetFilter("0020,000");
        kept.clear();
        for (QTreeWidgetItemIterator it(tags->Tree(), QTreeWidgetItemIterator::NotHidden); *it; ++it)
            kept << (*it)->text(TagsWindow::TAG);
        QCOMPARE(kept, (QStringList { "(0020,000d)", "(0020,000e)" }));

        // Copy gives the selected rows as dump lines.
        tags->SetFilter("");
        tags->Tree()->topLevelItem(1)->setSelected(true);
        tags->Tree()->topLevelItem(2)->setSelected(true);
        tags->CopySelection();
        QCOMPARE(QApplication::clipboard()->text(), lines[1] + '\n' + lines[2] + '\n');
        // Rows the filter hides are not copied, though selected before it hid them.
        tags->Tree()->selectAll();
        tags->SetFilter("0020,000");
        QCOMPARE(tags->SelectedLines(),
            lines.filter("(0020,000d)").first() + '\n' + lines.filter("(0020,000e)").first());

        QTest::keyClick(d.get(), Qt::Key_PageDown);
        QCOMPARE(tags->File(), Slice(2).toStdString());
        QCOMPARE(tags->windowTitle(), QString("DICOM Tags - CT002.dcm"));
    }

    // In a tree of sequences the filter keeps a row when it or a row below it matches: a matching
    // sequence keeps none of its rows that do not match, and each filter starts from all rows.
    void tagsFilterKeepsMatchingRowsAndTheirParentsOnly()
    {
        const QString plan = "/usr/lib/python3/dist-packages/pydicom/data/test_files/rtplan.dcm";
        QVERIFY2(QFile::exists(plan), "pydicom's test files are not installed");
        QProcess dump;
        dump.start(VELMORA_TOOL_PATH, { "dump", plan });
        QVERIFY(dump.waitForFinished());
        const QStringList lines
            = QString::fromUtf8(dump.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        const auto depthOf = [](const QString& line) { return (line.size() - line.trimmed().size()) / 2; };
        TagsWindow tags;
        tags.ShowFile(plan.toStdString());
        for (const QString filter : { "", "Beam Sequence", "Dose", "300a,00b4", "beam sequence" }) {
            tags.SetFilter(filter);
            // From the dump lines "(gggg,eeee) VR LENGTH NAME[ = VALUE]", indented two per level.
            QStringList expected;
            for (qsizetype k = 0; k < lines.size(); ++k) {
                bool keep = false;
                for (qsizetype j = k; j < lines.size() && (j == k || depthOf(lines[j]) > depthOf(lines[k]));
                     ++j) {
                    const QString text = lines[j].trimmed();
                    keep = keep || text.section(' ', 0, 0).contains(filter, Qt::CaseInsensitive)
                        || text.section(' ', 3).contains(filter, Qt::CaseInsensitive);
                }
                if (keep)
                    expected << lines[k].trimmed().section(' ', 0, 0);
            }
            QStringList kept;
            for (QTreeWidgetItemIterator it(tags.Tree(), QTreeWidgetItemIterator::NotHidden); *it; ++it)
                kept << (*it)->text(TagsWindow::TAG);
            QVERIFY2(expected.size() < lines.size() || QString(filter).isEmpty(), qPrintable(filter));
            QCOMPARE(kept, expected);
        }
    }

    // The tags window lists the file the tile shows, whatever bytes name it; with no image
    // selected, or a file gone since the scan, it lists nothing and says why.
    void tagsWindowFollowsToAnyNameAndToNoImage()
    {
        auto d = Viewer();
        const std::string latin1 = m_scratch.filePath("caf").toStdString() + "\xe9.dcm"; // not UTF-8
        QVERIFY(QFile::copy(Slice(3), m_scratch.filePath("copy.dcm")));
        QVERIFY(::rename(m_scratch.filePath("copy.dcm").toLocal8Bit().constData(), latin1.c_str()) == 0);
        d->OpenPaths({ latin1 });
        QVERIFY(TileOf(*d, 0)->ImageShown());
        QTest::keyClick(d.get(), Qt::Key_D, Qt::ControlModifier);
        TagsWindow* tags = d->Aids()->Tags();
        const auto label = [&] { return tags->findChild<QLabel*>()->text(); };
        QCOMPARE(tags->File(), latin1);
        QVERIFY(tags->Tree()->topLevelItemCount() > 20);
        QVERIFY(!label().contains("not readable"));
        // The name's Latin-1 byte E9 reads as "é", in the title and in the path above the list.
        QCOMPARE(tags->windowTitle(), QString("DICOM Tags - caf\u00e9.dcm"));
        QVERIFY(label().endsWith("/caf\u00e9.dcm"));
        ::unlink(latin1.c_str());

        // The patient item: the tiles go blank, and so does the list.
        ExamTree* tree = d->Tree();
        tree->Select(tree->Model().Parent(tree->Model().Parent(tree->Model().Parent(tree->Selected()))));
        QCOMPARE(tags->File(), std::string());
        QCOMPARE(tags->Tree()->topLevelItemCount(), 0);
        QCOMPARE(label(), QString("No image selected"));
        QCOMPARE(tags->windowTitle(), QString("DICOM Tags"));

        // The image again, its file deleted since: nothing listed, and said so; then something
        // that is not DICOM in its place: not readable, said so.
        QTest::keyClick(d.get(), Qt::Key_PageDown);
        QCOMPARE(tags->File(), latin1);
        QCOMPARE(tags->Tree()->topLevelItemCount(), 0);
        QVERIFY2(label().endsWith("/caf\u00e9.dcm (no longer there)"), qPrintable(label()));
        QCOMPARE(tags->windowTitle(), QString("DICOM Tags - caf\u00e9.dcm"));
        const int junk = ::open(latin1.c_str(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(junk >= 0 && ::write(junk, "not a DICOM file", 16) == 16 && ::close(junk) == 0);
        const ExamItem image = tree->Selected();
        tree->Select(tree->Model().Parent(image));
        tree->Select(image);
        QCOMPARE(tags->File(), latin1);
        QCOMPARE(tags->Tree()->topLevelItemCount(), 0);
        QVERIFY2(label().endsWith("/caf\u00e9.dcm (not readable as DICOM)"), qPrintable(label()));

        // Closed (Escape closes it), it stays as it was until opened again.
        QApplication::setActiveWindow(tags);
        QCOMPARE(QApplication::activeWindow(), tags);
        QTest::keyClick(tags->Tree(), Qt::Key_Escape);
        QVERIFY(!tags->isVisible());
        d->OpenPaths({ Slice(1).toStdString() });
        QCOMPARE(tags->File(), latin1);
        QTest::keyClick(d.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(tags->File(), Slice(1).toStdString());
        QVERIFY(tags->Tree()->topLevelItemCount() > 20);
    }

    void exportAndCopyGiveTheImageAsShown()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_F7); // bone
        QTest::keyClick(d.get(), Qt::Key_I);
        QTest::keyClick(d.get(), Qt::Key_M);
        const TileWindow* tile = TileOf(*d, 0);
        const QImage shown = BitmapImage(tile->Bitmap());
        QCOMPARE(shown.size(), QSize(128, 128));

        const QString path = m_scratch.filePath("export");
        auto previous = SetDialogs(std::make_unique<SavingDialogs>(path));
        QTest::keyClick(d.get(), Qt::Key_E, Qt::ControlModifier);
        const QImage exported(path + ".png");
        QCOMPARE(exported.convertToFormat(QImage::Format_RGB32), shown);

        QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), shown);

        // With the overlay on, both carry it.
        QTest::keyClick(d.get(), Qt::Key_O);
        QVERIFY(d->Aids()->ExportImage());
        const QImage withOverlay = QImage(path + ".png").convertToFormat(QImage::Format_RGB32);
        QVERIFY(Differing(withOverlay, shown, QRect(0, 0, 128, 20)) > 20);
        QCOMPARE(Differing(withOverlay, shown, QRect(40, 50, 48, 20)), 0);
        SetDialogs(std::move(previous));

        // A destination that cannot be written is reported, and nothing is left behind.
        const QString missing = m_scratch.filePath("missing/export.png");
        auto failing = std::make_unique<SavingDialogs>(missing);
        SavingDialogs* told = failing.get();
        previous = SetDialogs(std::move(failing));
        QVERIFY(!d->Aids()->ExportImage());
        QCOMPARE(told->messages.size(), 1);
        QVERIFY(told->messages[0].startsWith("The image could not be written to " + missing));
        QVERIFY(!QFileInfo::exists(m_scratch.filePath("missing")));
        SetDialogs(std::move(previous));
    }

    // A ruler drawn on a zoomed, panned, mirrored tile is exported over the frame pixels it was
    // drawn on: each end on the pixel the tile showed under it, the label beside the end, the
    // rest of the picture the display bitmap's.
    void exportAndCopyCarryTheAnnotations_data()
    {
        QTest::addColumn<int>("zoomKey");
        QTest::addColumn<int>("zoomSteps");
        QTest::newRow("zoomed out to 50 %") << int(Qt::Key_Minus) << 5;
        QTest::newRow("zoomed in to 130 %") << int(Qt::Key_Plus) << 3;
    }
    void exportAndCopyCarryTheAnnotations()
    {
        QFETCH(int, zoomKey);
        QFETCH(int, zoomSteps);
        auto d = Viewer();
        for (int k = 0; k < zoomSteps; ++k)
            QTest::keyClick(d.get(), static_cast<Qt::Key>(zoomKey));
        QTest::keyClick(d.get(), Qt::Key_M);
        TileWindow* tile = TileOf(*d, 0);
        const auto pan = [&](QPoint by) {
            SendMouse(tile, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, { 200, 200 });
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, QPoint(200, 200) + by);
            SendMouse(tile, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, QPoint(200, 200) + by);
        };
        pan({ -37, 23 });

        // The tile shows the mirrored 128 x 128 frame stretched over its image rectangle; client
        // pixel x shows shown column floor((x - left + 0.5) * 128 / width), which is the frame's
        // column 127 - that; the exported picture is mirrored too, so it holds frame column c at
        // 127 - c.
        const PixelRect r = tile->ImageRect();
        const auto frameColumn
            = [&](int x) { return 127 - int(std::floor((x - r.left + 0.5) * 128 / r.Width())); };
        const auto frameRow = [&](int y) { return int(std::floor((y - r.top + 0.5) * 128 / r.Height())); };
        const auto exportedColumn = [](int column) { return 127 - column; };
        const QPoint start(r.left + r.Width() / 32, r.top + r.Height() / 2);
        const QPoint end(r.left + r.Width() / 8, start.y());
        const int startColumn = frameColumn(start.x()), endColumn = frameColumn(end.x());
        const int row = frameRow(start.y());
        const QPoint label(exportedColumn(frameColumn(end.x() + 10)), frameRow(end.y() - 10));

        const QImage bare = BitmapImage(tile->Bitmap());
        QTest::keyClick(d.get(), Qt::Key_R);
        // A tool chosen, nothing drawn: the export is the bitmap.
        QCOMPARE(tile->ImageAsShown(), bare);
        // The first ruler is offered as the calibration reference: declined, it stays a ruler.
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, start);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, end);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, end);
        QCOMPARE(tile->Layer().Shapes().size(), size_t { 1 });
        d->activateWindow(); // the offscreen platform leaves no window active after the dialog
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        tile->PaintNow();
        const QImage screen = tile->Framebuffer().copy();
        const auto* canvas = dynamic_cast<const AnnotationCanvas*>(tile->Binding().Canvas());
        QVERIFY(QString::fromStdString(canvas->LabelOf(tile->Layer().Shapes()[0])).endsWith("mm"));
        // Panned again after drawing: the ruler travels with the image.
        pan({ 11, -6 });

        const QString path = m_scratch.filePath("annotated.png");
        auto previous = SetDialogs(std::make_unique<SavingDialogs>(path));
        QTest::keyClick(d.get(), Qt::Key_E, Qt::ControlModifier);
        SetDialogs(std::move(previous));
        const QImage exported = QImage(path).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(exported.size(), QSize(128, 128));
        QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), exported);

        const QRgb yellow = qRgb(255, 255, 0);
        const int left = std::min(exportedColumn(startColumn), exportedColumn(endColumn));
        const int right = std::max(exportedColumn(startColumn), exportedColumn(endColumn));
        for (int x = left; x <= right; ++x)
            QVERIFY2(exported.pixel(x, row) == yellow, qPrintable(QString("column %1").arg(x)));
        // The end bars stand across the ends.
        QCOMPARE(exported.pixel(left, row - 2), yellow);
        QCOMPARE(exported.pixel(right, row + 2), yellow);

        // The label: the glyphs seen on screen, at the frame pixel beside the end. Only pixels the
        // text covers whole are compared: the anti-aliased edges blend with another background.
        const QSize cell(128 - label.x(), 12); // the text is wider than its rectangle
        int glyphs = 0, differing = 0;
        for (int y = 0; y < cell.height(); ++y) {
            for (int x = 0; x < cell.width(); ++x) {
                const bool onScreen = screen.pixel(end.x() + 10 + x, end.y() - 10 + y) == yellow;
                glyphs += onScreen;
                differing += onScreen != (exported.pixel(label.x() + x, label.y() + y) == yellow);
            }
        }
        QVERIFY(glyphs > 20);
        QVERIFY2(differing <= glyphs / 10, qPrintable(QString("%1 of %2").arg(differing).arg(glyphs)));

        // Everything else is the display bitmap.
        const int bar = 10 * 128 / r.Width() + 2; // the end bars reach 10 client pixels out
        const QRect rulerBox(left - 1, row - bar, right - left + 3, 2 * bar + 1);
        const QRect labelBox(label, cell);
        for (int y = 0; y < 128; ++y) {
            for (int x = 0; x < 128; ++x) {
                if (!rulerBox.contains(x, y) && !labelBox.contains(x, y))
                    QVERIFY2(exported.pixel(x, y) == bare.pixel(x, y),
                        qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
            }
        }

        // With the overlay on, a ruler across the top-left corner text lies over it, as on screen.
        QTest::keyClick(d.get(), Qt::Key_O);
        const PixelRect moved = tile->ImageRect();
        const int topRow = 6;
        const int topY = moved.top + (topRow * moved.Height() + moved.Height() / 2) / 128;
        const QPoint from(moved.left + moved.Width() / 64, topY), to(moved.left + moved.Width() / 3, topY);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, to);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, to);
        QCOMPARE(tile->Layer().Shapes().size(), size_t { 2 });
        const QImage layered = tile->ImageAsShown();
        // The exported picture is mirrored as the tile shows it: client column x is its shown column.
        const auto shownColumn
            = [&](int x) { return int(std::floor((x - moved.left + 0.5) * 128 / moved.Width())); };
        QVERIFY(Differing(layered, exported, QRect(0, topRow - 1, 64, 3)) > 20); // text under the ruler
        for (int x = shownColumn(from.x()); x <= shownColumn(to.x()); ++x)
            QVERIFY2(layered.pixel(x, topRow) == yellow, qPrintable(QString("column %1").arg(x)));
    }

    // An annotation held with the button down in Select mode is out of the layer until it is put
    // down; the picture still carries it: where it lay while not yet moved, where it is after a
    // move, exactly as the picture once it is put down there.
    void exportCarriesTheAnnotationHeldInSelectMode()
    {
        auto d = Viewer();
        TileWindow* tile = TileOf(*d, 0);
        const PixelRect r = tile->ImageRect();
        QTest::keyClick(d.get(), Qt::Key_R);
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        const QPoint start(r.left + r.Width() / 4, r.top + r.Height() / 3),
            end(start + QPoint(r.Width() / 3, 0));
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, start);
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, end);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, end);
        d->activateWindow(); // the offscreen platform leaves no window active after the dialog
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        const QPoint textAt(r.left + r.Width() / 4, r.top + 2 * r.Height() / 3);
        tile->StartText("Held");
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, textAt);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, textAt);
        QCOMPARE(tile->Layer().Shapes().size(), size_t { 1 });
        QCOMPARE(tile->Layer().Texts().size(), size_t { 1 });
        const QImage bare = BitmapImage(tile->Bitmap());
        const QImage annotated = tile->ImageAsShown();
        QVERIFY(Differing(annotated, bare, annotated.rect()) > 50);
        QTest::keyClick(d.get(), Qt::Key_S);

        const struct {
            const char* what;
            QPoint grab;
        } held[] = { { "ruler", (start + end) / 2 }, { "text", textAt + QPoint(4, 6) } };
        for (const auto& h : held) {
            SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, h.grab);
            QVERIFY2(tile->Layer().Shapes().size() + tile->Layer().Texts().size() == 1, h.what);
            QVERIFY2(tile->ImageAsShown() == annotated, h.what);
            QTest::keyClick(d.get(), Qt::Key_C, Qt::ControlModifier);
            QVERIFY2(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32) == annotated,
                h.what);
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, h.grab + QPoint(12, 20));
            const QImage moving = tile->ImageAsShown();
            QVERIFY2(Differing(moving, annotated, moving.rect()) > 20, h.what);
            SendMouse(
                tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, h.grab + QPoint(12, 20));
            QVERIFY2(tile->ImageAsShown() == moving, h.what);
            // Put back where it was, for the next one.
            SendMouse(
                tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, h.grab + QPoint(12, 20));
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, h.grab);
            SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, h.grab);
        }
    }

    // The window as the screen shows it, 4-up with the overlay and the brain window; written to
    // $VELMORA_SCREENSHOT when that is set (run under xvfb-run with QT_QPA_PLATFORM=xcb to see
    // the real window).
    void screenShowsTheOverlay()
    {
        auto d = Viewer();
        QTest::keyClick(d.get(), Qt::Key_4);
        QTest::keyClick(d.get(), Qt::Key_F4);
        QTest::keyClick(d.get(), Qt::Key_O);
        QVERIFY(QTest::qWaitForWindowExposed(d.get(), kEventWaitMs));
        QCoreApplication::processEvents(); // painted and flushed before the screen is grabbed
        const QRect frame = d->frameGeometry();
        QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        if (shot.isNull() || !shot.rect().contains(frame))
            shot = d->grab().toImage();
        else
            shot = shot.copy(frame);
        const QString out = qEnvironmentVariable("VELMORA_SCREENSHOT");
        if (!out.isEmpty())
            QVERIFY(shot.save(out));
        // The first tile's top-left corner shows the patient's name in light text.
        int light = 0;
        const QImage window = d->grab().toImage();
        for (int y = 52; y < 80; ++y)
            for (int x = 2; x < 100; ++x)
                light += qGray(window.pixel(x, y)) > 200;
        QVERIFY(light > 20);
    }
};

QTEST_MAIN(ReadingAidsTest)
#include "reading_aids_qtest.moc"
