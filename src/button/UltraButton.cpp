#include "button/UltraButton.h"

#include "button/UltraButtonAccessible.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace kestrune {

QColor ColourToQColor(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

std::uint32_t QColorToColour(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | static_cast<std::uint32_t>(rgb.green()) << 8 |
           static_cast<std::uint32_t>(rgb.blue()) << 16;
}

namespace {

constexpr std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | green << 8 | blue << 16;
}

constexpr std::uint32_t BorderColour = Rgb(0, 60, 115);
constexpr std::uint32_t CornerColour = Rgb(16, 77, 123);
constexpr std::uint32_t HighlightFrameColour = Rgb(140, 174, 231);
constexpr std::uint32_t HighlightBottomColour = Rgb(107, 130, 239);
constexpr std::uint32_t HighlightTopColour = Rgb(206, 231, 255);
constexpr std::uint32_t HighlightSecondColour = Rgb(189, 215, 247);
constexpr std::uint32_t HighlightSideColour = Rgb(181, 209, 240);
constexpr std::uint32_t LightGrey = Rgb(192, 192, 192);
constexpr std::uint32_t Black = Rgb(0, 0, 0);

constexpr std::int16_t ButtonLeft = 1;
constexpr std::int16_t ButtonRight = 2;
constexpr std::int16_t ButtonMiddle = 4;

constexpr std::int16_t VkSpace = 32;
constexpr std::int16_t VkLeft = 37;
constexpr std::int16_t VkUp = 38;
constexpr std::int16_t VkRight = 39;
constexpr std::int16_t VkDown = 40;

// Halves go to the even neighbour whatever the floating-point environment says.
std::int32_t RoundHalfEven(float value) {
    const float below = std::floor(value);
    const float fraction = value - below;
    auto result = static_cast<std::int32_t>(below);
    if (fraction > 0.5f || (fraction == 0.5f && (result & 1) != 0)) {
        ++result;
    }
    return result;
}

// A one-pixel line from (x1, y1) up to but not including (x2, y2), in either
// direction; the button only draws horizontal and vertical lines.
void DrawLine(QPainter& painter, int x1, int y1, int x2, int y2, std::uint32_t colour) {
    const QColor qcolour = ColourToQColor(colour);
    if (y1 == y2) {
        if (x2 > x1) {
            painter.fillRect(x1, y1, x2 - x1, 1, qcolour);
        } else if (x2 < x1) {
            painter.fillRect(x2 + 1, y1, x1 - x2, 1, qcolour);
        }
    } else if (x1 == x2) {
        if (y2 > y1) {
            painter.fillRect(x1, y1, 1, y2 - y1, qcolour);
        } else {
            painter.fillRect(x1, y2 + 1, 1, y1 - y2, qcolour);
        }
    }
}

// A solid box, or its one-pixel outline just inside it; right and bottom
// edges excluded.
void FillBox(QPainter& painter, int left, int top, int width, int height, std::uint32_t colour, bool frame) {
    if (width <= 0 || height <= 0) {
        return;
    }
    const QColor qcolour = ColourToQColor(colour);
    if (!frame) {
        painter.fillRect(left, top, width, height, qcolour);
        return;
    }
    painter.fillRect(left, top, width, 1, qcolour);
    painter.fillRect(left, top + height - 1, width, 1, qcolour);
    painter.fillRect(left, top, 1, height, qcolour);
    painter.fillRect(left + width - 1, top, 1, height, qcolour);
}

void PutPixel(QPainter& painter, int x, int y, std::uint32_t colour) {
    painter.fillRect(x, y, 1, 1, ColourToQColor(colour));
}

// The face darkens row by row from the base: by up to 25 towards the bottom
// when normal; pressed, the other way and by up to 15, so the bottom row is
// the lightest. The step is single precision and rounds half to even.
void PaintGradient(QPainter& painter, int w, int h, std::uint32_t base, bool pressed) {
    const float step = (pressed ? 15.0f : 25.0f) / static_cast<float>(h);
    for (int i = 1; i <= h; ++i) {
        const int row = pressed ? h - i : i;
        DrawLine(painter, 0, row, w, row, UltraButton::ShadeColour(base, -RoundHalfEven(step * static_cast<float>(i))));
    }
}

// One line inside the border, from (x1, y1) up to but not including (x2, y2).
struct EdgeLine {
    int x1, y1, x2, y2;
    std::uint32_t colour;
};

// The lines inside the border, in drawing order: where two cross, the later
// one shows. The bevels are shades of the state's base; the highlight, drawn
// over its frame, has colours of its own.
std::vector<EdgeLine> EdgeLines(int w, int h, bool pressed, bool highlight, std::uint32_t base) {
    const auto shade = [base](std::int32_t amount) { return UltraButton::ShadeColour(base, amount); };
    if (pressed) {
        return {
            {2, h - 2, w - 2, h - 2, shade(16)}, {1, h - 3, w - 2, h - 3, shade(10)},
            {w - 2, 2, w - 2, h - 2, shade(5)},  {w - 3, 3, w - 3, h - 3, base},
            {2, 1, w - 2, 1, shade(-32)},        {1, 2, w - 2, 2, shade(-24)},
            {1, 2, 1, h - 2, shade(-32)},        {2, 2, 2, h - 2, shade(-22)},
        };
    }
    if (highlight) {
        return {
            {2, h - 2, w - 2, h - 2, HighlightBottomColour}, {2, 1, w - 2, 1, HighlightTopColour},
            {1, 2, w - 1, 2, HighlightSecondColour},         {2, 3, 2, h - 3, HighlightSideColour},
            {w - 3, 3, w - 3, h - 3, HighlightSideColour},
        };
    }
    return {
        {2, h - 2, w - 2, h - 2, shade(-48)}, {1, h - 3, w - 2, h - 3, shade(-32)},
        {w - 2, 2, w - 2, h - 2, shade(-36)}, {w - 3, 3, w - 3, h - 3, shade(-24)},
        {2, 1, w - 2, 1, shade(16)},          {1, 2, w - 2, 2, shade(10)},
        {1, 2, 1, h - 2, shade(-5)},          {2, 3, 2, h - 3, shade(-10)},
    };
}

std::int16_t ShiftMask(Qt::KeyboardModifiers modifiers) {
    std::int16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) {
        mask |= 1;
    }
    if (modifiers & Qt::ControlModifier) {
        mask |= 2;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= 4;
    }
    return mask;
}

