#include "common/Errors.h"
#include "common/modGen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

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

TEST(GetField, SplitsAtTheSeparatorCountingFromOne) {
    const struct {
        const char* text;
        const char* separator;
        int n;
        const char* field;
    } cases[] = {
        {R"(a\b\c)", "\\", 1, "a"}, {R"(a\b\c)", "\\", 2, "b"}, {R"(a\b\c)", "\\", 3, "c"},
        {"abc", "/", 1, "abc"},     {"a/", "/", 2, ""},         {"a//b", "/", 2, ""},
        {"a//b", "/", 3, "b"},      {"/a/b", "/", 1, ""},       {"", "/", 1, ""},
        {"x\xA4y\xA4z", "\xA4", 2, "y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " field " + std::to_string(c.n));
        EXPECT_EQ(modGen::GetField(c.text, c.separator, c.n), c.field);
    }
}

TEST(GetField, RefusesAFieldThatDoesNotExist) {
    for (int n : {0, -1, 4}) {
        SCOPED_TRACE(n);
        try {
            modGen::GetField("a/b/c", "/", n);
            FAIL() << "no error";
        } catch (const RunError& e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(e.description(), "Invalid procedure call or argument");
        }
    }
}

TEST(GetExtension, TakesTheTextAfterTheLastDotOfTheLastComponent) {
    const struct {
        const char* path;
        const char* ext;
    } cases[] = {
        {R"(C:\cfg\backup.BIN)", "BIN"}, {"config.xml", "xml"},    {R"(C:\cfg\a.b.bin)", "bin"},
        {R"(C:\cfg\config)", ""},        {R"(C:\my.dir\config)", ""}, {R"(C:\cfg\)", ""},
        {"/home/u.dir/config", ""},      {"/home/u/router.BIN", "BIN"}, {"name.", ""},
        {"", ""},                        {"/a.b/c.d/e.tar.gz", "gz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(modGen::GetExtension(c.path), c.ext);
    }
}

TEST(AddBackslash, EndsAFolderWithTheSeparatorOnce) {
    EXPECT_EQ(modGen::AddBackslash("/opt/kestrune"), "/opt/kestrune/");
    EXPECT_EQ(modGen::AddBackslash("/opt/kestrune/"), "/opt/kestrune/");
    EXPECT_EQ(modGen::AddBackslash("/"), "/");
    EXPECT_EQ(modGen::AddBackslash(""), "/");
}

TEST(AddReportLine, AppendsEachEntryWithCrLf) {
    modGen::ReportLog.clear();
    modGen::AddReportLine("A");
    modGen::AddReportLine("B");
    modGen::AddReportLine("");
    modGen::AddReportLine("two\r\nlines");
    EXPECT_EQ(modGen::ReportLog, "A\r\nB\r\n\r\ntwo\r\nlines\r\n");
    modGen::ReportLog.clear();
}

TEST(ReadWholeFile, ReturnsEveryByteUnchanged) {
    TempDir dir;
    const std::string bytes("\x00\x0D\x0A\xC8", 4);
    kestrune::test::WriteFile(dir / "f", bytes);
    kestrune::test::WriteFile(dir / "empty", "");
    EXPECT_EQ(modGen::ReadWholeFile(dir / "f"), bytes);
    EXPECT_EQ(modGen::ReadWholeFile(dir / "empty"), "");

    std::string large(3 * 65536 + 17, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    kestrune::test::WriteFile(dir / "large", large);
    EXPECT_EQ(modGen::ReadWholeFile(dir / "large"), large);
}

TEST(ReadWholeFile, RaisesTheFileErrorOfEachFailure) {
    TempDir dir;
    kestrune::test::WriteFile(dir / "plain", "x");
    const struct {
        std::string path;
        int number;
        const char* description;
    } cases[] = {
        {dir / "missing", 53, "File not found"},
        {dir / "no-such-folder/file", 76, "Path not found"},
        {dir / "plain/below-a-file", 76, "Path not found"},
        {dir.path().string(), 75, "Path/File access error"},
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
}

TEST(WriteWholeFile, WritesExactlyTheBytesGiven) {
    TempDir dir;
    const std::string bytes("LMMC\x00\x03\x00\x00\xFF\r\n", 11);
    ASSERT_TRUE(modGen::WriteWholeFile(bytes, dir / "out.bin"));
    EXPECT_EQ(kestrune::test::ReadFile(dir / "out.bin"), bytes);
    ASSERT_TRUE(modGen::WriteWholeFile("", dir / "out.bin"));
    EXPECT_EQ(kestrune::test::ReadFile(dir / "out.bin"), "");
}

TEST(WriteWholeFile, ReturnsFalseAndLeavesNothingWhenTheFolderIsMissing) {
    TempDir dir;
    EXPECT_FALSE(modGen::WriteWholeFile("data", dir / "missing/out.bin"));
    EXPECT_TRUE(kestrune::test::ListFolder(dir.path()).empty());
}

TEST(ProgramFolder, IsTheFolderOfTheRunningTest) {
    const auto folder = modGen::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "kestrune_common_tests"));
}
