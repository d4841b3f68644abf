#include "common/Errors.h"
#include "common/modGen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <utility>

using kestrune::RunError;
using kestrune::test::TempDir;

TEST(CountSeparators, CountsEveryOccurrence) {
    const struct {
        const char* text;
        const char* separator;
        int count;
    } cases[] = {
        {R"(a\b\c)", "\\", 2}, {"abc", "\\", 0}, {"", ".", 0}, {"a//b", "/", 2},
        {"/a/b/c", "/", 3},    {"aaa", "aa", 2},  {"abc", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(modGen::CountSeparators(c.text, c.separator), c.count);
    }
}

TEST(GetField, SplitsAtTheSeparatorCountingFromOneAndRefusesAFieldThatDoesNotExist) {
    const struct {
        const char* text;
        const char* separator;
        int n;
        const char* field;  // nullptr: error 5
    } cases[] = {
        {R"(a\b\c)", "\\", 1, "a"}, {R"(a\b\c)", "\\", 3, "c"}, {"abc", "/", 1, "abc"},      {"a/", "/", 2, ""},
        {"a//b", "/", 2, ""},       {"/a/b", "/", 1, ""},       {"", "/", 1, ""},            {"a/b/c", "/", 0, nullptr},
        {"a/b/c", "/", -1, nullptr}, {"a/b/c", "/", 4, nullptr}, {"x\xA4y\xA4z", "\xA4", 2, "y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " field " + std::to_string(c.n));
        try {
            EXPECT_EQ(modGen::GetField(c.text, c.separator, c.n), c.field ? c.field : "(error)");
        } catch (const RunError& e) {
            EXPECT_EQ(c.field, nullptr);
            EXPECT_EQ(std::to_string(e.number()) + " " + e.description(), "5 Invalid procedure call or argument");
        }
    }
}

TEST(GetExtension, TakesTheTextAfterTheLastDotOfTheLastComponent) {
    const struct {
        const char* path;
        const char* ext;
    } cases[] = {
        {R"(C:\cfg\backup.BIN)", "BIN"}, {"config.xml", "xml"}, {"/a.b/c.d/e.tar.gz", "gz"}, {"", ""},
        {R"(C:\my.dir\config)", ""},     {R"(C:\cfg\)", ""},    {"/home/u.dir/config", ""},   {"name.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(modGen::GetExtension(c.path), c.ext);
    }
}

TEST(AddBackslash, EndsAFolderWithTheSeparatorOnce) {
    EXPECT_EQ(modGen::AddBackslash("/opt/kestrune"), "/opt/kestrune/");
    EXPECT_EQ(modGen::AddBackslash("/opt/kestrune/"), "/opt/kestrune/");
    EXPECT_EQ(modGen::AddBackslash(""), "/");
}

TEST(AddReportLine, AppendsEachEntryWithCrLf) {
    modGen::ReportLog.clear();
    for (const char* line : {"A", "", "two\r\nlines"}) modGen::AddReportLine(line);
    EXPECT_EQ(std::exchange(modGen::ReportLog, {}), "A\r\n\r\ntwo\r\nlines\r\n");
}

TEST(ReadWholeFile, ReturnsEveryByteUnchanged) {
    TempDir dir;
    // Longer than one read, with every byte value.
    std::string bytes(3 * 65536 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    for (const std::string& content : {std::string(), bytes}) {
        kestrune::test::WriteFile(dir / "f", content);
        EXPECT_EQ(modGen::ReadWholeFile(dir / "f"), content);
    }
}

// Anything but a file is refused at once, by name: a pipe without a writer
// must not block, and a socket cannot even be opened.
TEST(ReadWholeFile, RaisesTheFileErrorOfEachFailure) {
    TempDir dir;
    kestrune::test::WriteFile(dir / "plain", "x");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const auto refused = [](const std::string& path, const std::string& kind) {
        return "Path/File access error: " + path + " is " + kind + ", not a file";
    };
    const struct {
        std::string path;
        int number;
        std::string description;
    } cases[] = {
        {dir / "missing", 53, "File not found"},
        {dir / "no-such-folder/file", 76, "Path not found"},
        {dir / "plain/below-a-file", 76, "Path not found"},
        {dir.path().string(), 75, refused(dir.path().string(), "a folder")},
        {dir / "pipe", 75, refused(dir / "pipe", "a named pipe (FIFO)")},
        {socketPath, 75, refused(socketPath, "a socket")},
        {"/dev/zero", 75, refused("/dev/zero", "a device")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            modGen::ReadWholeFile(c.path);
            FAIL() << "no error";
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_EQ(e.description(), c.description);
        }
    }
    ::close(listener);
}

TEST(WriteWholeFile, WritesExactlyTheBytesOrReturnsFalseAndLeavesNothing) {
    TempDir dir;
    const std::string bytes("LMMC\x00\x03\x00\x00\xFF\r\n", 11);
    ASSERT_TRUE(modGen::WriteWholeFile(bytes, dir / "out.bin"));
    EXPECT_EQ(kestrune::test::ReadFile(dir / "out.bin"), bytes);
    EXPECT_FALSE(modGen::WriteWholeFile("data", dir / "missing/out.bin"));
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()), std::vector<std::string>{"out.bin"});
}

TEST(ProgramFolder, IsTheFolderOfTheRunningTest) {
    const auto folder = modGen::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "kestrune_common_tests"));
}
