#include "app/user_prompts.h"

#include "app/controls.h"
#include "platform/dialogs.h"

#include <QDialog>

namespace velmora {

// The common dialogs come from the platform layer, so that one set of Qt calls serves the program.
QString QtUserPrompts::ChooseFolder(QWidget* owner, const QString& title)
{
    return CurrentDialogs().Folder(owner, title);
}

QString QtUserPrompts::ChooseOpenFile(QWidget* owner, const QString& title, const QString& filter)
{
    return CurrentDialogs().OpenFile(owner, title, filter);
}

QString QtUserPrompts::ChooseSaveFile(QWidget* owner)
{
    return CurrentDialogs().SaveFile(owner, QString(), QString());
}

void QtUserPrompts::Warn(QWidget* owner, const QString& caption, const QString& text)
{
    CurrentDialogs().Message(owner, caption, text, MessageIcon::Warning);
}

bool QtUserPrompts::AskAnnotationText(QWidget* owner, QString& text)
{
    // "Annotations Text", template 363: 186 x 50 dialog units, black, with the one-line edit 348
    // (white, scrolling sideways) above OK 1 and Cancel 2, which are drawn black on white and
    // white on black while hovered or pressed. The edit takes at most the 259 characters an
    // annotation keeps.
    const auto units = [](int x, int y, int width, int height) {
        return QRect(x * 6 / 4, y * 13 / 8, width * 6 / 4, height * 13 / 8);
    };
    QDialog dialog(owner);
    dialog.setWindowTitle("Annotations Text");
    dialog.setFixedSize(186 * 6 / 4, 50 * 13 / 8);
    dialog.setAutoFillBackground(true);
    dialog.setPalette(QPalette(Qt::white, Qt::black));
    auto* edit = new ColourEdit(348, &dialog);
    edit->SetBackgroundColour(Qt::white);
    edit->setGeometry(units(7, 7, 172, 14));
    edit->setMaxLength(259);
    edit->setText(text);
    auto* ok = new IconButton(1, IconButton::Kind::DefaultPush, "OK", &dialog);
    auto* cancel = new IconButton(2, IconButton::Kind::Push, "Cancel", &dialog);
    ok->setGeometry(units(75, 29, 50, 14));
    cancel->setGeometry(units(129, 29, 50, 14));
    for (IconButton* button : { ok, cancel }) {
        button->SetColour(IconButton::BACK_ACTIVE, Qt::black);
        button->SetColour(IconButton::TEXT_ACTIVE, Qt::white);
        button->SetColour(IconButton::BACK_NORMAL, Qt::white);
        button->SetColour(IconButton::TEXT_NORMAL, Qt::black);
    }
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    text = edit->text();
    return true;
}

} // namespace velmora
