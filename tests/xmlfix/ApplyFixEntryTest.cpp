#include "XmlFixTestSupport.h"

using kestrune::test::ErrorOf;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

const char* const Base = "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>";
const char* const Delete = "\xA4";
const char* const Clear = "\xA5";

}  // namespace

using ApplyFixEntry = XmlFixTest;

TEST_F(ApplyFixEntry, EachCaseChangesTheDocumentAndWritesItsLineInBothModes) {
    const struct {
        const char* what;
        const char* xml;
        const char* path;
        const char* attribute;
        const char* value;
        const char* verbose;  // empty: no line at all
        const char* plain;
        const char* after;
    } cases[] = {
        {"text differs", Base, "/r/a", "", "New", "Changing /r/a to New", "Changing Fix 3",
         "<r><a>New</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>"},
        {"text equal but for case", Base, "/r/a", "", "OLD", "Skipping change to /r/a", "Skipping change to Fix 3", Base},
        {"Latin-1 text equal but for case", "<r><a>\xC3\x89t\xC3\xA9</a></r>", "/r/a", "", "\xE9T\xC9",
         "Skipping change to /r/a", "Skipping change to Fix 3", "<r><a>\xC3\x89t\xC3\xA9</a></r>"},
        {"attribute absent", Base, "/r/e", "y", "1", "Creating y of /r/e to 1", "Creating Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val' y=\"1\"/></r>"},
        {"attribute differs", Base, "/r/e", "x", "Other", "Changing x of /r/e to Other", "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Other'/></r>"},
        {"attribute equal but for case", Base, "/r/e", "x", "vAL", "Skipping change to x of /r/e",
         "Skipping change to Fix 3", Base},
        {"empty attribute, empty value", "<r><e x=''/></r>", "/r/e", "x", "", "Skipping change to x of /r/e",
         "Skipping change to Fix 3", "<r><e x=''/></r>"},
        {"element deleted", Base, "/r/a", "", Delete, "Deleting /r/a", "Deleting Fix 3",
         "<r><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>"},
        {"attribute deleted", Base, "/r/e", "x", Delete, "Deleting x of /r/e", "Deleting Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e/></r>"},
        {"absent attribute deleted", Base, "/r/e", "zz", Delete, "Deleting zz of /r/e", "Deleting Fix 3", Base},
        {"text cleared", Base, "/r/a", "", Clear, "Changing /r/a to ", "Changing Fix 3",
         "<r><a></a><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>"},
        {"attribute cleared", Base, "/r/e", "x", Clear, "Changing x of /r/e to ", "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x=''/></r>"},
        {"missing element, a value", Base, "/r/n/m", "", "v", "Changing /r/n/m to v", "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n><m>v</m></n></r>"},
        {"missing element, an empty value", Base, "/r/n", "", "", "Skipping change to /r/n",
         "Skipping change to Fix 3", "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n/></r>"},
        {"missing keyed element", Base, "/r/k/item\xA4" "8/c", "", "v", "Changing /r/k/item\xA4" "8/c to v",
         "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item><item><id>8</id><c>v</c></item></k><e x='Val'/></r>"},
        {"missing element deleted", Base, "/r/n/m", "", Delete, "Deleting /r/n/m", "Deleting Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n/></r>"},
        {"missing element cleared", Base, "/r/n/m", "", Clear, "", "",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n><m/></n></r>"},
        {"missing element, attribute cleared", Base, "/r/n", "x", Clear, "", "",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n/></r>"},
        {"missing element, attribute set", Base, "/r/n", "x", "1", "Creating x of /r/n to 1", "Creating Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n x=\"1\"/></r>"},
        {"keyed element's whole content replaced", Base, "/r/k/item\xA4" "7", "", "new",
         "Changing /r/k/item\xA4" "7 to new", "Changing Fix 3",
         "<r><a>Old</a><k><item>new</item></k><e x='Val'/></r>"},
        {"keyed element's whole content equal", Base, "/r/k/item\xA4" "7", "", "7X",
         "Skipping change to /r/k/item\xA4" "7", "Skipping change to Fix 3", Base},
        {"keyed element deleted", Base, "/r/k/item\xA4" "7", "", Delete, "Deleting /r/k/item\xA4" "7",
         "Deleting Fix 3", "<r><a>Old</a><k></k><e x='Val'/></r>"},
        {"corpus-style address", "<DB><Tbl name='WLANCfg'><Row No='0'><DM name='Enable' val='1'/></Row></Tbl></DB>",
         "/DB/Tbl[@name='WLANCfg']/Row[@No='0']/DM[@name='Enable']", "val", "0",
         "Changing val of /DB/Tbl[@name='WLANCfg']/Row[@No='0']/DM[@name='Enable'] to 0", "Changing Fix 3",
         "<DB><Tbl name='WLANCfg'><Row No='0'><DM name='Enable' val='0'/></Row></Tbl></DB>"},
    };
    for (const bool verbose : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (verbose ? ", verbose" : ", plain"));
            Load(c.xml);
            modGen::VerboseMode = verbose;
            modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 3");
            const std::string line = verbose ? c.verbose : c.plain;
            EXPECT_EQ(modGen::ReportLog, line.empty() ? "" : line + "\r\n");
            EXPECT_EQ(doc.Xml(), c.after);
            EXPECT_FALSE(modXML::JustCreated);
        }
    }
}

