// The common dialogs through Qt, and the process's current set.
#include "platform/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

namespace velmora {

MessageAnswer QtDialogs::Message(
    QWidget* owner, const QString& caption, const QString& text, MessageIcon icon)
{
    const QMessageBox::Icon qicon = icon == MessageIcon::Information ? QMessageBox::Information
        : icon == MessageIcon::Warning                               ? QMessageBox::Warning
        : icon == MessageIcon::Error                                 ? QMessageBox::Critical
                                                                     : QMessageBox::NoIcon;
    QMessageBox box(qicon, caption, text, QMessageBox::Ok, owner);
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

QString QtDialogs::OpenFile(QWidget* owner, const QString& title, const QString& filter)
{
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The desktop's own open dialogs refuse a typed name that does not exist; Qt's returns it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::SaveFile(QWidget* owner, const QString& title, const QString& filter)
{
    QFileDialog dialog(owner, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A filter of one extension ("PNG image (*.png)") gives the suffix a name typed without one
    // receives, so the dialog asks before replacing the file the name completes to.
    static const QRegularExpression oneExtension(R"(\(\*\.(\w+)\)$)");
    if (const QRegularExpressionMatch match = oneExtension.match(filter); match.hasMatch())
        dialog.setDefaultSuffix(match.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

bool Dialogs::ShowFolder(const QByteArray& url)
{
    // QUrl keeps UTF-8 names only; any other name goes to xdg-open as the encoded URL, which
    // the file manager decodes to the same bytes.
    if (QUrl::fromEncoded(url).toEncoded() == url)
        return QDesktopServices::openUrl(QUrl::fromEncoded(url));
    return QProcess::startDetached("xdg-open", { QString::fromLatin1(url) });
}

QString QtDialogs::Folder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

namespace {

std::unique_ptr<Dialogs>& Installed()
{
    static std::unique_ptr<Dialogs> dialogs = std::make_unique<QtDialogs>();
    return dialogs;
}

} // namespace

Dialogs& CurrentDialogs()
{
    return *Installed();
}

std::unique_ptr<Dialogs> SetDialogs(std::unique_ptr<Dialogs> dialogs)
{
    std::unique_ptr<Dialogs> previous = std::move(Installed());
    Installed() = dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>();
    return previous;
}

} // namespace velmora
