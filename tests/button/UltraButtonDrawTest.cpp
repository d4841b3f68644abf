#include "ButtonTestSupport.h"

#include <QRegion>

#include <gtest/gtest.h>

using kestrune::ButtonState;
using kestrune::ColourToQColor;
using kestrune::UltraButton;
using kestrune::test::ClassicFace;
using kestrune::test::Host;
using kestrune::test::HostGreen;
using kestrune::test::InkBox;
using kestrune::test::Place;
using kestrune::test::Rgb;
using kestrune::test::Shot;
using kestrune::test::UseClassicColours;

namespace {

const QColor BorderColour(0, 60, 115);
const QColor CornerColour(16, 77, 123);

// A button with the classic face, painted in state.
QImage ClassicButton(int w, int h, ButtonState state) {
    UltraButton button;
    UseClassicColours(button);
    Place(button, QSize(w, h));
    button.DrawButton(state, false);
    return Shot(button);
}

struct PixelCase {
    int x;
    int y;
    QColor colour;
    const char* what;
};

void ExpectPixels(const QImage& image, std::initializer_list<PixelCase> cases) {
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " at (" << c.x << ", " << c.y << ")");
        EXPECT_EQ(image.pixelColor(c.x, c.y), c.colour);
    }
}

}  // namespace

