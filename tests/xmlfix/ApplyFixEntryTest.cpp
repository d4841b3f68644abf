#include "XmlFixTestSupport.h"

using kestrune::test::ExpectRunError;
using kestrune::test::XmlFixTest;
namespace ErrorNumber = kestrune::ErrorNumber;

namespace {

const std::string Base =
    "<r><a>Old</a><k><item><id>7</id></item></k><e x='Val'/><l>\xC3\x89t\xC3\xA9</l><u>caf\xC3\xA9 \xE2\x82\xAC</u>"
    "<T n='A'><R No='0'><D n='E' v='2'/></R></T><T n='W'><R No='0'><D n='E' v='1'/></R></T></r>";
const char* const Delete = "\xA4";
const char* const Clear = "\xA5";

// A path of count steps "n" below the root r.
std::string Deep(int count) {
    std::string path = "/r";
    for (int i = 0; i < count; ++i) path += "/n";
    return path;
}

}  // namespace

using ApplyFixEntry = XmlFixTest;

// Texts and values compare without regard to case, Latin-1 letters included,
// and a character a byte string cannot hold never equals its "?". Each case
// changes Base where it reads before into after; an empty line means no
// line at all.
TEST_F(ApplyFixEntry, EachCaseChangesTheDocumentAndWritesItsLineInBothModes) {
    const struct { const char *what, *path, *attribute, *value, *verbose, *plain, *before, *after; } cases[] = {
        {"text differs", "/r/a", "", "New", "Changing /r/a to New", "Changing Fix 3", "Old", "New"},
        {"text equal but for case", "/r/a", "", "OLD", "Skipping change to /r/a", "Skipping change to Fix 3", "", ""},
        {"Latin-1 text equal but for case", "/r/l", "", "\xE9T\xC9", "Skipping change to /r/l",
         "Skipping change to Fix 3", "", ""},
        {"text beyond Latin-1 against its \"?\"", "/r/u", "", "CAF\xC9 ?", "Changing /r/u to CAF\xC9 ?",
         "Changing Fix 3", "caf\xC3\xA9 \xE2\x82\xAC", "CAF\xC3\x89 ?"},
        {"attribute absent", "/r/e", "y", "1", "Creating y of /r/e to 1", "Creating Fix 3", "'Val'", "'Val' y=\"1\""},
        {"attribute differs", "/r/e", "x", "Other", "Changing x of /r/e to Other", "Changing Fix 3", "Val", "Other"},
        {"attribute equal but for case", "/r/e", "x", "vAL", "Skipping change to x of /r/e",
         "Skipping change to Fix 3", "", ""},
        {"element deleted", "/r/a", "", Delete, "Deleting /r/a", "Deleting Fix 3", "<a>Old</a>", ""},
        {"attribute deleted", "/r/e", "x", Delete, "Deleting x of /r/e", "Deleting Fix 3", " x='Val'", ""},
        {"text cleared", "/r/a", "", Clear, "Changing /r/a to ", "Changing Fix 3", "Old", ""},
        {"missing keyed element, created after the others", "/r/k/item\xA4" "8/c", "", "v",
         "Changing /r/k/item\xA4" "8/c to v", "Changing Fix 3", "</item>", "</item><item><id>8</id><c>v</c></item>"},
        {"missing element under two keys, one found", "/r/k/item\xA4" "7/s\xA4" "2/c", "", "v",
         "Changing /r/k/item\xA4" "7/s\xA4" "2/c to v", "Changing Fix 3", "7</id>", "7</id><s><id>2</id><c>v</c></s>"},
        {"missing element deleted", "/r/n/m", "", Delete, "Deleting /r/n/m", "Deleting Fix 3", "</r>", "<n/></r>"},
        {"missing element cleared", "/r/n/m", "", Clear, "", "", "</r>", "<n><m/></n></r>"},
        {"address by key attributes", "/r/T[@n='W']/R[@No='0']/D[@n='E']", "v", "0",
         "Changing v of /r/T[@n='W']/R[@No='0']/D[@n='E'] to 0", "Changing Fix 3", "v='1'", "v='0'"},
    };
    for (const bool verbose : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (verbose ? ", verbose" : ", plain"));
            Load(Base);
            modGen::VerboseMode = verbose;
            modXML::ApplyFixEntry(doc, c.path, c.attribute, c.value, "Fix 3");
            const std::string line = verbose ? c.verbose : c.plain;
            EXPECT_EQ(modGen::ReportLog, line.empty() ? "" : line + "\r\n");
            std::string after = Base;
            after.replace(after.find(c.before), std::string(c.before).size(), c.after);
            EXPECT_EQ(doc.Xml(), after);
            EXPECT_FALSE(modXML::JustCreated);
        }
    }
}

// Every step is checked before any is created. A document nested deeper
// than a load accepts (1000 levels, the root being level 1) could be saved
// but never opened again.
TEST_F(ApplyFixEntry, ABadEntryRaisesItsErrorAndChangesNothing) {
    const struct { const char* what; std::string path; const char *attribute, *value; std::int32_t number; } cases[] = {
        {"deleting the root element", "/r", "", Delete, ErrorNumber::XmlNoParentElement},
        {"invalid attribute name on a missing path", "/r/n/m", "b c", "v", ErrorNumber::XmlInvalidName},
        {"control character in the value", "/r/a", "", "a\x02", ErrorNumber::XmlEncodingError},
        {"first step missing", "/z/y", "", "v", ErrorNumber::XmlNothingToCreateUnder},
        {"a condition to create", "/r/n/m[@x='1']", "", "v", ErrorNumber::XmlInvalidName},
        {"a wildcard after a good step", "/r/n/ok/*", "", "v", ErrorNumber::XmlInvalidName},
        {"the multiplication sign, no letter", "/r/n/\xD7", "", "v", ErrorNumber::XmlInvalidName},
        {"a key without a name", "/r/n/\xA4" "2", "", "v", ErrorNumber::XmlInvalidName},
        {"control character in a key", "/r/n/item\xA4" "\x01", "", "v", ErrorNumber::XmlEncodingError},
        {"one level deeper than a load accepts", Deep(1000), "", "v", ErrorNumber::XmlNestingTooDeep},
        {"a key whose id would pass the limit", Deep(998) + "/k\xA4" "1", "", "v", ErrorNumber::XmlNestingTooDeep},
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

TEST_F(ApplyFixEntry, CreatesNestingUpToTheLimitALoadAccepts) {
    Load(Base);
    modXML::ApplyFixEntry(doc, Deep(999), "", "v", "Fix 0");
    EXPECT_TRUE(modXML::XmlDocument().Parse(doc.Xml()).ok);
}

// The second application, after the creation, fails: a name read as an axis.
TEST_F(ApplyFixEntry, APathStillMissingAfterCreationIsAnErrorAndIsCreatedOnce) {
    const char* const path = "/r/a/following-sibling::q";
    Load("<r><a>Old</a></r>");
    ExpectRunError([&] { modXML::ApplyFixEntry(doc, path, "", "v", "Fix 0"); }, ErrorNumber::XmlPathNotCreated, path);
    EXPECT_FALSE(modXML::JustCreated);
    EXPECT_EQ(modGen::ReportLog, "");
    EXPECT_EQ(doc.Xml(), "<r><a>Old<following-sibling::q/></a></r>");
}
