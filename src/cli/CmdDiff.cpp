#include "cli/CmdDiff.h"

#include "app/FixDiff.h"
#include "cli/Cli.h"
#include "common/Errors.h"
#include "common/modGen.h"
#include "container/modConvert.h"
#include "xmlfix/modXML.h"

#include <algorithm>
#include <cctype>

namespace kestrune::cli {

const char* const DiffUsage =
    "Usage: kestrune-cli diff BEFORE AFTER [-o FIX] [--encrypt] [--partial]\n"
    "\n"
    "Writes the fix that turns the router configuration BEFORE into AFTER (each\n"
    "a .bin container or an .xml file) to FIX, or to standard output: a plain\n"
    "fix file whose d= lines say what each entry does, or with --encrypt the\n"
    "same enciphered. Differences that a fix cannot make (a moved element, an\n"
    "added element the fix engine cannot create, a comment, a changed root) are\n"
    "listed on standard error, one line each with the path, and then nothing is\n"
    "written unless --partial asks for the rest anyway.\n"
    "\n"
    "  -o FIX      the fix file to write; - or none: standard output\n"
    "  --encrypt   encipher the fix under the fix-file key, as encrypt does\n"
    "  --partial   write the differences a fix can make even when others remain\n"
    "\n"
    "Exit status: 0 written; 1 an input that does not load, a file error, or a\n"
    "difference that a fix cannot make without --partial (nothing is written\n"
    "then); 2 usage error.\n";

namespace {

bool IsContainerPath(const std::string& path) {
    std::string extension = modGen::GetExtension(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "bin";
}

// The XML text of a configuration as the fix run reads it: a .bin file
// through the container reader, any other file as it is. Empty, with the
// reason in why, when there is none.
std::string ConfigurationText(const std::string& path, std::string& why) {
    std::string bytes = modGen::ReadWholeFile(path);
    if (!IsContainerPath(path)) return bytes;
    const modConvert::ReadResult read = modConvert::ReadContainer(bytes);
    switch (read.status) {
    case modConvert::ReadStatus::Decompressed: return read.xml;
    case modConvert::ReadStatus::NotRecognized:
        PrintMessage(modConvert::NotRecognizedMessage, MessageIcon::Warning);
        why = "it is not a config container";
        break;
    case modConvert::ReadStatus::TooLarge:
        why = "its XML is larger than the " + modConvert::ReaderRoomText() + " bytes the reader has room for";
        break;
    case modConvert::ReadStatus::DamagedStream: why = "its payload does not decompress"; break;
    }
    return {};
}

// Loads the configuration at path into doc; false after saying why not.
bool LoadConfiguration(const std::string& role, const std::string& path, modXML::XmlDocument& doc) {
    std::string why;
    try {
        const std::string text = ConfigurationText(path, why);
        if (why.empty()) {
            const modXML::ParseOutcome outcome = doc.Parse(text);
            if (!outcome.ok) {
                why = "XML load failed: " + outcome.reason + " at position " + std::to_string(outcome.position);
            }
        }
    } catch (const RunError& e) {
        why = e.message();
    }
    if (why.empty()) return true;
    PrintMessage("Cannot read " + role + " " + path + ": " + why, MessageIcon::Critical);
    return false;
}

}  // namespace

int RunDiff(const std::vector<std::string>& args) {
    const Arguments parsed = ParseArguments(args, {"-o"}, {"--encrypt", "--partial"}, 2, 2);
    modXML::XmlDocument before;
    modXML::XmlDocument after;
    if (!LoadConfiguration("BEFORE", parsed.positional[0], before) ||
        !LoadConfiguration("AFTER", parsed.positional[1], after)) {
        return ExitFailed;
    }

    const ConfigDiff diff = DiffConfigs(before, after);
    const bool partial = parsed.Has("--partial");
    const MessageIcon icon = partial ? MessageIcon::Warning : MessageIcon::Critical;
    for (const DiffProblem& problem : diff.Problems) PrintMessage(problem.Path + ": " + problem.Reason, icon);
    if (!diff.Problems.empty() && !partial) {
        const std::size_t count = diff.Problems.size();
        PrintMessage("A fix cannot make the " + std::to_string(count) + (count == 1 ? " difference" : " differences") +
                         " above. Nothing written; --partial writes the rest.",
                     MessageIcon::Critical);
        return ExitFailed;
    }
    if (diff.Entries.empty()) {
        PrintMessage("The configurations do not differ: the fix has no entries.", MessageIcon::Information);
    }

    std::string text = FixFileText(diff.Entries);
    if (parsed.Has("--encrypt")) {
        clsBlowfish cipher;
        text = EncipherFixText(text, cipher);
    }
    // The fix carries AFTER's values, secrets among them.
    WriteOutput(parsed.Value("-o"), text, parsed.positional[1]);
    return ExitOk;
}

}  // namespace kestrune::cli
