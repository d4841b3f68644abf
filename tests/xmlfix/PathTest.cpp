#include "XmlFixTestSupport.h"
#include "xmlfix/Tree.h"

#include <random>
#include <string>
#include <vector>

using kestrune::test::ExpectRunError;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

// Elements the tests look for carry a mark m.
const char* const Items =
    "<a m='a'>\n"
    "  <b m='b'>\n"
    "    <item m='i5'><id>5</id><c m='c5'>five</c></item>\n"
    "    <item m='i7'><id>7</id><c m='c7'>seven</c>"
    "<sub m='sub'><entry m='e2'><id>2</id><d m='d2'>two</d></entry></sub></item>\n"
    "  </b>\n"
    "  <other><item m='o7'><id>7</id></item></other>\n"
    "  <t m='t' x='1'>text<u m='u'>more</u></t>\n"
    "</a>\n";

std::string Mark(const pugi::xml_node& node) { return node ? node.attribute("m").value() : "(none)"; }

}  // namespace

using Paths = XmlFixTest;

TEST_F(Paths, FindNodeResolvesPlainAndKeyedSteps) {
    Load(Items);
    const struct { const char* path; const char* mark; } cases[] = {
        {"/a/b/item\xA4" "7/c", "c7"}, {"/a/b/item\xA4" "7", "i7"},  {"a/b/item\xA4" "7/c", "c7"},
        {"/a/b/item\xA4" "8/c", "(none)"},  // other items have a c, but none has the key
        {"/a/missing", "(none)"},       {"/a/b/item[2]/c", "c7"}, {"/a/*[@x='1']/u", "u"},
        {"//item\xA4" "7", "i7"},  // the first id with the key in document order decides
        {"/a/b/item\xA4" "7/c[text()='seven']", "c7"}, {"/a/b/item\xA4" "7/sub/entry\xA4" "2/d", "d2"},
        {"/a/b/item\xA4" "5/sub/entry\xA4" "2/d", "(none)"},  // entry 2 is under item 7 only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        pugi::xml_node node = doc.Dom().first_child();  // must be overwritten, also with none
        modXML::FindNode(doc, node, c.path);
        EXPECT_EQ(Mark(node), c.mark);
    }
}

