#include "xmlfix/PlainPath.h"

#include "xmlfix/ChildIndex.h"

namespace modXML::detail {
namespace {

bool IsPlainNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool IsPlainNameChar(char c) { return IsPlainNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// An ASCII name without a colon; the operator names are left to the engine,
// and so are names starting "xmlns", which the engine never treats as attributes.
bool ReadPlainName(std::string_view q, std::size_t& i, std::string_view& name) {
    const std::size_t start = i;
    if (i >= q.size() || !IsPlainNameStart(q[i])) return false;
    while (i < q.size() && IsPlainNameChar(q[i])) ++i;
    name = q.substr(start, i - start);
    return name != "and" && name != "or" && name != "div" && name != "mod" && name.substr(0, 5) != "xmlns";
}

bool ReadLiteral(std::string_view q, std::size_t& i, std::string_view& value) {
    if (i >= q.size() || (q[i] != '\'' && q[i] != '"')) return false;
    const std::size_t close = q.find(q[i], i + 1);
    if (close == std::string_view::npos) return false;
    value = q.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
}

bool Meets(const pugi::xml_node& element, const PlainCondition& condition) {
    if (condition.text) {
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            const pugi::xml_node_type type = child.type();
            if ((type == pugi::node_pcdata || type == pugi::node_cdata) && Equals(condition.value, child.value())) return true;
        }
        return false;
    }
    // Only the first attribute of a name counts, as in the engine, should a
    // document repeat one.
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        if (Equals(condition.name, a.name())) return Equals(condition.value, a.value());
    }
    return false;
}

IndexKey KeyOf(const PlainCondition& condition, std::string_view via) { return {via, condition.text, condition.name}; }

// The depth-first walk. Candidates for a step come from the index where the
// parent has one: the children that meet the step's first condition, or,
// for a step without conditions when the whole path is wanted, those with a
// child that meets the next step's first condition (the shape of a keyed
// step's query, item/id[text()='7']). The deepest match may be reached
// through children that lead no further, so that narrowing is for whole
// matches alone.
class Walk {
public:
    Walk(const PlainPath& path, ChildIndex* index, bool wholeOnly)
        : steps_(path.steps), index_(index), wholeOnly_(wholeOnly) {}

    PlainMatch From(const pugi::xml_node& start) {
        if (!steps_.empty()) Visit(start, 0);
        return best_;
    }

private:
    // True once every step is matched.
    bool Visit(const pugi::xml_node& parent, std::size_t depth) {
        const PlainStep& step = steps_[depth];
        if (const std::vector<pugi::xml_node>* candidates = Candidates(parent, depth)) {
            for (const pugi::xml_node& child : *candidates) {
                if (Enter(child, depth)) return true;
            }
            return false;
        }
        for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
            if (child.type() == pugi::node_element && Equals(step.name, child.name()) && Enter(child, depth)) return true;
        }
        return false;
    }

    const std::vector<pugi::xml_node>* Candidates(const pugi::xml_node& parent, std::size_t depth) {
        if (index_ == nullptr) return nullptr;
        const PlainStep& step = steps_[depth];
        if (!step.conditions.empty()) {
            const PlainCondition& first = step.conditions.front();
            return index_->Find(parent, step.name, KeyOf(first, {}), first.value);
        }
        if (wholeOnly_ && depth + 1 < steps_.size() && !steps_[depth + 1].conditions.empty()) {
            const PlainStep& next = steps_[depth + 1];
            const PlainCondition& first = next.conditions.front();
            return index_->Find(parent, step.name, KeyOf(first, next.name), first.value);
        }
        return nullptr;
    }

    bool Enter(const pugi::xml_node& child, std::size_t depth) {
        for (const PlainCondition& condition : steps_[depth].conditions) {
            if (!Meets(child, condition)) return false;
        }
        if (depth + 1 > best_.steps) best_ = {depth + 1, child};
        return depth + 1 == steps_.size() || Visit(child, depth + 1);
    }

    const std::vector<PlainStep>& steps_;
    ChildIndex* index_;
    bool wholeOnly_;
    PlainMatch best_;
};

}  // namespace

bool ParsePlainPath(std::string_view q, PlainPath& path) {
    std::size_t i = 0;
    path.absolute = !q.empty() && q[0] == '/';
    if (path.absolute) ++i;
    for (;;) {
        PlainStep step;
        if (!ReadPlainName(q, i, step.name)) return false;
        while (i < q.size() && q[i] == '[') {
            PlainCondition condition;
            ++i;
            if (q.substr(i, 7) == "text()=") {
                condition.text = true;
                i += 7;
            } else {
                if (i >= q.size() || q[i] != '@') return false;
                ++i;
                if (!ReadPlainName(q, i, condition.name) || i >= q.size() || q[i] != '=') return false;
                ++i;
            }
            if (!ReadLiteral(q, i, condition.value) || i >= q.size() || q[i] != ']') return false;
            ++i;
            step.conditions.push_back(condition);
        }
        path.steps.push_back(std::move(step));
        if (i == q.size()) return true;
        if (q[i] != '/') return false;
        ++i;
    }
}

pugi::xml_node FirstPlainMatch(const pugi::xml_node& context, const PlainPath& path, ChildIndex* index) {
    const PlainMatch match = Walk(path, index, true).From(path.absolute ? context.root() : context);
    return match.steps == path.steps.size() ? match.element : pugi::xml_node();
}

PlainMatch DeepestPlainMatch(const pugi::xml_node& context, const PlainPath& path, ChildIndex* index) {
    return Walk(path, index, false).From(path.absolute ? context.root() : context);
}

}  // namespace modXML::detail
