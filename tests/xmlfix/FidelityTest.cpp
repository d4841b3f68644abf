#include "XmlFixTestSupport.h"

#include <filesystem>

using kestrune::test::CorpusDir;
using kestrune::test::ErrorOf;
using kestrune::test::TempDir;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

std::vector<std::filesystem::path> XmlFilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".xml") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// ASCII text as UTF-16 or UTF-32 code units of the given width and order.
std::string Widen(const std::string& ascii, std::size_t width, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        std::string unit(width, '\0');
        unit[bigEndian ? width - 1 : 0] = c;
        out += unit;
    }
    return out;
}

}  // namespace

using Fidelity = XmlFixTest;

TEST_F(Fidelity, EveryCorpusFileComesBackByteForByte) {
    const auto corpus = CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "the router corpus is not beside the project";
    TempDir dir;
    const auto files = XmlFilesIn(corpus);
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string bytes = kestrune::test::ReadFile(file.string());
        ASSERT_TRUE(modXML::LoadConfigXML(doc, file.string(), false, ui));
        EXPECT_TRUE(doc.KeepsSourceLayout());
        EXPECT_TRUE(doc.Xml() == bytes);
        doc.Save(dir / "saved.xml");
        EXPECT_TRUE(kestrune::test::ReadFile(dir / "saved.xml") == bytes);
    }
}

TEST_F(Fidelity, EverySampleComesBackByteForByte) {
    const auto files = XmlFilesIn(kestrune::test::SourceDir() / "samples");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_TRUE(modXML::LoadConfigXML(doc, file.string(), false, ui));
        EXPECT_TRUE(doc.KeepsSourceLayout());
        EXPECT_EQ(doc.Xml(), kestrune::test::ReadFile(file.string()));
    }
}

