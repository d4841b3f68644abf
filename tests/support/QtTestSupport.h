#pragma once

// What the two Qt suites (the button's and the window's) share.

#include <QApplication>
#include <QColor>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// Failure messages show texts as quoted UTF-8 and colours as (r, g, b).
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << '(' << c.red() << ", " << c.green() << ", " << c.blue() << ')';
}

namespace kestrune::test {

// The main() of a Qt suite: the tests need a QApplication, and beforeTests
// runs once it exists. Test discovery runs the program without the test
// environment, hence the platform set here.
inline int RunQtTests(int argc, char** argv, const std::function<void()>& beforeTests = {}) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (beforeTests) beforeTests();
    return RUN_ALL_TESTS();
}

}  // namespace kestrune::test
