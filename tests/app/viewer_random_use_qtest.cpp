// The viewer under a user's hands: a few hundred random actions (stepping by keys and wheel,
// zooming by keys and by dragging, mirror, flip, invert, presets, the overlay, window/level and
// pan drags, 1-up / 4-up, another image or tile, measuring and writing on the image, moving what
// was drawn, tools off, resizing the window) on the bundled sample folder, and beside the window
// (random_use_beside.h): the context menus, the tags window, copy and export, keys over empty
// tiles, the help. After each, every tile shown holds what a full repaint of it paints, and the
// exported picture of the current tile is its display bitmap wherever no overlay text or
// annotation lies.
//
// The run is fixed by a seed; VELMORA_RANDOM_SEED and VELMORA_RANDOM_ACTIONS choose another
// seed and a longer run. A failure names both, and the actions that led to it.
#include "random_use_beside.h"
#include "viewer_fixture.h"

#include <QWheelEvent>
#include <cstdint>
#include <deque>
#include <random>

using namespace velmora;
using namespace velmora::testing;

namespace {

// The first pixel where `a` and `b` (same size) differ, as text; empty when none does.
QString FirstDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return QString("sizes %1x%2 and %3x%4").arg(a.width()).arg(a.height()).arg(b.width()).arg(b.height());
    int count = 0;
    QPoint first;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y) && count++ == 0)
                first = { x, y };
        }
    }
    if (count == 0)
        return {};
    return QString("%1 pixels differ, first at %2,%3 (%4 against %5)")
        .arg(count)
        .arg(first.x())
        .arg(first.y())
        .arg(a.pixel(first), 0, 16)
        .arg(b.pixel(first), 0, 16);
}

// A copy of the whole sample folder as a program folder's "DICOM".
class SampleCopy {
public:
    SampleCopy()
    {
        QDirIterator it(SampleFolder(), { "*.dcm" }, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString target = m_dir.path() + "/DICOM/" + QDir(SampleFolder()).relativeFilePath(file);
            QDir().mkpath(QFileInfo(target).path());
            QFile::copy(file, target);
        }
    }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace

class ViewerRandomUseTest : public QObject {
    Q_OBJECT

    SampleCopy m_folder;
    PromptAnswers m_answers;
    std::unique_ptr<MainDialog> m_d;
    std::unique_ptr<BesideTheWindow> m_beside;
    uint32_t m_seed = 20261210;
    std::mt19937 m_random;
    int m_action = 0; // counted from 0
    // What the checks saw: exported pictures compared, with annotations, with the overlay.
    int m_exports = 0, m_annotated = 0, m_overlaid = 0;
    int m_current = 0; // the tile the mouse works in
    std::deque<QString> m_recent; // the last actions, for the failure message

    int Below(int n) { return static_cast<int>(m_random() % static_cast<uint32_t>(n)); }

    TileWindow* Current()
    {
        if (m_d->Area().Mode() == 1 || !TileOf(*m_d, m_current) || !TileOf(*m_d, m_current)->isVisible())
            m_current = 0;
        return TileOf(*m_d, m_current);
    }

    // A point inside the current tile, mostly over its image.
    QPoint SomePoint()
    {
        TileWindow* tile = Current();
        const PixelRect r = tile->ImageRect();
        const QRect inside = QRect(r.left, r.top, r.Width(), r.Height()).intersected(tile->rect());
        if (inside.width() < 4 || inside.height() < 4 || Below(8) == 0)
            return { Below(std::max(tile->width(), 1)), Below(std::max(tile->height(), 1)) };
        return { inside.left() + Below(inside.width()), inside.top() + Below(inside.height()) };
    }

    void Key(Qt::Key key) { QTest::keyClick(m_d.get(), key); }

    void Drag(Qt::MouseButton button, QPoint from, int steps)
    {
        TileWindow* tile = Current();
        SendMouse(tile, QEvent::MouseButtonPress, button, button, from);
        QPoint at = from;
        for (int k = 0; k < steps; ++k) {
            at += QPoint(Below(61) - 30, Below(61) - 30);
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, button, at);
        }
        // Now and then the tile is exposed with the button still down: the repaint keeps what
        // the drag shows (a rubber band, a held annotation), and the drag goes on from there.
        if (Below(3) == 0) {
            const QString difference = RepaintDifference(*tile);
            QVERIFY2(difference.isEmpty(), qPrintable(Failure("during the drag: " + difference)));
            at += QPoint(Below(21) - 10, Below(21) - 10);
            SendMouse(tile, QEvent::MouseMove, Qt::NoButton, button, at);
        }
        SendMouse(tile, QEvent::MouseButtonRelease, button, Qt::NoButton, at);
    }

