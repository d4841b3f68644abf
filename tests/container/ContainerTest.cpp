#include "common/Errors.h"
#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <random>

using kestrune::MessageIcon;
using kestrune::RunError;
using kestrune::test::FakeUserInterface;
using kestrune::test::FromHex;
using kestrune::test::ToHex;
using modConvert::ReadStatus;

namespace {

const std::string kSignature = FromHex("4C 4D 4D 43 00 03 00 00");

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(byte(generator));
    return bytes;
}

// Text that compresses well, like a real configuration, of exactly size bytes.
std::string RepetitiveText(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) text += "<entry id=\"" + std::to_string(i) + "\">value</entry>\r\n";
    text.resize(size);
    return text;
}

std::string Sample(const std::string& name) {
    return kestrune::test::ReadFile((kestrune::test::SourceDir() / "samples" / name).string());
}

std::string SampleXml() { return Sample("router.xml"); }

}  // namespace

TEST(XmlToBin, PacksTheEmptyTextIntoTheTwentyEightKnownBytes) {
    EXPECT_EQ(ToHex(modConvert::XmlToBin("")),
              "4C 4D 4D 43 00 03 00 00 08 00 00 00 D7 6A 9C 77 00 00 00 00 78 9C 03 00 00 00 00 01");
}

TEST(XmlToBin, HeaderHoldsPayloadSizeChecksumAndTextSize) {
    for (const std::string& text : {SampleXml(), RepetitiveText(1000), RandomBytes(300, 3)}) {
        SCOPED_TRACE(text.size());
        const std::string bin = modConvert::XmlToBin(text);
        ASSERT_GT(bin.size(), modConvert::HeaderSize);
        const std::string payload = bin.substr(modConvert::HeaderSize);
        EXPECT_EQ(bin.substr(0, 8), kSignature);
        EXPECT_EQ(modConvert::BytesToLong(bin, 8), payload.size());
        EXPECT_EQ(bin.substr(12, 4), modConvert::ContainerChecksum(payload));
        EXPECT_EQ(modConvert::BytesToLong(bin, 16), text.size());
        // The payload is a plain zlib stream of the text.
        std::string inflated(text.size(), '\0');
        uLongf length = inflated.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                             reinterpret_cast<const Bytef*>(payload.data()), payload.size()),
                  Z_OK);
        EXPECT_EQ(inflated, text);
    }
}

TEST(Container, RoundTripsEveryTextUpToTheReaderRoom) {
    const std::size_t sizes[] = {0, 1, 2, 100, 1000, 4096, 65535, 65536, 66202, modConvert::ReaderRoom};
    for (const std::size_t size : sizes) {
        for (const bool random : {false, true}) {
            SCOPED_TRACE(testing::Message() << size << (random ? " random" : " repetitive"));
            const std::string text = random ? RandomBytes(size, static_cast<unsigned>(size)) : RepetitiveText(size);
            FakeUserInterface ui;
            const auto result = modConvert::ReadContainer(modConvert::XmlToBin(text), ui);
            EXPECT_EQ(result.status, ReadStatus::Decompressed);
            EXPECT_EQ(result.xml, text);
            EXPECT_TRUE(ui.messages.empty());
        }
    }
}

