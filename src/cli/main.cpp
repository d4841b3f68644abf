// kestrune-cli: the fix run and the file tools, without the window.
#include "cli/Cli.h"
#include "cli/CmdCipher.h"
#include "cli/CmdContainer.h"
#include "cli/CmdDiff.h"
#include "cli/CmdFix.h"
#include "common/Errors.h"
#include "common/Version.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using kestrune::cli::Command;

namespace {

const std::vector<Command> kCommands = {
    {"fix", "apply a fix to a router configuration, as the window does", kestrune::cli::FixUsage,
     kestrune::cli::RunFix},
    {"list", "list the fixes the window offers", kestrune::cli::ListUsage, kestrune::cli::RunList},
    {"unpack", "write the XML inside a .bin config container", kestrune::cli::UnpackUsage, kestrune::cli::RunUnpack},
    {"pack", "pack an XML file into a .bin config container", kestrune::cli::PackUsage, kestrune::cli::RunPack},
    {"info", "check a .bin config container's header against its payload", kestrune::cli::InfoUsage,
     kestrune::cli::RunInfo},
    {"encrypt", "encipher a plain fix file", kestrune::cli::EncryptUsage, kestrune::cli::RunEncrypt},
    {"decrypt", "decipher an enciphered fix file", kestrune::cli::DecryptUsage, kestrune::cli::RunDecrypt},
    {"show", "list the entries of a fix file", kestrune::cli::ShowUsage, kestrune::cli::RunShow},
    {"diff", "write the fix that turns one configuration into another", kestrune::cli::DiffUsage,
     kestrune::cli::RunDiff},
};

void PrintOverview(std::ostream& out) {
    out << "Usage: kestrune-cli COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const auto& c : kCommands) {
        out << "  " << c.name << std::string(10 - std::min<std::size_t>(9, std::strlen(c.name)), ' ') << c.summary
            << '\n';
    }
    out << "\nkestrune-cli COMMAND --help shows a command's arguments.\n"
           "kestrune-cli --version shows the version.\n";
}

const Command* FindCommand(const std::string& name) {
    for (const auto& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must show up as a failed write that is reported and
    // cleaned up after, not as a killed process that leaves a partial file.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        PrintOverview(std::cerr);
        return kestrune::cli::ExitUsage;
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        PrintOverview(std::cout);
        return kestrune::cli::ExitOk;
    }
    if (words[0] == "--version") {
        std::cout << "Kestrune " << kestrune::VersionText << '\n';
        return kestrune::cli::ExitOk;
    }

    const Command* command = FindCommand(words[0]);
    if (command == nullptr) {
        std::cerr << "kestrune-cli: unknown command '" << words[0] << "'; try 'kestrune-cli --help'\n";
        return kestrune::cli::ExitUsage;
    }
    const std::vector<std::string> args(words.begin() + 1, words.end());
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << command->usage;
            return kestrune::cli::ExitOk;
        }
    }
    try {
        return command->run(args);
    } catch (const kestrune::cli::UsageError& e) {
        std::cerr << "kestrune-cli " << command->name << ": " << e.what() << "; try 'kestrune-cli " << command->name
                  << " --help'\n";
        return kestrune::cli::ExitUsage;
    } catch (const kestrune::RunError& e) {
        kestrune::cli::PrintMessage(e.message(), kestrune::MessageIcon::Critical);
        return kestrune::cli::ExitFailed;
    } catch (const std::exception& e) {
        kestrune::cli::PrintMessage(e.what(), kestrune::MessageIcon::Critical);
        return kestrune::cli::ExitFailed;
    }
}
