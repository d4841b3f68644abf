#pragma once

#include "button/UltraButton.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

// Failure messages show colours as (r, g, b).
void PrintTo(const QColor& colour, std::ostream* os);

// Failure messages show texts as quoted UTF-8.
void PrintTo(const QString& text, std::ostream* os);

namespace kestrune::test {

// The face of a classic desktop, the colour the drawing figures start from.
inline const QColor ClassicFace(212, 208, 200);

// The colour behind hosted buttons, so that cut corners show.
inline const QColor HostGreen(0, 255, 0);

constexpr std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | green << 8 | blue << 16;
}

// Gives a widget the classic face and black button text through its palette.
void UseClassicColours(QWidget& widget);

// Shows a button of the given size in a window that is never on screen, so
// that the resize arrives at once (a hidden widget's resize waits for show).
void Place(UltraButton& button, QSize size);

// The button's own pixels, cut corners included.
QImage Shot(UltraButton& button);

// The bounding box of the pixels that have exactly colour ink.
QRect InkBox(const QImage& image, const QColor& ink);

// A shown, active window on a green background holding buttons of one size
// side by side, 10 pixels from the edge and 10 apart.
class Host {
public:
    explicit Host(int count = 1, QSize buttonSize = QSize(65, 41));

    UltraButton& Button(int index = 0) { return *buttons_.at(static_cast<std::size_t>(index)); }
    QWidget& Window() { return window_; }

    // The window's pixels at a button's coordinates.
    QColor PixelAt(int index, int x, int y);

private:
    QWidget window_;
    std::vector<UltraButton*> buttons_;
};

// Every event a button raises, as text, in order: "Click",
// "MouseDown 1 0 10 10" (button, shift, x, y), "KeyDown 32 0", "KeyPress 32".
class EventLog {
public:
    explicit EventLog(UltraButton& button);

    QStringList events;

private:
    // Owns the connections, so none outlives the log.
    QObject context_;
};

}  // namespace kestrune::test
