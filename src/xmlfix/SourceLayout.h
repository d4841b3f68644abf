#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace modXML::detail {

// The deepest nesting of elements a loaded document may have. Real
// configurations are a few levels deep; the tree library frees and copies
// subtrees recursively, so a hostile depth is refused at load.
inline constexpr std::size_t MaxElementDepth = 1000;

// Where each node of a freshly parsed tree lies in the text it was parsed
// from, and what the node held then. Serialising compares the tree with that
// record: a node that is unchanged, subtree included, is written as its
// original bytes; an element whose own tag changed keeps the original bytes
// of its unchanged attributes and of its end tag. Changes are found by
// comparison rather than by notification, so changes made directly through
// the tree are written correctly too.
class SourceLayout {
public:
    // Maps the tree onto text (the UTF-8 the tree was parsed from). False,
    // with nothing recorded, when the two cannot be matched node for node.
    bool Build(std::string text, const pugi::xml_document& dom);
    // True when Build succeeded.
    bool Mapped() const { return mapped_; }
    // The document as UTF-8.
    std::string Serialise(const pugi::xml_document& dom) const;

private:
    struct Piece {
        std::size_t offset = 0;
        std::size_t size = 0;
    };
    struct AttributeRecord {
        const void* attribute;
        Piece name;
        Piece value;
        std::size_t chunkBegin;  // the white space before the name
        std::size_t valueBegin;  // after the opening quote
        std::size_t chunkEnd;    // after the closing quote
    };
    struct NodeRecord {
        pugi::xml_node_type type;
        Piece name;
        Piece value;
        std::size_t gapBegin = 0;  // text before the node that belongs to no node
        std::size_t begin = 0;
        std::size_t end = 0;
        // Elements only.
        std::size_t nameEnd = 0;      // "<" and the name end here
        std::size_t tailBegin = 0;    // white space and ">" or "/>"
        std::size_t tagEnd = 0;
        std::size_t endTagBegin = 0;  // "</name>", when not self-closing
        bool selfClosing = false;
        std::size_t firstAttribute = 0;
        std::size_t attributeCount = 0;
        std::size_t firstChild = 0;
        std::size_t childCount = 0;
    };

    bool ScanChildren(const pugi::xml_node& parent, std::size_t& pos, bool documentLevel);
    bool ScanNode(const pugi::xml_node& node, std::size_t gapBegin, std::size_t& pos);
    bool ScanStartTag(const pugi::xml_node& node, NodeRecord& record, std::size_t& pos);
    bool ScanDoctype(std::size_t& pos) const;
    Piece Keep(const char* s);
    std::string_view View(Piece piece) const { return std::string_view(arena_).substr(piece.offset, piece.size); }
    const NodeRecord* Find(const pugi::xml_node& node) const;
    bool Unchanged(const pugi::xml_node& node, const NodeRecord& record) const;
    void Emit(const pugi::xml_node& node, std::string& out, std::size_t depth) const;
    void EmitElement(const pugi::xml_node& node, const NodeRecord* record, std::string& out, std::size_t depth) const;
    void Append(std::string& out, std::size_t from, std::size_t to) const { out.append(text_, from, to - from); }

    std::string text_;
    std::string arena_;  // the names and values of the parsed tree, back to back
    std::vector<NodeRecord> nodes_;
    std::vector<AttributeRecord> attributes_;
    std::vector<const void*> children_;
    std::unordered_map<const void*, std::size_t> index_;
    std::size_t trailingGap_ = 0;  // the text after the last node starts here
    std::size_t depth_ = 0;
    bool mapped_ = false;
};

// Text escaped for element content.
void AppendEscapedText(std::string& out, std::string_view text);
// Text escaped for an attribute value in the given quotes.
void AppendEscapedAttribute(std::string& out, std::string_view value, char quote = '"');

}  // namespace modXML::detail
