// ExamTree in the real main window: labels longer than the view are never cut short (the column
// grows to the widest visible item and a horizontal scroll bar appears), Previous, Next and the
// keyboard bring a deep item's label into view sideways as well, the tree keeps the template's
// place and size, and the picture list keeps its one 150-pixel column.
#include "app/exam_tree.h"
#include "app/main_dialog.h"
#include "app/model/exam_filing.h"
#include "tests/app/event_wait.h"
#include "toolkit/built_in_tables.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace velmora;

namespace {

const char* const kPatient = "PHANTOM";
const char* const kStudy = "Velmora phantom study for stepping through slices";
const char* const kSeries = "perf 200 frames axial 1.25 mm soft tissue kernel";

} // namespace

class ExamTreeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainDialog> m_dialog;
    ExamTree* m_tree = nullptr;

    // Whether the item's picture and whole label lie inside the view.
    bool LabelInView(QTreeWidgetItem* item) const
    {
        const QRect cell = m_tree->visualItemRect(item);
        const int width = m_tree->sizeHintForIndex(m_tree->indexFromItem(item)).width();
        return cell.left() >= 0 && cell.left() + width <= m_tree->viewport()->width() && cell.top() >= 0
            && cell.bottom() < m_tree->viewport()->height();
    }
    // The room the item's cell gives its label, against the label's own width.
    bool WholeLabelFits(QTreeWidgetItem* item) const
    {
        const int text = m_tree->fontMetrics().horizontalAdvance(item->text(0));
        return m_tree->visualItemRect(item).width() >= m_tree->iconSize().width() + text;
    }
    QTreeWidgetItem* Widget(ExamItem item) const { return m_tree->WidgetItemOf(item); }

private slots:
    void initTestCase() { InstallBuiltInTables(); }

    void init()
    {
        m_dialog = std::make_unique<MainDialog>(QString());
        m_dialog->Initialise();
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        m_tree = m_dialog->Tree();
        // One series of 120 frames three levels deep, beside a short one; the files need not
        // exist for the tree (their tiles stay black).
        FileImage(m_tree->Model(), { kPatient, kStudy, kSeries, 120 }, "/nowhere/perf.dcm");
        FileImage(m_tree->Model(), { kPatient, kStudy, "CT", 2 }, "/nowhere/short.dcm");
    }

    void cleanup() { m_dialog.reset(); }

    void longLabelsAreShownWhole()
    {
        const QRect place = m_tree->geometry();
        m_dialog->Next();
        QCoreApplication::processEvents();
        const ExamItem first = m_tree->Selected();
        QCOMPARE(m_tree->Model().Label(first), std::string("Image  1"));
        QTreeWidgetItem* series = Widget(m_tree->Model().Parent(first));
        QTreeWidgetItem* study = series->parent();
        QCOMPARE(series->text(0), QString(kSeries));
        QCOMPARE(m_tree->textElideMode(), Qt::ElideNone);
        for (QTreeWidgetItem* item : { study->parent(), study, series, series->child(0), series->child(99) })
            QVERIFY2(WholeLabelFits(item), qPrintable(item->text(0)));
        // The column is as wide as the widest visible item (the series, three indentations in),
        // which is wider than the view: the horizontal scroll bar shows.
        const int seriesWidth = m_tree->visualItemRect(series).left() + m_tree->horizontalScrollBar()->value()
            + m_tree->sizeHintForIndex(m_tree->indexFromItem(series)).width();
        QCOMPARE(m_tree->header()->sectionSize(0), seriesWidth);
        QVERIFY(seriesWidth > m_tree->viewport()->width());
        QVERIFY(m_tree->horizontalScrollBar()->isVisible());
        QCOMPARE(m_tree->horizontalScrollBar()->maximum(), seriesWidth - m_tree->viewport()->width());
        // With the patient collapsed only its short label is visible: the column shrinks to it,
        // and the scroll bar goes.
        m_tree->collapseItem(study->parent());
        QCoreApplication::processEvents();
        QVERIFY(m_tree->header()->sectionSize(0) < m_tree->viewport()->width());
        QVERIFY(!m_tree->horizontalScrollBar()->isVisible());
        // Place and size stay the template's.
        QCOMPARE(m_tree->geometry(), place);
    }

    void steppingKeepsTheSelectedLabelInView()
    {
        m_dialog->Next();
        QTreeWidgetItem* series = Widget(m_tree->Model().Parent(m_tree->Selected()));
        QScrollBar* bar = m_tree->horizontalScrollBar();
        // The user reads the long series label: scrolled all the way right.
        bar->setValue(bar->maximum());
        QVERIFY(!LabelInView(series->child(0)));
        // Previous wraps to Image 120, deep below: it comes into view, sideways too.
        m_dialog->Previous();
        QCoreApplication::processEvents(); // the scroll bars settle
        QCOMPARE(m_tree->Selected(), m_tree->ItemOf(series->child(119)));
        QCOMPARE(series->child(119)->text(0), QString("Image 120"));
        QVERIFY(LabelInView(series->child(119)));
        // Next steps and the keyboard keep it in view, again after scrolling away.
        for (int k = 0; k < 3; ++k) {
            bar->setValue(bar->maximum());
            m_dialog->Next();
            QCoreApplication::processEvents();
            QVERIFY(LabelInView(Widget(m_tree->Selected())));
        }
        QCOMPARE(m_tree->Model().Label(m_tree->Selected()), std::string("Image  3"));
        bar->setValue(bar->maximum());
        m_tree->setFocus();
        QTest::keyClick(m_tree, Qt::Key_Up);
        QCOMPARE(m_tree->Model().Label(m_tree->Selected()), std::string("Image  2"));
        QVERIFY(LabelInView(Widget(m_tree->Selected())));
        // Cine walks the series with the label in view.
        bar->setValue(bar->maximum());
        QSignalSpy steps(m_tree, &ExamTree::SelectionChanged);
        m_dialog->CinePlayStop();
        QVERIFY(steps.wait(testing::kEventWaitMs));
        m_dialog->CinePlayStop();
        QCoreApplication::processEvents();
        QVERIFY(LabelInView(Widget(m_tree->Selected())));
    }

    // A label wider than the view cannot show whole: the series row chosen while the view is
    // scrolled to the right shows from its picture and label's left edge, not its end.
    void aLabelWiderThanTheViewShowsFromItsStart()
    {
        m_dialog->Next();
        QCoreApplication::processEvents();
        QTreeWidgetItem* series = Widget(m_tree->Model().Parent(m_tree->Selected()));
        QVERIFY(
            m_tree->sizeHintForIndex(m_tree->indexFromItem(series)).width() > m_tree->viewport()->width());
        QScrollBar* bar = m_tree->horizontalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY(m_tree->visualItemRect(series).left() < 0);
        m_tree->setFocus();
        m_tree->setCurrentItem(series);
        QCoreApplication::processEvents();
        QCOMPARE(m_tree->currentItem(), series);
        QCOMPARE(m_tree->visualItemRect(series).left(), 0);
    }

    void thePictureListKeepsItsColumn()
    {
        PictureList* pictures = m_dialog->Pictures();
        pictures->AddPictureFile("/pictures/a picture with a name far longer than its column.jpg");
        m_dialog->ShowPictureList();
        QCoreApplication::processEvents();
        QCOMPARE(pictures->header()->sectionSize(0), 150);
        QCOMPARE(pictures->textElideMode(), Qt::ElideRight);
        QCOMPARE(pictures->visualItemRect(pictures->topLevelItem(0)).width(), 150);
    }
};

QTEST_MAIN(ExamTreeTest)
#include "exam_tree_qtest.moc"
