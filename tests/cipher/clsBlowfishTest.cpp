#include "cipher/clsBlowfish.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace bf = kestrune::blowfish;
using kestrune::clsBlowfish;
using kestrune::test::ExpectRunError;

namespace {

// Chains one block at a time with the object's block operations, so that a test can build or read any layout.
std::string Chain(const clsBlowfish& cipher, std::string buffer, bool encipher) {
    const std::span bytes(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size());
    std::uint32_t cl = 0;
    std::uint32_t cr = 0;
    for (std::size_t o = 0; o + 8 <= bytes.size(); o += 8) {
        const std::uint32_t inL = bf::ReadWord(bytes, o);
        const std::uint32_t inR = bf::ReadWord(bytes, o + 4);
        std::uint32_t l = encipher ? inL ^ cl : inL;
        std::uint32_t r = encipher ? inR ^ cr : inR;
        encipher ? cipher.EncryptBlock(l, r) : cipher.DecryptBlock(l, r);
        bf::WriteWord(encipher ? l : l ^ cl, bytes, o);
        bf::WriteWord(encipher ? r : r ^ cr, bytes, o + 4);
        cl = encipher ? l : inL;
        cr = encipher ? r : inR;
    }
    return buffer;
}

// The zero block enciphered by a new object given key (none when empty): equal for equal tables.
std::uint64_t Fingerprint(const std::string& key) {
    clsBlowfish cipher;
    if (!key.empty()) cipher.Key(key);
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    cipher.EncryptBlock(l, r);
    return std::uint64_t{l} << 32 | r;
}

}  // namespace

// The same rounds and schedule, with the published box layout and key packing.
TEST(PublishedCipher, PassesThePublishedVectors) {
    const std::tuple<std::string, std::uint64_t, std::uint64_t> vectors[] = {  // key in hexadecimal, plain, cipher
        {"0000000000000000", 0x0000000000000000, 0x4EF997456198DD78},
        {"FEDCBA9876543210", 0x0123456789ABCDEF, 0x0ACEAB0FC6A0A28D},
        {"F0E1D2", 0xFEDCBA9876543210, 0xE9C2B70A1BC65CF3},
        {kestrune::test::ToHex("abcdefghijklmnopqrstuvwxyz"), 0x424C4F5746495348, 0x324ED0FEF413A203},
    };
    for (const auto& [key, plain, cipher] : vectors) {
        bf::Tables t{};
        bf::LoadInitialTables(t, bf::Variant::Published);
        bf::ScheduleKey(t, kestrune::test::FromHex(key), bf::Variant::Published);
        std::uint32_t l = plain >> 32, r = static_cast<std::uint32_t>(plain);
        bf::EncryptBlock(t, l, r);
        EXPECT_EQ(std::uint64_t{l} << 32 | r, cipher) << key;
    }
}

TEST(clsBlowfish, ANewObjectEnciphersTheZeroBlockWithItsOwnBoxLayout) {
    EXPECT_EQ(Fingerprint(""), 0xF155B7CFC1E56C7Bu);
}

TEST(clsBlowfish, KeyBytesAreUsedCyclicallyOverSeventyTwoPositions) {
    std::string key100;
    for (int i = 0; i < 100; ++i) key100 += static_cast<char>('!' + (i * 7) % 90);
    const std::string key33 = key100.substr(0, 33);
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {key100, key100.substr(0, 72), true},                             // characters 73 to 100 have no effect
        {std::string(71, 'A') + "B", std::string(71, 'A') + "D", false},  // the 72nd character counts
        {"x", std::string(72, 'x'), true},                                // a one-character key repeats
        {key33, key33 + key33 + key33.substr(0, 6), true},
        {"12", "13", true},  // 0x31 0x32 packs as 0x31 0x33, just as 0x31 0x33 does
    };
    for (const auto& c : cases) EXPECT_EQ(Fingerprint(c.a) == Fingerprint(c.b), c.same) << c.a << " / " << c.b;
    ExpectRunError([] { clsBlowfish().Key(""); }, 5, "Invalid procedure call or argument");
}

