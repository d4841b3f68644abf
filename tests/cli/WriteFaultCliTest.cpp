// Every file kestrune-cli writes, made to fail for real: a file-size limit
// as a full disk, a folder it may not write to, a folder in the target's
// place, and a kill in the middle of the write. Whatever happens, the files
// that were there keep their bytes and nothing new is left half written.
#include "app/FixFile.h"
#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>

using kestrune::test::CliOptions;
using kestrune::test::CliResult;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::Source;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

namespace fs = std::filesystem;

// The writes, each in a folder of its own. The fix run's container save
// comes after its backup; its fix makes the container grow, so that a limit
// at the backup's size lets the backup through and stops the save.
enum class Write { Backup, ContainerSave, XmlSave, Pack, Unpack, Encrypt, Decrypt };

const char* NameOf(Write w) {
    switch (w) {
    case Write::Backup: return "fix: the backup";
    case Write::ContainerSave: return "fix: the container";
    case Write::XmlSave: return "fix: the XML file";
    case Write::Pack: return "pack -o";
    case Write::Unpack: return "unpack -o";
    case Write::Encrypt: return "encrypt -o";
    case Write::Decrypt: return "decrypt -o";
    }
    return "";
}

// A folder's files with their bytes; a subfolder as its name and a slash,
// with the names inside it.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory()) {
            std::string inside;
            for (const auto& e : fs::directory_iterator(entry.path())) inside += e.path().filename().string() + " ";
            files[name + "/"] = inside;
        } else {
            files[name] = ReadFile(entry.path().string());
        }
    }
    return files;
}

struct Scene {
    std::vector<std::string> args;
    std::string output;          // the -o file, already there with old content; empty for the fix run
    std::size_t firstBytes = 0;  // what the writes before this one take: the backup before a save
    std::size_t bytes = 0;       // this write's size, where it is known beforehand
};

class WriteFaults : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 random(1);
        std::string value(3000, ' ');
        for (char& c : value) c = static_cast<char>('a' + random() % 26);
        WriteFile(fixDir / "grow.fix", "[Router Fix]\r\np=/config/system/hostname\r\nv=" + value + "\r\n");
        WriteFile(fixDir / "fix.wep", Source("fixes/fix.wep"));
        fs::permissions(fixDir.path(), fs::perms(0755));
    }

    // Puts the write's inputs, and its old output, into folder.
    Scene Prepare(Write w, const TempDir& folder) const {
        const std::string xml = Source("samples/router.xml");
        const std::string bin = Source("samples/router.bin");
        const std::string plain = Source("fixes/src/public_dns.fix.plain");
        Scene s;
        switch (w) {
        case Write::Backup:
        case Write::ContainerSave:
            WriteFile(folder / "router.bin", bin);
            s.args = {"fix", folder / "router.bin", "--fix-dir", fixDir.path().string()};
            if (w == Write::Backup) s.bytes = bin.size();
            if (w == Write::ContainerSave) s.firstBytes = bin.size();
            break;
        case Write::XmlSave:
            WriteFile(folder / "router.xml", xml);
            s.args = {"fix", folder / "router.xml", "--fix-dir", fixDir.path().string()};
            s.bytes = xml.size();  // the fixed file is larger still
            break;
        case Write::Pack:
            WriteFile(folder / "router.xml", xml);
            s.output = folder / "out.bin";
            s.args = {"pack", folder / "router.xml", "-o", s.output};
            s.bytes = modConvert::XmlToBin(xml).size();
            break;
        case Write::Unpack:
            WriteFile(folder / "router.bin", bin);
            s.output = folder / "out.xml";
            s.args = {"unpack", folder / "router.bin", "-o", s.output};
            s.bytes = xml.size();
            break;
        case Write::Encrypt:
            WriteFile(folder / "plain.txt", plain);
            s.output = folder / "out.fix";
            s.args = {"encrypt", folder / "plain.txt", "-o", s.output};
            s.bytes = Source("fixes/public_dns.fix").size();
            break;
        case Write::Decrypt:
            WriteFile(folder / "public_dns.fix", Source("fixes/public_dns.fix"));
            s.output = folder / "out.txt";
            s.args = {"decrypt", folder / "public_dns.fix", "-o", s.output};
            s.bytes = plain.size();
            break;
        }
        if (!s.output.empty()) WriteFile(s.output, "the old output");
        return s;
    }

    // The folder after a write that did not happen: as it was, with at most
    // a whole backup of the configuration when the backup came first.
    static void ExpectUntouched(const fs::path& folder, const std::map<std::string, std::string>& before,
                                bool backupMade) {
        auto after = Snapshot(folder);
        std::size_t backups = 0;
        for (auto it = after.begin(); it != after.end();) {
            if (it->first.ends_with(".bak") && !before.count(it->first)) {
                EXPECT_EQ(it->second, before.at("router.bin")) << it->first << " is not a whole backup";
                ++backups;
                it = after.erase(it);
            } else {
                ++it;
            }
        }
        EXPECT_EQ(backups, backupMade ? 1u : 0u);
        std::vector<std::string> namesBefore;
        std::vector<std::string> namesAfter;
        for (const auto& [name, bytes] : before) namesBefore.push_back(name);
        for (const auto& [name, bytes] : after) namesAfter.push_back(name);
        EXPECT_EQ(namesAfter, namesBefore);
        for (const auto& [name, bytes] : after) {
            // Compared whole; only the verdict is shown, not kilobytes of bytes.
            if (before.count(name)) {
                EXPECT_TRUE(bytes == before.at(name)) << name << " changed";
            }
        }
    }

    TempDir fixDir;
};

