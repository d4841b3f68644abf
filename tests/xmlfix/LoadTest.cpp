#include "XmlFixTestSupport.h"

using kestrune::test::ExpectRunError;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) open += "<a>", close += "</a>";
    return open + close;
}

}  // namespace

using LoadConfigXML = XmlFixTest;

// A second load keeps nothing of the first.
TEST_F(LoadConfigXML, WellFormedInputLoadsWithExactlyTheSuccessLine) {
    kestrune::test::TempDir dir;
    kestrune::test::WriteFile(dir / "router.xml", "<config>\r\n<a>x</a>\r\n</config>\r\n");
    Load("<config><first>1</first></config>");
    EXPECT_TRUE(modXML::LoadConfigXML(doc, dir / "router.xml", false, ui));
    EXPECT_EQ(modGen::ReportLog, "Successfully loaded XML\r\n");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(doc.Xml(), "<config>\r\n<a>x</a>\r\n</config>\r\n");
    EXPECT_TRUE(modXML::LoadConfigXML(doc, Nested(1000), true, ui)) << "exactly the nesting limit";
    ExpectRunError([&] { modXML::LoadConfigXML(doc, dir / "absent.xml", false, ui); }, ErrorNumber::FileNotFound);
    EXPECT_FALSE(doc.IsLoaded());
}

// The position counts input bytes: after a byte order mark, and for Latin-1
// one byte per character although the tree holds UTF-8.
TEST_F(LoadConfigXML, MalformedTextIsReportedWithReasonAndInputPosition) {
    const struct { const char* fault; std::string xml; const char* reason; std::size_t position; } cases[] = {
        {"empty text", "", "No document element found", 0},
        {"end tag of the wrong element", "<a><b></a>", "Start-end tags mismatch", 8},
        {"mismatch after a byte order mark", "\xEF\xBB\xBF<a></b>", "Start-end tags mismatch", 8},
        {"mismatch after Latin-1 letters", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9\xE9</b>",
         "Start-end tags mismatch", 50},
        {"UTF-16 with an odd byte count", std::string("\xFF\xFE<\0a\0/\0>\0!", 11),
         "Incomplete UTF-16 character at the end", 10},
        {"nesting deeper than 1000 levels", Nested(1001), "Elements nested deeper than 1000 levels", 3000},
        {"an encoding that could not be written back", "<?xml version='1.0' encoding='ISO-8859-15'?><a>\xA4</a>",
         "Unsupported encoding \"ISO-8859-15\" declared; only UTF-8, UTF-16, UTF-32, ISO-8859-1 and windows-1252 "
         "can be fixed",
         30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Load("<ok/>");
        ui.messages.clear();
        EXPECT_FALSE(modXML::LoadConfigXML(doc, c.xml, true, ui));
        const std::string failure =
            std::string("XML load failed\r\n") + c.reason + "\r\nAt position " + std::to_string(c.position);
        EXPECT_EQ(modGen::ReportLog, failure + "\r\n");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, failure);
        EXPECT_EQ(ui.messages[0].icon, kestrune::MessageIcon::Critical);
        EXPECT_EQ(ui.messages[0].title, "Kestrune");
        ExpectRunError([&] { doc.Xml(); }, ErrorNumber::XmlNoDocument);
    }
}