TEST_F(Fidelity, UnusualButValidConstructsComeBackByteForByte) {
    const struct {
        const char* construct;
        std::string xml;
    } cases[] = {
        {"declaration in single quotes, CR LF", "<?xml version='1.0' standalone='yes' ?>\r\n<a>\r\n</a>\r\n"},
        {"comment, processing instruction, doctype", "<!-- c - d -->\n<?pi data?>\n<!DOCTYPE a [\n<!ELEMENT a ANY>\n"
                                                     "<!ATTLIST a x CDATA \"v>w\">\n<!-- ] > -->\n]>\n<a/>\n"},
        {"empty element written with an end tag", "<a><b></b><c/><d /></a>"},
        {"attribute spacing and quotes", "<a x = '1'\n   y=\"2\"\tz='\"'/>"},
        {"references in text", "<a>&#13;&#x20;&lt;&gt;&amp;&quot;&apos;&custom;</a>"},
        {"references in attributes", "<a x='&#10;&#9;&quot;&lt;' y=\"&apos;\"/>"},
        {"CDATA with brackets", "<a><![CDATA[x]y]]z<&>]]></a>"},
        {"end tag with space", "<a><b>t</b  ></a\n>"},
        {"text and space after the root", "<a/>\n\n  trailing\n"},
        {"byte order mark", "\xEF\xBB\xBF<a>\xC3\xA9</a>"},
        {"Latin-1 declared", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><a x='\xE9'>\xFF\xA4</a>"},
        {"Windows-1252 declared", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x80\x99</a>"},
        {"undeclared bytes that are not UTF-8", "<a>caf\xE9</a>"},
        {"UTF-16LE with mark", "\xFF\xFE" + Widen("<a x='1'>t</a>\r\n", 2, false)},
        {"UTF-16BE without mark", Widen("<?xml version='1.0' encoding='UTF-16'?><a/>", 2, true)},
        {"UTF-32LE with mark", std::string("\xFF\xFE\0\0", 4) + Widen("<a>t</a>", 4, false)},
        {"UTF-16 surrogate pair and lone surrogate",
         std::string("\xFF\xFE", 2) + Widen("<a>", 2, false) + std::string("\x3D\xD8\x00\xDE\x00\xD8", 6) +
             Widen("</a>", 2, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.construct);
        ASSERT_TRUE(modXML::LoadConfigXML(doc, c.xml, true, ui)) << ui.messages.back().text;
        EXPECT_TRUE(doc.KeepsSourceLayout());
        EXPECT_EQ(doc.Xml(), c.xml);
    }
}

TEST_F(Fidelity, AChangeRewritesOnlyWhatItTouches) {
    const struct {
        const char* change;
        const char* xml;
        const char* path;
        const char* attribute;
        const char* value;
        const char* expected;
    } cases[] = {
        {"attribute value keeps spacing and quotes", "<r>\n  <e  a = 'x'\n     b = \"y\" />\n</r>", "/r/e", "b", "new",
         "<r>\n  <e  a = 'x'\n     b = \"new\" />\n</r>"},
        {"new value in single quotes", "<r><e a='x'/></r>", "/r/e", "a", "it's \"so\"",
         "<r><e a='it&apos;s \"so\"'/></r>"},
        {"new attribute goes last", "<r><e a=\"1\" /></r>", "/r/e", "c", "v", "<r><e a=\"1\" c=\"v\" /></r>"},
        {"attribute removed", "<r><e a=\"1\"  b='2'/></r>", "/r/e", "a", "\xA4", "<r><e  b='2'/></r>"},
        {"text replaced", "<r>\r\n<a>old</a>\r\n<b>keep</b>\r\n</r>", "/r/a", "", "new",
         "<r>\r\n<a>new</a>\r\n<b>keep</b>\r\n</r>"},
        {"text into a self-closing element", "<r><a /></r>", "/r/a", "", "v", "<r><a>v</a></r>"},
        {"text cleared", "<r><a>x</a></r>", "/r/a", "", "\xA5", "<r><a></a></r>"},
        {"text escaped", "<r><a/></r>", "/r/a", "", "a<b&c>\"d'\r", "<r><a>a&lt;b&amp;c&gt;\"d'&#13;</a></r>"},
        {"attribute escaped", "<r><a/></r>", "/r/a", "x", "<&>\"\t\n\r",
         "<r><a x=\"&lt;&amp;&gt;&quot;&#9;&#10;&#13;\"/></r>"},
        {"element deleted, its neighbours stay", "<r>\n  <a><x/></a>\n  <b/>\n</r>", "/r/a", "", "\xA4",
         "<r>\n  \n  <b/>\n</r>"},
        {"path created", "<r>\n</r>", "/r/x/y", "", "v", "<r>\n<x><y>v</y></x></r>"},
        {"keyed path created", "<r><items/></r>", "/r/items/item\xA4" "7/c", "", "v",
         "<r><items><item><id>7</id><c>v</c></item></items></r>"},
        {"Latin-1 value into a UTF-8 document", "<r><a>caf\xC3\xA9</a><b>x</b></r>", "/r/b", "", "\xE9t\xE9",
         "<r><a>caf\xC3\xA9</a><b>\xC3\xA9t\xC3\xA9</b></r>"},
        {"Latin-1 value into a Latin-1 document",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r><a>caf\xE9</a><b>x</b></r>", "/r/b", "", "\xE9t\xE9",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r><a>caf\xE9</a><b>\xE9t\xE9</b></r>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Load(c.xml);
        modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 0");
        EXPECT_EQ(doc.Xml(), c.expected);
    }
}

TEST_F(Fidelity, AUtf16DocumentStaysUtf16ThroughAChange) {
    Load("\xFF\xFE" + Widen("<r>\r\n<a>x</a>\r\n</r>", 2, false));
    modXML::ApplyFixEntry(doc, "/r/a", "", "\xE9", "Fix 0");
    EXPECT_EQ(doc.Xml(), "\xFF\xFE" + Widen("<r>\r\n<a>", 2, false) + std::string("\xE9\0", 2) +
                             Widen("</a>\r\n</r>", 2, false));
}

TEST_F(Fidelity, WrittenValuesReadBackUnderAStandardParser) {
    const std::string values[] = {
        "plain", "a<b&c>d", "quote\" apostrophe'", "tab\tline\nreturn\r", "]]>", "&amp; stays text",
        "\xE9\xFF\xA4\xA5", " spaces ",
    };
    for (const auto& value : values) {
        SCOPED_TRACE(value);
        Load("<r><a/></r>");
        modXML::ApplyFixEntry(doc, "/r/a", "", value, "Fix 0");
        modXML::ApplyFixEntry(doc, "/r/a", "v", value, "Fix 1");
        const std::string utf8 = doc.Xml();

        // The default options normalise line ends and attribute white space,
        // as any conforming parser does.
        pugi::xml_document independent;
        ASSERT_TRUE(independent.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8));
        const pugi::xml_node a = independent.child("r").child("a");
        std::string expected;
        for (char ch : value) {
            const auto b = static_cast<unsigned char>(ch);
            if (b < 0x80) {
                expected.push_back(ch);
            } else {
                expected.push_back(static_cast<char>(0xC0 | (b >> 6)));
                expected.push_back(static_cast<char>(0x80 | (b & 0x3F)));
            }
        }
        EXPECT_EQ(std::string(a.text().get()), expected);
        EXPECT_EQ(std::string(a.attribute("v").value()), expected);
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

TEST_F(Fidelity, CharactersBeyondLatin1ReadAsQuestionMarksAndKeepTheirBytes) {
    Load("<r><a>\xE2\x82\xAC" "5</a><b/></r>");
    EXPECT_EQ(modXML::GetNodeValue(doc, "/r/a", ""), "?5");
    modXML::ApplyFixEntry(doc, "/r/b", "", "1", "Fix 0");
    EXPECT_EQ(doc.Xml(), "<r><a>\xE2\x82\xAC" "5</a><b>1</b></r>");
}

TEST_F(Fidelity, TreesDeeperThanTheMappedLayoutStillSerialise) {
    Load("<r/>");
    pugi::xml_node n = doc.Dom().child("r");
    for (int i = 0; i < 1100; ++i) n = n.append_child("n");
    modXML::SetElementText(n, "deep");
    std::string expected = "<r>";
    for (int i = 0; i < 1100; ++i) expected += "<n>";
    expected += "deep";
    for (int i = 0; i < 1100; ++i) expected += "</n>";
    expected += "</r>";
    EXPECT_EQ(doc.Xml(), expected);
}

TEST_F(Fidelity, NothingIsWrittenWithoutADocument) {
    TempDir dir;
    for (const auto& action : {std::function<void()>([&] { doc.Xml(); }),
                               std::function<void()>([&] { doc.Save(dir / "out.xml"); })}) {
        const auto error = ErrorOf(action);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), ErrorNumber::XmlNoDocument);
    }
    EXPECT_TRUE(kestrune::test::ListFolder(dir.path()).empty());
}