    void ClickAt(QPoint p)
    {
        TileWindow* tile = Current();
        SendMouse(tile, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, p);
        SendMouse(tile, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, p);
        SendMouse(tile, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, p);
    }

    // Drawing with the tool of `key` (the calibration offered after a first ruler is declined).
    void Draw(Qt::Key key)
    {
        Key(key);
        if (key == Qt::Key_A) {
            // Now and then an angle is left with one or two of its three clicks.
            const int clicks = Below(4) == 0 ? 1 + Below(2) : 3;
            for (int k = 0; k < clicks; ++k)
                ClickAt(SomePoint());
        } else if (key == Qt::Key_T) {
            ClickAt(SomePoint());
        } else {
            Drag(Qt::LeftButton, SomePoint(), 1 + Below(3));
        }
        QCoreApplication::processEvents();
    }

    // Select mode, a drag from a point of an annotation of the current tile (or anywhere).
    void MoveAnnotation()
    {
        Key(Qt::Key_S);
        TileWindow* tile = Current();
        QPoint from = SomePoint();
        const auto& shapes = tile->Layer().Shapes();
        const auto& texts = tile->Layer().Texts();
        if (!shapes.empty() && Below(3) != 0) {
            const ShapeAnnotation& shape = shapes[Below(static_cast<int>(shapes.size()))];
            const FloatPoint p = shape.points[Below(static_cast<int>(shape.points.size()))];
            from = QPoint(static_cast<int>(p.x), static_cast<int>(p.y));
        } else if (!texts.empty()) {
            const TextAnnotation& text = texts[Below(static_cast<int>(texts.size()))];
            from = QPoint(static_cast<int>(text.left) + 3, static_cast<int>(text.top) + 5);
        }
        Drag(Qt::LeftButton, from, 1 + Below(3));
    }

    void Wheel()
    {
        TileWindow* tile = Current();
        const QPointF at(SomePoint());
        QWheelEvent event(at, tile->mapToGlobal(at), QPoint(), QPoint(0, Below(2) ? 120 : -120), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tile, &event);
    }

    void SelectSomeImage()
    {
        ExamTree* tree = m_d->Tree();
        std::vector<ExamItem> images;
        for (ExamItem item = tree->Model().FirstDeepest(); item != 0;
             item = tree->Model().NextImage(item, Wrap::No, Across::WholeTree))
            images.push_back(item);
        if (!images.empty())
            tree->Select(images[Below(static_cast<int>(images.size()))]);
    }

