#include "cipher/BlowfishCore.h"

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

}  // namespace

TEST(PiTables, LayoutsAgreeOnlyOnTheDiagonalOfEachBox) {
    bf::Tables ours{};
    bf::Tables published{};
    bf::LoadInitialTables(ours, Variant::Kestrune);
    bf::LoadInitialTables(published, Variant::Published);
    std::vector<std::pair<int, int>> agreeing;
    for (int b = 0; b < 4; ++b) {
        for (int e = 0; e < 256; ++e) {
            if (ours.S[b][e] == published.S[b][e]) agreeing.emplace_back(b, e);
        }
    }
    EXPECT_EQ(agreeing, (std::vector<std::pair<int, int>>{{0, 0}, {1, 85}, {2, 170}, {3, 255}}));
    EXPECT_EQ(ours.S[0][1], 0xB8E1AFEDu);
    EXPECT_EQ(published.S[0][1], 0x98DFB5ACu);
}

TEST(PublishedCipher, PassesThePublishedVectorsBothWays) {
    const std::string alphabet = kestrune::test::ToHex("abcdefghijklmnopqrstuvwxyz");
    const struct {
        std::string key;  // hexadecimal
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
        {"F0E1D2", "FEDCBA9876543210", "E9C2B70A1BC65CF3"},
        {alphabet, "424C4F5746495348", "324ED0FEF413A203"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.key + " " + v.plain);
        bf::Tables t{};
        bf::LoadInitialTables(t, Variant::Published);
        bf::ScheduleKey(t, FromHex(v.key), Variant::Published);
        const std::string plain = FromHex(v.plain);
        const std::string cipher = FromHex(v.cipher);
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

TEST(PackKeyWord, OursOrsEachByteIntoTheNextPublishedPacksThemAsTheyAre) {
    const struct {
        std::string key;
        std::uint32_t ours;
        std::uint32_t published;
    } cases[] = {
        {"\x31\x32", 0x31333333, 0x31323132},  // 0x31 then 0x32 becomes 0x31 then 0x33
        {std::string("\x01\x02\x04\x08", 4), 0x0103070F, 0x01020408},
        {std::string("\x80\x00\x01\x00", 4), 0x80808181, 0x80000100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kestrune::test::ToHex(c.key));
        std::size_t j = 0;
        EXPECT_EQ(bf::PackKeyWord(c.key, j, Variant::Kestrune), c.ours);
        j = 0;
        EXPECT_EQ(bf::PackKeyWord(c.key, j, Variant::Published), c.published);
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
