// What runs leave on the file system: faith kept with the files users have, or
// a refusal by name before anything is read, backed up or written; after a
// failed write every file as it was, nothing new but a backup made before it.
#include "CliWorkspace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <map>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using Dir = const std::string&;

const bool Root = ::geteuid() == 0;
// As root, a private file belongs to another user, whose it must stay.
const uid_t Owner = Root ? kestrune::test::UnprivilegedId : ::geteuid();
const gid_t Group = Root ? kestrune::test::UnprivilegedId : ::getegid();
const std::string Refused = "warning: Error 75 - Path/File access error: ";

void MakePrivate(const std::string& path) {
    ::chmod(path.c_str(), 0600);
    if (Root) ::chown(path.c_str(), Owner, Group);
}

// Each file, link and folder under folder: a file's bytes, a link's target.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        found[fs::relative(entry.path(), folder)] = entry.is_symlink() ? "-> " + fs::read_symlink(entry).string()
                                                    : entry.is_regular_file() ? kestrune::test::ReadFile(entry.path())
                                                                              : "(not a file)";
    }
    return found;
}

// A run in a fresh workspace, and all it may change there.
struct Scene {
    std::string name;
    std::function<void(Dir)> lay;
    std::vector<std::string> args;
    int exitCode;
    std::string line;          // on standard error
    std::string written = {};  // the one file the run writes, if any
    std::size_t backups = 0;   // whole copies of router.bin it leaves
    mode_t keptMode = 0;       // when set, written and the backup have it, and router.bin's owner and group
    kestrune::test::CliOptions options = {};
};

void ExpectRun(Scene s) {
    SCOPED_TRACE(s.name);
    const CliWorkspace w;
    s.lay(w.dir.path().string());
    auto before = Snapshot(w.dir.path());
    s.options.timeoutSeconds = 10;  // a run blocked on a pipe fails rather than hangs

    const auto r = w.Run(s.args, s.options);
    fs::permissions(w.dir.path(), fs::perms::owner_all, fs::perm_options::add);  // to clean up after a locked folder

    if (!r.notStarted.empty()) GTEST_SKIP() << "kestrune-cli could not be started as asked: " << r.notStarted;
    EXPECT_EQ(r.killedAtWrite, s.options.killAtFileSizeLimit);
    EXPECT_EQ(r.exitCode, s.exitCode) << r.err;
    EXPECT_NE(r.err.find(s.line), std::string::npos) << r.err;
    auto after = Snapshot(w.dir.path());
    std::vector<std::string> written;
    std::erase_if(after, [&](const auto& file) {
        const bool backup = !before.contains(file.first) && file.second == before["router.bin"];
        if (backup) written.push_back(file.first);
        return backup;
    });
    EXPECT_EQ(written.size(), s.backups);
    if (!s.written.empty()) {
        EXPECT_NE(std::exchange(after[s.written], before[s.written]), before[s.written]);
    }
    EXPECT_TRUE(after == before);
    written.push_back(s.written);
    struct stat st {};
    for (const auto& name : written) {
        if (s.keptMode == 0 || ::stat((w / name).c_str(), &st) != 0) continue;
        EXPECT_EQ(std::tuple(st.st_mode & 07777, st.st_uid, st.st_gid), std::tuple(s.keptMode, Owner, Group)) << name;
    }
}

// As user 65534, where the tests run as root.
kestrune::test::CliOptions Unprivileged() {
    kestrune::test::CliOptions options;
    options.unprivileged = true;
    return options;
}

