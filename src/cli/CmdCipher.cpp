#include "cli/CmdCipher.h"

#include "app/FixFile.h"
#include "cli/Cli.h"
#include "common/Latin1.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include <cstdio>
#include <iostream>

namespace kestrune::cli {

const char* const EncryptUsage =
    "Usage: kestrune-cli encrypt PLAINFIX -o FILE\n"
    "Enciphers a plain fix file into FILE under the fix-file key, tagged\n"
    "\"[Encrypted]\". The text must begin with \"[Router Fix]\" CR LF.\n";

const char* const DecryptUsage =
    "Usage: kestrune-cli decrypt FIXFILE [-o FILE]\n"
    "Writes the deciphered text of an enciphered fix file, byte for byte, to\n"
    "FILE or to standard output.\n";

const char* const ShowUsage =
    "Usage: kestrune-cli show FIXFILE\n"
    "Lists the entries of a fix file as the window loads them, one line each:\n"
    "index, path, attribute, value and description. The delete and clear\n"
    "markers show as <delete> and <clear>, control characters as \\xNN.\n"
    "Exits 1 when the loader had something to say.\n";

namespace {

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "x" + std::string&&.
std::string Quoted(const std::string& bytes) {
    std::string quoted(1, '"');
    quoted += VisibleText(bytes);
    quoted += '"';
    return quoted;
}

std::string VisibleValue(const std::string& value) {
    if (value == modXML::DeleteMarker) return "<delete>";
    if (value == modXML::ClearMarker) return "<clear>";
    return Quoted(value);
}

}  // namespace

std::string VisibleText(const std::string& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\' || b == '"') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += Latin1ToUtf8(std::string_view(&c, 1));
        }
    }
    return out;
}

int RunEncrypt(const std::vector<std::string>& args) {
    const Arguments parsed = ParseArguments(args, {"-o"}, {}, 1, 1);
    const auto destination = parsed.Value("-o");
    if (!destination || destination->empty()) throw UsageError("encrypt needs -o FILE");
    const std::string& source = parsed.positional[0];
    const std::string plain = modGen::ReadWholeFile(source);
    if (!plain.starts_with(FixHeader)) {
        PrintMessage(source + " does not begin with \"[Router Fix]\" and CR LF; the window could not load it "
                              "once enciphered. Nothing written.",
                     MessageIcon::Critical);
        return ExitFailed;
    }
    clsBlowfish cipher;
    const std::string enciphered = EncipherFixText(plain, cipher);
    // Prove the result reads back before it replaces anything.
    if (DecipherFixText(enciphered, cipher) != plain) {
        PrintMessage("The enciphered text did not decipher to the source. Nothing written.", MessageIcon::Critical);
        return ExitFailed;
    }
    WriteOutput(destination, enciphered, source);
    return ExitOk;
}

int RunDecrypt(const std::vector<std::string>& args) {
    const Arguments parsed = ParseArguments(args, {"-o"}, {}, 1, 1);
    const std::string& source = parsed.positional[0];
    const std::string text = modGen::ReadWholeFile(source);
    if (!IsEncipheredFixText(text)) {
        PrintMessage(std::string(FileCorruptedMessage) + "\r\n" + source + " does not begin with \"[Encrypted]\".",
                     MessageIcon::Warning);
        return ExitFailed;
    }
    clsBlowfish cipher;
    const std::string plain = DecipherFixText(text, cipher);
    if (!plain.starts_with(FixHeader)) {
        PrintMessage(std::string(FileCorruptedMessage), MessageIcon::Warning);
        return ExitFailed;
    }
    WriteOutput(parsed.Value("-o"), plain, source);
    return ExitOk;
}

int RunShow(const std::vector<std::string>& args) {
    const Arguments parsed = ParseArguments(args, {}, {}, 1, 1);
    const auto [folder, name] = SplitPath(parsed.positional[0]);
    TerminalUserInterface ui;
    clsBlowfish cipher;
    FixEntryList entries;
    LoadFixFile(folder, name, entries, cipher, ui);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FixEntry& e = entries[i];
        std::cout << i << " path=" << Quoted(e.Path) << " attribute=" << Quoted(e.Attribute)
                  << " value=" << VisibleValue(e.Value) << " description=" << Quoted(e.Description) << '\n';
    }
    std::cout.flush();
    const bool warned = ui.MessagesShown(MessageIcon::Warning) + ui.MessagesShown(MessageIcon::Critical) > 0;
    return warned ? ExitFailed : ExitOk;
}

}  // namespace kestrune::cli
