#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace modXML::detail {

// The deepest nesting of elements a loaded document may have (the tree library recurses on subtrees).
inline constexpr std::size_t MaxElementDepth = 1000;

// Where each node of a parsed tree lies in its source text, so that unchanged parts are written as they were.
class SourceLayout {
public:
    // Maps the tree onto the UTF-8 text it was parsed from; false when they do not match node for node.
    bool Build(std::string text, const pugi::xml_document& dom);
    // True when Build succeeded.
    bool Mapped() const { return mapped_; }
    // The document as UTF-8.
    std::string Serialise(const pugi::xml_document& dom) const;

private:
    using Offset = std::uint32_t;
    // In text_, or in arena_ when the flag bit is set.
    struct Piece {
        Offset offset = 0;
        Offset size = 0;
    };
    static constexpr Offset ArenaFlag = Offset{1} << 31;
    struct AttributeRecord {
        Piece name;
        Piece value;
        Offset chunkBegin;  // the white space before the name
        Offset valueBegin;  // after the opening quote
        Offset chunkEnd;    // after the closing quote
        const void* attribute;
    };
    struct NodeRecord {
        const void* node;
        Piece name;
        Piece value;
        Offset gapBegin = 0;  // text before the node that belongs to no node
        Offset begin = 0;
        Offset end = 0;
        // Elements only.
        Offset nameEnd = 0;      // "<" and the name end here
        Offset tailBegin = 0;    // white space and ">" or "/>"
        Offset tagEnd = 0;
        Offset endTagBegin = 0;  // "</name>", when not self-closing
        Offset firstAttribute = 0;
        Offset attributeCount = 0;
        Offset firstChild = 0;  // in children_
        Offset childCount = 0;
        pugi::xml_node_type type = pugi::node_null;
        bool selfClosing = false;
    };

    void Clear();
    bool ScanChildren(const pugi::xml_node& parent, Offset firstSlot, Offset& pos, bool documentLevel);
    bool ScanNode(const pugi::xml_node& node, Offset gapBegin, Offset& pos);
    bool ScanStartTag(const pugi::xml_node& node, Offset index, Offset& pos);
    bool ScanDoctype(Offset& pos) const;
    Piece Keep(const char* s);
    Piece RawOrKeep(Offset from, Offset to, const char* value);
    std::string_view View(Piece piece) const;
    const NodeRecord* RecordOf(const pugi::xml_node& child, Offset firstChild, Offset childCount, Offset& cursor) const;
    bool Unchanged(const pugi::xml_node& node, const NodeRecord& record) const;
    void Emit(const pugi::xml_node& node, const NodeRecord* record, std::string& out, std::size_t depth) const;
    void EmitElement(const pugi::xml_node& node, const NodeRecord* record, std::string& out, std::size_t depth) const;
    void Append(std::string& out, Offset from, Offset to) const { out.append(text_, from, to - from); }

    std::string text_;
    std::string arena_;  // values whose parsed form differs from their source text
    std::vector<NodeRecord> nodes_;  // in document order
    std::vector<AttributeRecord> attributes_;
    std::vector<Offset> children_;  // indexes in nodes_, each node's children in a row
    Offset documentChildCount_ = 0;  // the document's children come first in children_
    Offset trailingGap_ = 0;  // the text after the last node starts here
    std::size_t depth_ = 0;
    bool mapped_ = false;
};

// Text escaped for element content.
void AppendEscapedText(std::string& out, std::string_view text);
// Text escaped for an attribute value in the given quotes.
void AppendEscapedAttribute(std::string& out, std::string_view value, char quote = '"');

}  // namespace modXML::detail
