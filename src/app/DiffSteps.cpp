#include "app/DiffSteps.h"

#include "xmlfix/modXML.h"

#include <algorithm>
#include <optional>

namespace kestrune::diff {
namespace {

constexpr std::size_t FewMembers = 32;

// An attribute value as a literal of a condition, when one can hold it.
std::optional<std::string> LiteralOf(std::string_view utf8) {
    const std::optional<std::string> bytes = ExactLatin1(utf8);
    if (!bytes || bytes->find(modXML::KeySeparator) != std::string::npos || HoldsCrLf(*bytes)) return std::nullopt;
    for (const char quote : {'\'', '"'}) {
        if (bytes->find(quote) == std::string::npos) return quote + *bytes + quote;
    }
    return std::nullopt;
}

}  // namespace

std::size_t Population::IndexOf(Node member) {
    if (members_.size() <= FewMembers) return diff::IndexOf(members_, member);
    if (index_.empty()) {
        for (std::size_t i = 0; i < members_.size(); ++i) index_.emplace(members_[i].internal_object(), i);
    }
    return index_.at(member.internal_object());
}

std::size_t Population::KeyCount(std::string_view key) {
    return Count(keys_, key, [](Node m, auto&& count) {
        std::vector<std::string_view> texts;
        for (Node id : SameNamed(m, "id")) {
            for (Node n = id.first_child(); n; n = n.next_sibling()) {
                if (IsText(n) && std::find(texts.begin(), texts.end(), n.value()) == texts.end()) {
                    texts.emplace_back(n.value());
                }
            }
        }
        for (const std::string_view text : texts) count(text);
    });
}

std::size_t Population::AttributeCount(const char* name, std::string_view value) {
    return Count(attributes_[name], value, [name](Node m, auto&& count) {
        if (const pugi::xml_attribute a = m.attribute(name)) count(a.value());
    });
}

// How many members read value, as read(member, count) gives each member's values to count.
template <typename Reader>
std::size_t Population::Count(Counts& counts, std::string_view value, const Reader& read) {
    if (members_.size() <= FewMembers) {
        std::size_t count = 0;
        for (Node m : members_) read(m, [&](std::string_view v) { count += v == value; });
        return count;
    }
    if (counts.empty()) {
        for (Node m : members_) read(m, [&](std::string_view v) { ++counts[v]; });
    }
    const auto it = counts.find(value);
    return it == counts.end() ? 0 : it->second;
}

void OfferSteps(const StepTask& task, const std::function<bool(const std::string&)>& accept) {
    const std::optional<std::string> name = ExactLatin1(task.element.name());
    if (!name) return;
    // Only the element, and its partner, may hold what picks it alone.
    const std::size_t alone = task.partner ? 2 : 1;
    if (task.population->Size() == alone && accept(*name)) return;

    const std::optional<std::string_view> key = KeyOf(task.element);
    const std::optional<std::string> keyBytes = key ? KeyBytes(*key) : std::nullopt;
    if (keyBytes && (!task.partner || KeyOf(task.partner) == key) && task.population->KeyCount(*key) == alone &&
        accept(*name + modXML::KeySeparator + *keyBytes)) {
        return;
    }
    if (task.creating) return;

    for (const pugi::xml_attribute attribute : task.element.attributes()) {
        const std::string_view value = attribute.value();
        const pugi::xml_attribute partnerValue = task.partner.attribute(attribute.name());
        if (task.partner && (!partnerValue || value != partnerValue.value())) continue;
        if (task.population->AttributeCount(attribute.name(), value) != alone) continue;
        const std::optional<std::string> attributeName = ExactLatin1(attribute.name());
        const std::optional<std::string> literal = LiteralOf(value);
        if (attributeName && literal && accept(*name + "[@" + *attributeName + "=" + *literal + "]")) return;
    }
    if (task.position > 0) accept(*name + "[" + std::to_string(task.position) + "]");
}

}  // namespace kestrune::diff
