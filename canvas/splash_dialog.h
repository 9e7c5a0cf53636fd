// SplashDialog: the start-up dialog that shows "splash.bmp" from the program's folder, at the
// picture's own size, without a title bar. Escape does not close it; its owner closes it (after
// two seconds at start-up). Sits in the canvas layer.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace velmora {

class SplashDialog : public QDialog {
    Q_OBJECT
public:
    // Id of the bitmap control, kept in the control's "controlId" property.
    static constexpr int BITMAP_CONTROL_ID = 1011;

    // Loads `programFolder` + "/splash.bmp".
    explicit SplashDialog(const QString& programFolder, QWidget* parent = nullptr);
    // Whether the picture loaded; the dialog is only worth showing when it did.
    bool Loaded() const { return m_loaded; }
    QLabel* Bitmap() const { return m_bitmap; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_bitmap = nullptr;
    bool m_loaded = false;
};

} // namespace velmora
