#include "xmlfix/SourceLayout.h"

#include "xmlfix/Arena.h"
#include "xmlfix/PreOrder.h"

// Serialising walks the tree and writes each node the parser made from
// where it lies in the source, piece by piece (its tag, each attribute, the
// white space and the nodes between its children), as long as that piece
// is unchanged; changed and new pieces are written from the tree. Adjacent
// source pieces are copied as one, so an unchanged subtree costs one copy.
// Changes are found by comparison rather than by notification, so that
// changes made directly through the tree are written correctly too: a
// string the tree still holds where the parser put it is unchanged (once
// direct changes are allowed, only if it also still reads the same), and a
// node or attribute whose strings are elsewhere is new.

#include <algorithm>
#include <cstring>

namespace modXML::detail {
namespace {

// Parts deeper than any loaded document, which only changes can create,
// are written by the library's own non-recursive writer.
constexpr std::size_t MaxMappedDepth = MaxElementDepth + 1;

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

bool IsQuote(char c) { return c == '"' || c == '\''; }

// A byte that may be part of a name in a tag.
bool InName(char c) {
    switch (c) {
    case '\0': case ' ': case '\t': case '\r': case '\n': case '<': case '>': case '/': case '=': case '"': case '\'':
        return false;
    default: return true;
    }
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

// Where serialising goes: a text, or, while the layout is built, a check
// that the tree as parsed comes out as the whole source, in order, and
// nothing else.
class SourceLayout::Output {
public:
    Output(const SourceLayout& layout, std::string* text, const std::function<void(std::size_t)>* done = nullptr)
        : layout_(layout), text_(text), done_(done) {}

    void Source(Offset from, Offset to) {
        if (from == to) return;
        // Copied while it is still at hand, for a source read from compressed blocks.
        if (pending_ && from == end_ && to - begin_ <= MaxPending) {
            end_ = to;
            return;
        }
        Flush();
        begin_ = from;
        end_ = to;
        pending_ = true;
    }
    // Where text from the tree is appended.
    std::string& Text() {
        Flush();
        if (text_ != nullptr) return *text_;
        failed_ = true;
        scratch_.clear();
        return scratch_;
    }
    // Checking: whether the whole source came out.
    bool Finish() {
        Flush();
        return !failed_ && checked_ == layout_.size_;
    }

private:
    static constexpr Offset MaxPending = 1 << 15;

    void Flush() {
        if (!pending_) return;
        pending_ = false;
        if (text_ != nullptr) {
            layout_.source_.AppendTo(*text_, begin_, end_);
            // Whatever the tree holds before this piece has been written.
            if (done_ != nullptr && *done_ && layout_.pristine_.empty()) (*done_)(begin_);
            return;
        }
        if (begin_ != checked_) failed_ = true;
        checked_ = end_;
    }

    const SourceLayout& layout_;
    std::string* text_;
    const std::function<void(std::size_t)>* done_;
    std::string scratch_;
    bool pending_ = false;
    Offset begin_ = 0;
    Offset end_ = 0;
    Offset checked_ = 0;
    bool failed_ = false;
};

void SourceLayout::Clear() {
    parsed_ = nullptr;
    size_ = 0;
    source_ = SourceText();
    keptElements_.clear();
    whitespaceNodes_.clear();
    pristine_.clear();
    allKept_ = false;
    mapped_ = false;
}

bool SourceLayout::SourceHas(Offset pos, std::string_view text) const {
    if (pos > size_ || size_ - pos < text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (At(pos + static_cast<Offset>(i)) != text[i]) return false;
    }
    return true;
}

// The position of text at or after from, or the end of the source.
SourceLayout::Offset SourceLayout::SourceFind(std::string_view text, Offset from) const {
    for (Offset p = from; p < size_; ++p) {
        if (SourceHas(p, text)) return p;
    }
    return size_;
}

SourceLayout::Offset SourceLayout::SkipSpace(Offset pos) const {
    while (pos < size_ && IsXmlSpace(At(pos))) ++pos;
    return pos;
}

SourceLayout::StartTag SourceLayout::ScanStartTag(Offset begin) const {
    StartTag tag;
    Offset p = begin + 1;
    while (p < size_ && InName(At(p))) ++p;
    tag.nameEnd = p;
    for (;;) {
        const Offset chunkBegin = p;
        p = SkipSpace(p);
        if (p >= size_ || At(p) == '/' || At(p) == '>' || At(p) == '?') {
            tag.tailBegin = chunkBegin;
            break;
        }
        Attribute attribute{chunkBegin, p, 0, 0};
        while (p < size_ && InName(At(p))) ++p;
        p = SkipSpace(p);
        p = SkipSpace(p + 1);  // past "="
        const char quote = p < size_ ? At(p) : '"';
        attribute.valueBegin = ++p;
        while (p < size_ && At(p) != quote) ++p;
        attribute.chunkEnd = std::min(p + 1, size_);
        p = attribute.chunkEnd;
        tag.attributes.push_back(attribute);
    }
    p = SkipSpace(tag.tailBegin);
    tag.selfClosing = p < size_ && At(p) != '>';
    tag.end = std::min(p + (tag.selfClosing ? 2 : 1), size_);
    return tag;
}

// The usual case, found from where the element's strings are rather than
// by reading the tag: name and attributes as the parser left them, none
// added or removed. Fills tag but its attributes.
bool SourceLayout::StartTagUnchanged(const pugi::xml_node& element, Offset begin, StartTag& tag) const {
    if (!Unchanged(element.name())) return false;
    Offset p = begin + 1 + static_cast<Offset>(std::strlen(element.name()));
    tag.nameEnd = p;
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        const std::optional<Offset> name = OffsetOf(a.name());
        const std::optional<Offset> value = OffsetOf(a.value());
        if (!name || !value || *name <= p || !Unchanged(a.name()) || !Unchanged(a.value())) return false;
        // Only white space before the name: no attribute was removed there.
        for (Offset q = p; q < *name; ++q) {
            if (!IsXmlSpace(At(q))) return false;
        }
        // The value's closing quote right after it: no reference was decoded.
        const Offset close = *value + static_cast<Offset>(std::strlen(a.value()));
        if (close >= size_ || At(close) != At(*value - 1)) return false;
        p = close + 1;
    }
    tag.tailBegin = p;
    p = SkipSpace(p);
    if (p >= size_ || (At(p) != '/' && At(p) != '>')) return false;
    tag.selfClosing = At(p) == '/';
    tag.end = std::min(p + (tag.selfClosing ? 2 : 1), size_);
    return true;
}

// After the ">" of the end tag at pos.
SourceLayout::Offset SourceLayout::EndTagEnd(Offset pos) const {
    Offset p = pos + 2;
    while (p < size_ && InName(At(p))) ++p;
    p = SkipSpace(p);
    return std::min(p + 1, size_);
}

SourceLayout::Offset SourceLayout::TextEnd(Offset pos) const {
    while (pos < size_ && At(pos) != '<') ++pos;
    return pos;
}

// Finds the end of a document type declaration the way the parser does:
// nested "<!" groups, quoted strings, comments and processing instructions.
SourceLayout::Offset SourceLayout::DoctypeEnd(Offset begin) const {
    const auto at = [&](Offset k) { return k < size_ ? At(k) : '\0'; };
    Offset s = begin + 2;
    std::size_t depth = 0;
    while (s < size_) {
        if (at(s) == '<' && at(s + 1) == '!' && at(s + 2) == '[') {
            std::size_t ignoreDepth = 0;
            for (s += 3; s < size_;) {
                if (SourceHas(s, "<![")) {
                    s += 3;
                    ++ignoreDepth;
                } else if (SourceHas(s, "]]>")) {
                    s += 3;
                    if (ignoreDepth-- == 0) break;
                } else {
                    ++s;
                }
            }
        } else if (at(s) == '<' && at(s + 1) == '!' && at(s + 2) != '-') {
            s += 2;
            ++depth;
        } else if (IsQuote(at(s))) {
            const char quote = at(s);
            for (++s; s < size_ && at(s) != quote;) ++s;
            ++s;
        } else if (SourceHas(s, "<?")) {
            s = SourceFind("?>", s + 2) + 2;
        } else if (SourceHas(s, "<!--")) {
            s = SourceFind("-->", s + 4) + 3;
        } else if (at(s) == '>') {
            ++s;
            if (depth == 0) return s;
            --depth;
        } else {
            ++s;
        }
    }
    return size_;
}

// Where the node that starts at begin ends, whatever the tree holds now.
SourceLayout::Offset SourceLayout::NodeEnd(Offset begin) const {
    Offset end = size_;
    if (At(begin) != '<') {
        end = TextEnd(begin);
    } else if (SourceHas(begin, "<!--")) {
        end = SourceFind("-->", begin + 4) + 3;
    } else if (SourceHas(begin, "<![CDATA[")) {
        end = SourceFind("]]>", begin + 9) + 3;
    } else if (SourceHas(begin, "<!DOCTYPE")) {
        end = DoctypeEnd(begin);
    } else if (SourceHas(begin, "<?")) {
        end = SourceFind("?>", begin + 2) + 2;
    } else {
        const StartTag tag = ScanStartTag(begin);
        end = tag.end;
        while (!tag.selfClosing && end < size_ && !SourceHas(end, "</")) end = NodeEnd(end);
        if (!tag.selfClosing) end = EndTagEnd(end);
    }
    return std::min(end, size_);
}

std::optional<SourceLayout::Offset> SourceLayout::OffsetOf(const char* s) const {
    if (s < parsed_ || s >= parsed_ + size_) return std::nullopt;
    return static_cast<Offset>(s - parsed_);
}

bool SourceLayout::Unchanged(const char* s) const {
    const std::optional<Offset> offset = OffsetOf(s);
    return offset && (pristine_.empty() || std::strcmp(s, pristine_.data() + *offset) == 0);
}

std::optional<SourceLayout::Offset> SourceLayout::Begin(const pugi::xml_node& node) const {
    if (!whitespaceNodes_.empty()) {
        if (const auto kept = whitespaceNodes_.find(node.internal_object()); kept != whitespaceNodes_.end()) {
            return kept->second;
        }
    }
    const auto before = [&](const char* s, Offset distance) -> std::optional<Offset> {
        const std::optional<Offset> offset = OffsetOf(s);
        if (!offset || *offset < distance) return std::nullopt;
        return *offset - distance;
    };
    switch (node.type()) {
    case pugi::node_element: return before(node.name(), 1);
    case pugi::node_pcdata: return before(node.value(), 0);
    case pugi::node_pi:
    case pugi::node_declaration: return before(node.name(), 2);
    case pugi::node_comment: return before(node.value(), 4);
    case pugi::node_cdata: return before(node.value(), 9);
    case pugi::node_doctype: {
        // Back over the keyword to its "<"; the value may itself begin with
        // one ("<!DOCTYPE<!>>"), so the search starts before it.
        std::optional<Offset> begin = before(node.value(), 1);
        while (begin && *begin > 0 && At(*begin) != '<') --*begin;
        return begin;
    }
    default: return std::nullopt;
    }
}

// Nodes other than elements, which are written whole or not at all.
bool SourceLayout::NodeUnchanged(const pugi::xml_node& node) const {
    if (const auto kept = whitespaceNodes_.find(node.internal_object()); kept != whitespaceNodes_.end()) {
        const std::string_view value = node.value();
        return TextEnd(kept->second) - kept->second == value.size() && SourceHas(kept->second, value);
    }
    if (node.type() == pugi::node_pi) {
        // The parser gives a processing instruction without text no string for it.
        const Offset nameEnd = *OffsetOf(node.name()) + static_cast<Offset>(std::strlen(node.name()));
        return Unchanged(node.name()) &&
               (Unchanged(node.value()) || (*node.value() == '\0' && SourceHas(SkipSpace(nameEnd), "?>")));
    }
    if (node.type() == pugi::node_declaration) {
        if (!Unchanged(node.name())) return false;
        const StartTag tag = ScanStartTag(*Begin(node));
        std::size_t k = 0;
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute(), ++k) {
            if (k == tag.attributes.size() || OffsetOf(a.name()) != tag.attributes[k].name || !Unchanged(a.name()) ||
                !Unchanged(a.value())) {
                return false;
            }
        }
        return k == tag.attributes.size();
    }
    return Unchanged(node.value());
}

bool SourceLayout::Kept(const pugi::xml_node& element) const {
    return !keptElements_.empty() && keptElements_.count(element.internal_object()) > 0;
}

// Calls gapRun(from, to, isSpace) for each run of text between the nodes
// from from to (when given) to, or to the parent's end tag, which it
// returns; nodes in between are no longer in the tree and are skipped.
template <typename F>
SourceLayout::Offset SourceLayout::Gap(Offset from, std::optional<Offset> to, F gapRun) const {
    const Offset limit = to ? *to : size_;
    Offset p = from;
    while (p < limit) {
        if (At(p) == '<') {
            if (!to && SourceHas(p, "</")) return p;
            p = NodeEnd(p);
            continue;
        }
        const Offset text = p;
        bool space = true;
        for (; p < limit && At(p) != '<'; ++p) space = space && IsXmlSpace(At(p));
        gapRun(text, p, space);
    }
    return limit;
}

// Walks parent's children with their source, from (the end of parent's
// start tag, or 0 for the document) on: calls child(node, begin) for each
// child (begin: where it starts in the source when the parser made it and
// it comes in source order; it returns where it ends) and gapRun for the
// text between them. Children that are new come after the last original
// one, and the text before the end tag goes before them. Returns where
// parent's content ends.
template <typename G, typename C>
SourceLayout::Offset SourceLayout::WalkChildren(const pugi::xml_node& parent, Offset from, bool documentLevel, G gapRun,
                                                C child) const {
    Offset pos = from;
    bool passedEnd = false;
    for (pugi::xml_node node = parent.first_child(); node;) {
        const pugi::xml_node next = node.next_sibling();
        const std::optional<Offset> begin = Begin(node);
        if (begin && !passedEnd && *begin >= pos) {
            Gap(pos, *begin, [&](Offset a, Offset b, bool space) { gapRun(a, b, space, node); });
            pos = child(node, begin);
        } else {
            if (!passedEnd && !documentLevel) {
                pos = Gap(pos, std::nullopt, [&](Offset a, Offset b, bool space) { gapRun(a, b, space, node); });
                passedEnd = true;
            }
            child(node, std::optional<Offset>());
        }
        node = next;
    }
    const pugi::xml_node none;
    if (documentLevel) {
        // After the last node comes whatever the parser stopped before (it
        // ends at a NUL byte): kept as it is.
        if (pos < size_) gapRun(pos, size_, false, none);
        return size_;
    }
    if (passedEnd) return pos;
    return Gap(pos, std::nullopt, [&](Offset a, Offset b, bool space) { gapRun(a, b, space, none); });
}

SourceLayout::Offset SourceLayout::EmitChildren(const pugi::xml_node& parent, Offset from, bool documentLevel,
                                                Output& out, std::size_t depth) const {
    // Text outside the root element is no node at all; white space between
    // elements is written from here unless it was put in the tree.
    const bool spaceHere = documentLevel || !Kept(parent);
    return WalkChildren(
        parent, from, documentLevel,
        [&](Offset a, Offset b, bool space, const pugi::xml_node&) {
            if (documentLevel || (space && spaceHere)) out.Source(a, b);
        },
        [&](const pugi::xml_node& node, std::optional<Offset> begin) { return Emit(node, begin, out, depth + 1); });
}

// begin: where node starts in the source, for a node the parser made that
// comes in source order; any other is written from the tree.
SourceLayout::Offset SourceLayout::Emit(const pugi::xml_node& node, std::optional<Offset> begin, Output& out,
                                        std::size_t depth) const {
    if (depth > MaxMappedDepth) {
        PrintWithLibrary(node, out.Text());
        return begin ? NodeEnd(*begin) : 0;
    }
    if (!begin) {
        switch (node.type()) {
        case pugi::node_element: EmitNewElement(node, out, depth); break;
        case pugi::node_pcdata: AppendEscapedText(out.Text(), node.value()); break;
        default: PrintWithLibrary(node, out.Text()); break;
        }
        return 0;
    }
    if (node.type() == pugi::node_element) return EmitOriginalElement(node, *begin, out, depth);
    const Offset end = NodeEnd(*begin);
    if (NodeUnchanged(node)) {
        out.Source(*begin, end);
    } else if (node.type() == pugi::node_pcdata) {
        AppendEscapedText(out.Text(), node.value());
    } else {
        PrintWithLibrary(node, out.Text());
    }
    return end;
}

SourceLayout::Offset SourceLayout::EmitOriginalElement(const pugi::xml_node& element, Offset begin, Output& out,
                                                       std::size_t depth) const {
    StartTag tag;
    const bool sameName = Unchanged(element.name());
    if (StartTagUnchanged(element, begin, tag)) {
        out.Source(begin, tag.tailBegin);
    } else {
        tag = ScanStartTag(begin);
        EmitChangedStartTag(element, begin, tag, sameName, out);
    }
    const bool hasChildren = static_cast<bool>(element.first_child());
    if (tag.selfClosing) {
        if (!hasChildren) {
            out.Source(tag.tailBegin, tag.end);
        } else {
            out.Text().push_back('>');
            for (const pugi::xml_node& child : element.children()) Emit(child, std::nullopt, out, depth + 1);
            out.Text().append("</").append(element.name()).append(">");
        }
        return tag.end;
    }
    out.Source(tag.tailBegin, tag.end);
    const Offset contentEnd = EmitChildren(element, tag.end, false, out, depth);
    const Offset end = EndTagEnd(contentEnd);
    if (sameName) {
        out.Source(contentEnd, end);
    } else {
        out.Text().append("</").append(element.name()).append(">");
    }
    return end;
}

void SourceLayout::EmitChangedStartTag(const pugi::xml_node& element, Offset begin, const StartTag& tag,
                                       bool sameName, Output& out) const {
    if (sameName) {
        out.Source(begin, tag.nameEnd);
    } else {
        out.Text().append("<").append(element.name());
    }
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        const std::optional<Offset> at = Unchanged(attribute.name()) ? OffsetOf(attribute.name()) : std::nullopt;
        const auto kept = std::find_if(tag.attributes.begin(), tag.attributes.end(),
                                       [&](const Attribute& a) { return at && a.name == *at; });
        if (kept == tag.attributes.end()) {
            std::string& text = out.Text();
            text.append(" ").append(attribute.name()).append("=\"");
            AppendEscapedAttribute(text, attribute.value());
            text.push_back('"');
        } else if (Unchanged(attribute.value()) && OffsetOf(attribute.value()) == kept->valueBegin) {
            out.Source(kept->chunkBegin, kept->chunkEnd);
        } else {
            // A new value keeps the attribute's spacing and quotes.
            const char quote = At(kept->valueBegin - 1);
            out.Source(kept->chunkBegin, kept->valueBegin);
            AppendEscapedAttribute(out.Text(), attribute.value(), quote);
            out.Text().push_back(quote);
        }
    }
}

