// Opening what the user points at: start-up paths in place of the sample scan, dropped files and
// folders, the bytes of names that are not UTF-8, and the paths that are passed over.
#include "app/open_paths.h"
#include "viewer_fixture.h"

#include <QMimeData>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// Every image item's path in the tree, as bytes, sorted.
std::vector<std::string> ImagePaths(const MainDialog& d)
{
    std::vector<std::string> paths;
    const ExamModel& model = d.Tree()->Model();
    for (ExamItem item = model.FirstDeepest(); item;) {
        paths.push_back(model.Record(item)->path);
        item = model.NextImage(item, Wrap::No, Across::WholeTree);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string Bytes(const fs::path& path)
{
    return path.native();
}

// Drags `data` onto the middle of `d`, offering `offered`, and drops it there; whether the drag
// was accepted, and the action of the drop (the source deletes its files after a move).
bool DragAndDrop(
    MainDialog& d, QMimeData* data, Qt::DropActions offered = Qt::CopyAction, Qt::DropAction* taken = nullptr)
{
    const QPointF at(d.width() / 2.0, 300);
    QDragEnterEvent enter(at.toPoint(), offered, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, offered, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d, &drop);
    if (taken)
        *taken = drop.dropAction();
    return drop.isAccepted();
}

} // namespace

class OpenPathsTest : public QObject {
    Q_OBJECT

    ViewerFolder m_program; // its DICOM: three CT slices and an MR image
    QTemporaryDir m_dir;
    PromptAnswers m_answers;
    fs::path m_mr; // a folder with both MR samples, named in Latin-1
    fs::path m_ct; // one CT file
    fs::path m_picture;

private slots:
    void initTestCase()
    {
        InstallViewerTables();
        const fs::path root = m_dir.path().toStdString();
        const fs::path samples = SampleFolder().toStdString();
        m_mr = root / "M\xfcller";
        fs::create_directories(m_mr / "series");
        fs::copy_file(samples / "MR_BRAIN/MR001.dcm", m_mr / "series" / "one.dcm");
        fs::copy_file(samples / "MR_BRAIN/MR002.dcm", m_mr / "two.dcm");
        m_ct = root / "ct5.dcm";
        fs::copy_file(samples / "CT_HEAD/CT005.dcm", m_ct);
        m_picture = root / "photo.jpg";
        QImage(8, 8, QImage::Format_RGB32).save(QString::fromStdString(m_picture.string()), "JPEG");
        QVERIFY(::mkfifo((root / "fifo").c_str(), 0600) == 0);
        fs::create_symlink(m_ct, root / "link.dcm");
    }

    void kindOfPaths()
    {
        const fs::path root = m_dir.path().toStdString();
        QCOMPARE(KindOf(Bytes(m_mr)), PathKind::Folder);
        QCOMPARE(KindOf(Bytes(m_ct)), PathKind::File);
        QCOMPARE(KindOf(Bytes(root / "link.dcm")), PathKind::File);
        QCOMPARE(KindOf(Bytes(root / "fifo")), PathKind::Other);
        QCOMPARE(KindOf(Bytes(root / "missing")), PathKind::Other);
        QCOMPARE(KindOf(""), PathKind::Other);
    }

    // What the user is told of a start-up path that is not opened: the system's reason when it
    // cannot be looked at (glibc's texts), not that it is "neither a folder nor a file".
    void whyPathsArePassedOver()
    {
        const fs::path root = m_dir.path().toStdString();
        fs::create_symlink(root / "gone.dcm", root / "dangling");
        const struct {
            std::string path;
            std::string why;
        } cases[] = {
            { Bytes(m_mr), "" },
            { Bytes(m_ct), "" },
            { Bytes(root / "link.dcm"), "" },
            { Bytes(root / "missing"), "No such file or directory" },
            { Bytes(root / "dangling"), "No such file or directory" },
            { Bytes(m_ct / "under"), "Not a directory" },
            { "", "No such file or directory" },
            { Bytes(root / "fifo"), "neither a folder nor a regular file" },
            { "/dev/zero", "neither a folder nor a regular file" },
        };
        for (const auto& c : cases)
            QVERIFY2(WhyPassedOver(c.path) == c.why, (c.path + ": " + WhyPassedOver(c.path)).c_str());
    }

    void startPathsReplaceTheSampleScan()
    {
        const fs::path root = m_dir.path().toStdString();
        auto d = std::make_unique<MainDialog>(
            m_program.Path(), nullptr, std::make_unique<AnsweringPrompts>(m_answers));
        d->SetStartPaths(
            { Bytes(m_mr), Bytes(m_ct), Bytes(m_picture), Bytes(root / "fifo"), Bytes(root / "missing") });
        d->Initialise();
        d->show();
        // The MR folder (its Latin-1 name intact) and the CT file; nothing of the sample folder.
        QCOMPARE(ImagePaths(*d),
            (std::vector<std::string> {
                Bytes(m_mr / "series" / "one.dcm"), Bytes(m_mr / "two.dcm"), Bytes(m_ct) }));
        const std::string selected = d->Tree()->Model().Record(d->Tree()->Selected())->path;
        QCOMPARE(selected, d->Tree()->Model().Record(d->Tree()->Model().FirstDeepest())->path);
        QVERIFY(TileOf(*d, 0)->ImageShown());
        QCOMPARE(d->Pictures()->Count(), 1);
        QVERIFY(d->Pictures()->isVisible());
    }

    void withoutStartPathsTheSampleFolderIsScanned()
    {
        auto d = MakeViewer(m_program.Path(), m_answers);
        QCOMPARE(ImagePaths(*d).size(), 4);
        QVERIFY(QString::fromStdString(ImagePaths(*d).front()).startsWith(m_program.Path() + "/DICOM/"));
    }

    void droppedPathsAreTheBytesOfLocalFiles_data()
    {
        QTest::addColumn<QByteArray>("uriList");
        QTest::addColumn<QList<QByteArray>>("paths");
        QTest::newRow("one") << QByteArray("file:///data/a.dcm\r\n") << QList<QByteArray> { "/data/a.dcm" };
        QTest::newRow("comment, host, two")
            << QByteArray("# from a file manager\r\nfile://localhost/x/y\r\nfile:///z\r\n")
            << QList<QByteArray> { "/x/y", "/z" };
        QTest::newRow("escapes and Latin-1")
            << QByteArray("file:///my%20scans/M%FCller\n") << QList<QByteArray> { "/my scans/M\xfcller" };
        QTest::newRow("not local") << QByteArray("https://example.org/a.dcm\r\nsmb://host/share/b\r\n")
                                   << QList<QByteArray> {};
    }

    void droppedPathsAreTheBytesOfLocalFiles()
    {
        QFETCH(QByteArray, uriList);
        QFETCH(QList<QByteArray>, paths);
        QMimeData data;
        data.setData("text/uri-list", uriList);
        QList<QByteArray> got;
        for (const std::string& path : DroppedPaths(data))
            got << QByteArray::fromStdString(path);
        QCOMPARE(got, paths);
    }

    void aDropOpensFoldersAndFiles()
    {
        auto d = MakeViewer(m_program.Path(), m_answers);
        QMimeData folder;
        folder.setData("text/uri-list",
            "file://" + QByteArray::fromStdString(Bytes(m_mr)).toPercentEncoding("/") + "\r\n");
        QVERIFY(DragAndDrop(*d, &folder));
        QCOMPARE(ImagePaths(*d).size(), 2);
        QVERIFY(TileOf(*d, 0)->ImageShown());

        QMimeData file;
        file.setUrls({ QUrl::fromLocalFile(QString::fromStdString(Bytes(m_ct))) });
        QVERIFY(DragAndDrop(*d, &file));
        QCOMPARE(ImagePaths(*d), std::vector<std::string> { Bytes(m_ct) });

        QMimeData web;
        web.setUrls({ QUrl("https://example.org/a.dcm") });
        QVERIFY(!DragAndDrop(*d, &web));
        QCOMPARE(ImagePaths(*d).size(), 1);
    }

    // A file manager offers copy, move and link, and proposes move (Qt's drags, and others with
    // a key held): the viewer takes a copy, else a link, and never a move, after which the source
    // would delete the files the viewer has just opened. A drag that offers only a move is refused.
    void aDropIsTakenAsACopyNeverAsAMove()
    {
        auto d = MakeViewer(m_program.Path(), m_answers);
        QMimeData folder;
        folder.setData("text/uri-list",
            "file://" + QByteArray::fromStdString(Bytes(m_mr)).toPercentEncoding("/") + "\r\n");
        const struct {
            Qt::DropActions offered;
            bool accepted;
            Qt::DropAction taken;
        } cases[] = {
            { Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, true, Qt::CopyAction },
            { Qt::MoveAction | Qt::LinkAction, true, Qt::LinkAction },
            { Qt::MoveAction, false, Qt::IgnoreAction },
        };
        for (const auto& c : cases) {
            d->OpenPaths({ Bytes(m_ct) });
            Qt::DropAction taken = Qt::IgnoreAction;
            QCOMPARE(DragAndDrop(*d, &folder, c.offered, &taken), c.accepted);
            if (c.accepted)
                QCOMPARE(taken, c.taken);
            QCOMPARE(ImagePaths(*d).size(), c.accepted ? 2u : 1u);
        }
    }

    // A drop goes to the innermost widget under it that takes drops, else up to the window: every
    // point of the window, the zoom and fps boxes included, must lead to the window itself (a
    // text box would take a dropped folder as text).
    void dropsAnywhereOnTheWindowReachIt()
    {
        auto d = MakeViewer(m_program.Path(), m_answers);
        for (int y = 0; y < d->height(); y += 5) {
            for (int x = 0; x < d->width(); x += 5) {
                QWidget* target = d->childAt(x, y);
                while (target != nullptr && !target->acceptDrops() && !target->isWindow())
                    target = target->parentWidget();
                if (target != nullptr && target != d.get())
                    QFAIL(qPrintable(QString("a drop at %1,%2 goes to %3")
                                         .arg(x)
                                         .arg(y)
                                         .arg(target->metaObject()->className())));
            }
        }
    }
};

QTEST_MAIN(OpenPathsTest)
#include "open_paths_qtest.moc"
