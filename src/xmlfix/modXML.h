#pragma once

#include "common/UserInterface.h"

#include <pugixml.hpp>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The XML fix engine: the configuration document, paths with keyed steps and
// fix entries. Every text that crosses this interface (paths, names, values,
// labels, results) is a byte string read as Latin-1; the document tree holds
// UTF-8, and the conversion happens here and nowhere else.
namespace modXML {

namespace detail {
class ChildIndex;
class DocumentAccess;
class SourceLayout;
}

// Separates an element name from its key in a path step.
inline constexpr char KeySeparator = '\xA4';
// A value that deletes the element or the attribute.
inline const std::string DeleteMarker = "\xA4";
// A value that empties the text or the attribute.
inline const std::string ClearMarker = "\xA5";

// How a document's bytes encode its characters; it is written back in the same encoding.
enum class DocumentEncoding { Utf8, Latin1, Utf16LE, Utf16BE, Utf32LE, Utf32BE };

// A parse's outcome: on failure the parser's reason and the input byte offset where it stopped.
struct ParseOutcome {
    bool ok = false;
    std::string reason;
    std::size_t position = 0;
};

// A parsed XML document that writes unchanged parts back as their original bytes; not copyable.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // True after a successful parse, until Release or the next parse.
    bool IsLoaded() const;
    // The whole document serialised, as bytes in its own encoding; raises XmlNoDocument when empty.
    std::string Xml() const;
    // Xml(), giving the memory back as it goes: the document is empty afterwards.
    std::string TakeXml();
    // Writes Xml() to path with kestrune::WriteFileSafely; raises RunError.
    void Save(const std::string& path) const;
    // Back to the empty state.
    void Release();

    // Replaces the content with the document in bytes; empty again on
    // failure. A document whose layout cannot be mapped is taken as the
    // library writes it, read again as a save of it would be.
    ParseOutcome Parse(std::string bytes);
    // What Parse would give for bytes, keeping nothing; bytes are parsed
    // where they are and put back as they were.
    static ParseOutcome Check(std::string& bytes);

    // The tree, white space between elements included. Changes made
    // through it show in Xml() like any other; from the first call on,
    // lookups no longer use the index of children that only the engine's
    // own changes keep true, and serialising compares with copies of the
    // source.
    pugi::xml_document& Dom();
    const pugi::xml_document& Dom() const;
    // The encoding the loaded document came in.
    DocumentEncoding Encoding() const { return encoding_; }
    // False when the layout could not be mapped and the whole document is regenerated instead.
    bool KeepsSourceLayout() const;

private:
    friend class detail::DocumentAccess;

    ParseOutcome Read(std::string bytes, bool mayRewrite);
    std::string Encoded(std::string utf8) const;

    std::string parsed_;  // the text the tree was parsed in, which holds its strings
    pugi::xml_document dom_;
    std::unique_ptr<detail::SourceLayout> layout_;
    std::unique_ptr<detail::ChildIndex> index_;  // none once the tree was handed out
    DocumentEncoding encoding_ = DocumentEncoding::Utf8;
    std::string byteOrderMark_;
    bool loaded_ = false;
};

// The configuration document of the fix run.
extern XmlDocument ConfigDoc;
// True only while an entry is applied again right after its path was created.
extern bool JustCreated;

// Loads doc from the file source names, or from the text in source; false (reported, shown) on a parse error.
bool LoadConfigXML(XmlDocument& doc, const std::string& source, bool fromText, kestrune::UserInterface& ui);

// node := the element that path addresses (keyed steps resolved one after another), or none.
void FindNode(XmlDocument& doc, pugi::xml_node& node, const std::string& path);
// The deepest existing element along path, and in prefix the path prefix that addresses it.
pugi::xml_node FindDeepestNode(XmlDocument& doc, const std::string& path, std::string& prefix);
// Creates the steps of path after prefix below parent; parent then holds the last one created.
void CreatePath(XmlDocument& doc, pugi::xml_node& parent, const std::string& path, const std::string& prefix);
// The text, or the attribute's value, of the element path selects; empty when there is none.
std::string GetNodeValue(XmlDocument& doc, const std::string& path, const std::string& attribute);

// Applies one fix entry to doc and writes its report line.
void ApplyFixEntry(XmlDocument& doc, const std::string& path, const std::string& attribute, const std::string& value,
                   const std::string& label);
// True when ApplyFixEntry takes value for what the tree holds (UTF-8): equal but for letter case, Latin-1 letters included.
bool EqualIgnoringCase(std::string_view treeText, const std::string& value);
// Appends verboseLine in verbose mode (modGen::VerboseMode), else plainLine.
void ReportChange(const std::string& verboseLine, const std::string& plainLine);

// The first node path selects from context; a query the language rejects raises XmlQueryRejected.
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

// True for a node of text: character data or a CDATA section.
inline bool IsTextNode(const pugi::xml_node& node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// True for the characters XML counts as white space.
inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when name is an XML 1.0 name made of Latin-1 characters.
bool IsValidXmlName(const std::string& name);

}  // namespace modXML
