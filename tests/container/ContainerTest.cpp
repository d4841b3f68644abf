#include "common/Errors.h"
#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

using kestrune::RunError;
using kestrune::test::FakeUserInterface;
using kestrune::test::FromHex;
using kestrune::test::ToHex;
using modConvert::ReadStatus;

namespace {

const std::string kSignature = FromHex("4C 4D 4D 43 00 03 00 00");

// Random bytes, or text that compresses like a real configuration; exactly size bytes.
std::string Text(std::size_t size, bool random) {
    std::string text;
    std::mt19937 generator(static_cast<unsigned>(size));
    for (int i = 0; text.size() < size; ++i) {
        text += random ? std::string(1, static_cast<char>(generator()))
                       : "<entry id=\"" + std::to_string(i) + "\">value</entry>\r\n";
    }
    text.resize(size);
    return text;
}

std::string Sample(const std::string& name) {
    return kestrune::test::ReadFile((kestrune::test::SourceDir() / "samples" / name).string());
}

// good with bytes written over it from offset on.
std::string With(std::string good, std::size_t offset, const std::string& bytes) {
    return good.replace(offset, bytes.size(), bytes);
}

}  // namespace

TEST(XmlToBin, PacksTheEmptyTextIntoTheTwentyEightKnownBytes) {
    EXPECT_EQ(ToHex(modConvert::XmlToBin("")),
              "4C 4D 4D 43 00 03 00 00 08 00 00 00 D7 6A 9C 77 00 00 00 00 78 9C 03 00 00 00 00 01");
}

TEST(Container, RoundTripsEveryTextUpToTheReaderRoomAndNoFurther) {
    const struct {
        std::size_t size;
        ReadStatus status;
    } cases[] = {
        {0, ReadStatus::Decompressed},     {1, ReadStatus::Decompressed},     {1000, ReadStatus::Decompressed},
        {65536, ReadStatus::Decompressed}, {66203, ReadStatus::Decompressed}, {66204, ReadStatus::TooLarge},
    };
    for (const auto& c : cases) {
        for (const bool random : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.size << (random ? " random" : " repetitive"));
            const std::string text = Text(c.size, random);
            FakeUserInterface ui;
            const auto result = modConvert::ReadContainer(modConvert::XmlToBin(text), ui);
            EXPECT_EQ(result.status, c.status);
            EXPECT_EQ(result.xml, c.status == ReadStatus::Decompressed ? text : "");
            EXPECT_TRUE(ui.messages.empty());
        }
    }
}

TEST(ReadContainer, ShowsAWarningForNearMissSignatures) {
    const std::string good = modConvert::XmlToBin(Sample("router.xml"));
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"bytes 4-7 are 00 02 00 00", With(good, 4, FromHex("00 02 00 00"))},
        {"lmmc in lower case", With(good, 0, "lmmc")},
        {"byte 7 set", With(good, 7, FromHex("01"))},
        {"a plain XML file", Sample("router.xml")},
        {"empty file", ""},
        {"first seven signature bytes", kSignature.substr(0, 7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUserInterface ui;
        const auto result = modConvert::ReadContainer(c.bytes, ui);
        EXPECT_EQ(result.status, ReadStatus::NotRecognized);
        EXPECT_EQ(result.xml, "");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Bin file type not recognized.");
        EXPECT_EQ(ui.messages[0].icon, kestrune::MessageIcon::Warning);
        EXPECT_EQ(ui.messages[0].title, "Kestrune");
    }
}

