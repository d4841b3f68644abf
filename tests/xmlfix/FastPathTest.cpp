#include "XmlFixTestSupport.h"
#include "xmlfix/Tree.h"

#include <functional>
#include <tuple>
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

namespace {

// Documents of every kind of node, spaced every way, as text.
class RandomText {
public:
    explicit RandomText(unsigned seed) : random_(seed) {}

    std::string Document() {
        std::string xml = random_() % 2 ? "<?xml version='1.0' encoding = \"UTF-8\"?>" + Space() : "";
        if (random_() % 3 == 0) xml += "<!-- head -->" + Space();
        return xml + Element("r", 0) + Space();
    }
    std::string Pick(const std::vector<std::string>& from) { return from[random_() % from.size()]; }
    std::string Space() { return Pick({"", "\n", "\n  ", "\t", " ", "\r\n", "\n\n    "}); }
    unsigned Next() { return random_(); }

private:
    std::string Attributes() {
        std::string text;
        for (unsigned n = random_() % 3; n > 0; --n) {
            const std::string quote = random_() % 2 ? "'" : "\"";
            text += Pick({" ", "\n   ", "  "}) + Pick({"k", "x", "n"}) + Pick({"=", " = "}) + quote +
                    Pick({"1", "v", "", "a&amp;b", "t\tu", "it&apos;s"}) + quote;
        }
        return text;
    }

    std::string Element(const std::string& name, int depth) {
        std::string xml = "<" + name + Attributes();
        if (depth > 0 && random_() % 4 == 0) return xml + Pick({"/>", " />"});
        xml += ">";
        for (unsigned n = depth < 3 ? random_() % 5 : 0; n > 0; --n) {
            xml += Space();
            switch (random_() % 8) {
            case 0: xml += Pick({"t", "a&amp;b", "x y", "it's", "5", "&#10;"}); break;
            case 1: xml += Pick({"<!-- c -->", "<![CDATA[x<y]]>", "<?p d?>"}); break;
            case 2: xml += "<item><id>" + std::to_string(random_() % 3) + "</id>" + Space() + "</item>"; break;
            default: xml += Element(Pick({"a", "b", "item", "c"}), depth + 1);
            }
        }
        return xml + Space() + "</" + name + Pick({">", " >"});
    }

    std::mt19937 random_;
};

// The same tree as pugixml's own, white space and all.
void ExpectSameTree(const pugi::xml_node& a, const pugi::xml_node& b) {
    pugi::xml_node x = a.first_child();
    pugi::xml_node y = b.first_child();
    for (; x && y; x = x.next_sibling(), y = y.next_sibling()) {
        ASSERT_EQ(x.type(), y.type());
        ASSERT_STREQ(x.name(), y.name());
        ASSERT_STREQ(x.value(), y.value());
        pugi::xml_attribute p = x.first_attribute();
        pugi::xml_attribute q = y.first_attribute();
        for (; p && q; p = p.next_attribute(), q = q.next_attribute()) {
            ASSERT_STREQ(p.name(), q.name());
            ASSERT_STREQ(p.value(), q.value());
        }
        ASSERT_EQ(!p, !q);
        ExpectSameTree(x, y);
    }
    ASSERT_EQ(!x, !y);
}

// The in-place check gives what a load gives, and the text back.
void ExpectCheckLikeLoad(std::string text) {
    SCOPED_TRACE(text.substr(0, 100));
    const std::string before = text;
    const modXML::ParseOutcome checked = modXML::XmlDocument::Check(text);
    const modXML::ParseOutcome loaded = modXML::XmlDocument().Parse(before);
    EXPECT_EQ(std::tie(checked.ok, checked.reason, checked.position), std::tie(loaded.ok, loaded.reason, loaded.position));
    EXPECT_TRUE(text == before);
}

std::string Outcome(const std::function<void()>& action) {
    try {
        action();
        return modGen::ReportLog;
    } catch (const RunError& e) {
        return "error " + std::to_string(e.number());
    }
}

}  // namespace

