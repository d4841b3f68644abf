#include "cipher/clsBlowfish.h"
#include "common/Errors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>

using kestrune::clsBlowfish;
using kestrune::RunError;
using kestrune::test::ReadFile;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

constexpr std::int32_t ComponentBase = -2147221504;
const std::string SizeDescriptorText = "Incorrect size descriptor in Blowfish decryption";
const std::string SourceMissingText = "Error in Skipjack EncryptFile procedure (Source file does not exist).";

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Chains a buffer with the object's own block operations and no check of
// the layout, so that a test can build or inspect any layout.
std::string Chain(const clsBlowfish& cipher, std::string buffer, bool encipher) {
    const std::span bytes(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size());
    std::uint32_t cl = 0;
    std::uint32_t cr = 0;
    for (std::size_t o = 0; o + 8 <= bytes.size(); o += 8) {
        const std::uint32_t inL = kestrune::blowfish::ReadWord(bytes, o);
        const std::uint32_t inR = kestrune::blowfish::ReadWord(bytes, o + 4);
        std::uint32_t l = encipher ? inL ^ cl : inL;
        std::uint32_t r = encipher ? inR ^ cr : inR;
        encipher ? cipher.EncryptBlock(l, r) : cipher.DecryptBlock(l, r);
        kestrune::blowfish::WriteWord(encipher ? l : l ^ cl, bytes, o);
        kestrune::blowfish::WriteWord(encipher ? r : r ^ cr, bytes, o + 4);
        cl = encipher ? l : inL;
        cr = encipher ? r : inR;
    }
    return buffer;
}

// The zero block enciphered: equal for equal tables.
std::uint64_t Fingerprint(const clsBlowfish& cipher) {
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    cipher.EncryptBlock(l, r);
    return std::uint64_t{l} << 32 | r;
}

std::uint64_t FingerprintFor(const std::string& key) {
    clsBlowfish cipher;
    cipher.Key(key);
    return Fingerprint(cipher);
}

template <typename F>
void ExpectRunError(F&& f, std::int32_t number, const std::string& description) {
    try {
        f();
        ADD_FAILURE() << "no error raised";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.description(), description);
    }
}

}  // namespace

TEST(clsBlowfish, NewObjectEnciphersTheZeroBlockWithItsOwnLayout) {
    clsBlowfish cipher;
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    cipher.EncryptBlock(l, r);
    EXPECT_EQ(l, 0xF155B7CFu);
    EXPECT_EQ(r, 0xC1E56C7Bu);
}

TEST(clsBlowfish, KeySchedulesOnceFromTheInitialTablesAndRefusesAnEmptyKey) {
    clsBlowfish cipher;
    cipher.Key("alpha");
    cipher.EncryptString("some data", "alpha");
    const std::string enciphered = cipher.EncryptString("payload", "");  // "" keeps the key in force
    EXPECT_EQ(cipher.SchedulesRun(), 1);
    ExpectRunError([&] { cipher.Key(""); }, 5, "Invalid procedure call or argument");
    EXPECT_EQ(Fingerprint(cipher), FingerprintFor("alpha"));
    cipher.Key("beta");
    cipher.Key("alpha");
    EXPECT_EQ(Fingerprint(cipher), FingerprintFor("alpha"));
    EXPECT_EQ(clsBlowfish().DecryptString(enciphered, "alpha"), "payload");
}

TEST(clsBlowfish, KeyBytesAreUsedCyclicallyOverSeventyTwoPositions) {
    std::string key100;
    for (int i = 0; i < 100; ++i) key100 += static_cast<char>('!' + (i * 7) % 90);
    const std::string key33 = key100.substr(0, 33);
    const std::string a71(71, 'A');
    const struct {
        std::string a;
        std::string b;
        bool same;
    } cases[] = {
        {key100, key100.substr(0, 72), true},               // characters 73 to 100 have no effect
        {a71 + "B", a71 + "D", false},                      // the 72nd character counts
        {"x", std::string(72, 'x'), true},                  // a one-character key repeats
        {key33, (key33 + key33 + key33).substr(0, 72), true},
        {key33, key33.substr(0, 32), false},
        {"12", "13", true},                                 // 0x31 0x32 packs as 0x31 0x33, just as 0x31 0x33 does
        {"12", "21", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a.size() << " / " << c.b.size());
        EXPECT_EQ(FingerprintFor(c.a) == FingerprintFor(c.b), c.same);
    }
}