std::int16_t ButtonCode(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return ButtonLeft;
    case Qt::RightButton:
        return ButtonRight;
    case Qt::MiddleButton:
        return ButtonMiddle;
    default:
        return 0;
    }
}

std::int16_t ButtonsMask(Qt::MouseButtons buttons) {
    std::int16_t mask = 0;
    if (buttons & Qt::LeftButton) {
        mask |= ButtonLeft;
    }
    if (buttons & Qt::RightButton) {
        mask |= ButtonRight;
    }
    if (buttons & Qt::MiddleButton) {
        mask |= ButtonMiddle;
    }
    return mask;
}

struct KeyMapping {
    int qtKey;
    std::int16_t keyCode;
};

// Keys whose code does not follow from the Qt key by a range; a punctuation
// character gets the code of the key that types it on a US keyboard.
constexpr KeyMapping KeyTable[] = {
    {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9}, {Qt::Key_Backtab, 9}, {Qt::Key_Clear, 12}, {Qt::Key_Return, 13},
    {Qt::Key_Enter, 13}, {Qt::Key_Shift, 16}, {Qt::Key_Control, 17}, {Qt::Key_Alt, 18}, {Qt::Key_Pause, 19},
    {Qt::Key_CapsLock, 20}, {Qt::Key_Escape, 27}, {Qt::Key_Space, VkSpace}, {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34}, {Qt::Key_End, 35}, {Qt::Key_Home, 36}, {Qt::Key_Left, VkLeft}, {Qt::Key_Up, VkUp},
    {Qt::Key_Right, VkRight}, {Qt::Key_Down, VkDown}, {Qt::Key_Print, 44}, {Qt::Key_Insert, 45},
    {Qt::Key_Delete, 46}, {Qt::Key_Meta, 91}, {Qt::Key_Menu, 93}, {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145}, {Qt::Key_ParenRight, 48}, {Qt::Key_Exclam, 49}, {Qt::Key_At, 50},
    {Qt::Key_NumberSign, 51}, {Qt::Key_Dollar, 52}, {Qt::Key_Percent, 53}, {Qt::Key_AsciiCircum, 54},
    {Qt::Key_Ampersand, 55}, {Qt::Key_Asterisk, 56}, {Qt::Key_ParenLeft, 57}, {Qt::Key_Semicolon, 186},
    {Qt::Key_Colon, 186}, {Qt::Key_Equal, 187}, {Qt::Key_Plus, 187}, {Qt::Key_Comma, 188},
    {Qt::Key_Less, 188}, {Qt::Key_Minus, 189}, {Qt::Key_Underscore, 189}, {Qt::Key_Period, 190},
    {Qt::Key_Greater, 190}, {Qt::Key_Slash, 191}, {Qt::Key_Question, 191}, {Qt::Key_QuoteLeft, 192},
    {Qt::Key_AsciiTilde, 192}, {Qt::Key_BracketLeft, 219}, {Qt::Key_BraceLeft, 219}, {Qt::Key_Backslash, 220},
    {Qt::Key_Bar, 220}, {Qt::Key_BracketRight, 221}, {Qt::Key_BraceRight, 221}, {Qt::Key_Apostrophe, 222},
    {Qt::Key_QuoteDbl, 222},
};

