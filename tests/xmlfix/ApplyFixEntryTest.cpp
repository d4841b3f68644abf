#include "XmlFixTestSupport.h"

using kestrune::test::ExpectRunError;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

const char* const Base = "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>";
const char* const Delete = "\xA4";
const char* const Clear = "\xA5";

}  // namespace

using ApplyFixEntry = XmlFixTest;

// Texts and values compare without regard to case, Latin-1 letters included,
// and without losing what a byte string cannot hold.
// An empty verbose line means no line at all.
TEST_F(ApplyFixEntry, EachCaseChangesTheDocumentAndWritesItsLineInBothModes) {
    const struct { const char *what, *xml, *path, *attribute, *value, *verbose, *plain, *after; } cases[] = {
        {"text differs", Base, "/r/a", "", "New", "Changing /r/a to New", "Changing Fix 3",
         "<r><a>New</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>"},
        {"text equal but for case", Base, "/r/a", "", "OLD", "Skipping change to /r/a", "Skipping change to Fix 3",
         Base},
        {"Latin-1 text equal but for case", "<r><a>\xC3\x89t\xC3\xA9</a></r>", "/r/a", "", "\xE9T\xC9",
         "Skipping change to /r/a", "Skipping change to Fix 3", "<r><a>\xC3\x89t\xC3\xA9</a></r>"},
        {"text beyond Latin-1 against its \"?\"", "<r><a>caf\xC3\xA9 \xE2\x82\xAC</a></r>", "/r/a", "", "CAF\xC9 ?",
         "Changing /r/a to CAF\xC9 ?", "Changing Fix 3", "<r><a>CAF\xC3\x89 ?</a></r>"},
        {"attribute beyond Latin-1 against its \"?\"", "<r><e x='\xE2\x82\xAC'/></r>", "/r/e", "x", "?",
         "Changing x of /r/e to ?", "Changing Fix 3", "<r><e x='?'/></r>"},
        {"attribute absent", Base, "/r/e", "y", "1", "Creating y of /r/e to 1", "Creating Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val' y=\"1\"/></r>"},
        {"attribute differs", Base, "/r/e", "x", "Other", "Changing x of /r/e to Other", "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Other'/></r>"},
        {"attribute equal but for case", Base, "/r/e", "x", "vAL", "Skipping change to x of /r/e",
         "Skipping change to Fix 3", Base},
        {"element deleted", Base, "/r/a", "", Delete, "Deleting /r/a", "Deleting Fix 3",
         "<r><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>"},
        {"attribute deleted", Base, "/r/e", "x", Delete, "Deleting x of /r/e", "Deleting Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e/></r>"},
        {"absent attribute deleted", Base, "/r/e", "zz", Delete, "Deleting zz of /r/e", "Deleting Fix 3", Base},
        {"text cleared", Base, "/r/a", "", Clear, "Changing /r/a to ", "Changing Fix 3",
         "<r><a></a><k><item><id>7</id><c>x</c></item></k><e x='Val'/></r>"},
        {"missing element, a value", Base, "/r/n/m", "", "v", "Changing /r/n/m to v", "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n><m>v</m></n></r>"},
        {"missing keyed element", Base, "/r/k/item\xA4" "8/c", "", "v", "Changing /r/k/item\xA4" "8/c to v",
         "Changing Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item><item><id>8</id><c>v</c></item></k><e x='Val'/></r>"},
        {"missing element deleted", Base, "/r/n/m", "", Delete, "Deleting /r/n/m", "Deleting Fix 3",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n/></r>"},
        {"missing element cleared", Base, "/r/n/m", "", Clear, "", "",
         "<r><a>Old</a><k><item><id>7</id><c>x</c></item></k><e x='Val'/><n><m/></n></r>"},
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
    const struct { const char *what, *path, *attribute, *value; std::int32_t number; } cases[] = {
        {"deleting the root element", "/r", "", Delete, ErrorNumber::XmlNoParentElement},
        {"invalid attribute name", "/r/a", "b c", "1", ErrorNumber::XmlInvalidName},
        {"invalid attribute name on a missing path", "/r/n/m", "1x", "v", ErrorNumber::XmlInvalidName},
        {"control character in the value", "/r/a", "", "a\x02", ErrorNumber::XmlEncodingError},
        {"first step missing", "/z/y", "", "v", ErrorNumber::XmlNothingToCreateUnder},
        {"invalid name to create", "/r/n/m[@x='1']", "", "v", ErrorNumber::XmlInvalidName},
        {"key holding a quote", "/r/k/item\xA4" "7'", "", "v", ErrorNumber::XmlQueryRejected},
        {"query the language rejects", "/r/k[", "", "v", ErrorNumber::XmlQueryRejected},
        {"path matching an attribute", "/r/e/@x", "", "v", ErrorNumber::XmlNotAnElement},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Load(Base);
        ExpectRunError([&] { modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 0"); }, c.number, c.path);
        EXPECT_EQ(modGen::ReportLog, "");
        EXPECT_EQ(doc.Xml(), Base);
        EXPECT_FALSE(modXML::JustCreated);
    }
}

// The second application, after the creation, fails; JustCreated is reset all the same.
TEST_F(ApplyFixEntry, APathStillMissingAfterCreationIsAnErrorAndIsCreatedOnce) {
    const struct { const char* path; const char* after; } cases[] = {
        {"/r/a/following-sibling::q", "<r><a>Old<following-sibling::q/></a><k/></r>"},  // a name read as an axis
        {"/r/k/item\xA4/c", "<r><a>Old</a><k><item><c/></item></k></r>"},  // an empty key: the item gets no id
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Load("<r><a>Old</a><k/></r>");
        ExpectRunError([&] { modXML::ApplyFixEntry(doc, c.path, "", "v", "Fix 0"); }, ErrorNumber::XmlPathNotCreated,
                       c.path);
        EXPECT_FALSE(modXML::JustCreated);
        EXPECT_EQ(modGen::ReportLog, "");
        EXPECT_EQ(doc.Xml(), c.after);
    }
}

// A configuration nested deeper than a load accepts could be saved but never opened again.
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
        const auto apply = [&] { modXML::ApplyFixEntry(doc, c.path, "", "v", "Fix 0"); };
        if (c.created) {
            apply();
            modXML::XmlDocument again;
            EXPECT_TRUE(again.Parse(doc.Xml()).ok);
        } else {
            ExpectRunError(apply, ErrorNumber::XmlNestingTooDeep, "it would nest elements 1001 levels deep");
            EXPECT_EQ(doc.Xml(), Base);
        }
    }
}
