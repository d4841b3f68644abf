#include "cli/Cli.h"

#include "common/SafeWrite.h"
#include "common/modGen.h"

#include <cstdio>
#include <iostream>

namespace kestrune::cli {

std::optional<std::string> Arguments::Value(const std::string& option) const {
    const auto it = values.find(option);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                         const std::set<std::string>& flagOptions, std::size_t minPositional,
                         std::size_t maxPositional) {
    Arguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (valueOptions.count(word)) {
            if (i + 1 == args.size()) throw UsageError("option " + word + " needs a value");
            parsed.values[word] = args[++i];
        } else if (flagOptions.count(word)) {
            parsed.flags.insert(word);
        } else if (word.size() > 1 && word[0] == '-') {
            throw UsageError("unknown option " + word);
        } else {
            parsed.positional.push_back(word);
        }
    }
    if (parsed.positional.size() < minPositional) throw UsageError("missing argument");
    if (parsed.positional.size() > maxPositional) throw UsageError("unexpected argument " + parsed.positional.back());
    return parsed;
}

std::pair<std::string, std::string> SplitPath(const std::string& path, const std::string& defaultFolder) {
    return {modGen::FolderPart(path).value_or(defaultFolder), modGen::NamePart(path)};
}

void WriteOutput(const std::optional<std::string>& destination, const std::string& bytes, const std::string& source) {
    if (!destination || destination->empty() || *destination == "-") {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        std::fflush(stdout);
        return;
    }
    WriteFileSafely(*destination, bytes, WriteMode::Replace, source);
}

void PrintMessage(const std::string& text, MessageIcon icon) {
    const char* prefix = icon == MessageIcon::Information ? "info: "
                         : icon == MessageIcon::Warning   ? "warning: "
                                                          : "error: ";
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find("\r\n", start);
        std::cerr << prefix << std::string_view(text).substr(start, end == std::string::npos ? end : end - start)
                  << '\n';
        if (end == std::string::npos) break;
        start = end + 2;
    }
    std::cerr.flush();
}

int TerminalUserInterface::MessagesShown(MessageIcon icon) const {
    const auto it = shown_.find(icon);
    return it == shown_.end() ? 0 : it->second;
}

void TerminalUserInterface::DoShowMessage(const std::string& text, MessageIcon icon, const std::string&) {
    ++shown_[icon];
    PrintMessage(text, icon);
}

std::string TerminalUserInterface::DoChooseFileToOpen(const std::string&, const std::string&) {
    return fileToOpen_;
}

std::string TerminalUserInterface::DoAskForText(const std::string&, const std::string&) { return {}; }

}  // namespace kestrune::cli
