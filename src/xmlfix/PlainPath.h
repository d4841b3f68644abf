#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string_view>
#include <vector>

namespace modXML::detail {

class ChildIndex;

// Whether text equals the tree's string s, without measuring s first.
inline bool Equals(std::string_view text, const char* s) {
    for (const char c : text) {
        if (*s == '\0' || *s != c) return false;
        ++s;
    }
    return *s == '\0';
}

// A path in the plain form that fix entries use: child steps by element
// name, absolute or relative, each step with any number of [@name='value']
// or [text()='value'] conditions, no white space. For these the first match
// in document order is found by walking the tree depth first, which visits
// candidates in document order; every other path goes to the XPath engine,
// whose answer the walk must always equal (a test compares the two).
struct PlainCondition {
    bool text = false;      // [text()='value'] rather than [@name='value']
    std::string_view name;  // the attribute's
    std::string_view value;
};

struct PlainStep {
    std::string_view name;
    std::vector<PlainCondition> conditions;
};

// Views into the query text it was read from.
struct PlainPath {
    bool absolute = false;
    std::vector<PlainStep> steps;
};

// Reads query (as the tree holds text, UTF-8) as a plain path; false when it is any other form.
bool ParsePlainPath(std::string_view query, PlainPath& path);

// The first element in document order that path leads to from context
// (from its root when the path is absolute), or none; with the index's
// help when one is given.
pugi::xml_node FirstPlainMatch(const pugi::xml_node& context, const PlainPath& path, ChildIndex* index);

// How far a plain path leads: the most of its first steps that lead to
// some element, and the first such element in document order.
struct PlainMatch {
    std::size_t steps = 0;
    pugi::xml_node element;
};
PlainMatch DeepestPlainMatch(const pugi::xml_node& context, const PlainPath& path, ChildIndex* index);

}  // namespace modXML::detail
