#pragma once

#include <pugixml.hpp>

#include <cstddef>

namespace modXML {

// Calls visit(node, depth) for root and every node below it, parents before
// their children, in document order; depth counts the steps down from root
// (0 for root itself). The walk ends early, with false, once visit returns
// false. It keeps no stack, so any depth of nesting is walked.
template <typename Visit>
bool WalkPreOrder(const pugi::xml_node& root, Visit visit) {
    std::size_t depth = 0;
    for (pugi::xml_node n = root;;) {
        if (!visit(n, depth)) return false;
        if (n.first_child()) {
            n = n.first_child();
            ++depth;
            continue;
        }
        while (n != root && !n.next_sibling()) {
            n = n.parent();
            --depth;
        }
        if (n == root) return true;
        n = n.next_sibling();
    }
}

}  // namespace modXML
