#include "xmlfix/ChildIndex.h"

#include "xmlfix/PlainPath.h"
#include "xmlfix/PreOrder.h"
#include "xmlfix/modXML.h"

#include <algorithm>

namespace modXML::detail {
namespace {

// Calls f(value) for every value node has for the key's attribute or text:
// only the first attribute of a name counts, as in the engine.
template <typename F>
void ValuesOf(const pugi::xml_node& node, bool text, std::string_view attribute, F f) {
    if (!text) {
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            if (Equals(attribute, a.name())) {
                f(std::string_view(a.value()));
                return;
            }
        }
        return;
    }
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (IsTextNode(child)) f(std::string_view(child.value()));
    }
}

bool HasManyElementChildren(const pugi::xml_node& parent) {
    std::size_t count = 0;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && ++count >= ChildIndex::MinimumChildren) return true;
    }
    return false;
}

}  // namespace

bool ChildIndex::Matches(const Group& group, std::string_view name, const IndexKey& key) const {
    return group.name == name && group.via == key.via && group.text == key.text &&
           (key.text || group.attribute == key.attribute);
}

const std::vector<pugi::xml_node>* ChildIndex::Find(const pugi::xml_node& parent, std::string_view name,
                                                    const IndexKey& key, std::string_view value) {
    auto found = parents_.find(parent.internal_object());
    if (found == parents_.end()) {
        if (!HasManyElementChildren(parent)) return nullptr;
        found = parents_.emplace(parent.internal_object(), Groups()).first;
    }
    Groups& groups = found->second;
    const auto group = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return Matches(g, name, key); });
    const Group& g = group != groups.end() ? *group : Build(parent, groups, name, key);
    static const std::vector<pugi::xml_node> none;
    const auto members = g.byValue.find(value);
    return members == g.byValue.end() ? &none : &members->second;
}

ChildIndex::Group& ChildIndex::Build(const pugi::xml_node& parent, Groups& groups, std::string_view name,
                                     const IndexKey& key) {
    Group& group = groups.emplace_back();
    group.name = name;
    group.via = key.via;
    group.text = key.text;
    if (!key.text) group.attribute = key.attribute;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && Equals(name, child.name())) Add(group, child, false);
    }
    return group;
}

template <typename F>
void ChildIndex::KeysOf(const Group& group, const pugi::xml_node& member, F f) {
    if (group.via.empty()) {
        ValuesOf(member, group.text, group.attribute, f);
        return;
    }
    for (pugi::xml_node child = member.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && Equals(group.via, child.name())) ValuesOf(child, group.text, group.attribute, f);
    }
}

// Members come in document order while a group is built; a member added
// later finds its place among the others of its value.
void ChildIndex::Add(Group& group, const pugi::xml_node& member, bool inOrder) {
    KeysOf(group, member, [&](std::string_view value) {
        auto entry = group.byValue.find(value);
        if (entry == group.byValue.end()) entry = group.byValue.emplace(std::string(value), std::vector<pugi::xml_node>()).first;
        std::vector<pugi::xml_node>& list = entry->second;
        if (std::find(list.begin(), list.end(), member) != list.end()) return;
        auto before = list.end();
        if (inOrder && !list.empty()) {
            // Usually the list is one element long or the member comes last.
            for (pugi::xml_node next = member.next_sibling(); next && before == list.end(); next = next.next_sibling()) {
                before = std::find(list.begin(), list.end(), next);
            }
        }
        list.insert(before, member);
    });
}

void ChildIndex::Remove(Group& group, const pugi::xml_node& member) {
    KeysOf(group, member, [&](std::string_view value) {
        const auto entry = group.byValue.find(value);
        if (entry == group.byValue.end()) return;
        auto& list = entry->second;
        list.erase(std::remove(list.begin(), list.end(), member), list.end());
        if (list.empty()) group.byValue.erase(entry);
    });
}

template <typename F>
void ChildIndex::ForGroupsOf(const pugi::xml_node& member, bool viaOnly, F f) {
    if (member.type() != pugi::node_element) return;
    const auto found = parents_.find(member.parent().internal_object());
    if (found == parents_.end()) return;
    for (Group& group : found->second) {
        if (Equals(group.name, member.name()) && (!viaOnly || !group.via.empty())) f(group);
    }
}

// Groups of parents that leave the tree, or lose their children, would
// otherwise outlive them under an address the tree may give a new node.
void ChildIndex::Forget(const pugi::xml_node& subtree) {
    WalkPreOrder(subtree, [&](const pugi::xml_node& n, std::size_t) {
        if (n.type() == pugi::node_element) parents_.erase(n.internal_object());
        return true;
    });
}

// A change to an element changes the keys it has as a member of its
// parent's groups, and the keys its parent has through it as a child.
ChildIndex::Tracker::Tracker(ChildIndex* index, const pugi::xml_node& element, Change change)
    : index_(index != nullptr && !index->Empty() ? index : nullptr),
      element_(element),
      parent_(element.parent()),
      change_(change) {
    if (index_ == nullptr) return;
    index_->ForGroupsOf(element_, false, [&](Group& group) { Remove(group, element_); });
    index_->ForGroupsOf(parent_, true, [&](Group& group) { Remove(group, parent_); });
    if (change_ != Change::Attributes) index_->Forget(element_);
}

ChildIndex::Tracker::~Tracker() {
    if (index_ == nullptr) return;
    if (change_ != Change::Removal) index_->ForGroupsOf(element_, false, [&](Group& group) { Add(group, element_, true); });
    index_->ForGroupsOf(parent_, true, [&](Group& group) { Add(group, parent_, true); });
}

}  // namespace modXML::detail