TEST(ShadeColour, ShiftsRedAndGreenAndScalesBlue) {
    const struct {
        std::uint32_t colour;
        std::int32_t amount;
        std::uint32_t shaded;
    } cases[] = {
        {Rgb(100, 150, 200), -40, Rgb(60, 110, 159)},
        {Rgb(100, 150, 200), 48, Rgb(148, 198, 250)},
        {Rgb(212, 208, 200), 48, Rgb(255, 255, 250)},  // clamped at the top
        {Rgb(0, 0, 100), -1, Rgb(0, 0, 100)},          // -100 / 192 truncates to 0, not -1
        {Rgb(0, 0, 100), 2, Rgb(2, 2, 101)},
        {Rgb(10, 20, 30), -300, Rgb(0, 0, 0)},         // clamped at the bottom
        {0xFF000000u | Rgb(100, 150, 200), -40, Rgb(60, 110, 159)},  // top byte ignored
        {Rgb(1, 2, 3), 0, Rgb(1, 2, 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour << " by " << std::dec << c.amount);
        EXPECT_EQ(UltraButton::ShadeColour(c.colour, c.amount), c.shaded);
    }
}

// On a classic face the normal base is (255, 255, 250); the pressed base is
// that shaded by -32, (223, 223, 209).
TEST(DrawButton, GradientRowsShowTheClassicFigures) {
    const struct {
        int h;
        ButtonState state;
        int x;
        int y;
        QColor colour;
        const char* what;
    } cases[] = {
        {201, ButtonState::Normal, 10, 3, QColor(255, 255, 250), "normal base: amount 0.37 rounds to 0"},
        {201, ButtonState::Normal, 10, 197, QColor(230, 230, 218), "last visible row: 24.5025 rounds to 25"},
        {201, ButtonState::Normal, 10, 199, QColor(207, 207, 188), "bevel bottom line"},
        {201, ButtonState::Pressed, 37, 3, QColor(223, 223, 209), "pressed base, bevel at w - 3"},
        {200, ButtonState::Normal, 10, 4, QColor(255, 255, 250), "0.5 goes to 0"},
        {200, ButtonState::Normal, 10, 12, QColor(253, 253, 248), "1.5 goes to 2"},
        {200, ButtonState::Normal, 10, 20, QColor(253, 253, 248), "2.5 goes to 2"},
        {200, ButtonState::Normal, 10, 28, QColor(251, 251, 245), "3.5 goes to 4"},
        {200, ButtonState::Normal, 10, 196, QColor(231, 231, 219), "24.5 goes to 24"},
        {200, ButtonState::Pressed, 10, 196, QColor(223, 223, 209), "pressed: bottom rows keep the base"},
        {200, ButtonState::Pressed, 10, 3, QColor(208, 208, 193), "pressed: top rows darkened by 15"},
        // The step is single precision: 25/22 * 11 is 12.5 exactly in float (12) but
        // not in double (13); 25/90 * 45 is just above 12.5 in float (13).
        {22, ButtonState::Normal, 10, 11, QColor(243, 243, 235), "float 12.5 goes to 12"},
        {90, ButtonState::Normal, 10, 45, QColor(242, 242, 234), "float 12.500001 goes to 13"},
        {22, ButtonState::Pressed, 10, 11, QColor(215, 215, 201), "pressed: float 7.5 goes to 8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " at (" << c.x << ", " << c.y << ") of h " << c.h);
        EXPECT_EQ(ClassicButton(40, c.h, c.state).pixelColor(c.x, c.y), c.colour);
    }
}

TEST(DrawButton, BorderAndCornersInBothStates) {
    for (const ButtonState state : {ButtonState::Normal, ButtonState::Pressed}) {
        SCOPED_TRACE(static_cast<int>(state));
        const QImage image = ClassicButton(65, 41, state);
        ExpectPixels(image, {
                                {2, 0, BorderColour, "top line start"},
                                {62, 0, BorderColour, "top line end"},
                                {2, 40, BorderColour, "bottom line start"},
                                {62, 40, BorderColour, "bottom line end"},
                                {0, 2, BorderColour, "left line start"},
                                {0, 38, BorderColour, "left line end"},
                                {64, 2, BorderColour, "right line start"},
                                {64, 38, BorderColour, "right line end"},
                                {1, 1, CornerColour, "top left corner"},
                                {1, 39, CornerColour, "bottom left corner"},
                                {63, 1, CornerColour, "top right corner"},
                                {63, 39, CornerColour, "bottom right corner"},
                            });
    }
}

// The bevel lines stop before their end points and overlap in a fixed order.
TEST(DrawButton, NormalBevelLinesInTheirOrder) {
    const QColor minus48(207, 207, 188), minus32(223, 223, 209), minus36(219, 219, 204), minus24(231, 231, 219),
        white(255, 255, 255), minus5(250, 250, 244), minus10(245, 245, 237);
    ExpectPixels(ClassicButton(65, 41, ButtonState::Normal),
                 {
                     {2, 39, minus48, "bottom line"},
                     {62, 39, minus48, "bottom line end"},
                     {3, 38, minus32, "second bottom line"},
                     {2, 38, minus32, "left inner line stops above it"},
                     {62, 38, minus32, "right inner line stops above it"},
                     {1, 38, minus5, "left line crosses it"},
                     {63, 20, minus36, "right line"},
                     {62, 20, minus24, "right inner line"},
                     {10, 1, white, "top line"},
                     {10, 2, white, "second top line"},
                     {2, 2, white, "left inner line starts below it"},
                     {1, 2, minus5, "left line drawn over it"},
                     {2, 20, minus10, "left inner line"},
                 });
}

TEST(DrawButton, PressedBevelLinesInTheirOrder) {
    const QColor plus16(239, 239, 226), plus10(233, 233, 219), plus5(228, 228, 214), base(223, 223, 209),
        minus32(191, 191, 175), minus24(199, 199, 183), minus22(201, 201, 186);
    ExpectPixels(ClassicButton(65, 41, ButtonState::Pressed),
                 {
                     {10, 39, plus16, "bottom line"},
                     {10, 38, plus10, "second bottom line"},
                     {62, 38, plus10, "right inner line stops above it"},
                     {63, 20, plus5, "right line"},
                     {62, 20, base, "right inner line"},
                     {10, 1, minus32, "top line"},
                     {10, 2, minus24, "second top line"},
                     {62, 2, minus24, "right inner line starts below it"},
                     {1, 20, minus32, "left line"},
                     {1, 2, minus32, "left line drawn over the second top line"},
                     {2, 2, minus22, "left inner line from row 2"},
                     {2, 38, minus22, "left inner line to row h - 3"},
                 });
}

TEST(DrawButton, ColourSchemesChooseTheFace) {
    const struct {
        std::int32_t scheme;
        QColor base;
    } cases[] = {
        {1, QColor(255, 255, 250)},
        {2, QColor(255, 48, 0)},  // pure red Backcolour shaded by +48
        {3, QColor(240, 240, 240)},
        {7, QColor(255, 255, 250)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scheme);
        UltraButton button;
        UseClassicColours(button);
        Place(button, QSize(40, 201));
        button.SetBackcolour(Rgb(255, 0, 0));
        button.SetColourScheme(c.scheme);
        EXPECT_EQ(Shot(button).pixelColor(10, 3), c.base);
    }
}

TEST(DrawButton, SchemeTwoDrawsTheCaptionInForecolour) {
    UltraButton button;
    Place(button, QSize(65, 41));
    button.SetBackcolour(Rgb(255, 0, 0));
    button.SetForecolour(Rgb(0, 0, 255));
    button.SetColourScheme(2);
    button.SetCaption("&Fix!");
    EXPECT_FALSE(InkBox(Shot(button), QColor(0, 0, 255)).isEmpty());
}

TEST(DrawButton, SchemeOneIgnoresBackcolourAndSevenBehavesAsOne) {
    UltraButton reference;
    UseClassicColours(reference);
    Place(reference, QSize(65, 41));
    reference.SetCaption("Go");

    UltraButton other;
    UseClassicColours(other);
    Place(other, QSize(65, 41));
    other.SetCaption("Go");
    other.SetBackcolour(Rgb(255, 0, 0));
    EXPECT_EQ(Shot(other), Shot(reference));
    other.SetColourScheme(7);
    EXPECT_EQ(Shot(other), Shot(reference));
}

TEST(DrawButton, CutCornersShowTheWindowBehind) {
    Host host;
    const int w = 65, h = 41;
    const QPoint cut[] = {{0, 0}, {1, 0}, {0, 1}, {w - 2, 0}, {w - 1, 0}, {w - 1, 1},
                          {0, h - 1}, {1, h - 1}, {0, h - 2}, {w - 2, h - 1}, {w - 1, h - 1}, {w - 1, h - 2}};
    const QPoint kept[] = {{2, 0}, {1, 1}, {0, 2}, {w - 3, 0}, {w - 2, 1}, {w - 1, 2},
                           {2, h - 1}, {1, h - 2}, {0, h - 3}, {w - 3, h - 1}, {w - 2, h - 2}, {w - 1, h - 3}};
    const QRegion mask = host.Button().mask();
    for (const QPoint& p : cut) {
        SCOPED_TRACE(testing::Message() << "cut (" << p.x() << ", " << p.y() << ")");
        EXPECT_FALSE(mask.contains(p));
        EXPECT_EQ(host.PixelAt(0, p.x(), p.y()), HostGreen);
    }
    for (const QPoint& p : kept) {
        SCOPED_TRACE(testing::Message() << "kept (" << p.x() << ", " << p.y() << ")");
        EXPECT_TRUE(mask.contains(p));
        EXPECT_NE(host.PixelAt(0, p.x(), p.y()), HostGreen);
    }
    int area = 0;
    for (const QRect& r : mask) {
        area += r.width() * r.height();
    }
    EXPECT_EQ(area, w * h - 12);
}

TEST(DrawButton, ResizeCutsTheCornersOfTheNewSize) {
    UltraButton button;
    Place(button, QSize(65, 41));
    Place(button, QSize(30, 20));
    const QRegion mask = button.mask();
    EXPECT_FALSE(mask.contains(QPoint(29, 19)));
    EXPECT_FALSE(mask.contains(QPoint(28, 0)));
    EXPECT_TRUE(mask.contains(QPoint(27, 0)));
    EXPECT_TRUE(mask.contains(QPoint(29, 17)));
    EXPECT_EQ(Shot(button).pixelColor(27, 19), BorderColour);
}

TEST(DrawButton, PressedCaptionSitsOnePixelRightAndDown) {
    UltraButton button;
    Place(button, QSize(65, 41));
    button.SetColourScheme(3);  // black caption on grey: no other pixel is black
    button.SetCaption("&Fix!");
    const QRect normal = InkBox(Shot(button), Qt::black);
    ASSERT_FALSE(normal.isEmpty());
    EXPECT_NEAR(normal.center().x(), 32, 3);
    EXPECT_NEAR(normal.center().y(), 20, 3);

    button.DrawButton(ButtonState::Pressed, false);
    EXPECT_EQ(InkBox(Shot(button), Qt::black), normal.translated(1, 1));
}

// None of these captions has a letter below the baseline, so ink below it is
// an underline.
TEST(DrawButton, AccessKeyIsUnderlinedAndDoubleAmpersandShowsOne) {
    const auto shot = [](const QString& caption) {
        UltraButton button;
        Place(button, QSize(90, 41));
        button.SetColourScheme(3);
        button.SetCaption(caption);
        return Shot(button);
    };
    const int baseline = InkBox(shot("Fix!"), Qt::black).bottom();
    EXPECT_EQ(InkBox(shot("Save && Exit"), Qt::black).bottom(), baseline);
    EXPECT_GT(InkBox(shot("Save & Exit"), Qt::black).bottom(), baseline) << "a lone & marks the space";

    const QImage marked = shot("&Fix!");
    const QRect box = InkBox(marked, Qt::black);
    ASSERT_GT(box.bottom(), baseline) << "no underline";
    QRect underline;
    for (int x = 0; x < marked.width(); ++x) {
        if (marked.pixelColor(x, box.bottom()) == Qt::black) {
            underline |= QRect(x, box.bottom(), 1, 1);
        }
    }
    EXPECT_LE(underline.left(), box.left() + 1);
    EXPECT_LT(underline.width(), box.width() / 2) << "the underline is under the F only";
}

TEST(DrawButton, DisabledShowsOnlyTheFaceInsideTheCutShape) {
    Host host;
    UltraButton& button = host.Button();
    button.SetCaption("&Fix!");
    button.SetEnabled(false);
    const QImage image = Shot(button);
    const QRegion mask = button.mask();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(image.pixelColor(x, y), ClassicFace) << x << ", " << y;
        }
    }
    EXPECT_EQ(host.PixelAt(0, 0, 0), HostGreen);
    EXPECT_EQ(host.PixelAt(0, 2, 0), ClassicFace);
}

