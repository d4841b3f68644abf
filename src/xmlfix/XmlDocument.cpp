#include "xmlfix/modXML.h"

#include "xmlfix/Arena.h"
#include "xmlfix/ChildIndex.h"
#include "xmlfix/Encoding.h"
#include "xmlfix/PlainPath.h"
#include "xmlfix/PreOrder.h"
#include "xmlfix/SourceLayout.h"
#include "xmlfix/SourceText.h"
#include "xmlfix/Tree.h"

#include "common/Errors.h"
#include "common/SafeWrite.h"
#include "common/modGen.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace modXML {

XmlDocument ConfigDoc;

namespace {

using kestrune::ErrorNumber::XmlEncodingError;
using kestrune::ErrorNumber::XmlInvalidName;
using kestrune::ErrorNumber::XmlNoDocument;
using kestrune::ErrorNumber::XmlNotAnElement;
using kestrune::ErrorNumber::XmlQueryRejected;
using detail::XmlError;

// Line ends, white-space text, the declaration, comments, processing
// instructions and the doctype all stay, so that nothing is lost on the way
// back out.
constexpr unsigned ParseOptions =
    (pugi::parse_full | pugi::parse_ws_pcdata) & ~static_cast<unsigned>(pugi::parse_eol);
// The same, but white space between elements stays in the layout, not in
// the tree, which would spend a node on every line break.
constexpr unsigned LeanParseOptions = ParseOptions & ~static_cast<unsigned>(pugi::parse_ws_pcdata);

// The byte offset in the input of an offset in the decoded text (original:
// the whole decoded text as it was before it was parsed in place).
std::size_t InputOffset(DocumentEncoding encoding, std::size_t markSize, std::size_t utf8Offset,
                        const std::function<std::string()>& original) {
    if (encoding == DocumentEncoding::Utf8) return markSize + utf8Offset;
    std::string text = original();
    text.resize(std::min(utf8Offset, text.size()));
    return markSize + detail::EncodeDocument(text, encoding).size();
}

// The first element nested deeper than MaxElementDepth, or none.
pugi::xml_node TooDeepElement(const pugi::xml_document& dom) {
    pugi::xml_node found;
    WalkPreOrder(dom, [&](const pugi::xml_node& n, std::size_t depth) {
        if (depth > detail::MaxElementDepth && n.type() == pugi::node_element) found = n;
        return !found;
    });
    return found;
}

// Parses text, decoded from a document read as decoded says, where it is,
// so that the tree's strings stay in it; the outcome is the parser's
// failure, elements nested too deep, or success.
ParseOutcome ParseInPlace(pugi::xml_document& dom, std::string& text, const detail::DecodedDocument& decoded,
                          const std::function<std::string()>& original) {
    const pugi::xml_parse_result result =
        dom.load_buffer_inplace(text.data(), text.size(), LeanParseOptions, pugi::encoding_utf8);
    const auto inputOffset = [&](std::size_t utf8Offset) {
        return InputOffset(decoded.encoding, decoded.byteOrderMark.size(), utf8Offset, original);
    };
    if (!result) return {false, result.description(), inputOffset(static_cast<std::size_t>(result.offset))};
    if (const pugi::xml_node deep = TooDeepElement(dom)) {
        const std::ptrdiff_t name = deep.offset_debug();
        return {false, "Elements nested deeper than " + std::to_string(detail::MaxElementDepth) + " levels",
                inputOffset(name > 0 ? static_cast<std::size_t>(name - 1) : 0)};
    }
    return {true, {}, 0};
}

std::string Whole(const detail::SourceText& text) {
    std::string whole;
    whole.reserve(text.Size());
    text.AppendTo(whole, 0, text.Size());
    return whole;
}

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}

