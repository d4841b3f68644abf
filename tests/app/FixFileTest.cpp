#include "app/FixFile.h"
#include "common/Errors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using kestrune::clsBlowfish;
using kestrune::FixEntry;
using kestrune::FixEntryList;
using kestrune::MessageIcon;
using kestrune::test::FakeUserInterface;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace kestrune {

// For comparing lists in the tests; vector's == finds these by the entry's namespace.
bool operator==(const FixEntry& a, const FixEntry& b) {
    return a.Path == b.Path && a.Value == b.Value && a.Attribute == b.Attribute && a.Description == b.Description;
}

std::ostream& operator<<(std::ostream& out, const FixEntry& e) {
    return out << "{p=" << test::ToHex(e.Path) << " v=" << test::ToHex(e.Value) << " a=" << e.Attribute
               << " d=" << e.Description << "}";
}

}  // namespace kestrune

namespace {

const std::string Corrupted = "Error decrypting file - file corrupted.";
const std::string NoFixes = "No fixes found in file.";

const FixEntryList OneEmptyEntry = {FixEntry{}};

struct Loaded {
    FixEntryList entries;
    std::vector<std::string> messages;
};

// Parses text into a list that held something before, as the window's does.
Loaded Parse(const std::string& text) {
    Loaded result;
    result.entries = {FixEntry{"/old", "1", "", ""}, FixEntry{"/older", "2", "", ""}};
    clsBlowfish cipher;
    FakeUserInterface ui;
    kestrune::ParseFixText(text, result.entries, cipher, ui);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.icon, MessageIcon::Warning);
        EXPECT_EQ(m.title, "Kestrune");
        result.messages.push_back(m.text);
    }
    return result;
}

std::string Enciphered(const std::string& plain) {
    clsBlowfish cipher;
    return kestrune::EncipherFixText(plain, cipher);
}

}  // namespace

TEST(AddFixEntry, ReusesEntryZeroWhileItsPathIsEmpty) {
    FixEntryList entries = {FixEntry{"", "v", "a", "d"}};
    EXPECT_EQ(kestrune::AddFixEntry(entries, ""), 0);
    EXPECT_EQ(kestrune::AddFixEntry(entries, "/x"), 0);
    EXPECT_EQ(kestrune::AddFixEntry(entries, "/y"), 1);
    EXPECT_EQ(kestrune::AddFixEntry(entries, ""), 2);
    EXPECT_EQ(kestrune::AddFixEntry(entries, "/z"), 3);
    const FixEntryList expected = {FixEntry{"/x", "v", "a", "d"}, FixEntry{"/y", "", "", ""}, FixEntry{"", "", "", ""},
                                   FixEntry{"/z", "", "", ""}};
    EXPECT_EQ(entries, expected);
}

TEST(ParseFixText, TheWorkedExampleGivesTwoEntries) {
    const auto r = Parse(
        "[Router Fix]\r\np=/config/a/b\r\nv=1\r\np=/config/a/item\xA4"
        "7/c\r\na=mode\r\nv=\xA4\r\nd=Remove the mode\r\n");
    const FixEntryList expected = {FixEntry{"/config/a/b", "1", "", ""},
                                   FixEntry{"/config/a/item\xA4"
                                            "7/c",
                                            "\xA4", "mode", "Remove the mode"}};
    EXPECT_EQ(r.entries, expected);
    EXPECT_TRUE(r.messages.empty());
}

