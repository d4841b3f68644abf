#include "XmlFixTestSupport.h"

#include <filesystem>

using kestrune::test::CorpusDir;
using kestrune::test::TempDir;
using kestrune::test::XmlFixTest;

namespace {

// ASCII text as UTF-16 or UTF-32 code units of the given width and order.
std::string Widen(const std::string& ascii, std::size_t width, bool bigEndian) {
    std::string out;
    for (char c : ascii) out += bigEndian ? std::string(width - 1, '\0') + c : c + std::string(width - 1, '\0');
    return out;
}

}  // namespace

class Fidelity : public XmlFixTest {
protected:
    // Every .xml file in folder loads with its layout mapped and is saved as the very bytes it was read from.
    void ExpectFilesComeBackByteForByte(const std::filesystem::path& folder) {
        TempDir dir;
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() != ".xml") continue;
            SCOPED_TRACE(entry.path().filename().string());
            ++files;
            ASSERT_TRUE(modXML::LoadConfigXML(doc, entry.path().string(), false, ui));
            EXPECT_TRUE(doc.KeepsSourceLayout());
            doc.Save(dir / "saved.xml");
            EXPECT_TRUE(kestrune::test::ReadFile(dir / "saved.xml") == kestrune::test::ReadFile(entry.path().string()));
        }
        EXPECT_GT(files, 0);
    }
};

TEST_F(Fidelity, EverySampleComesBackByteForByte) {
    ExpectFilesComeBackByteForByte(kestrune::test::SourceDir() / "samples");
}

TEST_F(Fidelity, EveryCorpusFileComesBackByteForByte) {
    if (CorpusDir().empty()) GTEST_SKIP() << "the router corpus is not beside the project";
    ExpectFilesComeBackByteForByte(CorpusDir());
}

