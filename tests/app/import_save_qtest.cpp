// Load (import) and Save Image through MainDialog with the real tile grid and scripted file
// dialogs: pictures join the list and show when clicked, a DICOM file replaces the exam tree and
// shows its first image, and the selected image's file is saved whole as a raw data set; every
// failure of the save is silent.
#include "app/exam_tree.h"
#include "app/main_dialog.h"
#include "tests/app/event_wait.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/tag.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace velmora;

namespace {

struct Answers {
    QString openFile;
    QString saveFile;
    QStringList openTitles;
    QStringList openFilters;
    int saveAsked = 0;
    QStringList warnings;
};

class ScriptedPrompts : public UserPrompts {
public:
    explicit ScriptedPrompts(Answers& answers)
        : a(answers)
    {
    }
    QString ChooseFolder(QWidget*, const QString&) override { return {}; }
    QString ChooseOpenFile(QWidget*, const QString& title, const QString& filter) override
    {
        a.openTitles << title;
        a.openFilters << filter;
        return a.openFile;
    }
    QString ChooseSaveFile(QWidget*) override
    {
        ++a.saveAsked;
        return a.saveFile;
    }
    void Warn(QWidget*, const QString&, const QString& text) override { a.warnings << text; }
    bool AskAnnotationText(QWidget*, QString&) override { return false; }

private:
    Answers& a;
};

QString Samples()
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/resources/DICOM";
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every value but group 0002 and group lengths, in pre-order with depth: what a save keeps.
QStringList Values(const QString& path)
{
    DataSet ds;
    QStringList lines;
    if (ds.Load(QFile::encodeName(path).constData()) != SUCCESS)
        return { "unreadable" };
    for (ElementId id = ds.FirstTopLevel(); id >= 0; id = ds.NextInPreOrder(id)) {
        const uint32_t tag = ds.GetTag(id);
        if (TagGroup(tag) == 0x0002 || TagElement(tag) == 0 || tag == tags::ITEM_DELIMITATION
            || tag == tags::SEQUENCE_DELIMITATION)
            continue;
        QByteArray value;
        const uint32_t length = ds.IsContainer(id) ? 0 : ds.GetValueLength(id);
        if (length > 0) {
            value.resize(static_cast<qsizetype>(length));
            ds.ReadValue(id, value.data(), 0, length);
        }
        lines << QString("%1 %2 %3").arg(ds.Depth(id)).arg(tag, 8, 16).arg(QString(value.toHex()));
    }
    return lines;
}

} // namespace

class ImportSaveTest : public QObject {
    Q_OBJECT

private:
    Answers answers;
    QTemporaryDir scratch;

    std::unique_ptr<MainDialog> Make()
    {
        answers = Answers {};
        const QString program = scratch.path() + "/program";
        QDir(program).removeRecursively();
        QDir().mkpath(program + "/DICOM/CT_HEAD");
        for (const char* name : { "CT001.dcm", "CT002.dcm" })
            QFile::copy(Samples() + "/CT_HEAD/" + name, program + "/DICOM/CT_HEAD/" + name);
        auto dialog
            = std::make_unique<MainDialog>(program, nullptr, std::make_unique<ScriptedPrompts>(answers));
        dialog->Initialise();
        dialog->show();
        if (!QTest::qWaitForWindowExposed(dialog.get(), testing::kEventWaitMs))
            QTest::qFail("the main window was not exposed", __FILE__, __LINE__);
        return dialog;
    }

    static ExamItem NextInPreOrder(const ExamModel& model, ExamItem item)
    {
        if (const ExamItem child = model.FirstChild(item))
            return child;
        for (ExamItem at = item; at; at = model.Parent(at))
            if (const ExamItem sibling = model.NextSibling(at))
                return sibling;
        return 0;
    }

    static int CountLevel(MainDialog& d, ExamLevel level)
    {
        int count = 0;
        ExamModel& model = d.Tree()->Model();
        for (ExamItem item = model.FirstChild(0); item; item = NextInPreOrder(model, item))
            count += model.Level(item) == level;
        return count;
    }

