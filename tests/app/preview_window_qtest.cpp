// The real main window on the bundled sample folder, with the real image area: the tree fills,
// the first CT slice is painted in tile 0, and a grab of the window is written to
// $VELMORA_SCREENSHOT when that is set (the contributors' screenshot, see README).
#include "app/exam_tree.h"
#include "app/main_dialog.h"
#include "toolkit/built_in_tables.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;

class PreviewWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheSampleFolder()
    {
        InstallBuiltInTables();
        QTemporaryDir program;
        const QString samples = qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/resources/DICOM";
        QVERIFY(QDir(samples).exists());
        QVERIFY(QFile::link(samples, program.path() + "/DICOM"));
        MainDialog dialog(program.path());
        dialog.Initialise();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.Tree()->topLevelItemCount(), 3);
        QVERIFY(dialog.Tree()->Selected() != 0);
        QVERIFY(dialog.Area().TileHoldsImage(0));
        dialog.Tree()->expandAll();
        QCoreApplication::processEvents(); // the tree's column takes the expanded labels' width
        const QImage shot = dialog.grab().toImage();
        const QString out = qEnvironmentVariable("VELMORA_SCREENSHOT");
        if (!out.isEmpty())
            QVERIFY(shot.save(out));
        // Tile 0 spans (0, 50) to (743, 639): its centre shows the phantom's brain (grey), its
        // corner the black around the image.
        const QColor centre = shot.pixelColor(371, 344);
        QVERIFY2(centre.value() > 40 && centre.saturation() < 20, qPrintable(centre.name()));
        QCOMPARE(shot.pixelColor(5, 60), QColor(0, 0, 0));
    }
};

QTEST_MAIN(PreviewWindowTest)
#include "preview_window_qtest.moc"
