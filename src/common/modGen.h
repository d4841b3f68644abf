#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The helpers that every part of the program shares, and the report log.
// Texts are byte strings: one character per byte, nothing converted.
namespace modGen {

// The report log of the current run. Every entry ends with CR LF.
extern std::string ReportLog;

// Verbose mode: set only by the verbose password (or the command line's
// --verbose), never reset; read only by the fix engine's report lines.
extern bool VerboseMode;

// Appends one entry and CR LF to ReportLog. An entry may hold CR LF itself.
void AddReportLine(std::string_view line);

// Occurrences of separator in text; a search resumes one character after
// the start of each match. An empty separator counts nothing.
std::int32_t CountSeparators(std::string_view text, std::string_view separator);

// The n-th field (from 1) of text split at separator. Field count + 1 is the
// text after the last separator. An n outside 1 .. count + 1 raises
// "Invalid procedure call or argument".
std::string GetField(std::string_view text, std::string_view separator, std::int32_t n);

// The text after the last "." of the path's last component (the part after
// the last "/" or "\"), letter case kept; empty when that component has no
// dot or ends in one.
std::string GetExtension(std::string_view path);

// The folder part of path: what comes before its last "/", or "/" for a
// name right below the root; nothing when path has no "/".
std::optional<std::string> FolderPart(std::string_view path);

// The name part of path: what comes after its last "/", or all of it.
std::string NamePart(std::string_view path);

// The folder path ended by this platform's folder separator, "/".
std::string AddBackslash(std::string_view path);

// The whole file as a byte string. A missing file raises "File not found"
// (53); a folder, pipe, device or socket "Path/File access error" (75) at
// once, naming it; other failures raise the matching file error.
std::string ReadWholeFile(const std::string& path);

// Writes text as the whole content of path without ever leaving a half
// written file: see kestrune::WriteFileSafely. True on success; on any
// failure the target is as it was and the result is false.
bool WriteWholeFile(std::string_view text, const std::string& path);

// The folder the running program lies in, without a final separator.
std::string ProgramFolder();

}  // namespace modGen
