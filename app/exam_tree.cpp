#include "app/exam_tree.h"

#include "app/controls.h"
#include "platform/desktop.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>

namespace velmora {

ExamTree::ExamTree(int id, QWidget* parent)
    : QTreeWidget(parent)
{
    SetControlId(this, id);
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The one column is as wide as the widest visible item and never elides: a label wider than
    // the view scrolls sideways, with a horizontal scroll bar when needed.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setResizeContentsPrecision(-1); // every visible row, not a sample of them
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Image 0 patient, 1 study, 2 series, 3 image; white is the mask colour.
    QImage strip = LoadBitmapResource(167).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < strip.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x) {
            if ((row[x] & 0x00FFFFFF) == 0x00FFFFFF)
                row[x] = 0;
        }
    }
    for (int k = 0; k < 4; ++k) {
        if (!strip.isNull())
            m_icons[static_cast<size_t>(k)] = QIcon(QPixmap::fromImage(strip.copy(k * 16, 0, 16, 16)));
    }
    m_model.SetListener(this);
    connect(this, &QTreeWidget::currentItemChanged, this,
        [this](QTreeWidgetItem* current, QTreeWidgetItem*) { emit SelectionChanged(ItemOf(current)); });
}

ExamTree::~ExamTree()
{
    m_model.SetListener(nullptr);
}

ExamItem ExamTree::Selected() const
{
    return ItemOf(currentItem());
}

void ExamTree::Select(ExamItem item)
{
    QTreeWidgetItem* widgetItem = WidgetItemOf(item);
    setCurrentItem(widgetItem);
    // scrollToItem would bypass the sideways scrolling of this class's scrollTo.
    if (widgetItem)
        scrollTo(indexFromItem(widgetItem));
}

void ExamTree::ExpandBranch(ExamItem item)
{
    if (QTreeWidgetItem* widgetItem = WidgetItemOf(item))
        expandRecursively(indexFromItem(widgetItem));
}

void ExamTree::CollapseBranch(ExamItem item)
{
    if (item == 0)
        return;
    for (ExamItem child = m_model.FirstChild(item); child; child = m_model.NextSibling(child))
        CollapseBranch(child);
    if (QTreeWidgetItem* widgetItem = WidgetItemOf(item))
        widgetItem->setExpanded(false);
}

void ExamTree::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    // Presses on the expand buttons and the lines, and other buttons, are Qt's.
    if (event->button() != Qt::LeftButton || !index.isValid() || point.x() < visualRect(index).left()) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_pressed = index;
    m_pressPoint = point;
    event->accept();
}

void ExamTree::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::NoButton) {
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    if ((event->position().toPoint() - m_pressPoint).manhattanLength() >= QApplication::startDragDistance())
        m_pressed = QPersistentModelIndex();
    event->accept();
}

void ExamTree::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed.isValid()) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    const QModelIndex pressed = m_pressed;
    m_pressed = QPersistentModelIndex();
    event->accept();
    if (indexAt(event->position().toPoint()) != pressed)
        return;
    setCurrentIndex(pressed);
    emit Clicked(ItemOf(itemFromIndex(pressed)));
}

void ExamTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first click selected; the second opens or closes a patient, study or series.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && model()->hasChildren(index))
        setExpanded(index, !isExpanded(index));
    event->accept();
}

void ExamTree::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    QTreeWidget::scrollTo(index, hint);
    KeepLabelInView(index);
}

void ExamTree::resizeEvent(QResizeEvent* event)
{
    // A scroll bar that appears after a step narrows the view: the selected item stays in view
    // if it was.
    const QModelIndex current = currentIndex();
    const QRect label = current.isValid() ? LabelRect(current) : QRect();
    const bool inView = label.isValid() && QRect(QPoint(), event->oldSize()).contains(label);
    QTreeWidget::resizeEvent(event);
    if (inView)
        scrollTo(current);
}

QRect ExamTree::LabelRect(const QModelIndex& index) const
{
    const QRect cell = visualRect(index);
    if (!cell.isValid())
        return {}; // below a collapsed item
    return { cell.left(), cell.top(), sizeHintForIndex(index).width(), cell.height() };
}

void ExamTree::KeepLabelInView(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    // Qt scrolls the whole column into view, which a column wider than the view cannot be; show
    // the item's own picture and label instead, from their left edge.
    const QRect label = LabelRect(index);
    const int width = viewport()->width();
    QScrollBar* bar = horizontalScrollBar();
    if (label.left() < 0 || label.width() > width)
        bar->setValue(bar->value() + label.left());
    else if (label.right() >= width)
        bar->setValue(bar->value() + label.right() + 1 - width);
}

ExamItem ExamTree::ItemOf(const QTreeWidgetItem* widgetItem) const
{
    if (!widgetItem)
        return 0;
    return widgetItem->data(0, Qt::UserRole).toInt();
}

QTreeWidgetItem* ExamTree::WidgetItemOf(ExamItem item) const
{
    return m_widgets.value(item, nullptr);
}

void ExamTree::ItemAdded(ExamItem item)
{
    auto* widgetItem = new QTreeWidgetItem;
    widgetItem->setText(0, QString::fromStdString(m_model.Label(item)));
    widgetItem->setData(0, Qt::UserRole, item);
    widgetItem->setIcon(0, m_icons[static_cast<size_t>(m_model.Level(item))]);
    if (QTreeWidgetItem* parent = WidgetItemOf(m_model.Parent(item)))
        parent->addChild(widgetItem);
    else
        addTopLevelItem(widgetItem);
    m_widgets.insert(item, widgetItem);
}

void ExamTree::ItemRemoving(ExamItem item)
{
    delete m_widgets.take(item);
}

void ExamTree::Cleared()
{
    m_widgets.clear();
    QTreeWidget::clear();
}

PictureList::PictureList(int id, QWidget* parent)
    : QTreeWidget(parent)
{
    SetControlId(this, id);
    setColumnCount(1);
    setHeaderHidden(true);
    setHeaderLabels({ "File Name" });
    // A report view's column keeps its width; a longer name is cut short with "...".
    header()->setStretchLastSection(false);
    setColumnWidth(0, 150);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void PictureList::AddPictureFile(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return;
    auto* item = new QTreeWidgetItem;
    item->setText(0, ShownFileName(path));
    item->setData(0, Qt::UserRole, QByteArray::fromStdString(path));
    insertTopLevelItem(0, item);
}

void PictureList::ClearPictureList()
{
    QTreeWidget::clear();
}

std::string PictureList::PathAt(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toByteArray().toStdString() : std::string();
}

} // namespace velmora
