// Dialogs: the common dialogs (message box, open file, save file, folder browser) and the file
// manager behind an
// interface, so that tests can answer them. QtDialogs shows the real ones; the process uses the
// one installed with SetDialogs (QtDialogs by default). Sits in the platform layer, on Qt.
#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace velmora {

enum class MessageIcon { None, Information, Warning, Error };
enum class MessageAnswer { Ok, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message box with an OK button.
    virtual MessageAnswer Message(
        QWidget* owner, const QString& caption, const QString& text, MessageIcon icon)
        = 0;
    // The chosen path, which need not exist (a typed name is returned as it stands); empty when
    // cancelled. `filter` as Qt writes it ("Pictures (*.jpg)").
    virtual QString OpenFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    virtual QString SaveFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    virtual QString Folder(QWidget* owner, const QString& title) = 0;
    // Shows the folder of `url` (an encoded file URL, ContainingFolderUrl) in the desktop's file
    // manager; false when nothing could be started. Not a dialog, but it leaves the program the
    // same way, so tests watch it here too.
    virtual bool ShowFolder(const QByteArray& url);
};

class QtDialogs : public Dialogs {
public:
    MessageAnswer Message(
        QWidget* owner, const QString& caption, const QString& text, MessageIcon icon) override;
    QString OpenFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString SaveFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString Folder(QWidget* owner, const QString& title) override;
};

// The process's dialogs (QtDialogs until SetDialogs installs another).
Dialogs& CurrentDialogs();
// Installs `dialogs` (null: back to QtDialogs); returns the previous one.
std::unique_ptr<Dialogs> SetDialogs(std::unique_ptr<Dialogs> dialogs);

} // namespace velmora
