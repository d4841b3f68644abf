#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How the elements of two configurations pair up for DiffConfigs, and which
// of the unpaired ones the fix engine can add. Tree texts are UTF-8.
namespace kestrune::diff {

using Node = pugi::xml_node;

bool IsElement(Node n);
bool HasElementChildren(Node e);
// The text and CDATA directly inside e.
std::string DirectText(Node e);
// text, or nothing when it is white space only: layout between elements, not content.
std::string_view Content(std::string_view text);
// The element children of parent named name, in document order.
std::vector<Node> SameNamed(Node parent, const char* name);

// A tree text as a byte string; a character above 255 becomes "?" and sets exact to false.
std::string Latin1Of(std::string_view utf8, bool& exact);
// A tree text as a byte string, or nothing when it holds a character above 255.
std::optional<std::string> ExactLatin1(std::string_view utf8);
bool HoldsCrLf(std::string_view bytes);

// The key a keyed step would use: the text of e's one id child, when that child holds text alone.
std::optional<std::string> KeyOf(Node e);
// True when a keyed step with key would pick e: the engine's query matches any text of any id child.
bool HasIdText(Node e, std::string_view key);
// The key as the bytes of a keyed step, when a step can hold it.
std::optional<std::string> KeyBytes(const std::string& key);

// Why the engine cannot add the element at index of group (same-named
// siblings in after) when the last of them that stays is at lastKept (-1:
// none); nothing when it can.
std::optional<std::string> WhyNotAddable(const std::vector<Node>& group, std::size_t index, int lastKept);

// The element children of one name under a parent of each document.
struct Group {
    std::vector<Node> before, after;
};

// The children of before and after by name, in the order the names first occur; either may be none.
std::vector<Group> GroupChildren(Node before, Node after);

// How a group's elements pair up.
struct GroupMatch {
    std::vector<int> afterOf;                                  // for each of before, its pair in after, or -1
    std::vector<std::size_t> added;                            // unpaired elements of after the engine can add
    std::vector<std::pair<std::size_t, std::string>> leftOut;  // elements of after a fix cannot make, and why
};

// Pairs the group's elements in the way that leaves out least: by key, by
// an attribute, each completed by position between the pairs it makes, or
// by position alone where no key or attribute pairs any.
GroupMatch MatchGroup(const Group& group);

}  // namespace kestrune::diff
