#include "XmlFixTestSupport.h"

#include <functional>
#include <sstream>

using kestrune::test::XmlFixTest;

namespace {

// ASCII text as UTF-16 or UTF-32 code units of the given width and order.
std::string Widen(const std::string& ascii, std::size_t width, bool bigEndian) {
    std::string out;
    for (char c : ascii) out += bigEndian ? std::string(width - 1, '\0') + c : c + std::string(width - 1, '\0');
    return out;
}

}  // namespace

using Fidelity = XmlFixTest;

// Every .xml file loads with its layout mapped and comes back as the very bytes it was read from.
TEST_F(Fidelity, EverySampleAndCorpusFileComesBackByteForByte) {
    const auto expectByteForByte = [&](const std::filesystem::path& folder) {
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() != ".xml") continue;
            SCOPED_TRACE(entry.path().filename().string());
            ++files;
            ASSERT_TRUE(modXML::LoadConfigXML(doc, entry.path().string(), false, ui));
            EXPECT_TRUE(doc.KeepsSourceLayout());
            EXPECT_TRUE(doc.Xml() == kestrune::test::ReadFile(entry.path().string()));
        }
        EXPECT_GT(files, 0);
    };
    expectByteForByte(kestrune::test::SourceDir() / "samples");
    if (kestrune::test::CorpusDir().empty()) GTEST_SKIP() << "the router corpus is not beside the project";
    expectByteForByte(kestrune::test::CorpusDir());
}