TEST(DrawButton, HighlightNeedsFocusOrDefaultAndShowFocusRect) {
    const QColor frame(140, 174, 231), bottom(107, 130, 239), top(206, 231, 255), second(189, 215, 247),
        side(181, 209, 240);
    const std::initializer_list<PixelCase> highlight = {
        {1, 3, frame, "frame left"},
        {63, 3, frame, "frame right"},
        {10, 38, frame, "frame bottom"},
        {2, 38, frame, "side line stops above the frame bottom"},
        {10, 39, bottom, "bottom line"},
        {10, 1, top, "top line"},
        {10, 2, second, "second line"},
        {63, 2, second, "second line reaches w - 2"},
        {2, 10, side, "left side line"},
        {62, 10, side, "right side line"},
        {1, 1, CornerColour, "corner kept"},
    };
    const std::initializer_list<PixelCase> bevel = {
        {2, 39, QColor(207, 207, 188), "bevel bottom line"},
        {1, 3, QColor(250, 250, 244), "bevel left line"},
    };

    Host host;
    UltraButton& button = host.Button();
    button.clearFocus();
    {
        SCOPED_TRACE("no focus");
        ExpectPixels(Shot(button), bevel);
    }
    button.setFocus();
    ASSERT_TRUE(button.hasFocus());
    {
        SCOPED_TRACE("focus");
        ExpectPixels(Shot(button), highlight);
    }
    {
        SCOPED_TRACE("focus, pressed");
        button.DrawButton(ButtonState::Pressed, false);
        ExpectPixels(Shot(button), {{10, 39, QColor(239, 239, 226), "pressed bevel bottom line"}});
        button.DrawButton(ButtonState::Normal, false);
    }
    {
        SCOPED_TRACE("focus, ShowFocusRect false");
        button.SetShowFocusRect(false);
        ExpectPixels(Shot(button), bevel);
    }
    button.SetShowFocusRect(true);
    button.clearFocus();
    {
        SCOPED_TRACE("default button");
        button.SetDefaultIndication(true);
        ExpectPixels(Shot(button), highlight);
    }
}

