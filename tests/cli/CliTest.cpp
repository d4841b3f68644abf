// What the command line adds: arguments, exit statuses, one whole run, the
// tools' known bytes, and damaged inputs through the real fix run.
#include "container/modConvert.h"

#include "CliWorkspace.h"

#include <gtest/gtest.h>

using kestrune::test::ReadFile;
using kestrune::test::Source;

namespace {

// The whole run, on the sample and on copies declaring entities that expand
// without end or read a secret file: none is expanded or fetched, and the
// saved configuration is the sample's own result with the same declarations.
TEST(Cli, FixesAContainerAndNeitherExpandsNorFetchesEntities) {
    const CliWorkspace w;
    const std::string secret = "<!ENTITY secret SYSTEM \"file://" + (w / "secret.txt") + "\">";
    kestrune::test::WriteFile(w / "secret.txt", "the secret");
    kestrune::test::WriteFile(w / "secret.dtd", secret);
    std::string laughs = "<!ENTITY lol0 \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        std::string ten;
        for (int k = 0; k < 10; ++k) ten += "&lol" + std::to_string(level - 1) + ";";
        laughs += "<!ENTITY lol" + std::to_string(level) + " \"" + ten + "\">";
    }
    const std::pair<std::string, std::string> rows[] = {  // the declarations, and the model's new text
        {"", "HG-2400N"},
        {"<!DOCTYPE config [" + laughs + "]>\n", "&lol9;"},
        {"<!DOCTYPE config [" + secret + "]>\n", "&secret;"},
        {"<!DOCTYPE config SYSTEM \"file://" + (w / "secret.dtd") + "\">\n", "&secret;"},
    };
    std::string fixedSample;
    for (const auto& [doctype, model] : rows) {
        SCOPED_TRACE(doctype);
        const auto declaring = [&](std::string xml) {
            xml.replace(xml.find("HG-2400N"), 8, model);
            return xml.insert(xml.find("<config>"), doctype);
        };
        kestrune::test::WriteFile(w / "router.bin", modConvert::XmlToBin(declaring(Source("samples/router.xml"))));

        const auto r = w.Run({"fix", "router.bin", "--fix-dir", "fixes"});

        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "Kestrune v2.0.0\nConverting bin file to xml\nSuccessfully loaded XML\nApplying fixes\n"
                         "Changing Fix 0\nMaking WEP changes\nChanging WEP privacy type\nChanging WEP 128-bit privacy\n"
                         "Skipping change to WEP key index\nChanging WEP key 1\nConverting xml back to bin file\n"
                         "Saved config file\n");
        EXPECT_EQ(r.err, "info: The config file has been fixed!\n");
        const std::string saved = w.Run({"unpack", "router.bin"}).out;
        if (doctype.empty()) fixedSample = saved;
        EXPECT_EQ(saved, declaring(fixedSample));
    }
    EXPECT_NE(fixedSample.find("<hostname>gateway</hostname>"), std::string::npos);
}

