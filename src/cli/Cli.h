#pragma once

#include "common/UserInterface.h"

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// A command line the program cannot make sense of: exit 2 with a hint.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One subcommand: its name, a one-line summary for the overview, the usage
// text for COMMAND --help, and the function that runs it.
struct Command {
    const char* name;
    const char* summary;
    const char* usage;
    int (*run)(const std::vector<std::string>& args);
};

// The arguments of a subcommand: positional words, options that take a
// value (-o FILE) and flags (--verbose).
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    std::optional<std::string> Value(const std::string& option) const;
    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
};

// Splits args; valueOptions take the next word as their value, flagOptions
// stand alone. Anything else starting with "-" (but "-" itself) is a usage
// error, and so is a positional count outside minPositional..maxPositional.
Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                         const std::set<std::string>& flagOptions, std::size_t minPositional,
                         std::size_t maxPositional);

// The folder and the name of a file path; a path without "/" lies in
// defaultFolder.
std::pair<std::string, std::string> SplitPath(const std::string& path, const std::string& defaultFolder = ".");

// Writes bytes to the file named by -o, or to standard output when the name
// is empty or "-". Files are written with the safe writer; a new one takes
// the permissions of source, whose content it carries. Raises RunError.
void WriteOutput(const std::optional<std::string>& destination, const std::string& bytes, const std::string& source);

// Shows the core's messages on standard error, one line each, prefixed by
// their kind: "info: ", "warning: " or "error: ". The file to open is the
// one given on the command line; questions get an empty answer.
class TerminalUserInterface : public UserInterface {
public:
    explicit TerminalUserInterface(std::string fileToOpen = {}) : fileToOpen_(std::move(fileToOpen)) {}

    // How many messages of each icon were shown.
    int MessagesShown(MessageIcon icon) const;

protected:
    void DoShowMessage(const std::string& text, MessageIcon icon, const std::string& title) override;
    std::string DoChooseFileToOpen(const std::string& filter, const std::string& initialFolder) override;
    std::string DoAskForText(const std::string& prompt, const std::string& title) override;

private:
    std::string fileToOpen_;
    std::map<MessageIcon, int> shown_;
};

// Prints a message prefixed by its kind to standard error; CR LF inside the
// text becomes one line each. The text is UTF-8, as the terminal reads it.
void PrintMessage(const std::string& text, MessageIcon icon);

}  // namespace kestrune::cli