TEST_F(Fidelity, UnusualButValidConstructsComeBackByteForByte) {
    const struct { const char* construct; std::string xml; } cases[] = {
        {"declaration in single quotes, CR LF", "<?xml version='1.0' standalone='yes' ?>\r\n<a>\r\n</a>\r\n"},
        {"comment, processing instruction, doctype", "<!-- c - d -->\n<?pi data?>\n<!DOCTYPE a [\n<!ELEMENT a ANY>\n"
                                                     "<!ATTLIST a x CDATA \"v>w\">\n<!-- ] > -->\n]>\n<a/>\n"},
        {"empty elements, attribute spacing and quotes", "<a><b></b><c/><d x = '1'\n   y=\"2\"\tz='\"' /></a>"},
        {"references", "<a x='&#10;&#9;&quot;&lt;' y=\"&apos;\">&#13;&#x20;&lt;&gt;&amp;&quot;&apos;&custom;</a>"},
        {"CDATA with brackets", "<a><![CDATA[x]y]]z<&>]]></a>"},
        {"end tag with space, text after the root", "<a><b>t</b  ></a\n>\n\n  trailing\n"},
        {"byte order mark", "\xEF\xBB\xBF<a>\xC3\xA9</a>"},
        {"Latin-1 declared", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><a x='\xE9'>\xFF\xA4</a>"},
        {"Windows-1252 declared", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x80\x99</a>"},
        {"undeclared bytes that are not UTF-8", "<a>caf\xE9</a>"},
        {"US-ASCII declared, a part of UTF-8", "<?xml version='1.0' encoding='US-ASCII'?><a>t</a>"},
        {"UTF-16LE with mark", "\xFF\xFE" + Widen("<a x='1'>t</a>\r\n", 2, false)},
        {"UTF-16BE without mark", Widen("<?xml version='1.0' encoding='UTF-16'?><a/>", 2, true)},
        {"UTF-32LE with mark", std::string("\xFF\xFE\0\0", 4) + Widen("<a>t</a>", 4, false)},
        {"UTF-16 surrogate pair and lone surrogate",
         std::string("\xFF\xFE", 2) + Widen("<a>", 2, false) + std::string("\x3D\xD8\x00\xDE\x00\xD8", 6) +
             Widen("</a>", 2, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.construct);
        Load(c.xml);
        EXPECT_TRUE(doc.KeepsSourceLayout());
        EXPECT_EQ(doc.Xml(), c.xml);
    }
}

TEST_F(Fidelity, AChangeRewritesOnlyWhatItTouchesInTheDocumentsOwnEncoding) {
    const struct { const char* change; std::string xml; const char *path, *attribute, *value; std::string expected; }
    cases[] = {
        {"attribute value keeps spacing and quotes", "<r>\n  <e  a = 'x'\n     b = \"y\" />\n</r>", "/r/e", "b", "new",
         "<r>\n  <e  a = 'x'\n     b = \"new\" />\n</r>"},
        {"new value in single quotes", "<r><e a='x'/></r>", "/r/e", "a", "it's \"so\"",
         "<r><e a='it&apos;s \"so\"'/></r>"},
        {"attribute removed", "<r><e a=\"1\"  b='2'/></r>", "/r/e", "a", "\xA4", "<r><e  b='2'/></r>"},
        {"text replaced", "<r>\r\n<a>old</a>\r\n<b>keep</b>\r\n</r>", "/r/a", "", "new",
         "<r>\r\n<a>new</a>\r\n<b>keep</b>\r\n</r>"},
        {"text into a self-closing element", "<r><a /></r>", "/r/a", "", "v", "<r><a>v</a></r>"},
        {"text escaped", "<r><a/></r>", "/r/a", "", "a<b&c>\"d'\r", "<r><a>a&lt;b&amp;c&gt;\"d'&#13;</a></r>"},
        {"attribute escaped", "<r><a/></r>", "/r/a", "x", "<&>\"\t\n\r",
         "<r><a x=\"&lt;&amp;&gt;&quot;&#9;&#10;&#13;\"/></r>"},
        {"element deleted, its neighbours stay", "<r>\n  <a><x/></a>\n  <b/>\n</r>", "/r/a", "", "\xA4",
         "<r>\n  \n  <b/>\n</r>"},
        {"Latin-1 value into a UTF-8 document", "<r><a>caf\xC3\xA9</a><b>x</b></r>", "/r/b", "", "\xE9t\xE9",
         "<r><a>caf\xC3\xA9</a><b>\xC3\xA9t\xC3\xA9</b></r>"},
        {"Latin-1 value into a Latin-1 document",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r><a>caf\xE9</a><b>x</b></r>", "/r/b", "", "\xE9t\xE9",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r><a>caf\xE9</a><b>\xE9t\xE9</b></r>"},
        {"Latin-1 value into a UTF-16 document", "\xFF\xFE" + Widen("<r>\r\n<a>x</a>\r\n</r>", 2, false), "/r/a", "",
         "\xE9",
         "\xFF\xFE" + Widen("<r>\r\n<a>", 2, false) + std::string("\xE9\0", 2) + Widen("</a>\r\n</r>", 2, false)},
        {"characters beyond Latin-1 elsewhere", "<r><a>\xE2\x82\xAC" "5</a><b/></r>", "/r/b", "", "1",
         "<r><a>\xE2\x82\xAC" "5</a><b>1</b></r>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Load(c.xml);
        modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 0");
        EXPECT_EQ(doc.Xml(), c.expected);
    }
}

TEST_F(Fidelity, ChangesMadeDirectlyInTheTreeAreWrittenToo) {
    Load("<r>\n  <a x='1'/>\n  <b>t</b>\n</r>\n");
    pugi::xml_node r = doc.Dom().child("r");
    r.child("a").append_attribute("y").set_value("2");
    r.child("b").first_child().set_value("u");  // the same length: the parser's own buffer is reused
    r.append_child("c");
    EXPECT_EQ(doc.Xml(), "<r>\n  <a x='1' y=\"2\"/>\n  <b>u</b>\n<c/></r>\n");
}

TEST_F(Fidelity, TreesDeeperThanTheMappedLayoutStillSerialise) {
    Load("<r/>");
    pugi::xml_node n = doc.Dom().child("r");
    for (int i = 0; i < 1100; ++i) n = n.append_child("n");
    modXML::SetElementText(n, "deep");
    std::string open, close;
    for (int i = 0; i < 1100; ++i) open += "<n>", close += "</n>";
    EXPECT_EQ(doc.Xml(), "<r>" + open + "deep" + close + "</r>");
}
