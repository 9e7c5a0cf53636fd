// Program folder, picture loading and the wait cursor.
#include "platform/desktop.h"

#include "toolkit/character_set.h"
#include "toolkit/vr_code.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

QString ProgramFolder()
{
    QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (path.isEmpty())
        path = QFileInfo("/proc/self/exe").canonicalFilePath();
    const int slash = path.lastIndexOf('/');
    return slash <= 0 ? QString() : path.left(slash);
}

namespace {

// The folder that holds file `path`, as an absolute path in the file system's bytes.
QByteArray ContainingFolder(std::string_view path)
{
    QByteArray folder(path.data(), static_cast<qsizetype>(path.size()));
    const qsizetype slash = folder.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : folder.left(slash);
    if (!folder.startsWith('/'))
        folder = QFile::encodeName(QDir::currentPath()) + '/' + folder;
    return folder;
}

} // namespace

QByteArray ContainingFolderUrl(std::string_view path)
{
    return "file://" + ContainingFolder(path).toPercentEncoding("/");
}

bool ContainingFolderExists(std::string_view path)
{
    struct stat info { };
    return ::stat(ContainingFolder(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RegularFileExists(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

QString ShownPath(std::string_view path)
{
    return QString::fromStdString(DecodeText(path, vr::UN, {}));
}

QString ShownFileName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return ShownPath(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

QImage LoadPicture(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QFile file;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > MAX_PICTURE_PIXELS)
        return {};
    QImage picture;
    if (!reader.read(&picture))
        return {};
    return picture;
}

QImage LoadPicture(const QString& path)
{
    return LoadPicture(QFile::encodeName(path).toStdString());
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

} // namespace velmora
