#include "ButtonTestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QtTest/QTest>

#include <gtest/gtest.h>

using kestrune::ButtonState;
using kestrune::UltraButton;
using kestrune::test::EventLog;
using kestrune::test::Host;

namespace {

const QPoint Inside(10, 10);

void Press(UltraButton& button, Qt::MouseButton which, QPoint at = Inside,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mousePress(&button, which, modifiers, at);
}

void Release(UltraButton& button, Qt::MouseButton which, QPoint at = Inside) {
    QTest::mouseRelease(&button, which, Qt::NoModifier, at);
}

void SendKey(UltraButton& button, QEvent::Type type, Qt::Key key, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString(), autoRepeat);
    QApplication::sendEvent(&button, &event);
}

}  // namespace

TEST(ButtonInput, LeftPressAndReleaseClickOnce) {
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    Press(button, Qt::LeftButton);
    EXPECT_EQ(button.DrawState(), ButtonState::Pressed);
    Release(button, Qt::LeftButton);
    EXPECT_EQ(button.DrawState(), ButtonState::Normal);
    EXPECT_EQ(log.events, QStringList({"MouseDown 1 0 10 10", "MouseUp 1 0 10 10", "Click"}));
}

TEST(ButtonInput, OtherButtonsRaiseTheirEventsButNoClick) {
    const struct {
        Qt::MouseButton which;
        int code;
        ButtonState whileHeld;
    } cases[] = {
        {Qt::RightButton, 2, ButtonState::Normal},
        {Qt::MiddleButton, 4, ButtonState::Pressed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Host host;
        UltraButton& button = host.Button();
        EventLog log(button);
        Press(button, c.which);
        EXPECT_EQ(button.DrawState(), c.whileHeld);
        Release(button, c.which);
        const QString args = QStringLiteral(" %1 0 10 10").arg(c.code);
        EXPECT_EQ(log.events, QStringList({"MouseDown" + args, "MouseUp" + args}));
    }
}

TEST(ButtonInput, ModifiersArriveAsTheShiftMask) {
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    Press(button, Qt::LeftButton, Inside, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(log.events, QStringList({"MouseDown 1 7 10 10"}));
    Release(button, Qt::LeftButton);
}

TEST(ButtonInput, DraggingOutAndBackFollowsThePointer) {
    const struct {
        QPoint at;
        ButtonState state;
    } moves[] = {
        {{100, 10}, ButtonState::Normal}, {{20, 10}, ButtonState::Pressed}, {{-1, 10}, ButtonState::Normal},
        {{65, 41}, ButtonState::Pressed},  // the far edges count as inside
        {{10, 42}, ButtonState::Normal},   {{0, 1}, ButtonState::Pressed},  // (0, 0) means the centre to QTest
    };
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    Press(button, Qt::LeftButton);
    for (const auto& move : moves) {
        SCOPED_TRACE(testing::Message() << move.at.x() << ", " << move.at.y());
        QTest::mouseMove(&button, move.at);
        EXPECT_EQ(button.DrawState(), move.state);
        EXPECT_EQ(log.events.last(), QStringLiteral("MouseMove 1 0 %1 %2").arg(move.at.x()).arg(move.at.y()));
    }
    QTest::mouseMove(&button, QPoint(20, 20));
    Release(button, Qt::LeftButton, QPoint(20, 20));
    EXPECT_EQ(log.events.count("Click"), 1);
}

TEST(ButtonInput, ReleaseOutsideIsNoClick) {
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    Press(button, Qt::LeftButton);
    QTest::mouseMove(&button, QPoint(100, 10));
    Release(button, Qt::LeftButton, QPoint(100, 10));
    EXPECT_EQ(button.DrawState(), ButtonState::Normal);
    EXPECT_EQ(log.events.count("Click"), 0);
}

TEST(ButtonInput, DoubleClickPressesAgainButClicksOnce) {
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    Press(button, Qt::LeftButton);
    Release(button, Qt::LeftButton);
    QTest::mouseDClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    EXPECT_EQ(button.DrawState(), ButtonState::Pressed);
    Release(button, Qt::LeftButton);
    EXPECT_EQ(log.events, QStringList({"MouseDown 1 0 10 10", "MouseUp 1 0 10 10", "Click", "MouseDown 1 1 1 1",
                                       "MouseUp 1 0 10 10"}));
}

TEST(ButtonInput, SpaceBarPressesAndClicks) {
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    QTest::keyPress(&button, Qt::Key_Space);
    EXPECT_EQ(button.DrawState(), ButtonState::Pressed);
    QTest::keyRelease(&button, Qt::Key_Space);
    EXPECT_EQ(button.DrawState(), ButtonState::Normal);
    EXPECT_EQ(log.events, QStringList({"KeyDown 32 0", "MouseDown 1 1 1 1", "KeyPress 32", "KeyUp 32 0",
                                       "MouseUp 1 1 1 1", "Click"}));
}

TEST(ButtonInput, KeysArriveAsVirtualKeyCodes) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* down;
    } cases[] = {
        {Qt::Key_A, Qt::NoModifier, "KeyDown 65 0"},      {Qt::Key_Z, Qt::ShiftModifier, "KeyDown 90 1"},
        {Qt::Key_7, Qt::NoModifier, "KeyDown 55 0"},      {Qt::Key_7, Qt::KeypadModifier, "KeyDown 103 0"},
        {Qt::Key_Return, Qt::NoModifier, "KeyDown 13 0"}, {Qt::Key_Escape, Qt::NoModifier, "KeyDown 27 0"},
        {Qt::Key_F1, Qt::ControlModifier, "KeyDown 112 2"}, {Qt::Key_Delete, Qt::AltModifier, "KeyDown 46 4"},
        {Qt::Key_Minus, Qt::NoModifier, "KeyDown 189 0"}, {Qt::Key_Minus, Qt::KeypadModifier, "KeyDown 109 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.down);
        Host host;
        EventLog log(host.Button());
        QTest::keyClick(&host.Button(), c.key, c.modifiers);
        // The modifier keys go down first and raise their own KeyDown.
        EXPECT_TRUE(log.events.contains(c.down)) << log.events.join(", ").toStdString();
    }
}

TEST(ButtonInput, KeyDownHandlerCanStopThePress) {
    const struct {
        std::int16_t replacement;
        const char* what;
    } cases[] = {{0, "no key"}, {32 + 256, "out of range, not a space"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        UltraButton& button = host.Button();
        QObject::connect(&button, &UltraButton::KeyDown, [&c](std::int16_t& keyCode, std::int16_t&) {
            if (keyCode == 32) {
                keyCode = c.replacement;
            }
        });
        EventLog log(button);
        QTest::keyClick(&button, Qt::Key_Space);
        EXPECT_EQ(button.DrawState(), ButtonState::Normal);
        EXPECT_FALSE(log.events.contains("MouseDown 1 1 1 1"));
        EXPECT_FALSE(log.events.contains("Click"));
    }
}

TEST(ButtonInput, HeldSpaceBarClicksOnceOnRelease) {
    Host host;
    UltraButton& button = host.Button();
    EventLog log(button);
    SendKey(button, QEvent::KeyPress, Qt::Key_Space);
    for (int i = 0; i < 3; ++i) {
        SendKey(button, QEvent::KeyRelease, Qt::Key_Space, true);
        SendKey(button, QEvent::KeyPress, Qt::Key_Space, true);
    }
    EXPECT_EQ(log.events.count("Click"), 0);
    SendKey(button, QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_EQ(log.events.count("Click"), 1);
}

TEST(ButtonInput, SpaceReleasedAfterTheFocusMovedIsNoClick) {
    Host host(2);
    UltraButton& first = host.Button(0);
    UltraButton& second = host.Button(1);
    second.setFocus();
    QTest::keyClick(&second, Qt::Key_Space);
    EventLog log(second);
    first.setFocus();
    QTest::keyPress(&first, Qt::Key_Space);
    second.setFocus();
    QTest::keyRelease(&second, Qt::Key_Space);
    EXPECT_FALSE(log.events.contains("Click"));
}

TEST(ButtonInput, DisabledButtonTakesNoInput) {
    Host host;
    UltraButton& button = host.Button();
    button.SetCaption("&Fix!");
    button.SetEnabled(false);
    EXPECT_FALSE(button.isEnabled());
    EventLog log(button);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    QTest::keyClick(&button, Qt::Key_Space);
    QTest::keyClick(&host.Window(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(log.events.isEmpty()) << log.events.join(", ").toStdString();
}

// A host that enables the window behind the property's back still gets no Click.
TEST(ButtonInput, ClickHandlingRefusesWhileEnabledIsFalse) {
    Host host;
    UltraButton& button = host.Button();
    button.SetCaption("&Fix!");
    button.SetEnabled(false);
    button.setEnabled(true);
    EventLog log(button);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    QTest::keyClick(&host.Window(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(log.events, QStringList({"MouseDown 1 0 10 10", "MouseUp 1 0 10 10"}));
}

TEST(AccessKeyOf, FindsTheKeyAfterTheFirstTwoMarkers) {
    const struct {
        const char* caption;
        const char* key;
    } cases[] = {
        {"&Fix!", "f"}, {"Save && Exit", ""}, {"A && B &Close", "c"}, {"&", ""},      {"", ""},
        {"ab&", ""},    {"Show &Report", "r"}, {"&&&x", "x"},         {"&&x&", ""},   {"a&&b&&c&d", ""},
        {"&1st", "1"},  {"&&", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(UltraButton::AccessKeyOf(c.caption), QString(c.key));
    }
}

TEST(ButtonInput, AltWithTheAccessKeyClicksAndFollowsTheCaption) {
    Host host;
    UltraButton& button = host.Button();
    button.SetCaption("&Fix!");
    EXPECT_EQ(button.AccessKey(), "f");
    EventLog log(button);
    QTest::keyClick(&host.Window(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(log.events, QStringList({"Click"}));

    button.SetCaption("Save && Exit");
    QTest::keyClick(&host.Window(), Qt::Key_F, Qt::AltModifier);
    QTest::keyClick(&host.Window(), Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(log.events.count("Click"), 1);

    button.SetCaption("A && B &Close");
    QTest::keyClick(&host.Window(), Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(log.events.count("Click"), 2);
}

TEST(ButtonInput, AccessKeyAfterARightPressRaisesNoClick) {
    Host host;
    UltraButton& button = host.Button();
    button.SetCaption("&Fix!");
    Press(button, Qt::RightButton);
    Release(button, Qt::RightButton);
    EventLog log(button);
    QTest::keyClick(&host.Window(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(log.events.isEmpty());
    QTest::keyClick(&button, Qt::Key_Space);
    QTest::keyClick(&host.Window(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(log.events.count("Click"), 2);
}

TEST(ButtonInput, ArrowKeysMoveTheFocus) {
    const struct {
        Qt::Key key;
        int to;
    } cases[] = {{Qt::Key_Right, 2}, {Qt::Key_Down, 2}, {Qt::Key_Left, 0}, {Qt::Key_Up, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        Host host(3);
        host.Button(1).setFocus();
        QTest::keyClick(&host.Button(1), c.key);
        EXPECT_TRUE(host.Button(c.to).hasFocus());
    }
}
