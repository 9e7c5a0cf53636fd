// Program folder, picture loading and the wait cursor.
#include "platform/desktop.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QImageReader>

namespace velmora {

QString ProgramFolder()
{
    QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (path.isEmpty())
        path = QFileInfo("/proc/self/exe").canonicalFilePath();
    const int slash = path.lastIndexOf('/');
    return slash <= 0 ? QString() : path.left(slash);
}

QImage LoadPicture(const QString& path)
{
    if (path.isEmpty())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > MAX_PICTURE_PIXELS)
        return {};
    QImage picture;
    if (!reader.read(&picture))
        return {};
    return picture;
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
