#include "xmlfix/modXML.h"

#include "xmlfix/Encoding.h"
#include "xmlfix/SourceLayout.h"
#include "xmlfix/Tree.h"

#include "common/Errors.h"
#include "common/SafeWrite.h"
#include "common/modGen.h"

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

// The byte offset in the input of an offset in the decoded text.
std::size_t InputOffset(const detail::DecodedDocument& decoded, std::size_t utf8Offset) {
    if (utf8Offset > decoded.utf8.size()) utf8Offset = decoded.utf8.size();
    const std::size_t inBody = decoded.encoding == DocumentEncoding::Utf8
                                   ? utf8Offset
                                   : detail::EncodeDocument(std::string_view(decoded.utf8).substr(0, utf8Offset),
                                                            decoded.encoding)
                                         .size();
    return decoded.byteOrderMark.size() + inBody;
}

// The first element nested deeper than MaxElementDepth, or none.
pugi::xml_node TooDeepElement(const pugi::xml_document& dom) {
    using detail::MaxElementDepth;
    std::size_t depth = 1;
    for (pugi::xml_node n = dom.first_child(); n;) {
        if (depth > MaxElementDepth && n.type() == pugi::node_element) return n;
        if (n.first_child()) {
            n = n.first_child();
            ++depth;
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
        }
        if (n) n = n.next_sibling();
    }
    return {};
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

// A path in the plain form that fix entries use: child steps by element
// name, absolute or relative, each step with any number of [@name='value']
// or [text()='value'] conditions, no white space. For these the first match
// in document order is found by walking the tree depth first, which visits
// candidates in document order; every other path goes to the XPath engine,
// whose answer the walk must always equal (a test compares the two).
struct PlainCondition {
    bool text = false;        // [text()='value'] rather than [@name='value']
    std::string_view name;    // the attribute's
    std::string_view value;
};

struct PlainStep {
    std::string_view name;
    std::vector<PlainCondition> conditions;
};

bool IsPlainNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool IsPlainNameChar(char c) { return IsPlainNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// An ASCII name without a colon; the operator names are left to the engine,
// and so are names starting "xmlns", which the engine never treats as attributes.
bool ReadPlainName(std::string_view q, std::size_t& i, std::string_view& name) {
    const std::size_t start = i;
    if (i >= q.size() || !IsPlainNameStart(q[i])) return false;
    while (i < q.size() && IsPlainNameChar(q[i])) ++i;
    name = q.substr(start, i - start);
    return name != "and" && name != "or" && name != "div" && name != "mod" && name.substr(0, 5) != "xmlns";
}

bool ReadLiteral(std::string_view q, std::size_t& i, std::string_view& value) {
    if (i >= q.size() || (q[i] != '\'' && q[i] != '"')) return false;
    const std::size_t close = q.find(q[i], i + 1);
    if (close == std::string_view::npos) return false;
    value = q.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
}

bool ParsePlainPath(std::string_view q, bool& absolute, std::vector<PlainStep>& steps) {
    std::size_t i = 0;
    absolute = !q.empty() && q[0] == '/';
    if (absolute) ++i;
    for (;;) {
        PlainStep step;
        if (!ReadPlainName(q, i, step.name)) return false;
        while (i < q.size() && q[i] == '[') {
            PlainCondition condition;
            ++i;
            if (q.substr(i, 7) == "text()=") {
                condition.text = true;
                i += 7;
            } else {
                if (i >= q.size() || q[i] != '@') return false;
                ++i;
                if (!ReadPlainName(q, i, condition.name) || i >= q.size() || q[i] != '=') return false;
                ++i;
            }
            if (!ReadLiteral(q, i, condition.value) || i >= q.size() || q[i] != ']') return false;
            ++i;
            step.conditions.push_back(condition);
        }
        steps.push_back(std::move(step));
        if (i == q.size()) return true;
        if (q[i] != '/') return false;
        ++i;
    }
}

bool Meets(const pugi::xml_node& element, const PlainCondition& condition) {
    if (condition.text) {
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            const pugi::xml_node_type type = child.type();
            if ((type == pugi::node_pcdata || type == pugi::node_cdata) && condition.value == child.value()) return true;
        }
        return false;
    }
    // Only the first attribute of a name counts, as in the engine, should a
    // document repeat one.
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        if (condition.name == a.name()) return condition.value == a.value();
    }
    return false;
}

pugi::xml_node FirstPlainMatch(const pugi::xml_node& from, const PlainStep* step, const PlainStep* end) {
    for (pugi::xml_node child = from.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || step->name != child.name()) continue;
        bool meets = true;
        for (const PlainCondition& condition : step->conditions) {
            if (!Meets(child, condition)) {
                meets = false;
                break;
            }
        }
        if (!meets) continue;
        if (step + 1 == end) return child;
        if (const pugi::xml_node found = FirstPlainMatch(child, step + 1, end)) return found;
    }
    return {};
}