constexpr KeyMapping KeypadTable[] = {
    {Qt::Key_Asterisk, 106}, {Qt::Key_Plus, 107}, {Qt::Key_Minus, 109}, {Qt::Key_Period, 110}, {Qt::Key_Slash, 111},
};

// The code KeyDown and KeyUp report for a key event, 0 for a key that has none.
std::int16_t VirtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return static_cast<std::int16_t>(key);
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return static_cast<std::int16_t>(keypad ? 96 + (key - Qt::Key_0) : key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return static_cast<std::int16_t>(112 + (key - Qt::Key_F1));
    }
    if (keypad) {
        for (const KeyMapping& mapping : KeypadTable) {
            if (mapping.qtKey == key) {
                return mapping.keyCode;
            }
        }
    }
    for (const KeyMapping& mapping : KeyTable) {
        if (mapping.qtKey == key) {
            return mapping.keyCode;
        }
    }
    return 0;
}

// Saved values may come from a hand-edited design text, so every conversion
// refuses what it cannot read instead of guessing.
std::optional<qlonglong> ReadInteger(const QVariant& value) {
    bool ok = false;
    qlonglong result = 0;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return std::nullopt;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number) || number != std::trunc(number) || std::fabs(number) > 9.0e15) {
            return std::nullopt;
        }
        return static_cast<qlonglong>(number);
    }
    case QMetaType::QString: {
        QString text = value.toString().trimmed();
        if (text.startsWith(u"&H", Qt::CaseInsensitive)) {
            if (text.endsWith(u'&')) {
                text.chop(1);
            }
            result = text.mid(2).toLongLong(&ok, 16);
        } else if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
            result = text.mid(2).toLongLong(&ok, 16);
        } else {
            result = text.toLongLong(&ok, 10);
        }
        break;
    }
    default:
        result = value.toLongLong(&ok);
        break;
    }
    return ok ? std::optional<qlonglong>(result) : std::nullopt;
}

bool ReadBool(const QVariant& value, bool fallback) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(u"True", Qt::CaseInsensitive) == 0) {
            return true;
        }
        if (text.compare(u"False", Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    const auto number = ReadInteger(value);
    return number ? *number != 0 : fallback;
}

std::int32_t ReadInt32(const QVariant& value, std::int32_t fallback) {
    const auto number = ReadInteger(value);
    if (!number || *number < std::numeric_limits<std::int32_t>::min() ||
        *number > std::numeric_limits<std::int32_t>::max()) {
        return fallback;
    }
    return static_cast<std::int32_t>(*number);
}

// A colour is a 32-bit pattern; a signed 32-bit value keeps its bits.
std::uint32_t ReadColour(const QVariant& value, std::uint32_t fallback) {
    const auto number = ReadInteger(value);
    if (!number || *number < std::numeric_limits<std::int32_t>::min() ||
        *number > static_cast<qlonglong>(std::numeric_limits<std::uint32_t>::max())) {
        return fallback;
    }
    return static_cast<std::uint32_t>(*number);
}

QString ReadText(const QVariant& value, const QString& fallback) {
    if (value.typeId() == QMetaType::QByteArray) {
        return QString::fromUtf8(value.toByteArray());
    }
    if (value.typeId() == QMetaType::QString || ReadInteger(value)) {
        return value.toString();
    }
    return fallback;
}

QFont ReadFont(const QVariant& value, const QFont& fallback) {
    if (value.typeId() == QMetaType::QFont) {
        return value.value<QFont>();
    }
    QFont font = fallback;
    if (value.typeId() == QMetaType::QString && font.fromString(value.toString())) {
        return font;
    }
    return fallback;
}

}  // namespace

