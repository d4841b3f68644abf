#pragma once

#include "xmlfix/modXML.h"

#include "common/Errors.h"
#include "common/Latin1.h"

#include <cstddef>
#include <cstdint>
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

// Raises XmlEncodingError, "<subject> holds character N, which XML cannot
// hold", for the first control character of bytes but tab, LF and CR.
void RequireXmlCharacters(const std::string& bytes, const std::string& subject);

// The element that path matched, or none; any other kind of node raises XmlNotAnElement.
pugi::xml_node ElementOf(const pugi::xpath_node& match, const std::string& path);

// The engine's own access to a document.
class DocumentAccess {
public:
    // The tree, for the engine's own lookups and changes.
    static pugi::xml_document& Tree(XmlDocument& doc) { return doc.dom_; }
    // Its index of children; none once the tree was handed out.
    static ChildIndex* Index(XmlDocument& doc) { return doc.index_.get(); }
    // The document whose tree holds node, when it is an XmlDocument's.
    static XmlDocument* DocumentOf(const pugi::xml_node& node);
    // The index of children of the document whose tree holds node, when it keeps one.
    static ChildIndex* IndexOf(const pugi::xml_node& node);
    // White space between elements is kept out of the tree until something
    // reads or replaces text: these put it in, inside element or everywhere.
    static void KeepWhitespace(XmlDocument& doc, const pugi::xml_node& element);
    static void KeepAllWhitespace(XmlDocument& doc);
    // subtree is about to be removed from doc's tree.
    static void Removing(XmlDocument& doc, const pugi::xml_node& subtree);
};

// SelectSingleNode with the help of doc's index of children.
pugi::xpath_node Select(XmlDocument& doc, const pugi::xml_node& context, const std::string& path);

// When path is plain (see SelectSingleNode) and each "/" in it separates
// two steps: true, with steps := how many of its steps but the last lead
// from context to an element, and element := the first one they lead to.
bool DeepestPlainPrefix(XmlDocument& doc, const pugi::xml_node& context, const std::string& path, std::size_t& steps,
                        pugi::xml_node& element);

// Removes element, subtree and all, from its parent.
void RemoveElement(pugi::xml_node element);

}  // namespace modXML::detail
