#include "app/FixFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;

namespace {

// fixes/src holds NAME.plain for each enciphered fixes/NAME, and only for those.
TEST(SampleFixes, EveryEncipheredFixDeciphersToItsSource) {
    const std::filesystem::path fixes = kestrune::test::SourceDir() / "fixes";
    std::vector<std::string> enciphered, sources;
    for (const auto& name : ListFolder(fixes)) {
        if (!std::filesystem::is_regular_file(fixes / name)) continue;
        const std::string text = ReadFile(fixes / name);
        if (!kestrune::IsEncipheredFixText(text)) continue;
        enciphered.push_back(name + ".plain");
        kestrune::clsBlowfish cipher;
        EXPECT_EQ(kestrune::DecipherFixText(text, cipher), ReadFile(fixes / "src" / (name + ".plain"))) << name;
    }
    for (const auto& name : ListFolder(fixes / "src")) {
        if (name.ends_with(".plain")) sources.push_back(name);
    }
    EXPECT_EQ(enciphered, sources);
    EXPECT_GE(enciphered.size(), 2u);
}

}  // namespace
