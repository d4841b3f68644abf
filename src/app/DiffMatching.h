#pragma once

#include "app/DiffTree.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// How the elements of two configurations pair up for DiffConfigs, and
// which of the unpaired ones the fix engine can add.
namespace kestrune::diff {

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
