#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace modXML::detail {

// What the children of a group are found by: the value of an attribute or
// of a text child, of the child itself or of its own element children of
// one name (so that a keyed step finds its element by the text of its id).
struct IndexKey {
    std::string_view via;        // empty: the child itself
    bool text = false;           // a text child's value, else the attribute's
    std::string_view attribute;  // when not text
};

// Children of a parent by name and key value, so that a step like
// Tbl[@name='WLANCfg'] among thousands of siblings costs a hash lookup
// instead of a walk. Built per parent on first use, for parents with many
// element children only. The engine's changes to the tree are reported to
// it (Track), which keeps every built group true; a change it is not told
// about makes it wrong, so a document whose tree is handed out for direct
// changes stops using it (see XmlDocument::Dom).
class ChildIndex {
public:
    // Parents with fewer element children than this are walked child by child.
    static constexpr std::size_t MinimumChildren = 32;

    // The children of parent named name whose key has value, in document
    // order; nullptr when parent has too few element children to be indexed.
    const std::vector<pugi::xml_node>* Find(const pugi::xml_node& parent, std::string_view name, const IndexKey& key,
                                            std::string_view value);

    // What is about to change about an element.
    enum class Change {
        Attributes,  // its attributes
        Content,     // its children are replaced
        Removal,     // it leaves the tree with its subtree
    };
    // Held while an element changes: takes it (and its parent, whose keys
    // may come from its children) out of the groups they belong to, and puts
    // them back with their new keys when it goes.
    class Tracker {
    public:
        Tracker(ChildIndex* index, const pugi::xml_node& element, Change change);
        ~Tracker();
        Tracker(const Tracker&) = delete;
        Tracker& operator=(const Tracker&) = delete;

    private:
        ChildIndex* index_;
        pugi::xml_node element_;
        pugi::xml_node parent_;
        Change change_;
    };

    // Forgets every group.
    void Clear() { parents_.clear(); }
    bool Empty() const { return parents_.empty(); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    struct Group {
        std::string name;
        std::string via;
        bool text = false;
        std::string attribute;
        std::unordered_map<std::string, std::vector<pugi::xml_node>, Hash, std::equal_to<>> byValue;
    };
    using Groups = std::vector<Group>;

    bool Matches(const Group& group, std::string_view name, const IndexKey& key) const;
    Group& Build(const pugi::xml_node& parent, Groups& groups, std::string_view name, const IndexKey& key);
    // Calls f(value) for each key value member has in group.
    template <typename F>
    static void KeysOf(const Group& group, const pugi::xml_node& member, F f);
    static void Add(Group& group, const pugi::xml_node& member, bool inOrder);
    static void Remove(Group& group, const pugi::xml_node& member);
    // Calls f(group) for each group that member belongs to; viaOnly: only
    // those that key it by its children.
    template <typename F>
    void ForGroupsOf(const pugi::xml_node& member, bool viaOnly, F f);
    void Forget(const pugi::xml_node& subtree);

    std::unordered_map<const void*, Groups> parents_;
};

}  // namespace modXML::detail
