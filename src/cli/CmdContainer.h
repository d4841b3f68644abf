#pragma once

#include <string>
#include <vector>

// The config container commands: unpack, pack, info.
namespace kestrune::cli {

// Usage text of "unpack".
extern const char* const UnpackUsage;
// Writes the XML inside a container to a file or standard output.
int RunUnpack(const std::vector<std::string>& args);

// Usage text of "pack".
extern const char* const PackUsage;
// Packs the bytes of an XML file into a container.
int RunPack(const std::vector<std::string>& args);

// Usage text of "info".
extern const char* const InfoUsage;
// Shows a container's header next to what its payload really holds.
int RunInfo(const std::vector<std::string>& args);

}  // namespace kestrune::cli
