// CalibrateDialog ("-- Calibrate Dialog --"): shows the measured length of the reference ruler
// in pixels and asks for its real length in millimetres. OK stays disabled until the entry starts
// with a positive number, so a calibration can never make every ruler read 0.0mm. Sits in the
// canvas layer, on Qt.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class CalibrateDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids, as the dialog template numbers them.
    enum Control {
        ID_MILLIMETRES = 349,
        ID_PIXELS = 350,
        ID_PIXELS_LABEL = 351,
        ID_MILLIMETRES_LABEL = 352,
    };

    // `pixels` is shown with one decimal; the millimetre entry starts with `millimetres`, or with
    // the pixel count when it is empty.
    CalibrateDialog(QWidget* parent, double pixels, const QString& millimetres = {});

    double Pixels() const { return m_pixels; }
    // The entry as it was when OK was chosen.
    const QString& MillimetreText() const { return m_text; }
    // Its leading number; 0 when it does not start with one.
    double Millimetres() const;

    QLabel* PixelsLabel() const { return m_pixelsValue; }
    QLineEdit* MillimetreEdit() const { return m_edit; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    void UpdateOk();

    double m_pixels;
    QString m_text;
    QLabel* m_pixelsValue = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace velmora
