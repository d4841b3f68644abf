#include "ButtonTestSupport.h"

#include <QRegion>

using kestrune::ButtonState;
using kestrune::UltraButton;
using namespace kestrune::test;

namespace {

const QColor BorderColour(0, 60, 115);
const QColor CornerColour(16, 77, 123);

// A classic button painted in state.
QImage Painted(int w, int h, ButtonState state) {
    ClassicButton button(QSize(w, h));
    button.DrawButton(state, false);
    return Shot(button);
}

struct PixelCase { int x; int y; QColor colour; const char* what; };

void ExpectPixels(const QImage& image, std::initializer_list<PixelCase> cases) {
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " at (" << c.x << ", " << c.y << ")");
        EXPECT_EQ(image.pixelColor(c.x, c.y), c.colour);
    }
}

}  // namespace

TEST(ShadeColour, ShiftsRedAndGreenAndScalesBlue) {
    const struct { std::uint32_t colour; std::int32_t amount; std::uint32_t shaded; } cases[] = {
        {Rgb(100, 150, 200), -40, Rgb(60, 110, 159)},
        {Rgb(212, 208, 200), 48, Rgb(255, 255, 250)},                // clamped at the top
        {Rgb(0, 0, 100), -1, Rgb(0, 0, 100)},                        // -100 / 192 truncates to 0, not -1
        {Rgb(10, 20, 30), -300, Rgb(0, 0, 0)},                       // clamped at the bottom
        {0xFF000000u | Rgb(100, 150, 200), -40, Rgb(60, 110, 159)},  // top byte ignored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour << " by " << std::dec << c.amount);
        EXPECT_EQ(UltraButton::ShadeColour(c.colour, c.amount), c.shaded);
    }
}

// On a classic face the normal base is (255, 255, 250); the pressed base is
// that shaded by -32. The gradient rounds half to even, in single precision.
TEST(DrawButton, ClassicFigures) {
    const struct { int h; ButtonState state; PixelCase pixel; } cases[] = {
        {201, ButtonState::Normal, {10, 3, QColor(255, 255, 250), "normal base: amount 0.37 rounds to 0"}},
        {201, ButtonState::Normal, {10, 197, QColor(230, 230, 218), "last gradient row: 24.5025 rounds to 25"}},
        {201, ButtonState::Normal, {10, 199, QColor(207, 207, 188), "bevel bottom line"}},
        {201, ButtonState::Pressed, {62, 3, QColor(223, 223, 209), "pressed base, bevel at w - 3"}},
        {200, ButtonState::Normal, {10, 12, QColor(253, 253, 248), "1.5 goes to 2"}},
        {200, ButtonState::Normal, {10, 20, QColor(253, 253, 248), "2.5 goes to 2"}},
        {200, ButtonState::Pressed, {10, 3, QColor(208, 208, 193), "pressed: top rows darkened by 15"}},
        // 25/22 * 11 is 12.5 exactly in float (12) but not in double (13).
        {22, ButtonState::Normal, {10, 11, QColor(243, 243, 235), "float 12.5 goes to 12"}},
        // The bevel lines stop before their end points and overlap in a fixed order.
        {41, ButtonState::Normal, {2, 38, QColor(223, 223, 209), "left inner line stops above the second bottom line"}},
        {41, ButtonState::Normal, {1, 2, QColor(250, 250, 244), "left line drawn over the second top line"}},
        {41, ButtonState::Pressed, {10, 39, QColor(239, 239, 226), "pressed bottom line"}},
        {41, ButtonState::Pressed, {62, 38, QColor(233, 233, 219), "pressed right inner line stops above it"}},
        {41, ButtonState::Pressed, {2, 2, QColor(201, 201, 186), "pressed left inner line from row 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "h " << c.h << (c.state == ButtonState::Pressed ? " pressed" : ""));
        ExpectPixels(Painted(65, c.h, c.state), {c.pixel});
    }
}

TEST(DrawButton, BorderAndCornersInBothStates) {
    for (const ButtonState state : {ButtonState::Normal, ButtonState::Pressed}) {
        SCOPED_TRACE(static_cast<int>(state));
        const QImage image = Painted(65, 41, state);
        ExpectPixels(image, {{2, 0, BorderColour, "top"},     {62, 0, BorderColour, "top"},
                             {2, 40, BorderColour, "bottom"}, {62, 40, BorderColour, "bottom"},
                             {0, 2, BorderColour, "left"},    {0, 38, BorderColour, "left"},
                             {64, 2, BorderColour, "right"},  {64, 38, BorderColour, "right"},
                             {1, 1, CornerColour, "corner"},  {1, 39, CornerColour, "corner"},
                             {63, 1, CornerColour, "corner"}, {63, 39, CornerColour, "corner"}});
    }
}

TEST(DrawButton, ColourSchemesChooseFaceAndCaption) {
    const struct { std::int32_t scheme; QColor base; QColor caption; } cases[] = {
        {1, QColor(255, 255, 250), Qt::black}, {2, QColor(255, 48, 0), Qt::blue},  // Backcolour + 48, Forecolour
        {3, QColor(240, 240, 240), Qt::black}, {7, QColor(255, 255, 250), Qt::black},  // as 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scheme);
        ClassicButton button(QSize(65, 201));
        button.SetBackcolour(Rgb(255, 0, 0));
        button.SetForecolour(Rgb(0, 0, 255));
        button.SetCaption("&Fix!");
        button.SetColourScheme(c.scheme);
        const QImage image = Shot(button);
        EXPECT_EQ(image.pixelColor(10, 3), c.base);
        EXPECT_FALSE(InkBox(image, c.caption).isEmpty());
    }
}

TEST(DrawButton, CutCornersShowTheWindowBehindAfterEveryResize) {
    Host host;
    UltraButton& button = host.Button();
    EXPECT_EQ(host.PixelAt(0, 0), HostGreen);
    EXPECT_EQ(host.PixelAt(2, 0), BorderColour);
    for (const QSize size : {QSize(65, 41), QSize(30, 20)}) {
        button.resize(size);
        const int w = size.width(), h = size.height();
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const QRegion mask = button.mask();
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(w - 2, 0), QPoint(w - 1, 0),
                               QPoint(w - 1, 1), QPoint(0, h - 1), QPoint(1, h - 1), QPoint(0, h - 2),
                               QPoint(w - 2, h - 1), QPoint(w - 1, h - 1), QPoint(w - 1, h - 2)}) {
            EXPECT_FALSE(mask.contains(p)) << p.x() << ", " << p.y();
        }
        int area = 0;
        for (const QRect& r : mask) area += r.width() * r.height();
        EXPECT_EQ(area, w * h - 12) << "exactly the twelve corner pixels are cut";
    }
}

