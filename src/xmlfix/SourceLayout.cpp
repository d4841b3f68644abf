#include "xmlfix/SourceLayout.h"

// The layout records, for every node of a freshly parsed tree, its span in
// the source text and what it held then. Serialising compares the tree with
// that record: a node that is unchanged, subtree included, is written as its
// original bytes; an element whose own tag changed keeps the original bytes
// of its unchanged attributes and of its end tag. Changes are found by
// comparison rather than by notification, so that changes made directly
// through the tree are written correctly too.

#include <cstring>

namespace modXML::detail {
namespace {

// Parts deeper than any loaded document, which only changes can create,
// are written by the library's own non-recursive writer.
constexpr std::size_t MaxMappedDepth = MaxElementDepth + 1;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class StringWriter : public pugi::xml_writer {
public:
    explicit StringWriter(std::string& out) : out_(out) {}
    void write(const void* data, std::size_t size) override { out_.append(static_cast<const char*>(data), size); }

private:
    std::string& out_;
};

void PrintWithLibrary(const pugi::xml_node& node, std::string& out) {
    StringWriter writer(out);
    node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
}

}  // namespace

// "\r" is written as a reference, so that parsers that normalise line ends
// read it back; ">" is escaped so that "]]>" never appears in content.
void AppendEscapedText(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        default: out.push_back(c);
        }
    }
}

// White space is written as references: a parser replaces literal tabs and
// line ends in attribute values by spaces.
void AppendEscapedAttribute(std::string& out, std::string_view value, char quote) {
    for (char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += quote == '"' ? "&quot;" : "\""; break;
        case '\'': out += quote == '\'' ? "&apos;" : "'"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out.push_back(c);
        }
    }
}

std::string_view SourceLayout::View(Piece piece) const {
    if (piece.offset & ArenaFlag) return std::string_view(arena_).substr(piece.offset & ~ArenaFlag, piece.size);
    return std::string_view(text_).substr(piece.offset, piece.size);
}

SourceLayout::Piece SourceLayout::Keep(const char* s) {
    const std::size_t size = std::strlen(s);
    if (size == 0) return {};
    const Piece piece{static_cast<Offset>(arena_.size()) | ArenaFlag, static_cast<Offset>(size)};
    arena_.append(s, size);
    return piece;
}

// Most parsed values equal their source text; only the others are copied.
SourceLayout::Piece SourceLayout::RawOrKeep(Offset from, Offset to, const char* value) {
    if (std::string_view(text_).substr(from, to - from) == value) return {from, to - from};
    return Keep(value);
}

void SourceLayout::Clear() {
    text_.clear();
    arena_.clear();
    nodes_.clear();
    attributes_.clear();
    children_.clear();
    documentChildCount_ = 0;
    trailingGap_ = 0;
    depth_ = 0;
    mapped_ = false;
}

bool SourceLayout::Build(std::string text, const pugi::xml_document& dom) {
    Clear();
    // Offsets are 31 bits; a larger document is regenerated instead.
    if (text.size() >= ArenaFlag) return false;
    text_ = std::move(text);

    // Exact sizes up front: growing the tables would touch twice the memory.
    std::size_t nodeCount = 0;
    std::size_t attributeCount = 0;
    for (pugi::xml_node n = dom.first_child(); n;) {
        ++nodeCount;
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) ++attributeCount;
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && !n.next_sibling()) n = n.parent();
        if (n) n = n.next_sibling();
    }
    nodes_.reserve(nodeCount);
    attributes_.reserve(attributeCount);
    children_.reserve(nodeCount);

    for (pugi::xml_node child = dom.first_child(); child; child = child.next_sibling()) ++documentChildCount_;
    children_.resize(documentChildCount_);
    Offset pos = 0;
    mapped_ = ScanChildren(dom, 0, pos, true);
    if (!mapped_) {
        Clear();
        return false;
    }
    trailingGap_ = pos;
    return true;
}

bool SourceLayout::ScanChildren(const pugi::xml_node& parent, Offset firstSlot, Offset& pos, bool documentLevel) {
    if (++depth_ > MaxMappedDepth) return false;
    Offset slot = firstSlot;
    for (const pugi::xml_node& child : parent.children()) {
        const Offset gapBegin = pos;
        // Text outside the root element is not part of the tree; it is kept
        // as the gap before the next node.
        if (documentLevel) {
            while (pos < text_.size() && text_[pos] != '<') ++pos;
        }
        children_[slot++] = static_cast<Offset>(nodes_.size());
        if (!ScanNode(child, gapBegin, pos)) return false;
    }
    --depth_;
    return true;
}