std::string NodeKind(const pugi::xpath_node& match) {
    if (match.attribute()) return "an attribute";
    switch (match.node().type()) {
    case pugi::node_document: return "the document itself";
    case pugi::node_pcdata: return "a text node";
    case pugi::node_cdata: return "a CDATA section";
    case pugi::node_comment: return "a comment";
    case pugi::node_pi: return "a processing instruction";
    case pugi::node_declaration: return "the XML declaration";
    case pugi::node_doctype: return "the document type";
    default: return "a node that is not an element";
    }
}

// The documents whose index follows the engine's changes, so that a change
// given only a node reaches the index of the tree that holds it. Like the
// rest of the engine, for one thread.
std::vector<XmlDocument*>& Documents() {
    static std::vector<XmlDocument*> documents;
    return documents;
}

// Only a text condition whose value is white space alone could match the
// white space kept out of the tree.
bool SeesWhitespace(const detail::PlainPath& path) {
    for (const detail::PlainStep& step : path.steps) {
        for (const detail::PlainCondition& condition : step.conditions) {
            if (condition.text && !condition.value.empty() &&
                std::all_of(condition.value.begin(), condition.value.end(), IsXmlSpace)) {
                return true;
            }
        }
    }
    return false;
}

// The XPath engine sees the tree as a parser that keeps all white space
// makes it.
void KeepAllWhitespaceOf(const pugi::xml_node& node) {
    if (XmlDocument* doc = detail::DocumentAccess::DocumentOf(node)) detail::DocumentAccess::KeepAllWhitespace(*doc);
}

// The selection itself: plain paths by the walk, with the index's help
// when one is given; any other by the XPath engine.
pugi::xpath_node SelectWith(const pugi::xml_node& context, const std::string& path, detail::ChildIndex* index) {
    if (path.find('\0') != std::string::npos) {
        throw XmlError(XmlQueryRejected, "Invalid path " + path + ": it holds a NUL character");
    }
    const std::string query = detail::ToTree(path);
    detail::PlainPath plain;
    const bool isPlain = detail::ParsePlainPath(query, plain);
    if (!isPlain || SeesWhitespace(plain)) KeepAllWhitespaceOf(context);
    if (isPlain) return pugi::xpath_node(detail::FirstPlainMatch(context, plain, index));
    try {
        const pugi::xpath_query compiled(query.c_str());
        return compiled.evaluate_node(pugi::xpath_node(context));
    } catch (const pugi::xpath_exception& e) {
        throw XmlError(XmlQueryRejected, "Invalid path " + path + ": " + e.result().description() + " at offset " +
                                             std::to_string(e.result().offset));
    }
}

void RequireValue(const std::string& value, const std::string& what) {
    detail::RequireXmlCharacters(value, "The value for " + what);
}

}  // namespace

namespace detail {

std::string ToTree(const std::string& bytes) { return Latin1ToUtf8(bytes); }

// A character above 255 in the document has no byte of its own and comes
// out as "?".
std::string FromTree(const char* utf8) { return Utf8ToLatin1(utf8); }

void RequireLoaded(const XmlDocument& doc) {
    if (!doc.IsLoaded()) throw XmlError(XmlNoDocument, "No XML document is loaded");
}

void RequireXmlCharacters(const std::string& bytes, const std::string& subject) {
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
            throw XmlError(XmlEncodingError,
                           subject + " holds character " + std::to_string(b) + ", which XML cannot hold");
        }
    }
}

XmlDocument* DocumentAccess::DocumentOf(const pugi::xml_node& node) {
    const pugi::xml_node root = node.root();
    for (XmlDocument* doc : Documents()) {
        if (doc->dom_ == root) return doc;
    }
    return nullptr;
}

ChildIndex* DocumentAccess::IndexOf(const pugi::xml_node& node) {
    XmlDocument* doc = DocumentOf(node);
    return doc != nullptr ? Index(*doc) : nullptr;
}

