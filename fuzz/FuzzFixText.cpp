// The fix-file loader and the cipher on arbitrary bytes: as a plain fix, as
// an enciphered one (the bytes after the tag taken as they are, and the
// bytes properly enciphered), and as enciphered text for DecryptString.
#include "FuzzSupport.h"

#include "app/FixFile.h"
#include "cipher/clsBlowfish.h"
#include "common/Errors.h"

#include <cstddef>
#include <cstdint>
#include <string>

using kestrune::FixEntryList;
using kestrune::RunError;
using kestrune::fuzz::QuietInterface;
using kestrune::fuzz::Require;

namespace {

// The key schedule is costly; one object keeps the fix-file key in force.
kestrune::clsBlowfish& Cipher() {
    static kestrune::clsBlowfish cipher;
    return cipher;
}

bool SameEntries(const FixEntryList& a, const FixEntryList& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].Path != b[i].Path || a[i].Value != b[i].Value || a[i].Attribute != b[i].Attribute ||
            a[i].Description != b[i].Description) {
            return false;
        }
    }
    return true;
}

// Loads text; returns false when it raised, which only enciphered text may.
bool Load(const std::string& text, FixEntryList& entries, int& shown) {
    QuietInterface ui;
    try {
        kestrune::ParseFixText(text, entries, Cipher(), ui);
    } catch (const RunError&) {
        Require(kestrune::IsEncipheredFixText(text), "only enciphered text raises");
        Require(entries.size() == 1 && entries[0].Path.empty(), "a raise leaves one empty entry");
        return false;
    }
    Require(!entries.empty(), "the list is never empty");
    shown = ui.shown;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    FixEntryList entries;
    int shown = 0;

    Load(bytes, entries, shown);
    Load(std::string(kestrune::EncryptedTag) + bytes, entries, shown);

    // The same text, plain and properly enciphered, loads the same entries.
    const std::string plain = std::string(kestrune::FixHeader) + bytes;
    FixEntryList plainEntries;
    int plainShown = 0;
    Require(Load(plain, plainEntries, plainShown), "a plain text loads");
    FixEntryList encipheredEntries;
    int encipheredShown = 0;
    Require(Load(kestrune::EncipherFixText(plain, Cipher()), encipheredEntries, encipheredShown),
            "a properly enciphered text loads");
    Require(SameEntries(plainEntries, encipheredEntries) && plainShown == encipheredShown,
            "enciphering changes nothing the loader reads");

    try {
        const std::string deciphered = Cipher().DecryptString(bytes, kestrune::FixFileKey);
        Require(size % 8 == 0 && size >= 16 && size - deciphered.size() >= 12 && size - deciphered.size() <= 19,
                "a deciphered text is 12 to 19 bytes shorter than a whole number of blocks");
        Require(Cipher().DecryptString(Cipher().EncryptString(deciphered, ""), "") == deciphered,
                "what was deciphered enciphers and deciphers to itself");
    } catch (const RunError& e) {
        const bool badLength = size % 8 != 0 || size < 16;
        Require(e.number() == (badLength ? kestrune::ErrorNumber::SubscriptOutOfRange
                                         : kestrune::ErrorNumber::ComponentBase),
                "a bad length raises 9, a bad size descriptor the cipher's own error");
    }
    return 0;
}