UltraButton::UltraButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    // Moves with no button held are events of the button as well.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    lastButton_ = ButtonLeft;
    pressedTextRect_ = QRect(2, 2, 0, 0);
    SetColours();
    InitProperties();
    InstallUltraButtonAccessibility();
}

void UltraButton::SetBackcolour(std::uint32_t theCol) {
    backcolour_ = theCol;
    SetColours();
    DrawButton(drawState_, true);
    emit PropertyChanged(QStringLiteral("BCOL"));
}

void UltraButton::SetForecolour(std::uint32_t theCol) {
    forecolour_ = theCol;
    SetColours();
    DrawButton(drawState_, true);
    emit PropertyChanged(QStringLiteral("FCOL"));
}

void UltraButton::SetCaption(const QString& newValue) {
    caption_ = newValue;
    SetAccessKey();
    AnnounceCaption();
    DrawButton(ButtonState::Normal, true);
    emit PropertyChanged(QStringLiteral("TX"));
}

void UltraButton::SetEnabled(bool newValue) {
    enabled_ = newValue;
    DrawButton(ButtonState::Normal, true);
    setEnabled(newValue);
    emit PropertyChanged(QStringLiteral("ENAB"));
}

void UltraButton::SetFont(const QFont& newFont) {
    font_ = newFont;
    setFont(newFont);
    DrawButton(ButtonState::Normal, true);
    emit PropertyChanged(QStringLiteral("FONT"));
}

void UltraButton::SetColourScheme(std::int32_t newValue) {
    colourScheme_ = newValue;
    SetColours();
    DrawButton(ButtonState::Normal, true);
    emit PropertyChanged(QStringLiteral("COLTYPE"));
}

void UltraButton::SetShowFocusRect(bool newValue) {
    showFocusRect_ = newValue;
    DrawButton(drawState_, true);
    emit PropertyChanged(QStringLiteral("FOCUSR"));
}

void UltraButton::SetDefaultIndication(bool on) {
    defaultIndication_ = on;
    DrawButton(drawState_, true);
}

void UltraButton::InitProperties() {
    enabled_ = true;
    showFocusRect_ = true;
    font_ = font();
    colourScheme_ = 1;
    backcolour_ = SystemFace();
    forecolour_ = SystemText();
}

void UltraButton::ReadProperties(PropertyBag& bag) {
    caption_ = ReadText(bag.Read(QStringLiteral("TX"), QString()), QString());
    enabled_ = ReadBool(bag.Read(QStringLiteral("ENAB"), true), true);
    font_ = ReadFont(bag.Read(QStringLiteral("FONT"), font()), font());
    colourScheme_ = ReadInt32(bag.Read(QStringLiteral("COLTYPE"), QVariant::fromValue<qint16>(1)), 1);
    showFocusRect_ = ReadBool(bag.Read(QStringLiteral("FOCUSR"), true), true);
    const std::uint32_t face = SystemFace();
    const std::uint32_t text = SystemText();
    backcolour_ = ReadColour(bag.Read(QStringLiteral("BCOL"), QVariant::fromValue<quint32>(face)), face);
    forecolour_ = ReadColour(bag.Read(QStringLiteral("FCOL"), QVariant::fromValue<quint32>(text)), text);

    setEnabled(enabled_);
    setFont(font_);
    SetColours();
    SetAccessKey();
    AnnounceCaption();
    DrawButton(ButtonState::Normal, true);
}

void UltraButton::WriteProperties(PropertyBag& bag) const {
    bag.Write(QStringLiteral("TX"), caption_);
    bag.Write(QStringLiteral("ENAB"), enabled_);
    bag.Write(QStringLiteral("FONT"), font_);
    bag.Write(QStringLiteral("COLTYPE"), QVariant::fromValue<qint32>(colourScheme_));
    bag.Write(QStringLiteral("FOCUSR"), showFocusRect_);
    bag.Write(QStringLiteral("BCOL"), QVariant::fromValue<quint32>(backcolour_));
    bag.Write(QStringLiteral("FCOL"), QVariant::fromValue<quint32>(forecolour_));
}

