#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

std::string Sample(const std::string& name) {
    return ReadFile((kestrune::test::SourceDir() / "samples" / name).string());
}

std::string Hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string WithBytes(std::string bytes, std::size_t offset, const std::string& replacement) {
    bytes.replace(offset, replacement.size(), replacement);
    return bytes;
}

}  // namespace

TEST(ContainerCli, UnpackOfPackGivesBackEveryByte) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
    const struct {
        const char* name;
        std::string xml;
    } cases[] = {
        {"router.xml", Sample("router.xml")},
        {"router-no-wireless.xml", Sample("router-no-wireless.xml")},
        {"empty", ""},
        {"every byte value", allBytes + "\r\n" + allBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir / "in.xml", c.xml);

        const auto pack = RunCli({"pack", dir / "in.xml", "-o", dir / "packed.bin"});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_EQ(pack.err, "");
        EXPECT_EQ(ReadFile(dir / "packed.bin"), modConvert::XmlToBin(c.xml));

        const auto toFile = RunCli({"unpack", dir / "packed.bin", "-o", dir / "out.xml"});
        EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
        EXPECT_EQ(toFile.out, "");
        EXPECT_EQ(ReadFile(dir / "out.xml"), c.xml);

        const std::vector<std::string> toStdoutArgs[] = {{"unpack", dir / "packed.bin"},
                                                         {"unpack", dir / "packed.bin", "-o", "-"}};
        for (const auto& args : toStdoutArgs) {
            const auto toStdout = RunCli(args);
            EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
            EXPECT_EQ(toStdout.out, c.xml);
            EXPECT_EQ(toStdout.err, "");
        }
    }
}

TEST(ContainerCli, EverySampleContainerUnpacksToItsXml) {
    for (const std::string name : {"router", "router-wpa", "router-no-wireless"}) {
        SCOPED_TRACE(name);
        const auto r = RunCli({"unpack", (kestrune::test::SourceDir() / "samples" / (name + ".bin")).string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, Sample(name + ".xml"));
    }
}

TEST(ContainerCli, UnpackFailuresGiveTheirCauseAndWriteNothing) {
    const std::string good = Sample("router.bin");
    const std::string signatureAndZeros = good.substr(0, 8) + std::string(12, '\0');
    std::string damaged = good;
    damaged.back() = static_cast<char>(damaged.back() ^ 1);
    const struct {
        const char* name;
        std::string bytes;
        const char* err;
    } cases[] = {
        {"plain XML", Sample("router.xml"), "warning: Bin file type not recognized.\n"},
        {"empty file", "", "warning: Bin file type not recognized.\n"},
        {"lower-case signature", WithBytes(good, 0, "lmmc"), "warning: Bin file type not recognized.\n"},
        {"19 bytes", good.substr(0, 19), "error: Error 5 - Invalid procedure call or argument\n"},
        {"20 bytes", signatureAndZeros,
         "error: The payload does not decompress: there is no payload after the header.\n"},
        {"Adler-32 wrong", damaged,
         "error: The payload does not decompress: the zlib stream is damaged (incorrect data check).\n"},
        {"cut short", good.substr(0, good.size() - 10),
         "error: The payload does not decompress: the zlib stream ends early.\n"},
        {"XML too large", modConvert::XmlToBin(std::string(70000, 'x')),
         "error: The payload does not decompress: its XML has 70000 bytes, more than the 66,203 bytes the reader "
         "has room for.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir / "in.bin", c.bytes);
        WriteFile(dir / "old.xml", "old content");

        const auto fresh = RunCli({"unpack", dir / "in.bin", "-o", dir / "new.xml"});
        EXPECT_EQ(fresh.exitCode, 1);
        EXPECT_EQ(fresh.err, c.err);
        EXPECT_EQ(fresh.out, "");
        const auto existing = RunCli({"unpack", dir / "in.bin", "-o", dir / "old.xml"});
        EXPECT_EQ(existing.exitCode, 1);
        const auto toStdout = RunCli({"unpack", dir / "in.bin"});
        EXPECT_EQ(toStdout.exitCode, 1);
        EXPECT_EQ(toStdout.out, "");

        EXPECT_EQ(ReadFile(dir / "old.xml"), "old content");
        EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"in.bin", "old.xml"}));
    }
}

TEST(ContainerCli, FileErrorsExitOneWithTheErrorAndWriteNothing) {
    TempDir dir;
    WriteFile(dir / "in.xml", Sample("router.xml"));
    const struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"unpack", dir / "missing.bin", "-o", dir / "out.xml"}, "error: Error 53 - File not found\n"},
        {{"pack", dir / "missing.xml", "-o", dir / "out.bin"}, "error: Error 53 - File not found\n"},
        {{"info", dir / "missing.bin"}, "error: Error 53 - File not found\n"},
        {{"pack", dir / "in.xml", "-o", dir / "no-folder/out.bin"}, "error: Error 76 - Path not found\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const auto r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"in.xml"}));
}