TEST_F(ApplyFixEntry, ABadEntryRaisesItsErrorAndChangesNothing) {
    const struct {
        const char* what;
        const char* path;
        const char* attribute;
        const char* value;
        std::int32_t number;
    } cases[] = {
        {"deleting the root element", "/r", "", Delete, ErrorNumber::XmlNoParentElement},
        {"invalid attribute name", "/r/a", "b c", "1", ErrorNumber::XmlInvalidName},
        {"invalid attribute name on a missing path", "/r/n/m", "1x", "v", ErrorNumber::XmlInvalidName},
        {"control character in the value", "/r/a", "", "a\x02", ErrorNumber::XmlEncodingError},
        {"control character on a missing path", "/r/n", "", "\x1F", ErrorNumber::XmlEncodingError},
        {"first step missing", "/z/y", "", "v", ErrorNumber::XmlNothingToCreateUnder},
        {"invalid name to create", "/r/n/m[@x='1']", "", "v", ErrorNumber::XmlInvalidName},
        {"key holding a quote", "/r/k/item\xA4" "7'", "", "v", ErrorNumber::XmlQueryRejected},
        {"query the language rejects", "/r/k[", "", "v", ErrorNumber::XmlQueryRejected},
        {"path matching an attribute", "/r/e/@x", "", "v", ErrorNumber::XmlNotAnElement},
        {"path matching a text node", "/r/a/text()", "", Delete, ErrorNumber::XmlNotAnElement},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Load(Base);
        const auto error = ErrorOf([&] { modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 0"); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), c.number);
        EXPECT_NE(error->description().find(c.path), std::string::npos) << error->description();
        EXPECT_EQ(modGen::ReportLog, "");
        EXPECT_EQ(doc.Xml(), Base);
        EXPECT_FALSE(modXML::JustCreated);
    }
}

TEST_F(ApplyFixEntry, CreatesNoNestingDeeperThanALoadAccepts) {
    const auto steps = [](int count) {
        std::string path = "/r";
        for (int i = 0; i < count; ++i) path += "/n";
        return path;
    };
    // The root is level 1, so 999 steps below it reach the limit of 1000.
    const struct {
        const char* what;
        std::string path;
        bool created;
    } cases[] = {
        {"to the limit", steps(999), true},
        {"one level more", steps(1000), false},
        {"a key whose id child would pass the limit", steps(998) + "/k\xA4" "1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Load(Base);
        const auto error = ErrorOf([&] { modXML::ApplyFixEntry(doc, c.path, "", "v", "Fix 0"); });
        if (c.created) {
            EXPECT_FALSE(error) << error->description();
            modXML::XmlDocument again;
            EXPECT_TRUE(again.Parse(doc.Xml()).ok);
        } else {
            ASSERT_TRUE(error);
            EXPECT_EQ(error->number(), ErrorNumber::XmlNestingTooDeep);
            EXPECT_EQ(error->description(), "Cannot create " + c.path +
                                                ": it would nest elements 1001 levels deep, more than the 1000 a "
                                                "configuration may have");
            EXPECT_EQ(doc.Xml(), Base);
        }
    }
}

TEST_F(ApplyFixEntry, APathStillMissingAfterCreationIsAnErrorAndIsCreatedOnce) {
    const struct {
        const char* path;
        const char* after;  // what the one creation left in memory
    } cases[] = {
        // A valid element name that the query language reads as an axis.
        {"/r/a/following-sibling::q", "<r><a>Old<following-sibling::q/></a><k/><e/></r>"},
        // An empty key: the created item gets no id to be found by.
        {"/r/k/item\xA4/c", "<r><a>Old</a><k><item><c/></item></k><e/></r>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Load("<r><a>Old</a><k/><e/></r>");
        const auto error = ErrorOf([&] { modXML::ApplyFixEntry(doc, c.path, "", "v", "Fix 0"); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), ErrorNumber::XmlPathNotCreated);
        EXPECT_NE(error->description().find(c.path), std::string::npos) << error->description();
        EXPECT_FALSE(modXML::JustCreated);
        EXPECT_EQ(modGen::ReportLog, "");
        EXPECT_EQ(doc.Xml(), c.after);
    }
}

TEST_F(ApplyFixEntry, EntriesOfARunApplyInOrderEachWithItsLabel) {
    Load("<config><a>1</a><b>2</b></config>");
    const struct {
        const char* path;
        const char* value;
    } entries[] = {{"/config/a", "one"}, {"/config/b", "2"}, {"/config/c", "three"}, {"/config/a", "\xA4"}};
    for (std::size_t i = 0; i < std::size(entries); ++i) {
        modXML::ApplyFixEntry(doc, entries[i].path, "", entries[i].value, "Fix " + std::to_string(i));
    }
    EXPECT_EQ(modGen::ReportLog, "Changing Fix 0\r\nSkipping change to Fix 1\r\nChanging Fix 2\r\nDeleting Fix 3\r\n");
    EXPECT_EQ(doc.Xml(), "<config><b>2</b><c>three</c></config>");
}
