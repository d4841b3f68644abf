#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The block cipher under clsBlowfish's formats, reachable by the tests.
namespace kestrune::blowfish {

// Our enciphered files need Kestrune; Published checks the rounds against the textbook cipher.
enum class Variant {
    Kestrune,   // box b, entry e = word 4e + b; each packed byte ORs in the ones before it
    Published,  // box b, entry e = word 256b + e; key bytes packed as they are
};

// One keyed cipher state.
struct Tables {
    std::uint32_t P[18];
    std::uint32_t S[4][256];
};

// Fills tables with the initial values from pi in the variant's layout.
void LoadInitialTables(Tables& tables, Variant variant);

// The next key word for P from key bytes j.. (cyclic, j advanced); key not empty.
std::uint32_t PackKeyWord(std::string_view key, std::size_t& j, Variant variant);

// Schedules a non-empty key over the tables as they stand.
void ScheduleKey(Tables& tables, std::string_view key, Variant variant);

// (a + b) mod 2^32.
constexpr std::uint32_t AddMod32(std::uint32_t a, std::uint32_t b) { return a + b; }

// The round function: box 0 takes the most significant byte of x.
inline std::uint32_t F(const Tables& t, std::uint32_t x) {
    return AddMod32(AddMod32(t.S[0][x >> 24], t.S[1][(x >> 16) & 0xFF]) ^ t.S[2][(x >> 8) & 0xFF], t.S[3][x & 0xFF]);
}

// Enciphers the block (L, R) in place: 16 rounds, then the output whitening.
inline void EncryptBlock(const Tables& t, std::uint32_t& L, std::uint32_t& R) {
    std::uint32_t l = L ^ t.P[0];
    std::uint32_t r = R;
    r ^= F(t, l) ^ t.P[1];
    l ^= F(t, r) ^ t.P[2];
    r ^= F(t, l) ^ t.P[3];
    l ^= F(t, r) ^ t.P[4];
    r ^= F(t, l) ^ t.P[5];
    l ^= F(t, r) ^ t.P[6];
    r ^= F(t, l) ^ t.P[7];
    l ^= F(t, r) ^ t.P[8];
    r ^= F(t, l) ^ t.P[9];
    l ^= F(t, r) ^ t.P[10];
    r ^= F(t, l) ^ t.P[11];
    l ^= F(t, r) ^ t.P[12];
    r ^= F(t, l) ^ t.P[13];
    l ^= F(t, r) ^ t.P[14];
    r ^= F(t, l) ^ t.P[15];
    l ^= F(t, r);
    L = r ^ t.P[17];
    R = l ^ t.P[16];
}

// The inverse of EncryptBlock, in place.
inline void DecryptBlock(const Tables& t, std::uint32_t& L, std::uint32_t& R) {
    std::uint32_t l = R ^ t.P[16];
    std::uint32_t r = L ^ t.P[17];
    l ^= F(t, r);
    r ^= F(t, l) ^ t.P[15];
    l ^= F(t, r) ^ t.P[14];
    r ^= F(t, l) ^ t.P[13];
    l ^= F(t, r) ^ t.P[12];
    r ^= F(t, l) ^ t.P[11];
    l ^= F(t, r) ^ t.P[10];
    r ^= F(t, l) ^ t.P[9];
    l ^= F(t, r) ^ t.P[8];
    r ^= F(t, l) ^ t.P[7];
    l ^= F(t, r) ^ t.P[6];
    r ^= F(t, l) ^ t.P[5];
    l ^= F(t, r) ^ t.P[4];
    r ^= F(t, l) ^ t.P[3];
    l ^= F(t, r) ^ t.P[2];
    r ^= F(t, l) ^ t.P[1];
    L = l ^ t.P[0];
    R = r;
}

// DecryptBlock on n independent blocks at once, interleaved round by round.
template <std::size_t n>
inline void DecryptBlocks(const Tables& t, std::uint32_t (&L)[n], std::uint32_t (&R)[n]) {
    std::uint32_t l[n];
    std::uint32_t r[n];
#pragma GCC unroll 8
    for (std::size_t k = 0; k < n; ++k) {
        l[k] = R[k] ^ t.P[16];
        r[k] = L[k] ^ t.P[17];
        l[k] ^= F(t, r[k]);
    }
#pragma GCC unroll 8
    for (int i = 15; i > 1; i -= 2) {
#pragma GCC unroll 8
        for (std::size_t k = 0; k < n; ++k) r[k] ^= F(t, l[k]) ^ t.P[i];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < n; ++k) l[k] ^= F(t, r[k]) ^ t.P[i - 1];
    }
#pragma GCC unroll 8
    for (std::size_t k = 0; k < n; ++k) {
        r[k] ^= F(t, l[k]) ^ t.P[1];
        L[k] = l[k] ^ t.P[0];
        R[k] = r[k];
    }
}

// The big-endian word at bytes[pos..pos+3]; error 9 past the end.
std::uint32_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t pos);

// Stores word big-endian at bytes[pos..pos+3]; error 9 past the end.
void WriteWord(std::uint32_t word, std::span<std::uint8_t> bytes, std::size_t pos);

}  // namespace kestrune::blowfish
