#pragma once

#include "common/UserInterface.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kestrune::fuzz {

// Counts the messages the code under test shows, and shows none.
class QuietInterface : public UserInterface {
public:
    int shown = 0;

protected:
    void DoShowMessage(const std::string&, MessageIcon, const std::string&) override { ++shown; }
    std::string DoChooseFileToOpen(const std::string&, const std::string&) override { return {}; }
    std::string DoAskForText(const std::string&, const std::string&) override { return {}; }
};

// A broken promise ends the run the way a crash does, so that libFuzzer
// keeps the input that broke it.
inline void Require(bool holds, const char* promise, const std::string& detail = {}) {
    if (holds) return;
    std::fprintf(stderr, "promise broken: %s\n%s\n", promise, detail.c_str());
    std::abort();
}

}  // namespace kestrune::fuzz
