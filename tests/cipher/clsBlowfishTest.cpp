#include "cipher/clsBlowfish.h"
#include "common/Errors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using kestrune::clsBlowfish;
using kestrune::RunError;
using kestrune::test::ReadFile;
using kestrune::test::TempDir;
using kestrune::test::ToHex;
using kestrune::test::WriteFile;

namespace {

constexpr std::int32_t ComponentBase = -2147221504;
const std::string SizeDescriptorText = "Incorrect size descriptor in Blowfish decryption";
const std::string SourceMissingText = "Error in Skipjack EncryptFile procedure (Source file does not exist).";

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string RandomBytes(std::mt19937& random, std::size_t n) {
    std::string bytes(n, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    return bytes;
}

// Chains a buffer with the object's own block operations, with no check of
// the layout: lets a test build or inspect any layout.
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
        if (!encipher) {
            l ^= cl;
            r ^= cr;
        }
        kestrune::blowfish::WriteWord(l, bytes, o);
        kestrune::blowfish::WriteWord(r, bytes, o + 4);
        cl = encipher ? l : inL;
        cr = encipher ? r : inR;
    }
    return buffer;
}

// A layout of size bytes whose descriptor says n, with data filling the rest.
std::string Layout(std::size_t size, std::int32_t n, char filler) {
    std::string buffer(size, filler);
    const auto u = static_cast<std::uint32_t>(n);
    for (int i = 0; i < 4; ++i) buffer[8 + i] = static_cast<char>(u >> (8 * i));
    return buffer;
}

// Two objects that encipher a few blocks alike hold the same tables.
std::string Fingerprint(const clsBlowfish& cipher) {
    std::string out;
    for (std::uint32_t i = 0; i < 3; ++i) {
        std::uint32_t l = i;
        std::uint32_t r = 0x9E3779B9 * i;
        cipher.EncryptBlock(l, r);
        out += std::to_string(l) + "," + std::to_string(r) + ";";
    }
    return out;
}

std::string FingerprintFor(const std::string& key) {
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
    cipher.DecryptBlock(l, r);
    EXPECT_EQ(l, 0u);
    EXPECT_EQ(r, 0u);
}

TEST(clsBlowfish, KeySchedulesOnlyWhenTheTextChangesAndAlwaysFromTheInitialTables) {
    clsBlowfish cipher;
    cipher.Key("alpha");
    cipher.Key("alpha");
    cipher.EncryptString("some data", "alpha");
    cipher.DecryptString(cipher.EncryptString("more", ""), "alpha");
    EXPECT_EQ(cipher.SchedulesRun(), 1);
    EXPECT_EQ(Fingerprint(cipher), FingerprintFor("alpha"));

    cipher.Key("beta");
    EXPECT_EQ(cipher.SchedulesRun(), 2);
    EXPECT_EQ(Fingerprint(cipher), FingerprintFor("beta"));
    cipher.Key("alpha");
    EXPECT_EQ(Fingerprint(cipher), FingerprintFor("alpha"));
    cipher.Key("Alpha");  // keys are case-sensitive
    EXPECT_NE(Fingerprint(cipher), FingerprintFor("alpha"));
}

TEST(clsBlowfish, EmptyKeyIsRefusedAndKeepsTheKeyInForce) {
    clsBlowfish cipher;
    cipher.Key("alpha");
    ExpectRunError([&] { cipher.Key(""); }, 5, "Invalid procedure call or argument");
    EXPECT_EQ(Fingerprint(cipher), FingerprintFor("alpha"));

    // An empty key argument means the key in force, here "alpha".
    const std::string enciphered = cipher.EncryptString("payload", "");
    clsBlowfish other;
    EXPECT_EQ(other.DecryptString(enciphered, "alpha"), "payload");

    // A new object without a key works with the unkeyed tables.
    clsBlowfish unkeyed;
    clsBlowfish unkeyed2;
    EXPECT_EQ(unkeyed2.DecryptString(unkeyed.EncryptString("plain tables", ""), ""), "plain tables");
}