// The palette stands for the desktop's colours; always reading the Active group
// keeps the face the same whether the window is active or not.
std::uint32_t UltraButton::SystemFace() const {
    return QColorToColour(palette().color(QPalette::Active, QPalette::Button));
}

std::uint32_t UltraButton::SystemText() const {
    return QColorToColour(palette().color(QPalette::Active, QPalette::ButtonText));
}

void UltraButton::SetColours() {
    switch (colourScheme_) {
    case 2:
        faceColour_ = backcolour_;
        textColour_ = forecolour_;
        break;
    case 3:
        faceColour_ = LightGrey;
        textColour_ = Black;
        break;
    default:
        faceColour_ = SystemFace();
        textColour_ = SystemText();
        break;
    }
}

QString UltraButton::AccessKeyOf(const QString& caption) {
    if (caption.size() < 2) {
        return {};
    }
    const qsizetype first = caption.indexOf(u'&');
    if (first < 0 || first == caption.size() - 1) {
        return {};
    }
    if (caption[first + 1] != u'&') {
        return QString(caption[first + 1]).toLower();
    }
    const qsizetype second = caption.indexOf(u'&', first + 2);
    if (second < 0 || second == caption.size() - 1 || caption[second + 1] == u'&') {
        return {};
    }
    return QString(caption[second + 1]).toLower();
}

QString UltraButton::CaptionText(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            text += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            text += caption[++i];
        }
    }
    return text;
}

QKeySequence UltraButton::AccessKeySequence() const {
    // Qt names a character key by its upper-case code; half a surrogate pair names none.
    if (accessKey_.isEmpty() || accessKey_[0].isSurrogate()) {
        return {};
    }
    const auto key = static_cast<Qt::Key>(accessKey_[0].toUpper().unicode());
    return QKeySequence(QKeyCombination(Qt::AltModifier, key));
}

void UltraButton::SetAccessKey() {
    accessKey_ = AccessKeyOf(caption_);
    if (shortcutId_ != 0) {
        releaseShortcut(shortcutId_);
        shortcutId_ = 0;
    }
    const QKeySequence key = AccessKeySequence();
    if (!key.isEmpty()) {
        shortcutId_ = grabShortcut(key);
    }
}

// The caption is the name screen readers announce, so they hear it change.
void UltraButton::AnnounceCaption() {
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

std::uint32_t UltraButton::ShadeColour(std::uint32_t colour, std::int32_t amount) {
    const auto red = static_cast<std::int32_t>(colour & 0xFFu);
    const auto green = static_cast<std::int32_t>((colour >> 8) & 0xFFu);
    const auto blue = static_cast<std::int32_t>((colour >> 16) & 0xFFu);
    const auto clamp = [](std::int64_t value) { return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, 255)); };
    // 64-bit sums: amount may be anything a caller passes.
    const std::uint32_t newRed = clamp(std::int64_t{red} + amount);
    const std::uint32_t newGreen = clamp(std::int64_t{green} + amount);
    const std::uint32_t newBlue = clamp(std::int64_t{blue} + std::int64_t{blue} * amount / 192);
    return Rgb(newRed, newGreen, newBlue);
}

void UltraButton::MakeRegion() {
    const int w = width_;
    const int h = height_;
    QRegion region(0, 0, w, h);
    const QPoint cut[] = {
        {0, 0},     {1, 0},     {0, 1},     {w - 2, 0},     {w - 1, 0},     {w - 1, 1},
        {0, h - 1}, {1, h - 1}, {0, h - 2}, {w - 2, h - 1}, {w - 1, h - 1}, {w - 1, h - 2},
    };
    for (const QPoint& pixel : cut) {
        region -= QRegion(pixel.x(), pixel.y(), 1, 1);
    }
    setMask(region);
}

bool UltraButton::DrawButton(ButtonState state, bool force) {
    if (!force && caption_ == lastCaption_ && state == drawState_) {
        return false;
    }
    if (height_ == 0) {
        return false;
    }
    drawState_ = state;
    lastCaption_ = caption_;
    Paint(state);
    update();
    return true;
}

