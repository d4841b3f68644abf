#pragma once

#include "cipher/clsBlowfish.h"
#include "common/UserInterface.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// One change of a fix: node path, new value or marker, attribute (empty: text), label.
struct FixEntry {
    std::string Path;
    std::string Value;
    std::string Attribute;
    std::string Description;
};

// A fix's entries, indexed from 0; never empty.
using FixEntryList = std::vector<FixEntry>;

// The key every enciphered fix file is enciphered under.
extern const std::string FixFileKey;

// The tag an enciphered fix file starts with, at its very first byte.
inline constexpr std::string_view EncryptedTag = "[Encrypted]";

// The line a deciphered fix text must start with.
inline constexpr std::string_view FixHeader = "[Router Fix]\r\n";

// The loader's warnings, shown with the warning icon.
inline constexpr std::string_view FileCorruptedMessage = "Error decrypting file - file corrupted.";
inline constexpr std::string_view NoFixesMessage = "No fixes found in file.";

// Gives path to entry 0 while its path is empty, else to a new last entry; returns its index.
std::int32_t AddFixEntry(FixEntryList& entries, const std::string& path);

// Reads AddBackslash(folder) + name; the full loader with its messages.
void LoadFixFile(const std::string& folder, const std::string& name, FixEntryList& entries, clsBlowfish& cipher,
                 UserInterface& ui);

// The loader's work on bytes already read (for fuzzing and the command line); raises on undecipherable text.
void ParseFixText(const std::string& text, FixEntryList& entries, clsBlowfish& cipher, UserInterface& ui);

// True when text starts with the "[Encrypted]" tag.
bool IsEncipheredFixText(std::string_view text);

// The text after the tag, deciphered under FixFileKey; the header is not checked.
std::string DecipherFixText(const std::string& text, clsBlowfish& cipher);

// The tag followed by plain enciphered under FixFileKey.
std::string EncipherFixText(const std::string& plain, clsBlowfish& cipher);

}  // namespace kestrune