TEST_F(Paths, BadPathsRaiseTheirErrorNamingThePath) {
    Load(Items);
    const struct { const char* path; std::int32_t number; } cases[] = {
        {"/a/t/@x", ErrorNumber::XmlNotAnElement},       {"/a/t/text()", ErrorNumber::XmlNotAnElement},
        {"/", ErrorNumber::XmlNotAnElement},             {"/a/b/item\xA4" "7/@m", ErrorNumber::XmlNotAnElement},
        {"/a/b[", ErrorNumber::XmlQueryRejected},        {"count(/a)", ErrorNumber::XmlQueryRejected},
        {"", ErrorNumber::XmlQueryRejected},
        // A key holding a quote would select every item if it were let through.
        {"/a/b/item\xA4" "x' or '1'='1", ErrorNumber::XmlQueryRejected},
        {"/a/b/item\xA4" "7\xA4" "2", ErrorNumber::XmlQueryRejected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        pugi::xml_node node;
        ExpectRunError([&] { modXML::FindNode(doc, node, c.path); }, c.number, c.path);
    }
}

TEST_F(Paths, FindDeepestNodeGivesTheDeepestExistingPrefix) {
    Load(Items);
    const struct { const char* path; const char* mark; const char* prefix; } cases[] = {
        {"/a/b/x/y", "b", "/a/b"}, {"/a/b", "b", "/a/b"}, {"a/b/x", "b", "a/b"}, {"/z/y", "(none)", ""},
        {"/a/b/item\xA4" "7/x/y", "i7", "/a/b/item\xA4" "7"},
        {"/a/b/item\xA4" "7/sub/entry\xA4" "3/d", "sub", "/a/b/item\xA4" "7/sub"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string prefix = "stale";
        EXPECT_EQ(Mark(modXML::FindDeepestNode(doc, c.path, prefix)), c.mark);
        EXPECT_EQ(prefix, c.prefix);
    }
}

TEST_F(Paths, FindNodeFindsWhatCreatePathMakesForAnyNumberOfKeys) {
    const struct { const char* xml; const char* path; const char* created; } cases[] = {
        {"<a><b><item><id>5</id></item></b></a>", "/a/b/item\xA4" "7/c",
         "<a><b><item><id>5</id></item><item><id>7</id><c/></item></b></a>"},
        {"<a/>", "/a/x\xA4" "1/y\xA4" "2/z\xA4" "3", "<a><x><id>1</id><y><id>2</id><z><id>3</id></z></y></x></a>"},
        {"<a><x><id>1</id></x></a>", "/a/x\xA4" "1/y\xA4" "2", "<a><x><id>1</id><y><id>2</id></y></x></a>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Load(c.xml);
        std::string prefix;
        pugi::xml_node parent = modXML::FindDeepestNode(doc, c.path, prefix);
        modXML::CreatePath(doc, parent, c.path, prefix);
        EXPECT_EQ(doc.Xml(), c.created);
        pugi::xml_node found;
        modXML::FindNode(doc, found, c.path);
        EXPECT_EQ(found, parent);
    }
}

TEST_F(Paths, CreatePathChecksEveryStepBeforeCreatingAny) {
    const struct { const char* path; std::int32_t number; } cases[] = {
        {"/a/b/c[@x='1']", ErrorNumber::XmlInvalidName}, {"/a/b/ok/*", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/\xD7", ErrorNumber::XmlInvalidName},  // the multiplication sign is no letter
        {"/a/b/ok/\xA4" "2", ErrorNumber::XmlInvalidName}, {"/a/b/ok/item\xA4" "\x01", ErrorNumber::XmlEncodingError},
        {"/z/y", ErrorNumber::XmlNothingToCreateUnder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Load("<a><b/></a>");
        std::string prefix;
        pugi::xml_node parent = modXML::FindDeepestNode(doc, c.path, prefix);
        ExpectRunError([&] { modXML::CreatePath(doc, parent, c.path, prefix); }, c.number, c.path);
        EXPECT_EQ(doc.Xml(), "<a><b/></a>");
    }
}

// Key separators are not interpreted here: a keyed path finds nothing. Read as
// Latin-1, a character beyond it is a question mark.
TEST_F(Paths, GetNodeValueReadsTextOrAttribute) {
    Load("<r><zero>0</zero><empty></empty><mixed>a<b>b</b><![CDATA[c]]><!--no--></mixed><s x='v'/>"
         "<item><id>1</id></item><euro>\xE2\x82\xAC" "5</euro></r>");
    const struct { const char* path; const char* attribute; const char* value; } cases[] = {
        {"/r/zero", "", "0"},  {"/r/empty", "", ""}, {"/r/missing", "", ""},       {"/r/mixed", "", "abc"},
        {"/r/s", "x", "v"},    {"/r/s", "y", ""},    {"/r/item\xA4" "1", "", ""}, {"/r/euro", "", "?5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.attribute);
        EXPECT_EQ(modXML::GetNodeValue(doc, c.path, c.attribute), c.value);
    }
}

TEST_F(Paths, NothingWorksWithoutALoadedDocument) {
    kestrune::test::TempDir dir;
    pugi::xml_node node;
    std::string prefix;
    const std::function<void()> actions[] = {
        [&] { modXML::FindNode(doc, node, "/a"); },     [&] { modXML::FindDeepestNode(doc, "/a", prefix); },
        [&] { modXML::CreatePath(doc, node, "/a", ""); }, [&] { modXML::GetNodeValue(doc, "/a", ""); },
        [&] { modXML::ApplyFixEntry(doc, "/a", "", "1", "Fix 0"); },
        [&] { doc.Xml(); },                               [&] { doc.Save(dir / "out.xml"); },
    };
    for (const auto& action : actions) ExpectRunError(action, ErrorNumber::XmlNoDocument);
    EXPECT_TRUE(kestrune::test::ListFolder(dir.path()).empty());
}

// SelectSingleNode walks the tree itself for plain paths; on random trees and
// random paths, plain or not, it must pick what the XPath engine picks.
TEST(SelectSingleNode, AgreesWithTheXPathEngineOnRandomTreesAndPaths) {
    std::mt19937 random(2024);
    const auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    const std::vector<std::string> names = {"a", "b", "Tbl", "Row", "DM", "x.y", "id", "text"};
    const std::vector<std::string> attributes = {"name", "No", "val", "xmlns", "n-1"};
    const std::vector<std::string> values = {"1", "2", "k", "", "two words", "\xC3\xA9"};

    for (int round = 0; round < 200; ++round) {
        pugi::xml_document dom;
        std::vector<pugi::xml_node> elements;
        pugi::xml_node root = dom.append_child(pugi::node_element);
        root.set_name(pick(names).c_str());
        elements.push_back(root);
        for (int n = 0; n < 60; ++n) {
            pugi::xml_node parent = elements[random() % elements.size()];
            const unsigned kind = random() % 10;
            if (kind == 0) {
                parent.append_child(pugi::node_pcdata).set_value(pick(values).c_str());
            } else if (kind == 1) {
                parent.append_child(pugi::node_cdata).set_value(pick(values).c_str());
            } else if (kind == 2) {
                parent.append_child(pugi::node_comment).set_value("c");
            } else {
                pugi::xml_node e = parent.append_child(pugi::node_element);
                e.set_name(pick(names).c_str());
                // Repeated attribute names too: for the engine only the first of them counts.
                for (unsigned k = random() % 3; k > 0; --k) {
                    e.append_attribute(pick(attributes).c_str()).set_value(pick(values).c_str());
                }
                elements.push_back(e);
            }
        }

        for (int q = 0; q < 40; ++q) {
            // Mostly the chain of names down to an existing element, with
            // conditions its elements meet or nearly meet, so that many paths
            // match and several candidates compete for the first place.
            const pugi::xml_node target = elements[random() % elements.size()];
            std::vector<pugi::xml_node> chain;
            for (pugi::xml_node n = target; n.type() == pugi::node_element; n = n.parent()) chain.insert(chain.begin(), n);
            const std::size_t from = random() % 3 == 0 ? random() % chain.size() : 0;
            const pugi::xml_node context = from == 0 ? pugi::xml_node(dom) : chain[from - 1];
            std::string path = from == 0 && random() % 2 ? "/" : "";
            for (std::size_t s = from; s < chain.size(); ++s) {
                if (s > from) path += "/";
                path += random() % 6 == 0 ? pick(names) : std::string(chain[s].name());
                for (unsigned c = random() % 3 == 0 ? 1 + random() % 2 : 0; c > 0; --c) {
                    const std::string quote = random() % 2 ? "'" : "\"";
                    const pugi::xml_attribute own = chain[s].first_attribute();
                    if (random() % 8 == 0) {
                        path += "[text()=" + quote + pick(values) + quote + "]";
                    } else if (own && random() % 5 != 0) {
                        path += "[@" + std::string(own.name()) + "=" + quote + own.value() + quote + "]";
                    } else {
                        path += "[@" + pick(attributes) + "=" + quote + pick(values) + quote + "]";
                    }
                }
            }
            // Now and then a form outside the plain one: the engine answers those.
            switch (random() % 8) {
            case 0: path.insert(path.find('/') == std::string::npos ? 0 : path.find('/'), "/"); break;
            case 1: path += "[1]"; break;
            case 2: path += "/*"; break;
            default: break;
            }
            SCOPED_TRACE(path);
            pugi::xpath_node expected;
            try {
                expected = pugi::xpath_query(path.c_str()).evaluate_node(pugi::xpath_node(context));
            } catch (const pugi::xpath_exception&) {
                continue;
            }
            // Paths are byte strings: convert the UTF-8 test values back.
            const std::string bytes = modXML::detail::FromTree(path.c_str());
            if (modXML::detail::ToTree(bytes) != path) continue;
            ASSERT_EQ(modXML::SelectSingleNode(context, bytes), expected);
        }
    }
}
