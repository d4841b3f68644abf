#pragma once

#include "button/PropertyBag.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QKeySequence>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>

class QPainter;

namespace kestrune {

// The QColor of a stored colour, 0x00BBGGRR (red in the low byte; top byte ignored).
QColor ColourToQColor(std::uint32_t colour);

// The 0x00BBGGRR form of a QColor; alpha is dropped.
std::uint32_t QColorToColour(const QColor& colour);

// The states the button paints.
enum class ButtonState : std::uint8_t { Normal = 0, Pressed = 2 };

// The program's own push button; it paints every pixel itself, and its event
// signals pass arguments by reference for directly connected handlers to change.
class UltraButton : public QWidget {
    Q_OBJECT

public:
    // A new button with the new-instance defaults (see InitProperties).
    explicit UltraButton(QWidget* parent = nullptr);

    // Face colour used when ColourScheme is 2.
    std::uint32_t Backcolour() const { return backcolour_; }
    void SetBackcolour(std::uint32_t theCol);

    // Caption colour used when ColourScheme is 2.
    std::uint32_t Forecolour() const { return forecolour_; }
    void SetForecolour(std::uint32_t theCol);

    // The caption; "&" marks the access key, "&&" shows one "&".
    QString Caption() const { return caption_; }
    void SetCaption(const QString& newValue);

    // A disabled button shows only its face and takes no input.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool newValue);

    // The caption's font.
    QFont Font() const { return font_; }
    void SetFont(const QFont& newFont);

    // 2: Backcolour and Forecolour; 3: light grey and black; else the palette's button colours.
    std::int32_t ColourScheme() const { return colourScheme_; }
    void SetColourScheme(std::int32_t newValue);

    // Whether the focus or default-button highlight may be drawn.
    bool ShowFocusRect() const { return showFocusRect_; }
    void SetShowFocusRect(bool newValue);

    // Whether the hosting window shows this button as its default button.
    bool DefaultIndication() const { return defaultIndication_; }
    void SetDefaultIndication(bool on);

    // The face and caption colours that painting uses, derived by SetColours.
    std::uint32_t FaceColour() const { return faceColour_; }
    std::uint32_t TextColour() const { return textColour_; }

    // The access key in lower case, or empty when the caption defines none.
    QString AccessKey() const { return accessKey_; }

    // Alt with the access key, or empty when there is none.
    QKeySequence AccessKeySequence() const;

    // The state last painted.
    ButtonState DrawState() const { return drawState_; }

    // The new-instance defaults (the caption is kept, nothing is painted).
    void InitProperties();

    // Reads the seven saved properties in order, defaulting absent or unreadable ones, then paints.
    void ReadProperties(PropertyBag& bag);

    // Writes all seven properties: TX, ENAB, FONT, COLTYPE, FOCUSR, BCOL, FCOL.
    void WriteProperties(PropertyBag& bag) const;

    // The host's access-key notification: Alt with the access key, or Return
    // and Enter on the window's default button. Runs the click handling.
    void AccessKeyPress();

    // A press from assistive technology, as a space-bar release ends one: it
    // clicks after a right press too, and never while disabled.
    void Press();

    // Paints state unless unforced and already painted with this caption; true when it painted.
    bool DrawButton(ButtonState state, bool force);

    // Lightens (positive amount) or darkens a colour; blue moves by its own share of amount.
    static std::uint32_t ShadeColour(std::uint32_t colour, std::int32_t amount);

    // The access key a caption defines, in lower case, or empty; only two "&" markers count.
    static QString AccessKeyOf(const QString& caption);

    // A caption as it shows: access-key marks dropped, "&&" as one "&".
    static QString CaptionText(const QString& caption);

signals:
    // A saved property changed; key is its persistence key ("TX", "BCOL", …).
    void PropertyChanged(const QString& key);

    // A completed press: left button or space bar released on the button, or the access key.
    void Click();

    // Button: 1 left, 2 right, 4 middle. Shift: 1 Shift, 2 Ctrl, 4 Alt.
    void MouseDown(std::int16_t& Button, std::int16_t& Shift, float& x, float& y);

    // Button holds the buttons down, combined.
    void MouseMove(std::int16_t& Button, std::int16_t& Shift, float& x, float& y);

    // Button: the button released.
    void MouseUp(std::int16_t& Button, std::int16_t& Shift, float& x, float& y);

    // A character typed on the button (its Latin-1 code).
    void KeyPress(std::int16_t& KeyAscii);

    // KeyCode is the key's code (a letter's upper-case character code, space 32, arrows
    // 37 to 40, F1 112); set it to 0 to stop its action.
    void KeyDown(std::int16_t& KeyCode, std::int16_t& Shift);

    // A key came up; a space release only clicks after a space press.
    void KeyUp(std::int16_t& KeyCode, std::int16_t& Shift);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::uint32_t SystemFace() const;
    std::uint32_t SystemText() const;
    void SetColours();
    void SetAccessKey();
    void AnnounceCaption();
    void MakeRegion();
    void Paint(ButtonState state);
    void PaintCaption(QPainter& painter, const QRect& box) const;
    void PaintBorder(QPainter& painter) const;
    void HandleMouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void HandleMouseUp(std::int16_t button, std::int16_t shift, float x, float y);
    void HandleClick();
    void HandleKeyDown(std::int16_t keyCode, std::int16_t shift);
    void HandleKeyUp(std::int16_t keyCode, std::int16_t shift);

    std::uint32_t backcolour_ = 0;
    std::uint32_t forecolour_ = 0;
    QString caption_;
    bool enabled_ = true;
    QFont font_;
    std::int32_t colourScheme_ = 0;
    bool showFocusRect_ = true;
    bool defaultIndication_ = false;

    std::uint32_t faceColour_ = 0;
    std::uint32_t textColour_ = 0;
    int width_ = 0;
    int height_ = 0;
    QRect textRect_;
    QRect pressedTextRect_;
    std::uint8_t lastButton_ = 1;
    std::uint8_t lastKey_ = 0;
    bool hasFocus_ = false;
    ButtonState drawState_ = ButtonState::Normal;
    QString lastCaption_;
    QString accessKey_;
    int shortcutId_ = 0;
    // A press on the button that its release may complete into a click.
    bool clickArmed_ = false;
    QImage surface_;
};

}  // namespace kestrune