    QString Picture(const QString& name, QColor colour)
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = scratch.path() + "/" + name;
        image.save(path, "JPEG", 100);
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(InstallBuiltInTables() == SUCCESS); }

    void loadAsksForOneFileOfAnyType()
    {
        auto d = Make();
        d->RunCommand(ID_LOAD);
        QCOMPARE(answers.openTitles, QStringList { "Import Image" });
        QVERIFY(answers.openFilters.first().startsWith("ALL"));
        // Cancelled: the tree keeps the scanned folder.
        QCOMPARE(CountLevel(*d, ExamLevel::Image), 2);
    }

    void jpegJoinsThePictureListAndShowsWhenClicked()
    {
        auto d = Make();
        const int images = CountLevel(*d, ExamLevel::Image);
        QVERIFY(!d->Pictures()->isVisible());
        answers.openFile = Picture("a.JPG", Qt::red);
        d->LoadFile();
        QVERIFY(d->JpegFound());
        QVERIFY(d->Pictures()->isVisible());
        QCOMPARE(d->Pictures()->PathAt(0), answers.openFile.toStdString());
        QCOMPARE(CountLevel(*d, ExamLevel::Image), images);

        // A second picture goes on top; a click on the lower one shows it in tile 0 (1-up).
        answers.openFile = Picture("b.jpeg", Qt::blue);
        d->LoadFile();
        QCOMPARE(d->Pictures()->Count(), 2);
        QCOMPARE(d->Pictures()->PathAt(0), answers.openFile.toStdString());
        QTreeWidgetItem* red = d->Pictures()->topLevelItem(1);
        QTest::mouseClick(
            d->Pictures()->viewport(), Qt::LeftButton, {}, d->Pictures()->visualItemRect(red).center());
        QVERIFY(d->Area().TileHoldsImage(0));
        QWidget* tile = d->Area().Tile(0);
        const QImage shown = tile->grab().toImage();
        const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        QVERIFY2(centre.red() > 200 && centre.blue() < 60, qPrintable(centre.name()));
        // The picture is centred at its natural size on black.
        QCOMPARE(shown.pixelColor(2, 2), QColor(Qt::black));
    }

    void loadOfAMissingName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("picture");
        QTest::newRow("picture name") << "nowhere/c.jpg" << true;
        QTest::newRow("picture name, jpeg") << "nowhere/d.JPEG" << true;
        QTest::newRow("any other name") << "nowhere/e.dcm" << false;
        QTest::newRow("no extension") << "nowhere/f" << false;
    }

    void loadOfAMissingName()
    {
        // The dialog returns a typed name that does not exist (dialogs_qtest shows it does).
        QFETCH(QString, name);
        QFETCH(bool, picture);
        auto d = Make();
        answers.openFile = scratch.path() + "/" + name;
        QVERIFY(!QFile::exists(answers.openFile));
        QVERIFY(d->Area().TileHoldsImage(0));
        d->LoadFile();
        QCOMPARE(d->JpegFound(), picture);
        QCOMPARE(d->Pictures()->isVisible(), picture);
        QVERIFY(d->Area().TileHoldsImage(0)); // the tiles are not touched
        if (!picture) {
            // The exam tree is emptied and nothing joins the picture list.
            QVERIFY(d->Tree()->Model().Empty());
            QCOMPARE(d->Pictures()->Count(), 0);
            return;
        }
        // Added to the picture list anyway, the tree kept; its click shows a black tile that
        // counts as holding an image.
        QCOMPARE(d->Pictures()->PathAt(0), answers.openFile.toStdString());
        QCOMPARE(CountLevel(*d, ExamLevel::Image), 2);
        QTest::mouseClick(d->Pictures()->viewport(), Qt::LeftButton, {},
            d->Pictures()->visualItemRect(d->Pictures()->topLevelItem(0)).center());
        QVERIFY(d->Area().TileHoldsImage(0));
        const QImage shown = d->Area().Tile(0)->grab().toImage();
        for (const QPoint p : { QPoint(shown.width() / 2, shown.height() / 2), QPoint(3, 3) })
            QCOMPARE(shown.pixelColor(p), QColor(Qt::black));
    }

    void dicomFileReplacesTheTreeAndShowsItsFirstImage()
    {
        auto d = Make();
        answers.openFile = Samples() + "/OTHER/CINE001.dcm";
        d->LoadFile();
        QVERIFY(!d->JpegFound());
        QCOMPARE(CountLevel(*d, ExamLevel::Patient), 1);
        QCOMPARE(CountLevel(*d, ExamLevel::Study), 1);
        QCOMPARE(CountLevel(*d, ExamLevel::Series), 1);
        QCOMPARE(CountLevel(*d, ExamLevel::Image), 8);
        const ExamItem selected = d->Tree()->Selected();
        QVERIFY(d->Tree()->Model().Record(selected));
        QCOMPARE(d->Tree()->Model().Record(selected)->frame, 1);
        QVERIFY(d->Area().TileHoldsImage(0));
        QVERIFY(!d->Pictures()->isVisible());
        // The frame is painted: the tile is not all black.
        const QImage shown = d->Area().Tile(0)->grab().toImage();
        int lit = 0;
        for (int y = 0; y < shown.height(); y += 7)
            for (int x = 0; x < shown.width(); x += 7)
                lit += qGray(shown.pixel(x, y)) > 16;
        QVERIFY2(lit > 20, qPrintable(QString::number(lit)));

        // A file that is neither a picture by name nor DICOM empties the tree, tiles untouched.
        answers.openFile = scratch.path() + "/not-dicom.txt";
        QFile text(answers.openFile);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("hello");
        text.close();
        d->LoadFile();
        QVERIFY(d->Tree()->Model().Empty());
        QVERIFY(d->Area().TileHoldsImage(0));
    }

    void saveImageWritesTheWholeFileRaw()
    {
        auto d = Make();
        answers.openFile = Samples() + "/OTHER/CINE001.dcm";
        d->LoadFile();
        // Image 3 of 8 selected: the file is saved whole all the same.
        ExamModel& model = d->Tree()->Model();
        ExamItem third = d->Tree()->Selected();
        third = model.NextSibling(model.NextSibling(third));
        d->Tree()->Select(third);
        QCOMPARE(model.Record(third)->frame, 3);
        answers.saveFile = scratch.path() + "/saved.raw";
        // The button is hidden and disabled; the command is reached from code.
        QVERIFY(!d->Control(ID_SAVE_IMAGE)->isVisible());
        d->RunCommand(ID_SAVE_IMAGE);
        QCOMPARE(answers.saveAsked, 1);
        const QByteArray saved = Bytes(answers.saveFile);
        QVERIFY(saved.size() > 132);
        QVERIFY(saved.mid(128, 4) != "DICM");
        QCOMPARE(static_cast<uint8_t>(saved[0]) | static_cast<uint8_t>(saved[1]) << 8, 0x0008);
        const QStringList before = Values(Samples() + "/OTHER/CINE001.dcm");
        QCOMPARE(Values(answers.saveFile), before);
        // The eight frames are all there: the offset table and eight fragments.
        int fragments = 0;
        bool inPixelData = false;
        for (const QString& line : before) {
            if (line.startsWith("0 "))
                inPixelData = line.startsWith("0 7fe00010");
            else
                fragments += inPixelData && line.startsWith("1 fffee000");
        }
        QCOMPARE(fragments, 9);
        QVERIFY(answers.warnings.isEmpty());
    }

    void saveFailuresAreSilent()
    {
        auto d = Make();
        // Cancelled.
        d->SaveImage();
        QCOMPARE(answers.saveAsked, 1);
        // A series item has no file.
        ExamModel& model = d->Tree()->Model();
        ExamItem series = model.FirstChild(model.FirstChild(model.FirstChild(0)));
        QCOMPARE(model.Level(series), ExamLevel::Series);
        d->Tree()->Select(series);
        answers.saveFile = scratch.path() + "/series.raw";
        d->SaveImage();
        QVERIFY(!QFile::exists(answers.saveFile));
        // An unwritable destination.
        d->Tree()->Select(model.FirstChild(series));
        answers.saveFile = scratch.path() + "/no/such/folder/image.raw";
        d->SaveImage();
        QVERIFY(!QFile::exists(answers.saveFile));
        // An unreadable source: the file vanished after the scan.
        const QString source = QString::fromStdString(model.Record(model.FirstChild(series))->path);
        QVERIFY(QFile::remove(source));
        answers.saveFile = scratch.path() + "/gone.raw";
        d->SaveImage();
        QVERIFY(!QFile::exists(answers.saveFile));
        // Nothing selected.
        d->Tree()->Select(0);
        answers.saveFile = scratch.path() + "/none.raw";
        d->SaveImage();
        QVERIFY(!QFile::exists(answers.saveFile));
        QCOMPARE(answers.saveAsked, 5);
        QVERIFY(answers.warnings.isEmpty());
    }
};

QTEST_MAIN(ImportSaveTest)
#include "import_save_qtest.moc"
