#include "app/FixDiff.h"
#include "common/Latin1.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <random>

using kestrune::DiffConfigs;
using kestrune::FixFileText;

namespace {

using Node = pugi::xml_node;

void Load(modXML::XmlDocument& doc, const std::string& xml) { ASSERT_TRUE(doc.Parse(xml).ok) << xml; }

// Applies the entries to doc with the engine, labelled as the fix run labels
// them, and returns the report.
std::string Apply(modXML::XmlDocument& doc, const std::vector<kestrune::FixEntry>& entries) {
    modGen::ReportLog.clear();
    modGen::VerboseMode = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        modXML::ApplyFixEntry(doc, entries[i].Path, entries[i].Attribute, entries[i].Value, "Fix " + std::to_string(i));
    }
    return modGen::ReportLog;
}

std::string ProblemList(const kestrune::ConfigDiff& diff) {
    std::string list;
    for (const auto& p : diff.Problems) list += p.Path + ": " + p.Reason + "\n";
    return list;
}

// Random changes made to a tree directly, of every kind a fix can make.
class Changer {
public:
    Changer(pugi::xml_document& dom, unsigned seed) : dom_(dom), random_(seed) {}

    void Change() {
        switch (Pick(6)) {
        case 0: ChangeAttribute(); break;
        case 1: Any().append_attribute(("k" + std::to_string(serial_++)).c_str()).set_value(Value(true).c_str()); break;
        case 2: RemoveAttribute(); break;
        case 3: SetText(Leaf(), Pick(4) == 0 ? std::string() : Value(false)); break;
        case 4: Remove(); break;
        default: ChangeCase(); break;
        }
    }

    // A change a fix cannot make: an element moved behind its siblings, a
    // copy of one beside it, a comment, a name outside Latin-1.
    void Disturb() {
        Node e = Any();
        if (e == dom_.document_element()) return;
        switch (Pick(4)) {
        case 0: e.parent().append_move(e); break;
        case 1: e.parent().insert_copy_before(e, e); break;
        case 2: e.append_child(pugi::node_comment).set_value("c"); break;
        default: e.set_name("\xE2\x82\xAC"); break;
        }
    }

    // Added last: a change after it could leave it beyond what a fix can create.
    void Add() {
        Node parent = Any([](Node e) { return Content(e).empty(); });
        Node keyed = parent.find_child([](Node c) { return c.child("id") && !c.child("id").first_child().empty(); });
        Node added = parent.append_child(keyed ? keyed.name() : ("added" + std::to_string(serial_)).c_str());
        if (keyed) added.append_child("id").text().set(("new" + std::to_string(serial_)).c_str());
        if (Pick(2) == 0) added.append_attribute("a").set_value(Value(true).c_str());
        if (Pick(2) == 0) SetText(added.append_child("inner"), Value(false));
        ++serial_;
    }

private:
    static std::string Content(Node e) {
        std::string text;
        for (Node n = e.first_child(); n; n = n.next_sibling()) {
            if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
        }
        return text.find_first_not_of(" \t\r\n") == std::string::npos ? std::string() : text;
    }

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

    // Two to eight characters, Latin-1 and both quotes among them (but no
    // quote or "/" in a text, which may be a key).
    std::string Value(bool attribute) {
        static const std::vector<std::string> letters = {"a", "Z", "0", "7", " ", ".", "-", "é", "¤", "&", "<"};
        std::string value;
        for (std::size_t n = 2 + Pick(7); n > 0; --n) value += letters[Pick(letters.size())];
        if (attribute && Pick(3) == 0) value += Pick(2) == 0 ? "'" : "\"";
        return value;
    }

    std::vector<Node> Elements(const std::function<bool(Node)>& fits) {
        std::vector<Node> found;
        for (Node n = dom_.document_element().first_child(); n;) {
            if (n.type() == pugi::node_element && fits(n)) found.push_back(n);
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            while (n && !n.next_sibling()) n = n.parent();
            if (n) n = n.next_sibling();
        }
        return found;
    }