// 0 done, 1 failed, 2 a usage error. Outputs go to standard output: none of
// these runs writes a byte.
TEST(Cli, ExitStatusesMessagesAndKnownOutputs) {
    const CliWorkspace w;
    kestrune::test::WriteFile(w / "before.xml", "<c><r/></c>");
    kestrune::test::WriteFile(w / "after.xml", "<c><r/><r/><x>1</x></c>");
    kestrune::test::WriteFile(w / "cut.bin", Source("samples/router.bin").substr(0, 1000));
    ASSERT_EQ(w.Run({"encrypt", "dns.txt", "-o", "mine.fix"}).exitCode, 0);
    const auto before = kestrune::test::ListFolder(w.dir.path());
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string inOut;
        std::string inErr;
    } rows[] = {
        {{"--version"}, 0, "Kestrune 2.0.0\n", ""},
        {{"fix", "router.xml", "--fix-dir", "fixes", "--dry-run", "--fix", "fix_hostname.txt", "--verbose"}, 0,
         "\nChanging /config/system/hostname to gateway\n", ""},
        {{"pack", "router.xml", "-o", "-"}, 0, Source("samples/router.bin"), ""},
        {{"unpack", "router.bin"}, 0, Source("samples/router.xml"), ""},
        {{"decrypt", "mine.fix", "-o", "-"}, 0, Source("fixes/src/public_dns.fix.plain"), ""},
        {{"show", "mine.fix"}, 0,
         "0 path=\"/config/network/wan/dns/auto\" attribute=\"\" value=\"0\" description=\"Provider DNS off\"\n", ""},
        {{"info", "router.bin"}, 0,
         "signature:         4C 4D 4D 43 00 03 00 00  right\ncompressed size:   stored 1445, actual 1445, agree\n"
         "checksum:          stored 0x53C54049, actual 0x53C54049, agree\n"
         "uncompressed size: stored 5917, actual 5917, agree\npayload:           decompresses\n", ""},
        {{"diff", "before.xml", "after.xml", "--partial"}, 0,
         "[Router Fix]\r\np=/c/x\r\nv=1\r\nd=Add the element, with its text\r\n", "warning: /c/r[2]: it was added"},
        {{"diff", "after.xml", "after.xml"}, 0, "[Router Fix]\r\n",
         "info: The configurations do not differ: the fix has no entries.\n"},
        {{}, 2, "", "Usage: kestrune-cli COMMAND"},
        {{"frobnicate"}, 2, "", "kestrune-cli: unknown command 'frobnicate'; try 'kestrune-cli --help'\n"},
        {{"fix"}, 2, "", "kestrune-cli fix: missing argument; try 'kestrune-cli fix --help'\n"},
        {{"fix", "router.xml", "router.bin"}, 2, "", "kestrune-cli fix: unexpected argument router.bin; try"},
        {{"fix", "router.xml", "--bogus"}, 2, "", "kestrune-cli fix: unknown option --bogus; try"},
        {{"unpack", "router.bin", "-o"}, 2, "", "kestrune-cli unpack: option -o needs a value; try"},
        {{"fix", "missing.xml", "--fix-dir", "fixes"}, 1, "", "warning: Error 53 - File not found\n"},
        {{"fix", "router.xml", "--fix-dir", "fixes", "--fix", "no.fix"}, 1, "", "error: No fix file fixes/no.fix\n"},
        {{"unpack", "cut.bin", "-o", "x"}, 1, "", "error: The payload does not decompress: the zlib stream ends early"},
        {{"encrypt", "router.xml", "-o", "x"}, 1, "", "error: router.xml does not begin with \"[Router Fix]\""},
        {{"decrypt", "dns.txt", "-o", "out.txt"}, 1, "", "warning: dns.txt does not begin with \"[Encrypted]\".\n"},
        {{"diff", "before.xml", "after.xml", "-o", "out.fix"}, 1, "",
         "error: A fix cannot make the 1 difference above. Nothing written; --partial writes the rest.\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        const auto r = w.Run(row.args);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        EXPECT_NE(r.out.find(row.inOut), std::string::npos) << r.out.substr(0, 1000);
        EXPECT_NE(r.err.find(row.inErr), std::string::npos) << r.err;
    }
    EXPECT_EQ(kestrune::test::ListFolder(w.dir.path()), before);
    EXPECT_TRUE(ReadFile(w / "router.xml") == Source("samples/router.xml"));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t Stride = 16;  // each run is several times slower under the sanitizers
#else
constexpr std::size_t Stride = 1;
#endif

struct Input {
    const char* name;
    const char* damaged;  // router.bin, the configuration, or the fix the run applies to it
    const char* fix;
    std::size_t flips;  // bits flipped one at a time; 0: cut to every length instead
};

void PrintTo(const Input& input, std::ostream* out) { *out << input.name; }

std::vector<std::string> Damaged(const std::string& good, std::size_t flips) {
    std::vector<std::string> damaged;
    for (std::size_t n = 0; flips == 0 && n < good.size(); n += Stride) damaged.push_back(good.substr(0, n));
    for (std::size_t i = 0; i < flips; i += Stride) {
        const std::size_t bit = i * good.size() * 8 / flips;  // spread evenly over the file
        damaged.emplace_back(good)[bit / 8] ^= static_cast<char>(1 << (bit % 8));
    }
    return damaged;
}

// Whatever the damage, kestrune-cli ends by itself with 0 or 1, a failed run
// leaves the configuration as it was, and a saved container reads back.
class HostileInput : public ::testing::TestWithParam<Input> {};

TEST_P(HostileInput, EndsByItselfAndChangesNothingUnlessItSucceeds) {
    const Input& input = GetParam();
    for (const std::string& damaged : Damaged(ReadFile(CliWorkspace() / input.damaged), input.flips)) {
        const CliWorkspace w;
        kestrune::test::WriteFile(w / input.damaged, damaged);
        const std::string before = ReadFile(w / "router.bin");

        const auto r = w.Run({"fix", "router.bin", "--fix-dir", "fixes", "--fix", input.fix});

        ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << "exit " << r.exitCode << "\n" << r.err;
        const std::string after = ReadFile(w / "router.bin");
        if (r.exitCode == 1) {
            EXPECT_TRUE(after == before) << r.err;
        } else {
            EXPECT_EQ(modConvert::ReadContainer(after).status, modConvert::ReadStatus::Decompressed);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, HostileInput,
                         ::testing::Values(Input{"ContainerCut", "router.bin", "./dns.txt", 0},
                                           Input{"ContainerFlipped", "router.bin", "./dns.txt", 1200},
                                           Input{"EncipheredFixCut", "dns.fix", "./dns.fix", 0},
                                           Input{"EncipheredFixFlipped", "dns.fix", "./dns.fix", 600},
                                           Input{"PlainFixCut", "dns.txt", "./dns.txt", 0},
                                           Input{"PlainFixFlipped", "dns.txt", "./dns.txt", 600}),
                         [](const ::testing::TestParamInfo<Input>& row) { return row.param.name; });

}  // namespace
