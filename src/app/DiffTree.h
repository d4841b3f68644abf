#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the diff of two configurations reads from their trees. Tree texts
// are UTF-8; the texts of a fix file are Latin-1 byte strings.
namespace kestrune::diff {

using Node = pugi::xml_node;

bool IsElement(Node n);
// Text or CDATA.
bool IsText(Node n);
// A comment, processing instruction, declaration or document type.
bool IsOther(Node n);
// True when a child of e is of the kind.
bool HasChild(Node e, bool (*kind)(Node));

// The text and CDATA directly inside e, or "" when that is white space
// only: layout between elements, not content.
std::string ContentOf(Node e);
// The element children of parent named name, in document order.
std::vector<Node> SameNamed(Node parent, const char* name);
// The index of n in nodes.
std::size_t IndexOf(const std::vector<Node>& nodes, Node n);

// True when x and y are alike node for node, attributes in the same order.
bool SameSubtree(Node x, Node y);
// True when b and a hold the same comments, processing instructions,
// declaration and document type, in the same order.
bool SameOtherNodes(Node b, Node a);

// A tree text as a byte string; a character above 255 becomes "?" and sets exact to false.
std::string Latin1Of(std::string_view utf8, bool& exact);
// A tree text as a byte string, or nothing when it holds a character above 255.
std::optional<std::string> ExactLatin1(std::string_view utf8);
bool HoldsCrLf(std::string_view bytes);

// The key a keyed step would use: the text of e's one id child, when that
// child holds one text and nothing else (the engine's query compares the
// texts of an id one by one).
std::optional<std::string_view> KeyOf(Node e);
// True when a keyed step with key would pick e.
bool HasIdText(Node e, std::string_view key);
// The key as the bytes of a keyed step, when a step can hold it.
std::optional<std::string> KeyBytes(std::string_view key);

// The elements of one tree counted, itself among them.
std::size_t CountElements(Node root);

// Elements of one document to elements of the other, in one open-addressed
// table: a diff pairs every element, and a map of nodes spent more time
// allocating than comparing.
class NodeMap {
public:
    // Room for count elements without growing.
    void Reserve(std::size_t count);
    void Set(Node key, Node value);
    // The value for key, or none.
    Node Get(Node key) const;

private:
    struct Slot {
        const pugi::xml_node_struct* key = nullptr;
        pugi::xml_node_struct* value = nullptr;
    };
    std::size_t SlotOf(const pugi::xml_node_struct* key) const;
    void Rehash(std::size_t capacity);

    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

}  // namespace kestrune::diff
