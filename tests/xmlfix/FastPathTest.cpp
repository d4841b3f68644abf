#include "XmlFixTestSupport.h"
#include "xmlfix/Tree.h"

#include <cstdint>
#include <random>
#include <sstream>

using kestrune::RunError;

namespace {

// Random documents of the shape fixes meet, with parents enough children to
// be indexed, keys repeated as id texts and attributes, and random paths.
class RandomCase {
public:
    explicit RandomCase(unsigned seed) : random_(seed) {}
    std::string Pick(const std::vector<std::string>& from) { return from[random_() % from.size()]; }
    std::string Key() { return std::to_string(1 + random_() % 6); }

    std::string Document() {
        std::string xml = Pick({"", "<?xml version='1.0'?>\n", "<!-- head -->"}) + "<r>";
        for (const std::string parent : {"p0", "p1", "p2"}) {
            xml += Space() + "<" + parent + ">";
            for (unsigned n = random_() % 3 ? 60 : 3; n > 0; --n) xml += Space() + Child(0);
            xml += Space() + "</" + parent + ">";
        }
        return xml + Space() + "</r>" + Space();
    }

    // Plain and keyed steps, conditions, now and then a form only the XPath
    // engine answers, or far more steps than the document is deep.
    std::string Path() {
        std::string path = "/r/p" + std::to_string(random_() % 3);
        for (unsigned steps = random_() % 16 ? 1 + random_() % 2 : 400; steps > 0; --steps) {
            const std::string name = Pick(names_), key = Key();
            path += "/" + Pick({name, name, name + "\xA4" + key, name + "[@k='" + key + "']", "*", "item[1]", "",
                                name + "[@k=\"" + key + "\"][@n='a']", name + "[text()='" + key + "']", "@k",
                                "c[@xmlns='a']"});
        }
        return path;
    }

private:
    std::string Space() { return Pick({"", "\n", "\n  ", "\t", "\r\n"}); }

    std::string Child(int depth) {
        const std::string name = Pick(names_);
        if (random_() % (depth < 2 ? 3 : 1) == 0) {
            return Pick({"<!-- c -->", "<![CDATA[x<y]]>", "<?p d?>", "a&amp;b", "<id>" + Key() + "</id>", Key(),
                         "<" + name + "/>"});
        }
        std::string xml = "<" + name + (random_() % 4 ? " k='" + Key() + "'" : "");
        xml += Pick({"", " n=\"a\"", " xmlns='a'"}) + ">" + Pick({"", "<id>" + Key() + "</id>"});
        for (unsigned n = random_() % 4; n > 0; --n) xml += Space() + Child(depth + 1);
        return xml + "</" + name + ">";
    }

    std::mt19937 random_;
    const std::vector<std::string> names_ = {"item", "row", "x", "id", "c"};
};

// FindDeepestNode as first described: FindNode on the whole path, then on
// each prefix before a "/", from the longest, until one is found.
pugi::xml_node OneByOne(modXML::XmlDocument& doc, const std::string& path, std::string& prefix) {
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

// What an action gives with the report it writes, or its error.
std::string Outcome(const std::function<std::string()>& action) {
    modGen::ReportLog.clear();
    try {
        return action() + modGen::ReportLog;
    } catch (const RunError& e) {
        return "error " + std::to_string(e.number());
    }
}

std::string Deepest(modXML::XmlDocument& doc, const std::string& path, bool oneByOne) {
    std::string prefix;
    const pugi::xml_node found = oneByOne ? OneByOne(doc, path, prefix) : modXML::FindDeepestNode(doc, path, prefix);
    return std::to_string(reinterpret_cast<std::uintptr_t>(found.internal_object())) + " " + prefix;
}

}  // namespace

// A document keeps an index of children and white space out of its tree;
// handed out (Dom), the tree holds all white space as a parser that keeps it
// makes it, walked without the index. Walk, index and engine must agree,
// FindDeepestNode with one prefix after another, and both documents.
TEST(FastPaths, AgreeWithThePlainWaysOnRandomDocumentsAndEntries) {
    RandomCase random(14);
    kestrune::test::FakeUserInterface ui;
    for (int round = 0; round < 80; ++round) {
        std::string xml = random.Document();
        if (round == 0) {  // large enough for the source to be held compressed
            xml = "<r>";
            for (int n = 0; n < 70000; ++n) xml += "\n  <item k='" + std::to_string(n % 7) + "'>t</item>";
            xml += "\n</r>\n";
        }
        SCOPED_TRACE(xml.substr(0, 300));
        modXML::XmlDocument lean, plain;
        ASSERT_TRUE(modXML::LoadConfigXML(lean, xml, true, ui));
        ASSERT_TRUE(modXML::LoadConfigXML(plain, xml, true, ui));
        pugi::xml_document parsed;
        parsed.load_string(xml.c_str(), (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol);
        std::ostringstream handedOut, expected;  // as pugixml writes them, white space and all
        plain.Dom().print(handedOut, "", pugi::format_raw);
        parsed.print(expected, "", pugi::format_raw);
        ASSERT_EQ(handedOut.str(), expected.str());

        for (int entry = 0; entry < (round == 0 ? 2 : 40); ++entry) {
            const std::string path = random.Path();
            SCOPED_TRACE(path.substr(0, 200));
            if (path.find('\xA4') == std::string::npos) {
                try {
                    const pugi::xpath_query query(path.c_str());
                    ASSERT_EQ(modXML::SelectSingleNode(plain.Dom(), path), query.evaluate_node(plain.Dom()));
                    const pugi::xml_document& tree = modXML::detail::DocumentAccess::Tree(lean);
                    ASSERT_EQ(modXML::detail::Select(lean, tree, path), query.evaluate_node(tree)) << "indexed";
                } catch (const pugi::xpath_exception&) {
                    // a query the engine rejects: the walk has nothing to match
                }
            }
            ASSERT_EQ(Outcome([&] { return Deepest(lean, path, false); }),
                      Outcome([&] { return Deepest(lean, path, true); }));
            ASSERT_EQ(Outcome([&] { return modXML::GetNodeValue(lean, path, ""); }),
                      Outcome([&] { return modXML::GetNodeValue(plain, path, ""); }));
            const std::string attribute = random.Pick({"", "", "k", "n"});
            const std::string value = random.Pick({random.Key(), "\xA4", "\xA4", "\xA5", "", "a<&'\"", "\n", "\xE9"});
            const auto apply = [&](modXML::XmlDocument& doc) {
                modXML::ApplyFixEntry(doc, path, attribute, value, "Fix 0");
                return doc.Xml();
            };
            ASSERT_EQ(Outcome([&] { return apply(lean); }), Outcome([&] { return apply(plain); }));
        }
        ASSERT_EQ(lean.TakeXml(), plain.Xml());
    }
}
