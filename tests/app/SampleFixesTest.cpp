#include "app/FixFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <set>

using kestrune::clsBlowfish;
using kestrune::FixEntryList;
using kestrune::test::FakeUserInterface;
using kestrune::test::ReadFile;
using kestrune::test::SourceDir;

namespace {

std::filesystem::path FixesDir() { return SourceDir() / "fixes"; }

// The names the window offers, plus the WEP fix.
std::vector<std::string> FixNames() {
    std::vector<std::string> names;
    for (const auto& name : kestrune::test::ListFolder(FixesDir())) {
        const bool listed = (name.size() > 4 && name.ends_with(".fix")) ||
                            (name.starts_with("fix_") && name.ends_with(".txt"));
        if (listed || name == "fix.wep") names.push_back(name);
    }
    return names;
}

// The XPath of the element a path's parent names, with keyed steps reduced
// to the element name; for checking that a fix fits the sample.
std::string ParentQuery(const std::string& path) {
    std::string query = path.substr(0, path.rfind('/'));
    std::string out;
    bool inKey = false;
    for (const char c : query) {
        if (c == '\xA4') {
            inKey = true;
        } else if (c == '/') {
            inKey = false;
            out += c;
        } else if (!inKey) {
            out += c;
        }
    }
    return out;
}

}  // namespace

TEST(SampleFixes, EveryEncipheredFixDeciphersToItsSource) {
    int enciphered = 0;
    for (const auto& name : FixNames()) {
        const std::string text = ReadFile((FixesDir() / name).string());
        if (!kestrune::IsEncipheredFixText(text)) continue;
        SCOPED_TRACE(name);
        ++enciphered;
        const auto source = FixesDir() / "src" / (name + ".plain");
        ASSERT_TRUE(std::filesystem::exists(source)) << source;
        clsBlowfish cipher;
        EXPECT_EQ(kestrune::DecipherFixText(text, cipher), ReadFile(source.string()));
    }
    EXPECT_GE(enciphered, 2);
}

TEST(SampleFixes, LoadCleanlyAndFitTheSampleConfiguration) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((SourceDir() / "samples" / "router.xml").c_str()));
    const auto names = FixNames();
    EXPECT_GE(names.size(), 5u);  // at least four fixes and the WEP fix
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string text = ReadFile((FixesDir() / name).string());
        const std::string plain =
            kestrune::IsEncipheredFixText(text) ? ReadFile((FixesDir() / "src" / (name + ".plain")).string()) : text;
        EXPECT_TRUE(plain.starts_with("[Router Fix]\r\n"));
        // Every line ends in CR LF: no LF stands alone.
        for (std::size_t i = plain.find('\n'); i != std::string::npos; i = plain.find('\n', i + 1)) {
            ASSERT_TRUE(i > 0 && plain[i - 1] == '\r') << "lone LF at " << i;
        }
        EXPECT_TRUE(plain.ends_with("\r\n"));

        clsBlowfish cipher;
        FakeUserInterface ui;
        FixEntryList entries;
        kestrune::LoadFixFile(FixesDir().string(), name, entries, cipher, ui);
        EXPECT_TRUE(ui.messages.empty());
        for (const auto& e : entries) {
            SCOPED_TRACE(e.Path);
            EXPECT_TRUE(e.Path.starts_with("/config/"));
            EXPECT_TRUE(doc.select_node(ParentQuery(e.Path).c_str())) << ParentQuery(e.Path);
        }
    }
}

TEST(SampleFixes, WepFixSetsTheFourWepSettingsWithLabels) {
    clsBlowfish cipher;
    FakeUserInterface ui;
    FixEntryList entries;
    kestrune::LoadFixFile(FixesDir().string(), "fix.wep", entries, cipher, ui);
    EXPECT_TRUE(ui.messages.empty());
    std::set<std::string> paths;
    for (const auto& e : entries) {
        EXPECT_FALSE(e.Description.empty()) << e.Path;
        EXPECT_FALSE(e.Value.empty()) << e.Path;
        paths.insert(e.Path);
    }
    const std::set<std::string> expected = {
        "/config/modules/ap/settings/privacy_type", "/config/modules/ap/settings/wep_privacy",
        "/config/modules/ap/settings/wep_key_index", "/config/modules/ap/settings/wep_key1"};
    EXPECT_EQ(paths, expected);
}
