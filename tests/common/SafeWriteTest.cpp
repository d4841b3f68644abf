#include "common/Errors.h"
#include "common/SafeWrite.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using kestrune::RunError;
using kestrune::WriteFileSafely;
using kestrune::WriteMode;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

// The number of the error the write raises, or 0.
int ErrorNumberOf(const std::string& path, const std::string& bytes, WriteMode mode = WriteMode::Replace) {
    try {
        WriteFileSafely(path, bytes, mode);
    } catch (const RunError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(WriteFileSafely, ReplacesTheContentAndKeepsThePermissions) {
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

TEST(WriteFileSafely, FailedWritesLeaveTheTargetWholeAndNoTemporaryFile) {
    TempDir dir;
    const auto target = dir / "config.bin";
    WriteFile(target, std::string(10000, 'o'));
    WriteFile(dir / "plainfile", "x");
    std::filesystem::create_directory(dir / "folder");
    const struct {
        const char* name;
        std::function<int()> attempt;
        int number;
    } cases[] = {
        {"file-size limit below the new size",
         [&] {
             const std::string bytes(20000, 'n');
             return kestrune::test::RunWithFileSizeLimit(4096, [&] { return ErrorNumberOf(target, bytes); });
         },
         61},
        {"target is a folder", [&] { return ErrorNumberOf(dir / "folder", "n"); }, 75},
        {"folder is a plain file", [&] { return ErrorNumberOf(dir / "plainfile/x", "n"); }, 76},
        {"create-new over an existing file", [&] { return ErrorNumberOf(target, "n", WriteMode::CreateNew); }, 58},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.attempt(), c.number);
        EXPECT_EQ(ReadFile(target), std::string(10000, 'o'));
        EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"config.bin", "folder", "plainfile"}));
    }
}

TEST(WriteFileSafely, CreateNewWritesAFileThatDoesNotExist) {
    TempDir dir;
    WriteFileSafely(dir / "backup.bak", "first", WriteMode::CreateNew);
    EXPECT_EQ(ReadFile(dir / "backup.bak"), "first");
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"backup.bak"});
}

TEST(ErrorFromErrno, MapsSystemErrorsToTheTable) {
    const struct {
        int err;
        const char* error;
    } cases[] = {{EACCES, "70 Permission denied"}, {EROFS, "70 Permission denied"}, {ENOSPC, "61 Disk full"},
                 {EIO, "57 Device I/O error"},     {EEXIST, "58 File already exists"}};
    for (const auto& c : cases) {
        const auto error = kestrune::ErrorFromErrno(c.err, "/tmp/x");
        EXPECT_EQ(std::to_string(error.number()) + " " + error.description(), c.error);
    }
}