// Unchanged, a document comes back as the bytes it was (rows without a
// path); a change rewrites only what it touches, in the document's own
// encoding.
TEST_F(Fidelity, AChangeRewritesOnlyWhatItTouches) {
    const struct {
        const char* what; std::string xml; const char *path = {}, *attribute = "", *value = ""; std::string expected{};
    } cases[] = {
        {"declaration in single quotes, CR LF", "<?xml version='1.0' standalone='yes' ?>\r\n<a>\r\n</a>\r\n"},
        {"comment, processing instruction, doctype", "<!-- c - d -->\n<?pi data?>\n<!DOCTYPE a [\n<!ELEMENT a ANY>\n"
                                                     "<!ATTLIST a x CDATA \"v>w\">\n<!-- ] > -->\n]>\n<a/>\n"},
        {"doctype whose text begins with a declaration, comment with dashes",
         "<!DOCTYPE\n<!ELEMENT c ANY>>\n<!-- a--b---><c/>"},
        {"empty elements, attribute spacing and quotes", "<a><b></b><c/><d x = '1'\n   y=\"2\"\tz='\"' /></a>"},
        {"references", "<a x='&#10;&#9;&quot;&lt;' y=\"&apos;\">&#13;&#x20;&lt;&gt;&amp;&quot;&apos;&custom;</a>"},
        {"CDATA with brackets", "<a><![CDATA[x]y]]z<&>]]></a>"},
        {"end tag with space, text after the root", "<a><b>t</b  ></a\n>\n\n  trailing\n"},
        {"byte order mark", "\xEF\xBB\xBF<a>\xC3\xA9</a>"},
        {"Windows-1252 declared", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x80\x99</a>"},
        {"undeclared bytes that are not UTF-8", "<a>caf\xE9</a>"},
        {"US-ASCII declared, a part of UTF-8", "<?xml version='1.0' encoding='US-ASCII'?><a>t</a>"},
        {"UTF-16BE without mark", Widen("<?xml version='1.0' encoding='UTF-16'?><a/>", 2, true)},
        {"UTF-32LE with mark", std::string("\xFF\xFE\0\0", 4) + Widen("<a>t</a>", 4, false)},
        {"UTF-16 surrogate pair and lone surrogate",
         std::string("\xFF\xFE", 2) + Widen("<a>", 2, false) + std::string("\x3D\xD8\x00\xDE\x00\xD8", 6) +
             Widen("</a>", 2, false)},
        {"attribute value keeps spacing and quotes", "<r>\n  <e  a = 'x'\n     b = \"y\" />\n</r>", "/r/e", "b", "new",
         "<r>\n  <e  a = 'x'\n     b = \"new\" />\n</r>"},
        {"new value in single quotes", "<r><e a='x'/></r>", "/r/e", "a", "it's \"so\"",
         "<r><e a='it&apos;s \"so\"'/></r>"},
        {"attribute removed", "<r><e a=\"1\"  b='2'/></r>", "/r/e", "a", "\xA4", "<r><e  b='2'/></r>"},
        {"text into a self-closing element", "<r><a /></r>", "/r/a", "", "v", "<r><a>v</a></r>"},
        {"text escaped", "<r><a/></r>", "/r/a", "", "a<b&c>\"d'\r", "<r><a>a&lt;b&amp;c&gt;\"d'&#13;</a></r>"},
        {"attribute escaped", "<r><a/></r>", "/r/a", "x", "<&>\"\t\n\r",
         "<r><a x=\"&lt;&amp;&gt;&quot;&#9;&#10;&#13;\"/></r>"},
        {"element deleted, its neighbours stay", "<r>\n  <a><x/></a>\n  <b/>\n</r>", "/r/a", "", "\xA4",
         "<r>\n  \n  <b/>\n</r>"},
        {"after a NUL byte, where the parser stopped, all is kept",
         std::string("<r>\n  <a x='1'/>\n</r>\n\0<b>after</b> <c", 29),
         "/r/a", "x", "2", std::string("<r>\n  <a x='2'/>\n</r>\n\0<b>after</b> <c", 29)},
        {"Latin-1 value into a UTF-8 document", "<r><a>caf\xC3\xA9</a><b>x</b></r>", "/r/b", "", "\xE9t\xE9",
         "<r><a>caf\xC3\xA9</a><b>\xC3\xA9t\xC3\xA9</b></r>"},
        {"Latin-1 value into a Latin-1 document",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r><a>caf\xE9\xFF\xA4</a><b>x</b></r>", "/r/b", "", "\xE9t\xE9",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r><a>caf\xE9\xFF\xA4</a><b>\xE9t\xE9</b></r>"},
        {"Latin-1 value into a UTF-16LE document", "\xFF\xFE" + Widen("<r>\r\n<a>x</a>\r\n</r>", 2, false), "/r/a", "",
         "\xE9",
         "\xFF\xFE" + Widen("<r>\r\n<a>", 2, false) + std::string("\xE9\0", 2) + Widen("</a>\r\n</r>", 2, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string checked = c.xml;  // the check of a save parses in place, in every encoding a load reads
        EXPECT_TRUE(modXML::XmlDocument::Check(checked).ok);
        EXPECT_TRUE(checked == c.xml);
        Load(c.xml);
        EXPECT_TRUE(doc.KeepsSourceLayout());
        if (c.path != nullptr) modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 0");
        EXPECT_EQ(doc.Xml(), c.path != nullptr ? c.expected : c.xml);
    }
}

// A document whose layout is not mapped (the parser reads "<?xml />" and
// "<f?>" its own way; the layout does not) is taken as the library writes
// it, read again as a save of it would be: the tree holds what a save
// writes. Where that does not read back, the load fails.
TEST_F(Fidelity, ADocumentTheLayoutCannotMapIsTakenAsTheLibraryWritesIt) {
    const auto tree = [](modXML::XmlDocument& d) {
        std::ostringstream printed;
        d.Dom().print(printed, "", pugi::format_raw);
        return printed.str();
    };
    const struct { const char* what; std::string xml, expected; } cases[] = {
        {"comment the library cannot write as it is", "<?xml /><!-- a--b---><f?>", "<?xml?><!-- a- -b- --><f/>"},
        {"encoding named by what the parser took for a doctype",
         "<?xml /><!DOCTYPE\xE2" "encoding=\"ISO8859-1\"?><y/>",
         "<?xml?><!DOCTYPE \xE2" "encoding=\"ISO8859-1\"/><y/>"},
        {"its element lost by the library", std::string("<?xml /><\x8C?\0>", 13), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const modXML::ParseOutcome outcome = doc.Parse(c.xml);
        if (c.expected.empty()) {
            EXPECT_FALSE(outcome.ok);
            EXPECT_EQ(outcome.reason, "Markup that cannot be written back as it was read");
            EXPECT_FALSE(doc.IsLoaded());
            continue;
        }
        ASSERT_TRUE(outcome.ok);
        EXPECT_EQ(doc.Xml(), c.expected);
        modXML::XmlDocument saved;
        ASSERT_TRUE(saved.Parse(c.expected).ok);
        EXPECT_EQ(tree(doc), tree(saved));
    }
}

// White space read into the tree goes with the nodes that held it: new
// nodes, which may be given the addresses freed, are written as new. Lists
// of every length up to a few pages of the tree's memory.
TEST_F(Fidelity, NodesTakingTheRoomOfRemovedOnesAreWrittenAsNew) {
    const struct {
        const char* what;
        std::function<void()> change;
        std::string expected;
    } cases[] = {
        {"the list's text set", [&] { modXML::ApplyFixEntry(doc, "/r/list", "", "x", "Fix 0"); },
         "<r>\n  <z/>\n  <list>x</list>\n</r>"},
        {"the list read, deleted, and an element created",
         [&] {
             modXML::GetNodeValue(doc, "/r/list", "");
             modXML::ApplyFixEntry(doc, "/r/list", "", "\xA4", "Fix 0");
             modXML::ApplyFixEntry(doc, "/r/new/x", "", "1", "Fix 1");
         },
         "<r>\n  <z/>\n  \n<new><x>1</x></new></r>"},
    };
    for (const auto& c : cases) {
        for (int items = 1; items <= 120; ++items) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(items) + " items");
            std::string xml = "<r>\n  <z/>\n  <list>";
            for (int i = 0; i < items; ++i) xml += "\n    <a>\n      <b>" + std::to_string(i) + "</b>\n      <c/>\n    </a>";
            Load(xml + "\n  </list>\n</r>");
            c.change();
            const std::string written = doc.Xml();
            EXPECT_EQ(written, c.expected);
            if (written != c.expected) break;
        }
    }
}
