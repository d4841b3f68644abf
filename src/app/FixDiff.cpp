#include "app/FixDiff.h"

#include "app/DiffMatching.h"
#include "app/DiffSteps.h"

#include "common/Errors.h"
#include "xmlfix/modXML.h"

#include <pugixml.hpp>

#include <array>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

// How a diff becomes entries that the engine applies in order:
//  1. deletions, from the last element to the first, addressed as the
//     elements stand in before: a deletion never moves an element that a
//     later deletion addresses by position;
//  2. changes of attributes and texts of the elements both documents hold,
//     addressed by what does not change (a key or an attribute that reads
//     the same before and after, or the position among the siblings that
//     stay), so that one change never misleads the path of the next;
//  3. additions, parent before child, addressed as in after: the engine
//     appends them behind the siblings that stay.
// Each step is checked with the engine's own selection against the
// document it describes; a step it does not find alone gives way to the
// next means.
namespace kestrune {
namespace {

using namespace diff;

// An empty element is added by removing an attribute it does not have: the
// engine creates the missing element for any entry, and this is the one
// entry that leaves it empty and still reports a line.
const std::string AbsentAttribute = "new";

const std::string NotLatin1 = "it holds a character that Latin-1 lacks, and a fix file is Latin-1";
const std::string HoldsLineBreak = "it holds CR LF, which would end the line of the fix file";
const std::string MarkerValue =
    "its value is a lone " + modXML::DeleteMarker + " or " + modXML::ClearMarker + ", which a fix reads as a marker";
const std::string NoPath = "no path of the fix engine finds this element alone";
const std::string OtherNodesDiffer = "a comment or processing instruction in it differs; a fix cannot make one";
const std::string MixedText =
    "its text beside child elements differs; a fix sets an element's text only as all of its content";
const std::string TextBesideOthers =
    "its text changed, and setting it would remove the comments or processing instructions in it";

enum class Where {
    Before,  // an element of before, as it stands before any entry
    During,  // an element both hold, while the changes and additions run
    Create,  // an element of after that an addition creates
    After,   // an element of after, for naming it in a problem
};

// As the engine reads a tree text.
std::string LossyLatin1(std::string_view utf8) {
    bool exact = true;
    return Latin1Of(utf8, exact);
}

// True when the last step of path is a keyed step.
bool EndsKeyed(const std::string& path) {
    return path.find(modXML::KeySeparator, path.rfind('/')) != std::string::npos;
}

// One comparison: walks both trees from the root, pairs their elements and
// collects the entries of the three kinds and what no entry can make.
class Differ {
public:
    Differ(modXML::XmlDocument& before, modXML::XmlDocument& after) : before_(before), after_(after) {}

    ConfigDiff Run() {
        const Node b = before_.Dom().document_element();
        const Node a = after_.Dom().document_element();
        afterOf_.Reserve(CountElements(b));
        if (!SameOtherNodes(before_.Dom(), after_.Dom())) {
            problems_.push_back({"/",
                                 "the declaration, the document type, or a comment or processing instruction "
                                 "outside the root element differs; a fix cannot change them"});
        }
        if (std::string_view(b.name()) != a.name()) {
            problems_.push_back({Describe(b, false), "the root element differs; a fix cannot replace it"});
        } else {
            Pair(b, a);
            Visit(b, a);
        }
        ConfigDiff diff;
        diff.Entries.assign(deletions_.rbegin(), deletions_.rend());
        diff.Entries.insert(diff.Entries.end(), changes_.begin(), changes_.end());
        diff.Entries.insert(diff.Entries.end(), additions_.begin(), additions_.end());
        diff.Problems = std::move(problems_);
        return diff;
    }

private:
    void Pair(Node b, Node a) { afterOf_.Set(b, a); }
    Node AfterOf(Node b) const { return afterOf_.Get(b); }

    // The element of before that a is paired with, or none; found through
    // a's parent, as it is seldom asked for.
    Node BeforeOf(Node a) const {
        const Node parent = a.parent();
        const Node b = IsElement(parent) ? BeforeOf(parent) : Node(before_.Dom());
        if (!b) return {};
        for (const Node s : SameNamed(b, a.name())) {
            if (AfterOf(s) == a) return s;
        }
        return {};
    }

