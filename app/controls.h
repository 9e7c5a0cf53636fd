// The owner-drawn controls of the viewer's dialogs: IconButton (one of two bitmaps with a
// transparency colour, six colour slots, hover, check mode, pressed offset, tooltip, greyed when
// disabled), ColourLabel and ColourEdit (their own text and background colours). Each keeps the
// id of the template control it stands for.
#pragma once

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <array>
#include <optional>

namespace velmora {

// The id of a dialog control, kept as a property so that tests and the dialog can find it.
void SetControlId(QWidget* widget, int id);
int ControlId(const QWidget* widget);

// Loads bitmap resource `id` of the viewer (":/bitmaps/bitmap_<id>.png"); null when absent.
QImage LoadBitmapResource(int id);

class IconButton : public QPushButton {
    Q_OBJECT
public:
    // Results of the set-up operations.
    enum Result { OK = 0, BAD_BITMAP = 1, BAD_MASK = 2, BAD_SLOT = 3, BAD_STYLE = 6 };
    enum Slot {
        BACK_ACTIVE = 0,
        TEXT_ACTIVE = 1,
        BACK_NORMAL = 2,
        TEXT_NORMAL = 3,
        BACK_FOCUS = 4,
        TEXT_FOCUS = 5
    };
    enum class Kind { Push, DefaultPush, Check };

    IconButton(int id, Kind kind, const QString& text, QWidget* parent);

    // Bitmap 1 shows when hovered or pressed (check mode: checked or pressed), bitmap 2 otherwise;
    // bitmap 1 alone shows always. id2 0 = none.
    int SetBitmaps(int id1, QColor transparency1, int id2 = 0, QColor transparency2 = QColor(255, 255, 255));
    int SetBitmaps(const QImage& image1, QColor transparency1, const QImage& image2, QColor transparency2);
    int SetPressedStyle(int style, bool repaint = true);
    int SetColour(int slot, QColor colour, bool repaint = true);
    QColor Colour(int slot) const { return m_colours[slot]; }
    void ResetColours(bool repaint = true);
    void SetFlatBorder(bool on, bool repaint = true);
    void SetTooltipText(const QString& text, bool activate = true);
    // Margins to 0 and the size of bitmap 1, without moving.
    void SizeToContent();

    // BM_SETCHECK / BM_GETCHECK: 1 and 2 check (check mode only), anything else unchecks.
    void SetCheck(int state);
    int GetCheck() const { return m_checkMode && isChecked() ? 1 : 0; }

    bool Hovered() const { return m_hover; }
    bool CheckMode() const { return m_checkMode; }
    bool DefaultButton() const { return m_defaultButton; }
    QPoint PressedOffset() const { return m_pressedOffset; }
    // The image shown in the current state (after the transparency mask), null without one.
    const QPixmap* CurrentImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void EndHover();
    void StartHover();
    bool Pressed() const;

    bool m_flat = true;
    bool m_flatBorder = true;
    bool m_flatFocus = false;
    bool m_hover = false;
    bool m_trackWhenInactive = true;
    bool m_checkMode = false;
    bool m_defaultButton = false;
    bool m_greyWhenDisabled = true;
    QPoint m_pressedOffset { 1, 1 };
    QPoint m_margins { 3, 3 };
    std::array<QColor, 6> m_colours;
    std::optional<QPixmap> m_bitmap1, m_bitmap2;
    QString m_tooltip;
    bool m_tooltipActive = false;
};

// Shared by the label and the edit: their own colours, unless the dialog answers the colour
// request for them (SetDialogColours), in which case the dialog's answer is in effect.
class ColourLabel : public QLabel {
    Q_OBJECT
public:
    ColourLabel(int id, const QString& text, QWidget* parent);
    // An invalid colour stands for the system face colour (the -1 of the original call).
    void SetBackgroundColour(QColor colour);
    void SetTextColour(QColor colour);
    void SetDialogColours(QColor text, QColor background);
    QColor EffectiveText() const { return m_dialogText.isValid() ? m_dialogText : m_text; }
    QColor EffectiveBackground() const
    {
        return m_dialogBackground.isValid() ? m_dialogBackground : m_background;
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Apply();
    QColor m_text, m_background, m_dialogText, m_dialogBackground;
};

class ColourEdit : public QLineEdit {
    Q_OBJECT
public:
    ColourEdit(int id, QWidget* parent);
    void SetBackgroundColour(QColor colour);
    void SetDialogColours(QColor text, QColor background);
    QColor EffectiveText() const { return m_dialogText.isValid() ? m_dialogText : m_text; }
    QColor EffectiveBackground() const
    {
        return m_dialogBackground.isValid() ? m_dialogBackground : m_background;
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Apply();
    QColor m_text { 0, 0, 0 }, m_background, m_dialogText, m_dialogBackground;
};

} // namespace velmora
