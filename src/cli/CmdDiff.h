#pragma once

#include <string>
#include <vector>

namespace kestrune::cli {

// kestrune-cli diff BEFORE AFTER [-o FIX] [--encrypt] [--partial]
int RunDiff(const std::vector<std::string>& args);
extern const char* const DiffUsage;

}  // namespace kestrune::cli