bool SourceLayout::ScanStartTag(const pugi::xml_node& node, Offset index, Offset& pos) {
    const std::size_t size = text_.size();
    Offset p = pos + 1;
    const std::string_view name = node.name();
    if (text_.compare(p, name.size(), name) != 0) return false;
    nodes_[index].name = {p, static_cast<Offset>(name.size())};
    p += static_cast<Offset>(name.size());
    if (p >= size || !(IsSpace(text_[p]) || text_[p] == '/' || text_[p] == '>')) return false;
    nodes_[index].nameEnd = p;
    nodes_[index].firstAttribute = static_cast<Offset>(attributes_.size());
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        const Offset chunkBegin = p;
        while (p < size && IsSpace(text_[p])) ++p;
        const std::string_view attributeName = attribute.name();
        if (text_.compare(p, attributeName.size(), attributeName) != 0) return false;
        const Piece namePiece{p, static_cast<Offset>(attributeName.size())};
        p += static_cast<Offset>(attributeName.size());
        while (p < size && IsSpace(text_[p])) ++p;
        if (p >= size || text_[p] != '=') return false;
        ++p;
        while (p < size && IsSpace(text_[p])) ++p;
        if (p >= size || (text_[p] != '"' && text_[p] != '\'')) return false;
        const auto close = text_.find(text_[p], p + 1);
        if (close == std::string::npos) return false;
        const Offset valueBegin = p + 1;
        p = static_cast<Offset>(close) + 1;
        attributes_.push_back({namePiece, RawOrKeep(valueBegin, p - 1, attribute.value()), chunkBegin, valueBegin, p,
                               attribute.internal_object()});
    }
    NodeRecord& record = nodes_[index];
    record.attributeCount = static_cast<Offset>(attributes_.size()) - record.firstAttribute;
    record.tailBegin = p;
    while (p < size && IsSpace(text_[p])) ++p;
    if (text_.compare(p, 2, "/>") == 0) {
        record.selfClosing = true;
        p += 2;
    } else if (p < size && text_[p] == '>') {
        ++p;
    } else {
        return false;
    }
    record.tagEnd = p;
    pos = p;
    return true;
}

// Finds the end of a document type declaration the way the parser does:
// nested "<!" groups, quoted strings, comments and processing instructions.
bool SourceLayout::ScanDoctype(Offset& pos) const {
    const std::size_t size = text_.size();
    auto at = [&](std::size_t k) { return k < size ? text_[k] : '\0'; };
    std::size_t s = pos + 2;
    std::size_t depth = 0;
    while (s < size) {
        if (at(s) == '<' && at(s + 1) == '!' && at(s + 2) != '-') {
            if (at(s + 2) == '[') {
                std::size_t ignoreDepth = 0;
                s += 3;
                for (;;) {
                    if (s >= size) return false;
                    if (at(s) == '<' && at(s + 1) == '!' && at(s + 2) == '[') {
                        s += 3;
                        ++ignoreDepth;
                    } else if (at(s) == ']' && at(s + 1) == ']' && at(s + 2) == '>') {
                        s += 3;
                        if (ignoreDepth == 0) break;
                        --ignoreDepth;
                    } else {
                        ++s;
                    }
                }
            } else {
                s += 2;
                ++depth;
            }
        } else if (at(s) == '"' || at(s) == '\'') {
            const auto close = text_.find(at(s), s + 1);
            if (close == std::string::npos) return false;
            s = close + 1;
        } else if (at(s) == '<' && at(s + 1) == '?') {
            const auto close = text_.find("?>", s + 2);
            if (close == std::string::npos) return false;
            s = close + 2;
        } else if (at(s) == '<' && at(s + 1) == '!' && at(s + 2) == '-' && at(s + 3) == '-') {
            const auto close = text_.find("-->", s + 4);
            if (close == std::string::npos) return false;
            s = close + 3;
        } else if (at(s) == '<') {
            return false;
        } else if (at(s) == '>') {
            if (depth == 0) {
                pos = static_cast<Offset>(s + 1);
                return true;
            }
            --depth;
            ++s;
        } else {
            ++s;
        }
    }
    return false;
}

