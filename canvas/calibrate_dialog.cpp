#include "canvas/calibrate_dialog.h"

#include "canvas/measurement_scale.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

namespace {

// Dialog units of the 8 pt template font to pixels: base units 6 x 13.
QRect Units(int x, int y, int width, int height)
{
    return { x * 6 / 4, y * 13 / 8, width * 6 / 4, height * 13 / 8 };
}

void SetId(QWidget* widget, int id)
{
    widget->setProperty("controlId", id);
}

// White background, black text: the dialog and its coloured controls.
QPalette WhitePalette(const QPalette& base)
{
    QPalette palette = base;
    for (QPalette::ColorRole role : { QPalette::Window, QPalette::Base, QPalette::Button })
        palette.setColor(role, Qt::white);
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(role, Qt::black);
    return palette;
}

} // namespace

CalibrateDialog::CalibrateDialog(QWidget* parent, double pixels, const QString& millimetres)
    : QDialog(parent)
    , m_pixels(pixels)
{
    setWindowTitle("-- Calibrate Dialog --");
    setFixedSize(173 * 6 / 4, 83 * 13 / 8);
    setAutoFillBackground(true);
    setPalette(WhitePalette(palette()));

    QFont bold("MS Sans Serif");
    bold.setPixelSize(13);
    bold.setWeight(QFont::Bold);

    auto* pixelsLabel = new QLabel("Distance in pixels:", this);
    pixelsLabel->setGeometry(Units(7, 10, 75, 10));
    SetId(pixelsLabel, ID_PIXELS_LABEL);

    m_pixelsValue = new QLabel("10", this);
    m_pixelsValue->setGeometry(Units(88, 8, 76, 13));
    m_pixelsValue->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_pixelsValue->setAlignment(Qt::AlignCenter);
    SetId(m_pixelsValue, ID_PIXELS);

    auto* millimetresLabel = new QLabel("Distance in mm:", this);
    millimetresLabel->setGeometry(Units(7, 32, 75, 10));
    SetId(millimetresLabel, ID_MILLIMETRES_LABEL);

    m_edit = new QLineEdit(this);
    m_edit->setGeometry(Units(88, 30, 76, 13));
    SetId(m_edit, ID_MILLIMETRES);

    for (QWidget* control : { static_cast<QWidget*>(pixelsLabel), static_cast<QWidget*>(m_pixelsValue),
             static_cast<QWidget*>(millimetresLabel), static_cast<QWidget*>(m_edit) }) {
        control->setFont(bold);
        control->setAutoFillBackground(true);
        control->setPalette(WhitePalette(control->palette()));
    }

    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(Units(7, 50, 159, 2));

    m_ok = new QPushButton("OK", this);
    m_ok->setGeometry(Units(60, 60, 50, 14));
    m_ok->setDefault(true);
    SetId(m_ok, 1);
    m_cancel = new QPushButton("Cancel", this);
    m_cancel->setGeometry(Units(116, 60, 50, 14));
    SetId(m_cancel, 2);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        m_text = m_edit->text();
        accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { UpdateOk(); });

    const QString shown = QString::asprintf("%.1f", pixels);
    m_pixelsValue->setText(shown);
    m_edit->setText(millimetres.isEmpty() ? shown : millimetres);
    m_edit->selectAll();
    m_edit->setFocus();
    UpdateOk();
}

double CalibrateDialog::Millimetres() const
{
    return LeadingNumber(m_text.toStdString());
}

void CalibrateDialog::UpdateOk()
{
    m_ok->setEnabled(LeadingNumber(m_edit->text().toStdString()) > 0.0);
}

} // namespace velmora
