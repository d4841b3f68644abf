#include "cipher/BlowfishCore.h"
#include "cipher/PiTables.h"
#include "common/Errors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace bf = kestrune::blowfish;
using bf::Variant;
using kestrune::test::FromHex;

namespace {

std::uint32_t Word(const std::string& bytes, std::size_t pos) {
    return bf::ReadWord(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), pos);
}

bf::Tables Keyed(const std::string& key, Variant variant) {
    bf::Tables t{};
    bf::LoadInitialTables(t, variant);
    bf::ScheduleKey(t, key, variant);
    return t;
}

struct Vector {
    const char* key;  // hexadecimal
    const char* plain;
    const char* cipher;
};

// Checks each vector in both directions with the published configuration.
void CheckPublished(const Vector* begin, const Vector* end) {
    for (const Vector* v = begin; v != end; ++v) {
        SCOPED_TRACE(std::string(v->key) + " " + v->plain);
        const bf::Tables t = Keyed(FromHex(v->key), Variant::Published);
        const std::string plain = FromHex(v->plain);
        const std::string cipher = FromHex(v->cipher);
        std::uint32_t l = Word(plain, 0);
        std::uint32_t r = Word(plain, 4);
        bf::EncryptBlock(t, l, r);
        EXPECT_EQ(l, Word(cipher, 0));
        EXPECT_EQ(r, Word(cipher, 4));
        bf::DecryptBlock(t, l, r);
        EXPECT_EQ(l, Word(plain, 0));
        EXPECT_EQ(r, Word(plain, 4));
    }
}

}  // namespace

TEST(PiTables, HoldTheKnownAnchorsInBothLayouts) {
    bf::Tables ours{};
    bf::LoadInitialTables(ours, Variant::Kestrune);
    bf::Tables published{};
    bf::LoadInitialTables(published, Variant::Published);
    const struct {
        std::uint32_t actual;
        std::uint32_t expected;
    } cases[] = {
        {ours.P[0], 0x243F6A88},        {ours.P[1], 0x85A308D3},         {ours.P[17], 0x8979FB1B},
        {ours.S[0][0], 0xD1310BA6},     {ours.S[0][1], 0xB8E1AFED},      {ours.S[1][0], 0x98DFB5AC},
        {ours.S[2][0], 0x2FFD72DB},     {ours.S[3][0], 0xD01ADFB7},      {ours.S[3][255], 0x3AC372E6},
        {published.P[17], 0x8979FB1B},  {published.S[0][0], 0xD1310BA6}, {published.S[0][1], 0x98DFB5AC},
        {published.S[3][255], 0x3AC372E6},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cases[i].actual, cases[i].expected);
    }
}

TEST(PiTables, LayoutsAgreeOnlyAtEntry85bOfBoxB) {
    bf::Tables ours{};
    bf::LoadInitialTables(ours, Variant::Kestrune);
    bf::Tables published{};
    bf::LoadInitialTables(published, Variant::Published);
    std::vector<std::pair<int, int>> agreeing;
    for (int b = 0; b < 4; ++b) {
        for (int e = 0; e < 256; ++e) {
            if (ours.S[b][e] == published.S[b][e]) agreeing.emplace_back(b, e);
        }
    }
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {1, 85}, {2, 170}, {3, 255}};
    EXPECT_EQ(agreeing, expected);
}

