// ExamTree: the exam tree view (control 318) showing an ExamModel: one QTreeWidgetItem per model
// item, with the picture of its level from the 64 x 16 image strip (bitmap 167). The model does
// the filing and traversal; this class keeps the widget in step and maps items both ways.
#pragma once

#include "app/model/exam_model.h"

#include <QHash>
#include <QTreeWidget>
#include <array>

namespace velmora {

class ExamTree : public QTreeWidget, private ExamModel::Listener {
    Q_OBJECT
public:
    ExamTree(int id, QWidget* parent);
    ~ExamTree() override;

    ExamModel& Model() { return m_model; }
    const ExamModel& Model() const { return m_model; }

    // The selected (current) item, 0 when none.
    ExamItem Selected() const;
    // Selects `item` (0 clears the selection); the selection-changed signal follows.
    void Select(ExamItem item);
    ExamItem ItemOf(const QTreeWidgetItem* widgetItem) const;
    QTreeWidgetItem* WidgetItemOf(ExamItem item) const;
    void Clear() { m_model.Clear(); }
    // Expands `item` and every item below it; or collapses them all, so that opening `item`
    // again shows its children closed.
    void ExpandBranch(ExamItem item);
    void CollapseBranch(ExamItem item);
    // Scrolls sideways too, so that the item's picture and label are in view.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

signals:
    // The current item changed, by the user or the program.
    void SelectionChanged(velmora::ExamItem item);
    // A mouse click on an item ended (button released).
    void Clicked(velmora::ExamItem item);

protected:
    // A move with a button held is the dialog's drag-zoom, never a drag selection: the
    // selection changes by click and keyboard only. A left press on an item selects it when it
    // is released there without a drag (then Clicked follows); a press that becomes a drag
    // selects nothing.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The item's picture and label (not the rest of the column), in viewport coordinates.
    QRect LabelRect(const QModelIndex& index) const;
    void KeepLabelInView(const QModelIndex& index);
    void ItemAdded(ExamItem item) override;
    void ItemRemoving(ExamItem item) override;
    void Cleared() override;

    QPersistentModelIndex m_pressed; // the item under a left press that may become a click
    QPoint m_pressPoint;
    ExamModel m_model;
    QHash<ExamItem, QTreeWidgetItem*> m_widgets;
    std::array<QIcon, 4> m_icons;
};

// PictureList: the picture list view (control 1008): one column with the file name; the full
// path kept with each item; new items at the top.
class PictureList : public QTreeWidget {
    Q_OBJECT
public:
    PictureList(int id, QWidget* parent);
    // Adds `path` (the file system's bytes) at the top, showing the name after the last '/'
    // decoded as the system decodes file names; nothing for a path without '/'.
    void AddPictureFile(const std::string& path);
    void ClearPictureList();
    // The path of row `row` as it was added; empty past the end.
    std::string PathAt(int row) const;
    int Count() const { return topLevelItemCount(); }
};

} // namespace velmora
