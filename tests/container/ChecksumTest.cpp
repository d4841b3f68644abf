#include "common/Errors.h"
#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>

using kestrune::RunError;
using kestrune::test::FromHex;
using kestrune::test::TempDir;
using kestrune::test::ToHex;

namespace {

// cksum's CRC straight from its definition, one bit at a time and without
// tables, to hold the table-driven code to.
std::uint32_t BitwiseCksum(std::string_view data) {
    std::uint32_t crc = 0;
    const auto feed = [&crc](unsigned char byte) {
        crc ^= std::uint32_t{byte} << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    };
    for (const char c : data) feed(static_cast<unsigned char>(c));
    for (std::uint64_t n = data.size(); n > 0; n >>= 8) feed(static_cast<unsigned char>(n & 0xFF));
    return ~crc;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(byte(generator));
    return bytes;
}

// The CRC the installed cksum program prints for the file, or nothing when
// it cannot be run.
std::optional<std::uint32_t> CksumProgram(const std::string& path) {
    FILE* pipe = ::popen(("cksum < '" + path + "'").c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    unsigned long crc = 0;
    unsigned long long length = 0;
    const int fields = std::fscanf(pipe, "%lu %llu", &crc, &length);
    const int status = ::pclose(pipe);
    if (fields != 2 || status != 0) return std::nullopt;
    return static_cast<std::uint32_t>(crc);
}

}  // namespace

TEST(LongToBytes, PacksFourBytesLeastSignificantFirst) {
    const struct {
        std::int32_t value;
        const char* hex;
    } cases[] = {
        {0, "00 00 00 00"},          {32, "20 00 00 00"},          {300, "2C 01 00 00"},
        {66203, "9B 02 01 00"},      {-1, "FF FF FF FF"},          {0x12345678, "78 56 34 12"},
        {INT32_MIN, "00 00 00 80"},  {INT32_MAX, "FF FF FF 7F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ToHex(modConvert::LongToBytes(c.value)), c.hex);
        const auto array = modConvert::LongToByteArray(c.value);
        EXPECT_EQ(ToHex(modConvert::BytesToString(array)), c.hex);
        EXPECT_EQ(modConvert::BytesToLong(FromHex(c.hex)), static_cast<std::uint32_t>(c.value));
    }
}

TEST(BytesToLong, ReadsAtAnOffsetAndRefusesFewerThanFourBytes) {
    const std::string bytes = FromHex("01 02 03 04 05");
    EXPECT_EQ(modConvert::BytesToLong(bytes, 1), 0x05040302u);
    for (const std::size_t offset : {std::size_t{2}, std::size_t{5}, std::size_t{6}}) {
        SCOPED_TRACE(offset);
        try {
            modConvert::BytesToLong(bytes, offset);
            FAIL() << "no error";
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), kestrune::ErrorNumber::SubscriptOutOfRange);
        }
    }
}

TEST(Shift32, IsALogicalShiftWithinThirtyTwoBits) {
    enum Direction { Left, Right };
    const struct {
        Direction direction;
        std::uint32_t value;
        std::int16_t count;
        std::uint32_t result;
    } cases[] = {
        {Right, 0x80000000u, 24, 0x00000080u}, {Left, 0x00800000u, 8, 0x80000000u},
        {Left, 0xFF000000u, 8, 0x00000000u},   {Left, 0x00000001u, 31, 0x80000000u},
        {Right, 0xFFFFFFFFu, 31, 0x00000001u}, {Right, 0xFFFFFFFFu, 1, 0x7FFFFFFFu},
        {Left, 0xFFFFFFFFu, 1, 0xFFFFFFFEu},   {Right, 0x12345678u, 8, 0x00123456u},
        {Left, 0x12345678u, 24, 0x78000000u},  {Right, 0x7FFFFFFFu, 24, 0x0000007Fu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.direction == Left ? "left " : "right ") << std::hex << c.value << " by "
                                        << std::dec << c.count);
        const auto result = c.direction == Left ? modConvert::ShiftLeft32(c.value, c.count)
                                                : modConvert::ShiftRight32(c.value, c.count);
        EXPECT_EQ(result, c.result);
    }
}