TEST(clsBlowfish, LayoutHoldsRandomValuesSizeDescriptorDataAndZeroFill) {
    const struct {
        std::size_t n;
        std::size_t enciphered;
    } lengths[] = {{0, 16}, {4, 16}, {5, 24}, {12, 24}, {13, 32}};
    clsBlowfish cipher;
    for (const auto& c : lengths) {
        SCOPED_TRACE(c.n);
        std::vector<std::uint8_t> bytes(c.n, 0x5A);
        cipher.EncryptByte(bytes, "layout");
        EXPECT_EQ(bytes.size(), c.enciphered);
        EXPECT_EQ(cipher.EncryptString(std::string(c.n, 'x'), "").size(), c.enciphered);
    }
    const std::string plain = "ABCDEFGHIJKLM";  // 12 + 13 = 25 bytes, filled to 32
    const std::string first = cipher.EncryptString(plain, "");
    const std::string layout = Chain(cipher, first, false);
    EXPECT_EQ(kestrune::test::ToHex(layout.substr(8, 4)), "0D 00 00 00");
    EXPECT_EQ(layout.substr(12), plain + std::string(7, '\0'));
    // Each random value lies in 0 .. 2^31 - 1, least significant byte first, and differs each time.
    EXPECT_LT(static_cast<unsigned char>(layout[3]), 0x80);
    EXPECT_LT(static_cast<unsigned char>(layout[7]), 0x80);
    EXPECT_NE(cipher.EncryptString(plain, ""), first);
}

TEST(clsBlowfish, RandomDataRoundTripsUnderSeveralKeys) {
    std::mt19937 random(20240601);
    const std::string keys[] = {"k", "Z9Y8X7W6V5U4T3S2R1Q0PONMLKJIHGFED", std::string("\0\x80\xFF\xA4 key", 8),
                                std::string(100, 'q')};
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 40; ++n) lengths.push_back(n);
    for (std::size_t n = 41; n <= 4100; n += 97) lengths.push_back(n);
    for (const auto& key : keys) {
        clsBlowfish cipher;
        for (const std::size_t n : lengths) {
            SCOPED_TRACE(n);
            std::string plain(n, '\0');
            for (auto& b : plain) b = static_cast<char>(random());
            const std::string enciphered = cipher.EncryptString(plain, key);
            ASSERT_EQ(cipher.DecryptString(enciphered, key), plain);
            std::vector<std::uint8_t> bytes = Bytes(enciphered);
            cipher.DecryptByte(bytes, key);
            ASSERT_EQ(Text(bytes), plain);
            cipher.EncryptByte(bytes, key);
            ASSERT_EQ(cipher.DecryptString(Text(bytes), key), plain);
        }
    }
}

TEST(clsBlowfish, SizeDescriptorMustLeaveTwelveToNineteenBytes) {
    clsBlowfish cipher;
    cipher.Key("descriptor");
    const struct {
        std::size_t size;
        std::int32_t n;
        bool accepted;
    } cases[] = {
        {32, 32 - 11, false}, {32, 32 - 12, true}, {32, 32 - 19, true}, {32, 32 - 20, false},
        {16, 0, true},        {16, -3, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " / " + std::to_string(c.n));
        // The random values and the fill are never looked at: junk will do.
        std::string layout(c.size, '\x7E');
        for (int i = 0; i < 4; ++i) layout[8 + i] = static_cast<char>(static_cast<std::uint32_t>(c.n) >> (8 * i));
        const std::string enciphered = Chain(cipher, layout, true);
        if (c.accepted) {
            EXPECT_EQ(cipher.DecryptString(enciphered, ""), std::string(static_cast<std::size_t>(c.n), '\x7E'));
        } else {
            ExpectRunError([&] { cipher.DecryptString(enciphered, ""); }, ComponentBase, SizeDescriptorText);
        }
    }
}

TEST(clsBlowfish, LengthsBelowSixteenOrNotAMultipleOfEightAreOutOfRange) {
    clsBlowfish cipher;
    const std::string valid = cipher.EncryptString("0123456789abcdef", "lengths");  // 32 bytes
    const std::string layout = Chain(cipher, valid, false);
    for (const std::size_t size : {0, 8, 9, 17, 31}) {
        SCOPED_TRACE(size);
        const std::string cut = valid.substr(0, size);
        ExpectRunError([&] { cipher.DecryptString(cut, ""); }, 9, "Subscript out of range");
        // The whole blocks before the fault are deciphered in the caller's array.
        std::vector<std::uint8_t> bytes = Bytes(cut);
        EXPECT_THROW(cipher.DecryptByte(bytes, ""), RunError);
        const std::size_t whole = size / 8 * 8;
        EXPECT_EQ(Text(bytes), layout.substr(0, whole) + cut.substr(whole));
    }
}