    // b of before and a of after are the same element.
    void Visit(Node b, Node a) {
        if (!SameOtherNodes(b, a)) Problem(a, true, OtherNodesDiffer);
        CompareAttributes(b, a);
        std::vector<Node> added;
        bool keptChildren = false;
        for (const Group& group : GroupChildren(b, a)) keptChildren |= PairUp(group, added);
        CompareText(b, a, keptChildren);
        for (Node child = b.first_child(); child; child = child.next_sibling()) {
            if (!IsElement(child)) continue;
            if (const Node match = AfterOf(child)) {
                if (!SameSubtree(child, match)) Visit(child, match);
            } else {
                Entry(deletions_, child, Where::Before, "", modXML::DeleteMarker, "Remove the element");
            }
        }
        for (Node child : added) Create(child);
    }

    // Pairs the group's elements; records what a fix leaves out and adds
    // the elements to add to added. True when an element stays.
    bool PairUp(const Group& group, std::vector<Node>& added) {
        const GroupMatch match = MatchGroup(group);
        bool kept = false;
        for (std::size_t i = 0; i < group.before.size(); ++i) {
            if (match.afterOf[i] < 0) continue;
            Pair(group.before[i], group.after[static_cast<std::size_t>(match.afterOf[i])]);
            kept = true;
        }
        for (const auto& [j, why] : match.leftOut) Problem(group.after[j], true, why);
        for (const std::size_t j : match.added) added.push_back(group.after[j]);
        return kept;
    }

    void CompareAttributes(Node b, Node a) {
        for (const pugi::xml_attribute attribute : a.attributes()) {
            const pugi::xml_attribute old = b.attribute(attribute.name());
            if (old && std::strcmp(old.value(), attribute.value()) == 0) continue;
            const auto bytes = AttributeBytes(a, attribute);
            if (!bytes) continue;
            const auto& [name, value] = *bytes;
            const bool caseOnly = old && modXML::EqualIgnoringCase(old.value(), value);
            if (caseOnly) {
                // The engine would skip a change of letter case alone.
                Entry(changes_, b, Where::During, name, modXML::DeleteMarker,
                      "Remove attribute " + name + ", to add it again in other letter case");
            }
            Entry(changes_, b, Where::During, name, value,
                  (old && !caseOnly ? "Change attribute " : "Add attribute ") + name);
        }
        for (const pugi::xml_attribute attribute : b.attributes()) {
            if (a.attribute(attribute.name())) continue;
            const std::optional<std::string> name = ExactLatin1(attribute.name());
            if (!name) {
                Problem(a, true, NotLatin1);
                continue;
            }
            Entry(changes_, b, Where::During, *name, modXML::DeleteMarker, "Remove attribute " + *name);
        }
    }

    // The text of b once its element children that go are gone, against a's.
    void CompareText(Node b, Node a, bool keptChildren) {
        const std::string oldText = ContentOf(b);
        const std::string newText = ContentOf(a);
        if (oldText == newText) return;
        if (HasChild(a, IsElement)) {
            // Text can be cleared before the children are added, but not
            // changed beside them.
            if (newText.empty() && !keptChildren && !HasChild(b, IsOther)) {
                Entry(changes_, b, Where::During, "", modXML::ClearMarker, "Clear the text");
            } else {
                Problem(a, true, MixedText);
            }
            return;
        }
        if (HasChild(b, IsOther)) {
            Problem(a, true, TextBesideOthers);
            return;
        }
        if (newText.empty()) {
            Entry(changes_, b, Where::During, "", modXML::ClearMarker, "Clear the text");
            return;
        }
        const std::optional<std::string> value = TextBytes(a, newText);
        if (!value) return;
        if (modXML::EqualIgnoringCase(oldText, *value)) {
            // The engine would skip a change of letter case alone.
            Entry(changes_, b, Where::During, "", modXML::ClearMarker,
                  "Clear the text, to set it again in other letter case");
        }
        Entry(changes_, b, Where::During, "", *value, "Change the text");
    }

