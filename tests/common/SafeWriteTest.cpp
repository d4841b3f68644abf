#include "common/SafeWrite.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using kestrune::WriteMode;
using kestrune::test::ErrorOf;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

// Every test runs twice: with the unnamed file, and with the hidden
// temporary file that file systems without unnamed files get.
class SafeWrite : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { kestrune::detail::TryUnnamedFiles = GetParam(); }
    void TearDown() override { kestrune::detail::TryUnnamedFiles = true; }
};

INSTANTIATE_TEST_SUITE_P(Both, SafeWrite, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& param) {
    return param.param ? "UnnamedFile" : "TemporaryFile";
});

TEST_P(SafeWrite, ReplacesKeepingThePermissionsOrCreatesAndLeavesNothingElse) {
    TempDir dir;
    const auto target = dir / "config.bin";
    WriteFile(target, "old content that is longer than the new one");
    ::chmod(target.c_str(), 0640);

    kestrune::WriteFileSafely(target, "new");
    kestrune::WriteFileSafely(dir / "config.bak", "copy", WriteMode::CreateNew);

    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"config.bak", "config.bin"}));
}

// Each write runs under a file-size limit, as on a full disk: one that goes too far fails there.
TEST_P(SafeWrite, FailedWritesLeaveEveryFileWholeAndNoTemporaryFile) {
    TempDir dir;
    const std::string original(10000, 'o');
    for (const char* name : {"config.bin", "readonly", "linked"}) WriteFile(dir / name, original);
    ::chmod((dir / "readonly").c_str(), 0444);
    ::link((dir / "linked").c_str(), (dir / "second").c_str());
    std::filesystem::create_directory(dir / "folder");
    ::mkfifo((dir / "pipe").c_str(), 0600);
    const struct {
        const char* name;
        WriteMode mode;
        int number;
    } cases[] = {
        {"config.bin", WriteMode::Replace, 61},
        {"folder", WriteMode::Replace, 75},
        // Not "File already exists": a backup would take the folder for an older backup.
        {"folder", WriteMode::CreateNew, 75},
        {"config.bin", WriteMode::CreateNew, 58},
        // Replacing any of these would lose something: the pipe, what the
        // file's permissions say, or the content its other name shows.
        {"pipe", WriteMode::Replace, 75},
        {"readonly", WriteMode::Replace, 75},
        {"linked", WriteMode::Replace, 75},
    };
    for (const auto& c : cases) {
        const auto write = [&] { kestrune::WriteFileSafely(dir / c.name, std::string(20000, 'n'), c.mode); };
        EXPECT_EQ(kestrune::test::RunWithFileSizeLimit(4096, [&] { return ErrorOf(write).number; }), c.number)
            << c.name << (c.mode == WriteMode::CreateNew ? " as a new file" : "");
    }
    for (const char* name : {"config.bin", "readonly", "linked", "second"}) {
        EXPECT_EQ(ReadFile(dir / name), original) << name;
    }
    for (const auto& name : ListFolder(dir.path())) EXPECT_EQ(name.find(".kestrune-"), std::string::npos) << name;
}