TEST(clsBlowfish, ProgressRisesStrictlyFromZeroToOneHundredAndStopsShortOnFailure) {
    clsBlowfish cipher;
    std::vector<std::int32_t> reports;
    cipher.Progress = [&](std::int32_t percent) { reports.push_back(percent); };
    const auto take = [&] { return std::exchange(reports, {}); };
    const struct {
        std::size_t plain;
        std::vector<std::int32_t> reports;
    } small[] = {{4, {0, 50, 100}}, {12, {0, 33, 66, 100}}};  // 16 and 24 bytes, in every form
    for (const auto& c : small) {
        const std::string enciphered = cipher.EncryptString(std::string(c.plain, 'p'), "progress");
        EXPECT_EQ(take(), c.reports);
        cipher.DecryptString(enciphered, "");
        EXPECT_EQ(take(), c.reports);
        std::vector<std::uint8_t> bytes(c.plain, 'p');
        cipher.EncryptByte(bytes, "");
        EXPECT_EQ(take(), c.reports);
        cipher.DecryptByte(bytes, "");
        EXPECT_EQ(take(), c.reports);
    }
    // Blocks coarser than, close to and finer than a percent; the counts pin the threshold's rounding.
    const struct {
        std::size_t plain;
        std::size_t reports;
    } large[] = {{100, 15}, {733, 93}, {1 << 20, 101}};
    for (const auto& c : large) {
        SCOPED_TRACE(c.plain);
        const std::string enciphered = cipher.EncryptString(std::string(c.plain, 'p'), "");
        const auto encipherReports = take();
        ASSERT_EQ(encipherReports.size(), c.reports);
        EXPECT_EQ(encipherReports.front(), 0);
        EXPECT_EQ(encipherReports.back(), 100);
        for (std::size_t i = 1; i < encipherReports.size(); ++i) EXPECT_LT(encipherReports[i - 1], encipherReports[i]);
        cipher.DecryptString(enciphered, "");
        EXPECT_EQ(take(), encipherReports);
        EXPECT_THROW(cipher.DecryptString(enciphered.substr(0, 100), ""), RunError);
        EXPECT_LT(take().back(), 100);
    }
}

TEST(clsBlowfishFiles, RoundTripThroughFilesIncludingInPlace) {
    TempDir dir;
    const std::string plain(5000, '\xA4');
    WriteFile(dir / "plain.bin", plain);
    clsBlowfish cipher;
    cipher.EncryptFile(dir / "plain.bin", dir / "secret.bin", "files");
    EXPECT_EQ(cipher.DecryptString(ReadFile(dir / "secret.bin"), ""), plain);
    cipher.DecryptFile(dir / "secret.bin", dir / "secret.bin", "files");
    EXPECT_EQ(ReadFile(dir / "secret.bin"), plain);
}

TEST(clsBlowfishFiles, FailuresKeepTheOldDestinationWhole) {
    TempDir dir;
    clsBlowfish cipher;
    WriteFile(dir / "dest.txt", "the old content");
    WriteFile(dir / "short.bin", std::string(20, 'g'));
    ExpectRunError([&] { cipher.EncryptFile(dir / "missing.bin", dir / "dest.txt", "k"); }, ComponentBase,
                   SourceMissingText);
    ExpectRunError([&] { cipher.DecryptFile(dir / "missing.bin", dir / "dest.txt", "k"); }, ComponentBase,
                   SourceMissingText);
    ExpectRunError([&] { cipher.DecryptFile(dir / "short.bin", dir / "dest.txt", "key"); }, 9,
                   "Subscript out of range");
    EXPECT_EQ(ReadFile(dir / "dest.txt"), "the old content");
    // A destination that cannot be written is the file system's error.
    ExpectRunError([&] { cipher.EncryptFile(dir / "dest.txt", dir / "no-folder/out.bin", "key"); }, 76,
                   "Path not found");
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()),
              (std::vector<std::string>{"dest.txt", "short.bin"}));
}