void UltraButton::Paint(ButtonState state) {
    if (surface_.size() != QSize(width_, height_)) {
        surface_ = width_ > 0 ? QImage(width_, height_, QImage::Format_RGB32) : QImage();
    }
    if (surface_.isNull()) {
        return;
    }
    QPainter painter(&surface_);
    painter.fillRect(0, 0, width_, height_, ColourToQColor(faceColour_));
    // Disabled, the button is a plain face-coloured shape: no border, caption or bevel.
    if (!enabled_) {
        return;
    }
    const bool pressed = state == ButtonState::Pressed;
    const std::uint32_t lightFace = ShadeColour(faceColour_, 48);
    const std::uint32_t base = pressed ? ShadeColour(lightFace, -32) : lightFace;
    PaintGradient(painter, width_, height_, base, pressed);
    PaintCaption(painter, pressed ? pressedTextRect_ : textRect_);
    PaintBorder(painter);
    const bool highlight = !pressed && showFocusRect_ && (hasFocus_ || defaultIndication_);
    if (highlight) {
        FillBox(painter, 1, 2, width_ - 2, height_ - 4, HighlightFrameColour, true);
    }
    for (const EdgeLine& line : EdgeLines(width_, height_, pressed, highlight, base)) {
        DrawLine(painter, line.x1, line.y1, line.x2, line.y2, line.colour);
    }
}

void UltraButton::PaintCaption(QPainter& painter, const QRect& box) const {
    QFont captionFont = font_;
    captionFont.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(captionFont);
    painter.setPen(ColourToQColor(textColour_));
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic, caption_);
}

void UltraButton::PaintBorder(QPainter& painter) const {
    const int w = width_;
    const int h = height_;
    DrawLine(painter, 2, 0, w - 2, 0, BorderColour);
    DrawLine(painter, 2, h - 1, w - 2, h - 1, BorderColour);
    DrawLine(painter, 0, 2, 0, h - 2, BorderColour);
    DrawLine(painter, w - 1, 2, w - 1, h - 2, BorderColour);
    PutPixel(painter, 1, 1, CornerColour);
    PutPixel(painter, 1, h - 2, CornerColour);
    PutPixel(painter, w - 2, 1, CornerColour);
    PutPixel(painter, w - 2, h - 2, CornerColour);
}

bool UltraButton::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        const auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (shortcutId_ != 0 && shortcut->shortcutId() == shortcutId_) {
            // Two controls with one access key: the key takes turns focusing them.
            if (shortcut->isAmbiguous()) {
                setFocus(Qt::ShortcutFocusReason);
            } else {
                AccessKeyPress();
            }
            return true;
        }
    }
    return QWidget::event(event);
}

void UltraButton::changeEvent(QEvent* event) {
    // The palette holds the desktop's colours, which the default scheme paints
    // with: a new palette repaints the button in them.
    if (event->type() == QEvent::PaletteChange) {
        SetColours();
        DrawButton(drawState_, true);
    }
    QWidget::changeEvent(event);
}

void UltraButton::paintEvent(QPaintEvent* event) {
    if (surface_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, surface_);
}

void UltraButton::resizeEvent(QResizeEvent* event) {
    width_ = event->size().width();
    height_ = event->size().height();
    textRect_ = QRect(0, 0, width_, height_);
    pressedTextRect_.setRight(width_ - 1);
    pressedTextRect_.setBottom(height_ - 1);
    MakeRegion();
    DrawButton(ButtonState::Normal, true);
}

void UltraButton::HandleMouseDown(std::int16_t button, std::int16_t shift, float x, float y) {
    lastButton_ = static_cast<std::uint8_t>(button);
    if (button != ButtonRight) {
        DrawButton(ButtonState::Pressed, false);
    }
    emit MouseDown(button, shift, x, y);
}

void UltraButton::HandleMouseUp(std::int16_t button, std::int16_t shift, float x, float y) {
    if (button != ButtonRight) {
        DrawButton(ButtonState::Normal, false);
    }
    emit MouseUp(button, shift, x, y);
}

void UltraButton::AccessKeyPress() { HandleClick(); }

void UltraButton::Press() {
    lastButton_ = ButtonLeft;
    HandleClick();
}

void UltraButton::HandleClick() {
    if (lastButton_ != ButtonLeft || !enabled_) {
        return;
    }
    DrawButton(ButtonState::Normal, true);
    repaint();
    emit Click();
}