void RequireValue(const std::string& value, const std::string& what) {
    if (const auto bad = detail::ForbiddenCharacter(value)) {
        throw XmlError(XmlEncodingError, "The value for " + what + " holds character " + std::to_string(*bad) +
                                             ", which XML cannot hold");
    }
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

std::optional<unsigned char> ForbiddenCharacter(const std::string& bytes) {
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') return b;
    }
    return std::nullopt;
}

}  // namespace detail

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;

bool XmlDocument::IsLoaded() const { return loaded_; }

bool XmlDocument::KeepsSourceLayout() const { return layout_ != nullptr && layout_->Mapped(); }

void XmlDocument::Release() {
    dom_.reset();
    layout_.reset();
    encoding_ = DocumentEncoding::Utf8;
    byteOrderMark_.clear();
    loaded_ = false;
}

ParseOutcome XmlDocument::Parse(std::string bytes) {
    Release();
    detail::DecodedDocument decoded = detail::DecodeDocument(std::move(bytes));
    if (!decoded.ok) return {false, decoded.problem, decoded.problemOffset};

    const pugi::xml_parse_result result =
        dom_.load_buffer(decoded.utf8.data(), decoded.utf8.size(), ParseOptions, pugi::encoding_utf8);
    if (!result) {
        ParseOutcome failed{false, result.description(), InputOffset(decoded, static_cast<std::size_t>(result.offset))};
        Release();
        return failed;
    }
    if (const pugi::xml_node deep = TooDeepElement(dom_)) {
        const std::ptrdiff_t name = deep.offset_debug();
        ParseOutcome failed{false, "Elements nested deeper than " + std::to_string(detail::MaxElementDepth) + " levels",
                            InputOffset(decoded, name > 0 ? static_cast<std::size_t>(name - 1) : 0)};
        Release();
        return failed;
    }
    encoding_ = decoded.encoding;
    byteOrderMark_ = decoded.byteOrderMark;
    layout_ = std::make_unique<detail::SourceLayout>();
    layout_->Build(std::move(decoded.utf8), dom_);
    loaded_ = true;
    return {true, {}, 0};
}

std::string XmlDocument::Xml() const {
    detail::RequireLoaded(*this);
    std::string utf8 = layout_->Serialise(dom_);
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
    if (path.find('\0') != std::string::npos) {
        throw XmlError(XmlQueryRejected, "Invalid path " + path + ": it holds a NUL character");
    }
    const std::string query = detail::ToTree(path);
    bool absolute = false;
    std::vector<PlainStep> steps;
    if (ParsePlainPath(query, absolute, steps)) {
        const pugi::xml_node start = absolute ? context.root() : context;
        return pugi::xpath_node(FirstPlainMatch(start, steps.data(), steps.data() + steps.size()));
    }
    try {
        const pugi::xpath_query compiled(query.c_str());
        return compiled.evaluate_node(pugi::xpath_node(context));
    } catch (const pugi::xpath_exception& e) {
        throw XmlError(XmlQueryRejected, "Invalid path " + path + ": " + e.result().description() + " at offset " +
                                             std::to_string(e.result().offset));
    }
}

pugi::xml_node detail::ElementOf(const pugi::xpath_node& match, const std::string& path) {
    if (!match) return {};
    if (match.attribute() || match.node().type() != pugi::node_element) {
        throw XmlError(XmlNotAnElement, "The path " + path + " matches " + NodeKind(match) + ", not an element");
    }
    return match.node();
}

std::string detail::TreeText(const pugi::xml_node& element) {
    std::string utf8;
    for (pugi::xml_node n = element.first_child(); n && n != element;) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) utf8 += n.value();
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != element && !n.next_sibling()) n = n.parent();
        if (n != element) n = n.next_sibling();
    }
    return utf8;
}

std::string ElementText(const pugi::xml_node& element) { return detail::FromTree(detail::TreeText(element).c_str()); }

void SetElementText(pugi::xml_node element, const std::string& text) {
    RequireValue(text, detail::FromTree(element.name()));
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
    pugi::xml_attribute attribute = element.attribute(treeName.c_str());
    if (!attribute) attribute = element.append_attribute(treeName.c_str());
    if (!attribute) throw XmlError(XmlNotAnElement, "Cannot set " + name + ": the node is not an element");
    attribute.set_value(detail::ToTree(value).c_str());
}

void RemoveAttribute(pugi::xml_node element, const std::string& name) {
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
