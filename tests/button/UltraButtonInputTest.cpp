#include "ButtonTestSupport.h"

#include <QAccessible>
#include <QKeyEvent>

using kestrune::ButtonState;
using kestrune::UltraButton;
using namespace kestrune::test;

namespace {

const QPoint Inside(10, 10);

class ButtonInput : public testing::Test {
protected:
    void Alt(Qt::Key key) { QTest::keyClick(&host.Window(), key, Qt::AltModifier); }

    Host host{3};
    UltraButton& button = host.Button(1);
    EventLog log{button};
};

}  // namespace

// Only the left button clicks; after another one, not even the access key clicks.
TEST_F(ButtonInput, MouseButtonsRaiseTheirEventsAndOnlyLeftClicks) {
    const struct { Qt::MouseButton which; int code; ButtonState whileHeld; } cases[] = {
        {Qt::LeftButton, 1, ButtonState::Pressed}, {Qt::RightButton, 2, ButtonState::Normal},
        {Qt::MiddleButton, 4, ButtonState::Pressed},
    };
    button.SetCaption("&Fix!");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        log.events.clear();
        QTest::mousePress(&button, c.which, Qt::NoModifier, Inside);
        EXPECT_EQ(button.DrawState(), c.whileHeld);
        QTest::mouseRelease(&button, c.which, Qt::NoModifier, Inside);
        EXPECT_EQ(button.DrawState(), ButtonState::Normal);
        const QString args = QStringLiteral(" %1 0 10 10").arg(c.code);
        const bool left = c.which == Qt::LeftButton;
        EXPECT_EQ(log.events, QStringList({"MouseDown" + args, "MouseUp" + args}) + QStringList(left ? 1 : 0, "Click"));
        Alt(Qt::Key_F);
        EXPECT_EQ(log.events.count("Click"), left ? 2 : 0);
    }
}

TEST_F(ButtonInput, DraggingOutAndBackFollowsThePointerAndOnlyAReleaseInsideClicks) {
    const struct { QPoint at; ButtonState state; } moves[] = {
        {{100, 10}, ButtonState::Normal}, {{20, 10}, ButtonState::Pressed}, {{-1, 10}, ButtonState::Normal},
        {{65, 41}, ButtonState::Pressed} /* the far edges count as inside */, {{10, 42}, ButtonState::Normal},
    };
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    for (const auto& move : moves) {
        SCOPED_TRACE(testing::Message() << move.at.x() << ", " << move.at.y());
        QTest::mouseMove(&button, move.at);
        EXPECT_EQ(button.DrawState(), move.state);
        EXPECT_EQ(log.events.last(), QStringLiteral("MouseMove 1 0 %1 %2").arg(move.at.x()).arg(move.at.y()));
    }
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 42));
    EXPECT_EQ(log.events.count("Click"), 0);
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    QTest::mouseMove(&button, QPoint(100, 10));
    QTest::mouseMove(&button, QPoint(20, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(log.events.count("Click"), 1);
}

TEST_F(ButtonInput, DoubleClickPressesAgainButClicksOnce) {
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    QTest::mouseDClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    EXPECT_EQ(button.DrawState(), ButtonState::Pressed);
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    EXPECT_EQ(log.events, QStringList({"MouseDown 1 0 10 10", "MouseUp 1 0 10 10", "Click", "MouseDown 1 1 1 1",
                                       "MouseUp 1 0 10 10"}));
}

TEST_F(ButtonInput, KeysArriveAsVirtualKeyCodesWithTheShiftMask) {
    const struct { Qt::Key key; Qt::KeyboardModifiers modifiers; const char* down; } cases[] = {
        {Qt::Key_Z, Qt::ShiftModifier, "KeyDown 90 1"},     {Qt::Key_7, Qt::NoModifier, "KeyDown 55 0"},
        {Qt::Key_7, Qt::KeypadModifier, "KeyDown 103 0"},   {Qt::Key_F1, Qt::ControlModifier, "KeyDown 112 2"},
        {Qt::Key_Delete, Qt::AltModifier, "KeyDown 46 4"},  {Qt::Key_Minus, Qt::KeypadModifier, "KeyDown 109 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.down);
        log.events.clear();
        QTest::keyClick(&button, c.key, c.modifiers);
        // The modifier keys go down first and raise their own KeyDown.
        EXPECT_TRUE(log.events.contains(c.down)) << log.events.join(", ").toStdString();
    }
}

// 288 is out of the key range; it must not wrap round to the space bar.
TEST_F(ButtonInput, KeyDownHandlerCanStopThePress) {
    std::int16_t replacement = 0;
    QObject::connect(&button, &UltraButton::KeyDown, [&replacement](std::int16_t& keyCode, std::int16_t&) {
        if (keyCode == 32) keyCode = replacement;
    });
    for (const std::int16_t code : {0, 32 + 256}) {
        SCOPED_TRACE(code);
        replacement = code;
        QTest::keyClick(&button, Qt::Key_Space);
        EXPECT_EQ(button.DrawState(), ButtonState::Normal);
        EXPECT_FALSE(log.events.contains("MouseDown 1 1 1 1"));
        EXPECT_FALSE(log.events.contains("Click"));
    }
}

// A held space bar repeats as release and press pairs; only the real release clicks.
TEST_F(ButtonInput, SpaceBarPressesAndClicksOnceWhenReleased) {
    const auto send = [this](QEvent::Type type, bool autoRepeat) {
        QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
        QApplication::sendEvent(&button, &event);
    };
    const QStringList down = {"KeyDown 32 0", "MouseDown 1 1 1 1", "KeyPress 32"};
    send(QEvent::KeyPress, false);
    EXPECT_EQ(button.DrawState(), ButtonState::Pressed);
    send(QEvent::KeyRelease, true);
    send(QEvent::KeyPress, true);
    EXPECT_EQ(log.events, down + down);
    send(QEvent::KeyRelease, false);
    EXPECT_EQ(button.DrawState(), ButtonState::Normal);
    EXPECT_EQ(log.events, down + down + QStringList({"KeyUp 32 0", "MouseUp 1 1 1 1", "Click"}));
}

TEST_F(ButtonInput, SpaceReleasedAfterTheFocusMovedIsNoClick) {
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Space);
    host.Button(0).setFocus();
    QTest::keyPress(&host.Button(0), Qt::Key_Space);
    button.setFocus();
    QTest::keyRelease(&button, Qt::Key_Space);
    EXPECT_EQ(log.events.count("Click"), 1);
}

// Also when a host enables the window behind the property's back.
TEST_F(ButtonInput, DisabledButtonTakesNoInputAndNeverClicks) {
    button.SetCaption("&Fix!");
    button.SetEnabled(false);
    EXPECT_FALSE(button.isEnabled());
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    QTest::keyClick(&button, Qt::Key_Space);
    Alt(Qt::Key_F);
    EXPECT_TRUE(log.events.isEmpty()) << log.events.join(", ").toStdString();
    button.setEnabled(true);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, Inside);
    Alt(Qt::Key_F);
    EXPECT_EQ(log.events, QStringList({"MouseDown 1 0 10 10", "MouseUp 1 0 10 10"}));
}

