#include "xmlfix/modXML.h"

#include "xmlfix/SourceLayout.h"
#include "xmlfix/Tree.h"

#include "common/Errors.h"

#include <string_view>
#include <vector>

namespace modXML {
namespace {

using kestrune::ErrorNumber::XmlInvalidName;
using kestrune::ErrorNumber::XmlNothingToCreateUnder;
using kestrune::ErrorNumber::XmlNotAnElement;
using kestrune::ErrorNumber::XmlQueryRejected;
using detail::XmlError;

// The fields of text split at separator, as GetField numbers them (field n
// is element n - 1), found in one pass.
std::vector<std::string_view> Fields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

// One keyed step of a path: the key and what follows it up to the next key.
struct KeyedPart {
    std::string key;
    std::string rest;           // the steps after the key's "/", up to the next keyed element's name
    std::size_t restBegin = 0;  // where rest starts in the path
};

// A path split at its key separators. The text before the first separator
// leads to the first keyed element; each later part starts with a key, and
// its rest leads (relative to that keyed element) to the next keyed
// element, or to the element addressed.
struct KeyedPath {
    std::string head;
    std::vector<KeyedPart> keyed;
};

KeyedPath SplitAtKeys(const std::string& path) {
    const std::vector<std::string_view> parts = Fields(path, KeySeparator);
    KeyedPath split{std::string(parts[0]), {}};
    std::size_t partBegin = parts[0].size() + 1;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view text = parts[i];
        const std::size_t slash = text.find('/');
        KeyedPart part;
        part.key = text.substr(0, slash);
        part.rest = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
        part.restBegin = partBegin + (slash == std::string_view::npos ? text.size() : slash + 1);
        // A quote would end the literal early and turn the rest of the key
        // into query syntax: it could select another element than asked.
        if (part.key.find('\'') != std::string::npos) {
            throw XmlError(XmlQueryRejected, "Invalid path " + path + ": the key " + part.key + " holds a quote (')");
        }
        if (i + 1 < parts.size() && part.rest.empty()) {
            throw XmlError(XmlQueryRejected, "Invalid path " + path + ": no element name before the key after " +
                                                 part.key);
        }
        split.keyed.push_back(std::move(part));
        partBegin += text.size() + 1;
    }
    return split;
}

// How far the keyed steps of a path lead: the element of the last keyed
// step found (the document when none is) and how many were found.
struct KeyedElements {
    pugi::xml_node last;
    std::size_t found = 0;
};

KeyedElements FindKeyedElements(XmlDocument& doc, const std::string& path, const KeyedPath& split) {
    KeyedElements elements{detail::DocumentAccess::Tree(doc), 0};
    const std::string* namePath = &split.head;
    for (const KeyedPart& part : split.keyed) {
        const pugi::xpath_node id = detail::Select(doc, elements.last, *namePath + "/id[text()='" + part.key + "']");
        if (!id) return elements;
        const pugi::xml_node element = id.node().parent();
        if (id.attribute() || element.type() != pugi::node_element) {
            throw XmlError(XmlNotAnElement, "The path " + path + " has a key that is not inside an element");
        }
        elements.last = element;
        ++elements.found;
        namePath = &part.rest;
    }
    return elements;
}

// Where the n-th "/" after the first character of text is.
std::size_t NthSlash(std::string_view text, std::size_t n) {
    std::size_t at = 0;
    for (; n > 0; --n) at = text.find('/', at + 1);
    return at;
}

}  // namespace

void FindNode(XmlDocument& doc, pugi::xml_node& node, const std::string& path) {
    detail::RequireLoaded(doc);
    node = pugi::xml_node();
    if (path.find(KeySeparator) == std::string::npos) {
        node = detail::ElementOf(detail::Select(doc, detail::DocumentAccess::Tree(doc), path), path);
        return;
    }
    const KeyedPath split = SplitAtKeys(path);
    const KeyedElements elements = FindKeyedElements(doc, path, split);
    if (elements.found < split.keyed.size()) return;
    const std::string& rest = split.keyed.back().rest;
    node = rest.empty() ? elements.last : detail::ElementOf(detail::Select(doc, elements.last, rest), path);
}

// The prefixes that FindNode would look up one by one, from the longest,
// end before each "/" of the path; the empty one addresses nothing. Those
// beyond the segment where the lookup of the whole path stopped (the head,
// or the steps after the last keyed element it found) find nothing either;
// those within it share the keyed elements before it, and one walk of the
// segment answers them all when its steps are plain.
pugi::xml_node FindDeepestNode(XmlDocument& doc, const std::string& path, std::string& prefix) {
    pugi::xml_node found;
    FindNode(doc, found, path);
    if (found) {
        prefix = path;
        return found;
    }
    const KeyedPath split = SplitAtKeys(path);
    const KeyedElements elements = FindKeyedElements(doc, path, split);
    const std::size_t begin = elements.found == 0 ? 0 : split.keyed[elements.found - 1].restBegin;
    const std::string segment = elements.found == 0 ? split.head : split.keyed[elements.found - 1].rest;

    std::size_t steps = 0;
    if (detail::DeepestPlainPrefix(doc, elements.last, segment, steps, found)) {
        if (steps > 0) {
            prefix = path.substr(0, begin + NthSlash(segment, steps));
            return found;
        }
    } else {
        for (std::size_t cut = segment.rfind('/'); cut != std::string::npos && cut > 0; cut = segment.rfind('/', cut - 1)) {
            prefix = path.substr(0, begin + cut);
            FindNode(doc, found, prefix);
            if (found) return found;
        }
    }
    if (elements.found > 0) {
        // The last keyed element found, addressed up to its key (and the "/"
        // that starts the segment, if it is one of the path's own).
        prefix = path.substr(0, segment.empty() || segment[0] != '/' ? begin - 1 : begin);
        return elements.last;
    }
    prefix.clear();
    return {};
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
    for (const std::string_view text : Fields(remainder, '/')) {
        Step step{std::string(text), {}};
        if (text.find(KeySeparator) != std::string::npos) {
            const std::vector<std::string_view> keyFields = Fields(text, KeySeparator);
            step.name = keyFields[0];
            step.key = keyFields[1];
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
        detail::RequireXmlCharacters(step.key, "Cannot create " + path + ": the key");
    }
    for (const Step& step : steps) {
        parent = AppendElement(parent, step.name);
        if (!step.key.empty()) SetElementText(AppendElement(parent, "id"), step.key);
    }
}

std::string GetNodeValue(XmlDocument& doc, const std::string& path, const std::string& attribute) {
    detail::RequireLoaded(doc);
    const pugi::xml_node element =
        detail::ElementOf(detail::Select(doc, detail::DocumentAccess::Tree(doc), path), path);
    if (!element) return {};
    if (attribute.empty()) return ElementText(element);
    return GetAttribute(element, attribute).value_or(std::string());
}

}  // namespace modXML