TEST_F(WriteFaults, AFullDiskOrAReadOnlyFolderIsReportedAndChangesNothing) {
    enum Fault { NoSpace, ReadOnly };
    const struct {
        Write write;
        Fault fault;
        std::vector<std::string> lines;  // lines the report must contain
        bool backupMade;
    } cases[] = {
        {Write::Backup, NoSpace, {"error: Backup Error 61 - Disk full", "warning: Error 61 - Disk full"}, false},
        {Write::ContainerSave, NoSpace, {"warning: Error 61 - Disk full"}, true},
        {Write::XmlSave, NoSpace, {"warning: Error 61 - Disk full"}, false},
        {Write::Pack, NoSpace, {"error: Error 61 - Disk full"}, false},
        {Write::Unpack, NoSpace, {"error: Error 61 - Disk full"}, false},
        {Write::Encrypt, NoSpace, {"error: Error 61 - Disk full"}, false},
        {Write::Decrypt, NoSpace, {"error: Error 61 - Disk full"}, false},
        {Write::Backup, ReadOnly,
         {"error: Backup Error 70 - Permission denied", "warning: Error 70 - Permission denied"}, false},
        {Write::XmlSave, ReadOnly, {"warning: Error 70 - Permission denied"}, false},
        {Write::Pack, ReadOnly, {"error: Error 70 - Permission denied"}, false},
        {Write::Unpack, ReadOnly, {"error: Error 70 - Permission denied"}, false},
        {Write::Encrypt, ReadOnly, {"error: Error 70 - Permission denied"}, false},
        {Write::Decrypt, ReadOnly, {"error: Error 70 - Permission denied"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.write)) + (c.fault == NoSpace ? ", no space" : ", read-only folder"));
        TempDir folder;
        const Scene scene = Prepare(c.write, folder);
        const auto before = Snapshot(folder.path());
        CliOptions options;
        if (c.fault == NoSpace) {
            // The last byte fails, or for the container the first byte after its backup.
            options.fileSizeLimit = scene.bytes > 0 ? scene.bytes - 1 : scene.firstBytes;
            if (c.write == Write::Backup) options.fileSizeLimit = 0;
        } else {
            options.unprivileged = true;
            // Only the folder is read-only: its files are the user's own.
            if (::geteuid() == 0) {
                for (const auto& entry : fs::directory_iterator(folder.path())) {
                    ::chown(entry.path().c_str(), kestrune::test::UnprivilegedId, kestrune::test::UnprivilegedId);
                }
            }
            fs::permissions(folder.path(), fs::perms(0555));
        }

        const CliResult r = RunCli(scene.args, options);

        fs::permissions(folder.path(), fs::perms(0755));
        if (!r.notStarted.empty()) {
            GTEST_SKIP() << "kestrune-cli could not be started as user " << kestrune::test::UnprivilegedId
                         << ", so a folder cannot be made read-only to it: " << r.notStarted;
        }
        EXPECT_EQ(r.exitCode, 1);
        for (const auto& line : c.lines) EXPECT_NE(r.err.find(line + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("The config file has been fixed!"), std::string::npos);
        EXPECT_EQ(r.out.find("Saved config file"), std::string::npos);
        ExpectUntouched(folder.path(), before, c.backupMade);
    }
}

