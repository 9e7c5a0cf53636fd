// TileGrid: the 1-up and 4-up geometry, resizing (also to nothing), the fan-out of the viewing
// commands to every live tile, the picture placement rule and arming the calibration prompt.
#include "app/tile_grid.h"
#include "toolkit/built_in_tables.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;

namespace {

class FixedZoom : public ZoomHost {
public:
    double zoom = 1.0;
    std::vector<double> shown;
    double CurrentZoom() const override { return zoom; }
    void ShowZoomPercent(double value) override { shown.push_back(value); }
};

std::string Sample(const char* name)
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR").toStdString() + "/resources/DICOM/" + name;
}

FourSlots Slots(std::initializer_list<const char*> names)
{
    FourSlots four;
    size_t k = 0;
    for (const char* name : names) {
        if (*name != '\0')
            four[k] = { Sample(name), 1 };
        ++k;
    }
    return four;
}

} // namespace

class TileGridTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FixedZoom m_host;
    std::unique_ptr<QWidget> m_dialog;
    std::unique_ptr<TileGrid> m_grid;
    FourPaths m_pictures;

    QRect TileRect(int k) const { return m_grid->Tile(k) ? m_grid->Tile(k)->geometry() : QRect(); }

private slots:
    void initTestCase()
    {
        InstallBuiltInTables();
        for (size_t k = 0; k < 4; ++k) {
            QImage picture(40, 30, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(static_cast<int>(k) * 80, 255, 255));
            m_pictures[k] = (m_dir.path() + QString("/p%1.jpg").arg(k)).toStdString();
            QVERIFY(picture.save(QString::fromStdString(m_pictures[k])));
        }
    }

    void init()
    {
        m_host = FixedZoom {};
        m_dialog = std::make_unique<QWidget>();
        m_dialog->resize(917, 639);
        m_grid = std::make_unique<TileGrid>(m_host);
        m_grid->Create(m_dialog.get());
        m_dialog->show();
    }

    void cleanup()
    {
        m_grid.reset();
        m_dialog.reset();
    }

    void laysOutOneAndFourTiles()
    {
        QCOMPARE(m_grid->Mode(), 1);
        QCOMPARE(TileRect(0), QRect(0, 50, 743, 589));
        QVERIFY(m_grid->Tile(0)->isVisible());
        QCOMPARE(m_grid->TileAt(0)->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!m_grid->Tile(1));
        m_grid->SetMode(4);
        QCOMPARE(m_grid->Mode(), 4);
        QCOMPARE(TileRect(0), QRect(0, 50, 370, 293));
        QCOMPARE(TileRect(1), QRect(372, 50, 370, 293));
        QCOMPARE(TileRect(2), QRect(0, 345, 370, 293));
        QCOMPARE(TileRect(3), QRect(372, 345, 370, 293));
        for (int k = 0; k < 4; ++k) {
            QVERIFY(m_grid->Tile(k)->isVisible());
            QCOMPARE(m_grid->TileAt(k)->cursor().shape(), Qt::ArrowCursor);
        }
        // Resizing a 4-up grid to 744 x 590.
        m_grid->Resize(744, 640);
        QCOMPARE(TileRect(0), QRect(QPoint(0, 50), QPoint(370, 343)));
        QCOMPARE(TileRect(3), QRect(QPoint(373, 346), QPoint(743, 639)));
        QCOMPARE(TileRect(1), QRect(QPoint(373, 50), QPoint(743, 343)));
        QCOMPARE(TileRect(2), QRect(QPoint(0, 346), QPoint(370, 639)));
        // Back to 1-up: tiles 1 to 3 are gone with what they showed.
        QPointer<QWidget> tile3 = m_grid->Tile(3);
        m_grid->SetMode(1);
        QVERIFY(tile3.isNull());
        QVERIFY(!m_grid->Tile(1));
        QCOMPARE(TileRect(0), QRect(0, 50, 744, 590));
        // Other modes change nothing.
        m_grid->SetMode(2);
        m_grid->SetMode(1);
        QCOMPARE(m_grid->Mode(), 1);
    }

    void degenerateSizesFailNothing()
    {
        m_grid->Resize(0, 10);
        QCOMPARE(TileRect(0).size(), QSize(0, 0));
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm" }));
        m_grid->SetMode(4);
        m_grid->Resize(-20, 49);
        for (int k = 0; k < 4; ++k)
            QVERIFY(TileRect(k).isEmpty());
        m_grid->ShowImages(
            Slots({ "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "MR_BRAIN/MR001.dcm", "OTHER/RGB001.dcm" }));
        m_grid->SetZoom(2.0);
        m_grid->ApplyMirror();
        m_grid->ShowPictures(m_pictures);
        QCoreApplication::processEvents();
        m_grid->Resize(300, 300);
        QCoreApplication::processEvents();
        QCOMPARE(TileRect(3).size(), QSize(149, 124));
    }

    void fansOutToEveryLiveTile()
    {
        m_grid->SetMode(4);
        m_host.zoom = 1.5;
        m_grid->SetMirror(true);
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "", "OTHER/RGB001.dcm" }));
        QCOMPARE(m_host.shown, std::vector<double>({ 1.5, 1.5, 1.5 }));
        QVERIFY(m_grid->LastShowResult());
        const std::vector<bool> holds = { m_grid->TileHoldsImage(0), m_grid->TileHoldsImage(1),
            m_grid->TileHoldsImage(2), m_grid->TileHoldsImage(3) };
        QCOMPARE(holds, std::vector<bool>({ true, true, false, true }));
        QVERIFY(!m_grid->TileHoldsImage(4));
        QVERIFY(!m_grid->TileHoldsImage(-1));
        for (int k = 0; k < 4; ++k)
            QVERIFY(m_grid->TileAt(k)->reflectX);
        QCOMPARE(m_grid->TileAt(0)->ImageRect().Width(), 192);
        // Zoom reaches every shown image.
        m_grid->SetZoom(0.5);
        QCOMPARE(m_grid->TileAt(0)->ImageRect().Width(), 64);
        QCOMPARE(m_grid->TileAt(3)->ImageRect().Width(), 48);
        // Flip and invert set every tile's flag.
        m_grid->SetFlip(true);
        m_grid->ApplyFlip();
        m_grid->SetInvert(true);
        m_grid->ApplyInvert();
        for (int k = 0; k < 4; ++k)
            QVERIFY(m_grid->TileAt(k)->reflectY && m_grid->TileAt(k)->invert);
        // Window/level only where an image is shown.
        m_grid->ToggleWindowLevel();
        QVERIFY(m_grid->TileAt(0)->WindowLevelMode());
        QVERIFY(!m_grid->TileAt(2)->WindowLevelMode());
        // A tool ends window/level mode in every tile.
        m_grid->ChooseAnnotation(AnnotationKind::Arrow);
        QVERIFY(!m_grid->TileAt(0)->WindowLevelMode());
        // The last tile decides the result.
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "CT_HEAD/CT003.dcm", "" }));
        QVERIFY(!m_grid->LastShowResult());
        // In 1-up only tile 0 loads.
        m_grid->SetMode(1);
        m_host.shown.clear();
        m_grid->ShowImages(Slots({ "MR_BRAIN/MR001.dcm", "CT_HEAD/CT002.dcm" }));
        QCOMPARE(m_host.shown.size(), size_t(1));
    }

    void placesPictures()
    {
        // 1-up: tile 0.
        m_grid->ShowPictures(m_pictures);
        QCOMPARE(m_grid->TileAt(0)->PicturePath(), m_pictures[0]);
        m_grid->SetMode(4);
        auto pictureOf = [this](int k) {
            const TileWindow* tile = m_grid->TileAt(k);
            return tile->Content() == TileContent::Picture ? tile->PicturePath() : std::string();
        };
        // Tiles 0 and 1 hold images, 2 and 3 are free: p0 goes to tile 2, p1 to tile 3.
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "", "" }));
        m_grid->ShowPictures({ m_pictures[1], m_pictures[2], m_pictures[3], "" });
        QCOMPARE(pictureOf(2), m_pictures[1]);
        QCOMPARE(pictureOf(3), m_pictures[2]);
        QCOMPARE(pictureOf(0), std::string());
        // All four hold images: tile 0 is replaced.
        m_grid->ShowPictures(m_pictures);
        QCOMPARE(pictureOf(0), m_pictures[0]);
        QCOMPARE(pictureOf(2), m_pictures[1]);
        // Tile 1 free: p0, p1, p2 in tiles 1, 2, 3 where free.
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm", "", "CT_HEAD/CT002.dcm", "" }));
        m_grid->ShowPictures({ m_pictures[3], m_pictures[2], m_pictures[1], m_pictures[0] });
        QCOMPARE(pictureOf(1), m_pictures[3]);
        QCOMPARE(pictureOf(2), std::string());
        QCOMPARE(pictureOf(3), m_pictures[1]);
        // Only tile 3 free.
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "CT_HEAD/CT003.dcm", "" }));
        m_grid->ShowPictures(m_pictures);
        QCOMPARE(pictureOf(3), m_pictures[0]);
        QCOMPARE(pictureOf(0), std::string());
        // Tile 0 free: it takes p0, and tiles 1 to 3 are filled by the same rule after it, so p0
        // shows twice; an empty path leaves its tile free, and p3 is never used.
        m_grid->ShowImages(FourSlots {});
        m_grid->ShowPictures({ m_pictures[0], m_pictures[1], "", m_pictures[3] });
        QCOMPARE(pictureOf(0), m_pictures[0]);
        QCOMPARE(pictureOf(1), m_pictures[0]);
        QCOMPARE(pictureOf(2), m_pictures[1]);
        QVERIFY(!m_grid->TileHoldsImage(3));
        // Tile 0 free, tile 1 holding an image: p0 in tiles 0 and 2, p1 in tile 3; p2 and p3 unused.
        m_grid->ShowImages(Slots({ "", "CT_HEAD/CT001.dcm", "", "" }));
        m_grid->ShowPictures(m_pictures);
        QCOMPARE(pictureOf(0), m_pictures[0]);
        QCOMPARE(m_grid->TileAt(1)->Content(), TileContent::DicomFrame);
        QCOMPARE(pictureOf(2), m_pictures[0]);
        QCOMPARE(pictureOf(3), m_pictures[1]);
        // Tile 0 the only free one: it alone takes p0.
        m_grid->ShowImages(Slots({ "", "CT_HEAD/CT001.dcm", "CT_HEAD/CT002.dcm", "CT_HEAD/CT003.dcm" }));
        m_grid->ShowPictures(m_pictures);
        QCOMPARE(pictureOf(0), m_pictures[0]);
        for (int k = 1; k < 4; ++k)
            QCOMPARE(m_grid->TileAt(k)->Content(), TileContent::DicomFrame);
        // A picture that can't be read still occupies its tile.
        m_grid->ShowImages(FourSlots {});
        m_grid->ShowPictures({ (m_dir.path() + "/missing.jpg").toStdString(), "", "", "" });
        QVERIFY(m_grid->TileHoldsImage(0));
        QVERIFY(m_grid->TileHoldsImage(1));
        QVERIFY(!m_grid->TileHoldsImage(2));
    }

    void armsCalibrationOnlyOnceAndOnlyIn1Up()
    {
        m_grid->ShowImages(Slots({ "CT_HEAD/CT001.dcm" }));
        m_grid->SetMode(4);
        m_grid->ChooseAnnotation(AnnotationKind::Ruler);
        QVERIFY(!m_grid->RulerArmed());
        QVERIFY(!m_grid->TileAt(0)->CalibrationPending());
        m_grid->SetMode(1);
        m_grid->ChooseAnnotation(AnnotationKind::Angle);
        QVERIFY(!m_grid->RulerArmed());
        m_grid->ChooseAnnotation(AnnotationKind::Ruler);
        QVERIFY(m_grid->RulerArmed());
        QVERIFY(m_grid->TileAt(0)->CalibrationPending());
        QTest::mouseClick(m_grid->Tile(0), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        QVERIFY(!m_grid->TileAt(0)->CalibrationPending());
        m_grid->ChooseAnnotation(AnnotationKind::Ruler);
        QVERIFY(!m_grid->TileAt(0)->CalibrationPending());
        QVERIFY(m_grid->RulerArmed());
    }
};

QTEST_MAIN(TileGridTest)
#include "tile_grid_qtest.moc"
