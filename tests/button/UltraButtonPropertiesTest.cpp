#include "ButtonTestSupport.h"

#include <QSignalSpy>

#include <functional>

#include <gtest/gtest.h>

using kestrune::ButtonState;
using kestrune::MapPropertyBag;
using kestrune::QColorToColour;
using kestrune::UltraButton;
using kestrune::test::Place;
using kestrune::test::Rgb;
using kestrune::test::Shot;
using kestrune::test::UseClassicColours;

namespace {

const QStringList SavedKeys = {"TX", "ENAB", "FONT", "COLTYPE", "FOCUSR", "BCOL", "FCOL"};

std::uint32_t SystemFace(const UltraButton& button) {
    return QColorToColour(button.palette().color(QPalette::Button));
}

std::uint32_t SystemText(const UltraButton& button) {
    return QColorToColour(button.palette().color(QPalette::ButtonText));
}

QFont OtherFont() {
    QFont font("DejaVu Serif", 13);
    font.setBold(true);
    return font;
}

}  // namespace

TEST(ButtonProperties, EverySetterReportsItsKeyOnce) {
    const struct {
        const char* key;
        std::function<void(UltraButton&)> set;
    } cases[] = {
        {"TX", [](UltraButton& b) { b.SetCaption("&Fix!"); }},
        {"ENAB", [](UltraButton& b) { b.SetEnabled(false); }},
        {"FONT", [](UltraButton& b) { b.SetFont(OtherFont()); }},
        {"COLTYPE", [](UltraButton& b) { b.SetColourScheme(3); }},
        {"FOCUSR", [](UltraButton& b) { b.SetShowFocusRect(false); }},
        {"BCOL", [](UltraButton& b) { b.SetBackcolour(Rgb(255, 0, 0)); }},
        {"FCOL", [](UltraButton& b) { b.SetForecolour(Rgb(0, 0, 255)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        UltraButton button;
        Place(button, QSize(65, 41));
        QSignalSpy spy(&button, &UltraButton::PropertyChanged);
        c.set(button);
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toString(), c.key);
    }
}

TEST(ButtonProperties, BackcolourUnderSchemeOneChangesNothingVisibleButIsReported) {
    UltraButton button;
    UseClassicColours(button);
    Place(button, QSize(65, 41));
    const QImage before = Shot(button);
    QSignalSpy spy(&button, &UltraButton::PropertyChanged);
    button.SetBackcolour(Rgb(255, 0, 0));
    EXPECT_EQ(Shot(button), before);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), "BCOL");
}

TEST(ButtonProperties, CaptionRepaintsNormalEvenWhenPressed) {
    UltraButton button;
    Place(button, QSize(65, 41));
    button.DrawButton(ButtonState::Pressed, false);
    button.SetCaption("Go");
    EXPECT_EQ(button.DrawState(), ButtonState::Normal);

    UltraButton reference;
    Place(reference, QSize(65, 41));
    reference.SetCaption("Go");
    EXPECT_EQ(Shot(button), Shot(reference));
}

TEST(ButtonProperties, ShowFocusRectRepaintsInTheRecordedState) {
    UltraButton button;
    Place(button, QSize(65, 41));
    button.DrawButton(ButtonState::Pressed, false);
    button.SetShowFocusRect(false);
    EXPECT_EQ(button.DrawState(), ButtonState::Pressed);
}

TEST(ButtonProperties, EnabledAlsoSetsTheWindow) {
    UltraButton button;
    button.SetEnabled(false);
    EXPECT_FALSE(button.isEnabled());
    button.SetEnabled(true);
    EXPECT_TRUE(button.isEnabled());
}

TEST(ButtonProperties, NewInstanceDefaults) {
    UltraButton button;
    UseClassicColours(button);
    button.InitProperties();
    EXPECT_EQ(button.Caption(), "");
    EXPECT_TRUE(button.Enabled());
    EXPECT_EQ(button.Font(), button.font());
    EXPECT_EQ(button.ColourScheme(), 1);
    EXPECT_TRUE(button.ShowFocusRect());
    EXPECT_EQ(button.Backcolour(), Rgb(212, 208, 200));
    EXPECT_EQ(button.Forecolour(), Rgb(0, 0, 0));
}

TEST(ButtonPersistence, WritesAllSevenKeysInOrder) {
    UltraButton button;
    button.SetCaption("&Fix!");
    button.SetColourScheme(2);
    button.SetBackcolour(Rgb(1, 2, 3));
    MapPropertyBag bag;
    button.WriteProperties(bag);
    EXPECT_EQ(bag.Writes(), SavedKeys);
    EXPECT_EQ(bag.Value("TX").toString(), "&Fix!");
    EXPECT_EQ(bag.Value("ENAB").toBool(), true);
    EXPECT_EQ(bag.Value("COLTYPE").toInt(), 2);
    EXPECT_EQ(bag.Value("BCOL").toUInt(), Rgb(1, 2, 3));
}