void DocumentAccess::KeepWhitespace(XmlDocument& doc, const pugi::xml_node& element) {
    if (!doc.layout_) return;
    const ChildIndex::Tracker tracker(Index(doc), element, ChildIndex::Change::Content);
    doc.layout_->KeepWhitespace(element);
}

void DocumentAccess::Removing(XmlDocument& doc, const pugi::xml_node& subtree) {
    if (doc.layout_) doc.layout_->Forget(subtree);
}

void DocumentAccess::KeepAllWhitespace(XmlDocument& doc) {
    if (!doc.layout_) return;
    doc.layout_->KeepAllWhitespace(doc.dom_);
    if (doc.index_) doc.index_->Clear();
}

pugi::xpath_node Select(XmlDocument& doc, const pugi::xml_node& context, const std::string& path) {
    return SelectWith(context, path, DocumentAccess::Index(doc));
}

bool DeepestPlainPrefix(XmlDocument& doc, const pugi::xml_node& context, const std::string& path, std::size_t& steps,
                        pugi::xml_node& element) {
    const std::string query = ToTree(path);
    PlainPath plain;
    if (!ParsePlainPath(query, plain)) return false;
    if (SeesWhitespace(plain)) DocumentAccess::KeepAllWhitespace(doc);
    const auto slashes = static_cast<std::size_t>(std::count(query.begin(), query.end(), '/'));
    if (slashes != plain.steps.size() - (plain.absolute ? 0 : 1)) return false;
    plain.steps.pop_back();
    const PlainMatch match = DeepestPlainMatch(context, plain, DocumentAccess::Index(doc));
    steps = match.steps;
    element = match.element;
    return true;
}

void RemoveElement(pugi::xml_node element) {
    pugi::xml_node parent = element.parent();
    XmlDocument* doc = DocumentAccess::DocumentOf(element);
    const ChildIndex::Tracker tracker(doc != nullptr ? DocumentAccess::Index(*doc) : nullptr, element,
                                      ChildIndex::Change::Removal);
    if (doc != nullptr) DocumentAccess::Removing(*doc, element);
    parent.remove_child(element);
}

}  // namespace detail

XmlDocument::XmlDocument() : index_(std::make_unique<detail::ChildIndex>()) {
    detail::UseArenaForTrees();
    Documents().push_back(this);
}

XmlDocument::~XmlDocument() { Documents().erase(std::find(Documents().begin(), Documents().end(), this)); }

pugi::xml_document& XmlDocument::Dom() {
    if (layout_) layout_->AllowDirectChanges(dom_);
    index_.reset();
    return dom_;
}

const pugi::xml_document& XmlDocument::Dom() const { return const_cast<XmlDocument*>(this)->Dom(); }

bool XmlDocument::IsLoaded() const { return loaded_; }

bool XmlDocument::KeepsSourceLayout() const { return layout_ != nullptr && layout_->Mapped(); }

void XmlDocument::Release() {
    dom_.reset();
    std::string().swap(parsed_);
    layout_.reset();
    index_ = std::make_unique<detail::ChildIndex>();
    encoding_ = DocumentEncoding::Utf8;
    byteOrderMark_.clear();
    loaded_ = false;
}

ParseOutcome XmlDocument::Parse(std::string bytes) { return Read(std::move(bytes), true); }

