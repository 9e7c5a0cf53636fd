#include "app/user_prompts.h"

#include "app/controls.h"

#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

namespace velmora {

QString QtUserPrompts::ChooseFolder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

QString QtUserPrompts::ChooseOpenFile(QWidget* owner, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner, title, QString(), filter);
}

QString QtUserPrompts::ChooseSaveFile(QWidget* owner)
{
    return QFileDialog::getSaveFileName(owner);
}

void QtUserPrompts::Warn(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox::warning(owner, caption, text, QMessageBox::Ok);
}

bool QtUserPrompts::AskAnnotationText(QWidget* owner, QString& text)
{
    // "Annotations Text": 186 x 50 dialog units, edit 348 (white), OK 1 and Cancel 2 drawn black
    // on white, white on black while hovered or pressed; the dialog itself black.
    QDialog dialog(owner);
    dialog.setWindowTitle("Annotations Text");
    dialog.resize(186 * 6 / 4, 50 * 13 / 8);
    dialog.setAutoFillBackground(true);
    dialog.setPalette(QPalette(Qt::white, Qt::black));
    auto* edit = new ColourEdit(348, &dialog);
    edit->SetBackgroundColour(Qt::white);
    edit->setText(text);
    auto* ok = new IconButton(1, IconButton::Kind::DefaultPush, "OK", &dialog);
    auto* cancel = new IconButton(2, IconButton::Kind::Push, "Cancel", &dialog);
    for (IconButton* button : { ok, cancel }) {
        button->SetColour(IconButton::BACK_ACTIVE, Qt::black);
        button->SetColour(IconButton::TEXT_ACTIVE, Qt::white);
        button->SetColour(IconButton::BACK_NORMAL, Qt::white);
        button->SetColour(IconButton::TEXT_NORMAL, Qt::black);
        button->setMinimumHeight(22);
    }
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(edit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    text = edit->text();
    return true;
}

} // namespace velmora