TEST(ParseFixText, FollowsTheLineRules) {
    const std::string longPath = "/config/" + std::string(200000, 'x');
    const struct {
        const char* name;
        std::string text;
        FixEntryList entries;
        std::vector<std::string> messages;
    } cases[] = {
        {"no header line", "p=/a\r\nv=1", {{"/a", "1", "", ""}}, {}},
        {"LF only is one line", "[Router Fix]\np=/a\nv=1\n", OneEmptyEntry, {NoFixes}},
        {"LF only after p= is one path", "p=/a\nv=1\n", {{"/a\nv=1\n", "", "", ""}}, {}},
        {"lone CR stays in the line", "p=/a\rb\r\nv=\r1\r\n", {{"/a\rb", "\r1", "", ""}}, {}},
        {"empty p= is reused", "p=\r\nv=1\r\nd=kept\r\np=/x\r\n", {{"/x", "1", "", "kept"}}, {}},
        {"empty p= after a path is kept", "p=/x\r\np=\r\nv=2\r\n", {{"/x", "", "", ""}, {"", "2", "", ""}}, {}},
        {"upper-case keys match nothing", "P=/a\r\nV=1\r\nA=x\r\nD=y\r\n", OneEmptyEntry, {NoFixes}},
        {"indented keys match nothing", " p=/a\r\n\tv=1\r\n", OneEmptyEntry, {NoFixes}},
        {"v= alone is an empty value", "p=/a\r\nv=x\r\nv=\r\n", {{"/a", "", "", ""}}, {}},
        {"the later line wins", "p=/a\r\na=one\r\na=two\r\nd=x\r\nd=\r\n", {{"/a", "", "two", ""}}, {}},
        {"lines before p= fill entry 0", "v=9\r\na=at\r\nd=first\r\np=/a\r\np=/b\r\n",
         {{"/a", "9", "at", "first"}, {"/b", "", "", ""}}, {}},
        {"no p= keeps what was set", "[Router Fix]\r\na=x\r\nv=\xA5\r\n", {{"", "\xA5", "x", ""}}, {NoFixes}},
        {"empty text", "", OneEmptyEntry, {NoFixes}},
        {"short lines are skipped", "p\r\n\r\n=\r\np=/a\r\nv\r\n", {{"/a", "", "", ""}}, {}},
        {"rest kept exactly", "p= /a b \r\nv=  1 \r\n", {{" /a b ", "  1 ", "", ""}}, {}},
        {"marker inside a value is text", "p=/a\r\nv=x\xA4y\r\n", {{"/a", "x\xA4y", "", ""}}, {}},
        {"bytes 0 and 128-255", std::string("p=/\0\x80\xFF\r\nv=\0\r\nd=\xE9t\xE9\r\n", 20),
         {{std::string("/\0\x80\xFF", 4), std::string(1, '\0'), "", "\xE9t\xE9"}}, {}},
        {"very long line", "p=" + longPath + "\r\nv=1\r\n", {{longPath, "1", "", ""}}, {}},
        {"tag after a blank line is plain text", "\r\n" + Enciphered("[Router Fix]\r\np=/a\r\n"), OneEmptyEntry,
         {NoFixes}},
        {"tag in other letter case is plain text", "[ENCRYPTED]p=/a\r\n", OneEmptyEntry, {NoFixes}},
        {"enciphered fix", Enciphered("[Router Fix]\r\np=/a\r\nv=\xA4\r\n"), {{"/a", "\xA4", "", ""}}, {}},
        {"enciphered without header", Enciphered("p=/a\r\nv=1\r\n"), OneEmptyEntry, {Corrupted}},
        {"enciphered header with LF only", Enciphered("[Router Fix]\np=/a\r\n"), OneEmptyEntry, {Corrupted}},
        {"enciphered header only", Enciphered("[Router Fix]\r\n"), OneEmptyEntry, {NoFixes}},
        {"enciphered empty text", Enciphered(""), OneEmptyEntry, {Corrupted}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = Parse(c.text);
        EXPECT_EQ(r.entries, c.entries);
        EXPECT_EQ(r.messages, c.messages);
    }
}

TEST(ParseFixText, UndecipherableTextRaisesWithTheListReset) {
    const std::string good = Enciphered("[Router Fix]\r\np=/a\r\nv=1\r\n");
    const struct {
        const char* name;
        std::string text;
        std::int32_t number;
    } cases[] = {
        {"tag only", "[Encrypted]", 9},
        {"length not a multiple of 8", good.substr(0, good.size() - 3), 9},
        {"a block too short", good.substr(0, 11 + 8), 9},
        {"size descriptor out of range", good.substr(0, 11 + 16), -2147221504},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixEntryList entries = {FixEntry{"/old", "", "", ""}};
        clsBlowfish cipher;
        FakeUserInterface ui;
        try {
            kestrune::ParseFixText(c.text, entries, cipher, ui);
            ADD_FAILURE() << "no error";
        } catch (const kestrune::RunError& e) {
            EXPECT_EQ(e.number(), c.number);
        }
        EXPECT_EQ(entries, OneEmptyEntry);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(LoadFixFile, ReadsFromTheFolderAndReplacesTheList) {
    TempDir dir;
    WriteFile(dir / "a.fix", "[Router Fix]\r\np=/config/x\r\nv=1\r\n");
    WriteFile(dir / "b.fix", Enciphered("[Router Fix]\r\np=/config/y\r\n"));
    clsBlowfish cipher;
    FakeUserInterface ui;
    FixEntryList entries;
    // A folder with or without its final separator.
    kestrune::LoadFixFile(dir.path().string(), "a.fix", entries, cipher, ui);
    EXPECT_EQ(entries, (FixEntryList{{"/config/x", "1", "", ""}}));
    kestrune::LoadFixFile(dir.path().string() + "/", "b.fix", entries, cipher, ui);
    EXPECT_EQ(entries, (FixEntryList{{"/config/y", "", "", ""}}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST(LoadFixFile, UnreadableOrUndecipherableFileWarnsWithFileAndCause) {
    TempDir dir;
    const std::string good = Enciphered("[Router Fix]\r\np=/a\r\n");
    WriteFile(dir / "cut.fix", good.substr(0, good.size() - 1));
    WriteFile(dir / "descriptor.fix", good.substr(0, 11 + 16));
    std::filesystem::create_directory(dir.path() / "folder.fix");
    const struct {
        const char* name;
        const char* cause;
    } cases[] = {
        {"missing.fix", "Error 53 - File not found"},
        {"folder.fix", "Error 75 - Path/File access error"},
        {"cut.fix", "Error 9 - Subscript out of range"},
        {"descriptor.fix", "Error -2147221504 - Incorrect size descriptor in Blowfish decryption"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clsBlowfish cipher;
        FakeUserInterface ui;
        FixEntryList entries = {FixEntry{"/old", "", "", ""}, FixEntry{"/older", "", "", ""}};
        kestrune::LoadFixFile(dir.path().string(), c.name, entries, cipher, ui);
        EXPECT_EQ(entries, OneEmptyEntry);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
        EXPECT_NE(ui.messages[0].text.find(dir / c.name), std::string::npos) << ui.messages[0].text;
        EXPECT_NE(ui.messages[0].text.find(c.cause), std::string::npos) << ui.messages[0].text;
    }
}

TEST(LoadFixFile, EncipheredTextCutAnywhereNeverLoadsAndAlwaysSaysWhy) {
    TempDir dir;
    const std::string plain = "[Router Fix]\r\np=/config/system/telnet/enabled\r\nv=0\r\nd=Telnet off\r\n";
    const std::string good = Enciphered(plain);
    for (std::size_t size = 0; size < good.size(); ++size) {
        SCOPED_TRACE(size);
        WriteFile(dir / "cut.fix", good.substr(0, size));
        clsBlowfish cipher;
        FakeUserInterface ui;
        FixEntryList entries;
        kestrune::LoadFixFile(dir.path().string(), "cut.fix", entries, cipher, ui);
        EXPECT_EQ(entries, OneEmptyEntry);
        // Shorter than the tag: a plain file without entries.
        EXPECT_EQ(ui.messages.size(), 1u);
    }
}

TEST(ParseFixText, RandomBytesNeverBreakTheLoader) {
    std::mt19937 random(12345);
    const std::string alphabet = std::string("pavd=\r\n\xA4\xA5\0x", 12);
    for (int i = 0; i < 2000; ++i) {
        std::string text = i % 3 == 0 ? "[Encrypted]" : "";
        const std::size_t n = random() % 300;
        for (std::size_t k = 0; k < n; ++k) {
            text += i % 2 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
        }
        FixEntryList entries;
        clsBlowfish cipher;
        FakeUserInterface ui;
        try {
            kestrune::ParseFixText(text, entries, cipher, ui);
        } catch (const kestrune::RunError&) {
            EXPECT_EQ(entries, OneEmptyEntry);
        }
        ASSERT_FALSE(entries.empty());
    }
}