TEST(ButtonPersistence, RoundTripRestoresEveryProperty) {
    UltraButton saved;
    Place(saved, QSize(65, 41));
    saved.SetCaption("A && B &Close");
    saved.SetEnabled(false);
    saved.SetFont(OtherFont());
    saved.SetColourScheme(2);
    saved.SetShowFocusRect(false);
    saved.SetBackcolour(Rgb(255, 0, 0));
    saved.SetForecolour(Rgb(0, 0, 255));
    MapPropertyBag bag;
    saved.WriteProperties(bag);

    UltraButton loaded;
    Place(loaded, QSize(65, 41));
    QSignalSpy spy(&loaded, &UltraButton::PropertyChanged);
    loaded.ReadProperties(bag);
    EXPECT_EQ(bag.Reads(), SavedKeys);
    EXPECT_EQ(spy.count(), 0) << "loading is not a change";
    EXPECT_EQ(loaded.Caption(), "A && B &Close");
    EXPECT_EQ(loaded.AccessKey(), "c");
    EXPECT_FALSE(loaded.Enabled());
    EXPECT_FALSE(loaded.isEnabled());
    EXPECT_EQ(loaded.Font(), OtherFont());
    EXPECT_EQ(loaded.font(), OtherFont());
    EXPECT_EQ(loaded.ColourScheme(), 2);
    EXPECT_FALSE(loaded.ShowFocusRect());
    EXPECT_EQ(loaded.Backcolour(), Rgb(255, 0, 0));
    EXPECT_EQ(loaded.Forecolour(), Rgb(0, 0, 255));
    EXPECT_EQ(loaded.FaceColour(), Rgb(255, 0, 0));

    saved.SetEnabled(true);
    loaded.SetEnabled(true);
    EXPECT_EQ(Shot(loaded), Shot(saved));
}

TEST(ButtonPersistence, AnEmptyBagGivesTheDefaults) {
    UltraButton button;
    UseClassicColours(button);
    button.SetCaption("old");
    button.SetColourScheme(3);
    button.SetEnabled(false);
    MapPropertyBag bag;
    button.ReadProperties(bag);
    EXPECT_EQ(button.Caption(), "");
    EXPECT_EQ(button.AccessKey(), "");
    EXPECT_TRUE(button.Enabled());
    EXPECT_TRUE(button.isEnabled());
    EXPECT_EQ(button.ColourScheme(), 1);
    EXPECT_TRUE(button.ShowFocusRect());
    EXPECT_EQ(button.Backcolour(), Rgb(212, 208, 200));
    EXPECT_EQ(button.Forecolour(), Rgb(0, 0, 0));
}

TEST(ButtonPersistence, WithoutColourSchemeTheSystemColoursApply) {
    UltraButton button;
    UseClassicColours(button);
    Place(button, QSize(65, 41));
    MapPropertyBag bag;
    bag.Write("BCOL", Rgb(255, 0, 0));
    bag.Write("FCOL", Rgb(0, 0, 255));
    button.ReadProperties(bag);
    EXPECT_EQ(button.ColourScheme(), 1);
    EXPECT_EQ(button.Backcolour(), Rgb(255, 0, 0));
    EXPECT_EQ(button.FaceColour(), SystemFace(button));
    EXPECT_EQ(button.TextColour(), SystemText(button));
}

// Values from a hand-edited design are read if they can be, else the default.
TEST(ButtonPersistence, ReadsTextValuesAndFallsBackOnUnreadableOnes) {
    const struct {
        const char* key;
        QVariant value;
        std::function<bool(const UltraButton&)> holds;
    } cases[] = {
        {"ENAB", "False", [](const UltraButton& b) { return !b.Enabled(); }},
        {"ENAB", "0", [](const UltraButton& b) { return !b.Enabled(); }},
        {"ENAB", "-1", [](const UltraButton& b) { return b.Enabled(); }},
        {"ENAB", "banana", [](const UltraButton& b) { return b.Enabled(); }},
        {"FOCUSR", "false", [](const UltraButton& b) { return !b.ShowFocusRect(); }},
        {"FOCUSR", "maybe", [](const UltraButton& b) { return b.ShowFocusRect(); }},
        {"COLTYPE", "3", [](const UltraButton& b) { return b.ColourScheme() == 3; }},
        {"COLTYPE", "abc", [](const UltraButton& b) { return b.ColourScheme() == 1; }},
        {"COLTYPE", "99999999999", [](const UltraButton& b) { return b.ColourScheme() == 1; }},
        {"COLTYPE", 2.5, [](const UltraButton& b) { return b.ColourScheme() == 1; }},
        {"BCOL", "255", [](const UltraButton& b) { return b.Backcolour() == 255; }},
        {"BCOL", "&H00FF0000&", [](const UltraButton& b) { return b.Backcolour() == Rgb(0, 0, 255); }},
        {"BCOL", "0x0000FF00", [](const UltraButton& b) { return b.Backcolour() == Rgb(0, 255, 0); }},
        {"BCOL", "-1", [](const UltraButton& b) { return b.Backcolour() == 0xFFFFFFFFu; }},
        {"BCOL", "xyz", [](const UltraButton& b) { return b.Backcolour() == SystemFace(b); }},
        {"BCOL", "4294967296", [](const UltraButton& b) { return b.Backcolour() == SystemFace(b); }},
        {"FCOL", true, [](const UltraButton& b) { return b.Forecolour() == SystemText(b); }},
        {"TX", 12, [](const UltraButton& b) { return b.Caption() == "12"; }},
        {"TX", QFont("DejaVu Serif"), [](const UltraButton& b) { return b.Caption().isEmpty(); }},
        {"FONT", "DejaVu Serif,13,-1,5,700,0,0,0,0,0",
         [](const UltraButton& b) { return b.Font().family() == "DejaVu Serif" && b.Font().bold(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << "=" << c.value.toString().toStdString());
        UltraButton button;
        MapPropertyBag bag;
        bag.Write(c.key, c.value);
        button.ReadProperties(bag);
        EXPECT_TRUE(c.holds(button));
    }
}