void SourceLayout::EmitNewElement(const pugi::xml_node& element, Output& out, std::size_t depth) const {
    std::string& text = out.Text();
    text.append("<").append(element.name());
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        text.append(" ").append(attribute.name()).append("=\"");
        AppendEscapedAttribute(text, attribute.value());
        text.push_back('"');
    }
    if (!element.first_child()) {
        text += "/>";
        return;
    }
    text.push_back('>');
    for (const pugi::xml_node& child : element.children()) Emit(child, std::nullopt, out, depth + 1);
    out.Text().append("</").append(element.name()).append(">");
}

bool SourceLayout::Build(const char* parsed, SourceText& source, const pugi::xml_document& dom) {
    Clear();
    // Offsets are 31 bits; a larger document is regenerated instead.
    if (source.Size() >= (Offset{1} << 31)) return false;
    parsed_ = parsed;
    size_ = static_cast<Offset>(source.Size());
    std::swap(source_, source);
    Output check(*this, nullptr);
    EmitChildren(dom, 0, true, check, 0);
    mapped_ = check.Finish();
    if (!mapped_) {
        std::swap(source_, source);
        Clear();
    }
    return mapped_;
}

std::string SourceLayout::Serialise(const pugi::xml_document& dom, const std::function<void(std::size_t)>& done) const {
    std::string text;
    if (!mapped_) {
        StringWriter writer(text);
        dom.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
        return text;
    }
    text.reserve(size_ + size_ / 16);
    // A large text is written while the parser's buffer is given back: its
    // pages come as it grows.
    if (size_ < SourceText::LargeSize) Prefault(text.data(), text.capacity());
    Output out(*this, &text, &done);
    EmitChildren(dom, 0, true, out, 0);
    out.Finish();
    return text;
}