// The layout: random values below 2^31, size descriptor, data, zero fill; one schedule per key.
TEST(clsBlowfish, EnciphersTheLayoutChainedAsOneBlockAtATimeWouldAndBack) {
    std::mt19937 random(20240601);
    clsBlowfish cipher;
    cipher.Key("layout");
    const std::pair<std::size_t, std::size_t> lengths[] = {{0, 16},  {4, 16},    {5, 24},   {12, 24},
                                                           {13, 32}, {100, 112}, {1000, 1016}};
    for (const auto& [n, size] : lengths) {
        std::string plain(n, '\0');
        for (auto& b : plain) b = static_cast<char>(random());
        const std::string enciphered = cipher.EncryptString(plain, "layout");
        ASSERT_EQ(enciphered.size(), size) << n;
        const std::string layout = Chain(cipher, enciphered, false);
        EXPECT_LT(static_cast<unsigned char>(layout[3]) | static_cast<unsigned char>(layout[7]), 0x80) << n;
        const std::string descriptor{static_cast<char>(n), static_cast<char>(n >> 8), '\0', '\0'};
        EXPECT_EQ(layout.substr(8), descriptor + plain + std::string(size - 12 - n, '\0')) << n;
        EXPECT_EQ(Chain(cipher, layout, true), enciphered) << n;
        EXPECT_EQ(cipher.DecryptString(enciphered, "layout"), plain) << n;
    }
    EXPECT_NE(cipher.EncryptString("same", ""), cipher.EncryptString("same", ""));
    EXPECT_EQ(cipher.SchedulesRun(), 1);
}

TEST(clsBlowfish, DecipheringChecksTheSizeDescriptorAndTheLength) {
    clsBlowfish cipher;
    cipher.Key("descriptor");
    // Size N, descriptor n, accepted (N - n from 12 to 19); random values and fill are never looked at.
    const std::tuple<std::size_t, std::int32_t, bool> cases[] = {
        {32, 20, true}, {32, 13, true}, {16, 0, true}, {32, 21, false}, {32, 12, false}, {16, -3, false}};
    for (const auto& [size, n, accepted] : cases) {
        std::string layout(size, '\x7E');
        for (int i = 0; i < 4; ++i) layout[8 + i] = static_cast<char>(static_cast<std::uint32_t>(n) >> (8 * i));
        const std::string enciphered = Chain(cipher, layout, true);
        if (accepted) {
            EXPECT_EQ(cipher.DecryptString(enciphered, ""), std::string(static_cast<std::size_t>(n), '\x7E')) << n;
        } else {
            ExpectRunError([&] { cipher.DecryptString(enciphered, ""); }, -2147221504,
                           "Incorrect size descriptor in Blowfish decryption");
        }
    }
    for (const std::size_t size : {0, 8, 9, 17, 31}) {
        ExpectRunError([&] { cipher.DecryptString(std::string(size, 'x'), ""); }, 9, "Subscript out of range");
    }
}

TEST(clsBlowfish, ProgressReportsZeroFiftyAndOneHundredOverTwoBlocksBothWays) {
    clsBlowfish cipher;
    std::vector<std::int32_t> reports;
    cipher.Progress = [&](std::int32_t percent) { reports.push_back(percent); };
    std::vector<std::uint8_t> bytes(4, 'p');  // 16 bytes enciphered
    cipher.EncryptByte(bytes, "progress");
    cipher.DecryptByte(bytes, "");
    EXPECT_EQ(reports, (std::vector<std::int32_t>{0, 50, 100, 0, 50, 100}));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(4, 'p'));
}

TEST(clsBlowfish, FilesRoundTripInPlaceAndAMissingSourceWritesNothing) {
    kestrune::test::TempDir dir;
    kestrune::test::WriteFile(dir / "data", "file content");
    clsBlowfish cipher;
    cipher.EncryptFile(dir / "data", dir / "data", "files");
    EXPECT_EQ(kestrune::test::ReadFile(dir / "data").size(), 24u);
    cipher.DecryptFile(dir / "data", dir / "data", "");
    EXPECT_EQ(kestrune::test::ReadFile(dir / "data"), "file content");
    const std::string missing = "Error in Skipjack EncryptFile procedure (Source file does not exist).";
    ExpectRunError([&] { cipher.EncryptFile(dir / "missing", dir / "out", ""); }, -2147221504, missing);
    ExpectRunError([&] { cipher.DecryptFile(dir / "missing", dir / "out", ""); }, -2147221504, missing);
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()), std::vector<std::string>{"data"});
}