bool SourceLayout::ScanNode(const pugi::xml_node& node, Offset gapBegin, Offset& pos) {
    const std::size_t size = text_.size();
    if (pos >= size) return false;
    const auto index = static_cast<Offset>(nodes_.size());
    {
        NodeRecord record;
        record.node = node.internal_object();
        record.type = node.type();
        record.gapBegin = gapBegin;
        record.begin = pos;
        nodes_.push_back(record);
    }
    const Offset begin = pos;

    auto skipPast = [&](std::size_t from, std::string_view terminator) {
        const auto found = text_.find(terminator, from);
        if (found == std::string::npos) return false;
        pos = static_cast<Offset>(found + terminator.size());
        return true;
    };
    // Comments and CDATA sections are not decoded: their value is their text.
    auto rawValue = [&](Offset from, Offset to) {
        if (std::string_view(text_).substr(from, to - from) != node.value()) return false;
        nodes_[index].value = {from, to - from};
        return true;
    };

    switch (node.type()) {
    case pugi::node_element: {
        if (text_[pos] != '<' || !ScanStartTag(node, index, pos)) return false;
        nodes_[index].value = Keep(node.value());
        if (nodes_[index].selfClosing) {
            if (node.first_child()) return false;
            break;
        }
        Offset count = 0;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) ++count;
        const auto firstChild = static_cast<Offset>(children_.size());
        nodes_[index].firstChild = firstChild;
        nodes_[index].childCount = count;
        children_.resize(children_.size() + count);
        if (!ScanChildren(node, firstChild, pos, false)) return false;
        if (text_.compare(pos, 2, "</") != 0) return false;
        nodes_[index].endTagBegin = pos;
        const std::string_view name = node.name();
        if (text_.compare(pos + 2, name.size(), name) != 0) return false;
        pos += 2 + static_cast<Offset>(name.size());
        while (pos < size && IsSpace(text_[pos])) ++pos;
        if (pos >= size || text_[pos] != '>') return false;
        ++pos;
        break;
    }
    case pugi::node_pcdata: {
        if (text_[pos] == '<') return false;
        const auto next = text_.find('<', pos);
        pos = next == std::string::npos ? static_cast<Offset>(size) : static_cast<Offset>(next);
        // The value is decoded in place, so it starts where the text does.
        if (node.offset_debug() != static_cast<std::ptrdiff_t>(begin)) return false;
        nodes_[index].value = RawOrKeep(begin, pos, node.value());
        break;
    }
    case pugi::node_cdata:
        if (text_.compare(pos, 9, "<![CDATA[") != 0 || !skipPast(pos + 9, "]]>")) return false;
        if (!rawValue(begin + 9, pos - 3)) return false;
        break;
    case pugi::node_comment:
        if (text_.compare(pos, 4, "<!--") != 0 || !skipPast(pos + 4, "-->")) return false;
        if (!rawValue(begin + 4, pos - 3)) return false;
        break;
    case pugi::node_pi:
    case pugi::node_declaration: {
        const std::string_view name = node.name();
        if (text_.compare(pos, 2, "<?") != 0 || text_.compare(pos + 2, name.size(), name) != 0) return false;
        nodes_[index].name = {pos + 2, static_cast<Offset>(name.size())};
        nodes_[index].value = Keep(node.value());
        // The declaration's pseudo-attributes are compared like attributes.
        nodes_[index].firstAttribute = static_cast<Offset>(attributes_.size());
        for (const pugi::xml_attribute& attribute : node.attributes()) {
            attributes_.push_back({Keep(attribute.name()), Keep(attribute.value()), 0, 0, 0, attribute.internal_object()});
        }
        nodes_[index].attributeCount = static_cast<Offset>(attributes_.size()) - nodes_[index].firstAttribute;
        if (!skipPast(pos + 2 + name.size(), "?>")) return false;
        break;
    }
    case pugi::node_doctype:
        if (text_.compare(pos, 9, "<!DOCTYPE") != 0 || !ScanDoctype(pos)) return false;
        nodes_[index].value = Keep(node.value());
        break;
    default:
        return false;
    }
    // Where the parser says the node's name or value lies must be inside
    // the span found for it.
    const std::ptrdiff_t offset = node.offset_debug();
    if (offset >= 0 && (static_cast<std::size_t>(offset) < begin || static_cast<std::size_t>(offset) > pos)) return false;
    nodes_[index].end = pos;
    return true;
}

// Children keep their order: only additions and removals come between them,
// so the search resumes after the last child found. A node that is not among
// the original children (new, or moved from elsewhere) has no record and is
// written from the tree.
const SourceLayout::NodeRecord* SourceLayout::RecordOf(const pugi::xml_node& child, Offset firstChild,
                                                       Offset childCount, Offset& cursor) const {
    for (Offset k = cursor; k < childCount; ++k) {
        const NodeRecord& record = nodes_[children_[firstChild + k]];
        if (record.node == child.internal_object()) {
            cursor = k + 1;
            return &record;
        }
    }
    return nullptr;
}

