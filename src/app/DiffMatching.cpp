#include "app/DiffMatching.h"

#include "xmlfix/modXML.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

namespace kestrune::diff {
namespace {

const std::string Moved = "it moved among its same-named siblings; a fix cannot place an element";
const std::string AddedBefore =
    "it was added before a same-named sibling; the fix engine adds an element after its same-named siblings";
const std::string NotAddable =
    "it was added beside same-named siblings without an id child to key it by, and the fix engine cannot create it";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsText(Node n) { return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata; }

// For each element of group.before, the index of its pair in group.after, or -1.
using Matching = std::vector<int>;
using Identity = std::function<std::optional<std::string>(Node)>;

// Pairs the elements of the same identity, among those whose identity no
// other element of their side shares.
Matching Anchors(const Group& group, const Identity& identity) {
    const auto unique = [&](const std::vector<Node>& side) {
        std::unordered_map<std::string, int> index;  // -1: shared
        for (std::size_t i = 0; i < side.size(); ++i) {
            if (std::optional<std::string> id = identity(side[i])) {
                const auto [it, added] = index.try_emplace(std::move(*id), static_cast<int>(i));
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
    for (Node n = e;;) {
        if (IsElement(n)) {
            std::string signature = n.name();
            for (const pugi::xml_attribute a : n.attributes()) {
                signature.append(1, '\0').append(a.name()).append("=").append(a.value());
            }
            ++all[signature.append(1, '\0').append(Content(DirectText(n)))];
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != e && !n.next_sibling()) n = n.parent();
        if (n == e) return all;
        n = n.next_sibling();
    }
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

// Pairs the unpaired elements that lie between the same two pairs on both
// sides, such as a row whose number changed. With keepAddable, the
// elements at the very end that the engine can add stay unpaired.
void PairGaps(const Group& group, Matching& matching, bool keepAddable) {
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

bool HasPair(const Matching& matching) {
    return std::any_of(matching.begin(), matching.end(), [](int j) { return j >= 0; });
}

// The attribute names of the first element of each side, once each.
std::vector<std::string> AttributeNames(const Group& group) {
    std::vector<std::string> names;
    for (const std::vector<Node>* side : {&group.before, &group.after}) {
        if (side->empty()) continue;
        for (const pugi::xml_attribute attribute : side->front().attributes()) {
            if (std::find(names.begin(), names.end(), attribute.name()) == names.end()) names.emplace_back(attribute.name());
        }
    }
    return names;
}

// Offers the ways to pair the group's elements, the most telling first,
// until take accepts one: by key, by each attribute, each completed by
// position between the pairs it makes; by position alone only when no key
// or attribute pairs any, so that a reordering shows as one.
void OfferMatchings(const Group& group, const std::function<bool(Matching)>& take) {
    if (group.before.size() > 1 || group.after.size() > 1) {
        std::vector<Identity> identities = {KeyOf};
        for (const std::string& name : AttributeNames(group)) {
            identities.emplace_back([name](Node e) -> std::optional<std::string> {
                const pugi::xml_attribute a = e.attribute(name.c_str());
                if (!a) return std::nullopt;
                return std::string(a.value());
            });
        }
        bool paired = false;
        for (const Identity& identity : identities) {
            Matching matching = Anchors(group, identity);
            if (!HasPair(matching)) continue;
            paired = true;
            PairGaps(group, matching, true);
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

bool IsElement(Node n) { return n.type() == pugi::node_element; }

bool HasElementChildren(Node e) {
    for (Node n = e.first_child(); n; n = n.next_sibling()) {
        if (IsElement(n)) return true;
    }
    return false;
}

std::string DirectText(Node e) {
    std::string text;
    for (Node n = e.first_child(); n; n = n.next_sibling()) {
        if (IsText(n)) text += n.value();
    }
    return text;
}

std::string_view Content(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsSpace) ? std::string_view() : text;
}

std::vector<Node> SameNamed(Node parent, const char* name) {
    std::vector<Node> found;
    for (Node n = parent.first_child(); n; n = n.next_sibling()) {
        if (IsElement(n) && std::string_view(n.name()) == name) found.push_back(n);
    }
    return found;
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

std::optional<std::string> KeyOf(Node e) {
    const std::vector<Node> ids = SameNamed(e, "id");
    if (ids.size() != 1 || HasElementChildren(ids[0])) return std::nullopt;
    std::string text = DirectText(ids[0]);
    if (text.empty()) return std::nullopt;
    return text;
}

bool HasIdText(Node e, std::string_view key) {
    for (Node id : SameNamed(e, "id")) {
        for (Node n = id.first_child(); n; n = n.next_sibling()) {
            if (IsText(n) && key == n.value()) return true;
        }
    }
    return false;
}

std::optional<std::string> KeyBytes(const std::string& key) {
    std::optional<std::string> bytes = ExactLatin1(key);
    if (!bytes || bytes->find_first_of(std::string("/'") + modXML::KeySeparator) != std::string::npos ||
        HoldsCrLf(*bytes)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> WhyNotAddable(const std::vector<Node>& group, std::size_t index, int lastKept) {
    if (static_cast<int>(index) < lastKept) return AddedBefore;
    if (group.size() == 1) return std::nullopt;
    const std::optional<std::string> key = KeyOf(group[index]);
    if (!key || !KeyBytes(*key)) return NotAddable;
    for (std::size_t j = 0; j < group.size(); ++j) {
        if (j != index && HasIdText(group[j], *key)) return NotAddable;
    }
    return std::nullopt;
}

std::vector<Group> GroupChildren(Node before, Node after) {
    std::vector<Group> groups;
    std::unordered_map<std::string_view, std::size_t> index;
    const auto add = [&](Node parent, std::vector<Node> Group::*side) {
        for (Node n = parent.first_child(); n; n = n.next_sibling()) {
            if (!IsElement(n)) continue;
            const auto [it, added] = index.try_emplace(n.name(), groups.size());
            if (added) groups.emplace_back();
            (groups[it->second].*side).push_back(n);
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
