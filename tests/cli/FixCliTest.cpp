#include "TestSupport.h"

#include <gtest/gtest.h>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

class FixCli : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(fixDir / "a_admin.fix", "[Router Fix]\r\np=/config/system/remote_admin/enabled\r\nv=0\r\n");
        WriteFile(fixDir / "fix_hostname.txt", "[Router Fix]\r\np=/config/system/hostname\r\nv=gateway\r\n");
        WriteFile(fixDir / "fix.wep",
                  "[Router Fix]\r\np=/config/modules/ap/settings/privacy_type\r\nv=1\r\nd=Enable WEP\r\n");
        const auto samples = kestrune::test::SourceDir() / "samples";
        WriteFile(configDir / "router.xml", ReadFile((samples / "router.xml").string()));
        WriteFile(configDir / "router.bin", ReadFile((samples / "router.bin").string()));
    }

    TempDir fixDir;
    TempDir configDir;
};

TEST_F(FixCli, FixesAContainerAndPrintsTheReport) {
    const auto r = RunCli({"fix", configDir / "router.bin", "--fix-dir", fixDir.path().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Kestrune v2.0.0\nConverting bin file to xml\nSuccessfully loaded XML\nApplying fixes\nChanging Fix 0\n"
              "Making WEP changes\nChanging Enable WEP\nConverting xml back to bin file\nSaved config file\n");
    EXPECT_EQ(r.err, "info: The config file has been fixed!\n");
    EXPECT_EQ(ListFolder(configDir.path()).size(), 3u) << "router.xml, router.bin and one backup";

    const auto unpacked = RunCli({"unpack", configDir / "router.bin"});
    EXPECT_NE(unpacked.out.find("<privacy_type>1</privacy_type>"), std::string::npos);
}

TEST_F(FixCli, OptionsChooseTheFixVerbosityAndDryRun) {
    const std::string original = ReadFile(configDir / "router.xml");
    const struct {
        std::vector<std::string> options;
        const char* line;
        bool writes;
    } cases[] = {
        {{"--fix", "fix_hostname.txt"}, "\nChanging Fix 0\n", true},
        {{"--fix", fixDir / "fix_hostname.txt", "--verbose"}, "\nChanging /config/system/hostname to gateway\n", true},
        {{"--dry-run"}, "\nDry run: nothing was written\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        WriteFile(configDir / "router.xml", original);
        std::vector<std::string> args = {"fix", configDir / "router.xml", "--fix-dir", fixDir.path().string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(configDir / "router.xml") != original, c.writes);
    }
}

TEST_F(FixCli, FailuresExitWithOneAndUsageErrorsWithTwo) {
    WriteFile(configDir / "broken.xml", "<config><unclosed></config>");
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* inErr;
        bool printsReport;
    } cases[] = {
        {{"fix", configDir / "missing.xml"}, 1, "warning: Error 53 - File not found", false},
        {{"fix", configDir / "broken.xml"}, 1, "error: XML load failed", true},
        {{"fix", configDir / "router.xml", "--fix", "nosuch.fix"}, 1, "No fix file", false},
        {{"fix"}, 2, "missing argument", false},
        {{"fix", "a.xml", "b.xml"}, 2, "unexpected argument", false},
        {{"fix", "a.xml", "--bogus"}, 2, "unknown option --bogus", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inErr);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--fix-dir", fixDir.path().string()});
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_EQ(r.out.rfind("Kestrune v2.0.0\n", 0) == 0, c.printsReport) << r.out;
    }
    EXPECT_EQ(ReadFile(configDir / "broken.xml"), "<config><unclosed></config>");
}

TEST_F(FixCli, ListShowsTheWindowsFixList) {
    WriteFile(fixDir / "B.FIX", "");
    const auto r = RunCli({"list", "--fix-dir", fixDir.path().string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "a_admin.fix\nB.FIX\nfix_hostname.txt\n");
}

}  // namespace