// A document keeps the white space between its elements out of its tree
// until text is read or replaced; handed out (Dom), the tree has it all,
// as a parser that keeps it makes it. Both ways, the same entries must give
// the same report, the same text and the same bytes.
TEST(LeanDocument, AgreesWithTheTreeThatHoldsAllWhiteSpace) {
    RandomText random(14);
    kestrune::test::FakeUserInterface ui;
    for (int round = 0; round < 150; ++round) {
        std::string xml = random.Document();
        if (round == 0) {
            // Large enough for the source to be held compressed.
            xml = "<r>";
            for (int n = 0; n < 70000; ++n) xml += "\n  <a k='" + std::to_string(n % 7) + "'>t</a>";
            xml += "\n</r>\n";
        }
        SCOPED_TRACE(xml.substr(0, 300));
        modXML::XmlDocument lean;
        modXML::XmlDocument plain;
        ASSERT_TRUE(modXML::LoadConfigXML(lean, xml, true, ui));
        ASSERT_TRUE(modXML::LoadConfigXML(plain, xml, true, ui));
        ASSERT_TRUE(lean.KeepsSourceLayout());
        pugi::xml_document parsed;
        parsed.load_string(xml.c_str(), (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol);
        ExpectSameTree(plain.Dom(), parsed);

        for (int entry = 0; entry < (round == 0 ? 2 : 8); ++entry) {
            std::string path = "/r";
            for (unsigned steps = 1 + random.Next() % 3; steps > 0; --steps) {
                path += "/" + random.Pick({"a", "b", "c", "item", "item\xA4" "1", "a[@k='1']", "b[@x='v']"});
            }
            const std::string attribute = random.Pick({"", "", "k", "y"});
            const std::string value = random.Pick({"1", "V", "", "\xA4", "\xA5", "a<b&c", "it's \"q\"", "\n", "caf\xE9"});
            SCOPED_TRACE(path + " " + attribute + "=" + value);
            modGen::ReportLog.clear();
            const std::string leanOutcome = Outcome([&] { modXML::ApplyFixEntry(lean, path, attribute, value, "Fix 0"); });
            modGen::ReportLog.clear();
            ASSERT_EQ(leanOutcome, Outcome([&] { modXML::ApplyFixEntry(plain, path, attribute, value, "Fix 0"); }));
            ASSERT_EQ(modXML::GetNodeValue(lean, path, ""), modXML::GetNodeValue(plain, path, ""));
            ASSERT_EQ(lean.Xml(), plain.Xml());
        }
        std::string saved = plain.Xml();
        ASSERT_EQ(lean.TakeXml(), saved);
        EXPECT_FALSE(lean.IsLoaded());
        ExpectCheckLikeLoad(saved);
        ExpectCheckLikeLoad(saved.substr(0, random.Next() % saved.size()));
    }
}

// The check parses where the text is, in every encoding a load reads,
// whole or cut (a failure's position counts input bytes), and gives the
// bytes back as they were.
TEST(CheckInPlace, GivesWhatALoadGivesAndTheBytesBack) {
    const auto utf16 = [](const std::string& ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += std::string(1, c) + '\0';
        return out;
    };
    const std::string documents[] = {
        "\xEF\xBB\xBF<a x='\xC3\xA9'>t</a>",
        "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9\xFF</a>",
        utf16("<a><b x='1'>t</b></a>"),
    };
    for (const std::string& document : documents) {
        for (std::size_t cut = document.size(); cut > document.size() - 8; --cut) {
            ExpectCheckLikeLoad(document.substr(0, cut));
        }
    }
}

// The parser stops at a NUL byte; whatever follows, markup included, is
// written back as it was.
TEST(LeanDocument, KeepsWhatFollowsWhereTheParserStopped) {
    const std::string xml("<r>\n  <a x='1'/>\n</r>\n\0<b>after</b> <c", 29);
    kestrune::test::FakeUserInterface ui;
    modXML::XmlDocument doc;
    ASSERT_TRUE(modXML::LoadConfigXML(doc, xml, true, ui));
    EXPECT_TRUE(doc.KeepsSourceLayout());
    modXML::ApplyFixEntry(doc, "/r/a", "x", "2", "Fix 0");
    EXPECT_EQ(doc.Xml(), std::string("<r>\n  <a x='2'/>\n</r>\n\0<b>after</b> <c", 29));
}
