#pragma once

#include "xmlfix/modXML.h"

#include "common/Errors.h"
#include "common/Latin1.h"

#include <cstdint>
#include <optional>
#include <string>

// Helpers shared by the engine's source files.
namespace modXML::detail {

// A byte string (Latin-1) as the UTF-8 the tree holds.
std::string ToTree(const std::string& bytes);
// A text of the tree as a byte string; see Utf8ToLatin1.
std::string FromTree(const char* utf8);
// The element's text as the tree holds it (UTF-8): ElementText before FromTree.
std::string TreeText(const pugi::xml_node& element);

// Every error the engine raises. Its description may quote the fix or the
// document (paths, names, keys, values), byte strings here; like every
// error description it leaves the engine as UTF-8.
inline kestrune::RunError XmlError(std::int32_t number, const std::string& description) {
    return kestrune::RunError(number, kestrune::Latin1ToUtf8(description));
}

// Raises XmlNoDocument unless doc holds a document.
void RequireLoaded(const XmlDocument& doc);

// The first control character of bytes that XML cannot hold (all but tab, LF and CR), or nothing.
std::optional<unsigned char> ForbiddenCharacter(const std::string& bytes);

// The element that path matched, or none; any other kind of node raises XmlNotAnElement.
pugi::xml_node ElementOf(const pugi::xpath_node& match, const std::string& path);

}  // namespace modXML::detail
