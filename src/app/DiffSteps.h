#pragma once

#include "app/DiffTree.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The steps of the paths DiffConfigs writes: each picks one element out of
// its same-named siblings by the engine's own means.
namespace kestrune::diff {

// The same-named elements that a step must tell one of them from, with what
// each holds counted, so that a step is known to pick one element alone.
// Few members are searched; many are indexed once.
class Population {
public:
    // While entries run, the members are the siblings in before that stay
    // (the first kept of them), then the siblings in after.
    Population(std::vector<Node> members, std::size_t kept) : members_(std::move(members)), kept_(kept) {}

    std::size_t Size() const { return members_.size(); }
    std::size_t Kept() const { return kept_; }
    // The index of member among the members.
    std::size_t IndexOf(Node member);
    // How many members a keyed step with key would pick.
    std::size_t KeyCount(std::string_view key);
    // How many members have the attribute name with value.
    std::size_t AttributeCount(const char* name, std::string_view value);

private:
    using Counts = std::unordered_map<std::string_view, std::size_t>;
    template <typename Reader>
    std::size_t Count(Counts& counts, std::string_view value, const Reader& read);

    std::vector<Node> members_;
    std::size_t kept_;
    std::unordered_map<const void*, std::size_t> index_;
    Counts keys_;
    std::unordered_map<std::string, Counts> attributes_;
};

// What a step must tell apart.
struct StepTask {
    Node element;                      // whose name, key and attributes the step may use
    Node partner;                      // when set, the key or attribute must read the same on it
    Population* population = nullptr;  // the same-named elements, element (and partner) among them
    std::size_t position = 0;          // from 1, when a position picks the element; 0 when none does
    bool creating = false;             // only the steps the engine can create: the name alone, or a key
};

// Offers the steps for task to accept, in the order of the engine's means,
// until one is accepted: the name alone, a key, an attribute, a position.
void OfferSteps(const StepTask& task, const std::function<bool(const std::string&)>& accept);

}  // namespace kestrune::diff