ParseOutcome XmlDocument::Read(std::string bytes, bool mayRewrite) {
    Release();
    detail::DecodedDocument decoded = detail::DecodeDocument(std::move(bytes));
    if (!decoded.ok) return {false, decoded.problem, decoded.problemOffset};

    // The text is parsed where it is, so that the tree's strings stay in it;
    // the layout keeps the source (compressed when large) to write from.
    detail::SourceText source(decoded.utf8);
    parsed_ = std::move(decoded.utf8);
    const ParseOutcome outcome = ParseInPlace(dom_, parsed_, decoded, [&] { return Whole(source); });
    if (!outcome.ok) {
        Release();
        return outcome;
    }
    encoding_ = decoded.encoding;
    byteOrderMark_ = decoded.byteOrderMark;
    layout_ = std::make_unique<detail::SourceLayout>();
    if (!layout_->Build(parsed_.data(), source, dom_)) {
        // The library writes it instead, from a tree with all its white
        // space. What it writes may differ (a comment holding "--", a
        // declaration the parser read its own way and the encoding taken
        // from it), so the document is what a save would read back.
        const std::string text = Whole(source);
        dom_.load_buffer(text.data(), text.size(), ParseOptions, pugi::encoding_utf8);
        std::string().swap(parsed_);
        if (mayRewrite) {
            if (Read(Encoded(layout_->Serialise(dom_)), false).ok) return outcome;
            return {false, "Markup that cannot be written back as it was read", 0};
        }
    }
    loaded_ = true;
    return outcome;
}

ParseOutcome XmlDocument::Check(std::string& bytes) {
    // Parsed where they are: a copy, compressed when large, puts them back.
    const detail::SourceText original(bytes);
    ParseOutcome outcome;
    detail::DecodedDocument decoded = detail::DecodeDocument(std::move(bytes));
    if (decoded.ok) {
        pugi::xml_document dom;
        outcome = ParseInPlace(dom, decoded.utf8, decoded, [&] { return detail::DecodeDocument(Whole(original)).utf8; });
    } else {
        outcome = {false, decoded.problem, decoded.problemOffset};
    }
    // UTF-8 without a mark is decoded where it is: its buffer comes back.
    if (decoded.encoding == DocumentEncoding::Utf8 && decoded.byteOrderMark.empty()) bytes = std::move(decoded.utf8);
    bytes.resize(original.Size());
    original.CopyTo(bytes.data());
    return outcome;
}

std::string XmlDocument::Xml() const {
    detail::RequireLoaded(*this);
    return Encoded(layout_->Serialise(dom_));
}

std::string XmlDocument::TakeXml() {
    detail::RequireLoaded(*this);
    // The parser's buffer goes back to the system behind the part written,
    // a megabyte at a time, so that a large text is not held twice.
    constexpr std::uintptr_t Step = std::uintptr_t{1} << 20;
    char* const buffer = parsed_.data();
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    std::uintptr_t released = (reinterpret_cast<std::uintptr_t>(buffer) + page - 1) / page * page;
    const auto done = [&](std::size_t offset) {
        const std::uintptr_t below = (reinterpret_cast<std::uintptr_t>(buffer) + offset) / page * page;
        if (parsed_.size() < detail::SourceText::LargeSize || below < released + Step) return;
        ::madvise(reinterpret_cast<void*>(released), below - released, MADV_DONTNEED);
        released = below;
    };
    std::string text = Encoded(layout_->Serialise(dom_, done));
    Release();
    return text;
}

std::string XmlDocument::Encoded(std::string utf8) const {
    if (encoding_ == DocumentEncoding::Utf8 && byteOrderMark_.empty()) return utf8;
    return byteOrderMark_ + detail::EncodeDocument(utf8, encoding_);
}

void XmlDocument::Save(const std::string& path) const { kestrune::WriteFileSafely(path, Xml()); }

bool LoadConfigXML(XmlDocument& doc, const std::string& source, bool fromText, kestrune::UserInterface& ui) {
    doc.Release();
    const ParseOutcome outcome = doc.Parse(fromText ? source : modGen::ReadWholeFile(source));
    if (outcome.ok) {
        modGen::AddReportLine("Successfully loaded XML");
        return true;
    }
    const std::string failure =
        "XML load failed\r\n" + outcome.reason + "\r\nAt position " + std::to_string(outcome.position);
    modGen::AddReportLine(failure);
    ui.ShowMessage(kestrune::Latin1ToUtf8(failure), kestrune::MessageIcon::Critical);
    doc.Release();
    return false;
}

