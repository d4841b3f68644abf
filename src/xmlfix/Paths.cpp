#include "xmlfix/modXML.h"

#include "xmlfix/SourceLayout.h"
#include "xmlfix/Tree.h"

#include "common/Errors.h"
#include "common/modGen.h"

#include <vector>

namespace modXML {
namespace {

using kestrune::ErrorNumber::XmlEncodingError;
using kestrune::ErrorNumber::XmlInvalidName;
using kestrune::ErrorNumber::XmlNothingToCreateUnder;
using kestrune::ErrorNumber::XmlNotAnElement;
using kestrune::ErrorNumber::XmlQueryRejected;
using detail::XmlError;

const std::string Slash = "/";
const std::string Separator(1, KeySeparator);

// The fields of text split at separator, as GetField numbers them.
std::vector<std::string> Fields(const std::string& text, const std::string& separator) {
    std::vector<std::string> fields;
    const std::int32_t count = modGen::CountSeparators(text, separator) + 1;
    fields.reserve(static_cast<std::size_t>(count));
    for (std::int32_t n = 1; n <= count; ++n) fields.push_back(modGen::GetField(text, separator, n));
    return fields;
}

// One keyed step of a path: the key and what follows it up to the next key.
struct KeyedPart {
    std::string key;
    std::string rest;  // the steps after the key's "/", up to the next keyed element's name
};

}  // namespace

void FindNode(XmlDocument& doc, pugi::xml_node& node, const std::string& path) {
    detail::RequireLoaded(doc);
    node = pugi::xml_node();
    if (path.find(KeySeparator) == std::string::npos) {
        node = detail::ElementOf(SelectSingleNode(doc.Dom(), path), path);
        return;
    }

    // The text before the first separator leads to the first keyed element;
    // each later part starts with a key, and its rest leads (relative to that
    // keyed element) to the next keyed element, or to the element addressed.
    const std::vector<std::string> parts = Fields(path, Separator);
    std::vector<KeyedPart> keyed;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        KeyedPart part;
        part.key = modGen::GetField(parts[i], Slash, 1);
        part.rest = part.key.size() < parts[i].size() ? parts[i].substr(part.key.size() + 1) : std::string();
        // A quote would end the literal early and turn the rest of the key
        // into query syntax: it could select another element than asked.
        if (part.key.find('\'') != std::string::npos) {
            throw XmlError(XmlQueryRejected, "Invalid path " + path + ": the key " + part.key + " holds a quote (')");
        }
        if (i + 1 < parts.size() && part.rest.empty()) {
            throw XmlError(XmlQueryRejected, "Invalid path " + path + ": no element name before the key after " +
                                                 part.key);
        }
        keyed.push_back(std::move(part));
    }

    pugi::xml_node context = doc.Dom();
    std::string namePath = parts[0];
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        const pugi::xpath_node id = SelectSingleNode(context, namePath + "/id[text()='" + keyed[i].key + "']");
        if (!id) return;
        const pugi::xml_node element = id.node().parent();
        if (id.attribute() || element.type() != pugi::node_element) {
            throw XmlError(XmlNotAnElement, "The path " + path + " has a key that is not inside an element");
        }
        context = element;
        namePath = keyed[i].rest;
    }
    node = namePath.empty() ? context : detail::ElementOf(SelectSingleNode(context, namePath), path);
}

pugi::xml_node FindDeepestNode(XmlDocument& doc, const std::string& path, std::string& prefix) {
    pugi::xml_node found;
    FindNode(doc, found, path);
    if (found) {
        prefix = path;
        return found;
    }
    prefix.clear();
    // Prefixes made of n fields, from the parent down to the first step; an
    // empty prefix addresses nothing and is not looked up.
    for (std::int32_t n = modGen::CountSeparators(path, Slash); !found && n >= 0; --n) {
        std::size_t end = 0;  // the n-th "/"
        for (std::int32_t k = 0; k < n; ++k) end = path.find('/', k == 0 ? 0 : end + 1);
        prefix = path.substr(0, end);
        if (!prefix.empty()) FindNode(doc, found, prefix);
    }
    return found;
}

void CreatePath(XmlDocument& doc, pugi::xml_node& parent, const std::string& path, const std::string& prefix) {
    detail::RequireLoaded(doc);
    if (!parent) throw XmlError(XmlNothingToCreateUnder, "Cannot create " + path + ": not even its first step exists");
    if (parent.type() != pugi::node_element) {
        throw XmlError(XmlNotAnElement, "Cannot create " + path + ": the node to create it under is not an element");
    }
    if (prefix.size() > path.size() || path.compare(0, prefix.size(), prefix) != 0 ||
        (!prefix.empty() && prefix.size() < path.size() && path[prefix.size()] != '/')) {
        throw XmlError(kestrune::ErrorNumber::InvalidArgument, "Cannot create " + path + ": " + prefix +
                                                                   " is not one of its prefixes");
    }
    if (prefix.size() == path.size()) return;
    const std::size_t skip = prefix.empty() && path[0] != '/' ? 0 : prefix.size() + 1;
    const std::string remainder = path.substr(skip);

    struct Step {
        std::string name;
        std::string key;
    };
    std::vector<Step> steps;
    for (const std::string& text : Fields(remainder, Slash)) {
        Step step{text, {}};
        if (text.find(KeySeparator) != std::string::npos) {
            step.name = modGen::GetField(text, Separator, 1);
            step.key = modGen::GetField(text, Separator, 2);
        }
        steps.push_back(std::move(step));
    }
    // All steps are checked first: a bad one leaves the document untouched.
    // A document nested deeper than a load accepts could be saved but never
    // opened again.
    std::size_t depth = steps.size() + (steps.back().key.empty() ? 0 : 1);
    for (pugi::xml_node n = parent; n.type() == pugi::node_element; n = n.parent()) ++depth;
    if (depth > detail::MaxElementDepth) {
        throw XmlError(kestrune::ErrorNumber::XmlNestingTooDeep,
                       "Cannot create " + path + ": it would nest elements " + std::to_string(depth) +
                           " levels deep, more than the " + std::to_string(detail::MaxElementDepth) +
                           " a configuration may have");
    }
    for (const Step& step : steps) {
        if (!IsValidXmlName(step.name)) {
            throw XmlError(XmlInvalidName, "Cannot create " + path + ": \"" + step.name + "\" is not a valid element name");
        }
        if (const auto bad = detail::ForbiddenCharacter(step.key)) {
            throw XmlError(XmlEncodingError, "Cannot create " + path + ": the key holds character " +
                                                 std::to_string(*bad) + ", which XML cannot hold");
        }
    }
    for (const Step& step : steps) {
        parent = AppendElement(parent, step.name);
        if (!step.key.empty()) SetElementText(AppendElement(parent, "id"), step.key);
    }
}

std::string GetNodeValue(XmlDocument& doc, const std::string& path, const std::string& attribute) {
    detail::RequireLoaded(doc);
    const pugi::xml_node element = detail::ElementOf(SelectSingleNode(doc.Dom(), path), path);
    if (!element) return {};
    if (attribute.empty()) return ElementText(element);
    return GetAttribute(element, attribute).value_or(std::string());
}

}  // namespace modXML
