#include "app/FixFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using kestrune::clsBlowfish;
using kestrune::FixEntry;
using kestrune::test::TempDir;

namespace {

using namespace std::string_literals;

std::string Enciphered(const std::string& plain) {
    clsBlowfish cipher;
    return kestrune::EncipherFixText(plain, cipher);
}

// Loads name from folder into a list that held something before, as the window's does: the
// entries as "path|value|attribute|description" joined by ";", and the warnings shown.
std::string Load(const std::string& folder, const std::string& name, std::vector<std::string>& messages) {
    kestrune::FixEntryList entries = {FixEntry{"/old", "1", "", ""}, FixEntry{"/older", "2", "", ""}};
    clsBlowfish cipher;
    kestrune::test::FakeUserInterface ui;
    kestrune::LoadFixFile(folder, name, entries, cipher, ui);
    std::string text;
    for (const FixEntry& e : entries) {
        text += (text.empty() ? "" : ";") + e.Path + "|" + e.Value + "|" + e.Attribute + "|" + e.Description;
    }
    for (const auto& m : ui.messages) messages.push_back(m.text);
    return text;
}

TEST(LoadFixFile, FollowsTheLineRulesAndSaysWhyAFileDoesNotLoad) {
    TempDir dir;
    const std::string good = Enciphered("[Router Fix]\r\np=/a\r\n");
    const auto unloadable = [&](const std::string& why) {
        return std::vector<std::string>{"The fix file " + dir / "a.fix" + " could not be loaded.\r\nError " + why};
    };
    const std::vector<std::string> none = {"No fixes found in file."};
    const std::vector<std::string> corrupted = {"Error decrypting file - file corrupted."};
    const struct {
        const char* name;
        std::string text;
        std::string entries;
        std::vector<std::string> messages;
    } cases[] = {
        {"the worked example",
         "[Router Fix]\r\np=/config/a/b\r\nv=1\r\n"
         "p=/config/a/item\xA4" "7/c\r\na=mode\r\nv=\xA4\r\nd=Remove the mode\r\n",
         "/config/a/b|1||;/config/a/item\xA4" "7/c|\xA4|mode|Remove the mode", {}},
        {"LF only is one line", "[Router Fix]\np=/a\nv=1\n", "|||", none},
        {"LF only after p= is one path", "p=/a\nv=1\n", "/a\nv=1\n|||", {}},
        {"lone CR stays in the line", "p=/a\rb\r\nv=\r1\r\n", "/a\rb|\r1||", {}},
        {"empty p= is reused", "p=\r\nv=1\r\nd=kept\r\np=/x\r\n", "/x|1||kept", {}},
        {"empty p= after a path is kept", "p=/x\r\np=\r\nv=2\r\n", "/x|||;|2||", {}},
        {"upper-case or indented keys match nothing", "P=/a\r\nV=1\r\nA=x\r\n d=y\r\n\tp=/b\r\n", "|||", none},
        {"v= alone is an empty value", "p=/a\r\nv=x\r\nv=\r\n", "/a|||", {}},
        {"the later line wins", "p=/a\r\na=one\r\na=two\r\nd=x\r\nd=\r\n", "/a||two|", {}},
        {"lines before p= fill entry 0", "v=9\r\na=at\r\nd=first\r\np=/a\r\np=/b\r\n", "/a|9|at|first;/b|||", {}},
        {"no p= keeps what was set", "[Router Fix]\r\na=x\r\nv=\xA5\r\n", "|\xA5|x|", none},
        {"short lines are skipped", "p\r\n\r\n=\r\np=/a\r\nv\r\n", "/a|||", {}},
        {"rest kept exactly", "p= /a b \r\nv=  1 \r\n", " /a b |  1 ||", {}},
        {"marker inside a value is text", "p=/a\r\nv=x\xA4y\r\n", "/a|x\xA4y||", {}},
        {"bytes 0 and 128-255", "p=/\0\x80\xFF\r\nv=\0\r\n"s, "/\0\x80\xFF|\0||"s, {}},
        {"tag after a blank line is plain text", "\r\n" + Enciphered("[Router Fix]\r\np=/a\r\n"), "|||", none},
        {"tag in other letter case is plain text", "[ENCRYPTED]p=/a\r\n", "|||", none},
        {"enciphered fix", Enciphered("[Router Fix]\r\np=/a\r\nv=\xA4\r\n"), "/a|\xA4||", {}},
        {"enciphered without header", Enciphered("p=/a\r\nv=1\r\n"), "|||", corrupted},
        {"enciphered, cut short", good.substr(0, good.size() - 1), "|||", unloadable("9 - Subscript out of range")},
        {"enciphered, size descriptor out of range", good.substr(0, 11 + 16), "|||",
         unloadable("-2147221504 - Incorrect size descriptor in Blowfish decryption")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kestrune::test::WriteFile(dir / "a.fix", c.text);
        std::vector<std::string> messages;
        // The folder is named alternately with and without its final separator.
        const std::string folder = dir.path().string() + ((&c - cases) % 2 ? "/" : "");
        EXPECT_EQ(Load(folder, "a.fix", messages), c.entries);
        EXPECT_EQ(messages, c.messages);
    }
}

}  // namespace
