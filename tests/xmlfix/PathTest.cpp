#include "XmlFixTestSupport.h"

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
        kestrune::test::ExpectRunError([&] { modXML::FindNode(doc, node, c.path); }, c.number, c.path);
    }
}

// A deleted element leaves the index kept of its parent's many children.
TEST_F(Paths, ADeletedElementIsFoundNoMore) {
    std::string xml = "<r>";
    for (int n = 0; n < 40; ++n) xml += "<item k='" + std::to_string(n) + "'>" + std::to_string(n) + "</item>";
    Load(xml + "</r>");
    modXML::ApplyFixEntry(doc, "/r/item[@k='5']", "", "\xA4", "Fix 0");
    EXPECT_EQ(modXML::GetNodeValue(doc, "/r/item[@k='5']", ""), "");
}