    // One random action; its name is kept for the failure message.
    void Act()
    {
        static const Qt::Key presets[]
            = { Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8 };
        const struct {
            const char* name;
            std::function<void()> run;
        } actions[] = {
            { "Next (key)", [this] { Key(Qt::Key_PageDown); } },
            { "Previous (key)", [this] { Key(Qt::Key_PageUp); } },
            { "wheel", [this] { Wheel(); } },
            { "zoom in", [this] { Key(Qt::Key_Plus); } },
            { "zoom out", [this] { Key(Qt::Key_Minus); } },
            // With the ruler on, this drag may be the first ruler of some length (a click before
            // it was none), which offers the calibration: declined as every modal dialog is.
            { "left drag (drag-zoom or the tool's)",
                [this] { Drag(Qt::LeftButton, SomePoint(), 1 + Below(4)); } },
            { "mirror", [this] { Key(Qt::Key_M); } },
            { "flip", [this] { Key(Qt::Key_F); } },
            { "invert", [this] { Key(Qt::Key_I); } },
            { "preset", [this] { Key(presets[Below(7)]); } },
            { "overlay", [this] { Key(Qt::Key_O); } },
            { "window/level drag",
                [this] {
                    if (!Current()->WindowLevelMode())
                        Key(Qt::Key_L);
                    Drag(Qt::LeftButton, SomePoint(), 1 + Below(4));
                } },
            { "window/level off",
                [this] {
                    if (Current()->WindowLevelMode())
                        Key(Qt::Key_L);
                } },
            { "pan", [this] { Drag(Qt::RightButton, SomePoint(), 1 + Below(3)); } },
            { "1-up", [this] { Key(Qt::Key_1); } },
            { "4-up", [this] { Key(Qt::Key_4); } },
            { "another tile", [this] { m_current = Below(4); } },
            { "another image", [this] { SelectSomeImage(); } },
            { "ruler", [this] { Draw(Qt::Key_R); } },
            { "angle", [this] { Draw(Qt::Key_A); } },
            { "arrow", [this] { Draw(Qt::Key_P); } },
            { "text", [this] { Draw(Qt::Key_T); } },
            { "move an annotation", [this] { MoveAnnotation(); } },
            { "tools off", [this] { Key(Qt::Key_N); } },
            { "resize the window", [this] { m_d->resize(640 + Below(500), 480 + Below(300)); } },
            { "image menu (right click)", [this] { m_beside->ImageMenuByClick(Current(), SomePoint()); } },
            { "image menu (Menu key)", [this] { m_beside->ImageMenuByKey(); } },
            { "tree row menu", [this] { m_beside->TreeMenu(); } },
            { "expand or collapse a branch", [this] { m_beside->ExpandOrCollapse(); } },
            { "tags window (Ctrl+D)", [this] { m_beside->OpenTags(); } },
            { "tags filter", [this] { m_beside->FilterTags(); } },
            { "close the tags window", [this] { m_beside->CloseTags(); } },
            { "copy (Ctrl+C)", [this] { m_beside->Copy(); } },
            { "export (Ctrl+E)", [this] { m_beside->Export(); } },
            { "a key over an empty tile", [this] { m_beside->KeysOverEmptyTile(); } },
            { "help (F1)", [this] { m_beside->Help(); } },
            { "an image's file removed", [this] { m_beside->RemoveSomeFile(); } },
            { "tag rows copied", [this] { m_beside->CopyTagRows(); } },
            { "keys in the exam tree", [this] { m_beside->TreeKeys(); } },
            { "a drop on the window", [this] { m_beside->Drop(m_folder.Path() + "/DICOM"); } },
        };
        const auto& action = actions[Below(static_cast<int>(std::size(actions)))];
        Note(QString("%1 (tile %2)").arg(action.name).arg(m_current));
        // The offscreen platform leaves no window active after a dialog or a window beside it;
        // the user clicks the viewer first.
        m_beside->Activate();
        action.run();
        QCoreApplication::processEvents();
        if (!QTest::currentTestFailed())
            m_beside->Check();
    }

    void Note(const QString& what)
    {
        m_recent.push_back(what);
        if (m_recent.size() > 12)
            m_recent.pop_front();
    }

    // Where the exported picture may differ from the bitmap: the overlay's corners and around
    // each annotation, in picture pixels.
    static bool Covered(TileWindow& tile, QPoint p)
    {
        const int w = tile.Bitmap().Width(), h = tile.Bitmap().Height();
        if (TileWindow::OverlayShown()) {
            const int cw = 200, ch = 80;
            if ((p.x() < cw || p.x() >= w - cw) && (p.y() < ch || p.y() >= h - ch))
                return true;
        }
        const PixelRect& r = tile.ImageRect();
        const auto picture = [&](double x, double y) {
            return QPointF(
                (x - r.left) * w / std::max(r.Width(), 1), (y - r.top) * h / std::max(r.Height(), 1));
        };
        // Labels and texts keep their font size in the picture (about 120 pixels across at most),
        // placed up to 20 client pixels from the points they belong to.
        const double mx = 130.0 + 20.0 * w / std::max(r.Width(), 1),
                     my = 40.0 + 20.0 * h / std::max(r.Height(), 1);
        const auto near
            = [&](QPointF q) { return std::abs(p.x() - q.x()) <= mx && std::abs(p.y() - q.y()) <= my; };
        const AnnotationLayer& layer = tile.Layer();
        // Lines are a few client pixels wide, anti-aliased.
        const double reach = 4.0 * w / std::max(r.Width(), 1) + 2;
        const auto onLine = [&](QPointF a, QPointF b) {
            const QPointF d = b - a, v = QPointF(p) - a;
            const double length2 = QPointF::dotProduct(d, d);
            const double t = length2 > 0 ? std::clamp(QPointF::dotProduct(v, d) / length2, 0.0, 1.0) : 0.0;
            const QPointF off = v - t * d;
            return std::hypot(off.x(), off.y()) <= reach;
        };
        for (const ShapeAnnotation& shape : layer.Shapes()) {
            for (size_t i = 0; i < shape.points.size(); ++i) {
                const QPointF a = picture(shape.points[i].x, shape.points[i].y);
                if (near(a))
                    return true;
                for (size_t j = i + 1; j < shape.points.size(); ++j) {
                    if (onLine(a, picture(shape.points[j].x, shape.points[j].y)))
                        return true;
                }
            }
        }
        for (const TextAnnotation& text : layer.Texts()) {
            const QPointF a = picture(text.left, text.top), b = picture(text.right, text.bottom);
            if (near(a) || near(b) || QRectF(a, b).normalized().contains(p))
                return true;
        }
        return false;
    }

