#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

class FixCli : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(fixDir / "a_admin.fix", "[Router Fix]\r\np=/config/system/remote_admin/enabled\r\nv=0\r\n");
        WriteFile(fixDir / "fix_hostname.txt", "[Router Fix]\r\np=/config/system/hostname\r\nv=gateway\r\n");
        WriteFile(fixDir / "fix.wep",
                  "[Router Fix]\r\np=/config/modules/ap/settings/privacy_type\r\nv=1\r\nd=Enable WEP\r\n");
        const auto samples = kestrune::test::SourceDir() / "samples";
        WriteFile(configDir / "router.xml", ReadFile((samples / "router.xml").string()));
        WriteFile(configDir / "router.bin", ReadFile((samples / "router.bin").string()));
    }

    TempDir fixDir;
    TempDir configDir;
};

TEST_F(FixCli, FixesAContainerAndPrintsTheReport) {
    const auto r = RunCli({"fix", configDir / "router.bin", "--fix-dir", fixDir.path().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Kestrune v2.0.0\nConverting bin file to xml\nSuccessfully loaded XML\nApplying fixes\nChanging Fix 0\n"
              "Making WEP changes\nChanging Enable WEP\nConverting xml back to bin file\nSaved config file\n");
    EXPECT_EQ(r.err, "info: The config file has been fixed!\n");
    EXPECT_EQ(ListFolder(configDir.path()).size(), 3u) << "router.xml, router.bin and one backup";

    const auto unpacked = RunCli({"unpack", configDir / "router.bin"});
    EXPECT_NE(unpacked.out.find("<privacy_type>1</privacy_type>"), std::string::npos);
}

TEST_F(FixCli, OptionsChooseTheFixVerbosityAndDryRun) {
    const std::string original = ReadFile(configDir / "router.xml");
    const struct {
        std::vector<std::string> options;
        const char* line;
        bool writes;
    } cases[] = {
        {{"--fix", "fix_hostname.txt"}, "\nChanging Fix 0\n", true},
        {{"--fix", fixDir / "fix_hostname.txt", "--verbose"}, "\nChanging /config/system/hostname to gateway\n", true},
        {{"--dry-run"}, "\nDry run: nothing was written\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        WriteFile(configDir / "router.xml", original);
        std::vector<std::string> args = {"fix", configDir / "router.xml", "--fix-dir", fixDir.path().string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(configDir / "router.xml") != original, c.writes);
    }
}

TEST_F(FixCli, FailuresExitWithOneAndUsageErrorsWithTwo) {
    WriteFile(configDir / "broken.xml", "<config><unclosed></config>");
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* inErr;
        bool printsReport;
    } cases[] = {
        {{"fix", configDir / "missing.xml"}, 1, "warning: Error 53 - File not found", false},
        {{"fix", configDir / "broken.xml"}, 1, "error: XML load failed", true},
        {{"fix", configDir / "router.xml", "--fix", "nosuch.fix"}, 1, "No fix file", false},
        {{"fix"}, 2, "missing argument", false},
        {{"fix", "a.xml", "b.xml"}, 2, "unexpected argument", false},
        {{"fix", "a.xml", "--bogus"}, 2, "unknown option --bogus", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inErr);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--fix-dir", fixDir.path().string()});
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_EQ(r.out.rfind("Kestrune v2.0.0\n", 0) == 0, c.printsReport) << r.out;
    }
    EXPECT_EQ(ReadFile(configDir / "broken.xml"), "<config><unclosed></config>");
}

// A listener that nothing should ever call: external entities and DTDs
// point at it, and afterwards it must have no connection waiting.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 8) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on the loopback interface");
        }
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    std::string Url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + name; }
    bool Called() const {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) return false;
        ::close(client);
        return true;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

TEST_F(FixCli, EntitiesAreNeitherExpandedNorFetchedThroughTheWholeRun) {
    const Listener listener;
    WriteFile(configDir / "secret.txt", "the secret");
    WriteFile(configDir / "evil.dtd", "<!ENTITY secret SYSTEM \"file://" + (configDir / "secret.txt") + "\">");
    std::string laughs = "<!ENTITY lol \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        std::string value;
        for (int k = 0; k < 10; ++k) value += "&lol" + (level == 1 ? std::string() : std::to_string(level - 1)) + ";";
        laughs += "<!ENTITY lol" + std::to_string(level) + " \"" + value + "\">";
    }
    std::string quadratic = "<!ENTITY big \"" + std::string(30000, 'x') + "\">";
    std::string bigs;
    for (int k = 0; k < 2000; ++k) bigs += "&big;";
    const std::string fileUrl = "file://" + (configDir / "secret.txt");
    const struct {
        const char* name;
        std::string doctype;
        std::string reference;  // put into the configuration's model element
    } cases[] = {
        {"billion laughs", "<!DOCTYPE config [" + laughs + "]>", "&lol9;"},
        {"quadratic blowup", "<!DOCTYPE config [" + quadratic + "]>", bigs},
        {"external file entity", "<!DOCTYPE config [<!ENTITY secret SYSTEM \"" + fileUrl + "\">]>", "&secret;"},
        {"external parameter entity", "<!DOCTYPE config [<!ENTITY % p SYSTEM \"" + fileUrl + "\"> %p;]>", "&secret;"},
        {"external DTD", "<!DOCTYPE config SYSTEM \"file://" + (configDir / "evil.dtd") + "\">", "&secret;"},
        {"entity over the network",
         "<!DOCTYPE config SYSTEM \"" + listener.Url("evil.dtd") + "\" [<!ENTITY remote SYSTEM \"" +
             listener.Url("secret") + "\"> <!ENTITY % remoteDtd SYSTEM \"" + listener.Url("p.dtd") + "\"> %remoteDtd;]>",
         "&remote;"},
    };
    const std::string sample = kestrune::test::Source("samples/router.xml");
    for (const auto& c : cases) {
        for (const bool bin : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bin ? " in a container" : " in an XML file"));
            std::string xml = sample;
            xml.insert(xml.find("<config>"), c.doctype + "\n");
            const std::string model = "<model>HG-2400N</model>";
            xml.replace(xml.find(model), model.size(), "<model>" + c.reference + "</model>");
            const std::string path = configDir / (bin ? "hostile.bin" : "hostile.xml");
            WriteFile(path, bin ? modConvert::XmlToBin(xml) : xml);

            const auto r = RunCli({"fix", path, "--fix-dir", fixDir.path().string(), "--fix", "fix_hostname.txt"}, {}, 20);

            EXPECT_EQ(r.exitCode, 0) << r.err;
            std::string saved = ReadFile(path);
            if (bin) saved = modConvert::ReadContainer(saved).xml;
            // The declarations and the reference stay as they were; only the fix changed anything.
            EXPECT_NE(saved.find(c.doctype), std::string::npos);
            EXPECT_NE(saved.find("<model>" + c.reference + "</model>"), std::string::npos);
            EXPECT_NE(saved.find("<hostname>gateway</hostname>"), std::string::npos);
            EXPECT_LT(saved.size(), xml.size() + 16);
            EXPECT_EQ((saved + r.out + r.err).find("the secret"), std::string::npos);
            EXPECT_FALSE(listener.Called());
        }
    }
}

TEST_F(FixCli, ListShowsTheWindowsFixList) {
    WriteFile(fixDir / "B.FIX", "");
    const auto r = RunCli({"list", "--fix-dir", fixDir.path().string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "a_admin.fix\nB.FIX\nfix_hostname.txt\n");
}

}  // namespace
