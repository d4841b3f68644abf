#include "common/Errors.h"
#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>

using kestrune::RunError;
using kestrune::test::FromHex;
using kestrune::test::ToHex;

namespace {

// The error number an action raises, or 0 when it raises none.
template <typename F>
std::int32_t ErrorOf(F&& action) {
    try {
        action();
    } catch (const RunError& e) {
        return e.number();
    }
    return 0;
}

// Bytes from the standard generator, the same on every platform.
std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    return bytes;
}

}  // namespace

TEST(LongToBytes, PacksFourBytesLeastSignificantFirstAndReadsThemBack) {
    const struct {
        std::int32_t value;
        const char* hex;
    } cases[] = {
        {0, "00 00 00 00"},         {300, "2C 01 00 00"},        {66203, "9B 02 01 00"},
        {-1, "FF FF FF FF"},        {0x12345678, "78 56 34 12"}, {INT32_MIN, "00 00 00 80"},
        {INT32_MAX, "FF FF FF 7F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ToHex(modConvert::LongToBytes(c.value)), c.hex);
        EXPECT_EQ(modConvert::BytesToLong(FromHex(c.hex)), static_cast<std::uint32_t>(c.value));
    }
    const std::string five = FromHex("01 02 03 04 05");
    EXPECT_EQ(modConvert::BytesToLong(five, 1), 0x05040302u);
    for (const std::size_t offset : {2, 6}) {
        EXPECT_EQ(ErrorOf([&] { modConvert::BytesToLong(five, offset); }), 9) << offset;
    }
}

TEST(Shift32, ShiftsLogicallyWithinThirtyTwoBitsAndRefusesCountsOutsideOneToThirtyOne) {
    const struct {
        bool left;
        std::uint32_t value;
        std::int16_t count;
        std::uint32_t result;
    } cases[] = {
        {false, 0x80000000u, 24, 0x00000080u}, {true, 0x00800000u, 8, 0x80000000u},
        {true, 0xFF000000u, 8, 0x00000000u},   {true, 0x00000001u, 31, 0x80000000u},
        {false, 0xFFFFFFFFu, 31, 0x00000001u}, {false, 0xFFFFFFFFu, 1, 0x7FFFFFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.left ? "left " : "right ") << std::hex << c.value << " by " << c.count);
        EXPECT_EQ(c.left ? modConvert::ShiftLeft32(c.value, c.count) : modConvert::ShiftRight32(c.value, c.count),
                  c.result);
    }
    for (const std::int16_t count : {0, 32, -1}) {
        EXPECT_EQ(ErrorOf([&] { modConvert::ShiftLeft32(1, count); }), 5) << count;
        EXPECT_EQ(ErrorOf([&] { modConvert::ShiftRight32(1, count); }), 5) << count;
    }
}

TEST(InitContainerCodec, FillsTheCrcAndMaskTables) {
    modConvert::InitContainerCodec();
    EXPECT_EQ(modConvert::CrcTable[1], 0x04C11DB7u);
    EXPECT_EQ(modConvert::CrcTable[255], 0xB1F740B4u);
    EXPECT_EQ(modConvert::MaskTable[0], 1u);
    EXPECT_EQ(modConvert::MaskTable[30], 0x7FFFFFFFu);
    EXPECT_EQ(modConvert::MaskTable[31], 0xFFFFFFFFu);
}

TEST(ContainerChecksum, GivesTheKnownCksumValues) {
    const struct {
        std::string data;
        std::uint32_t crc;
    } cases[] = {
        {"123456789", 0x377A6011u},          {"abc", 0x48AA78A2u},
        {"", 0xFFFFFFFFu},                   {std::string(1, '\0'), 0xFB3EE248u},
        {std::string(2, '\0'), 0xF67DC491u}, {RandomBytes(4096, 4096), 0x16670CBEu},  // every table of the fast path
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modConvert::ContainerChecksumValue(c.data), c.crc) << c.data.size() << " bytes";
    }
    EXPECT_EQ(ToHex(modConvert::ContainerChecksum("123456789")), "11 60 7A 37");
}

TEST(ContainerChecksum, EqualsTheCksumProgramOnRandomData) {
    kestrune::test::TempDir dir;
    // Lengths around the sixteen-byte fast path and each width of the appended length.
    for (const std::size_t length : {0, 1, 15, 16, 17, 255, 256, 1000, 65537, (1 << 20) + 5}) {
        SCOPED_TRACE(length);
        const std::string data = RandomBytes(length, static_cast<unsigned>(length));
        kestrune::test::WriteFile(dir / "data", data);
        FILE* pipe = ::popen(("cksum < '" + dir / "data" + "'").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        unsigned long crc = 0;
        const int fields = std::fscanf(pipe, "%lu", &crc);
        if (::pclose(pipe) != 0 || fields != 1) GTEST_SKIP() << "the cksum program cannot be run";
        EXPECT_EQ(modConvert::ContainerChecksumValue(data), crc);
    }
}