    Node Any(const std::function<bool(Node)>& fits = [](Node) { return true; }) {
        const std::vector<Node> found = Elements(fits);
        return found.empty() ? dom_.document_element() : found[Pick(found.size())];
    }

    Node Leaf() {
        return Any([](Node e) {
            return e.find_child([](Node c) { return c.type() != pugi::node_pcdata && c.type() != pugi::node_cdata; })
                .empty();
        });
    }

    // An element with attributes, and one of them.
    std::pair<Node, pugi::xml_attribute> AnyAttribute() {
        const Node e = Any([](Node n) { return !n.first_attribute().empty(); });
        std::vector<pugi::xml_attribute> all(e.attributes_begin(), e.attributes_end());
        return {e, all.empty() ? pugi::xml_attribute() : all[Pick(all.size())]};
    }

    void ChangeAttribute() {
        if (auto [e, a] = AnyAttribute(); a) a.set_value(Value(true).c_str());
    }

    void RemoveAttribute() {
        if (auto [e, a] = AnyAttribute(); a) e.remove_attribute(a);
    }

    static void SetText(Node e, const std::string& text) {
        while (e.first_child()) e.remove_child(e.first_child());
        if (!text.empty()) e.append_child(pugi::node_pcdata).set_value(text.c_str());
    }

    void Remove() {
        const Node e = Any();
        if (e != dom_.document_element()) e.parent().remove_child(e);
    }

    // The same value in other letter case, which the engine would skip.
    void ChangeCase() {
        if (Pick(2) == 0) {
            if (auto [e, a] = AnyAttribute(); a) a.set_value(Flipped(a.value()).c_str());
            return;
        }
        const Node e = Any([](Node n) { return !Content(n).empty() && n.find_child([](Node c) {
                                                       return c.type() == pugi::node_element;
                                                   }).empty(); });
        if (e != dom_.document_element()) SetText(e, Flipped(Content(e)));
    }

    static std::string Flipped(std::string text) {
        for (char& c : text) {
            if (std::isalpha(static_cast<unsigned char>(c))) c ^= 0x20;
        }
        return text;
    }

    pugi::xml_document& dom_;
    std::mt19937 random_;
    int serial_ = 0;
};

// The entries as "path|attribute|value|description" lines, in UTF-8 (the markers as ¤ and ¥).
std::string EntryLines(const std::vector<kestrune::FixEntry>& entries) {
    std::string lines;
    for (const auto& e : entries) lines += e.Path + "|" + e.Attribute + "|" + e.Value + "|" + e.Description + "\n";
    return kestrune::Latin1ToUtf8(lines);
}

kestrune::ConfigDiff Diff(const std::string& before, const std::string& after) {
    modXML::XmlDocument b, a;
    Load(b, before);
    Load(a, after);
    return DiffConfigs(b, a);
}

