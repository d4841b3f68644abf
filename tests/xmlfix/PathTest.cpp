#include "XmlFixTestSupport.h"
#include "xmlfix/Tree.h"

#include <random>
#include <string>
#include <vector>

using kestrune::test::ErrorOf;
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
    "    <item m='i9'><id>9</id><c m='c9'/></item>\n"
    "  </b>\n"
    "  <other><item m='o7'><id>7</id></item></other>\n"
    "  <t m='t' x='1'>text<u m='u'>more</u></t>\n"
    "</a>\n";

std::string Mark(const pugi::xml_node& node) { return node ? node.attribute("m").value() : "(none)"; }

}  // namespace

using Paths = XmlFixTest;

TEST_F(Paths, FindNodeResolvesPlainAndKeyedSteps) {
    Load(Items);
    const struct {
        const char* path;
        const char* mark;
    } cases[] = {
        {"/a/b/item\xA4" "7/c", "c7"},
        {"/a/b/item\xA4" "8/c", "(none)"},  // other items have a c, but none has the key
        {"/a/b/item\xA4" "7", "i7"},
        {"/a/b/item\xA4" "9/c", "c9"},
        {"/a/missing", "(none)"},
        {"/a/b/item[2]/c", "c7"},
        {"/a/*[@x='1']/u", "u"},
        {"/DB/Tbl[@name='x']/Row[@No='0']/DM[@name='y']", "(none)"},
        {"//item\xA4" "7", "i7"},  // the first id with the key in document order decides
        {"a/b/item\xA4" "7/c", "c7"},
        {"/a/b/item\xA4" "7/c[text()='seven']", "c7"},
        {"/a/b/item\xA4" "7/sub/entry\xA4" "2/d", "d2"},
        {"/a/b/item\xA4" "7/sub/entry\xA4" "2", "e2"},
        {"/a/b/item\xA4" "7/sub/entry\xA4" "3/d", "(none)"},
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
    const struct {
        const char* path;
        std::int32_t number;
    } cases[] = {
        {"/a/t/@x", ErrorNumber::XmlNotAnElement},
        {"/a/t/text()", ErrorNumber::XmlNotAnElement},
        {"/a/t/u/text()", ErrorNumber::XmlNotAnElement},
        {"/", ErrorNumber::XmlNotAnElement},
        {"/a/b/item\xA4" "7/@m", ErrorNumber::XmlNotAnElement},
        {"/a/b[", ErrorNumber::XmlQueryRejected},
        {"count(/a)", ErrorNumber::XmlQueryRejected},
        {"", ErrorNumber::XmlQueryRejected},
        {"/a/b/item\xA4" "7'/c", ErrorNumber::XmlQueryRejected},
        // Would select every item if the quote were let through.
        {"/a/b/item\xA4" "x' or '1'='1", ErrorNumber::XmlQueryRejected},
        {"/a/b/item\xA4" "7\xA4" "2", ErrorNumber::XmlQueryRejected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        pugi::xml_node node;
        const auto error = ErrorOf([&] { modXML::FindNode(doc, node, c.path); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), c.number);
        EXPECT_NE(error->description().find(c.path), std::string::npos) << error->description();
    }
}

TEST_F(Paths, FindDeepestNodeGivesTheDeepestExistingPrefix) {
    Load(Items);
    const struct {
        const char* path;
        const char* mark;
        const char* prefix;
    } cases[] = {
        {"/a/b/x/y", "b", "/a/b"},
        {"/a/b/item\xA4" "7/x/y", "i7", "/a/b/item\xA4" "7"},
        {"/a/b/item\xA4" "8/c", "b", "/a/b"},
        {"/a/b/item\xA4" "7/sub/entry\xA4" "3/d", "sub", "/a/b/item\xA4" "7/sub"},
        {"/a/b", "b", "/a/b"},
        {"a/b/x", "b", "a/b"},
        {"/z/y", "(none)", ""},
        {"z", "(none)", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string prefix = "stale";
        EXPECT_EQ(Mark(modXML::FindDeepestNode(doc, c.path, prefix)), c.mark);
        EXPECT_EQ(prefix, c.prefix);
    }
}

TEST_F(Paths, FindNodeFindsWhatCreatePathMakesForAnyNumberOfKeys) {
    const struct {
        const char* xml;
        const char* path;
        const char* created;
    } cases[] = {
        {"<a><b><item><id>5</id></item></b></a>", "/a/b/item\xA4" "7/c",
         "<a><b><item><id>5</id></item><item><id>7</id><c/></item></b></a>"},
        {"<a><b/></a>", "/a/b/item\xA4" "7/sub/entry\xA4" "2/d",
         "<a><b><item><id>7</id><sub><entry><id>2</id><d/></entry></sub></item></b></a>"},
        {"<a/>", "/a/x\xA4" "1/y\xA4" "2/z\xA4" "3",
         "<a><x><id>1</id><y><id>2</id><z><id>3</id></z></y></x></a>"},
        {"<a><x><id>1</id></x></a>", "/a/x\xA4" "1/y\xA4" "2",
         "<a><x><id>1</id><y><id>2</id></y></x></a>"},
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
    const struct {
        const char* path;
        std::int32_t number;
    } cases[] = {
        {"/a/b/c[@x='1']", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/n[1]", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/*", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/..", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/text()", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/\xD7", ErrorNumber::XmlInvalidName},  // the multiplication sign is no letter
        {"/a/b/ok/\xA4" "2", ErrorNumber::XmlInvalidName},
        {"/a/b/ok/item\xA4" "\x01", ErrorNumber::XmlEncodingError},
        {"/z/y", ErrorNumber::XmlNothingToCreateUnder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Load("<a><b/></a>");
        std::string prefix;
        pugi::xml_node parent = modXML::FindDeepestNode(doc, c.path, prefix);
        const auto error = ErrorOf([&] { modXML::CreatePath(doc, parent, c.path, prefix); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), c.number);
        EXPECT_NE(error->description().find(c.path), std::string::npos) << error->description();
        EXPECT_EQ(doc.Xml(), "<a><b/></a>");
    }
}

TEST_F(Paths, GetNodeValueReadsTextOrAttribute) {
    Load("<config><modules><ap><settings>"
         "<privacy_type>0</privacy_type><wep_privacy></wep_privacy>"
         "<mixed>a<b>b</b><![CDATA[c]]><!--no--></mixed><s x='v' e=''/><item><id>1</id></item>"
         "</settings></ap></modules></config>");
    const struct {
        const char* path;
        const char* attribute;
        const char* value;
    } cases[] = {
        {"/config/modules/ap/settings/privacy_type", "", "0"},
        {"/config/modules/ap/settings/wep_privacy", "", ""},
        {"/config/modules/ap/settings/missing", "", ""},
        {"/config/modules/ap/settings/mixed", "", "abc"},
        {"/config/modules/ap/settings/s", "x", "v"},
        {"/config/modules/ap/settings/s", "e", ""},
        {"/config/modules/ap/settings/s", "absent", ""},
        {"/config/modules/ap/settings/missing", "x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.attribute);
        EXPECT_EQ(modXML::GetNodeValue(doc, c.path, c.attribute), c.value);
    }
    // Key separators are not interpreted here: the keyed item is not found.
    const std::string keyed = "/config/modules/ap/settings/item\xA4" "1";
    pugi::xml_node item;
    modXML::FindNode(doc, item, keyed);
    ASSERT_TRUE(item);
    EXPECT_EQ(modXML::GetNodeValue(doc, keyed, ""), "");
}

TEST_F(Paths, TheWirelessCheckOfTheSamplesJoinsTheTwoTexts) {
    const struct {
        const char* sample;
        const char* joined;
    } cases[] = {{"router.xml", "00"}, {"router-wpa.xml", "10"}, {"router-no-wireless.xml", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        ASSERT_TRUE(modXML::LoadConfigXML(doc, (kestrune::test::SourceDir() / "samples" / c.sample).string(), false, ui));
        EXPECT_EQ(modXML::GetNodeValue(doc, "/config/modules/ap/settings/privacy_type", "") +
                      modXML::GetNodeValue(doc, "/config/modules/ap/settings/wep_privacy", ""),
                  c.joined);
    }
}

TEST_F(Paths, EveryOperationNeedsALoadedDocument) {
    pugi::xml_node node;
    std::string prefix;
    const std::function<void()> actions[] = {
        [&] { modXML::FindNode(doc, node, "/a"); },
        [&] { modXML::FindDeepestNode(doc, "/a", prefix); },
        [&] { modXML::CreatePath(doc, node, "/a", ""); },
        [&] { modXML::GetNodeValue(doc, "/a", ""); },
        [&] { modXML::ApplyFixEntry(doc, "/a", "", "1", "Fix 0"); },
    };
    for (const auto& action : actions) {
        const auto error = ErrorOf(action);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), ErrorNumber::XmlNoDocument);
    }
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
