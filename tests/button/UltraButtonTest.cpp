#include "QtTestSupport.h"
#include "button/UltraButton.h"

#include <QAccessible>
#include <QBitmap>
#include <QRegion>
#include <QtTest/QTest>

using kestrune::UltraButton;
constexpr auto Normal = kestrune::ButtonState::Normal;
constexpr auto Pressed = kestrune::ButtonState::Pressed;

namespace {

const QColor Face(212, 208, 200);  // the desktop's button face here: the figures are worked out from it
const QColor Corner(16, 77, 123);
const QPoint Inside(10, 10);

// Three buttons of 65 x 41 in a shown window, the first with the focus. The
// middle one is tested; its events are logged as their names and arguments:
// "Click", "MouseDown 1 0 10 10" (button, shift, x, y).
class Button : public testing::Test {
protected:
    Button() {
        window.setPalette(QPalette(Face));
        window.resize(245, 240);
        for (int i = 0; i < 3; ++i) buttons[i]->setGeometry(10 + i * 75, 10, 65, 41);
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        const auto log = [this](const char* name) {
            return [this, name](auto&... args) { events << QStringList({name, QString::number(args)...}).join(' '); };
        };
        QObject::connect(&b, &UltraButton::Click, &window, log("Click"));
        QObject::connect(&b, &UltraButton::MouseDown, &window, log("MouseDown"));
        QObject::connect(&b, &UltraButton::MouseUp, &window, log("MouseUp"));
    }
    QImage Shot() { return b.grab().toImage(); }
    void ExpectPixels(std::initializer_list<std::pair<QPoint, QColor>> pixels) {
        const QImage shot = Shot();
        for (const auto& [at, colour] : pixels) EXPECT_EQ(shot.pixelColor(at), colour) << at.x() << ", " << at.y();
    }
    QRect BlackBox() {
        return QRegion(QBitmap::fromImage(Shot().createMaskFromColor(qRgb(0, 0, 0), Qt::MaskOutColor))).boundingRect();
    }
    void Alt(Qt::Key key) { QTest::keyClick(&window, key, Qt::AltModifier); }

    QWidget window;
    UltraButton* buttons[3] = {new UltraButton(&window), new UltraButton(&window), new UltraButton(&window)};
    UltraButton& b = *buttons[1];
    QStringList events;
};

}  // namespace

// On this face the normal base is (255, 255, 250), the pressed one (223, 223, 209). The gradient rounds
// half to even, in single precision; the bevel lines stop before their end points and overlap in order.
TEST_F(Button, DrawsTheFiguresOfTheNormalAndThePressedState) {
    const struct { int h; kestrune::ButtonState state; QPoint at; QColor colour; const char* what; } cases[] = {
        {201, Normal, {10, 3}, {255, 255, 250}, "normal base: amount 0.37 rounds to 0"},
        {201, Normal, {10, 197}, {230, 230, 218}, "last gradient row: 24.5025 rounds to 25"},
        {201, Normal, {10, 199}, {207, 207, 188}, "bevel bottom line"},
        {201, Pressed, {62, 3}, {223, 223, 209}, "pressed base, bevel at w - 3"},
        {200, Normal, {10, 12}, {253, 253, 248}, "1.5 goes to 2"},
        {200, Normal, {10, 20}, {253, 253, 248}, "2.5 goes to 2"},
        {200, Pressed, {10, 3}, {208, 208, 193}, "pressed: top rows darkened by 15"},
        {22, Normal, {10, 11}, {243, 243, 235}, "25/22 * 11 is 12.5 in float (goes to 12), not in double"},
        {41, Normal, {2, 38}, {223, 223, 209}, "left inner line stops above the second bottom line"},
        {41, Pressed, {2, 2}, {201, 201, 186}, "pressed left inner line from row 2"},
    };
    for (const auto& c : cases) {
        b.resize(65, c.h);
        b.DrawButton(c.state, true);
        EXPECT_EQ(Shot().pixelColor(c.at), c.colour) << c.what;
    }
}