bool IsValidXmlName(const std::string& name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name) {
        if (!IsNameChar(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

pugi::xpath_node SelectSingleNode(const pugi::xml_node& context, const std::string& path) {
    return SelectWith(context, path, nullptr);
}

pugi::xml_node detail::ElementOf(const pugi::xpath_node& match, const std::string& path) {
    if (!match) return {};
    if (match.attribute() || match.node().type() != pugi::node_element) {
        throw XmlError(XmlNotAnElement, "The path " + path + " matches " + NodeKind(match) + ", not an element");
    }
    return match.node();
}

std::string detail::TreeText(const pugi::xml_node& element) {
    if (XmlDocument* doc = DocumentAccess::DocumentOf(element)) DocumentAccess::KeepWhitespace(*doc, element);
    std::string utf8;
    WalkPreOrder(element, [&](const pugi::xml_node& n, std::size_t depth) {
        if (depth > 0 && IsTextNode(n)) utf8 += n.value();
        return true;
    });
    return utf8;
}

std::string ElementText(const pugi::xml_node& element) { return detail::FromTree(detail::TreeText(element).c_str()); }

void SetElementText(pugi::xml_node element, const std::string& text) {
    RequireValue(text, detail::FromTree(element.name()));
    XmlDocument* doc = detail::DocumentAccess::DocumentOf(element);
    if (doc != nullptr) detail::DocumentAccess::KeepWhitespace(*doc, element);
    const detail::ChildIndex::Tracker tracker(doc != nullptr ? detail::DocumentAccess::Index(*doc) : nullptr, element,
                                              detail::ChildIndex::Change::Content);
    if (doc != nullptr) {
        for (const pugi::xml_node& child : element.children()) detail::DocumentAccess::Removing(*doc, child);
    }
    element.remove_children();
    if (!text.empty()) element.append_child(pugi::node_pcdata).set_value(detail::ToTree(text).c_str());
}

std::optional<std::string> GetAttribute(const pugi::xml_node& element, const std::string& name) {
    const pugi::xml_attribute attribute = element.attribute(detail::ToTree(name).c_str());
    if (!attribute) return std::nullopt;
    return detail::FromTree(attribute.value());
}

void SetAttribute(pugi::xml_node element, const std::string& name, const std::string& value) {
    if (!IsValidXmlName(name)) throw XmlError(XmlInvalidName, name + " is not a valid attribute name");
    RequireValue(value, name);
    const std::string treeName = detail::ToTree(name);
    const detail::ChildIndex::Tracker tracker(detail::DocumentAccess::IndexOf(element), element,
                                              detail::ChildIndex::Change::Attributes);
    pugi::xml_attribute attribute = element.attribute(treeName.c_str());
    if (!attribute) attribute = element.append_attribute(treeName.c_str());
    if (!attribute) throw XmlError(XmlNotAnElement, "Cannot set " + name + ": the node is not an element");
    // Emptied first, the value cannot be written over the old one where the
    // parser left it, which the layout reads the source through.
    attribute.set_value("");
    attribute.set_value(detail::ToTree(value).c_str());
}

void RemoveAttribute(pugi::xml_node element, const std::string& name) {
    const detail::ChildIndex::Tracker tracker(detail::DocumentAccess::IndexOf(element), element,
                                              detail::ChildIndex::Change::Attributes);
    element.remove_attribute(detail::ToTree(name).c_str());
}

pugi::xml_node AppendElement(pugi::xml_node parent, const std::string& name) {
    if (!IsValidXmlName(name)) throw XmlError(XmlInvalidName, name + " is not a valid element name");
    if (parent.type() != pugi::node_element) {
        throw XmlError(XmlNotAnElement, "Cannot create " + name + ": it would not be inside an element");
    }
    pugi::xml_node child = parent.append_child(pugi::node_element);
    child.set_name(detail::ToTree(name).c_str());
    return child;
}

}  // namespace modXML
