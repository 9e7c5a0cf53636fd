// TagsWindow: a non-modal window listing one file's data set as a tree, one row per node with the
// tag, VR, length, name and value exactly as `velmora-tool dump` prints them (ElementText), a
// filter box that keeps the rows whose tag, name or value contain its text (and the rows above
// them), and copy of the selected rows as dump lines.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace velmora {

class TagsWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { TAG = 0, VR = 1, LENGTH = 2, NAME = 3, VALUE = 4 };

    explicit TagsWindow(QWidget* parent = nullptr);

    // Lists the data set of `path`, the file system's bytes (a name need not be UTF-8). A file
    // that cannot be read leaves the list empty and says so; an empty path says that no image is
    // selected.
    void ShowFile(const std::string& path);
    const std::string& File() const { return m_path; }
    void SetFilter(const QString& text);
    // The selected rows the filter shows as dump lines (indent by depth), in list order, one per
    // line.
    QString SelectedLines() const;
    // Puts SelectedLines on the clipboard.
    void CopySelection() const;
    QTreeWidget* Tree() const { return m_tree; }

private:
    void ApplyFilter();

    std::string m_path;
    QLabel* m_fileLabel = nullptr;
    QLineEdit* m_filter = nullptr;
    QTreeWidget* m_tree = nullptr;
};

} // namespace velmora