bool SourceLayout::Unchanged(const pugi::xml_node& node, const NodeRecord& record) const {
    if (node.type() != record.type || View(record.name) != node.name() || View(record.value) != node.value()) {
        return false;
    }
    Offset k = 0;
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        if (k == record.attributeCount) return false;
        const AttributeRecord& a = attributes_[record.firstAttribute + k];
        if (View(a.name) != attribute.name() || View(a.value) != attribute.value()) return false;
        ++k;
    }
    if (k != record.attributeCount) return false;
    k = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (k == record.childCount) return false;
        const NodeRecord& childRecord = nodes_[children_[record.firstChild + k]];
        if (childRecord.node != child.internal_object() || !Unchanged(child, childRecord)) return false;
        ++k;
    }
    return k == record.childCount;
}

std::string SourceLayout::Serialise(const pugi::xml_document& dom) const {
    std::string out;
    if (!mapped_) {
        StringWriter writer(out);
        dom.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
        return out;
    }
    out.reserve(text_.size() + text_.size() / 16);
    Offset cursor = 0;
    for (const pugi::xml_node& child : dom.children()) {
        Emit(child, RecordOf(child, 0, documentChildCount_, cursor), out, 1);
    }
    Append(out, trailingGap_, static_cast<Offset>(text_.size()));
    return out;
}

void SourceLayout::Emit(const pugi::xml_node& node, const NodeRecord* record, std::string& out,
                        std::size_t depth) const {
    if (record != nullptr) {
        Append(out, record->gapBegin, record->begin);
        if (Unchanged(node, *record)) {
            Append(out, record->begin, record->end);
            return;
        }
    }
    if (depth > MaxMappedDepth) {
        PrintWithLibrary(node, out);
        return;
    }
    switch (node.type()) {
    case pugi::node_element: EmitElement(node, record, out, depth); break;
    case pugi::node_pcdata: AppendEscapedText(out, node.value()); break;
    default: PrintWithLibrary(node, out); break;
    }
}

void SourceLayout::EmitElement(const pugi::xml_node& node, const NodeRecord* record, std::string& out,
                               std::size_t depth) const {
    const std::string_view name = node.name();
    if (record != nullptr && record->type != pugi::node_element) record = nullptr;
    const bool sameName = record != nullptr && View(record->name) == name;
    if (sameName) {
        Append(out, record->begin, record->nameEnd);
    } else {
        out.push_back('<');
        out.append(name);
    }
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        const AttributeRecord* kept = nullptr;
        for (Offset k = 0; record != nullptr && k < record->attributeCount; ++k) {
            const AttributeRecord& a = attributes_[record->firstAttribute + k];
            if (a.attribute == attribute.internal_object() && View(a.name) == attribute.name()) {
                kept = &a;
                break;
            }
        }
        if (kept != nullptr && View(kept->value) == attribute.value()) {
            Append(out, kept->chunkBegin, kept->chunkEnd);
        } else if (kept != nullptr) {
            // A new value keeps the attribute's spacing and quotes.
            const char quote = text_[kept->chunkEnd - 1];
            Append(out, kept->chunkBegin, kept->valueBegin);
            AppendEscapedAttribute(out, attribute.value(), quote);
            out.push_back(quote);
        } else {
            out.push_back(' ');
            out.append(attribute.name());
            out += "=\"";
            AppendEscapedAttribute(out, attribute.value());
            out.push_back('"');
        }
    }
    const bool hasChildren = static_cast<bool>(node.first_child());
    const bool keptEndTag = record != nullptr && !record->selfClosing;
    if (!hasChildren && record != nullptr && record->selfClosing) {
        Append(out, record->tailBegin, record->tagEnd);
        return;
    }
    if (!hasChildren && record == nullptr) {
        out += "/>";
        return;
    }
    if (keptEndTag) {
        Append(out, record->tailBegin, record->tagEnd);
    } else {
        out.push_back('>');
    }
    Offset cursor = 0;
    for (const pugi::xml_node& child : node.children()) {
        const NodeRecord* childRecord = record != nullptr ? RecordOf(child, record->firstChild, record->childCount, cursor)
                                                          : nullptr;
        Emit(child, childRecord, out, depth + 1);
    }
    if (keptEndTag && sameName) {
        Append(out, record->endTagBegin, record->end);
    } else {
        out += "</";
        out.append(name);
        out.push_back('>');
    }
}

}  // namespace modXML::detail
