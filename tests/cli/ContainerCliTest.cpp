#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using kestrune::test::FromHex;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::Source;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

std::string With(std::string bytes, std::size_t offset, const std::string& replacement) {
    return bytes.replace(offset, replacement.size(), replacement);
}

// The three rows of info, each a stored and an actual value that agree when they are equal.
std::string Rows(const std::string& storedN, const std::string& n, const std::string& storedCrc,
                 const std::string& crc, const std::string& storedL, const std::string& l) {
    const auto row = [](const char* label, const std::string& stored, const std::string& actual) {
        return label + ("stored " + stored + ", actual " + actual) + (stored == actual ? ", agree\n" : ", differ\n");
    };
    return "signature:         4C 4D 4D 43 00 03 00 00  right\n" + row("compressed size:   ", storedN, n) +
           row("checksum:          ", storedCrc, crc) + row("uncompressed size: ", storedL, l);
}

}  // namespace

TEST(ContainerCli, UnpackOfPackGivesBackEveryByte) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
    for (const std::string& xml : {Source("samples/router.xml"), std::string(), allBytes + "\r\n" + allBytes}) {
        SCOPED_TRACE(xml.size());
        TempDir dir;
        WriteFile(dir / "in.xml", xml);
        const auto pack = RunCli({"pack", dir / "in.xml", "-o", dir / "packed.bin"});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_EQ(pack.err, "");
        EXPECT_EQ(ReadFile(dir / "packed.bin"), modConvert::XmlToBin(xml));
        // To a file, to standard output, and to standard output named "-".
        for (const std::string& out : {dir / "out.xml", std::string(), std::string("-")}) {
            auto args = std::vector<std::string>{"unpack", dir / "packed.bin"};
            if (!out.empty()) args.insert(args.end(), {"-o", out});
            const auto r = RunCli(args);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(out.size() > 1 ? ReadFile(out) : r.out, xml) << out;
        }
    }
}

TEST(ContainerCli, UnpackFailuresGiveTheirCauseAndWriteNothing) {
    const std::string good = Source("samples/router.bin");
    const std::string cause = "error: The payload does not decompress: ";
    const struct {
        const char* name;
        std::string bytes;
        std::string err;
    } cases[] = {
        {"plain XML", Source("samples/router.xml"), "warning: Bin file type not recognized.\n"},
        {"20 bytes", good.substr(0, 8) + std::string(12, '\0'), cause + "there is no payload after the header.\n"},
        {"Adler-32 wrong", With(good, good.size() - 1, std::string(1, static_cast<char>(good.back() ^ 1))),
         cause + "the zlib stream is damaged (incorrect data check).\n"},
        {"cut short", good.substr(0, good.size() - 10), cause + "the zlib stream ends early.\n"},
        {"XML too large", modConvert::XmlToBin(std::string(70000, 'x')),
         cause + "its XML has 70000 bytes, more than the 66,203 bytes the reader has room for.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir / "in.bin", c.bytes);
        WriteFile(dir / "old.xml", "old content");
        const auto toFile = RunCli({"unpack", dir / "in.bin", "-o", dir / "old.xml"});
        EXPECT_EQ(toFile.exitCode, 1);
        EXPECT_EQ(toFile.err, c.err);
        const auto toStdout = RunCli({"unpack", dir / "in.bin"});
        EXPECT_EQ(toStdout.exitCode, 1);
        EXPECT_EQ(toStdout.out, "");
        EXPECT_EQ(ReadFile(dir / "old.xml"), "old content");
        EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"in.bin", "old.xml"}));
    }
}

TEST(ContainerCli, PackWarnsWhenUnpackCouldNotReadTheResult) {
    TempDir dir;
    WriteFile(dir / "big.xml", std::string(70000, 'x'));
    const auto r = RunCli({"pack", dir / "big.xml", "-o", dir / "big.bin"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "warning: The XML has 70000 bytes, more than the 66,203 bytes that unpack can read back.\n");
    EXPECT_EQ(ReadFile(dir / "big.bin"), modConvert::XmlToBin(std::string(70000, 'x')));
}

TEST(ContainerCli, InfoComparesEachHeaderFieldWithThePayload) {
    const std::string good = Source("samples/router.bin");
    const std::string sound = Rows("1445", "1445", "0x53C54049", "0x53C54049", "5917", "5917");
    const std::string decompresses = "payload:           decompresses\n";
    const std::string unrecognized = "warning: Bin file type not recognized.\n";
    const struct {
        const char* name;
        std::string bytes;
        int exitCode;
        std::string out;
        std::string err;
    } cases[] = {
        {"sound", good, 0, sound + decompresses, ""},
        {"trailing CR LF", good + "\r\n", 0, sound + "trailing bytes:    2, ignored by the reader\n" + decompresses,
         ""},
        {"stored fields overwritten", With(good, 8, FromHex("07 00 00 00 00 00 00 00 FF FF FF FF")), 1,
         Rows("7", "1445", "0x00000000", "0x53C54049", "4294967295", "5917") + decompresses, ""},
        {"no payload", good.substr(0, 20), 1,
         Rows("1445", "0", "0x53C54049", "0xFFFFFFFF", "5917", "unknown") +
             "payload:           does not decompress: there is no payload after the header\n",
         ""},
        {"not a container", With(good, 5, "\2"), 1, "signature:         4C 4D 4D 43 00 02 00 00  not recognized\n",
         unrecognized},
        {"empty file", "", 1, "signature:         (empty file)  not recognized\n", unrecognized},
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

TEST(ContainerCli, FileAndUsageErrorsGiveTheirMessageAndWriteNothing) {
    TempDir dir;
    WriteFile(dir / "in.xml", Source("samples/router.xml"));
    const auto hint = [](const std::string& command, const std::string& problem) {
        return "kestrune-cli " + command + ": " + problem + "; try 'kestrune-cli " + command + " --help'\n";
    };
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {{"unpack", "missing.bin", "-o", "out.xml"}, 1, "error: Error 53 - File not found\n"},
        {{"pack", "missing.xml", "-o", "out.bin"}, 1, "error: Error 53 - File not found\n"},
        {{"pack", "in.xml", "-o", "no-folder/out.bin"}, 1, "error: Error 76 - Path not found\n"},
        {{"unpack"}, 2, hint("unpack", "missing argument")},
        {{"unpack", "in.xml", "out.xml"}, 2, hint("unpack", "unexpected argument out.xml")},
        {{"unpack", "in.xml", "-o"}, 2, hint("unpack", "option -o needs a value")},
        {{"pack", "in.xml"}, 2, hint("pack", "missing -o FILE")},
        {{"info", "in.xml", "-o", "out.xml"}, 2, hint("info", "unknown option -o")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = RunCli(c.args, dir.path().string());
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"in.xml"});
}
