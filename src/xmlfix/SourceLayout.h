#pragma once

#include "xmlfix/SourceText.h"
#include "xmlfix/modXML.h"

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace modXML::detail {

// The deepest nesting of elements a loaded document may have (the tree library recurses on subtrees).
inline constexpr std::size_t MaxElementDepth = 1000;

// Where the nodes of a tree lie in the text it was parsed from, so that
// unchanged parts are written back as their original bytes.
//
// The tree is parsed in place: its names and values are strings inside the
// parser's buffer, so where a node lies in the source follows from where
// its strings are, and no table of positions is needed. White space between
// elements is not in the tree (a text node for every line break would cost
// more than the document itself): it stays in the source, is written back
// from there, and becomes text nodes again wherever anything reads or
// replaces an element's text.
class SourceLayout {
public:
    using Offset = std::uint32_t;

    // Maps the tree onto its source: parsed is the buffer the tree was
    // parsed in, source what it held before, which the layout takes when it
    // succeeds. False when the tree cannot be written back byte for byte
    // this way.
    bool Build(const char* parsed, SourceText& source, const pugi::xml_document& dom);
    // True when Build succeeded.
    bool Mapped() const { return mapped_; }
    // The document as UTF-8. Each time a part of it is written, done is
    // told the offset in the parser's buffer below which the tree's
    // strings are not read again (while direct changes are not allowed).
    std::string Serialise(const pugi::xml_document& dom, const std::function<void(std::size_t)>& done = {}) const;

    // Puts the white space between element's children, and its descendants',
    // into the tree as text nodes, as a parser that keeps it would have.
    void KeepWhitespace(pugi::xml_node element);
    // The same for the whole document.
    void KeepAllWhitespace(pugi::xml_document& dom);
    // From now on the tree (with all its white space) may be changed in any
    // way, strings rewritten where they are included: a copy of the parser's
    // buffer keeps what they were.
    void AllowDirectChanges(pugi::xml_document& dom);
    // subtree is about to leave the tree: the addresses of its nodes may
    // come back for new ones, which must not be taken for what they were.
    void Forget(const pugi::xml_node& subtree);

private:
    struct Attribute {
        Offset chunkBegin;  // the white space before the name
        Offset name;
        Offset valueBegin;  // after the opening quote
        Offset chunkEnd;    // after the closing quote
    };
    struct StartTag {
        Offset nameEnd = 0;
        std::vector<Attribute> attributes;
        Offset tailBegin = 0;  // white space and ">" or "/>"
        Offset end = 0;
        bool selfClosing = false;
    };
    class Output;

    char At(Offset pos) const { return source_.At(pos); }
    bool SourceHas(Offset pos, std::string_view text) const;
    Offset SourceFind(std::string_view text, Offset from) const;
    Offset SkipSpace(Offset pos) const;

    // Where things end in the source.
    StartTag ScanStartTag(Offset begin) const;
    bool StartTagUnchanged(const pugi::xml_node& element, Offset begin, StartTag& tag) const;
    Offset EndTagEnd(Offset pos) const;
    Offset TextEnd(Offset pos) const;
    Offset NodeEnd(Offset begin) const;
    Offset DoctypeEnd(Offset begin) const;

    // Where a node's strings say it starts; nothing for a node the parser did not make.
    std::optional<Offset> Begin(const pugi::xml_node& node) const;
    std::optional<Offset> OffsetOf(const char* s) const;
    bool Unchanged(const char* s) const;
    bool NodeUnchanged(const pugi::xml_node& node) const;
    bool Kept(const pugi::xml_node& element) const;

    template <typename F>
    Offset Gap(Offset from, std::optional<Offset> to, F gapRun) const;
    template <typename G, typename C>
    Offset WalkChildren(const pugi::xml_node& parent, Offset from, bool documentLevel, G gapRun, C child) const;

    Offset Emit(const pugi::xml_node& node, std::optional<Offset> begin, Output& out, std::size_t depth) const;
    Offset EmitOriginalElement(const pugi::xml_node& element, Offset begin, Output& out, std::size_t depth) const;
    void EmitChangedStartTag(const pugi::xml_node& element, Offset begin, const StartTag& tag, bool sameName,
                             Output& out) const;
    void EmitNewElement(const pugi::xml_node& element, Output& out, std::size_t depth) const;
    Offset EmitChildren(const pugi::xml_node& parent, Offset from, bool documentLevel, Output& out,
                        std::size_t depth) const;

    Offset KeepFrom(pugi::xml_node element, Offset begin);

    void Clear();

    const char* parsed_ = nullptr;
    Offset size_ = 0;
    SourceText source_;
    std::unordered_set<const void*> keptElements_;           // whose white space is in the tree
    std::unordered_map<const void*, Offset> whitespaceNodes_;  // such text nodes, and where they lie
    std::string pristine_;  // once changes may be made directly: the buffer as the parser left it
    bool allKept_ = false;
    bool mapped_ = false;
};

// Text escaped for element content.
void AppendEscapedText(std::string& out, std::string_view text);
// Text escaped for an attribute value in the given quotes.
void AppendEscapedAttribute(std::string& out, std::string_view value, char quote = '"');

}  // namespace modXML::detail
