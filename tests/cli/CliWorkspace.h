// A folder for runs of kestrune-cli: the sample router.bin and router.xml, the public DNS fix
// enciphered (dns.fix) and plain (dns.txt), and "fixes" with a fix renaming the router and fix.wep.
#pragma once

#include "TestSupport.h"

struct CliWorkspace {
    CliWorkspace() {
        std::filesystem::create_directory(dir.path() / "fixes");
        kestrune::test::WriteFile(dir / "fixes/fix_hostname.txt",
                                  "[Router Fix]\r\np=/config/system/hostname\r\nv=gateway\r\n");
        const char* const copies[][2] = {{"fixes/fix.wep", "fixes/fix.wep"}, {"router.bin", "samples/router.bin"},
                                         {"router.xml", "samples/router.xml"}, {"dns.fix", "fixes/public_dns.fix"},
                                         {"dns.txt", "fixes/src/public_dns.fix.plain"}};
        for (const auto& [name, source] : copies) kestrune::test::WriteFile(dir / name, kestrune::test::Source(source));
    }
    kestrune::test::CliResult Run(const std::vector<std::string>& args, kestrune::test::CliOptions options = {}) const {
        options.workDir = dir.path().string();
        return kestrune::test::RunCli(args, options);
    }
    std::string operator/(const std::string& name) const { return dir / name; }
    kestrune::test::TempDir dir;
};