    // Adds the element a of after, its attributes, text and children.
    void Create(Node a) {
        const std::size_t first = additions_.size();
        if (HasChild(a, IsOther)) Problem(a, true, OtherNodesDiffer);
        AddAttributes(a, first);
        const std::string text = ContentOf(a);
        if (!text.empty() && HasChild(a, IsElement)) {
            Problem(a, true, MixedText);
        } else if (!text.empty()) {
            if (const std::optional<std::string> value = TextBytes(a, text)) {
                Entry(additions_, a, Where::Create, "", *value,
                      additions_.size() == first ? "Add the element, with its text" : "Add its text");
            }
        }
        // A keyed step creates the id child along with the element; only
        // its attributes are left to add, once the element is there: an
        // entry for the id child would create it a second time.
        const std::optional<std::string> path = PathOf(a, Where::Create);
        Node keyChild;
        for (const Group& group : GroupChildren(Node(), a)) {
            for (std::size_t j = 0; j < group.after.size(); ++j) {
                const Node child = group.after[j];
                if (path && EndsKeyed(*path) && std::string_view(child.name()) == "id") {
                    keyChild = child;
                } else if (auto why = WhyNotAddable(group.after, j, -1)) {
                    Problem(child, true, *why);
                } else {
                    Create(child);
                }
            }
        }
        if (additions_.size() == first) {
            Entry(additions_, a, Where::Create, AbsentAttribute, modXML::DeleteMarker, "Add the empty element");
        }
        if (keyChild) {
            if (HasChild(keyChild, IsOther)) Problem(keyChild, true, OtherNodesDiffer);
            AddAttributes(keyChild, first);
        }
    }

    // The entries that give a, being added, its attributes; the first entry
    // of the addition is additions_[first].
    void AddAttributes(Node a, std::size_t first) {
        for (const pugi::xml_attribute attribute : a.attributes()) {
            if (const auto bytes = AttributeBytes(a, attribute)) {
                const auto& [name, value] = *bytes;
                Entry(additions_, a, Where::Create, name, value,
                      (additions_.size() == first ? "Add the element, with attribute " : "Add attribute ") + name);
            }
        }
    }

    // The name and value of an attribute of a as bytes for an entry;
    // nothing, with the problem recorded, when a fix file cannot hold them.
    std::optional<std::pair<std::string, std::string>> AttributeBytes(Node a, const pugi::xml_attribute& attribute) {
        std::optional<std::string> name = ExactLatin1(attribute.name());
        if (!name) {
            Problem(a, true, NotLatin1);
            return std::nullopt;
        }
        std::optional<std::string> value = TextBytes(a, attribute.value());
        if (!value) return std::nullopt;
        return std::make_pair(std::move(*name), std::move(*value));
    }

    // A text of a as the bytes of an entry's value; nothing, with the
    // problem recorded, when a fix file cannot hold it.
    std::optional<std::string> TextBytes(Node a, std::string_view utf8) {
        std::optional<std::string> bytes = ExactLatin1(utf8);
        if (!bytes) {
            Problem(a, true, NotLatin1);
        } else if (HoldsCrLf(*bytes)) {
            Problem(a, true, HoldsLineBreak);
        } else if (*bytes == modXML::DeleteMarker || *bytes == modXML::ClearMarker) {
            Problem(a, true, MarkerValue);
        } else {
            return bytes;
        }
        return std::nullopt;
    }

    // Appends an entry for the element to list, or the problem that no path finds it.
    void Entry(std::vector<FixEntry>& list, Node element, Where where, const std::string& attribute,
               const std::string& value, const std::string& description) {
        const std::optional<std::string> path = PathOf(element, where);
        if (!path) {
            Problem(where == Where::During ? AfterOf(element) : element, where != Where::Before, NoPath);
            return;
        }
        list.push_back({*path, value, attribute, description});
    }

    // Records a problem once per element and reason; inAfter says which document element belongs to.
    void Problem(Node element, bool inAfter, const std::string& reason) {
        if (reported_.insert({element.internal_object(), reason}).second)
            problems_.push_back({Describe(element, inAfter), reason});
    }

    // The path of element in the document where says, for the engine to find
    // it alone, or nothing when none does.
    std::optional<std::string> PathOf(Node element, Where where) {
        auto& memo = paths_[static_cast<std::size_t>(where)];
        if (const auto it = memo.find(element.internal_object()); it != memo.end()) return it->second;
        std::optional<std::string> path = FindPath(element, where);
        memo.emplace(element.internal_object(), path);
        return path;
    }

    std::optional<std::string> FindPath(Node element, Where where) {
        if (where == Where::After && BeforeOf(element)) return PathOf(BeforeOf(element), Where::During);
        const std::optional<std::string> prefix = ParentPath(element, where);
        if (!prefix) return std::nullopt;
        modXML::XmlDocument& doc = where == Where::Before ? before_ : after_;
        const Node target = where == Where::During ? AfterOf(element) : element;
        std::optional<std::string> path;
        OfferSteps(Task(element, where), [&](const std::string& step) {
            std::string candidate = *prefix + "/" + step;
            if (!Finds(doc, candidate, step, target)) return false;
            path = std::move(candidate);
            return true;
        });
        return path;
    }

