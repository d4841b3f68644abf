#pragma once

#include <string>
#include <vector>

namespace kestrune::cli {

// kestrune-cli fix: the window's fix run on a file named on the command line.
int RunFix(const std::vector<std::string>& args);
extern const char* const FixUsage;

// kestrune-cli list: the fix list as the window shows it.
int RunList(const std::vector<std::string>& args);
extern const char* const ListUsage;

}  // namespace kestrune::cli