// Alt with the key clicks; a caption's new key replaces the old one.
TEST_F(ButtonInput, AccessKeyFollowsTheFirstTwoMarkersAndAltWithItClicks) {
    const struct { const char* caption; const char* key; } cases[] = {
        {"&Fix!", "f"}, {"Save && Exit", ""}, {"A && B &Close", "c"}, {"&", ""},
        {"ab&", ""},    {"&&&x", "x"},        {"&&x&", ""},           {"a&&b&&c&d", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(UltraButton::AccessKeyOf(c.caption), QString(c.key));
        button.SetCaption(c.caption);
        log.events.clear();
        for (const Qt::Key key : {Qt::Key_F, Qt::Key_S, Qt::Key_C, Qt::Key_X}) Alt(key);
        EXPECT_EQ(log.events, QStringList(*c.key != '\0' ? 1 : 0, "Click"));
    }
}

TEST_F(ButtonInput, ArrowKeysMoveTheFocus) {
    const struct { Qt::Key key; int to; } cases[] = {
        {Qt::Key_Right, 2}, {Qt::Key_Down, 2}, {Qt::Key_Left, 0}, {Qt::Key_Up, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        button.setFocus();
        QTest::keyClick(&button, c.key);
        EXPECT_TRUE(host.Button(c.to).hasFocus());
    }
}

// A screen reader hears the caption as it shows and presses the button through
// its action: after a right press too, never while disabled.
TEST_F(ButtonInput, AssistiveTechnologyReadsTheShownCaptionAndPresses) {
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::Button);
    const struct { const char* caption; const char* name; const char* key; } cases[] = {
        {"&Fix!", "Fix!", "Alt+F"}, {"A && B &Close", "A & B Close", "Alt+C"}, {"Save && Exit", "Save & Exit", ""},
        {"ab&", "ab", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        button.SetCaption(c.caption);
        EXPECT_EQ(access->text(QAccessible::Name), QString(c.name));
        EXPECT_EQ(access->text(QAccessible::Accelerator), QString(c.key));
    }

    QTest::mouseClick(&button, Qt::RightButton, Qt::NoModifier, Inside);
    log.events.clear();
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(log.events, QStringList({"Click"}));
    button.SetEnabled(false);
    EXPECT_TRUE(access->state().disabled);
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(log.events, QStringList({"Click"}));
}