TEST_F(WriteFaults, AFolderInTheOutputsPlaceIsReportedAndKept) {
    for (const Write w : {Write::Pack, Write::Unpack, Write::Encrypt, Write::Decrypt}) {
        SCOPED_TRACE(NameOf(w));
        TempDir folder;
        const Scene scene = Prepare(w, folder);
        fs::remove(scene.output);
        fs::create_directory(scene.output);
        WriteFile(scene.output + "/inside", "kept");
        const auto before = Snapshot(folder.path());

        const CliResult r = RunCli(scene.args);

        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "error: Error 75 - Path/File access error: " + scene.output + " is a folder, not a file\n");
        ExpectUntouched(folder.path(), before, false);
    }
}

TEST_F(WriteFaults, AKillInTheMiddleOfAWriteLeavesNothingBehind) {
    {
        TempDir probe;
        const int fd = ::open(probe.path().c_str(), O_TMPFILE | O_RDWR, 0600);
        if (fd < 0) {
            GTEST_SKIP() << "the file system of " << probe.path()
                         << " has no unnamed files (O_TMPFILE), so a write killed there leaves its hidden "
                            "temporary file";
        }
        ::close(fd);
    }
    const struct {
        Write write;
        bool atHalf;  // else at the write's first byte
        bool backupMade;
    } cases[] = {
        {Write::Backup, false, false},       {Write::Backup, true, false},   {Write::ContainerSave, false, true},
        {Write::ContainerSave, true, true},  {Write::XmlSave, false, false}, {Write::XmlSave, true, false},
        {Write::Pack, false, false},         {Write::Pack, true, false},     {Write::Unpack, false, false},
        {Write::Unpack, true, false},        {Write::Encrypt, false, false}, {Write::Encrypt, true, false},
        {Write::Decrypt, false, false},      {Write::Decrypt, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.write)) + (c.atHalf ? ", killed halfway" : ", killed at the first byte"));
        TempDir folder;
        const Scene scene = Prepare(c.write, folder);
        const auto before = Snapshot(folder.path());
        CliOptions options;
        options.killAtFileSizeLimit = true;
        // The container grows by well over 1000 bytes.
        const std::size_t half = scene.bytes > 0 ? scene.bytes / 2 : 1000;
        options.fileSizeLimit = scene.firstBytes + (c.atHalf ? half : 0);

        const CliResult r = RunCli(scene.args, options);

        if (!r.notStarted.empty()) GTEST_SKIP() << "kestrune-cli could not be traced: " << r.notStarted;
        EXPECT_TRUE(r.killedAtWrite) << "exit " << r.exitCode << "\n" << r.err;
        EXPECT_EQ(r.exitCode, 128 + SIGKILL);
        ExpectUntouched(folder.path(), before, c.backupMade);
    }
}

}  // namespace
