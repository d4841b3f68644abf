#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Box 1's index in the round function, the byte at bits 16-23 of its input:
// a shift and a mask anywhere.
struct PortableIndex {
    static std::uint32_t Byte2(std::uint32_t x) { return (x >> 16) & 0xFF; }
};

#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRUNE_BLOWFISH_BEXTR 1
// The same byte in one BMI1 instruction instead of two. Chained enciphering
// waits on every round in turn, and this byte is the last of the four indexes
// to be ready, so the saved cycle shortens each round. Only where HasBextr().
struct BextrIndex {
    static std::uint64_t Byte2(std::uint32_t x) {
        // A 64-bit result, written through its 32-bit register (which clears
        // the upper half), so the compiler adds no zero-extension of its own.
        std::uint64_t byte;
        __asm__("bextr %k2, %k1, %k0" : "=r"(byte) : "r"(x), "r"(0x0810u));
        return byte;
    }
};
#endif

// True when the processor runs BextrIndex.
bool HasBextr();

// The round function: box 0 takes the most significant byte of x.
template <class Index = PortableIndex>
inline std::uint32_t F(const Tables& t, std::uint32_t x) {
    return AddMod32(AddMod32(t.S[0][x >> 24], t.S[1][Index::Byte2(x)]) ^ t.S[2][(x >> 8) & 0xFF], t.S[3][x & 0xFF]);
}

// The 16 rounds between the input and output whitening, in place. Always
// inlined: called out of line, the two halves would travel through memory.
template <class Index = PortableIndex>
[[gnu::always_inline]] inline void Rounds(const Tables& t, std::uint32_t& l, std::uint32_t& r) {
    r ^= F<Index>(t, l) ^ t.P[1];
    l ^= F<Index>(t, r) ^ t.P[2];
    r ^= F<Index>(t, l) ^ t.P[3];
    l ^= F<Index>(t, r) ^ t.P[4];
    r ^= F<Index>(t, l) ^ t.P[5];
    l ^= F<Index>(t, r) ^ t.P[6];
    r ^= F<Index>(t, l) ^ t.P[7];
    l ^= F<Index>(t, r) ^ t.P[8];
    r ^= F<Index>(t, l) ^ t.P[9];
    l ^= F<Index>(t, r) ^ t.P[10];
    r ^= F<Index>(t, l) ^ t.P[11];
    l ^= F<Index>(t, r) ^ t.P[12];
    r ^= F<Index>(t, l) ^ t.P[13];
    l ^= F<Index>(t, r) ^ t.P[14];
    r ^= F<Index>(t, l) ^ t.P[15];
    l ^= F<Index>(t, r);
}

// Enciphers the block (L, R) in place: 16 rounds, then the output whitening.
inline void EncryptBlock(const Tables& t, std::uint32_t& L, std::uint32_t& R) {
    std::uint32_t l = L ^ t.P[0];
    std::uint32_t r = R;
    Rounds(t, l, r);
    L = r ^ t.P[17];
    R = l ^ t.P[16];
}

// The big-endian word at p, in one load (byte by byte, the compiler builds
// the stores of a block from dozens of shifts).
inline std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    return word;
}

// Stores word big-endian at p, in one store.
inline void StoreBigEndian(std::uint32_t word, std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    std::memcpy(p, &word, sizeof word);
}

// Chains the size bytes at data (a multiple of 8) in place, each block
// enciphered after the previous cipher block was XORed in, from a zero start;
// afterBlock(offset) follows each block. Words are big-endian.
template <class Index, class AfterBlock>
inline void EncipherChain(const Tables& t, std::uint8_t* data, std::size_t size, AfterBlock&& afterBlock) {
    // The previous block's halves before their output whitening, which is
    // folded into the constants, so one XOR links a block to the next.
    // Starting them at the whitening words makes the first chain zero.
    std::uint32_t lastR = t.P[17];
    std::uint32_t lastL = t.P[16];
    const std::uint32_t intoL = t.P[0] ^ t.P[17];
    const std::uint32_t intoR = t.P[16];
    for (std::size_t offset = 0; offset < size; offset += 8) {
        std::uint8_t* block = data + offset;
        const std::uint32_t plainL = LoadBigEndian(block);
        const std::uint32_t plainR = LoadBigEndian(block + 4);
        std::uint32_t l = (plainL ^ intoL) ^ lastR;
        std::uint32_t r = (plainR ^ intoR) ^ lastL;
        Rounds<Index>(t, l, r);
        lastR = r;
        lastL = l;
        const std::uint32_t outL = r ^ t.P[17];
        const std::uint32_t outR = l ^ t.P[16];
        StoreBigEndian(outL, block);
        StoreBigEndian(outR, block + 4);
        afterBlock(offset);
    }
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
template <std::size_t n, class Index = PortableIndex>
inline void DecryptBlocks(const Tables& t, std::uint32_t (&L)[n], std::uint32_t (&R)[n]) {
    std::uint32_t l[n];
    std::uint32_t r[n];
#pragma GCC unroll 8
    for (std::size_t k = 0; k < n; ++k) {
        l[k] = R[k] ^ t.P[16];
        r[k] = L[k] ^ t.P[17];
        l[k] ^= F<Index>(t, r[k]);
    }
#pragma GCC unroll 8
    for (int i = 15; i > 1; i -= 2) {
#pragma GCC unroll 8
        for (std::size_t k = 0; k < n; ++k) r[k] ^= F<Index>(t, l[k]) ^ t.P[i];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < n; ++k) l[k] ^= F<Index>(t, r[k]) ^ t.P[i - 1];
    }
#pragma GCC unroll 8
    for (std::size_t k = 0; k < n; ++k) {
        r[k] ^= F<Index>(t, l[k]) ^ t.P[1];
        L[k] = l[k] ^ t.P[0];
        R[k] = r[k];
    }
}

// The big-endian word at bytes[pos..pos+3]; error 9 past the end.
std::uint32_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t pos);

// Stores word big-endian at bytes[pos..pos+3]; error 9 past the end.
void WriteWord(std::uint32_t word, std::span<std::uint8_t> bytes, std::size_t pos);

}  // namespace kestrune::blowfish