TEST(ReadContainer, ASignatureWithoutAWholeHeaderIsAnInvalidArgument) {
    for (const std::size_t length : {8, 19}) {
        FakeUserInterface ui;
        try {
            modConvert::ReadContainer((kSignature + std::string(12, '\0')).substr(0, length), ui);
            ADD_FAILURE() << length << " bytes raised no error";
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(e.description(), "Invalid procedure call or argument");
        }
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(BytesToXml, IgnoresTheHeaderFieldsAndTrailingBytes) {
    const std::string xml = Sample("router.xml");
    const std::string good = modConvert::XmlToBin(xml);
    for (const std::string& bytes : {With(good, 12, FromHex("00 00 00 00")), With(good, 8, FromHex("FF FF FF FF")),
                                     good + "\r\n"}) {
        FakeUserInterface ui;
        EXPECT_EQ(modConvert::BytesToXml(bytes, ui), xml);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(BytesToXml, ADamagedOrMissingPayloadGivesAnEmptyTextQuietly) {
    const std::string good = modConvert::XmlToBin(Sample("router.xml"));
    const std::size_t half = modConvert::HeaderSize + (good.size() - modConvert::HeaderSize) / 2;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"signature and twelve zero bytes", kSignature + std::string(12, '\0')},
        {"last Adler-32 byte changed", With(good, good.size() - 1, std::string(1, static_cast<char>(good.back() ^ 1)))},
        {"zlib header check broken", With(good, modConvert::HeaderSize + 1, "\x9D")},
        {"cut in half", good.substr(0, half)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUserInterface ui;
        const auto result = modConvert::ReadContainer(c.bytes, ui);
        EXPECT_EQ(result.status, ReadStatus::DamagedStream);
        EXPECT_NE(result.zlibStatus, Z_OK);
        EXPECT_EQ(result.xml, "");
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(BinToXml, EverySampleContainerHoldsExactlyItsXmlAndFileErrorsPassThrough) {
    for (const std::string name : {"router", "router-wpa", "router-no-wireless"}) {
        SCOPED_TRACE(name);
        FakeUserInterface ui;
        const std::string bin = (kestrune::test::SourceDir() / "samples" / (name + ".bin")).string();
        EXPECT_EQ(modConvert::BinToXml(bin, ui), Sample(name + ".xml"));
        EXPECT_TRUE(ui.messages.empty());
    }
    FakeUserInterface ui;
    try {
        modConvert::BinToXml((kestrune::test::SourceDir() / "samples" / "missing.bin").string(), ui);
        FAIL() << "no error";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), 53);
    }
}

TEST(UncompressData, GivesTheRoomOfTheExpectedSizeAndKeepsWhatFits) {
    const struct {
        std::size_t textSize;
        std::int32_t expectedSize;
        int status;
        std::size_t kept;
    } cases[] = {
        {113, 100, Z_OK, 113}, {114, 100, Z_BUF_ERROR, 113}, {66204, 65537, Z_OK, 66204},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.textSize << " bytes into the room of " << c.expectedSize);
        const std::string text = Text(c.textSize, true);
        std::string data = text;
        ASSERT_EQ(modConvert::CompressData(data), Z_OK);
        EXPECT_EQ(modConvert::UncompressData(data, c.expectedSize), c.status);
        EXPECT_EQ(data, text.substr(0, c.kept));
    }
    std::string data = "x";
    EXPECT_THROW(modConvert::UncompressData(data, -1), RunError);
}

TEST(MeasurePayload, StopsCountingPastTheLimit) {
    const std::string payload = modConvert::XmlToBin(Text(70000, false)).substr(modConvert::HeaderSize);
    const auto facts = modConvert::MeasurePayload(payload, 1000);
    EXPECT_FALSE(facts.intact);
    EXPECT_TRUE(facts.overLimit);
    EXPECT_GT(facts.xmlSize, 1000u);
}

TEST(Container, RealConfigurationsRoundTripWhole) {
    const auto corpus = kestrune::test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus of real configurations";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() != ".xml") continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string xml = kestrune::test::ReadFile(entry.path().string());
        std::string payload = modConvert::XmlToBin(xml).substr(modConvert::HeaderSize);
        EXPECT_EQ(modConvert::MeasurePayload(payload, UINT32_MAX).xmlSize, xml.size());
        EXPECT_EQ(modConvert::UncompressData(payload, static_cast<std::int32_t>(xml.size())), Z_OK);
        EXPECT_EQ(payload, xml);
    }
    EXPECT_GT(files, 0);
}
