#include "ButtonTestSupport.h"

#include <gtest/gtest.h>

using kestrune::Design;
using kestrune::MapPropertyBag;
using kestrune::UltraButton;
using kestrune::test::Place;
using kestrune::test::Rgb;

TEST(Design, ParsesSectionsAndKeepsValuesVerbatim) {
    const Design design = Design::Parse(
        "TX=before any section\r\n"
        "[cmdDoAll]\r\n"
        "; a comment\r\n"
        "  TX =  Fix = now \r\n"
        "no equals sign\r\n"
        "COLTYPE=1\r\n"
        "COLTYPE=2\r\n"
        "\r\n"
        "[ cmdMore ]\n"
        "TX=two\\nlines \\\\ and \\t\n");
    EXPECT_EQ(design.Controls(), QStringList({"cmdDoAll", "cmdMore"}));
    const MapPropertyBag* first = design.Find("cmdDoAll");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Keys(), QStringList({"TX", "COLTYPE"}));
    EXPECT_EQ(first->Value("TX").toString(), "  Fix = now ");
    EXPECT_EQ(first->Value("COLTYPE").toString(), "2");
    const MapPropertyBag* second = design.Find("cmdMore");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Value("TX").toString(), "two\nlines \\ and \\t");
    EXPECT_EQ(design.Find("cmdNone"), nullptr);
}

TEST(Design, SkipsAByteOrderMark) {
    const Design design = Design::Parse(QStringLiteral(u"\uFEFF[cmdDoAll]\nTX=&Fix!\n"));
    EXPECT_EQ(design.Controls(), QStringList({"cmdDoAll"}));
}

TEST(Design, WritesSectionsAndKeysInOrder) {
    Design design;
    MapPropertyBag& bag = design.Bag("cmdDoAll");
    bag.Write("TX", "&Fix!\n\\");
    bag.Write("ENAB", true);
    bag.Write("COLTYPE", 1);
    bag.Write("BCOL", Rgb(212, 208, 200));
    design.Bag("cmdMore").Write("FOCUSR", false);
    EXPECT_EQ(design.ToText(),
              "[cmdDoAll]\nTX=&Fix!\\n\\\\\nENAB=True\nCOLTYPE=1\nBCOL=13160660\n\n[cmdMore]\nFOCUSR=False\n");
}

TEST(Design, ButtonRoundTripThroughTheText) {
    UltraButton saved;
    saved.SetCaption("Line\\one\nA = B &Go ");
    saved.SetFont(QFont("DejaVu Serif", 13));
    saved.SetColourScheme(2);
    saved.SetShowFocusRect(false);
    saved.SetBackcolour(0xFFFFFFFFu);
    saved.SetForecolour(Rgb(1, 2, 3));
    Design design;
    saved.WriteProperties(design.Bag("cmdDoAll"));

    Design read = Design::Parse(design.ToText());
    UltraButton loaded;
    loaded.ReadProperties(read.Bag("cmdDoAll"));
    EXPECT_EQ(loaded.Caption(), saved.Caption());
    EXPECT_EQ(loaded.Enabled(), saved.Enabled());
    EXPECT_EQ(loaded.Font(), saved.Font());
    EXPECT_EQ(loaded.ColourScheme(), 2);
    EXPECT_FALSE(loaded.ShowFocusRect());
    EXPECT_EQ(loaded.Backcolour(), 0xFFFFFFFFu);
    EXPECT_EQ(loaded.Forecolour(), Rgb(1, 2, 3));
}

TEST(Design, LoadsACompiledInDesign) {
    const auto design = Design::Load(":/button-tests/TestForm.design");
    ASSERT_TRUE(design.has_value());
    ASSERT_EQ(design->Controls(), QStringList({"cmdDoAll", "cmdMore"}));

    Design copy = *design;
    UltraButton fix;
    fix.ReadProperties(copy.Bag("cmdDoAll"));
    EXPECT_EQ(fix.Caption(), "&Fix!");
    EXPECT_EQ(fix.AccessKey(), "f");
    UltraButton more;
    more.ReadProperties(copy.Bag("cmdMore"));
    EXPECT_EQ(more.AccessKey(), "r");
    EXPECT_EQ(more.ColourScheme(), 3);
    EXPECT_FALSE(more.ShowFocusRect());

    EXPECT_FALSE(Design::Load(":/button-tests/Missing.design").has_value());
}
