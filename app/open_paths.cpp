#include "app/open_paths.h"

#include "app/main_dialog.h"

#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace velmora {

PathKind KindOf(const std::string& path)
{
    struct stat info { };
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return PathKind::Other;
    if (S_ISDIR(info.st_mode))
        return PathKind::Folder;
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
}

std::string WhyPassedOver(const std::string& path)
{
    struct stat info { };
    if (path.empty())
        return std::strerror(ENOENT);
    if (::stat(path.c_str(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))
        return {};
    return "neither a folder nor a regular file";
}

std::vector<std::string> DroppedPaths(const QMimeData& data)
{
    std::vector<std::string> paths;
    const QByteArray list = data.data("text/uri-list");
    if (list.isEmpty()) {
        for (const QUrl& url : data.urls()) {
            if (url.isLocalFile())
                paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
        return paths;
    }
    // RFC 2483: one URI a line, CRLF, '#' starts a comment. file://host/path or file:///path.
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith("file://"))
            continue;
        const qsizetype slash = line.indexOf('/', 7);
        if (slash < 0)
            continue;
        const QByteArray path = QByteArray::fromPercentEncoding(line.mid(slash));
        if (!path.isEmpty())
            paths.push_back(path.toStdString());
    }
    return paths;
}

namespace {

// The viewer only reads what is dropped: it takes it as a copy, else a link, and never as a move,
// which tells the source that the files now live here and that it may delete its own. False,
// with the drag refused, when the source offers neither.
bool AcceptAsCopy(QDropEvent& event)
{
    for (const Qt::DropAction action : { Qt::CopyAction, Qt::LinkAction }) {
        if (event.possibleActions() & action) {
            event.setDropAction(action);
            event.accept();
            return true;
        }
    }
    event.ignore();
    return false;
}

} // namespace

PathDrops::PathDrops(MainDialog& dialog)
    : QObject(&dialog)
    , m_dialog(dialog)
{
    dialog.setAcceptDrops(true);
    // The zoom and fps boxes would take a dropped folder as text: drops there open it too.
    for (QLineEdit* box : dialog.findChildren<QLineEdit*>())
        box->setAcceptDrops(false);
    dialog.installEventFilter(this);
}

bool PathDrops::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_dialog)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData() && !DroppedPaths(*drag->mimeData()).empty())
            AcceptAsCopy(*drag);
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::vector<std::string> paths
            = drop->mimeData() ? DroppedPaths(*drop->mimeData()) : std::vector<std::string> {};
        if (paths.empty())
            return false;
        if (AcceptAsCopy(*drop))
            m_dialog.OpenPaths(paths);
        return true;
    }
    default:
        return false;
    }
}

} // namespace velmora
