#include "XmlFixTestSupport.h"
#include "xmlfix/Tree.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

using kestrune::RunError;
using kestrune::test::XmlFixTest;

namespace {

// Random documents whose parents have enough children to be indexed, with
// keys that repeat, and random paths into them. The fast paths must give
// what the plain ways give: the walk without an index, and FindNode on one
// prefix after another.
class RandomDocument : public XmlFixTest {
protected:
    std::string Pick(const std::vector<std::string>& from) { return from[random() % from.size()]; }
    std::string Key() { return std::to_string(1 + random() % 6); }
    std::string Parent() { return "/r/p" + std::to_string(random() % 3); }

    void LoadRandom() {
        std::string xml = "<r>\n";
        for (int p = 0; p < 3; ++p) {
            xml += "<p" + std::to_string(p) + ">";
            for (unsigned n = 40 + random() % 30; n > 0; --n) {
                const std::string name = Pick(names);
                xml += "\n  <" + name + (random() % 4 ? " k='" + Key() + "'" : "") + (random() % 3 ? " n='a'" : "") + ">";
                for (unsigned i = random() % 3; i > 0; --i) xml += "<id>" + Key() + "</id>";
                if (random() % 2) xml += "<c>" + Key() + "</c>";
                if (random() % 5 == 0) xml += Key();
                xml += "</" + name + ">";
            }
            xml += "\n</p" + std::to_string(p) + ">\n";
        }
        Load(xml + "</r>");
    }

    // A step: a name with no condition, or with a key attribute or text.
    std::string Step() {
        const std::string name = Pick(names);
        switch (random() % 4) {
        case 0: return name;
        case 1: return name + "[@k='" + Key() + "']";
        case 2: return name + "[@k='" + Key() + "'][@n='a']";
        default: return name + "[text()='" + Key() + "']";
        }
    }

    std::string LookupPath() {
        switch (random() % 3) {
        case 0: return Parent() + "/" + Step();
        case 1: return Parent() + "/" + Pick(names) + "/id[text()='" + Key() + "']";
        default: return Parent() + "/" + Step() + "/" + Pick({"id", "c"});
        }
    }

    // A change through the engine: keys changed, added and removed, texts
    // set, elements deleted and created.
    void ChangeAtRandom() {
        const std::string at = Parent() + "/" + Step();
        const std::string keyed = Parent() + "/" + Pick(names) + "\xA4" + Key();
        const std::pair<std::string, std::string> changes[] = {
            {at, "k"}, {at, "n"}, {at, ""}, {at + "/id", ""}, {keyed, ""}, {keyed + "/c", ""}};
        const auto& [path, attribute] = changes[random() % std::size(changes)];
        const std::string value = random() % 4 == 0 ? "\xA4" : Key();
        try {
            modXML::ApplyFixEntry(doc, path, attribute, value, "Fix 0");
        } catch (const RunError&) {
            // Deleting what is not there, and the like: the tree stays as it is.
        }
    }

    std::mt19937 random{14};
    const std::vector<std::string> names = {"item", "row", "x"};
};

// FindDeepestNode as described: FindNode on the whole path, then on each
// prefix before a "/", from the longest, until one is found.
pugi::xml_node DeepestOneByOne(modXML::XmlDocument& doc, const std::string& path, std::string& prefix) {
    pugi::xml_node found;
    modXML::FindNode(doc, found, path);
    prefix = path;
    for (std::size_t cut = path.size(); !found && cut != std::string::npos && cut > 0;) {
        cut = path.rfind('/', cut - 1);
        prefix = cut == std::string::npos ? std::string() : path.substr(0, cut);
        if (!prefix.empty()) modXML::FindNode(doc, found, prefix);
    }
    return found;
}

std::string Outcome(const std::function<pugi::xml_node(std::string&)>& find) {
    try {
        std::string prefix;
        const pugi::xml_node found = find(prefix);
        return std::to_string(reinterpret_cast<std::uintptr_t>(found.internal_object())) + " " + prefix;
    } catch (const RunError& e) {
        return "error " + std::to_string(e.number());
    }
}

}  // namespace

TEST_F(RandomDocument, IndexedLookupsAgreeWithTheWalkThroughChanges) {
    for (int round = 0; round < 20; ++round) {
        LoadRandom();
        for (int change = 0; change < 60; ++change) {
            ChangeAtRandom();
            for (int lookup = 0; lookup < 5; ++lookup) {
                const std::string path = LookupPath();
                SCOPED_TRACE(path);
                pugi::xml_node indexed;
                modXML::FindNode(doc, indexed, path);
                const pugi::xml_node& tree = modXML::detail::DocumentAccess::Tree(doc);
                ASSERT_EQ(indexed, modXML::SelectSingleNode(tree, path).node());
            }
        }
    }
}

TEST_F(RandomDocument, FindDeepestNodeAgreesWithLookingUpOnePrefixAfterAnother) {
    const std::vector<std::string> odd = {"*", "item[1]", "", "/", "x[@k='1/2']"};
    for (int round = 0; round < 10; ++round) {
        LoadRandom();
        for (int change = 0; change < 40; ++change) {
            ChangeAtRandom();
            // Keyed and plain steps, now and then a form for the XPath
            // engine, and paths far longer than the document is deep.
            std::string path = random() % 8 ? Parent() : "r";
            for (unsigned steps = random() % 8 == 0 ? 400 : 1 + random() % 5; steps > 0; --steps) {
                switch (random() % 8) {
                case 0: path += "/" + Pick(names) + "\xA4" + Key(); break;
                case 1: path += "/" + Pick(odd); break;
                default: path += "/" + Step();
                }
            }
            SCOPED_TRACE(path.substr(0, 200));
            ASSERT_EQ(Outcome([&](std::string& prefix) { return modXML::FindDeepestNode(doc, path, prefix); }),
                      Outcome([&](std::string& prefix) { return DeepestOneByOne(doc, path, prefix); }));
        }
    }
}
