// The command table as the viewer fills it: every toolbar button has its command, keys are
// unique, and a key does exactly what a click on the command's button does.
#include "app/controls.h"
#include "app/viewer_commands.h"
#include "canvas/annotation_canvas.h"
#include "viewer_fixture.h"

using namespace velmora;
using namespace velmora::testing;

class ViewerCommandsTest : public QObject {
    Q_OBJECT

    ViewerFolder m_folder;
    PromptAnswers m_answers;

private slots:
    void initTestCase() { InstallViewerTables(); }

    void everyButtonHasItsCommandAndEveryKeyIsUnique()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        for (QObject* child : d->children()) {
            auto* button = qobject_cast<IconButton*>(child);
            if (!button || ControlId(button) == ID_APPLY_ALL)
                continue;
            const Command* command = d->Commands().Find(ControlId(button));
            QVERIFY2(command && command->run, qPrintable(QString::number(ControlId(button))));
        }
        QList<QKeySequence> keys;
        for (const Command& command : d->Commands().Entries()) {
            QVERIFY2(!command.text.isEmpty(), qPrintable(QString::number(command.id)));
            if (command.key.isEmpty())
                continue;
            QVERIFY2(!keys.contains(command.key), qPrintable(command.key.toString()));
            keys << command.key;
        }
    }

    void aKeyDoesWhatAClickOnItsButtonDoes_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<int>("id");
        QTest::addColumn<QList<int>>("before"); // buttons clicked first, in both viewers
        QTest::newRow("ruler") << QKeySequence(Qt::Key_R) << int(ID_RULER) << QList<int> {};
        QTest::newRow("ruler off") << QKeySequence(Qt::Key_R) << int(ID_RULER) << QList<int> { ID_RULER };
        QTest::newRow("angle over ruler")
            << QKeySequence(Qt::Key_A) << int(ID_ANGLE) << QList<int> { ID_RULER };
        QTest::newRow("arrow") << QKeySequence(Qt::Key_P) << int(ID_ARROW) << QList<int> { ID_WINDOW_LEVEL };
        QTest::newRow("text") << QKeySequence(Qt::Key_T) << int(ID_TEXT) << QList<int> {};
        QTest::newRow("select") << QKeySequence(Qt::Key_S) << int(ID_SELECT) << QList<int> {};
        QTest::newRow("window level") << QKeySequence(Qt::Key_L) << int(ID_WINDOW_LEVEL) << QList<int> {};
        QTest::newRow("invert") << QKeySequence(Qt::Key_I) << int(ID_INVERT) << QList<int> {};
        QTest::newRow("zoom in") << QKeySequence(Qt::Key_Plus) << int(ID_ZOOM_IN) << QList<int> {};
        QTest::newRow("zoom out") << QKeySequence(Qt::Key_Minus) << int(ID_ZOOM_OUT) << QList<int> {};
        QTest::newRow("mirror") << QKeySequence(Qt::Key_M) << int(ID_REFLECT_X) << QList<int> {};
        QTest::newRow("flip") << QKeySequence(Qt::Key_F) << int(ID_REFLECT_Y) << QList<int> {};
        QTest::newRow("reset") << QKeySequence(Qt::Key_0) << int(ID_RESET) << QList<int> { ID_ZOOM_IN };
        QTest::newRow("4-up") << QKeySequence(Qt::Key_4) << int(ID_TILE4) << QList<int> {};
        QTest::newRow("1-up") << QKeySequence(Qt::Key_1) << int(ID_TILE1) << QList<int> { ID_TILE4 };
        QTest::newRow("next") << QKeySequence(Qt::Key_PageDown) << int(ID_NEXT) << QList<int> {};
        QTest::newRow("previous") << QKeySequence(Qt::Key_PageUp) << int(ID_PREVIOUS)
                                  << QList<int> { ID_NEXT };
        QTest::newRow("whole list") << QKeySequence(Qt::Key_E) << int(ID_LOAD_ALL) << QList<int> {};
        QTest::newRow("cine") << QKeySequence(Qt::Key_C) << int(ID_CINE) << QList<int> {};
        QTest::newRow("quit") << QKeySequence(Qt::CTRL | Qt::Key_Q) << int(ID_OK) << QList<int> {};
    }

    void aKeyDoesWhatAClickOnItsButtonDoes()
    {
        QFETCH(QKeySequence, key);
        QFETCH(int, id);
        QFETCH(QList<int>, before);
        QCOMPARE(MakeViewer(m_folder.Path(), m_answers)->Commands().Find(id)->key, key);

        ExpectSameAsClick(
            m_folder.Path(), m_answers, before, id, [&](MainDialog& d) { QTest::keySequence(&d, key); });
    }

    void toolsOffReleasesTheToolAndIsCheckedWhenNoToolIsOn()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        const Command* off = d->Commands().Find(ID_TOOLS_OFF);
        QVERIFY(off->checked());
        QTest::keyClick(d.get(), Qt::Key_R);
        QCOMPARE(d->Button(ID_RULER)->GetCheck(), 1);
        QVERIFY(!off->checked());
        QTest::keyClick(d.get(), Qt::Key_N);
        QCOMPARE(d->Button(ID_RULER)->GetCheck(), 0);
        QVERIFY(off->checked());
        const auto* canvas = dynamic_cast<const AnnotationCanvas*>(TileOf(*d, 0)->Binding().Canvas());
        QCOMPARE(canvas->Mode(), CanvasMode::Off);
    }

    void aTextBoxKeepsTheKeysTypedIntoIt()
    {
        auto d = MakeViewer(m_folder.Path(), m_answers);
        auto* fps = qobject_cast<QLineEdit*>(d->Control(ID_FPS_BOX));
        fps->setFocus();
        fps->selectAll();
        QTest::keyClicks(fps, "40");
        QCOMPARE(fps->text(), QString("40"));
        QCOMPARE(d->Area().Mode(), 1);
        QCOMPARE(d->Zoom(), 1.0);
    }

    void addingACommandIsOneEntryAndReplacesBySameId()
    {
        CommandTable table;
        int ran = 0;
        table.Add({ 2100, "First", {}, [&] { ran += 1; }, {}, IMAGE_MENU, FILE_GROUP });
        table.Add({ 2101, "Second", {}, [&] { ran += 10; }, {}, IMAGE_MENU | TREE_IMAGE_MENU, TOOLS_GROUP });
        table.Add({ 2102, "Third", {}, [&] { ran += 100; }, {}, TREE_IMAGE_MENU, TOOLS_GROUP });
        table.Add({ 2100, "First again", {}, [&] { ran += 1000; }, {}, IMAGE_MENU, FILE_GROUP });
        QCOMPARE(table.Entries().size(), size_t(3));
        QVERIFY(table.Run(2100));
        QVERIFY(!table.Run(2999));
        QCOMPARE(ran, 1000);
        std::vector<QString> image;
        for (const Command* c : table.InMenu(IMAGE_MENU))
            image.push_back(c->text);
        QCOMPARE(image, (std::vector<QString> { "Second", "First again" }));
        QCOMPARE(table.InMenu(TREE_IMAGE_MENU).size(), size_t(2));
    }
};

QTEST_MAIN(ViewerCommandsTest)
#include "viewer_commands_qtest.moc"