TEST(Container, XmlLargerThanTheReaderRoomGivesAnEmptyText) {
    const struct {
        std::size_t size;
        ReadStatus status;
    } cases[] = {
        {66203, ReadStatus::Decompressed},
        {66204, ReadStatus::TooLarge},
        {200000, ReadStatus::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string text = RepetitiveText(c.size);
        const std::string bin = modConvert::XmlToBin(text);
        FakeUserInterface ui;
        const auto result = modConvert::ReadContainer(bin, ui);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.xml, c.status == ReadStatus::Decompressed ? text : "");
        EXPECT_EQ(modConvert::BytesToXml(bin, ui), result.xml);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(BytesToXml, ShowsAWarningForBytesWithoutTheSignature) {
    const std::string good = modConvert::XmlToBin(SampleXml());
    const auto with = [&good](std::size_t offset, const std::string& bytes) {
        return good.substr(0, offset) + bytes + good.substr(offset + bytes.size());
    };
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"bytes 4-7 are 00 02 00 00", with(4, FromHex("00 02 00 00"))},
        {"lmmc in lower case", with(0, "lmmc")},
        {"one letter in lower case", with(3, "c")},
        {"byte 7 set", with(7, FromHex("01"))},
        {"signature bytes swapped", with(4, FromHex("03 00 00 00"))},
        {"empty file", ""},
        {"first seven signature bytes", kSignature.substr(0, 7)},
        {"one signature letter", "L"},
        {"a plain XML file", SampleXml()},
        {"a bare zlib stream", good.substr(modConvert::HeaderSize)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUserInterface ui;
        const auto result = modConvert::ReadContainer(c.bytes, ui);
        EXPECT_EQ(result.status, ReadStatus::NotRecognized);
        EXPECT_EQ(result.xml, "");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Bin file type not recognized.");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
        EXPECT_EQ(ui.messages[0].title, "Kestrune");
        FakeUserInterface again;
        EXPECT_EQ(modConvert::BytesToXml(c.bytes, again), "");
        EXPECT_EQ(again.messages.size(), 1u);
    }
}

TEST(BytesToXml, ASignatureWithoutAWholeHeaderIsAnInvalidArgument) {
    for (const std::size_t length : {8, 12, 19}) {
        SCOPED_TRACE(length);
        const std::string bytes = (kSignature + std::string(12, '\0')).substr(0, length);
        FakeUserInterface ui;
        try {
            modConvert::BytesToXml(bytes, ui);
            FAIL() << "no error";
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), kestrune::ErrorNumber::InvalidArgument);
            EXPECT_EQ(e.description(), "Invalid procedure call or argument");
        }
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(BytesToXml, IgnoresTheHeaderFieldsAndTrailingBytes) {
    const std::string xml = SampleXml();
    const std::string good = modConvert::XmlToBin(xml);
    const auto overwrite = [&good](std::size_t offset, const std::string& hex) {
        const std::string bytes = FromHex(hex);
        return good.substr(0, offset) + bytes + good.substr(offset + bytes.size());
    };
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"checksum overwritten", overwrite(12, "00 00 00 00")},
        {"compressed size wrong", overwrite(8, "FF FF FF FF")},
        {"uncompressed size zero", overwrite(16, "00 00 00 00")},
        {"uncompressed size huge", overwrite(16, "FF FF FF 7F")},
        {"followed by CR LF", good + "\r\n"},
        {"followed by junk", good + RandomBytes(1000, 9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUserInterface ui;
        EXPECT_EQ(modConvert::BytesToXml(c.bytes, ui), xml);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(BytesToXml, ADamagedOrMissingPayloadGivesAnEmptyTextQuietly) {
    const std::string good = modConvert::XmlToBin(SampleXml());
    const std::size_t n = good.size() - modConvert::HeaderSize;
    const auto flip = [&good](std::size_t offset, unsigned char bits) {
        std::string bytes = good;
        bytes[offset] = static_cast<char>(bytes[offset] ^ bits);
        return bytes;
    };
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"signature and twelve zero bytes", kSignature + std::string(12, '\0')},
        {"header without payload", good.substr(0, modConvert::HeaderSize)},
        {"zlib header only", good.substr(0, modConvert::HeaderSize + 2)},
        {"last Adler-32 byte changed", flip(good.size() - 1, 0x01)},
        {"byte in the middle changed", flip(modConvert::HeaderSize + n / 2, 0xFF)},
        {"zlib header check broken", flip(modConvert::HeaderSize + 1, 0x01)},
        {"Adler-32 cut off", good.substr(0, good.size() - 4)},
        {"cut in half", good.substr(0, modConvert::HeaderSize + n / 2)},
        {"random payload", good.substr(0, modConvert::HeaderSize) + RandomBytes(n, 11)},
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

TEST(BinToXml, ReadsTheFileAndPassesFileErrorsThrough) {
    kestrune::test::TempDir dir;
    const std::string xml = SampleXml();
    kestrune::test::WriteFile(dir / "router.bin", modConvert::XmlToBin(xml));
    FakeUserInterface ui;
    EXPECT_EQ(modConvert::BinToXml(dir / "router.bin", ui), xml);
    try {
        modConvert::BinToXml(dir / "missing.bin", ui);
        FAIL() << "no error";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), kestrune::ErrorNumber::FileNotFound);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST(BinToXml, EverySampleContainerHoldsExactlyItsXml) {
    for (const std::string name : {"router", "router-wpa", "router-no-wireless"}) {
        SCOPED_TRACE(name);
        FakeUserInterface ui;
        const std::string bin = (kestrune::test::SourceDir() / "samples" / (name + ".bin")).string();
        EXPECT_EQ(modConvert::BinToXml(bin, ui), Sample(name + ".xml"));
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(OutputRoom, IsTheSizePlusOnePercentPlusTwelveRounded) {
    const struct {
        std::uint64_t size;
        std::size_t room;
    } cases[] = {{0, 12}, {1, 13}, {100, 113}, {1000, 1022}, {65536, 66203}};
    for (const auto& c : cases) EXPECT_EQ(modConvert::OutputRoom(c.size), c.room) << c.size;
}

TEST(UncompressData, GivesTheRoomOfTheExpectedSizeAndKeepsWhatFits) {
    const struct {
        std::size_t textSize;
        std::int32_t expectedSize;
        int status;
        std::size_t kept;
    } cases[] = {
        {113, 100, Z_OK, 113},         {114, 100, Z_BUF_ERROR, 113},   {66203, 0, Z_OK, 66203},
        {66204, 0, Z_BUF_ERROR, 66203}, {66204, 65537, Z_OK, 66204},    {0, 0, Z_OK, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.textSize << " bytes into the room of " << c.expectedSize);
        const std::string text = RandomBytes(c.textSize, 5);
        std::string data = text;
        ASSERT_EQ(modConvert::CompressData(data), Z_OK);
        EXPECT_EQ(modConvert::UncompressData(data, c.expectedSize), c.status);
        EXPECT_EQ(data, text.substr(0, c.kept));
    }
}

TEST(UncompressData, RefusesANegativeExpectedSize) {
    std::string data = modConvert::XmlToBin("").substr(modConvert::HeaderSize);
    try {
        modConvert::UncompressData(data, -1);
        FAIL() << "no error";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), kestrune::ErrorNumber::InvalidArgument);
    }
}

TEST(MeasurePayload, FindsTheStreamEndTheXmlSizeOrTheDamage) {
    const std::string xml = RepetitiveText(70000);
    const std::string payload = modConvert::XmlToBin(xml).substr(modConvert::HeaderSize);
    std::string damaged = payload;
    damaged.back() = static_cast<char>(damaged.back() ^ 1);
    const struct {
        const char* name;
        std::string payload;
        std::uint64_t limit;
        bool intact;
        bool overLimit;
        std::uint64_t xmlSize;
        std::uint64_t streamSize;
        const char* problem;
    } cases[] = {
        {"intact", payload, UINT32_MAX, true, false, 70000, payload.size(), ""},
        {"trailing CR LF", payload + "\r\n", UINT32_MAX, true, false, 70000, payload.size(), ""},
        {"over the limit", payload, 1000, false, true, 0, 0, ""},
        {"Adler-32 wrong", damaged, UINT32_MAX, false, false, 70000, 0,
         "the zlib stream is damaged (incorrect data check)"},
        {"Adler-32 cut off", payload.substr(0, payload.size() - 4), UINT32_MAX, false, false, 70000, 0,
         "the zlib stream ends early"},
        {"empty", "", UINT32_MAX, false, false, 0, 0, "there is no payload after the header"},
        {"not zlib", "<?xml", UINT32_MAX, false, false, 0, 0, "the zlib stream is damaged (incorrect header check)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto facts = modConvert::MeasurePayload(c.payload, c.limit);
        EXPECT_EQ(facts.intact, c.intact);
        EXPECT_EQ(facts.overLimit, c.overLimit);
        if (c.overLimit) {
            EXPECT_GT(facts.xmlSize, c.limit);
        } else {
            EXPECT_EQ(facts.xmlSize, c.xmlSize);
        }
        EXPECT_EQ(facts.streamSize, c.streamSize);
        EXPECT_EQ(facts.problem, c.problem);
    }
}

TEST(Container, RealConfigurationsPackSoundlyAndReadWithinTheRoom) {
    const auto corpus = kestrune::test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus of real configurations";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() != ".xml") continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string xml = kestrune::test::ReadFile(entry.path().string());
        const std::string bin = modConvert::XmlToBin(xml);

        // Whole, they are larger than the reader's room, but their streams are sound.
        FakeUserInterface ui;
        const auto whole = modConvert::ReadContainer(bin, ui);
        EXPECT_EQ(whole.status, xml.size() > modConvert::ReaderRoom ? ReadStatus::TooLarge : ReadStatus::Decompressed);
        const auto facts = modConvert::MeasurePayload(bin.substr(modConvert::HeaderSize), UINT32_MAX);
        EXPECT_TRUE(facts.intact);
        EXPECT_EQ(facts.xmlSize, xml.size());
        std::string payload = bin.substr(modConvert::HeaderSize);
        EXPECT_EQ(modConvert::UncompressData(payload, static_cast<std::int32_t>(xml.size())), Z_OK);
        EXPECT_EQ(payload, xml);

        // Their first 66,203 bytes make a container the reader reads.
        const std::string head = xml.substr(0, modConvert::ReaderRoom);
        EXPECT_EQ(modConvert::BytesToXml(modConvert::XmlToBin(head), ui), head);
        EXPECT_TRUE(ui.messages.empty());
    }
    EXPECT_GT(files, 0);
}
