#pragma once

#include <string>
#include <vector>

namespace kestrune::cli {

// kestrune-cli encrypt PLAINFIX -o FILE
int RunEncrypt(const std::vector<std::string>& args);
extern const char* const EncryptUsage;

// kestrune-cli decrypt FIXFILE [-o FILE]
int RunDecrypt(const std::vector<std::string>& args);
extern const char* const DecryptUsage;

// kestrune-cli show FIXFILE
int RunShow(const std::vector<std::string>& args);
extern const char* const ShowUsage;

// A field as show prints it: controls as \xNN, quote and backslash escaped, Latin-1 as UTF-8.
std::string VisibleText(const std::string& bytes);

}  // namespace kestrune::cli