// White space runs between the children become text nodes where they lie:
// before the child they precede, the last ones before new children.
SourceLayout::Offset SourceLayout::KeepFrom(pugi::xml_node element, Offset begin) {
    if (Kept(element)) return NodeEnd(begin);
    const StartTag tag = ScanStartTag(begin);
    if (tag.selfClosing) {
        keptElements_.insert(element.internal_object());
        return tag.end;
    }
    const Offset contentEnd = WalkChildren(
        element, tag.end, false,
        [&](Offset a, Offset b, bool space, const pugi::xml_node& before) {
            if (!space) return;
            pugi::xml_node text = before ? element.insert_child_before(pugi::node_pcdata, before)
                                         : element.append_child(pugi::node_pcdata);
            std::string value;
            source_.AppendTo(value, a, b);
            text.set_value(value.c_str());
            whitespaceNodes_.emplace(text.internal_object(), a);
        },
        [&](const pugi::xml_node& child, std::optional<Offset> childBegin) -> Offset {
            if (!childBegin) return 0;
            return child.type() == pugi::node_element ? KeepFrom(child, *childBegin) : NodeEnd(*childBegin);
        });
    keptElements_.insert(element.internal_object());
    return EndTagEnd(contentEnd);
}

void SourceLayout::KeepWhitespace(pugi::xml_node element) {
    if (!mapped_ || element.type() != pugi::node_element || Kept(element)) return;
    if (const std::optional<Offset> begin = Begin(element)) KeepFrom(element, *begin);
}

void SourceLayout::KeepAllWhitespace(pugi::xml_document& dom) {
    if (allKept_) return;
    for (const pugi::xml_node& child : dom.children()) KeepWhitespace(child);
    allKept_ = true;
}

void SourceLayout::Forget(const pugi::xml_node& subtree) {
    if (whitespaceNodes_.empty() && keptElements_.empty()) return;
    WalkPreOrder(subtree, [&](const pugi::xml_node& node, std::size_t) {
        whitespaceNodes_.erase(node.internal_object());
        keptElements_.erase(node.internal_object());
        return true;
    });
}

void SourceLayout::AllowDirectChanges(pugi::xml_document& dom) {
    if (!mapped_ || !pristine_.empty()) return;
    KeepAllWhitespace(dom);
    pristine_.assign(parsed_, size_);
}

}  // namespace modXML::detail