// No caption here has a letter below the baseline, so ink below it is the
// access key's underline; "&&" shows one "&" and no underline.
TEST(DrawButton, CaptionUnderlinesTheAccessKeyAndMovesOnePixelWhenPressed) {
    ClassicButton button(QSize(90, 41));
    button.SetColourScheme(3);  // black caption on grey: no other pixel is black
    const auto ink = [&button](const QString& caption) {
        button.SetCaption(caption);
        return InkBox(Shot(button), Qt::black);
    };
    const int baseline = ink("Fix!").bottom();
    EXPECT_EQ(ink("Save && Exit").bottom(), baseline);
    const QRect normal = ink("&Fix!");
    EXPECT_GT(normal.bottom(), baseline);
    EXPECT_NEAR(normal.center().x(), 45, 3);
    EXPECT_NEAR(normal.center().y(), 20, 3);
    button.DrawButton(ButtonState::Pressed, false);
    EXPECT_EQ(InkBox(Shot(button), Qt::black), normal.translated(1, 1));
    EXPECT_EQ(ink("&Fix!"), normal) << "a new caption is painted in the normal state";
}

TEST(DrawButton, DisabledShowsOnlyTheFace) {
    ClassicButton button(QSize(65, 41));
    button.SetCaption("&Fix!");
    button.SetEnabled(false);
    QImage face = Shot(button);
    face.fill(ClassicFace);
    EXPECT_TRUE(Shot(button) == face);
}

TEST(DrawButton, HighlightNeedsFocusOrDefaultAndShowFocusRect) {
    const QColor frame(140, 174, 231);
    const std::initializer_list<PixelCase> highlight = {
        {1, 3, frame, "frame left"},          {2, 38, frame, "side line stops above the frame bottom"},
        {10, 1, QColor(206, 231, 255), "top"}, {10, 39, QColor(107, 130, 239), "bottom line"},
        {1, 1, CornerColour, "corner kept"},  {63, 2, QColor(189, 215, 247), "second line reaches w - 2"},
        {62, 10, QColor(181, 209, 240), "right side line"},
    };
    const std::initializer_list<PixelCase> bevel = {{2, 39, QColor(207, 207, 188), "bevel bottom line"},
                                                    {1, 3, QColor(250, 250, 244), "bevel left line"}};
    Host host;
    UltraButton& button = host.Button();
    const auto expect = [&button](const char* state, std::initializer_list<PixelCase> pixels) {
        SCOPED_TRACE(state);
        ExpectPixels(Shot(button), pixels);
    };
    button.clearFocus();
    expect("no focus", bevel);
    button.setFocus();
    expect("focus", highlight);
    button.DrawButton(ButtonState::Pressed, false);
    expect("focus, pressed", {{10, 39, QColor(239, 239, 226), "pressed bevel bottom line"}});
    button.SetShowFocusRect(false);
    expect("pressed, ShowFocusRect false", {{10, 39, QColor(239, 239, 226), "still pressed"}});
    button.DrawButton(ButtonState::Normal, false);
    expect("focus, ShowFocusRect false", bevel);
    button.SetShowFocusRect(true);
    button.clearFocus();
    button.SetDefaultIndication(true);
    expect("default button", highlight);
}
