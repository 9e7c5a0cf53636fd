// UserPrompts: the few questions and messages the main dialog puts to the user (folder browser,
// open-file dialog, message boxes), behind an interface so that tests can answer them.
#pragma once

#include <QString>

class QWidget;

namespace velmora {

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // The chosen folder's path; empty when cancelled.
    virtual QString ChooseFolder(QWidget* owner, const QString& title) = 0;
    // The chosen file's path; empty when cancelled.
    virtual QString ChooseOpenFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    virtual QString ChooseSaveFile(QWidget* owner) = 0;
    // A message box with an OK button and the warning icon.
    virtual void Warn(QWidget* owner, const QString& caption, const QString& text) = 0;
    // The "Annotations Text" dialog; false when cancelled.
    virtual bool AskAnnotationText(QWidget* owner, QString& text) = 0;
};

// The Qt dialogs.
class QtUserPrompts : public UserPrompts {
public:
    QString ChooseFolder(QWidget* owner, const QString& title) override;
    QString ChooseOpenFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString ChooseSaveFile(QWidget* owner) override;
    void Warn(QWidget* owner, const QString& caption, const QString& text) override;
    bool AskAnnotationText(QWidget* owner, QString& text) override;
};

} // namespace velmora
