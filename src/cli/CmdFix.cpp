#include "cli/CmdFix.h"

#include "app/FixRun.h"
#include "cli/Cli.h"
#include "common/modGen.h"
#include "common/Latin1.h"

#include <filesystem>
#include <iostream>

namespace kestrune::cli {
namespace {

// The report log for a terminal: one line per report line, ended by LF,
// in UTF-8 (the log holds Latin-1 bytes, such as the key separator).
void PrintReport(const std::string& log) {
    const std::string utf8 = kestrune::Latin1ToUtf8(log);
    // One pass: erasing each CR in place would move the rest of a long report once per line.
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        text.push_back(utf8[i]);
    }
    std::cout << text;
    std::cout.flush();
}

std::string FixDirOf(const Arguments& args) {
    return args.Value("--fix-dir").value_or(modGen::ProgramFolder());
}

}  // namespace

const char* const FixUsage =
    "Usage: kestrune-cli fix CONFIG [--fix NAME|PATH] [--fix-dir DIR] [--verbose] [--dry-run]\n"
    "\n"
    "Applies a fix to a router configuration (.bin container or .xml file), as\n"
    "the window's Fix button does: a container is backed up beside itself, the\n"
    "fix and, where wireless encryption is missing, the WEP fix are applied, and\n"
    "the file is overwritten. The report goes to standard output, messages to\n"
    "standard error.\n"
    "\n"
    "  --fix NAME|PATH  the fix to apply: a name in the fix folder, or a path\n"
    "                   (holding a \"/\"); default: the first fix of the list\n"
    "  --fix-dir DIR    the fix folder (default: the program's folder); its\n"
    "                   fix.wep is the WEP fix\n"
    "  --verbose        name every changed path and value in the report\n"
    "  --dry-run        do everything in memory; write no backup and no file (a\n"
    "                   file the real run would refuse is refused all the same)\n"
    "\n"
    "Exit status: 0 saved (or would have been, with --dry-run), 1 not saved,\n"
    "2 usage error.\n";

const char* const ListUsage =
    "Usage: kestrune-cli list [--fix-dir DIR]\n"
    "\n"
    "Prints the fix list as the window shows it, one name per line.\n";

int RunFix(const std::vector<std::string>& words) {
    const Arguments args = ParseArguments(words, {"--fix", "--fix-dir"}, {"--verbose", "--dry-run"}, 1, 1);
    const std::string config = args.positional[0];
    const std::string fixDir = FixDirOf(args);

    TerminalUserInterface ui(config);
    FixRun run(ui, fixDir);
    run.DryRun = args.Has("--dry-run");
    if (args.Has("--verbose")) modGen::VerboseMode = true;

    if (const auto fix = args.Value("--fix")) {
        const auto [folder, name] = SplitPath(*fix, fixDir);
        // Anything that is there is loaded, so that the loader can say what is wrong with it.
        std::error_code ec;
        if (!std::filesystem::exists(modGen::AddBackslash(folder) + name, ec)) {
            PrintMessage("No fix file " + modGen::AddBackslash(folder) + name, MessageIcon::Critical);
            return ExitFailed;
        }
        run.Prepare();
        run.LoadFix(folder, name);
        run.LoadWepFix();
    } else {
        run.Form_Load();
    }

    const RunOutcome outcome = run.cmdDoAll_Click();
    // Only a run that got as far as opening the file has a report of its own.
    if (outcome == RunOutcome::NotLoaded || outcome == RunOutcome::Failed || outcome == RunOutcome::Fixed) {
        PrintReport(modGen::ReportLog);
    }
    return outcome == RunOutcome::Fixed ? ExitOk : ExitFailed;
}

int RunList(const std::vector<std::string>& words) {
    const Arguments args = ParseArguments(words, {"--fix-dir"}, {}, 0, 0);
    for (const auto& name : FixRun::ListFixFiles(FixDirOf(args))) std::cout << name << '\n';
    return ExitOk;
}

}  // namespace kestrune::cli