TEST(ContainerCli, PackWarnsWhenUnpackCouldNotReadTheResult) {
    TempDir dir;
    const std::string xml(70000, 'x');
    WriteFile(dir / "big.xml", xml);
    const auto r = RunCli({"pack", dir / "big.xml", "-o", dir / "big.bin"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "warning: The XML has 70000 bytes, more than the 66,203 bytes that unpack can read back.\n");
    EXPECT_EQ(ReadFile(dir / "big.bin"), modConvert::XmlToBin(xml));
}

TEST(ContainerCli, InfoComparesEachHeaderFieldWithThePayload) {
    const std::string xml = Sample("router.xml");
    const std::string good = modConvert::XmlToBin(xml);
    const std::string n = std::to_string(good.size() - 20);
    const std::string crc = Hex32(modConvert::ContainerChecksumValue(good.substr(20)));
    const std::string l = std::to_string(xml.size());
    const std::string signature = "signature:         4C 4D 4D 43 00 03 00 00  right\n";
    const std::string bigXml(70000, 'x');
    const std::string big = modConvert::XmlToBin(bigXml);
    const std::string bigN = std::to_string(big.size() - 20);
    const std::string bigCrc = Hex32(modConvert::ContainerChecksumValue(big.substr(20)));

    const struct {
        const char* name;
        std::string bytes;
        int exitCode;
        std::string out;
        const char* err;
    } cases[] = {
        {"sound", good, 0,
         signature + "compressed size:   stored " + n + ", actual " + n + ", agree\n" +
             "checksum:          stored " + crc + ", actual " + crc + ", agree\n" +
             "uncompressed size: stored " + l + ", actual " + l + ", agree\n" + "payload:           decompresses\n",
         ""},
        {"trailing CR LF", good + "\r\n", 0,
         signature + "compressed size:   stored " + n + ", actual " + n + ", agree\n" +
             "checksum:          stored " + crc + ", actual " + crc + ", agree\n" +
             "uncompressed size: stored " + l + ", actual " + l + ", agree\n" +
             "trailing bytes:    2, ignored by the reader\n" + "payload:           decompresses\n",
         ""},
        {"checksum overwritten", WithBytes(good, 12, std::string(4, '\0')), 1,
         signature + "compressed size:   stored " + n + ", actual " + n + ", agree\n" +
             "checksum:          stored 0x00000000, actual " + crc + ", differ\n" +
             "uncompressed size: stored " + l + ", actual " + l + ", agree\n" + "payload:           decompresses\n",
         ""},
        {"sizes wrong", WithBytes(WithBytes(good, 8, modConvert::LongToBytes(7)), 16, modConvert::LongToBytes(-1)), 1,
         signature + "compressed size:   stored 7, actual " + n + ", differ\n" +
             "checksum:          stored " + crc + ", actual " + crc + ", agree\n" +
             "uncompressed size: stored 4294967295, actual " + l + ", differ\n" +
             "payload:           decompresses\n",
         ""},
        {"XML too large", big, 1,
         signature + "compressed size:   stored " + bigN + ", actual " + bigN + ", agree\n" +
             "checksum:          stored " + bigCrc + ", actual " + bigCrc + ", agree\n" +
             "uncompressed size: stored 70000, actual 70000, agree\n" +
             "payload:           does not decompress: its XML has 70000 bytes, more than the 66,203 bytes the "
             "reader has room for\n",
         ""},
        {"no payload", good.substr(0, 20), 1,
         signature + "compressed size:   stored " + n + ", actual 0, differ\n" + "checksum:          stored " + crc +
             ", actual 0xFFFFFFFF, differ\n" + "uncompressed size: stored " + l + ", actual unknown, differ\n" +
             "payload:           does not decompress: there is no payload after the header\n",
         ""},
        {"not a container", WithBytes(good, 4, std::string("\0\2\0\0", 4)), 1,
         "signature:         4C 4D 4D 43 00 02 00 00  not recognized\n", "warning: Bin file type not recognized.\n"},
        {"empty file", "", 1, "signature:         (empty file)  not recognized\n",
         "warning: Bin file type not recognized.\n"},
        {"19 bytes", good.substr(0, 19), 1, signature, "error: Error 5 - Invalid procedure call or argument\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir / "in.bin", c.bytes);
        const auto r = RunCli({"info", dir / "in.bin"});
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"in.bin"}));
    }
}

TEST(ContainerCli, UsageErrorsExitTwoWithAHint) {
    const struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"unpack"}, "kestrune-cli unpack: missing argument; try 'kestrune-cli unpack --help'\n"},
        {{"unpack", "a.bin", "b.bin"},
         "kestrune-cli unpack: unexpected argument b.bin; try 'kestrune-cli unpack --help'\n"},
        {{"unpack", "a.bin", "-x"}, "kestrune-cli unpack: unknown option -x; try 'kestrune-cli unpack --help'\n"},
        {{"unpack", "a.bin", "-o"}, "kestrune-cli unpack: option -o needs a value; try 'kestrune-cli unpack --help'\n"},
        {{"pack", "a.xml"}, "kestrune-cli pack: missing -o FILE; try 'kestrune-cli pack --help'\n"},
        {{"pack", "-o", "a.bin"}, "kestrune-cli pack: missing argument; try 'kestrune-cli pack --help'\n"},
        {{"info"}, "kestrune-cli info: missing argument; try 'kestrune-cli info --help'\n"},
        {{"info", "a.bin", "-o", "b"}, "kestrune-cli info: unknown option -o; try 'kestrune-cli info --help'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        TempDir dir;
        const auto r = RunCli(c.args, dir.path().string());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(ListFolder(dir.path()).empty());
    }
}
