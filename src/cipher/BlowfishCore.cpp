#include "cipher/BlowfishCore.h"

#include "cipher/PiTables.h"
#include "common/Errors.h"

#include <cstring>

namespace kestrune::blowfish {

void LoadInitialTables(Tables& tables, Variant variant) {
    std::memcpy(tables.P, PiSubkeys, sizeof tables.P);
    if (variant == Variant::Published) {
        std::memcpy(tables.S, PiBoxWords, sizeof tables.S);
        return;
    }
    for (int b = 0; b < 4; ++b) {
        for (int e = 0; e < 256; ++e) tables.S[b][e] = PiBoxWords[4 * e + b];
    }
}

std::uint32_t PackKeyWord(std::string_view key, std::size_t& j, Variant variant) {
    std::uint32_t d = 0;
    for (int i = 0; i < 4; ++i) {
        // Our packing shifts the word up but keeps its lowest byte in place,
        // so each new byte lands on top of the bits of the ones before it.
        d = variant == Variant::Kestrune ? (d << 8) | (d & 0xFF) : d << 8;
        d |= static_cast<std::uint8_t>(key[j]);
        if (++j == key.size()) j = 0;
    }
    return d;
}

void ScheduleKey(Tables& tables, std::string_view key, Variant variant) {
    std::size_t j = 0;
    for (auto& p : tables.P) p ^= PackKeyWord(key, j, variant);

    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (int i = 0; i < 18; i += 2) {
        EncryptBlock(tables, l, r);
        tables.P[i] = l;
        tables.P[i + 1] = r;
    }
    for (auto& box : tables.S) {
        for (int e = 0; e < 256; e += 2) {
            EncryptBlock(tables, l, r);
            box[e] = l;
            box[e + 1] = r;
        }
    }
}

bool HasBextr() {
#ifdef KESTRUNE_BLOWFISH_BEXTR
    static const bool has = __builtin_cpu_supports("bmi");
    return has;
#else
    return false;
#endif
}

std::uint32_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t pos) {
    if (pos > bytes.size() || bytes.size() - pos < 4) throw RunError(ErrorNumber::SubscriptOutOfRange);
    return std::uint32_t{bytes[pos]} << 24 | std::uint32_t{bytes[pos + 1]} << 16 | std::uint32_t{bytes[pos + 2]} << 8 |
           std::uint32_t{bytes[pos + 3]};
}

void WriteWord(std::uint32_t word, std::span<std::uint8_t> bytes, std::size_t pos) {
    if (pos > bytes.size() || bytes.size() - pos < 4) throw RunError(ErrorNumber::SubscriptOutOfRange);
    bytes[pos] = static_cast<std::uint8_t>(word >> 24);
    bytes[pos + 1] = static_cast<std::uint8_t>(word >> 16);
    bytes[pos + 2] = static_cast<std::uint8_t>(word >> 8);
    bytes[pos + 3] = static_cast<std::uint8_t>(word);
}

}  // namespace kestrune::blowfish
