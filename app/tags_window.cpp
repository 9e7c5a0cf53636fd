// TagsWindow: the data set tree, its filter and copy.
#include "app/tags_window.h"

#include "platform/desktop.h"
#include "toolkit/data_set.h"
#include "toolkit/element_text.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

namespace velmora {

namespace {

// Where a row keeps its dump line, for copy.
constexpr int LINE_ROLE = Qt::UserRole;

// Shows `item` when it or a row below it matches; returns whether it is shown.
bool FilterItem(QTreeWidgetItem* item, const QString& text)
{
    bool shown = text.isEmpty() || item->text(TagsWindow::TAG).contains(text, Qt::CaseInsensitive)
        || item->text(TagsWindow::NAME).contains(text, Qt::CaseInsensitive)
        || item->text(TagsWindow::VALUE).contains(text, Qt::CaseInsensitive);
    for (int k = 0; k < item->childCount(); ++k)
        shown = FilterItem(item->child(k), text) || shown;
    item->setHidden(!shown);
    return shown;
}

} // namespace

TagsWindow::TagsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("DICOM Tags"));
    resize(760, 560);
    m_fileLabel = new QLabel(this);
    m_fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(tr("Filter by tag, name or value"));
    m_filter->setClearButtonEnabled(true);
    m_tree = new QTreeWidget(this);
    m_tree->setHeaderLabels({ tr("Tag"), tr("VR"), tr("Length"), tr("Name"), tr("Value") });
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setStretchLastSection(true);
    auto* copy = new QPushButton(tr("Copy"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fileLabel);
    layout->addWidget(m_filter);
    layout->addWidget(m_tree, 1);
    layout->addWidget(copy, 0, Qt::AlignRight);
    connect(m_filter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(copy, &QPushButton::clicked, this, [this] { CopySelection(); });
    auto* copyKey = new QShortcut(QKeySequence::Copy, m_tree);
    copyKey->setContext(Qt::WidgetShortcut);
    connect(copyKey, &QShortcut::activated, this, [this] { CopySelection(); });
    // Escape closes it, as it closes the help window and the dialogs.
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);
}

void TagsWindow::ShowFile(const std::string& path)
{
    m_path = path;
    m_tree->clear();
    if (path.empty()) {
        setWindowTitle(tr("DICOM Tags"));
        m_fileLabel->setText(tr("No image selected"));
        return;
    }
    setWindowTitle(tr("DICOM Tags - %1").arg(ShownFileName(path)));
    const QString shown = ShownPath(path);
    DataSet dataSet;
    if (dataSet.Load(path.c_str()) != SUCCESS) {
        // A file removed or renamed since the scan is not a damaged one: say which.
        m_fileLabel->setText(RegularFileExists(path) ? tr("%1 (not readable as DICOM)").arg(shown)
                                                     : tr("%1 (no longer there)").arg(shown));
        return;
    }
    m_fileLabel->setText(shown);
    // Each node goes under the last row of the depth above it (pre-order).
    std::vector<QTreeWidgetItem*> parents;
    CharacterSetLookup lookup(dataSet);
    for (ElementId id = dataSet.FirstTopLevel(); id >= 0; id = dataSet.NextInPreOrder(id)) {
        const ElementText text = DescribeElement(dataSet, id, lookup);
        const size_t depth = static_cast<size_t>(std::max(text.depth, 0));
        parents.resize(std::min(depth, parents.size()));
        auto* item = parents.empty() ? new QTreeWidgetItem(m_tree) : new QTreeWidgetItem(parents.back());
        item->setText(TAG, QString::fromStdString(text.tag));
        item->setText(VR, QString::fromStdString(text.vr));
        item->setText(LENGTH, QString::fromStdString(text.length));
        item->setText(NAME, QString::fromStdString(text.name));
        item->setText(VALUE, QString::fromStdString(text.value));
        item->setData(TAG, LINE_ROLE, QString::fromStdString(FormatElementLine(text)));
        parents.push_back(item);
    }
    dataSet.CloseSource();
    m_tree->expandAll();
    for (int c = 0; c < VALUE; ++c)
        m_tree->resizeColumnToContents(c);
    ApplyFilter();
}

void TagsWindow::SetFilter(const QString& text)
{
    m_filter->setText(text);
}

void TagsWindow::ApplyFilter()
{
    const QString text = m_filter->text().trimmed();
    for (int k = 0; k < m_tree->topLevelItemCount(); ++k)
        FilterItem(m_tree->topLevelItem(k), text);
}

QString TagsWindow::SelectedLines() const
{
    QStringList lines;
    // Only what the filter shows: a row hidden after it was selected stays selected.
    for (QTreeWidgetItemIterator it(
             m_tree, QTreeWidgetItemIterator::Selected | QTreeWidgetItemIterator::NotHidden);
         *it; ++it)
        lines.append((*it)->data(TAG, LINE_ROLE).toString());
    return lines.join('\n');
}

void TagsWindow::CopySelection() const
{
    const QString lines = SelectedLines();
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines + '\n');
}

} // namespace velmora