TEST(FileSystemCli, EachKindOfFileIsFixedFaithfullyOrRefusedByName) {
    const std::vector<std::string> fix = {"fix", "router.bin", "--fix-dir", "fixes"};
    const std::string fixed = "info: The config file has been fixed!\n";
    const Scene scenes[] = {
        {"symbolic link: the file it leads to is fixed, the link kept, the backup named after it",
         [](Dir d) { fs::create_symlink("router.bin", d + "/link.bin"); }, {"fix", "link.bin", "--fix-dir", "fixes"}, 0,
         fixed, "router.bin", 1},
        {"private configuration: the backup as private, with the same owner",
         [](Dir d) { MakePrivate(d + "/router.bin"); }, fix, 0, fixed, "router.bin", 1, 0600},
        {"private container unpacked: the XML as private", [](Dir d) { MakePrivate(d + "/router.bin"); },
         {"unpack", "router.bin", "-o", "out.xml"}, 0, "", "out.xml", 0, 0600},
        {"read-only for this user, in a folder that is not",
         [](Dir d) { ::chmod((d + "/router.bin").c_str(), Root ? 0644 : 0464), ::chmod(d.c_str(), 0777); }, fix, 1,
         Refused + "router.bin is read-only for this user\n", "", 0, 0, Unprivileged()},
        {"no write bit, which binds root too, and a dry run as the real run",
         [](Dir d) { ::chmod((d + "/router.bin").c_str(), 0444); },
         {"fix", "router.bin", "--fix-dir", "fixes", "--dry-run"}, 1, Refused + "router.bin is read-only\n"},
        {"second hard link", [](Dir d) { fs::create_hard_link(d + "/router.bin", d + "/other.bin"); }, fix, 1,
         Refused + "router.bin has 2 names (hard links); a save would give only this one the new content\n"},
        {"named pipe as the configuration", [](Dir d) { ::mkfifo((d + "/pipe.bin").c_str(), 0644); },
         {"fix", "pipe.bin", "--fix-dir", "fixes"}, 1, Refused + "pipe.bin is a named pipe (FIFO), not a file\n"},
        {"named pipe as the fix: no fix is loaded", [](Dir d) { ::mkfifo((d + "/fixes/pipe.fix").c_str(), 0644); },
         {"fix", "router.bin", "--fix-dir", "fixes", "--fix", "pipe.fix"}, 1,
         Refused + "fixes/pipe.fix is a named pipe (FIFO), not a file\n"},
        {"named pipe as fix.wep: said at start-up, the run goes on",
         [](Dir d) { fs::remove(d + "/fixes/fix.wep"), ::mkfifo((d + "/fixes/fix.wep").c_str(), 0644); }, fix, 0,
         Refused + "fixes/fix.wep is a named pipe (FIFO), not a file\n", "router.bin", 1},
        {"folder name beyond ASCII: shown as the file system has it, not as Latin-1",
         [](Dir d) { fs::create_directory(d + "/jos\xC3\xA9"), fs::copy(d + "/router.bin", d + "/jos\xC3\xA9/r.bin");
                     ::chmod((d + "/jos\xC3\xA9/r.bin").c_str(), 0444); },
         {"fix", "jos\xC3\xA9/r.bin", "--fix-dir", "fixes"}, 1, Refused + "jos\xC3\xA9/r.bin is read-only\n"},
    };
    for (const auto& scene : scenes) ExpectRun(scene);
}

TEST(FileSystemCli, EveryWriteThatFailsChangesNothing) {
    const struct {
        std::vector<std::string> args;  // an output is "out", there before with other bytes
        std::size_t limit = 10;         // a file may grow so far; the write goes further
        std::size_t backups = 0;
    } writes[] = {
        {{"fix", "router.bin", "--fix-dir", "fixes"}},  // the backup fails
        // The fix makes the container grow: the backup fits, the save does not.
        {{"fix", "router.bin", "--fix-dir", "fixes"}, kestrune::test::Source("samples/router.bin").size(), 1},
        {{"fix", "router.xml", "--fix-dir", "fixes"}},
        {{"pack", "router.xml", "-o", "out"}},
        {{"unpack", "router.bin", "-o", "out"}},
        {{"encrypt", "dns.txt", "-o", "out"}},
        {{"decrypt", "dns.fix", "-o", "out"}},
        {{"diff", "router.xml", "router.xml", "-o", "out"}},
    };
    for (const auto& write : writes) {
        const std::string name = testing::PrintToString(write.args) + " limit " + std::to_string(write.limit);
        Scene full{name + ", disk full", [](Dir d) { kestrune::test::WriteFile(d + "/out", "the old output"); },
                   write.args, 1, "Error 61 - Disk full\n", "", write.backups};
        full.options.fileSizeLimit = write.limit;
        ExpectRun(full);
        Scene killed = full;  // stopped dead at that write: nothing half-written is left
        killed.name = name + ", killed at that write";
        killed.exitCode = 128 + SIGKILL;
        killed.line.clear();
        killed.options.killAtFileSizeLimit = true;
        ExpectRun(killed);
        ExpectRun({name + ", a folder this user may not write to",
                   [](Dir d) {
                       kestrune::test::WriteFile(d + "/out", "the old output");
                       for (const auto& f : fs::directory_iterator(d)) {
                           if (f.is_regular_file()) ::chmod(f.path().c_str(), 0666);
                       }
                       ::chmod(d.c_str(), 0555);
                   },
                   write.args, 1, "Error 70 - Permission denied\n", "", 0, 0, Unprivileged()});
        if (write.args[0] == "fix") continue;
        ExpectRun({name + ", a folder in the output's place", [](Dir d) { fs::create_directories(d + "/out/kept"); },
                   write.args, 1, "error: Error 75 - Path/File access error: out is a folder, not a file\n"});
    }
}

}  // namespace
