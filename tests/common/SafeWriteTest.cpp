#include "common/Errors.h"
#include "common/SafeWrite.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kestrune::RunError;
using kestrune::WriteFileSafely;
using kestrune::WriteMode;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

int ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RunError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

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

TEST_P(SafeWrite, ReplacesTheContentAndKeepsThePermissions) {
    TempDir dir;
    const auto target = dir / "config.bin";
    WriteFile(target, "old content that is longer than the new one");
    ::chmod(target.c_str(), 0640);

    WriteFileSafely(target, "new");

    EXPECT_EQ(ReadFile(target), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"config.bin"});
}

TEST_P(SafeWrite, FailedWritesLeaveTheTargetWholeAndNoTemporaryFile) {
    TempDir dir;
    const auto target = dir / "config.bin";
    const std::string original(10000, 'o');
    WriteFile(target, original);
    WriteFile(dir / "plainfile", "x");

    const struct {
        const char* name;
        std::function<int()> attempt;
        int expectedNumber;
    } cases[] = {
        {"file-size limit below the new size",
         [&] {
             return kestrune::test::RunWithFileSizeLimit(4096, [&] {
                 return ErrorNumberOf([&] { WriteFileSafely(target, std::string(20000, 'n')); });
             });
         },
         61},
        {"target is a folder",
         [&] {
             std::filesystem::create_directory(dir / "folder");
             return ErrorNumberOf([&] { WriteFileSafely(dir / "folder", "n"); });
         },
         75},
        // Not "File already exists": a backup would take the folder for an older backup.
        {"new file's name taken by a folder",
         [&] { return ErrorNumberOf([&] { WriteFileSafely(dir / "folder", "n", WriteMode::CreateNew); }); }, 75},
        {"folder is a plain file",
         [&] { return ErrorNumberOf([&] { WriteFileSafely(dir / "plainfile/x", "n"); }); }, 76},
        // Replacing any of these would lose something: the pipe, what the
        // file's permissions say, or the content its other name shows.
        {"target is a named pipe",
         [&] {
             ::mkfifo((dir / "pipe").c_str(), 0600);
             return ErrorNumberOf([&] { WriteFileSafely(dir / "pipe", "n"); });
         },
         75},
        {"target has no write bit",
         [&] {
             ::chmod(target.c_str(), 0444);
             const int number = ErrorNumberOf([&] { WriteFileSafely(target, "n"); });
             ::chmod(target.c_str(), 0644);
             return number;
         },
         75},
        {"target has a second name",
         [&] {
             ::link(target.c_str(), (dir / "second").c_str());
             const int number = ErrorNumberOf([&] { WriteFileSafely(target, "n"); });
             ::unlink((dir / "second").c_str());
             return number;
         },
         75},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.attempt(), c.expectedNumber);
        EXPECT_EQ(ReadFile(target), original);
        for (const auto& name : ListFolder(dir.path())) {
            EXPECT_EQ(name.find(".kestrune-"), std::string::npos) << name;
        }
    }
}

TEST_P(SafeWrite, CreateNewNeverReplacesAnExistingFile) {
    TempDir dir;
    const auto target = dir / "backup.bak";
    WriteFileSafely(target, "first", WriteMode::CreateNew);
    try {
        WriteFileSafely(target, "second", WriteMode::CreateNew);
        FAIL() << "no error";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), 58);
        EXPECT_EQ(e.description(), "File already exists");
    }
    EXPECT_EQ(ReadFile(target), "first");
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"backup.bak"});
}

TEST(ErrorFromErrno, MapsSystemErrorsToTheTable) {
    const struct {
        int err;
        int number;
    } cases[] = {
        {EACCES, 70}, {EROFS, 70}, {ENOSPC, 61}, {EFBIG, 61}, {ENOTDIR, 76},
        {EEXIST, 58}, {EISDIR, 75}, {EIO, 57},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const auto error = kestrune::ErrorFromErrno(c.err, "/tmp/x");
        EXPECT_EQ(error.number(), c.number);
        EXPECT_EQ(error.description(), kestrune::StandardDescription(c.number));
        EXPECT_FALSE(error.description().empty());
    }
}