TEST(DrawButton, RepeatedRequestsOfOneStatePaintOnce) {
    UltraButton button;
    Place(button, QSize(65, 41));
    EXPECT_TRUE(button.DrawButton(ButtonState::Pressed, false));
    EXPECT_FALSE(button.DrawButton(ButtonState::Pressed, false));
    EXPECT_TRUE(button.DrawButton(ButtonState::Pressed, true));
    EXPECT_TRUE(button.DrawButton(ButtonState::Normal, false));
}

TEST(DrawButton, ZeroHeightPaintsNothingAndRecordsNoState) {
    UltraButton button;
    Place(button, QSize(65, 0));
    EXPECT_FALSE(button.DrawButton(ButtonState::Pressed, false));
    EXPECT_EQ(button.DrawState(), ButtonState::Normal);
    Place(button, QSize(65, 41));
    EXPECT_TRUE(button.DrawButton(ButtonState::Pressed, false));
}

TEST(DrawButton, TinySizesPaintWithoutFault) {
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(4, 4)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        UltraButton button;
        button.SetCaption("&Fix!");
        Place(button, size);
        EXPECT_TRUE(button.DrawButton(ButtonState::Pressed, false));
        EXPECT_EQ(Shot(button).size(), size);
    }
}

TEST(DrawButton, PaletteChangeRepaintsWithTheNewSystemFace) {
    UltraButton button;
    Place(button, QSize(40, 201));
    UseClassicColours(button);
    EXPECT_EQ(button.FaceColour(), Rgb(212, 208, 200));
    EXPECT_EQ(Shot(button).pixelColor(10, 3), QColor(255, 255, 250));
    EXPECT_EQ(ColourToQColor(button.TextColour()), QColor(Qt::black));
}
