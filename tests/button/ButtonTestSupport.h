#pragma once

#include "button/UltraButton.h"

#include <QApplication>
#include <QPalette>
#include <QStringList>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

// Failure messages show colours as (r, g, b) and texts as quoted UTF-8.
inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << '(' << c.red() << ", " << c.green() << ", " << c.blue() << ')';
}
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kestrune::test {

// The face of a classic desktop, the colour the drawing figures start from.
inline const QColor ClassicFace(212, 208, 200);
// The colour behind hosted buttons, so that cut corners show.
inline const QColor HostGreen(0, 255, 0);

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | g << 8 | b << 16; }

inline void UseClassicColours(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Button, ClassicFace);
    palette.setColor(QPalette::ButtonText, Qt::black);
    widget.setPalette(palette);
}

// Shows a button in a window that is never on screen, so that the resize
// arrives at once (a hidden widget's resize waits for show) and no focus comes.
inline void Place(UltraButton& button, QSize size) {
    static QWidget* const holder = [] {
        auto* widget = new QWidget;
        widget->setAttribute(Qt::WA_DontShowOnScreen);
        widget->resize(400, 400);
        widget->show();
        return widget;
    }();
    button.setParent(holder);
    button.resize(size);
    button.show();
}

// A placed button with the classic face and black caption.
struct ClassicButton : UltraButton {
    explicit ClassicButton(QSize size) { UseClassicColours(*this); Place(*this, size); }
};

// The button's own pixels, cut corners included.
inline QImage Shot(UltraButton& button) { return button.grab().toImage(); }

// The bounding box of the pixels that have exactly colour ink.
inline QRect InkBox(const QImage& image, const QColor& ink) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == ink) box |= QRect(x, y, 1, 1);
    return box;
}

// A shown, active window on a green background holding classic buttons of
// one size side by side, 10 pixels from the edge and 10 apart.
class Host {
public:
    explicit Host(int count = 1, QSize size = QSize(65, 41)) {
        QPalette palette = window_.palette();
        palette.setColor(QPalette::Window, HostGreen);
        window_.setPalette(palette);
        window_.setAutoFillBackground(true);
        window_.resize(20 + count * (size.width() + 10), size.height() + 20);
        for (int i = 0; i < count; ++i) {
            buttons_.push_back(new UltraButton(&window_));
            UseClassicColours(*buttons_.back());
            buttons_.back()->setGeometry(10 + i * (size.width() + 10), 10, size.width(), size.height());
        }
        window_.show();
        QApplication::setActiveWindow(&window_);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
    }
    UltraButton& Button(int index = 0) { return *buttons_.at(static_cast<std::size_t>(index)); }
    QWidget& Window() { return window_; }
    // The window's pixel at a button's coordinates.
    QColor PixelAt(int x, int y) { return window_.grab().toImage().pixelColor(Button().mapTo(&window_, QPoint(x, y))); }

private:
    QWidget window_;
    std::vector<UltraButton*> buttons_;
};

// Every event a button raises, as its name and arguments, in order: "Click",
// "MouseDown 1 0 10 10" (button, shift, x, y), "KeyDown 32 0", "KeyPress 32".
class EventLog {
public:
    explicit EventLog(UltraButton& b) {
        const auto log = [this](const char* name) {
            return [this, name](auto&... args) { events << QStringList({name, QString::number(args)...}).join(' '); };
        };
        QObject::connect(&b, &UltraButton::Click, &context_, log("Click"));
        QObject::connect(&b, &UltraButton::MouseDown, &context_, log("MouseDown"));
        QObject::connect(&b, &UltraButton::MouseMove, &context_, log("MouseMove"));
        QObject::connect(&b, &UltraButton::MouseUp, &context_, log("MouseUp"));
        QObject::connect(&b, &UltraButton::KeyPress, &context_, log("KeyPress"));
        QObject::connect(&b, &UltraButton::KeyDown, &context_, log("KeyDown"));
        QObject::connect(&b, &UltraButton::KeyUp, &context_, log("KeyUp"));
    }
    QStringList events;

private:
    QObject context_;  // owns the connections, so none outlives the log
};

}  // namespace kestrune::test
