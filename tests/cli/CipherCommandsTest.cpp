#include "app/FixFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

const std::string PlainFix = "[Router Fix]\r\np=/config/system/telnet/enabled\r\nv=0\r\nd=Telnet off\r\n";

}  // namespace

TEST(CliEncrypt, EnciphersUnderTheFixKeyAndDecryptGivesTheBytesBack) {
    TempDir dir;
    const char tail[] = "p=/config/x\xA4" "7/y\r\nv=\xA5\r\nd=\xE9\0\r\n\r";
    const std::string plain = PlainFix + std::string(tail, sizeof tail);  // ends in a zero byte
    WriteFile(dir / "plain.txt", plain);
    const auto enc = RunCli({"encrypt", dir / "plain.txt", "-o", dir / "out.fix"});
    ASSERT_EQ(enc.exitCode, 0) << enc.err;
    const std::string enciphered = ReadFile(dir / "out.fix");
    EXPECT_TRUE(enciphered.starts_with("[Encrypted]"));
    kestrune::clsBlowfish cipher;
    EXPECT_EQ(cipher.DecryptString(enciphered.substr(11), kestrune::FixFileKey), plain);

    const auto dec = RunCli({"decrypt", dir / "out.fix"});
    EXPECT_EQ(dec.exitCode, 0) << dec.err;
    EXPECT_EQ(dec.out, plain);
}

TEST(CliEncrypt, RefusesTextTheWindowCouldNotLoadAndArgumentAndFileErrors) {
    TempDir dir;
    WriteFile(dir / "existing.fix", "old");
    const std::string refused = " does not begin with \"[Router Fix]\" and CR LF; the window could not load it once "
                                "enciphered. Nothing written.\n";
    for (const std::string text : {"p=/config/a\r\nv=1\r\n", "[Router Fix]\np=/config/a\n"}) {
        WriteFile(dir / "plain.txt", text);
        const auto r = RunCli({"encrypt", dir / "plain.txt", "-o", dir / "existing.fix"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "error: " + dir / "plain.txt" + refused);
    }
    const auto noOutput = RunCli({"encrypt", dir / "plain.txt"});
    EXPECT_EQ(noOutput.exitCode, 2);
    EXPECT_EQ(noOutput.err, "kestrune-cli encrypt: encrypt needs -o FILE; try 'kestrune-cli encrypt --help'\n");
    const auto missing = RunCli({"encrypt", dir / "missing.txt", "-o", dir / "out.fix"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "error: Error 53 - File not found\n");
    EXPECT_EQ(ReadFile(dir / "existing.fix"), "old");
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"existing.fix", "plain.txt"}));
}

TEST(CliDecrypt, FilesItCannotReadGiveTheLoaderMessageAndWriteNothing) {
    TempDir dir;
    kestrune::clsBlowfish cipher;
    const std::string good = kestrune::EncipherFixText(PlainFix, cipher);
    const std::string corrupted = "warning: Error decrypting file - file corrupted.\n";
    const struct {
        std::string text;
        std::string err;
    } cases[] = {
        {PlainFix, corrupted + "warning: " + dir / "in.fix" + " does not begin with \"[Encrypted]\".\n"},
        {kestrune::EncipherFixText("p=/config/a\r\n", cipher), corrupted},
        {good.substr(0, good.size() - 5), "error: Error 9 - Subscript out of range\n"},
        {good.substr(0, 11 + 16), "error: Error -2147221504 - Incorrect size descriptor in Blowfish decryption\n"},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "in.fix", c.text);
        const auto r = RunCli({"decrypt", dir / "in.fix", "-o", dir / "out.txt"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"in.fix"});
    }
}

TEST(CliShow, ListsEntriesWithMarkersAndControlCharactersVisible) {
    TempDir dir;
    kestrune::clsBlowfish cipher;
    const std::string plain =
        "[Router Fix]\r\np=/config/rules/rule\xA4" "20/action\r\nv=drop\r\nd=New \"rule\"\r\n"
        "p=/config/a\r\na=mode\r\nv=\xA4\r\np=/config/b\r\nv=\xA5\r\np=/config/c\tx\r\nv=a\\b\r\n";
    WriteFile(dir / "sample.fix", kestrune::EncipherFixText(plain, cipher));
    const auto r = RunCli({"show", dir / "sample.fix"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "0 path=\"/config/rules/rule\xC2\xA4" "20/action\" attribute=\"\" value=\"drop\" "
              "description=\"New \\\"rule\\\"\"\n"
              "1 path=\"/config/a\" attribute=\"mode\" value=<delete> description=\"\"\n"
              "2 path=\"/config/b\" attribute=\"\" value=<clear> description=\"\"\n"
              "3 path=\"/config/c\\x09x\" attribute=\"\" value=\"a\\\\b\" description=\"\"\n");

    WriteFile(dir / "empty.fix", "[Router Fix]\r\nv=1\r\n");
    const auto empty = RunCli({"show", "empty.fix"}, dir.path().string());  // a bare name is in the working folder
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err, "warning: No fixes found in file.\n");
    EXPECT_EQ(empty.out, "0 path=\"\" attribute=\"\" value=\"1\" description=\"\"\n");
}
