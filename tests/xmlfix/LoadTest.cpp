#include "XmlFixTestSupport.h"

using kestrune::MessageIcon;
using kestrune::RunError;
using kestrune::test::ErrorOf;
using kestrune::test::TempDir;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

std::string Nested(int depth) { return Repeat("<a>", depth) + Repeat("</a>", depth); }

}  // namespace

using LoadConfigXML = XmlFixTest;

TEST_F(LoadConfigXML, AWellFormedTextAddsExactlyTheSuccessLine) {
    EXPECT_TRUE(modXML::LoadConfigXML(doc, "<config><a>1</a></config>", true, ui));
    EXPECT_EQ(modGen::ReportLog, "Successfully loaded XML\r\n");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(doc.IsLoaded());
    EXPECT_EQ(modXML::GetNodeValue(doc, "/config/a", ""), "1");
}

TEST_F(LoadConfigXML, AFileIsReadWhole) {
    TempDir dir;
    kestrune::test::WriteFile(dir / "router.xml", "<config>\r\n<a>x</a>\r\n</config>\r\n");
    EXPECT_TRUE(modXML::LoadConfigXML(doc, dir / "router.xml", false, ui));
    EXPECT_EQ(modGen::ReportLog, "Successfully loaded XML\r\n");
    EXPECT_EQ(doc.Xml(), "<config>\r\n<a>x</a>\r\n</config>\r\n");
}

TEST_F(LoadConfigXML, MalformedTextIsReportedWithReasonAndInputPosition) {
    const struct {
        const char* fault;
        std::string xml;
        const char* reason;
        std::size_t position;
    } cases[] = {
        {"empty text", "", "No document element found", 0},
        {"text without markup", "text only", "No document element found", 9},
        {"end tag of the wrong element", "<a><b></a>", "Start-end tags mismatch", 8},
        {"element never closed", "<a>", "Start-end tags mismatch", 2},
        {"attribute value without quotes", "<a x=1/>", "Error parsing element attribute", 5},
        {"attributes not separated", "<a x='1'y='2'/>", "Error parsing element attribute", 8},
        {"comment never closed", "<a><!-- x </a>", "Error parsing comment", 13},
        {"CDATA never closed", "<a><![CDATA[x</a>", "Error parsing CDATA section", 16},
        {"declaration never closed", "<?xml version='1.0'", "Error parsing document declaration/processing instruction",
         18},
        {"doctype never closed", "<!DOCTYPE a [ <a/>", "Error parsing document type declaration", 14},
        {"name starting with a digit", "<1a/>", "Could not determine tag type", 1},
        {"control character in a tag", "<a\x01/>", "Error parsing start element tag", 3},
        {"attribute in an end tag", "<a></a x>", "Error parsing end element tag", 7},
        {"doctype inside an element", "<a><!DOCTYPE x></a>", "Error parsing document type declaration", 3},
        // The position counts input bytes: after a byte order mark, and
        // for Latin-1 one byte per character although the tree holds UTF-8.
        {"mismatch after a byte order mark", "\xEF\xBB\xBF<a></b>", "Start-end tags mismatch", 8},
        {"mismatch after Latin-1 letters", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9\xE9</b>",
         "Start-end tags mismatch", 50},
        {"UTF-16 with an odd byte count", std::string("\xFF\xFE<\0a\0/\0>\0!", 11),
         "Incomplete UTF-16 character at the end", 10},
        {"nesting deeper than 1000 levels", Nested(1001), "Elements nested deeper than 1000 levels", 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        modGen::ReportLog.clear();
        ui.messages.clear();
        ASSERT_TRUE(modXML::LoadConfigXML(doc, "<ok/>", true, ui));
        modGen::ReportLog.clear();

        EXPECT_FALSE(modXML::LoadConfigXML(doc, c.xml, true, ui));
        const std::string failure =
            std::string("XML load failed\r\n") + c.reason + "\r\nAt position " + std::to_string(c.position);
        EXPECT_EQ(modGen::ReportLog, failure + "\r\n");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, failure);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
        EXPECT_EQ(ui.messages[0].title, "Kestrune");
        EXPECT_FALSE(doc.IsLoaded());
        const auto error = ErrorOf([&] { doc.Xml(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), ErrorNumber::XmlNoDocument);
    }
}

TEST_F(LoadConfigXML, NestingOfExactlyTheLimitLoads) {
    EXPECT_TRUE(modXML::LoadConfigXML(doc, Nested(1000), true, ui));
    EXPECT_EQ(doc.Xml(), Nested(1000));
}

TEST_F(LoadConfigXML, AMalformedFileIsReportedAndLeftAsItWas) {
    TempDir dir;
    const std::string bytes = "<config>\n<a>1</b>\n</config>\n";
    kestrune::test::WriteFile(dir / "router.xml", bytes);
    EXPECT_FALSE(modXML::LoadConfigXML(doc, dir / "router.xml", false, ui));
    EXPECT_EQ(modGen::ReportLog, "XML load failed\r\nStart-end tags mismatch\r\nAt position 15\r\n");
    EXPECT_EQ(kestrune::test::ReadFile(dir / "router.xml"), bytes);
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()), std::vector<std::string>{"router.xml"});
}

TEST_F(LoadConfigXML, AMissingFileRaisesFileNotFoundAndLeavesNoDocument) {
    TempDir dir;
    Load("<old/>");
    const auto error = ErrorOf([&] { modXML::LoadConfigXML(doc, dir / "absent.xml", false, ui); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), ErrorNumber::FileNotFound);
    EXPECT_FALSE(doc.IsLoaded());
    EXPECT_EQ(modGen::ReportLog, "");
}

TEST_F(LoadConfigXML, ASecondLoadKeepsNothingOfTheFirst) {
    Load("<config><first>1</first></config>");
    modXML::ApplyFixEntry(doc, "/config/added", "", "x", "Fix 0");
    Load("<config><second>2</second></config>");
    EXPECT_EQ(modXML::GetNodeValue(doc, "/config/first", ""), "");
    EXPECT_EQ(modXML::GetNodeValue(doc, "/config/added", ""), "");
    EXPECT_EQ(modXML::GetNodeValue(doc, "/config/second", ""), "2");
    EXPECT_EQ(doc.Xml(), "<config><second>2</second></config>");
}

TEST_F(LoadConfigXML, EntitiesDeclaredInTheDoctypeAreNeverExpanded) {
    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        const std::string previous = level == 1 ? "lol" : "lol" + std::to_string(level - 1);
        bomb += " <!ENTITY lol" + std::to_string(level) + " \"" + Repeat("&" + previous + ";", 10) + "\">\n";
    }
    bomb += "]>\n<lolz>&lol9;</lolz>\n";
    ASSERT_TRUE(modXML::LoadConfigXML(doc, bomb, true, ui));
    EXPECT_EQ(modXML::GetNodeValue(doc, "/lolz", ""), "&lol9;");
    EXPECT_EQ(doc.Xml(), bomb);
}

TEST_F(LoadConfigXML, ExternalEntitiesAreNeverFetched) {
    TempDir dir;
    kestrune::test::WriteFile(dir / "secret.txt", "the secret");
    const std::string xml = "<!DOCTYPE config [<!ENTITY xxe SYSTEM \"file://" + (dir / "secret.txt") +
                            "\">]><config><a>&xxe;</a></config>";
    ASSERT_TRUE(modXML::LoadConfigXML(doc, xml, true, ui));
    EXPECT_EQ(modXML::GetNodeValue(doc, "/config/a", ""), "&xxe;");
    EXPECT_EQ(doc.Xml().find("the secret"), std::string::npos);
}
