#include "common/modGen.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using kestrune::test::ExpectRunError;
using kestrune::test::TempDir;

TEST(GetField, CountsTheSeparatorsAndSplitsAtThemCountingFromOne) {
    const struct {
        const char *text, *separator;
        int count, n;
        const char* field;
    } cases[] = {
        {R"(a\b\c)", "\\", 2, 1, "a"}, {R"(a\b\c)", "\\", 2, 3, "c"}, {"abc", "/", 0, 1, "abc"},
        {"a/", "/", 1, 2, ""},         {"a//b", "/", 2, 2, ""},       {"a//b", "/", 2, 3, "b"},
        {"", ".", 0, 1, ""},           {"aaa", "aa", 2, 1, ""},       {"x\xA4y\xA4z", "\xA4", 2, 2, "y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " field " + std::to_string(c.n));
        EXPECT_EQ(modGen::CountSeparators(c.text, c.separator), c.count);
        EXPECT_EQ(modGen::GetField(c.text, c.separator, c.n), c.field);
    }
}

TEST(GetExtension, TakesTheTextAfterTheLastDotOfTheLastComponent) {
    const struct {
        const char *path, *ext;
    } cases[] = {
        {R"(C:\cfg\backup.BIN)", "BIN"}, {"config.xml", "xml"},         {R"(C:\cfg\a.b.bin)", "bin"},
        {R"(C:\my.dir\config)", ""},     {"/home/u.dir/config", ""}, {R"(C:\cfg\)", ""}, {"name.", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(modGen::GetExtension(c.path), c.ext) << c.path;
}

TEST(AddBackslash, EndsAFolderWithTheSeparatorOnce) {
    EXPECT_EQ(modGen::AddBackslash("/opt/kestrune"), "/opt/kestrune/");
    EXPECT_EQ(modGen::AddBackslash("/opt/kestrune/"), "/opt/kestrune/");
}

TEST(WholeFile, ReadsAndWritesEveryByteUnchanged) {
    TempDir dir;
    // Longer than one read, with every byte value.
    std::string bytes(3 * 65536 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    for (const std::string& content : {std::string(), std::string("\0\r\n\xC8", 4), bytes}) {
        ASSERT_TRUE(modGen::WriteWholeFile(content, dir / "f"));
        EXPECT_EQ(modGen::ReadWholeFile(dir / "f"), content);
    }
    EXPECT_FALSE(modGen::WriteWholeFile("data", dir / "missing/out.bin"));
    EXPECT_EQ(kestrune::test::ListFolder(dir.path()), std::vector<std::string>{"f"});
}

// Anything but a file is refused at once, by name: a pipe without a writer
// must not block, and no device is read.
TEST(ReadWholeFile, RaisesTheFileErrorOfEachFailure) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const struct {
        std::string path, mention;
        int number;
    } cases[] = {
        {dir / "missing", "File not found", 53},
        {dir.path().string(), dir.path().string() + " is a folder, not a file", 75},
        {dir / "pipe", dir / "pipe" + " is a named pipe (FIFO), not a file", 75},
        {"/dev/zero", "/dev/zero is a device, not a file", 75},
    };
    for (const auto& c : cases) ExpectRunError([&] { modGen::ReadWholeFile(c.path); }, c.number, c.mention);
}
