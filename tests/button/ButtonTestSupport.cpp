#include "ButtonTestSupport.h"

#include <QApplication>
#include <QPalette>
#include <QtTest/QTest>

#include <gtest/gtest.h>

void PrintTo(const QColor& colour, std::ostream* os) {
    *os << "(" << colour.red() << ", " << colour.green() << ", " << colour.blue() << ")";
}

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kestrune::test {

void UseClassicColours(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Button, ClassicFace);
    palette.setColor(QPalette::ButtonText, Qt::black);
    widget.setPalette(palette);
}

void Place(UltraButton& button, QSize size) {
    // Window masks belong to child widgets; a top-level one would ask the platform.
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

QImage Shot(UltraButton& button) {
    return button.grab().toImage();
}

QRect InkBox(const QImage& image, const QColor& ink) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == ink) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

Host::Host(int count, QSize buttonSize) {
    QPalette palette = window_.palette();
    palette.setColor(QPalette::Window, HostGreen);
    window_.setPalette(palette);
    window_.setAutoFillBackground(true);
    window_.resize(20 + count * (buttonSize.width() + 10), buttonSize.height() + 20);
    for (int i = 0; i < count; ++i) {
        auto* button = new UltraButton(&window_);
        UseClassicColours(*button);
        button->setGeometry(10 + i * (buttonSize.width() + 10), 10, buttonSize.width(), buttonSize.height());
        buttons_.push_back(button);
    }
    window_.show();
    QApplication::setActiveWindow(&window_);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
}

QColor Host::PixelAt(int index, int x, int y) {
    const QPoint at = Button(index).mapTo(&window_, QPoint(x, y));
    return window_.grab().toImage().pixelColor(at);
}

EventLog::EventLog(UltraButton& button) {
    const auto mouse = [this](const char* name) {
        return [this, name](std::int16_t& b, std::int16_t& shift, float& x, float& y) {
            events << QStringLiteral("%1 %2 %3 %4 %5").arg(name).arg(b).arg(shift).arg(x).arg(y);
        };
    };
    QObject::connect(&button, &UltraButton::Click, &context_, [this] { events << QStringLiteral("Click"); });
    QObject::connect(&button, &UltraButton::MouseDown, &context_, mouse("MouseDown"));
    QObject::connect(&button, &UltraButton::MouseMove, &context_, mouse("MouseMove"));
    QObject::connect(&button, &UltraButton::MouseUp, &context_, mouse("MouseUp"));
    QObject::connect(&button, &UltraButton::KeyPress, &context_,
                     [this](std::int16_t& keyAscii) { events << QStringLiteral("KeyPress %1").arg(keyAscii); });
    QObject::connect(&button, &UltraButton::KeyDown, &context_, [this](std::int16_t& keyCode, std::int16_t& shift) {
        events << QStringLiteral("KeyDown %1 %2").arg(keyCode).arg(shift);
    });
    QObject::connect(&button, &UltraButton::KeyUp, &context_, [this](std::int16_t& keyCode, std::int16_t& shift) {
        events << QStringLiteral("KeyUp %1 %2").arg(keyCode).arg(shift);
    });
}

}  // namespace kestrune::test
