// SplashDialog: the picture beside the program, shown without a frame; Escape is swallowed.
#include "canvas/splash_dialog.h"

#include "platform/desktop.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>

namespace velmora {

SplashDialog::SplashDialog(const QString& programFolder, QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setModal(true);
    // 331 x 195 dialog units.
    resize(331 * 6 / 4, 195 * 13 / 8);
    m_bitmap = new QLabel(this);
    m_bitmap->setProperty("controlId", BITMAP_CONTROL_ID);
    m_bitmap->move(0, 0);
    const QImage picture = programFolder.isEmpty() ? QImage() : LoadPicture(programFolder + "/splash.bmp");
    m_loaded = !picture.isNull();
    if (m_loaded) {
        m_bitmap->setPixmap(QPixmap::fromImage(picture));
        m_bitmap->resize(picture.size());
    }
    installEventFilter(this);
}

void SplashDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool SplashDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Escape also arrives as a shortcut request before the key press: swallow both.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace velmora