    // The path of element's parent, "" above the root element.
    std::optional<std::string> ParentPath(Node element, Where where) {
        const Node parent = element.parent();
        if (!IsElement(parent)) return std::string();
        if (where == Where::Create && BeforeOf(parent)) return PathOf(BeforeOf(parent), Where::During);
        return PathOf(parent, where);
    }

    // The step's task for element: the elements it must be told from, and
    // its position, as the document where says has them.
    StepTask Task(Node element, Where where) {
        StepTask task;
        task.element = element;
        if (where != Where::During) {
            task.population = &PopulationOf(element, where);
            task.creating = where == Where::Create;
            if (where != Where::Create) task.position = task.population->IndexOf(element) + 1;
            return task;
        }
        task.partner = AfterOf(element);
        task.population = &PopulationOf(element, where);
        // While entries run, the same-named siblings are those that stay,
        // then those added behind them: a position holds where after has
        // the element at the same place among them.
        const std::size_t rank = task.population->IndexOf(element);
        if (task.population->IndexOf(task.partner) - task.population->Kept() == rank) task.position = rank + 1;
        return task;
    }

    // The elements a step for element must tell it from, in the document where says:
    // its same-named siblings, and while entries run those that stay together with those of after.
    Population& PopulationOf(Node element, Where where) {
        const Where kind = where == Where::Create ? Where::After : where;
        auto& underParent = populations_[static_cast<std::size_t>(kind)][element.parent().internal_object()];
        for (auto& [name, population] : underParent) {
            if (std::strcmp(name, element.name()) == 0) return population;
        }
        std::vector<Node> members = SameNamed(element.parent(), element.name());
        std::size_t kept = members.size();
        if (kind == Where::During) {
            std::erase_if(members, [&](Node s) { return !AfterOf(s); });
            kept = members.size();
            const Node partner = AfterOf(element);
            for (Node s : SameNamed(partner.parent(), partner.name())) members.push_back(s);
        }
        return underParent.emplace_back(element.name(), Population(std::move(members), kept)).second;
    }

    // True when the engine finds target, and nothing before it, by path,
    // whose last step is step. The path of target's parent finds the parent
    // alone, so a plain step is checked from there; a keyed step, which
    // FindNode takes apart, on the whole path.
    static bool Finds(modXML::XmlDocument& doc, const std::string& path, const std::string& step, Node target) {
        Node found;
        try {
            if (step.find(modXML::KeySeparator) == std::string::npos && IsElement(target.parent())) {
                const pugi::xpath_node match = modXML::SelectSingleNode(target.parent(), step);
                return !match.attribute() && match.node() == target;
            }
            modXML::FindNode(doc, found, path);
        } catch (const RunError&) {
            return false;
        }
        return found == target;
    }

    // A path that names element for a person, even where the engine finds no path.
    std::string Describe(Node element, bool inAfter) {
        if (const std::optional<std::string> path = PathOf(element, inAfter ? Where::After : Where::Before))
            return *path;
        const Node parent = element.parent();
        const std::vector<Node> siblings = SameNamed(parent, element.name());
        return (IsElement(parent) ? Describe(parent, inAfter) : std::string()) + "/" + LossyLatin1(element.name()) +
               "[" + std::to_string(IndexOf(siblings, element) + 1) + "]";
    }

    modXML::XmlDocument& before_;
    modXML::XmlDocument& after_;
    NodeMap afterOf_;
    std::array<std::unordered_map<const void*, std::optional<std::string>>, 4> paths_;
    // By the kind of document, the parent and the name; a deque keeps them in place.
    std::array<std::unordered_map<const void*, std::deque<std::pair<const char*, Population>>>, 4> populations_;
    std::set<std::pair<const void*, std::string>> reported_;
    std::vector<FixEntry> deletions_, changes_, additions_;
    std::vector<DiffProblem> problems_;
};

}  // namespace

ConfigDiff DiffConfigs(modXML::XmlDocument& before, modXML::XmlDocument& after) { return Differ(before, after).Run(); }

std::string FixFileText(const std::vector<FixEntry>& entries) {
    std::string text(FixHeader);
    for (const FixEntry& e : entries) {
        text += "p=" + e.Path + "\r\n";
        if (!e.Attribute.empty()) text += "a=" + e.Attribute + "\r\n";
        text += "v=" + e.Value + "\r\nd=" + e.Description + "\r\n";
    }
    return text;
}

}  // namespace kestrune
