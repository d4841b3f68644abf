#include "TestSupport.h"

#include <gtest/gtest.h>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::SourceDir;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

std::string Sample(const std::string& name) { return ReadFile((SourceDir() / "samples" / name).string()); }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(CliDiff, TheFixMadeFromTwoConfigurationsFixesAnotherCopyAlike) {
    TempDir dir;
    const std::string before = Sample("router-wpa.xml");
    const std::string after = Replaced(before, "<primary>10.11.12.13</primary>", "<primary>9.9.9.9</primary>");
    WriteFile(dir / "before.xml", before);
    WriteFile(dir / "after.xml", after);
    WriteFile(dir / "other.bin", Sample("router-wpa.bin"));

    const auto diff = RunCli({"diff", dir / "before.xml", dir / "after.xml", "-o", dir / "dns.fix"});
    ASSERT_EQ(diff.exitCode, 0) << diff.err;
    EXPECT_EQ(diff.err, "");
    const auto show = RunCli({"show", dir / "dns.fix"});
    EXPECT_EQ(show.out, "0 path=\"/config/network/wan/dns/primary\" attribute=\"\" value=\"9.9.9.9\" "
                        "description=\"Change the text\"\n");

    const auto fix = RunCli({"fix", dir / "other.bin", "--fix", dir / "dns.fix", "--fix-dir",
                             (SourceDir() / "fixes").string()});
    ASSERT_EQ(fix.exitCode, 0) << fix.err;
    const auto unpack = RunCli({"unpack", dir / "other.bin", "-o", dir / "fixed.xml"});
    ASSERT_EQ(unpack.exitCode, 0) << unpack.err;
    const auto again = RunCli({"diff", dir / "fixed.xml", dir / "after.xml"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, "[Router Fix]\r\n");
    EXPECT_EQ(again.err, "info: The configurations do not differ: the fix has no entries.\n");
}

TEST(CliDiff, ListsWhatAFixCannotMakeAndWritesOnlyWithPartial) {
    TempDir dir;
    WriteFile(dir / "before.xml", "<c><r/></c>");
    WriteFile(dir / "after.xml", "<c><r/><r/><x>1</x></c>");
    const std::string line = "/c/r[2]: it was added beside same-named siblings without an id child to key it by, "
                             "and the fix engine cannot create it\n";

    const auto refused = RunCli({"diff", dir / "before.xml", dir / "after.xml", "-o", dir / "out.fix"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "error: " + line +
                               "error: A fix cannot make the 1 difference above. Nothing written; --partial writes "
                               "the rest.\n");
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"after.xml", "before.xml"}));

    const auto partial = RunCli({"diff", dir / "before.xml", dir / "after.xml", "-o", dir / "out.fix", "--partial"});
    EXPECT_EQ(partial.exitCode, 0);
    EXPECT_EQ(partial.err, "warning: " + line);
    EXPECT_EQ(ReadFile(dir / "out.fix"), "[Router Fix]\r\np=/c/x\r\nv=1\r\nd=Add the element, with its text\r\n");
}

TEST(CliDiff, EncryptWritesWhatDecryptGivesBack) {
    TempDir dir;
    WriteFile(dir / "before.xml", Sample("router.xml"));
    WriteFile(dir / "after.xml", Replaced(Sample("router.xml"), "<port>8080</port>", "<port>8443</port>"));
    const auto plain = RunCli({"diff", dir / "before.xml", dir / "after.xml"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const auto enciphered = RunCli({"diff", dir / "before.xml", dir / "after.xml", "--encrypt", "-o", dir / "e.fix"});
    ASSERT_EQ(enciphered.exitCode, 0) << enciphered.err;
    EXPECT_TRUE(ReadFile(dir / "e.fix").starts_with("[Encrypted]"));
    EXPECT_EQ(RunCli({"decrypt", dir / "e.fix"}).out, plain.out);
}

TEST(CliDiff, UsageErrorsExitTwoAndUnreadableInputsOne) {
    TempDir dir;
    WriteFile(dir / "a.xml", "<c/>");
    WriteFile(dir / "broken.xml", "<c>");
    WriteFile(dir / "plain.bin", "<c/>");
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {{dir / "a.xml"}, 2, "kestrune-cli diff: missing argument; try 'kestrune-cli diff --help'\n"},
        {{dir / "a.xml", dir / "a.xml", "--bogus"}, 2,
         "kestrune-cli diff: unknown option --bogus; try 'kestrune-cli diff --help'\n"},
        {{dir / "missing.xml", dir / "a.xml"}, 1,
         "error: Cannot read BEFORE " + dir / "missing.xml" + ": Error 53 - File not found\n"},
        {{dir / "a.xml", dir / "broken.xml"}, 1,
         "error: Cannot read AFTER " + dir / "broken.xml" + ": XML load failed: "},
        {{dir / "plain.bin", dir / "a.xml"}, 1,
         "warning: Bin file type not recognized.\nerror: Cannot read BEFORE " + dir / "plain.bin" +
             ": it is not a config container\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        std::vector<std::string> args = {"diff", "-o", dir / "out.fix"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"a.xml", "broken.xml", "plain.bin"}));
}
