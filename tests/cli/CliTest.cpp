#include "TestSupport.h"

#include <gtest/gtest.h>

using kestrune::test::RunCli;

TEST(Cli, VersionHelpAndUsageErrors) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* inOut;
        const char* inErr;
    } cases[] = {
        {{"--version"}, 0, "Kestrune 2.0.0\n", ""},
        {{"--help"}, 0, "Usage: kestrune-cli COMMAND", ""},
        {{}, 2, "", "Usage: kestrune-cli COMMAND"},
        {{"frobnicate"}, 2, "", "unknown command 'frobnicate'; try 'kestrune-cli --help'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        const auto r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    }
}
