// Opening what the user points at, from the command line or by dropping files and folders from
// a file manager onto the window: which paths can be opened, the dropped paths as the bytes
// that name them, and the drop handling that hands them to MainDialog::OpenPaths.
#pragma once

#include <QObject>
#include <string>
#include <vector>

class QMimeData;

namespace velmora {

class MainDialog;

enum class PathKind { Folder, File, Other };

// A folder (scanned), a regular file (filed), or anything else (missing, a FIFO, a device),
// which is not opened. Symbolic links count as what they point to.
PathKind KindOf(const std::string& path);

// Why `path` is not opened, as the user is told: empty for a folder or a regular file; else the
// system's reason it cannot be looked at ("No such file or directory", "Permission denied"), or
// "neither a folder nor a regular file" for a FIFO, a device or a socket.
std::string WhyPassedOver(const std::string& path);

// The local files and folders of a drag, as the bytes of their names: the text/uri-list data
// percent-decoded, so names that are not UTF-8 arrive intact. Other URLs are left out.
std::vector<std::string> DroppedPaths(const QMimeData& data);

// Accepts drags of local files and folders anywhere on the dialog and opens them on drop.
class PathDrops : public QObject {
    Q_OBJECT
public:
    explicit PathDrops(MainDialog& dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainDialog& m_dialog;
};

} // namespace velmora
