#include "cipher/BlowfishCore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

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