TEST(DiffConfigs, ChoosesTheEnginesMeansAndAnOrderThatApplies) {
    const struct {
        const char* before;
        const char* after;
        const char* entries;
    } cases[] = {
        {"<c><l><id>1</id><x a='1'/></l><l><id>2</id><x a='1'/></l></c>",
         "<c><l><id>1</id><x a='1'/></l><l><id>2</id><x a='2'/></l></c>",
         "/c/l¤2/x|a|2|Change attribute a\n"},
        {"<c><r name='a' v='1'/><r name='b' v='1'/><r name='c'/></c>", "<c><r name='b' v='2'/></c>",
         "/c/r[@name='c']||¤|Remove the element\n"
         "/c/r[@name='a']||¤|Remove the element\n"
         "/c/r|v|2|Change attribute v\n"},
        {"<c><r name=\"it's\">1</r><r name='x'>1</r></c>", "<c><r name=\"it's\">2</r><r name='x'>1</r></c>",
         "/c/r[@name=\"it's\"]||2|Change the text\n"},
        {"<c><r>1</r><r>2</r><r>3</r></c>", "<c><r>1</r><r>4</r></c>",
         "/c/r[3]||¤|Remove the element\n/c/r[2]||4|Change the text\n"},
        {"<c><a m='On' x='1'>Yes</a></c>", "<c><a m='ON'>YES</a></c>",
         "/c/a|m|¤|Remove attribute m, to add it again in other letter case\n"
         "/c/a|m|ON|Add attribute m\n"
         "/c/a|x|¤|Remove attribute x\n"
         "/c/a||¥|Clear the text, to set it again in other letter case\n"
         "/c/a||YES|Change the text\n"},
        {"<c><a><b/></a><d>t</d></c>", "<c><a>t</a><d><e/></d></c>",
         "/c/a/b||¤|Remove the element\n"
         "/c/a||t|Change the text\n"
         "/c/d||¥|Clear the text\n"
         "/c/d/e|new|¤|Add the empty element\n"},
        {"<c><l><id>1</id></l></c>", "<c><l><id>1</id></l><l><id k='v'>2</id><x/><n a='1'>t</n></l></c>",
         "/c/l¤2/x|new|¤|Add the empty element\n"
         "/c/l¤2/n|a|1|Add the element, with attribute a\n"
         "/c/l¤2/n||t|Add its text\n"
         "/c/l¤2/id|k|v|Add attribute k\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        const kestrune::ConfigDiff diff = Diff(c.before, c.after);
        EXPECT_EQ(ProblemList(diff), "");
        EXPECT_EQ(EntryLines(diff.Entries), c.entries);
    }
}

TEST(DiffConfigs, LayoutAttributeOrderAndTheOrderOfDifferentNamesAreNoDifference) {
    const kestrune::ConfigDiff diff = Diff("<c>\n  <a x='1' y='2'>t</a>\n  <b> </b>\n</c>",
                                           "<c><b/><a y='2' x='1'><![CDATA[t]]></a></c>");
    EXPECT_EQ(ProblemList(diff) + EntryLines(diff.Entries), "");
}

TEST(DiffConfigs, NamesWhatAFixCannotMake) {
    const struct {
        const char* before;
        const char* after;
        const char* path;
        const char* reason;
    } cases[] = {
        {"<c><l><id>1</id></l><l><id>2</id></l></c>", "<c><l><id>2</id></l><l><id>1</id></l></c>",
         "/c/l¤2", "moved"},
        {"<c><r/></c>", "<c><r/><r/></c>", "/c/r[2]", "cannot create"},
        {"<c><l><id>2</id></l></c>", "<c><l><id>1</id></l><l><id>2</id></l></c>", "/c/l¤1",
         "added before"},
        {"<c><a/></c>", "<c><a><!--x--></a></c>", "/c/a", "comment"},
        {"<c><a>t<!--x--></a></c>", "<c><a>u<!--x--></a></c>", "/c/a", "remove the comments"},
        {"<c><a>t<b/></a></c>", "<c><a>u<b/></a></c>", "/c/a", "beside child elements"},
        {"<a/>", "<b/>", "/a", "root"},
        {"<!--x--><c/>", "<c/>", "/", "outside the root"},
        {"<c><a>x</a></c>", "<c><a>€</a></c>", "/c/a", "Latin-1"},
        {"<c><a>x</a></c>", "<c><a>1&#13;&#10;2</a></c>", "/c/a", "CR LF"},
        {"<c a='x'/>", "<c a='¥'/>", "/c", "marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        const kestrune::ConfigDiff diff = Diff(c.before, c.after);
        ASSERT_EQ(diff.Problems.size(), 1u) << ProblemList(diff);
        EXPECT_EQ(kestrune::Latin1ToUtf8(diff.Problems[0].Path), c.path);
        EXPECT_NE(diff.Problems[0].Reason.find(c.reason), std::string::npos) << diff.Problems[0].Reason;
    }
}

struct PromiseCase {
    std::string file;
    unsigned seeds;
    int changes;
};

void PrintTo(const PromiseCase& c, std::ostream* out) {
    *out << std::filesystem::path(c.file).filename().string() << ", " << c.seeds << " seeds of " << c.changes
         << " changes";
}

class DiffPromise : public ::testing::TestWithParam<PromiseCase> {};

// The seeded random changes of a case made to a copy of its file; the
// number of changes, and every fourth one followed by one that a fix
// cannot make when disturb is set.
struct Versions {
    modXML::XmlDocument before, after;
};

void MakeVersions(const std::string& xml, unsigned seed, int changes, bool disturb, Versions& v) {
    Load(v.before, xml);
    Load(v.after, xml);
    Changer changer(v.after.Dom(), seed);
    for (int n = 0; n < changes; ++n) {
        changer.Change();
        if (disturb && n % 4 == 0) changer.Disturb();
    }
    for (int n = 0; n < changes / 4 + 1; ++n) changer.Add();
}

// Applies the entries to doc as the fix run does and expects every one of
// them reported as changed, created or deleted, never skipped.
void ExpectEveryEntryDone(modXML::XmlDocument& doc, const std::vector<kestrune::FixEntry>& entries) {
    const std::string report = Apply(doc, entries);
    std::size_t start = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t end = report.find("\r\n", start);
        const std::string line = report.substr(start, end - start);
        const std::string label = " Fix " + std::to_string(i);
        EXPECT_TRUE(line == "Changing" + label || line == "Creating" + label || line == "Deleting" + label)
            << line << " for " << FixFileText({entries[i]});
        start = end + 2;
    }
    EXPECT_EQ(start, report.size());
}

// F = diff(B, A): F applied to B reports every entry done and leaves no
// difference from A. With changes a fix cannot make among them, the part it
// can make (what --partial writes) still applies entry by entry.
TEST_P(DiffPromise, TheFixMakesAfterOutOfBefore) {
    const std::filesystem::path file = GetParam().file;
    if (file.empty() || !std::filesystem::exists(file)) GTEST_SKIP() << "the router corpus is not beside the project";
    const std::string xml = kestrune::test::ReadFile(file.string());
    for (unsigned seed = 1; seed <= GetParam().seeds; ++seed) {
        for (const bool disturb : {false, true}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + (disturb ? ", with changes a fix cannot make" : ""));
            Versions v;
            MakeVersions(xml, seed, GetParam().changes, disturb, v);
            const kestrune::ConfigDiff diff = DiffConfigs(v.before, v.after);
            EXPECT_EQ(ProblemList(diff).empty(), !disturb) << ProblemList(diff);
            ASSERT_FALSE(diff.Entries.empty());
            ExpectEveryEntryDone(v.before, diff.Entries);
            if (disturb) continue;
            const kestrune::ConfigDiff again = DiffConfigs(v.before, v.after);
            EXPECT_EQ(ProblemList(again), "");
            EXPECT_EQ(FixFileText(again.Entries), FixFileText({}));
        }
    }
}

std::vector<PromiseCase> PromiseCases() {
    std::vector<PromiseCase> cases;
    for (const char* sample : {"router.xml", "router-wpa.xml", "router-no-wireless.xml"}) {
        cases.push_back({(kestrune::test::SourceDir() / "samples" / sample).string(), 10, 16});
    }
    const std::filesystem::path corpus = kestrune::test::CorpusDir();
    for (const char* name : {"F600W.xml", "ZXHN_H108N_V2.5.xml", "ZXHN_H267A.xml", "ZXHN_H298Q_C7_db.xml",
                             "db_default_auto_cfg.xml"}) {
        cases.push_back({corpus.empty() ? std::string() : (corpus / name).string(), 2, 60});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(SamplesAndCorpus, DiffPromise, ::testing::ValuesIn(PromiseCases()),
                         [](const auto& test) {
                             std::string name = std::filesystem::path(test.param.file).stem().string();
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name.empty() ? "corpus_" + std::to_string(test.index) : name;
                         });

}  // namespace