TEST(clsBlowfish, KeyBytesAreUsedCyclicallyOverSeventyTwoPositions) {
    std::string key100;
    for (int i = 0; i < 100; ++i) key100 += static_cast<char>('!' + (i * 7) % 90);
    const std::string key72 = key100.substr(0, 72);
    const std::string key33 = key100.substr(0, 33);
    const std::string key33Repeated = (key33 + key33 + key33).substr(0, 72);
    const std::string a71(71, 'A');
    const struct {
        std::string a;
        std::string b;
        bool same;
    } cases[] = {
        {key100, key72, true},                       // characters 73 to 100 have no effect
        {key100, key72 + "something else", true},
        {a71 + "B", a71 + "D", false},               // the 72nd character counts...
        {a71 + "B", a71 + "C", true},                // ...where it adds bits: 0x41 | 0x42 == 0x41 | 0x43
        {"x", std::string(72, 'x'), true},           // a one-character key repeats
        {"x", "xx", true},
        {"x", "y", false},
        {key33, key33Repeated, true},
        {key33, key33 + key33, true},
        {key33, key33.substr(0, 32), false},
        {"12", "1212", true},
        {"12", "13", true},                          // 0x31 0x32 packs as 0x31 0x33, just as 0x31 0x33 does
        {"12", "21", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a.size());
        SCOPED_TRACE(c.b.size());
        EXPECT_EQ(FingerprintFor(c.a) == FingerprintFor(c.b), c.same);
    }
}

TEST(clsBlowfish, LayoutLengthFollowsThePlaintextLength) {
    const struct {
        std::size_t n;
        std::size_t enciphered;
    } cases[] = {{0, 16}, {1, 16}, {4, 16}, {5, 24}, {11, 24}, {12, 24}, {13, 32}, {20, 32}, {21, 40}, {1000, 1016}};
    clsBlowfish cipher;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        std::vector<std::uint8_t> bytes(c.n, 0x5A);
        cipher.EncryptByte(bytes, "lengths");
        EXPECT_EQ(bytes.size(), c.enciphered);
        EXPECT_EQ(cipher.EncryptString(std::string(c.n, 'x'), "").size(), c.enciphered);
        cipher.DecryptByte(bytes, "");
        EXPECT_EQ(bytes, std::vector<std::uint8_t>(c.n, 0x5A));
    }
}

TEST(clsBlowfish, EncipheredLayoutHoldsRandomValuesSizeDescriptorDataAndZeroFill) {
    clsBlowfish cipher;
    cipher.Key("layout");
    const std::string plain = "ABCDEFGHIJKLM";  // 13 bytes: 12 + 13 = 25, filled to 32
    const std::string layout = Chain(cipher, cipher.EncryptString(plain, ""), false);
    ASSERT_EQ(layout.size(), 32u);
    EXPECT_EQ(ToHex(layout.substr(8, 4)), "0D 00 00 00");
    EXPECT_EQ(layout.substr(12, 13), plain);
    EXPECT_EQ(layout.substr(25), std::string(7, '\0'));
    // Each random value lies in 0 .. 2^31 - 1, stored least significant byte first.
    EXPECT_LT(static_cast<unsigned char>(layout[3]), 0x80);
    EXPECT_LT(static_cast<unsigned char>(layout[7]), 0x80);
}

TEST(clsBlowfish, SameDataTwiceEnciphersDifferentlyAndDeciphersAlike) {
    clsBlowfish cipher;
    const std::string plain(64, 'A');
    const std::string first = cipher.EncryptString(plain, "twice");
    const std::string second = cipher.EncryptString(plain, "twice");
    EXPECT_NE(first, second);
    EXPECT_EQ(cipher.DecryptString(first, ""), plain);
    EXPECT_EQ(cipher.DecryptString(second, ""), plain);
    // Chaining: equal plaintext blocks do not give equal enciphered blocks.
    EXPECT_NE(first.substr(24, 8), first.substr(32, 8));
}

TEST(clsBlowfish, RandomDataRoundTripsUnderSeveralKeys) {
    std::mt19937 random(20240601);
    const std::string keys[] = {"k", "Z9Y8X7W6V5U4T3S2R1Q0PONMLKJIHGFED", std::string("\0\x80\xFF\xA4 key", 8),
                                std::string(100, 'q')};
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 80; ++n) lengths.push_back(n);
    for (std::size_t n = 81; n <= 4100; n += 37) lengths.push_back(n);
    for (const auto& key : keys) {
        clsBlowfish cipher;
        for (const std::size_t n : lengths) {
            SCOPED_TRACE(n);
            const std::string plain = RandomBytes(random, n);
            const std::string enciphered = cipher.EncryptString(plain, key);
            ASSERT_EQ(cipher.DecryptString(enciphered, key), plain);
            // The byte-array form is the same layout.
            std::vector<std::uint8_t> bytes = Bytes(enciphered);
            cipher.DecryptByte(bytes, key);
            ASSERT_EQ(Text(bytes), plain);
            cipher.EncryptByte(bytes, key);
            ASSERT_EQ(cipher.DecryptString(Text(bytes), key), plain);
        }
    }
}