void UltraButton::HandleKeyDown(std::int16_t keyCode, std::int16_t shift) {
    emit KeyDown(keyCode, shift);
    // A code a handler put out of the key range is no key, rather than one
    // that wraps round to the space bar.
    lastKey_ = keyCode >= 0 && keyCode <= 255 ? static_cast<std::uint8_t>(keyCode) : 0;
    switch (keyCode) {
    case VkSpace:
        HandleMouseDown(ButtonLeft, 1, 1.0f, 1.0f);
        break;
    case VkRight:
    case VkDown:
        focusNextPrevChild(true);
        break;
    case VkLeft:
    case VkUp:
        focusNextPrevChild(false);
        break;
    default:
        break;
    }
}

void UltraButton::HandleKeyUp(std::int16_t keyCode, std::int16_t shift) {
    emit KeyUp(keyCode, shift);
    if (lastKey_ == VkSpace && keyCode == VkSpace) {
        HandleMouseUp(ButtonLeft, 1, 1.0f, 1.0f);
        lastButton_ = ButtonLeft;
        HandleClick();
    }
}

void UltraButton::mousePressEvent(QMouseEvent* event) {
    const std::int16_t button = ButtonCode(event->button());
    if (button == 0) {
        event->ignore();
        return;
    }
    clickArmed_ = true;
    const QPointF at = event->position();
    HandleMouseDown(button, ShiftMask(event->modifiers()), static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void UltraButton::mouseMoveEvent(QMouseEvent* event) {
    std::int16_t buttons = ButtonsMask(event->buttons());
    std::int16_t shift = ShiftMask(event->modifiers());
    auto x = static_cast<float>(event->position().x());
    auto y = static_cast<float>(event->position().y());
    if (buttons == 0 || buttons == ButtonLeft) {
        const bool outside = x < 0.0f || x > static_cast<float>(width_) || y < 0.0f || y > static_cast<float>(height_);
        if (outside) {
            DrawButton(ButtonState::Normal, false);
        } else if (buttons == ButtonLeft) {
            DrawButton(ButtonState::Pressed, false);
        }
    }
    emit MouseMove(buttons, shift, x, y);
}

void UltraButton::mouseReleaseEvent(QMouseEvent* event) {
    const std::int16_t button = ButtonCode(event->button());
    if (button == 0) {
        event->ignore();
        return;
    }
    const QPointF at = event->position();
    const bool completed = clickArmed_ && rect().contains(at.toPoint());
    clickArmed_ = false;
    HandleMouseUp(button, ShiftMask(event->modifiers()), static_cast<float>(at.x()), static_cast<float>(at.y()));
    if (completed) {
        HandleClick();
    }
}

void UltraButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (ButtonCode(event->button()) == 0) {
        event->ignore();
        return;
    }
    // A double click is one click: its second press shows the button pressed,
    // but the release completes no second click.
    clickArmed_ = false;
    if (lastButton_ == ButtonLeft) {
        HandleMouseDown(ButtonLeft, 1, 1.0f, 1.0f);
    }
}

void UltraButton::keyPressEvent(QKeyEvent* event) {
    HandleKeyDown(VirtualKeyCode(*event), ShiftMask(event->modifiers()));
    const QString text = event->text();
    if (!text.isEmpty() && text[0].unicode() <= 0xFF) {
        std::int16_t keyAscii = static_cast<std::int16_t>(text[0].unicode());
        emit KeyPress(keyAscii);
    }
}

void UltraButton::keyReleaseEvent(QKeyEvent* event) {
    // Held keys repeat as release and press pairs on some desktops; only the
    // real release counts, or a held space bar would click again and again.
    if (event->isAutoRepeat()) {
        return;
    }
    HandleKeyUp(VirtualKeyCode(*event), ShiftMask(event->modifiers()));
}

void UltraButton::focusInEvent(QFocusEvent* event) {
    hasFocus_ = true;
    DrawButton(drawState_, true);
    QWidget::focusInEvent(event);
}

void UltraButton::focusOutEvent(QFocusEvent* event) {
    hasFocus_ = false;
    // A space released on this button after a space pressed elsewhere must not click it.
    lastKey_ = 0;
    DrawButton(drawState_, true);
    QWidget::focusOutEvent(event);
}

}  // namespace kestrune
