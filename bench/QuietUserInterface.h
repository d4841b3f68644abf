#pragma once

#include "common/UserInterface.h"

#include <string>
#include <utility>

namespace kestrune::bench {

// A user interface for benchmarks: shows nothing, answers the file dialog
// with the file it was given and every question with an empty text.
class QuietUserInterface : public UserInterface {
public:
    explicit QuietUserInterface(std::string fileToOpen = {}) : fileToOpen_(std::move(fileToOpen)) {}

protected:
    void DoShowMessage(const std::string&, MessageIcon, const std::string&) override {}
    std::string DoChooseFileToOpen(const std::string&, const std::string&) override { return fileToOpen_; }
    std::string DoAskForText(const std::string&, const std::string&) override { return {}; }

private:
    std::string fileToOpen_;
};

}  // namespace kestrune::bench
