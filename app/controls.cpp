#include "app/controls.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFrame>

namespace velmora {

namespace {

const char* const kIdProperty = "controlId";

QColor SystemFace()
{
    return QApplication::palette().color(QPalette::Button);
}
QColor SystemText()
{
    return QApplication::palette().color(QPalette::ButtonText);
}
QColor SystemShadow()
{
    return QApplication::palette().color(QPalette::Dark);
}
QColor SystemHighlight()
{
    return QApplication::palette().color(QPalette::Light);
}

// The image with every pixel of the transparency colour made transparent (the mask blit of the
// original: mask with SRCAND, then the image with its transparent pixels black with SRCPAINT).
std::optional<QPixmap> Masked(const QImage& image, QColor transparency)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparency.rgb() & 0x00FFFFFF;
    for (int y = 0; y < argb.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((row[x] & 0x00FFFFFF) == key)
                row[x] = 0;
        }
    }
    return QPixmap::fromImage(argb);
}

// Disabled look: grey levels, lightened, as the system draws disabled images.
QPixmap Greyed(const QPixmap& pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = (qGray(row[x]) + 2 * 160) / 3;
            row[x] = qRgba(grey, grey, grey, qAlpha(row[x]));
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace

void SetControlId(QWidget* widget, int id)
{
    widget->setProperty(kIdProperty, id);
}

int ControlId(const QWidget* widget)
{
    const QVariant id = widget->property(kIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

} // namespace velmora

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void InitialiseBitmaps()
{
    Q_INIT_RESOURCE(velmora_bitmaps);
}

namespace velmora {

QImage LoadBitmapResource(int id)
{
    static const bool initialised = (InitialiseBitmaps(), true);
    (void)initialised;
    const QString path = QStringLiteral(":/bitmaps/bitmap_%1.png").arg(id);
    if (!QFile::exists(path))
        return {};
    return QImage(path);
}

// ---------------------------------------------------------------------------------------------
// IconButton

IconButton::IconButton(int id, Kind kind, const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    SetControlId(this, id);
    m_checkMode = kind == Kind::Check;
    m_defaultButton = kind == Kind::DefaultPush;
    setCheckable(m_checkMode);
    setDefault(m_defaultButton);
    setAutoDefault(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    ResetColours(false);
}

int IconButton::SetBitmaps(int id1, QColor transparency1, int id2, QColor transparency2)
{
    const QImage image1 = LoadBitmapResource(id1);
    const QImage image2 = id2 ? LoadBitmapResource(id2) : QImage();
    if (id2 && image2.isNull()) {
        m_bitmap1.reset();
        m_bitmap2.reset();
        update();
        return BAD_BITMAP;
    }
    return SetBitmaps(image1, transparency1, image2, transparency2);
}

int IconButton::SetBitmaps(
    const QImage& image1, QColor transparency1, const QImage& image2, QColor transparency2)
{
    m_bitmap1.reset();
    m_bitmap2.reset();
    if (image1.isNull()) {
        update();
        return BAD_BITMAP;
    }
    m_bitmap1 = Masked(image1, transparency1);
    if (!image2.isNull())
        m_bitmap2 = Masked(image2, transparency2);
    if (!m_bitmap1 || (!image2.isNull() && !m_bitmap2)) {
        m_bitmap1.reset();
        m_bitmap2.reset();
        update();
        return BAD_MASK;
    }
    update();
    return OK;
}

int IconButton::SetPressedStyle(int style, bool repaint)
{
    if (style == 0)
        m_pressedOffset = { 1, 1 };
    else if (style == 1)
        m_pressedOffset = { 0, 2 };
    else
        return BAD_STYLE;
    if (repaint)
        update();
    return OK;
}

int IconButton::SetColour(int slot, QColor colour, bool repaint)
{
    if (slot < 0 || slot > 5)
        return BAD_SLOT;
    m_colours[static_cast<size_t>(slot)] = colour;
    if (repaint)
        update();
    return OK;
}

void IconButton::ResetColours(bool repaint)
{
    for (size_t slot = 0; slot < m_colours.size(); ++slot)
        m_colours[slot] = slot % 2 == 0 ? SystemFace() : SystemText();
    if (repaint)
        update();
}

void IconButton::SetFlatBorder(bool on, bool repaint)
{
    m_flatBorder = on;
    if (repaint)
        update();
}

void IconButton::SetTooltipText(const QString& text, bool activate)
{
    m_tooltip = text;
    m_tooltipActive = activate;
    setToolTip(activate ? text : QString());
}

void IconButton::SizeToContent()
{
    m_margins = { 0, 0 };
    if (m_bitmap1)
        resize(m_bitmap1->size());
}

void IconButton::SetCheck(int state)
{
    if (!m_checkMode)
        return;
    setChecked(state == 1 || state == 2);
    update();
}

bool IconButton::Pressed() const
{
    return isDown() || (m_checkMode && isChecked());
}

const QPixmap* IconButton::CurrentImage() const
{
    if (!m_bitmap1)
        return nullptr;
    if (!m_bitmap2)
        return &*m_bitmap1;
    const bool first = m_checkMode ? Pressed() : (m_hover || Pressed());
    return first ? &*m_bitmap1 : &*m_bitmap2;
}

void IconButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect();
    const bool pressed = Pressed();
    const bool focused = hasFocus();
    const bool disabled = !isEnabled();

    if (!m_flat && (focused || m_defaultButton)) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    const QColor back = (m_hover || pressed) ? m_colours[BACK_ACTIVE]
        : focused                            ? m_colours[BACK_FOCUS]
                                             : m_colours[BACK_NORMAL];
    p.fillRect(r, back);

    auto frame3d = [&p](QRect area, QColor topLeft, QColor bottomRight) {
        p.setPen(topLeft);
        p.drawLine(area.topLeft(), area.topRight());
        p.drawLine(area.topLeft(), area.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(area.bottomLeft(), area.bottomRight());
        p.drawLine(area.topRight(), area.bottomRight());
    };
    if (m_flat && m_flatBorder) {
        if (pressed)
            frame3d(r, SystemShadow(), SystemHighlight());
        else if (m_hover)
            frame3d(r, SystemHighlight(), SystemShadow());
    } else if (!m_flat) {
        if (pressed) {
            p.setPen(SystemShadow());
            p.drawRect(r.adjusted(0, 0, -1, -1));
        } else {
            frame3d(r, SystemHighlight(), QApplication::palette().color(QPalette::Shadow));
            frame3d(
                r.adjusted(1, 1, -1, -1), QApplication::palette().color(QPalette::Midlight), SystemShadow());
        }
    }

    const bool moveWhenPressed = pressed && !m_checkMode;
    QRect textArea = r;
    if (const QPixmap* image = CurrentImage()) {
        QPoint at;
        if (!text().isEmpty()) {
            at = QPoint(r.left() + m_margins.x(), r.top() + (r.height() - image->height()) / 2);
            textArea.setLeft(at.x() + image->width() + m_margins.x());
        } else {
            at = QPoint(
                r.left() + (r.width() - image->width()) / 2, r.top() + (r.height() - image->height()) / 2);
        }
        if (moveWhenPressed)
            at += m_pressedOffset;
        p.drawPixmap(at, disabled && m_greyWhenDisabled ? Greyed(*image) : *image);
    }

    if (!text().isEmpty() && textArea.width() > 0) {
        if (moveWhenPressed)
            textArea.translate(m_pressedOffset);
        const int flags = Qt::AlignCenter | Qt::TextWordWrap;
        p.setFont(font());
        if (disabled) {
            p.setPen(SystemHighlight());
            p.drawText(textArea.translated(1, 1), flags, text());
            p.setPen(SystemShadow());
            p.drawText(textArea, flags, text());
        } else {
            p.setPen((m_hover || pressed) ? m_colours[TEXT_ACTIVE] : m_colours[TEXT_NORMAL]);
            p.drawText(textArea, flags, text());
        }
    }

    if (focused && (!m_flat || m_flatFocus)) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(3, 3, -3, -3);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
}

void IconButton::StartHover()
{
    if (m_hover)
        return;
    m_hover = true;
    update();
}

void IconButton::EndHover()
{
    if (!m_flat)
        return;
    if (m_hover) {
        m_hover = false;
        update();
    }
}

void IconButton::mouseMoveEvent(QMouseEvent* event)
{
    QPushButton::mouseMoveEvent(event);
    if (!m_flat)
        return;
    if ((event->buttons() & Qt::LeftButton) && !m_hover)
        return;
    const bool over = rect().contains(event->position().toPoint());
    if (over && (m_trackWhenInactive || QApplication::activeWindow()))
        StartHover();
    else
        EndHover();
}

void IconButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
}

void IconButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    EndHover();
}

void IconButton::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    EndHover();
}

void IconButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
        EndHover();
        break;
    default:
        break;
    }
}

