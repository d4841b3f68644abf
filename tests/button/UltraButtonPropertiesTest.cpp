#include "ButtonTestSupport.h"

#include <QSignalSpy>

#include <optional>
#include <tuple>

using kestrune::Design;
using kestrune::MapPropertyBag;
using kestrune::UltraButton;
using namespace kestrune::test;

const QStringList SavedKeys = {"TX", "ENAB", "FONT", "COLTYPE", "FOCUSR", "BCOL", "FCOL"};

// The seven saved properties, in the saved order.
static auto Saved(const UltraButton& b) {
    return std::tuple(b.Caption(), b.Enabled(), b.Font(), b.ColourScheme(), b.ShowFocusRect(), b.Backcolour(),
                      b.Forecolour());
}

TEST(ButtonPersistence, NewButtonsAndEmptyBagsGiveTheDefaults) {
    UltraButton fresh, read;
    for (UltraButton* b : {&fresh, &read}) UseClassicColours(*b);
    fresh.InitProperties();
    read.SetCaption("&old");
    read.SetColourScheme(3);
    read.SetEnabled(false);
    MapPropertyBag empty;
    read.ReadProperties(empty);
    EXPECT_EQ(read.AccessKey(), "");
    EXPECT_TRUE(read.isEnabled());
    for (const UltraButton* b : {&fresh, &read})
        EXPECT_EQ(Saved(*b), std::tuple(QString(), true, b->font(), 1, true, Rgb(212, 208, 200), Rgb(0, 0, 0)));
}

// Through the design text, as a form is saved and opened again. Each setter
// reports its key once; under scheme 1 a new Backcolour is reported too.
TEST(ButtonPersistence, RoundTripWritesAndReadsTheSevenKeysInOrder) {
    ClassicButton saved(QSize(65, 41));
    QSignalSpy changes(&saved, &UltraButton::PropertyChanged);
    saved.SetBackcolour(0xFFFFFFFFu);
    saved.SetCaption("Line\\one\nA && B &Close ");
    saved.SetEnabled(false);
    saved.SetFont(QFont("DejaVu Serif", 13));
    saved.SetColourScheme(2);
    saved.SetShowFocusRect(false);
    saved.SetForecolour(Rgb(1, 2, 3));
    QStringList reported;
    for (const QVariantList& change : changes) reported << change.at(0).toString();
    EXPECT_EQ(reported, QStringList({"BCOL", "TX", "ENAB", "FONT", "COLTYPE", "FOCUSR", "FCOL"}));
    Design design;
    saved.WriteProperties(design.Bag("cmdDoAll"));
    EXPECT_EQ(design.Bag("cmdDoAll").Writes(), SavedKeys);

    Design read = Design::Parse(design.ToText());
    ClassicButton loaded(QSize(65, 41));
    QSignalSpy spy(&loaded, &UltraButton::PropertyChanged);
    loaded.ReadProperties(read.Bag("cmdDoAll"));
    EXPECT_EQ(read.Bag("cmdDoAll").Reads(), SavedKeys);
    EXPECT_EQ(spy.count(), 0) << "loading is not a change";
    EXPECT_EQ(Saved(loaded), Saved(saved));
    EXPECT_EQ(loaded.AccessKey(), "c");
    EXPECT_FALSE(loaded.isEnabled());
    saved.SetEnabled(true);
    loaded.SetEnabled(true);
    EXPECT_EQ(Shot(loaded), Shot(saved));
}

// Values from a hand-edited design are read if they can be, else the default
// (the classic system colours). No bag holds a usable COLTYPE, so scheme 1 and
// the system colours apply whatever Backcolour says.
TEST(ButtonPersistence, ReadsTextValuesAndFallsBackOnUnreadableOnes) {
    const struct { const char* key; QVariant value; QVariant read; } cases[] = {
        {"ENAB", "False", false}, {"ENAB", "0", false}, {"ENAB", "banana", true}, {"COLTYPE", "99999999999", 1},
        {"BCOL", "&H00FF0000&", Rgb(0, 0, 255)}, {"BCOL", "0x0000FF00", Rgb(0, 255, 0)}, {"BCOL", "-1", 0xFFFFFFFFu},
        {"BCOL", "4294967296", Rgb(212, 208, 200)}, {"FCOL", true, 0}, {"TX", 12, "12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << "=" << c.value.toString().toStdString());
        UltraButton button;
        UseClassicColours(button);
        MapPropertyBag bag, out;
        bag.Write(c.key, c.value);
        button.ReadProperties(bag);
        button.WriteProperties(out);
        EXPECT_EQ(out.Value(c.key).toString(), c.read.toString());
        EXPECT_EQ(button.ColourScheme(), 1);
        EXPECT_EQ(button.FaceColour(), Rgb(212, 208, 200));
    }
}

TEST(Design, ParsesSectionsAndKeepsValuesVerbatim) {
    const Design design = Design::Parse(
        "TX=before any section\r\n"
        "[cmdDoAll]\r\n"
        "; a comment\r\n"
        "  TX =  Fix = now \r\n"
        "no equals sign\r\n"
        "COLTYPE=1\r\n"
        "COLTYPE=2\r\n"
        "[ cmdMore ]\n"
        "TX=two\\nlines \\\\ and \\t\n");
    ASSERT_EQ(design.Controls(), QStringList({"cmdDoAll", "cmdMore"}));
    const MapPropertyBag* first = design.Find("cmdDoAll");
    EXPECT_EQ(first->Keys(), QStringList({"TX", "COLTYPE"}));
    EXPECT_EQ(first->Value("TX").toString(), "  Fix = now ");
    EXPECT_EQ(first->Value("COLTYPE").toString(), "2");
    EXPECT_EQ(design.Find("cmdMore")->Value("TX").toString(), "two\nlines \\ and \\t");
    EXPECT_EQ(design.Find("cmdNone"), nullptr);
    EXPECT_EQ(Design::Parse(QChar(0xFEFF) + QString("[cmdDoAll]\n")).Controls(), QStringList({"cmdDoAll"}));
}

TEST(Design, WritesSectionsAndKeysInOrder) {
    Design design;
    MapPropertyBag& bag = design.Bag("cmdDoAll");
    bag.Write("TX", "&Fix!\r\n\\");
    bag.Write("ENAB", true);
    bag.Write("BCOL", Rgb(212, 208, 200));
    design.Bag("cmdMore").Write("FOCUSR", false);
    EXPECT_EQ(design.ToText(), "[cmdDoAll]\nTX=&Fix!\\r\\n\\\\\nENAB=True\nBCOL=13160660\n\n[cmdMore]\nFOCUSR=False\n");
}

// The file starts with a byte order mark, as some editors write one.
TEST(Design, LoadsACompiledInDesign) {
    const std::optional<Design> design = Design::Load(":/button-tests/TestForm.design");
    ASSERT_TRUE(design.has_value());
    EXPECT_EQ(design->Controls(), QStringList({"cmdDoAll", "cmdMore"}));
    EXPECT_EQ(design->Find("cmdMore")->Value("TX").toString(), "Show &Report");
    EXPECT_FALSE(Design::Load(":/button-tests/Missing.design").has_value());
}
