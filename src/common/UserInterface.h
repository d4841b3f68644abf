#pragma once

#include <string>

namespace kestrune {

// The title of every message that names no title of its own.
inline const std::string ApplicationTitle = "Kestrune";

enum class MessageIcon { Information, Warning, Critical };

// Everything the core asks of the person in front of it. The window, the
// command line and the tests each supply their own. Its texts (messages,
// titles, prompts, answers, paths) are UTF-8, as the desktop and the
// terminal read them, with file names as the file system has them. The
// report log and the XML engine's texts are Latin-1 byte strings instead;
// one of those goes into a message through Latin1ToUtf8.
class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A modal message with an OK button.
    void ShowMessage(const std::string& text, MessageIcon icon, const std::string& title = ApplicationTitle) {
        DoShowMessage(text, icon, title);
    }

    // A file-open dialog. filter is "Description|pattern;pattern", as in
    // "Config files|*.bin;*.xml". Returns the chosen full path, or an empty
    // text when the user cancels.
    std::string ChooseFileToOpen(const std::string& filter, const std::string& initialFolder) {
        return DoChooseFileToOpen(filter, initialFolder);
    }

    // An input box with OK and Cancel. Returns the text typed, or an empty
    // text when the user cancels.
    std::string AskForText(const std::string& prompt, const std::string& title = ApplicationTitle) {
        return DoAskForText(prompt, title);
    }

protected:
    virtual void DoShowMessage(const std::string& text, MessageIcon icon, const std::string& title) = 0;
    virtual std::string DoChooseFileToOpen(const std::string& filter, const std::string& initialFolder) = 0;
    virtual std::string DoAskForText(const std::string& prompt, const std::string& title) = 0;
};

}  // namespace kestrune