TEST_F(Button, HasABorderWithThreePixelsCutFromEveryCornerAfterEveryResize) {
    const QColor border(0, 60, 115);
    for (const auto state : {Normal, Pressed}) {
        b.DrawButton(state, true);
        ExpectPixels({{{2, 0}, border}, {{62, 40}, border}, {{0, 2}, border}, {{64, 38}, border},
                      {{1, 1}, Corner}, {{63, 1}, Corner}, {{1, 39}, Corner}, {{63, 39}, Corner}});
    }
    for (const auto& [w, h] : {std::pair(65, 41), std::pair(30, 20)}) {
        b.resize(w, h);
        QRegion corners;
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(w - 2, 0), QPoint(w - 1, 0),
                               QPoint(w - 1, 1), QPoint(0, h - 1), QPoint(1, h - 1), QPoint(0, h - 2),
                               QPoint(w - 2, h - 1), QPoint(w - 1, h - 1), QPoint(w - 1, h - 2)})
            corners += QRect(p, QSize(1, 1));
        EXPECT_TRUE(QRegion(0, 0, w, h) - b.mask() == corners) << w << " x " << h;
    }
}

// "Fix!" has no ink below its baseline but the access key's underline.
TEST_F(Button, CentresTheCaptionUnderlinedAndDrawsItOnePixelFurtherWhenPressed) {
    b.resize(90, 41);
    b.SetColourScheme(3);  // black on grey: no other pixel is black
    b.SetCaption("Fix!");
    const int baseline = BlackBox().bottom();
    b.SetCaption("&Fix!");
    const QRect normal = BlackBox();
    EXPECT_GT(normal.bottom(), baseline);
    EXPECT_LE((normal.center() - QPoint(45, 20)).manhattanLength(), 4) << "centred";
    b.DrawButton(Pressed, false);
    EXPECT_EQ(BlackBox(), normal.translated(1, 1));
}

// With ShowFocusRect, the focus or the window's default indication shows as a
// highlight, never while pressed; disabled, the button is only its face.
TEST_F(Button, HighlightsTheFocusOrTheDefaultButtonWhenNormalAndShowsOnlyTheFaceDisabled) {
    const QColor bevelBottom(207, 207, 188), frame(140, 174, 231);
    const std::initializer_list<std::pair<QPoint, QColor>> highlight = {
        {{1, 3}, frame}, {{2, 38}, frame}, {{10, 1}, {206, 231, 255}}, {{10, 39}, {107, 130, 239}},
        {{1, 1}, Corner}, {{63, 2}, {189, 215, 247}}, {{62, 10}, {181, 209, 240}}};
    ExpectPixels({{{2, 39}, bevelBottom}});
    b.setFocus();
    ExpectPixels(highlight);
    b.DrawButton(Pressed, false);
    ExpectPixels({{{10, 39}, {239, 239, 226}}});
    b.DrawButton(Normal, false);
    b.SetShowFocusRect(false);
    ExpectPixels({{{2, 39}, bevelBottom}});
    b.SetShowFocusRect(true);
    b.clearFocus();
    b.SetDefaultIndication(true);
    ExpectPixels(highlight);

    b.SetCaption("&Fix!");
    b.SetEnabled(false);
    QImage face = Shot();
    face.fill(Face);
    EXPECT_TRUE(Shot() == face);
}