TEST(clsBlowfish, TextWithEveryByteValueSurvives) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    clsBlowfish cipher;
    EXPECT_EQ(cipher.DecryptString(cipher.EncryptString(all + all, "bytes"), "bytes"), all + all);
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
        {16, 0, true},        {16, 4, true},       {16, 5, false},      {16, -1, false},
        {16, -3, false},      {24, 5, true},       {24, 12, true},      {24, 13, false},
        {32, 0x7FFFFFFF, false}, {32, static_cast<std::int32_t>(0x80000000), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " / " + std::to_string(c.n));
        // Random bytes and fill are never looked at: fill the layout with junk.
        const std::string layout = Layout(c.size, c.n, '\x7E');
        const std::string enciphered = Chain(cipher, layout, true);
        if (c.accepted) {
            EXPECT_EQ(cipher.DecryptString(enciphered, ""), std::string(static_cast<std::size_t>(c.n), '\x7E'));
        } else {
            ExpectRunError([&] { cipher.DecryptString(enciphered, ""); }, ComponentBase, SizeDescriptorText);
            // The byte form leaves the whole deciphered buffer behind.
            std::vector<std::uint8_t> bytes = Bytes(enciphered);
            EXPECT_THROW(cipher.DecryptByte(bytes, ""), RunError);
            EXPECT_EQ(Text(bytes), layout);
        }
    }
}

TEST(clsBlowfish, LengthsBelowSixteenOrNotAMultipleOfEightAreOutOfRange) {
    clsBlowfish cipher;
    const std::string valid = cipher.EncryptString("0123456789abcdef", "lengths");  // 32 bytes
    const std::string layout = Chain(cipher, valid, false);
    for (const std::size_t size : {0u, 1u, 7u, 8u, 9u, 15u, 17u, 23u, 31u}) {
        SCOPED_TRACE(size);
        const std::string cut = valid.substr(0, size);
        ExpectRunError([&] { cipher.DecryptString(cut, ""); }, 9, "Subscript out of range");
        // The whole blocks before the fault are deciphered in the caller's array.
        std::vector<std::uint8_t> bytes = Bytes(cut);
        EXPECT_THROW(cipher.DecryptByte(bytes, ""), RunError);
        const std::size_t whole = size / 8 * 8;
        EXPECT_EQ(Text(bytes).substr(0, whole), layout.substr(0, whole));
        EXPECT_EQ(Text(bytes).substr(whole), cut.substr(whole));
    }
}

TEST(clsBlowfish, WrongKeyNeverGivesThePlaintextBack) {
    std::mt19937 random(7);
    clsBlowfish writer;
    clsBlowfish reader;
    int descriptorErrors = 0;
    for (int i = 0; i < 200; ++i) {
        const std::string plain = "[Router Fix]\r\n" + RandomBytes(random, static_cast<std::size_t>(i));
        const std::string enciphered = writer.EncryptString(plain, "right key");
        try {
            EXPECT_NE(reader.DecryptString(enciphered, "wrong key"), plain);
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), ComponentBase);
            ++descriptorErrors;
        }
    }
    // A random descriptor lands in the 8 accepted values only now and then.
    EXPECT_GT(descriptorErrors, 190);
}

TEST(clsBlowfish, ProgressReportsFromZeroToOneHundred) {
    const struct {
        std::size_t plain;
        std::vector<std::int32_t> reports;
    } cases[] = {
        {4, {0, 50, 100}},              // 16 bytes
        {12, {0, 33, 66, 100}},         // 24 bytes
        {20, {0, 25, 50, 75, 100}},     // 32 bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        clsBlowfish cipher;
        std::vector<std::int32_t> reports;
        cipher.Progress = [&](std::int32_t percent) { reports.push_back(percent); };
        const std::string enciphered = cipher.EncryptString(std::string(c.plain, 'p'), "progress");
        EXPECT_EQ(reports, c.reports);
        reports.clear();
        cipher.DecryptString(enciphered, "");
        EXPECT_EQ(reports, c.reports);
        reports.clear();
        std::vector<std::uint8_t> bytes(c.plain, 'p');
        cipher.EncryptByte(bytes, "");
        EXPECT_EQ(reports, c.reports);
        reports.clear();
        cipher.DecryptByte(bytes, "");
        EXPECT_EQ(reports, c.reports);
    }
}

TEST(clsBlowfish, ProgressRisesStrictlyAndAtMostOnceAPercent) {
    for (const std::size_t plain : {std::size_t{100}, std::size_t{5000}, std::size_t{80000}, std::size_t{1} << 20}) {
        SCOPED_TRACE(plain);
        clsBlowfish cipher;
        std::vector<std::int32_t> reports;
        cipher.Progress = [&](std::int32_t percent) { reports.push_back(percent); };
        const std::string enciphered = cipher.EncryptString(std::string(plain, 'p'), "progress");
        for (auto* list : {&reports}) {
            ASSERT_FALSE(list->empty());
            EXPECT_EQ(list->front(), 0);
            EXPECT_EQ(list->back(), 100);
            EXPECT_LE(list->size(), 101u);
            for (std::size_t i = 1; i < list->size(); ++i) EXPECT_LT((*list)[i - 1], (*list)[i]);
        }
        const auto encipherReports = reports;
        reports.clear();
        cipher.DecryptString(enciphered, "");
        EXPECT_EQ(reports, encipherReports);
        // With blocks finer than a percent, every percentage is reported.
        if (plain >= 80000) {
            EXPECT_EQ(reports.size(), 101u);
        }
    }
}

