#include "app/FixFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

const std::string PlainFix = "[Router Fix]\r\np=/config/system/telnet/enabled\r\nv=0\r\nd=Telnet off\r\n";

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace

TEST(CliEncrypt, EnciphersUnderTheFixKeyAndDecryptGivesTheBytesBack) {
    TempDir dir;
    const char tail[] = "p=/config/x\xA4" "7/y\r\nv=\xA5\r\nd=\xE9\0\r\n\r";
    const std::string plain = PlainFix + std::string(tail, sizeof tail - 1) + std::string(1, '\0');
    WriteFile(dir / "plain.txt", plain);
    const auto enc = RunCli({"encrypt", dir / "plain.txt", "-o", dir / "out.fix"});
    ASSERT_EQ(enc.exitCode, 0) << enc.err;
    const std::string enciphered = ReadFile(dir / "out.fix");
    EXPECT_TRUE(enciphered.starts_with("[Encrypted]"));
    kestrune::clsBlowfish cipher;
    EXPECT_EQ(cipher.DecryptString(enciphered.substr(11), kestrune::FixFileKey), plain);

    const auto toStdout = RunCli({"decrypt", dir / "out.fix"});
    EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, plain);
    const auto toFile = RunCli({"decrypt", dir / "out.fix", "-o", dir / "back.txt"});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(ReadFile(dir / "back.txt"), plain);
}

TEST(CliEncrypt, RefusesTextTheWindowCouldNotLoad) {
    TempDir dir;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"no header", "p=/config/a\r\nv=1\r\n"},
        {"header with LF only", "[Router Fix]\np=/config/a\n"},
        {"header after a blank line", "\r\n[Router Fix]\r\np=/config/a\r\n"},
        {"empty file", ""},
    };
    WriteFile(dir / "existing.fix", "old");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "plain.txt", c.text);
        for (const char* target : {"new.fix", "existing.fix"}) {
            const auto r = RunCli({"encrypt", dir / "plain.txt", "-o", dir / target});
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("does not begin with \"[Router Fix]\""), std::string::npos) << r.err;
        }
        EXPECT_FALSE(Exists(dir / "new.fix"));
        EXPECT_EQ(ReadFile(dir / "existing.fix"), "old");
    }
}

TEST(CliEncrypt, ArgumentAndFileErrors) {
    TempDir dir;
    WriteFile(dir / "plain.txt", PlainFix);
    const auto noOutput = RunCli({"encrypt", dir / "plain.txt"});
    EXPECT_EQ(noOutput.exitCode, 2);
    EXPECT_NE(noOutput.err.find("needs -o FILE"), std::string::npos) << noOutput.err;
    const auto missing = RunCli({"encrypt", dir / "missing.txt", "-o", dir / "out.fix"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Error 53 - File not found"), std::string::npos) << missing.err;
    EXPECT_FALSE(Exists(dir / "out.fix"));
}

TEST(CliDecrypt, FilesItCannotReadGiveTheLoaderMessageAndWriteNothing) {
    TempDir dir;
    kestrune::clsBlowfish cipher;
    const std::string good = kestrune::EncipherFixText(PlainFix, cipher);
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        {"plain fix", PlainFix, "warning: Error decrypting file - file corrupted."},
        {"tag after a blank line", "\r\n" + good, "warning: Error decrypting file - file corrupted."},
        {"deciphered text without header", kestrune::EncipherFixText("p=/config/a\r\n", cipher),
         "warning: Error decrypting file - file corrupted."},
        {"cut enciphered text", good.substr(0, good.size() - 5), "Error 9 - Subscript out of range"},
        {"size descriptor out of range", good.substr(0, 11 + 16),
         "Error -2147221504 - Incorrect size descriptor in Blowfish decryption"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "in.fix", c.text);
        const auto toFile = RunCli({"decrypt", dir / "in.fix", "-o", dir / "out.txt"});
        EXPECT_EQ(toFile.exitCode, 1);
        EXPECT_NE(toFile.err.find(c.message), std::string::npos) << toFile.err;
        EXPECT_FALSE(Exists(dir / "out.txt"));
        const auto toStdout = RunCli({"decrypt", dir / "in.fix"});
        EXPECT_EQ(toStdout.exitCode, 1);
        EXPECT_EQ(toStdout.out, "");
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
}

TEST(CliShow, LoaderMessagesGoToStandardErrorWithExitOne) {
    TempDir dir;
    WriteFile(dir / "empty.fix", "[Router Fix]\r\nv=1\r\n");
    const auto empty = RunCli({"show", dir / "empty.fix"});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err, "warning: No fixes found in file.\n");
    EXPECT_EQ(empty.out, "0 path=\"\" attribute=\"\" value=\"1\" description=\"\"\n");

    const auto missing = RunCli({"show", dir / "missing.fix"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find(dir / "missing.fix"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("Error 53 - File not found"), std::string::npos) << missing.err;

    // A bare name is looked up in the working folder.
    WriteFile(dir / "plain.fix", PlainFix);
    const auto bare = RunCli({"show", "plain.fix"}, dir.path().string());
    EXPECT_EQ(bare.exitCode, 0) << bare.err;
    EXPECT_EQ(bare.out, "0 path=\"/config/system/telnet/enabled\" attribute=\"\" value=\"0\" description=\"Telnet off\"\n");
}