// Only the left button clicks; after another one, not even the access key
// does. A press dragged out and back follows the pointer.
TEST_F(Button, FollowsTheMouseAndOnlyALeftReleaseInsideClicks) {
    b.SetCaption("&Fix!");
    for (const auto& [which, code, held, clicks] :
         {std::tuple(Qt::LeftButton, 1, Pressed, 2), std::tuple(Qt::RightButton, 2, Normal, 0),
          std::tuple(Qt::MiddleButton, 4, Pressed, 0)}) {
        events.clear();
        QTest::mousePress(&b, which, Qt::NoModifier, Inside);
        EXPECT_EQ(b.DrawState(), held) << code;
        QTest::mouseRelease(&b, which, Qt::NoModifier, Inside);
        Alt(Qt::Key_F);
        const QString args = QStringLiteral(" %1 0 10 10").arg(code);
        EXPECT_EQ(events, QStringList({"MouseDown" + args, "MouseUp" + args}) + QStringList(clicks, "Click"));
    }
    events.clear();
    QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, Inside);
    for (const auto& [x, y, state] : {std::tuple(100, 10, Normal), std::tuple(65, 41, Pressed) /* the edge is in */,
                                     std::tuple(-1, 10, Normal), std::tuple(10, 42, Normal)}) {
        QTest::mouseMove(&b, QPoint(x, y));
        EXPECT_EQ(b.DrawState(), state) << x << ", " << y;
    }
    QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(10, 42));
    EXPECT_EQ(events.count("Click"), 0);
}

// A held space bar repeats as release and press pairs: only the real release
// clicks, and only on the button that had the focus when the space went down.
TEST_F(Button, SpaceBarClicksOnceWhenReleasedOnTheSameButton) {
    const auto space = [this](bool down, bool held) { QTest::simulateEvent(&b, down, Qt::Key_Space, {}, " ", held); };
    b.setFocus();
    space(true, false);
    EXPECT_EQ(b.DrawState(), Pressed);
    space(false, true);
    space(true, true);
    space(false, false);
    EXPECT_EQ(events, QStringList({"MouseDown 1 1 1 1", "MouseDown 1 1 1 1", "MouseUp 1 1 1 1", "Click"}));
    buttons[0]->setFocus();
    b.setFocus();
    QTest::keyRelease(&b, Qt::Key_Space);
    EXPECT_EQ(events.count("Click"), 1);
}

// The first two "&" markers give the access key: Alt with it clicks, and a
// screen reader hears it beside the caption as it shows. The reader's press
// clicks after a right press too; disabled, nothing clicks.
TEST_F(Button, AccessKeyClicksAndScreenReadersHearTheShownCaptionAndPress) {
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(&b);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::Button);
    const char* const cases[][3] = {{"&Fix!", "F", "Fix!"},       {"Save && Exit", "", "Save & Exit"},
                                    {"A && B &Close", "C", "A & B Close"}, {"&", "", ""}, {"ab&", "", "ab"},
                                    {"&&&x", "X", "&x"},           {"&&x&", "", "&x"},  {"a&&b&&c&d", "", "a&b&cd"}};
    for (const auto& [caption, key, name] : cases) {
        SCOPED_TRACE(caption);
        b.SetCaption(caption);
        EXPECT_EQ(access->text(QAccessible::Name), QString(name));
        EXPECT_EQ(access->text(QAccessible::Accelerator), *key ? "Alt+" + QString(key) : QString());
        events.clear();
        for (const Qt::Key k : {Qt::Key_F, Qt::Key_S, Qt::Key_C, Qt::Key_X}) Alt(k);
        EXPECT_EQ(events, QStringList(*key ? 1 : 0, "Click"));
    }
    QTest::mouseClick(&b, Qt::RightButton, Qt::NoModifier, Inside);
    events.clear();
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(events, QStringList({"Click"}));
    b.SetCaption("&Fix!");
    b.SetEnabled(false);
    EXPECT_TRUE(access->state().disabled);
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTest::mouseClick(&b, Qt::LeftButton, Qt::NoModifier, Inside);
    b.setEnabled(true);  // the widget enabled behind the property's back
    Alt(Qt::Key_F);
    EXPECT_EQ(events, QStringList({"Click"}));
}

int main(int argc, char** argv) { return kestrune::test::RunQtTests(argc, argv); }
