#include "app/FixDiff.h"
#include "common/Latin1.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <random>

using kestrune::ConfigDiff;
using kestrune::DiffConfigs;
using kestrune::FixEntry;
using kestrune::FixFileText;

namespace {

using Node = pugi::xml_node;

std::string ProblemList(const ConfigDiff& diff) {
    std::string list;
    for (const auto& p : diff.Problems) list += p.Path + ": " + p.Reason + "\n";
    return list;
}

// The entries as "path|attribute|value|description" lines, in UTF-8 (the markers as ¤ and ¥).
std::string EntryLines(const ConfigDiff& diff) {
    std::string lines;
    for (const auto& e : diff.Entries) lines += e.Path + "|" + e.Attribute + "|" + e.Value + "|" + e.Description + "\n";
    return kestrune::Latin1ToUtf8(lines);
}

ConfigDiff Diff(const std::string& before, const std::string& after) {
    modXML::XmlDocument b, a;
    EXPECT_TRUE(b.Parse(before).ok && a.Parse(after).ok);
    return DiffConfigs(b, a);
}

TEST(DiffConfigs, ChoosesTheEnginesMeansAndAnOrderThatApplies) {
    const struct {
        const char* before;
        const char* after;
        const char* entries;
    } cases[] = {
        {"<c><l><id>1</id><x a='1'/></l><l><id>2</id><x a='1'/></l></c>",
         "<c><l><id>1</id><x a='1'/></l><l><id>2</id><x a='2'/></l></c>", "/c/l¤2/x|a|2|Change attribute a\n"},
        {"<c><r name='a' v='1'/><r name='b' v='1'/><r name='c'/></c>", "<c><r name='b' v='2'/></c>",
         "/c/r[@name='c']||¤|Remove the element\n/c/r[@name='a']||¤|Remove the element\n/c/r|v|2|Change attribute v\n"},
        {"<c><r name=\"it's\">1</r><r name='x'>1</r></c>", "<c><r name=\"it's\">2</r><r name='x'>1</r></c>",
         "/c/r[@name=\"it's\"]||2|Change the text\n"},
        {"<c><r>1</r><r>2</r><r>3</r></c>", "<c><r>1</r><r>4</r></c>",
         "/c/r[3]||¤|Remove the element\n/c/r[2]||4|Change the text\n"},
        {"<c><a m='On' x='1'>Yes</a></c>", "<c><a m='ON'>YES</a></c>",
         "/c/a|m|¤|Remove attribute m, to add it again in other letter case\n/c/a|m|ON|Add attribute m\n"
         "/c/a|x|¤|Remove attribute x\n/c/a||¥|Clear the text, to set it again in other letter case\n"
         "/c/a||YES|Change the text\n"},
        // Layout, attribute order and the order of differently named siblings are no difference.
        {"<c>\n  <a x='1' y='2'>t</a>\n  <b> </b>\n</c>", "<c><b/><a y='2' x='1'><![CDATA[t]]></a></c>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        const ConfigDiff diff = Diff(c.before, c.after);
        EXPECT_EQ(ProblemList(diff), "");
        EXPECT_EQ(EntryLines(diff), c.entries);
    }
}

TEST(DiffConfigs, NamesWhatAFixCannotMake) {
    const struct {
        const char* before;
        const char* after;
        const char* path;
        const char* reason;
    } cases[] = {
        {"<c><l><id>1</id></l><l><id>2</id></l></c>", "<c><l><id>2</id></l><l><id>1</id></l></c>", "/c/l¤2", "moved"},
        {"<c><r/></c>", "<c><r/><r/></c>", "/c/r[2]", "cannot create"},
        {"<c><a/></c>", "<c><a><!--x--></a></c>", "/c/a", "comment"},
        {"<c><a>t<b/></a></c>", "<c><a>u<b/></a></c>", "/c/a", "beside child elements"},
        {"<a/>", "<b/>", "/a", "root"},
        {"<c><a>x</a></c>", "<c><a>€</a></c>", "/c/a", "Latin-1"},
        {"<c><a>x</a></c>", "<c><a>1&#13;&#10;2</a></c>", "/c/a", "CR LF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        const ConfigDiff diff = Diff(c.before, c.after);
        ASSERT_EQ(diff.Problems.size(), 1u) << ProblemList(diff);
        EXPECT_EQ(kestrune::Latin1ToUtf8(diff.Problems[0].Path), c.path);
        EXPECT_NE(diff.Problems[0].Reason.find(c.reason), std::string::npos) << diff.Problems[0].Reason;
    }
}

// Seeded random changes, of every kind a fix can make, made to a tree directly.
class Changer {
public:
    Changer(pugi::xml_document& dom, unsigned seed) : root_(dom.document_element()), random_(seed) {}

    void Change() {
        Node e = Any([](Node) { return true; });
        Node owner = Any([](Node n) { return !n.first_attribute().empty(); });
        pugi::xml_attribute a = owner.first_attribute();
        for (std::size_t n = Pick(4); n > 0 && a.next_attribute(); --n) a = a.next_attribute();
        switch (Pick(5)) {
        case 0: a.set_value(Value(true).c_str()); break;
        case 1: e.append_attribute(("k" + std::to_string(serial_++)).c_str()).set_value(Value(true).c_str()); break;
        case 2: owner.remove_attribute(a); break;
        case 3: if (!e.find_child([](Node c) { return !IsText(c); })) SetText(e, Pick(4) ? Value(false) : ""); break;
        default: if (e != root_) e.parent().remove_child(e); break;
        }
    }

    // Added last: a change after it could leave it beyond what a fix can create.
    void Add() {
        Node parent = Any([](Node e) { return !HasText(e); });
        const Node keyed = parent.find_child([](Node c) { return !c.child("id").text().empty(); });
        Node added = parent.append_child(keyed ? keyed.name() : ("added" + std::to_string(serial_)).c_str());
        if (keyed) added.append_child("id").text().set(("new" + std::to_string(serial_)).c_str());
        if (Pick(2) == 0) added.append_attribute("a").set_value(Value(true).c_str());
        if (Pick(2) == 0) SetText(added.append_child("inner"), Value(false));
        ++serial_;
    }

private:
    static bool IsText(Node n) { return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata; }
    static bool Blank(const char* text) { return std::string(text).find_first_not_of(" \t\r\n") == std::string::npos; }
    static bool HasText(Node e) {
        return e.find_child([](Node c) { return IsText(c) && !Blank(c.value()); });
    }

    static void SetText(Node e, const std::string& text) {
        while (e.first_child()) e.remove_child(e.first_child());
        if (!text.empty()) e.append_child(pugi::node_pcdata).set_value(text.c_str());
    }

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

    // Two to eight characters, Latin-1 and the markers among them, and in an
    // attribute either quote (a text may be a key, which holds none).
    std::string Value(bool attribute) {
        static const std::vector<std::string> letters = {"a", "Z", "0", "7", " ", ".", "-", "é", "¤", "&", "<"};
        std::string value;
        for (std::size_t n = 2 + Pick(7); n > 0; --n) value += letters[Pick(letters.size())];
        if (attribute && Pick(3) == 0) value += Pick(2) == 0 ? "'" : "\"";
        return value;
    }

    // One of the elements below the root that fit, or the root when none does.
    Node Any(const std::function<bool(Node)>& fits) {
        std::vector<Node> found;
        for (const auto& x : root_.select_nodes(".//*")) {
            if (fits(x.node())) found.push_back(x.node());
        }
        return found.empty() ? root_ : found[Pick(found.size())];
    }

    Node root_;
    std::mt19937 random_;
    int serial_ = 0;
};

// Applies the entries to doc as the fix run does and expects every one of
// them reported as changed, created or deleted, never skipped.
void ExpectEveryEntryDone(modXML::XmlDocument& doc, const std::vector<FixEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FixEntry& e = entries[i];
        const std::string label = "Fix " + std::to_string(i);
        modGen::ReportLog.clear();
        modXML::ApplyFixEntry(doc, e.Path, e.Attribute, e.Value, label);
        const std::string& line = modGen::ReportLog;
        EXPECT_TRUE(line == "Changing " + label + "\r\n" || line == "Creating " + label + "\r\n" ||
                    line == "Deleting " + label + "\r\n")
            << line << " for " << FixFileText({e});
    }
}

// The samples with ten seeds of 16 changes each, the corpus with two of 60.
class DiffPromise : public ::testing::TestWithParam<std::string> {};

// F = diff(B, A) for seeded random changes: F applied to B reports every
// entry done and leaves no difference from A.
TEST_P(DiffPromise, TheFixMakesAfterOutOfBefore) {
    const std::filesystem::path file = GetParam();
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "the router corpus is not beside the project";
    const std::string xml = kestrune::test::ReadFile(file.string());
    const bool sample = file.parent_path() == kestrune::test::SourceDir() / "samples";
    for (unsigned seed = 1; seed <= (sample ? 10u : 2u); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        modXML::XmlDocument before, after;
        ASSERT_TRUE(before.Parse(xml).ok && after.Parse(xml).ok);
        Changer changer(after.Dom(), seed);
        const int changes = sample ? 16 : 60;
        for (int n = 0; n < changes; ++n) changer.Change();
        for (int n = 0; n <= changes / 4; ++n) changer.Add();

        const ConfigDiff diff = DiffConfigs(before, after);
        EXPECT_EQ(ProblemList(diff), "");
        ASSERT_FALSE(diff.Entries.empty());
        ExpectEveryEntryDone(before, diff.Entries);
        const ConfigDiff again = DiffConfigs(before, after);
        EXPECT_EQ(ProblemList(again) + EntryLines(again), "");
    }
}

std::vector<std::string> PromiseFiles() {
    std::vector<std::string> files;
    for (const char* sample : {"router.xml", "router-wpa.xml", "router-no-wireless.xml"}) {
        files.push_back(kestrune::test::SourceDir() / "samples" / sample);
    }
    const std::filesystem::path corpus = kestrune::test::CorpusDir();
    for (const char* name : {"F600W", "ZXHN_H108N_V2.5", "ZXHN_H267A", "ZXHN_H298Q_C7_db", "db_default_auto_cfg"}) {
        files.push_back((corpus / (std::string(name) + ".xml")).string());
    }
    return files;
}

INSTANTIATE_TEST_SUITE_P(SamplesAndCorpus, DiffPromise, ::testing::ValuesIn(PromiseFiles()), [](const auto& test) {
    std::string name = std::filesystem::path(test.param).stem().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

}  // namespace
