#pragma once

#include "common/UserInterface.h"

#include <pugixml.hpp>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// The XML fix engine: the configuration document, paths with keyed steps and
// fix entries. Every text that crosses this interface (paths, names, values,
// labels, results) is a byte string read as Latin-1; the document tree holds
// UTF-8, and the conversion happens here and nowhere else.
namespace modXML {

namespace detail {
class SourceLayout;
}

// Separates an element name from its key in a path step.
inline constexpr char KeySeparator = '\xA4';
// A value that deletes the element or the attribute.
inline const std::string DeleteMarker = "\xA4";
// A value that empties the text or the attribute.
inline const std::string ClearMarker = "\xA5";

// How the bytes of a document encode its characters; a document is written
// back in the encoding it was read in.
enum class DocumentEncoding { Utf8, Latin1, Utf16LE, Utf16BE, Utf32LE, Utf32BE };

// The outcome of parsing: reason empty on success, otherwise the parser's
// reason and the byte offset in the input at which it stopped.
struct ParseOutcome {
    bool ok = false;
    std::string reason;
    std::size_t position = 0;
};

// One parsed XML document. Writing it back reuses the original bytes of
// everything that was not changed since the load, so an untouched document
// comes back byte for byte. Not copyable: its nodes belong to it.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // True after a successful parse, until Release or the next parse.
    bool IsLoaded() const;
    // The whole document serialised, as bytes in the encoding it came in.
    // Raises XmlNoDocument when nothing is loaded.
    std::string Xml() const;
    // Writes Xml() to path with kestrune::WriteFileSafely; raises RunError.
    void Save(const std::string& path) const;
    // Back to the empty state.
    void Release();

    // Replaces the content with the document in bytes; on failure the
    // document is empty again.
    ParseOutcome Parse(std::string bytes);

    // The tree. Changes made through it show in Xml() like any other.
    pugi::xml_document& Dom() { return dom_; }
    const pugi::xml_document& Dom() const { return dom_; }
    // The encoding the loaded document came in.
    DocumentEncoding Encoding() const { return encoding_; }
    // True when unchanged parts are written from their original bytes; false
    // only when the document's layout could not be mapped, and then the whole
    // document is regenerated (equivalent, not byte-identical).
    bool KeepsSourceLayout() const;

private:
    pugi::xml_document dom_;
    std::unique_ptr<detail::SourceLayout> layout_;
    DocumentEncoding encoding_ = DocumentEncoding::Utf8;
    std::string byteOrderMark_;
    bool loaded_ = false;
};

// The configuration document of the fix run.
extern XmlDocument ConfigDoc;
// True only while an entry is applied again right after its path was created.
extern bool JustCreated;

// Loads doc from the file named by source (fromText false; read with
// modGen::ReadWholeFile, whose RunError passes to the caller) or from the
// XML text in source. Reports "Successfully loaded XML", or reports and shows
// the parse failure and leaves doc empty. True when the document parsed.
bool LoadConfigXML(XmlDocument& doc, const std::string& source, bool fromText, kestrune::UserInterface& ui);

// node := the element that path addresses, or none. Keyed steps are resolved
// one after another; a match that is not an element raises XmlNotAnElement.
void FindNode(XmlDocument& doc, pugi::xml_node& node, const std::string& path);
// The deepest existing element along path; prefix receives the path prefix
// that addresses it (the whole path when it exists, empty when nothing does).
pugi::xml_node FindDeepestNode(XmlDocument& doc, const std::string& path, std::string& prefix);
// Creates the steps of path after prefix below parent, keyed steps with their
// id child; parent then holds the last element created. Every step is checked
// before the first is created.
void CreatePath(XmlDocument& doc, pugi::xml_node& parent, const std::string& path, const std::string& prefix);
// The text (attribute empty) or the attribute value of the element that path
// selects, key separators not interpreted; empty when nothing matches or the
// attribute is absent.
std::string GetNodeValue(XmlDocument& doc, const std::string& path, const std::string& attribute);

// Applies one fix entry to doc and writes its report line.
void ApplyFixEntry(XmlDocument& doc, const std::string& path, const std::string& attribute, const std::string& value,
                   const std::string& label);
// Appends verboseLine in verbose mode (modGen::VerboseMode), else plainLine.
void ReportChange(const std::string& verboseLine, const std::string& plainLine);

// The first node that path selects from context (the document when context
// is the document node): the selection step of the paths above, with the
// rejection of bad queries turned into XmlQueryRejected.
pugi::xpath_node SelectSingleNode(const pugi::xml_node& context, const std::string& path);
// The element's text: the text of all its descendants, in document order.
std::string ElementText(const pugi::xml_node& element);
// Makes text the element's whole content; its children go.
void SetElementText(pugi::xml_node element, const std::string& text);
// The attribute's value, or nothing when the element lacks it.
std::optional<std::string> GetAttribute(const pugi::xml_node& element, const std::string& name);
// Creates the attribute or overwrites its value; the name must be valid.
void SetAttribute(pugi::xml_node element, const std::string& name, const std::string& value);
// Removes the attribute; an absent one is no error.
void RemoveAttribute(pugi::xml_node element, const std::string& name);
// Appends a new element named name as parent's last child.
pugi::xml_node AppendElement(pugi::xml_node parent, const std::string& name);

// True when name is an XML 1.0 name made of Latin-1 characters.
bool IsValidXmlName(const std::string& name);

}  // namespace modXML