TEST(Shift32, RefusesCountsOutsideOneToThirtyOne) {
    for (const std::int16_t count : {std::int16_t{0}, std::int16_t{32}, std::int16_t{-1}, std::int16_t{-32768}}) {
        SCOPED_TRACE(count);
        for (const auto shift : {&modConvert::ShiftLeft32, &modConvert::ShiftRight32}) {
            try {
                shift(0x12345678u, count);
                FAIL() << "no error";
            } catch (const RunError& e) {
                EXPECT_EQ(e.number(), kestrune::ErrorNumber::InvalidArgument);
            }
        }
    }
}

TEST(InitContainerCodec, FillsSignatureAndTables) {
    modConvert::InitContainerCodec();
    EXPECT_EQ(ToHex(modConvert::ContainerSignature), "4C 4D 4D 43 00 03 00 00");

    const struct {
        std::size_t index;
        std::uint32_t value;
    } crcEntries[] = {{0, 0}, {1, 0x04C11DB7u}, {2, 0x09823B6Eu}, {128, 0x690CE0EEu}, {255, 0xB1F740B4u}};
    for (const auto& e : crcEntries) EXPECT_EQ(modConvert::CrcTable[e.index], e.value) << "CrcTable " << e.index;
    for (std::size_t i = 0; i < 256; ++i) {
        // The remainder of byte i alone: the bitwise CRC without the length and the final inversion.
        std::uint32_t remainder = static_cast<std::uint32_t>(i) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            remainder = (remainder & 0x80000000u) ? (remainder << 1) ^ 0x04C11DB7u : remainder << 1;
        }
        EXPECT_EQ(modConvert::CrcTable[i], remainder) << "CrcTable " << i;
    }

    const struct {
        std::size_t index;
        std::uint32_t value;
    } maskEntries[] = {{0, 1}, {1, 3}, {7, 0xFF}, {30, 0x7FFFFFFFu}, {31, 0xFFFFFFFFu}};
    for (const auto& e : maskEntries) EXPECT_EQ(modConvert::MaskTable[e.index], e.value) << "MaskTable " << e.index;
}

TEST(ContainerChecksum, GivesTheKnownCksumValues) {
    const struct {
        std::string data;
        std::uint32_t crc;
        const char* packed;
    } cases[] = {
        {"123456789", 0x377A6011u, "11 60 7A 37"},
        {"abc", 0x48AA78A2u, "A2 78 AA 48"},
        {"", 0xFFFFFFFFu, "FF FF FF FF"},
        {std::string(1, '\0'), 0xFB3EE248u, "48 E2 3E FB"},
        {std::string(2, '\0'), 0xF67DC491u, "91 C4 7D F6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToHex(c.data));
        EXPECT_EQ(modConvert::ContainerChecksumValue(c.data), c.crc);
        EXPECT_EQ(ToHex(modConvert::ContainerChecksum(c.data)), c.packed);
    }
}

TEST(ContainerChecksum, AgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
    // The fast path takes sixteen bytes at a time; lengths around those
    // blocks and every start offset reach all of its tails.
    const std::string buffer = RandomBytes(200, 7);
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t length = 0; length <= 100; ++length) {
            const std::string_view data = std::string_view(buffer).substr(offset, length);
            ASSERT_EQ(modConvert::ContainerChecksumValue(data), BitwiseCksum(data))
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(ContainerChecksum, EqualsTheCksumProgram) {
    TempDir dir;
    const std::size_t lengths[] = {0, 1, 3, 15, 16, 17, 255, 256, 257, 1000, 65535, 65536, 65537, (1u << 20) + 5};
    for (const std::size_t length : lengths) {
        SCOPED_TRACE(length);
        const std::string data = RandomBytes(length, static_cast<unsigned>(length) + 1);
        const std::string path = dir / ("data-" + std::to_string(length));
        kestrune::test::WriteFile(path, data);
        const auto expected = CksumProgram(path);
        if (!expected) GTEST_SKIP() << "the cksum program cannot be run";
        EXPECT_EQ(modConvert::ContainerChecksumValue(data), *expected);
    }
}
