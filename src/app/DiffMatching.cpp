#include "app/DiffMatching.h"

#include "xmlfix/PreOrder.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <unordered_map>

namespace kestrune::diff {
namespace {

const std::string Moved = "it moved among its same-named siblings; a fix cannot place an element";
const std::string AddedBefore =
    "it was added before a same-named sibling; the fix engine adds an element after its same-named siblings";
const std::string NotAddable =
    "it was added beside same-named siblings without an id child to key it by, and the fix engine cannot create it";

// For each element of group.before, the index of its pair in group.after, or -1.
using Matching = std::vector<int>;
// What tells same-named elements apart: their key, or the value of an attribute.
struct Identity {
    const char* attribute = nullptr;  // none: the key

    std::optional<std::string_view> Of(Node e) const {
        if (!attribute) return KeyOf(e);
        const pugi::xml_attribute a = e.attribute(attribute);
        if (!a) return std::nullopt;
        return std::string_view(a.value());
    }
};

// Whether the group's elements read the same identity pair by pair, in
// which case Anchors and PairGaps would pair them in order.
enum class InOrder { No, Yes, NoneHasIt };

InOrder SameInOrder(const Group& group, const Identity& identity) {
    if (group.before.size() != group.after.size()) return InOrder::No;
    bool any = false;
    for (std::size_t i = 0; i < group.before.size(); ++i) {
        const std::optional<std::string_view> id = identity.Of(group.before[i]);
        if (id != identity.Of(group.after[i])) return InOrder::No;
        any = any || id;
    }
    return any ? InOrder::Yes : InOrder::NoneHasIt;
}

// Pairs the elements of the same identity, among those whose identity no
// other element of their side shares.
Matching Anchors(const Group& group, const Identity& identity) {
    const auto unique = [&](const std::vector<Node>& side) {
        std::unordered_map<std::string_view, int> index;  // -1: shared
        for (std::size_t i = 0; i < side.size(); ++i) {
            if (const std::optional<std::string_view> id = identity.Of(side[i])) {
                const auto [it, added] = index.try_emplace(*id, static_cast<int>(i));
                if (!added) it->second = -1;
            }
        }
        return index;
    };
    const auto before = unique(group.before);
    const auto after = unique(group.after);
    Matching matching(group.before.size(), -1);
    for (const auto& [id, i] : before) {
        const auto it = after.find(id);
        if (i >= 0 && it != after.end() && it->second >= 0) matching[static_cast<std::size_t>(i)] = it->second;
    }
    return matching;
}

// The elements inside e and e itself, each as its name, attributes and
// content, counted.
using Signatures = std::unordered_map<std::string, int>;

Signatures SignaturesOf(Node e) {
    Signatures all;
    modXML::WalkPreOrder(e, [&](Node n, std::size_t) {
        if (IsElement(n)) {
            std::string signature = n.name();
            for (const pugi::xml_attribute a : n.attributes()) {
                signature.append(1, '\0').append(a.name()).append("=").append(a.value());
            }
            ++all[signature.append(1, '\0').append(ContentOf(n))];
        }
        return true;
    });
    return all;
}

std::size_t Shared(const Signatures& x, const Signatures& y) {
    std::size_t shared = 0;
    for (const auto& [signature, count] : x) {
        if (const auto it = y.find(signature); it != y.end()) {
            shared += static_cast<std::size_t>(std::min(count, it->second));
        }
    }
    return shared;
}

// Pairs in order as many elements of before with elements of after as
// there can be, the most alike where the counts differ; for each of before
// the index of its pair in after, or -1.
std::vector<int> Align(const std::vector<Node>& before, const std::vector<Node>& after) {
    const std::size_t m = before.size();
    const std::size_t n = after.size();
    // Comparing every pair of long runs would cost more than it helps.
    constexpr std::size_t MostPairsCompared = 1024;
    std::vector<int> aligned(m, -1);
    if (m == n || m * n > MostPairsCompared) {
        for (std::size_t i = 0; i < std::min(m, n); ++i) aligned[i] = static_cast<int>(i);
        return aligned;
    }
    std::vector<Signatures> sb, sa;
    for (Node b : before) sb.push_back(SignaturesOf(b));
    for (Node a : after) sa.push_back(SignaturesOf(a));
    // best[i][j]: the most pairs, then the most alike, within before[0, i) and after[0, j).
    using Score = std::pair<std::size_t, std::size_t>;
    std::vector<std::vector<Score>> best(m + 1, std::vector<Score>(n + 1));
    for (std::size_t i = 1; i <= m; ++i) {
        for (std::size_t j = 1; j <= n; ++j) {
            const Score both{best[i - 1][j - 1].first + 1, best[i - 1][j - 1].second + Shared(sb[i - 1], sa[j - 1])};
            best[i][j] = std::max({best[i - 1][j], best[i][j - 1], both});
        }
    }
    for (std::size_t i = m, j = n; i > 0 && j > 0;) {
        if (best[i][j] == best[i - 1][j]) {
            --i;
        } else if (best[i][j] == best[i][j - 1]) {
            --j;
        } else {
            aligned[--i] = static_cast<int>(--j);
        }
    }
    return aligned;
}

bool HasPair(const Matching& matching) {
    return std::any_of(matching.begin(), matching.end(), [](int j) { return j >= 0; });
}

// Pairs the unpaired elements that lie between the same two pairs on both
// sides, such as a row whose number changed. With keepAddable, the
// elements at the very end that the engine can add stay unpaired.
void PairGaps(const Group& group, Matching& matching, bool keepAddable) {
    if (group.before.size() == group.after.size() && !HasPair(matching)) {
        std::iota(matching.begin(), matching.end(), 0);  // one gap of equal sides: in order
        return;
    }
    std::vector<bool> paired(group.after.size(), false);
    for (const int j : matching) {
        if (j >= 0) paired[static_cast<std::size_t>(j)] = true;
    }
    int lastAfter = -1;
    std::vector<std::size_t> gap;  // the unpaired elements of before since the last pair
    const auto close = [&](int nextAfter) {
        std::vector<std::size_t> open;
        for (int j = lastAfter + 1; j < nextAfter; ++j) {
            if (!paired[static_cast<std::size_t>(j)]) open.push_back(static_cast<std::size_t>(j));
        }
        if (keepAddable && nextAfter == static_cast<int>(group.after.size())) {
            while (!open.empty() && !WhyNotAddable(group.after, open.back(), -1)) open.pop_back();
        }
        std::vector<Node> gapBefore, gapAfter;
        for (const std::size_t i : gap) gapBefore.push_back(group.before[i]);
        for (const std::size_t j : open) gapAfter.push_back(group.after[j]);
        const std::vector<int> aligned = Align(gapBefore, gapAfter);
        for (std::size_t k = 0; k < gap.size(); ++k) {
            if (aligned[k] >= 0) matching[gap[k]] = static_cast<int>(open[static_cast<std::size_t>(aligned[k])]);
        }
        gap.clear();
    };
    for (std::size_t i = 0; i < matching.size(); ++i) {
        const int j = matching[i];
        if (j < 0) {
            gap.push_back(i);
        } else if (j > lastAfter) {  // a pair out of order bounds no gap
            close(j);
            lastAfter = j;
        }
    }
    close(static_cast<int>(group.after.size()));
}

// The key and the attributes of the first element of each side, once each:
// what the elements of a group share is what tells them apart.
std::vector<Identity> Identities(const Group& group) {
    std::vector<Identity> identities;
    for (const std::vector<Node>* side : {&group.before, &group.after}) {
        if (!side->empty() && KeyOf(side->front()) && identities.empty()) identities.push_back(Identity{});
    }
    for (const std::vector<Node>* side : {&group.before, &group.after}) {
        if (side->empty()) continue;
        for (const pugi::xml_attribute attribute : side->front().attributes()) {
            const bool listed = std::any_of(identities.begin(), identities.end(), [&](const Identity& i) {
                return i.attribute && std::strcmp(i.attribute, attribute.name()) == 0;
            });
            if (!listed) identities.push_back(Identity{attribute.name()});
        }
    }
    return identities;
}

// Offers the ways to pair the group's elements, the most telling first,
// until take accepts one: by key, by each attribute, each completed by
// position between the pairs it makes; by position alone only when no key
// or attribute pairs any, so that a reordering shows as one.
void OfferMatchings(const Group& group, const std::function<bool(Matching)>& take) {
    if (group.before.size() > 1 || group.after.size() > 1) {
        bool paired = false;
        for (const Identity& identity : Identities(group)) {
            const InOrder inOrder = SameInOrder(group, identity);
            if (inOrder == InOrder::NoneHasIt) continue;
            Matching matching(group.before.size(), -1);
            if (inOrder == InOrder::Yes) {
                // Most groups: nothing added, removed or renamed.
                std::iota(matching.begin(), matching.end(), 0);
            } else {
                matching = Anchors(group, identity);
                if (!HasPair(matching)) continue;
                PairGaps(group, matching, true);
            }
            paired = true;
            if (take(std::move(matching))) return;
        }
        if (paired) return;
    }
    Matching byPosition(group.before.size(), -1);
    PairGaps(group, byPosition, false);
    take(std::move(byPosition));
}

GroupMatch Outcome(const Group& group, Matching matching) {
    GroupMatch outcome;
    int lastKept = -1;
    std::vector<bool> paired(group.after.size(), false);
    for (const int j : matching) {
        if (j < 0) continue;
        paired[static_cast<std::size_t>(j)] = true;
        if (j < lastKept) outcome.leftOut.emplace_back(static_cast<std::size_t>(j), Moved);
        lastKept = std::max(lastKept, j);
    }
    for (std::size_t j = 0; j < group.after.size(); ++j) {
        if (paired[j]) continue;
        if (auto why = WhyNotAddable(group.after, j, lastKept)) {
            outcome.leftOut.emplace_back(j, std::move(*why));
        } else {
            outcome.added.push_back(j);
        }
    }
    outcome.afterOf = std::move(matching);
    return outcome;
}

}  // namespace

std::optional<std::string> WhyNotAddable(const std::vector<Node>& group, std::size_t index, int lastKept) {
    if (static_cast<int>(index) < lastKept) return AddedBefore;
    if (group.size() == 1) return std::nullopt;
    const std::optional<std::string_view> key = KeyOf(group[index]);
    if (!key || !KeyBytes(*key)) return NotAddable;
    for (std::size_t j = 0; j < group.size(); ++j) {
        if (j != index && HasIdText(group[j], *key)) return NotAddable;
    }
    return std::nullopt;
}

std::vector<Group> GroupChildren(Node before, Node after) {
    std::vector<Group> groups;
    std::vector<const char*> names;
    std::unordered_map<std::string_view, std::size_t> index;
    // Most parents have few names; the map is for those with many.
    constexpr std::size_t FewNames = 16;
    const auto find = [&](const char* name) {
        if (names.size() <= FewNames) {
            for (std::size_t k = 0; k < names.size(); ++k) {
                if (std::strcmp(names[k], name) == 0) return k;
            }
        } else if (const auto it = index.find(name); it != index.end()) {
            return it->second;
        }
        names.push_back(name);
        groups.emplace_back();
        if (names.size() > FewNames) {
            for (std::size_t k = index.size(); k < names.size(); ++k) index.emplace(names[k], k);
        }
        return names.size() - 1;
    };
    const auto add = [&](Node parent, std::vector<Node> Group::*side) {
        for (Node n = parent.first_child(); n; n = n.next_sibling()) {
            if (IsElement(n)) (groups[find(n.name())].*side).push_back(n);
        }
    };
    add(before, &Group::before);
    add(after, &Group::after);
    return groups;
}

GroupMatch MatchGroup(const Group& group) {
    std::optional<GroupMatch> best;
    OfferMatchings(group, [&](Matching candidate) {
        GroupMatch outcome = Outcome(group, std::move(candidate));
        if (!best || outcome.leftOut.size() < best->leftOut.size()) best = std::move(outcome);
        return best->leftOut.empty();
    });
    return std::move(*best);
}

}  // namespace kestrune::diff