    QString Failure(const QString& what) const
    {
        QStringList recent(m_recent.begin(), m_recent.end());
        return QString("%1 after action %2\n  last actions: %3\n  rerun: VELMORA_RANDOM_SEED=%4 "
                       "VELMORA_RANDOM_ACTIONS=%5")
            .arg(what)
            .arg(m_action)
            .arg(recent.join(", "))
            .arg(m_seed)
            .arg(m_action + 1);
    }

    // How the tile as shown differs from a full repaint of it, done over a framebuffer filled with
    // a colour the viewer never paints so that anything the repaint leaves out shows.
    static QString RepaintDifference(TileWindow& tile)
    {
        tile.UpdateNow();
        const QImage shown = tile.Framebuffer().copy();
        tile.Framebuffer().fill(qRgb(255, 0, 255));
        tile.Invalidate(Erase::Yes);
        tile.UpdateNow();
        return FirstDifference(shown, tile.Framebuffer());
    }

    void CheckTiles()
    {
        for (int k = 0; k < 4; ++k) {
            TileWindow* tile = TileOf(*m_d, k);
            if (!tile || !tile->isVisible())
                continue;
            const QString difference = RepaintDifference(*tile);
            QVERIFY2(difference.isEmpty(),
                qPrintable(Failure(QString("tile %1 (image at %2,%3 to %4,%5): %6")
                                       .arg(k)
                                       .arg(tile->ImageRect().left)
                                       .arg(tile->ImageRect().top)
                                       .arg(tile->ImageRect().right)
                                       .arg(tile->ImageRect().bottom)
                                       .arg(difference))));
        }
        TileWindow* tile = Current();
        if (!tile->ImageShown() || tile->Content() != TileContent::DicomFrame || !tile->Bitmap().HasBitmap())
            return;
        ++m_exports;
        m_annotated += !tile->Layer().Shapes().empty() || !tile->Layer().Texts().empty();
        m_overlaid += TileWindow::OverlayShown();
        const QImage exported = tile->ImageAsShown();
        const QImage bare = BitmapImage(tile->Bitmap());
        QVERIFY2(exported.size() == bare.size(), qPrintable(Failure("exported size")));
        for (int y = 0; y < bare.height(); ++y) {
            for (int x = 0; x < bare.width(); ++x) {
                if (exported.pixel(x, y) != bare.pixel(x, y) && !Covered(*tile, { x, y })) {
                    QFAIL(qPrintable(Failure(QString("exported pixel %1,%2 of tile %3 is not the bitmap's")
                                                 .arg(x)
                                                 .arg(y)
                                                 .arg(m_current))));
                }
            }
        }
    }

private slots:
    void initTestCase() { InstallViewerTables(); }

    void everyTileShowsWhatAFullRepaintShows()
    {
        bool ok = false;
        const uint32_t chosen = qEnvironmentVariable("VELMORA_RANDOM_SEED").toUInt(&ok);
        if (ok)
            m_seed = chosen;
        const int count = qEnvironmentVariableIntValue("VELMORA_RANDOM_ACTIONS", &ok);
        const int actions = ok && count > 0 ? count : 300;
        qInfo("seed %u, %d actions", m_seed, actions);
        m_random.seed(m_seed);
        TileWindow::SetOverlayShown(false);
        m_answers.saveFile = m_folder.Path() + "/saved.raw";
        m_d = MakeViewer(m_folder.Path(), m_answers);
        m_beside = std::make_unique<BesideTheWindow>(
            *m_d, m_answers, [this](int n) { return Below(n); },
            [this](const QString& what) { return Failure(what); },
            [this](const QString& what) { Note(what); });
        QVERIFY(TileOf(*m_d, 0)->ImageShown());
        for (m_action = 0; m_action < actions; ++m_action) {
            Act();
            if (QTest::currentTestFailed())
                return;
            // Not after every action: a fault may take two actions to show, and each check
            // repaints the tiles.
            if (Below(2) != 0 && m_action + 1 < actions)
                continue;
            CheckTiles();
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%d exported pictures compared, %d with annotations, %d with the overlay", m_exports,
            m_annotated, m_overlaid);
        qInfo("%s", qPrintable(m_beside->Summary()));
    }

    void cleanupTestCase()
    {
        m_beside.reset();
        m_d.reset();
        TileWindow::SetOverlayShown(false);
    }
};

QTEST_MAIN(ViewerRandomUseTest)
#include "viewer_random_use_qtest.moc"