bool IconButton::event(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        setFocus(Qt::MouseFocusReason);
    if (event->type() == QEvent::ApplicationPaletteChange)
        ResetColours(true);
    return QPushButton::event(event);
}

// ---------------------------------------------------------------------------------------------
// ColourLabel

ColourLabel::ColourLabel(int id, const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , m_text(SystemText())
    , m_background(SystemFace())
{
    SetControlId(this, id);
    setAutoFillBackground(false);
    setContentsMargins(2, 2, 2, 2);
    Apply();
}

void ColourLabel::SetBackgroundColour(QColor colour)
{
    m_background = colour.isValid() ? colour : SystemFace();
    Apply();
    update();
}

void ColourLabel::SetTextColour(QColor colour)
{
    m_text = colour;
    Apply();
    update();
}

void ColourLabel::SetDialogColours(QColor text, QColor background)
{
    m_dialogText = text;
    m_dialogBackground = background;
    Apply();
    update();
}

void ColourLabel::Apply()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, EffectiveText());
    palette.setColor(QPalette::Window, EffectiveBackground());
    setPalette(palette);
}

void ColourLabel::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.fillRect(rect(), EffectiveBackground());
        // The 2-pixel frame of the non-client area, in the background colour.
        p.setPen(QPen(EffectiveBackground(), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
    QLabel::paintEvent(event);
}

// ---------------------------------------------------------------------------------------------
// ColourEdit

ColourEdit::ColourEdit(int id, QWidget* parent)
    : QLineEdit(parent)
    , m_background(SystemFace())
{
    SetControlId(this, id);
    setFrame(false);
    setTextMargins(2, 0, 2, 0);
    Apply();
}

void ColourEdit::SetBackgroundColour(QColor colour)
{
    m_background = colour.isValid() ? colour : SystemFace();
    Apply();
    repaint();
}

void ColourEdit::SetDialogColours(QColor text, QColor background)
{
    m_dialogText = text;
    m_dialogBackground = background;
    Apply();
    update();
}

void ColourEdit::Apply()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, EffectiveText());
    palette.setColor(QPalette::Base, EffectiveBackground());
    palette.setColor(QPalette::Window, EffectiveBackground());
    setPalette(palette);
}

void ColourEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter p(this);
    p.setPen(QPen(EffectiveBackground(), 2));
    p.drawRect(rect().adjusted(1, 1, -1, -1));
}

} // namespace velmora