TEST(PublishedCipher, PassesTheEightByteKeyVectors) {
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
        {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
        {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
        {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
        {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
        {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
        {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
        {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
        {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
        {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
        {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
        {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
        {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
        {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
        {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
        {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
        {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
        {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
        {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
        {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
        {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
        {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
        {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
        {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
        {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
    };
    CheckPublished(std::begin(vectors), std::end(vectors));
}

TEST(PublishedCipher, PassesTheVariableKeyLengthVectors) {
    // Keys of 1 to 24 bytes, each a prefix of the same 24 bytes.
    const std::string fullKey = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
    const char* ciphers[] = {
        "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
        "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
        "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
        "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
        "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
    };
    std::vector<std::string> keys;
    std::vector<Vector> vectors;
    keys.reserve(std::size(ciphers));
    for (std::size_t i = 0; i < std::size(ciphers); ++i) keys.push_back(fullKey.substr(0, 2 * (i + 1)));
    for (std::size_t i = 0; i < std::size(ciphers); ++i) vectors.push_back({keys[i].c_str(), "FEDCBA9876543210", ciphers[i]});
    CheckPublished(vectors.data(), vectors.data() + vectors.size());
}

TEST(PublishedCipher, PassesTheTextKeyVectors) {
    const std::string alphabet = kestrune::test::ToHex("abcdefghijklmnopqrstuvwxyz");
    const std::string galt = kestrune::test::ToHex("Who is John Galt?");
    const Vector vectors[] = {
        {alphabet.c_str(), "424C4F5746495348", "324ED0FEF413A203"},
        {galt.c_str(), "FEDCBA9876543210", "CC91732B8022F684"},
    };
    CheckPublished(std::begin(vectors), std::end(vectors));
}

TEST(PackKeyWord, EachByteCarriesTheBitsOfTheOnesBeforeIt) {
    const struct {
        std::string key;
        std::uint32_t ours;
        std::uint32_t published;
    } cases[] = {
        {"\x31\x32", 0x31333333, 0x31323132},                 // 0x31 then 0x32 becomes 0x31 then 0x33
        {"AAAA", 0x41414141, 0x41414141},                     // one repeated character packs alike
        {std::string("\x01\x02\x04\x08", 4), 0x0103070F, 0x01020408},
        {std::string("\x80\x00\x01\x00", 4), 0x80808181, 0x80000100},
        {std::string("\x07\x03\x01\x00", 4), 0x07070707, 0x07030100},  // later bytes hold no new bits
        {"\xFF", 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kestrune::test::ToHex(c.key));
        std::size_t j = 0;
        EXPECT_EQ(bf::PackKeyWord(c.key, j, Variant::Kestrune), c.ours);
        j = 0;
        EXPECT_EQ(bf::PackKeyWord(c.key, j, Variant::Published), c.published);
    }
}

TEST(PackKeyWord, ReadsTheKeyCyclically) {
    const std::string key = "ABCDEF";  // words ABCD, EFAB, CDEF, then ABCD again
    std::size_t j = 0;
    std::vector<std::uint32_t> words;
    for (int i = 0; i < 4; ++i) words.push_back(bf::PackKeyWord(key, j, Variant::Published));
    const std::vector<std::uint32_t> expected = {0x41424344, 0x45464142, 0x43444546, 0x41424344};
    EXPECT_EQ(words, expected);
    EXPECT_EQ(j, 4u);
}

TEST(RoundFunction, TakesBoxZeroFromTheMostSignificantByte) {
    bf::Tables t{};
    t.S[0][0x01] = 0x10000000;
    t.S[1][0x02] = 0x00200000;
    t.S[2][0x03] = 0x00003000;
    t.S[3][0x04] = 0x00000004;
    t.S[0][0xFF] = 0xFFFFFFFF;
    t.S[1][0xFE] = 0x00000002;
    const struct {
        std::uint32_t x;
        std::uint32_t f;
    } cases[] = {
        {0x01020304, 0x10203004},  // ((S0 + S1) ^ S2) + S3
        {0x04030201, 0x00000000},  // the same bytes the other way round hit empty entries
        {0xFFFE0000, 0x00000001},  // the sums wrap modulo 2^32
        {0x01020300, 0x10203000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(bf::F(t, c.x), c.f);
    }
}

TEST(Words, AreBigEndianAndRangeChecked) {
    std::vector<std::uint8_t> bytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    EXPECT_EQ(bf::ReadWord(bytes, 0), 0x12345678u);
    EXPECT_EQ(bf::ReadWord(bytes, 2), 0x56789ABCu);
    bf::WriteWord(0xA1B2C3D4, bytes, 1);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x12, 0xA1, 0xB2, 0xC3, 0xD4, 0xBC}));

    for (const std::size_t pos : {std::size_t{3}, std::size_t{6}, std::size_t{7}, std::size_t{1} << 40}) {
        SCOPED_TRACE(pos);
        try {
            bf::ReadWord(bytes, pos);
            ADD_FAILURE() << "read past the end";
        } catch (const kestrune::RunError& e) {
            EXPECT_EQ(e.number(), 9);
            EXPECT_EQ(e.description(), "Subscript out of range");
        }
        EXPECT_THROW(bf::WriteWord(0, bytes, pos), kestrune::RunError);
    }
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x12, 0xA1, 0xB2, 0xC3, 0xD4, 0xBC}));
}

TEST(Blocks, InterleavedDecryptionMatchesOneBlockAtATime) {
    std::mt19937 random(99);
    const bf::Tables t = Keyed("interleave", Variant::Kestrune);
    for (int round = 0; round < 50; ++round) {
        std::uint32_t l[4];
        std::uint32_t r[4];
        std::uint32_t singleL[4];
        std::uint32_t singleR[4];
        for (int k = 0; k < 4; ++k) {
            l[k] = singleL[k] = random();
            r[k] = singleR[k] = random();
            bf::DecryptBlock(t, singleL[k], singleR[k]);
        }
        bf::DecryptBlocks<4>(t, l, r);
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(l[k], singleL[k]);
            ASSERT_EQ(r[k], singleR[k]);
        }
    }
}

// The chained loop against one EncryptBlock per block, with random tables so
// that every entry of every box can be reached; both ways of taking box 1's
// index where the processor has BEXTR.
TEST(Blocks, ChainedEncipheringMatchesOneBlockAtATime) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        bf::Tables t{};
        for (auto& p : t.P) p = random();
        for (auto& box : t.S) {
            for (auto& e : box) e = random();
        }
        std::vector<std::uint8_t> plain(8 * (1 + random() % 64));
        for (auto& b : plain) b = static_cast<std::uint8_t>(random());

        std::vector<std::uint8_t> expected = plain;
        std::uint32_t cl = 0;
        std::uint32_t cr = 0;
        for (std::size_t o = 0; o < expected.size(); o += 8) {
            cl ^= bf::ReadWord(expected, o);
            cr ^= bf::ReadWord(expected, o + 4);
            bf::EncryptBlock(t, cl, cr);
            bf::WriteWord(cl, expected, o);
            bf::WriteWord(cr, expected, o + 4);
        }

        std::vector<std::size_t> offsets;
        std::vector<std::uint8_t> portable = plain;
        bf::EncipherChain<bf::PortableIndex>(t, portable.data(), portable.size(),
                                             [&](std::size_t o) { offsets.push_back(o); });
        ASSERT_EQ(portable, expected);
        ASSERT_EQ(offsets.size(), plain.size() / 8);
        for (std::size_t k = 0; k < offsets.size(); ++k) ASSERT_EQ(offsets[k], 8 * k);
#ifdef KESTRUNE_BLOWFISH_BEXTR
        if (bf::HasBextr()) {
            std::vector<std::uint8_t> bextr = plain;
            bf::EncipherChain<bf::BextrIndex>(t, bextr.data(), bextr.size(), [](std::size_t) {});
            ASSERT_EQ(bextr, expected);
            std::uint32_t l[4];
            std::uint32_t r[4];
            for (int k = 0; k < 4; ++k) {
                l[k] = random();
                r[k] = random();
            }
            std::uint32_t singleL[4];
            std::uint32_t singleR[4];
            std::copy(l, l + 4, singleL);
            std::copy(r, r + 4, singleR);
            bf::DecryptBlocks<4, bf::BextrIndex>(t, l, r);
            for (int k = 0; k < 4; ++k) {
                bf::DecryptBlock(t, singleL[k], singleR[k]);
                ASSERT_EQ(l[k], singleL[k]);
                ASSERT_EQ(r[k], singleR[k]);
            }
        }
#endif
    }
}
