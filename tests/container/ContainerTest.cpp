#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <tuple>

using kestrune::test::FromHex;
using kestrune::test::Source;
using kestrune::test::ToHex;
using modConvert::ReadStatus;

namespace {

// Bytes from the standard generator, the same on every platform.
std::string RandomBytes(std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    return bytes;
}

// good with bytes written over it from offset on.
std::string With(std::string good, std::size_t offset, const std::string& bytes) {
    return good.replace(offset, bytes.size(), bytes);
}

}  // namespace

TEST(ContainerChecksum, GivesTheKnownCksumValues) {
    EXPECT_EQ(ToHex(modConvert::ContainerChecksum("123456789")), "11 60 7A 37");
    EXPECT_EQ(ToHex(modConvert::ContainerChecksum("abc")), "A2 78 AA 48");
    EXPECT_EQ(ToHex(modConvert::ContainerChecksum("")), "FF FF FF FF");
    // Leading zero bytes count through the length.
    EXPECT_EQ(ToHex(modConvert::ContainerChecksum(std::string(1, '\0'))), "48 E2 3E FB");
    EXPECT_EQ(ToHex(modConvert::ContainerChecksum(std::string(2, '\0'))), "91 C4 7D F6");
}

TEST(ContainerChecksum, EqualsTheCksumProgramOnRandomData) {
    kestrune::test::TempDir dir;
    // Lengths around the sixteen-byte fast path and each width of the appended length.
    for (const std::size_t length : {0, 1, 15, 16, 17, 255, 256, 1000, 65537, (1 << 20) + 5}) {
        const std::string data = RandomBytes(length);
        kestrune::test::WriteFile(dir / "data", data);
        FILE* pipe = ::popen(("cksum < '" + dir / "data" + "'").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        unsigned long crc = 0;
        const int fields = std::fscanf(pipe, "%lu", &crc);
        if (::pclose(pipe) != 0 || fields != 1) GTEST_SKIP() << "the cksum program cannot be run";
        EXPECT_EQ(modConvert::ContainerChecksumValue(data), crc) << length << " bytes";
    }
}

TEST(XmlToBin, PacksTheEmptyTextIntoTheTwentyEightKnownBytes) {
    EXPECT_EQ(ToHex(modConvert::XmlToBin("")),
              "4C 4D 4D 43 00 03 00 00 08 00 00 00 D7 6A 9C 77 00 00 00 00 78 9C 03 00 00 00 00 01");
}

// The pack command warns above ReaderRoom, so the name must hold the room the reader has.
TEST(Container, RoundTripsEveryTextUpToTheReaderRoomAndNoFurther) {
    const struct {
        std::size_t size;
        ReadStatus status;
    } cases[] = {{0, ReadStatus::Decompressed}, {1000, ReadStatus::Decompressed},
                 {66203, ReadStatus::Decompressed}, {66204, ReadStatus::TooLarge}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string text = RandomBytes(c.size);
        const auto result = modConvert::ReadContainer(modConvert::XmlToBin(text));
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.xml, c.status == ReadStatus::Decompressed ? text : "");
        EXPECT_EQ(c.size <= modConvert::ReaderRoom, c.status == ReadStatus::Decompressed);
    }
}

TEST(ReadContainer, TrustsTheSignatureAndTheStreamButNoOtherHeaderField) {
    const std::string xml = Source("samples/router.xml");
    const std::string good = Source("samples/router.bin");
    const std::tuple<const char*, std::string, ReadStatus> cases[] = {
        {"checksum overwritten", With(good, 12, FromHex("00 00 00 00")), ReadStatus::Decompressed},
        {"sizes overwritten, CR LF after", With(good, 8, FromHex("FF FF FF FF")) + "\r\n", ReadStatus::Decompressed},
        {"bytes 4-7 are 00 02 00 00", With(good, 4, FromHex("00 02 00 00")), ReadStatus::NotRecognized},
        {"lmmc in lower case", With(good, 0, "lmmc"), ReadStatus::NotRecognized},
        {"seven signature bytes", good.substr(0, 7), ReadStatus::NotRecognized},
        {"a plain XML file", xml, ReadStatus::NotRecognized},
        {"signature and twelve zero bytes", good.substr(0, 8) + std::string(12, '\0'), ReadStatus::DamagedStream},
        {"last Adler-32 byte changed", With(good, good.size() - 1, {static_cast<char>(good.back() ^ 1)}),
         ReadStatus::DamagedStream},
        {"cut in half", good.substr(0, good.size() / 2), ReadStatus::DamagedStream},
    };
    for (const auto& [name, bytes, status] : cases) {
        SCOPED_TRACE(name);
        const auto result = modConvert::ReadContainer(bytes);
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.xml, status == ReadStatus::Decompressed ? xml : "");
    }
    kestrune::test::ExpectRunError([&] { modConvert::ReadContainer(good.substr(0, 19)); }, 5);
}

TEST(BinToXml, EverySampleContainerHoldsExactlyItsXml) {
    for (const std::string name : {"router", "router-wpa", "router-no-wireless"}) {
        EXPECT_EQ(modConvert::ReadContainer(Source("samples/" + name + ".bin")).xml, Source("samples/" + name + ".xml"))
            << name;
    }
}

// A room of size + 1 % + 12: 113 bytes for 100.
TEST(UncompressData, GivesTheRoomOfTheExpectedSizeAndKeepsWhatFits) {
    // Text size, expected size, zlib's status, bytes kept.
    const std::tuple<std::size_t, std::int32_t, int, std::size_t> cases[] = {
        {113, 100, Z_OK, 113}, {114, 100, Z_BUF_ERROR, 113}, {66204, 65537, Z_OK, 66204}};
    for (const auto& [textSize, expectedSize, status, kept] : cases) {
        const std::string text = RandomBytes(textSize);
        std::string data = text;
        ASSERT_EQ(modConvert::CompressData(data), Z_OK);
        EXPECT_EQ(modConvert::UncompressData(data, expectedSize), status) << textSize;
        EXPECT_EQ(data, text.substr(0, kept)) << textSize;
    }
}

TEST(MeasurePayload, CountsTheWholeXmlOrStopsPastTheLimit) {
    const std::string payload = modConvert::XmlToBin(RandomBytes(70000)).substr(modConvert::HeaderSize);
    EXPECT_EQ(modConvert::MeasurePayload(payload, UINT32_MAX).xmlSize, 70000u);
    EXPECT_TRUE(modConvert::MeasurePayload(payload, 1000).overLimit);
}
