#include "app/DiffTree.h"

#include "xmlfix/PreOrder.h"
#include "xmlfix/modXML.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kestrune::diff {
namespace {

bool SameNode(Node x, Node y) {
    if (x.type() != y.type() || std::strcmp(x.name(), y.name()) != 0 || std::strcmp(x.value(), y.value()) != 0) {
        return false;
    }
    pugi::xml_attribute u = x.first_attribute();
    pugi::xml_attribute v = y.first_attribute();
    for (; u && v; u = u.next_attribute(), v = v.next_attribute()) {
        if (std::strcmp(u.name(), v.name()) != 0 || std::strcmp(u.value(), v.value()) != 0) return false;
    }
    return !u && !v;
}

Node NextOther(Node n) {
    while (n && !IsOther(n)) n = n.next_sibling();
    return n;
}

}  // namespace

bool IsElement(Node n) { return n.type() == pugi::node_element; }

bool IsText(Node n) { return modXML::IsTextNode(n); }

bool IsOther(Node n) { return !IsElement(n) && !IsText(n); }

bool HasChild(Node e, bool (*kind)(Node)) {
    for (Node n = e.first_child(); n; n = n.next_sibling()) {
        if (kind(n)) return true;
    }
    return false;
}

std::string ContentOf(Node e) {
    bool content = false;
    for (Node n = e.first_child(); n && !content; n = n.next_sibling()) {
        const std::string_view value = IsText(n) ? n.value() : "";
        content = !std::all_of(value.begin(), value.end(), modXML::IsXmlSpace);
    }
    std::string text;
    if (!content) return text;
    for (Node n = e.first_child(); n; n = n.next_sibling()) {
        if (IsText(n)) text += n.value();
    }
    return text;
}

std::vector<Node> SameNamed(Node parent, const char* name) {
    std::vector<Node> found;
    for (Node n = parent.first_child(); n; n = n.next_sibling()) {
        if (IsElement(n) && std::strcmp(n.name(), name) == 0) found.push_back(n);
    }
    return found;
}

std::size_t IndexOf(const std::vector<Node>& nodes, Node n) {
    return static_cast<std::size_t>(std::find(nodes.begin(), nodes.end(), n) - nodes.begin());
}

bool SameSubtree(Node x, Node y) {
    if (!SameNode(x, y)) return false;
    Node u = x.first_child();
    Node v = y.first_child();
    for (; u && v; u = u.next_sibling(), v = v.next_sibling()) {
        if (!SameSubtree(u, v)) return false;
    }
    return !u && !v;
}

bool SameOtherNodes(Node b, Node a) {
    Node x = NextOther(b.first_child());
    Node y = NextOther(a.first_child());
    for (; x && y; x = NextOther(x.next_sibling()), y = NextOther(y.next_sibling())) {
        if (!SameNode(x, y)) return false;
    }
    return !x && !y;
}

std::string Latin1Of(std::string_view utf8, bool& exact) {
    std::string bytes;
    bytes.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (length == 1) {
            bytes += utf8[i];
        } else if (length == 2 && lead <= 0xC3 && i + 1 < utf8.size()) {
            bytes += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
        } else {
            bytes += '?';
            exact = false;
        }
        i += length;
    }
    return bytes;
}

std::optional<std::string> ExactLatin1(std::string_view utf8) {
    bool exact = true;
    std::string bytes = Latin1Of(utf8, exact);
    if (!exact) return std::nullopt;
    return bytes;
}

bool HoldsCrLf(std::string_view bytes) { return bytes.find("\r\n") != std::string_view::npos; }

std::optional<std::string_view> KeyOf(Node e) {
    Node id;
    for (Node n = e.first_child(); n; n = n.next_sibling()) {
        if (!IsElement(n) || std::strcmp(n.name(), "id") != 0) continue;
        if (id) return std::nullopt;
        id = n;
    }
    const Node text = id.first_child();
    if (!text || !IsText(text) || text.next_sibling() || !*text.value()) return std::nullopt;
    return std::string_view(text.value());
}

bool HasIdText(Node e, std::string_view key) {
    for (Node id : SameNamed(e, "id")) {
        for (Node n = id.first_child(); n; n = n.next_sibling()) {
            if (IsText(n) && key == n.value()) return true;
        }
    }
    return false;
}

std::optional<std::string> KeyBytes(std::string_view key) {
    std::optional<std::string> bytes = ExactLatin1(key);
    if (!bytes || bytes->find_first_of(std::string("/'") + modXML::KeySeparator) != std::string::npos ||
        HoldsCrLf(*bytes)) {
        return std::nullopt;
    }
    return bytes;
}

std::size_t CountElements(Node root) {
    std::size_t count = 0;
    modXML::WalkPreOrder(root, [&](Node n, std::size_t) {
        if (IsElement(n)) ++count;
        return true;
    });
    return count;
}

void NodeMap::Reserve(std::size_t count) {
    std::size_t capacity = 64;
    while (capacity < 2 * count) capacity *= 2;
    if (capacity > slots_.size()) Rehash(capacity);
}

void NodeMap::Set(Node key, Node value) {
    if (2 * (size_ + 1) > slots_.size()) Rehash(std::max<std::size_t>(64, 2 * slots_.size()));
    Slot& slot = slots_[SlotOf(key.internal_object())];
    if (!slot.key) ++size_;
    slot = {key.internal_object(), value.internal_object()};
}

Node NodeMap::Get(Node key) const {
    return slots_.empty() ? Node() : Node(slots_[SlotOf(key.internal_object())].value);
}

std::size_t NodeMap::SlotOf(const pugi::xml_node_struct* key) const {
    const std::size_t mask = slots_.size() - 1;
    // Nodes are aligned, so the low bits of their address say nothing.
    std::size_t i = (reinterpret_cast<std::uintptr_t>(key) >> 4) * 0x9E3779B97F4A7C15ull & mask;
    while (slots_[i].key && slots_[i].key != key) i = (i + 1) & mask;
    return i;
}

void NodeMap::Rehash(std::size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    size_ = 0;
    for (const Slot& slot : old) {
        if (slot.key) Set(Node(const_cast<pugi::xml_node_struct*>(slot.key)), Node(slot.value));
    }
}

}  // namespace kestrune::diff
