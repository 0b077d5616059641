#pragma once

#include <QIcon>
#include <QPushButton>
#include <QString>

class QFont;
class QPainter;

// Command button that paints itself: a 16x16 icon 3 px from the left, the caption centred
// in the rest, a tooltip, a flat look that lights up under the mouse, and a push-like
// check-box mode. Every colour comes from the widget's palette:
//   Button / ButtonText     face and caption
//   Light / Midlight        outer and inner highlight of the raised edge
//   Dark / Shadow           inner and outer shadow of the raised edge
// Qt's own properties carry three of the button's settings, so .ui files can set them:
// `flat` (the flat look, on by default), `checkable` (check-box mode) and `default`.
class CIconButton : public QPushButton {
    Q_OBJECT

  public:
    explicit CIconButton(QWidget* parent = nullptr);
    CIconButton(bool checkBoxMode, QWidget* parent);
    ~CIconButton() override;

    // Loads ":/icons/<nIconId>.svg" at 16x16 and repaints. Returns 0, or 1 when that icon
    // cannot be loaded; the button is then left without icon and the caption is centred
    // in the whole button.
    int SetIconResource(unsigned nIconId);
    bool HasIcon() const { return !m_icon.isNull(); }

    // Nothing for a null text. Otherwise the text becomes the tooltip ('\n' breaks a line,
    // longer lines wrap at 400 px); bActivate switches the tooltip on. A tooltip set but
    // never activated does not show.
    void SetTooltipText(const char* text, bool bActivate);
    bool IsTooltipActive() const;

    // Switching the flat look off also ends the hover highlight. Qt repaints a button whose
    // flat property changes whatever bRepaint says; bRepaint forces a repaint otherwise.
    void SetFlat(bool bFlat, bool bRepaint);

    // Check-box mode: a click toggles the checked state and a checked button is drawn
    // pushed in, with a face tinted towards the Highlight colour and, when flat, a double
    // sunken edge.
    void SetCheckBoxMode(bool on);
    bool IsCheckBoxMode() const { return isCheckable(); }
    // 1 (checked) and 2 (indeterminate) check the button, anything else unchecks it; only
    // in check-box mode, otherwise nothing changes.
    void SetCheck(int nState);
    int GetCheck() const { return isChecked() ? 1 : 0; }

    // Hover is tracked for flat buttons only. With "always track" off, a button whose
    // window is not the active one never lights up.
    bool IsHovered() const;
    void SetAlwaysTrack(bool on) { m_bAlwaysTrack = on; }

    static constexpr int kIconSize = 16;
    static constexpr int kIconMargin = 3;      // left of the icon, and between icon and caption
    static constexpr int kFocusInset = 3;      // focus rectangle inside the edge
    static constexpr int kTooltipWidth = 400;  // longest tooltip line in pixels

  protected:
    // The state of the paint in progress, for the drawing steps below.
    bool IsPressedLook() const { return m_bPressed; }
    bool IsFocusedLook() const { return m_bFocused; }
    bool IsDisabledLook() const { return m_bDisabled; }
    bool IsDefaultLook() const { return m_bDefault; }

    // The drawing steps of paintEvent, in order. OnDrawBackground may shrink r (it does
    // when it draws the black default frame); the border and the focus rectangle use the
    // shrunk r. DrawTheIcon narrows the caption rectangle to the part right of the icon.
    virtual void OnDrawBackground(QPainter& p, QRect& r);
    virtual void OnDrawBorder(QPainter& p, const QRect& r);
    virtual void DrawTheIcon(QPainter& p, bool hasCaption, QRect& caption);
    virtual void DrawTheText(QPainter& p, const QString& caption, QRect area);

    void paintEvent(QPaintEvent* e) override;
    bool event(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    void TrackHover(QPoint pos, Qt::MouseButtons buttons);
    void EndHover();
    void ShowTooltip(QPoint globalPos);

    bool m_bHover = false;
    bool m_bPressed = false;
    bool m_bFocused = false;
    bool m_bDisabled = false;
    bool m_bDefault = false;
    bool m_bFlatBorder = true;
    bool m_bAlwaysTrack = true;
    bool m_bTooltipCreated = false;  // SetTooltipText was called with a text
    bool m_bTooltipActive = false;
    QIcon m_icon;
};

// Breaks every line of text that is wider than maxWidth pixels in font at word boundaries
// (inside a word where one word alone is wider); '\n' line breaks are kept.
QString WrapTooltipText(const QString& text, const QFont& font, int maxWidth);