TEST(clsBlowfish, FailedDecipheringStopsBeforeTheClosingHundred) {
    clsBlowfish cipher;
    std::vector<std::int32_t> reports;
    const std::string enciphered = cipher.EncryptString(std::string(100, 'p'), "progress");
    cipher.Progress = [&](std::int32_t percent) { reports.push_back(percent); };
    EXPECT_THROW(cipher.DecryptString(enciphered.substr(0, 100), ""), RunError);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), 0);
    EXPECT_LT(reports.back(), 100);
}

TEST(clsBlowfishFiles, RoundTripThroughFilesIncludingInPlace) {
    TempDir dir;
    std::mt19937 random(3);
    const std::string plain = RandomBytes(random, 5000);
    WriteFile(dir / "plain.bin", plain);
    clsBlowfish cipher;
    cipher.EncryptFile(dir / "plain.bin", dir / "secret.bin", "files");
    EXPECT_EQ(ReadFile(dir / "plain.bin"), plain);
    EXPECT_EQ(ReadFile(dir / "secret.bin").size(), 5016u);
    cipher.DecryptFile(dir / "secret.bin", dir / "back.bin", "files");
    EXPECT_EQ(ReadFile(dir / "back.bin"), plain);

    cipher.EncryptFile(dir / "back.bin", dir / "back.bin", "files");
    EXPECT_EQ(cipher.DecryptString(ReadFile(dir / "back.bin"), ""), plain);
    cipher.DecryptFile(dir / "back.bin", dir / "back.bin", "files");
    EXPECT_EQ(ReadFile(dir / "back.bin"), plain);

    WriteFile(dir / "empty.bin", "");
    cipher.EncryptFile(dir / "empty.bin", dir / "empty.enc", "files");
    EXPECT_EQ(ReadFile(dir / "empty.enc").size(), 16u);
    cipher.DecryptFile(dir / "empty.enc", dir / "empty.out", "files");
    EXPECT_EQ(ReadFile(dir / "empty.out"), "");
}

TEST(clsBlowfishFiles, MissingSourceIsReportedAlikeByBothDirections) {
    TempDir dir;
    clsBlowfish cipher;
    WriteFile(dir / "dest.bin", "keep me");
    ExpectRunError([&] { cipher.EncryptFile(dir / "missing.bin", dir / "dest.bin", "k"); }, ComponentBase,
                   SourceMissingText);
    ExpectRunError([&] { cipher.DecryptFile(dir / "missing.bin", dir / "dest.bin", "k"); }, ComponentBase,
                   SourceMissingText);
    ExpectRunError([&] { cipher.EncryptFile(dir / "no-folder/missing.bin", dir / "new.bin", "k"); }, ComponentBase,
                   SourceMissingText);
    EXPECT_EQ(ReadFile(dir / "dest.bin"), "keep me");
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()), std::vector<std::string>{"dest.bin"});
}

TEST(clsBlowfishFiles, FailedDecipheringKeepsTheOldDestinationWhole) {
    TempDir dir;
    clsBlowfish cipher;
    WriteFile(dir / "dest.txt", "the old content");
    WriteFile(dir / "garbage.bin", std::string(24, 'g'));
    WriteFile(dir / "short.bin", std::string(20, 'g'));
    EXPECT_THROW(cipher.DecryptFile(dir / "garbage.bin", dir / "dest.txt", "key"), RunError);
    ExpectRunError([&] { cipher.DecryptFile(dir / "short.bin", dir / "dest.txt", "key"); }, 9,
                   "Subscript out of range");
    EXPECT_EQ(ReadFile(dir / "dest.txt"), "the old content");
    EXPECT_EQ(ReadFile(dir / "garbage.bin"), std::string(24, 'g'));

    // A destination that cannot be written is the file system's error.
    WriteFile(dir / "plain.txt", "data");
    ExpectRunError([&] { cipher.EncryptFile(dir / "plain.txt", dir / "no-folder/out.bin", "key"); }, 76,
                   "Path not found");
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()),
              (std::vector<std::string>{"dest.txt", "garbage.bin", "plain.txt", "short.bin"}));
}
