#include "app/FixFile.h"

#include "common/Errors.h"
#include "common/modGen.h"

namespace kestrune {

const std::string FixFileKey = "T4WQ7ZL2NX9BRM5KD0JP8VCY3HF6SG1EA";

namespace {

void ResetEntries(FixEntryList& entries) { entries.assign(1, FixEntry{}); }

// How many lines start "p=": room for that many entries is made at once, so
// that a long fix is not copied each time its list outgrows its room.
std::size_t PathLines(std::string_view text) {
    std::size_t count = text.substr(0, 2) == "p=" ? 1 : 0;
    for (std::size_t at = text.find("\r\np="); at != std::string_view::npos; at = text.find("\r\np=", at + 4)) ++count;
    return count;
}

// Fills entries from the lines of a plain fix text; returns how many "p="
// lines there were.
std::int32_t ReadLines(std::string_view text, FixEntryList& entries) {
    entries.reserve(PathLines(text));
    std::int32_t count = 0;
    std::size_t current = 0;
    std::size_t start = 0;
    for (;;) {
        // Only CR LF ends a line; a lone CR or LF is part of it.
        const std::size_t end = text.find("\r\n", start);
        const std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (line.size() >= 2) {
            const std::string_view key = line.substr(0, 2);
            const std::string_view rest = line.substr(2);
            if (key == "p=") {
                current = static_cast<std::size_t>(AddFixEntry(entries, std::string(rest)));
                ++count;
            } else if (key == "a=") {
                entries[current].Attribute = rest;
            } else if (key == "v=") {
                entries[current].Value = rest;
            } else if (key == "d=") {
                entries[current].Description = rest;
            }
        }
        if (end == std::string_view::npos) break;
        start = end + 2;
    }
    return count;
}

}  // namespace

std::int32_t AddFixEntry(FixEntryList& entries, const std::string& path) {
    if (entries.empty()) entries.emplace_back();
    std::size_t index = 0;
    if (!entries[0].Path.empty()) {
        entries.emplace_back();
        index = entries.size() - 1;
    }
    entries[index].Path = path;
    return static_cast<std::int32_t>(index);
}

bool IsEncipheredFixText(std::string_view text) { return text.substr(0, EncryptedTag.size()) == EncryptedTag; }

std::string DecipherFixText(const std::string& text, clsBlowfish& cipher) {
    return cipher.DecryptString(text.substr(EncryptedTag.size()), FixFileKey);
}

std::string EncipherFixText(const std::string& plain, clsBlowfish& cipher) {
    return std::string(EncryptedTag) + cipher.EncryptString(plain, FixFileKey);
}

void ParseFixText(const std::string& text, FixEntryList& entries, clsBlowfish& cipher, UserInterface& ui) {
    ResetEntries(entries);
    std::string deciphered;
    std::string_view lines = text;
    if (IsEncipheredFixText(text)) {
        deciphered = DecipherFixText(text, cipher);
        if (deciphered.compare(0, FixHeader.size(), FixHeader) != 0) {
            ui.ShowMessage(std::string(FileCorruptedMessage), MessageIcon::Warning);
            return;
        }
        lines = deciphered;
    }
    if (ReadLines(lines, entries) == 0) ui.ShowMessage(std::string(NoFixesMessage), MessageIcon::Warning);
}

void LoadFixFile(const std::string& folder, const std::string& name, FixEntryList& entries, clsBlowfish& cipher,
                 UserInterface& ui) {
    ResetEntries(entries);
    const std::string path = modGen::AddBackslash(folder) + name;
    try {
        ParseFixText(modGen::ReadWholeFile(path), entries, cipher, ui);
    } catch (const RunError& e) {
        // A fix that cannot be read or deciphered is no fix at all: say which
        // file and why, and leave the list empty as for a corrupted one.
        ResetEntries(entries);
        ui.ShowMessage("The fix file " + path + " could not be loaded.\r\n" + e.message(), MessageIcon::Warning);
    }
}

}  // namespace kestrune
