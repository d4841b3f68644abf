// The fix run and the file tools on the files users really have: links,
// private and read-only files, hard links, pipes and folders where files
// should be, names beyond ASCII. A run either keeps faith with the file (the
// file a link leads to fixed, permissions kept) or refuses it by name before
// anything is read, backed up or written, and never hangs.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>

using kestrune::test::CliOptions;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::TempDir;
using kestrune::test::UnprivilegedId;
using kestrune::test::WriteFile;

namespace {

namespace fs = std::filesystem;

const std::string Refused = "warning: Error 75 - Path/File access error: ";

std::string NoFixLoaded(const std::string& fixes) {
    return "warning: No fix is loaded, so there is nothing to apply. Choose a fix that loads without a warning, or "
           "add fix files (*.fix, fix_*.txt) to " + fixes + ".";
}

bool IsRoot() { return ::geteuid() == 0; }

struct stat StatusOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

std::vector<std::string> Backups(const std::string& folder) {
    std::vector<std::string> backups;
    for (const auto& name : ListFolder(folder)) {
        if (name.ends_with(".bak")) backups.push_back(fs::path(folder) / name);
    }
    return backups;
}

// The configuration and its backup both have these permission bits, owner and group.
void ExpectConfigAndBackup(const std::string& folder, const std::string& config, mode_t bits, uid_t owner,
                           gid_t group) {
    for (const std::string& path : {config, Backups(folder).at(0)}) {
        SCOPED_TRACE(path);
        const struct stat st = StatusOf(path);
        EXPECT_EQ(st.st_mode & 07777, bits);
        EXPECT_EQ(st.st_uid, owner);
        EXPECT_EQ(st.st_gid, group);
    }
}

// What one row lays out, and the line standard error must then hold.
struct Scene {
    std::vector<std::string> args;
    std::string config;  // the file whose bytes the run changes or keeps; empty: no file to look at
    std::string line;
    bool unprivileged = false;
};

// folder holds the configuration; fixes the fix folder, with a fix that
// renames the router and the sample WEP fix.
using Layout = std::function<Scene(const std::string& folder, const std::string& fixes)>;

std::string PlaceConfig(const std::string& path, mode_t mode) {
    WriteFile(path, kestrune::test::Source("samples/router.bin"));
    ::chmod(path.c_str(), mode);
    return path;
}

std::vector<std::string> Fix(const std::string& config, const std::string& fixes) {
    return {"fix", config, "--fix-dir", fixes};
}

TEST(FileSystemCli, EachKindOfFileIsFixedFaithfullyOrRefusedByName) {
    const struct {
        const char* name;
        bool needsRoot;  // to own files as another user
        Layout lay;
        int exitCode;
        bool fixed;           // the configuration's bytes change
        std::size_t backups;  // beside the chosen path
        std::function<void(const std::string& folder, const std::string& config)> check;
    } rows[] = {
        {"symbolic link: the file it leads to is fixed, the backup named after the link", false,
         [](const std::string& folder, const std::string& fixes) {
             fs::create_directory(folder + "/nas");
             PlaceConfig(folder + "/nas/router.bin", 0644);
             fs::create_symlink("nas/router.bin", folder + "/router.bin");
             return Scene{Fix(folder + "/router.bin", fixes), folder + "/router.bin",
                          "info: The config file has been fixed!"};
         },
         0, true, 1,
         [](const std::string& folder, const std::string& config) {
             EXPECT_TRUE(fs::is_symlink(config));
             EXPECT_EQ(ListFolder(folder + "/nas"), std::vector<std::string>{"router.bin"});
         }},
        {"private configuration: the backup is as private, with the same owner", false,
         [](const std::string& folder, const std::string& fixes) {
             const std::string config = PlaceConfig(folder + "/router.bin", 0600);
             if (IsRoot()) ::chown(config.c_str(), UnprivilegedId, UnprivilegedId);
             return Scene{Fix(config, fixes), config, "info: The config file has been fixed!"};
         },
         0, true, 1,
         [](const std::string& folder, const std::string& config) {
             ExpectConfigAndBackup(folder, config, 0600, IsRoot() ? UnprivilegedId : ::geteuid(),
                                   IsRoot() ? UnprivilegedId : ::getegid());
         }},
        {"private container unpacked: the XML is as private", false,
         [](const std::string& folder, const std::string&) {
             const std::string config = PlaceConfig(folder + "/router.bin", 0600);
             return Scene{{"unpack", config, "-o", folder + "/router.xml"}, config, ""};
         },
         0, false, 0,
         [](const std::string& folder, const std::string&) {
             EXPECT_EQ(StatusOf(folder + "/router.xml").st_mode & 07777, 0600u);
         }},
        {"group the user is not in: its permissions go, not to another group", true,
         [](const std::string& folder, const std::string& fixes) {
             const std::string config = PlaceConfig(folder + "/router.bin", 0640);
             ::chown(config.c_str(), UnprivilegedId, 0);
             ::chmod(folder.c_str(), 0777);
             return Scene{Fix(config, fixes), config, "info: The config file has been fixed!", true};
         },
         0, true, 1,
         [](const std::string& folder, const std::string& config) {
             ExpectConfigAndBackup(folder, config, 0600, UnprivilegedId, UnprivilegedId);
         }},
        // As root, another user's file; otherwise the user's own without
        // the owner's write bit. Either way the folder may be written.
        {"read-only for this user, in a folder that is not", false,
         [](const std::string& folder, const std::string& fixes) {
             const std::string config = PlaceConfig(folder + "/router.bin", IsRoot() ? 0644 : 0464);
             ::chmod(folder.c_str(), 0777);
             return Scene{Fix(config, fixes), config, Refused + config + " is read-only for this user", true};
         },
         1, false, 0, nullptr},
        {"no write bit, which binds root too", false,
         [](const std::string& folder, const std::string& fixes) {
             const std::string config = PlaceConfig(folder + "/router.bin", 0444);
             return Scene{Fix(config, fixes), config, Refused + config + " is read-only"};
         },
         1, false, 0, nullptr},
        {"a dry run refuses what the real run would", false,
         [](const std::string& folder, const std::string& fixes) {
             const std::string config = PlaceConfig(folder + "/router.bin", 0444);
             auto args = Fix(config, fixes);
             args.push_back("--dry-run");
             return Scene{args, config, Refused + config + " is read-only"};
         },
         1, false, 0, nullptr},
        {"second hard link", false,
         [](const std::string& folder, const std::string& fixes) {
             const std::string config = PlaceConfig(folder + "/router.bin", 0644);
             fs::create_hard_link(config, folder + "/other.bin");
             return Scene{Fix(config, fixes), config,
                          Refused + config + " has 2 names (hard links); a save would give only this one the new content"};
         },
         1, false, 0, [](const std::string& folder, const std::string& config) {
             EXPECT_EQ(StatusOf(folder + "/other.bin").st_ino, StatusOf(config).st_ino);
         }},
        {"named pipe as the configuration", false,
         [](const std::string& folder, const std::string& fixes) {
             ::mkfifo((folder + "/router.bin").c_str(), 0644);
             return Scene{Fix(folder + "/router.bin", fixes), "",
                          Refused + folder + "/router.bin is a named pipe (FIFO), not a file"};
         },
         1, false, 0, nullptr},
        {"named pipe as fix.wep: said at start-up, the run goes on", false,
         [](const std::string& folder, const std::string& fixes) {
             fs::remove(fixes + "/fix.wep");
             ::mkfifo((fixes + "/fix.wep").c_str(), 0644);
             return Scene{Fix(PlaceConfig(folder + "/router.bin", 0644), fixes), folder + "/router.bin",
                          Refused + fixes + "/fix.wep is a named pipe (FIFO), not a file"};
         },
         0, true, 1, nullptr},
        {"named pipe as the fix: no fix is loaded", false,
         [](const std::string& folder, const std::string& fixes) {
             ::mkfifo((fixes + "/pipe.fix").c_str(), 0644);
             auto args = Fix(PlaceConfig(folder + "/router.bin", 0644), fixes);
             args.insert(args.end(), {"--fix", "pipe.fix"});
             return Scene{args, folder + "/router.bin", NoFixLoaded(fixes)};
         },
         1, false, 0, nullptr},
        {"no fix in the fix folder", false,
         [](const std::string& folder, const std::string& fixes) {
             fs::remove(fixes + "/fix_hostname.txt");
             return Scene{Fix(PlaceConfig(folder + "/router.bin", 0644), fixes), folder + "/router.bin",
                          NoFixLoaded(fixes)};
         },
         1, false, 0, nullptr},
        // The name as the file system has it, not its UTF-8 bytes read as Latin-1.
        {"folder name beyond ASCII", false,
         [](const std::string& folder, const std::string& fixes) {
             fs::create_directory(folder + "/jos\xC3\xA9");
             const std::string config = PlaceConfig(folder + "/jos\xC3\xA9/router.bin", 0444);
             return Scene{Fix(config, fixes), config, Refused + folder + "/jos\xC3\xA9/router.bin is read-only"};
         },
         1, false, 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && !IsRoot()) {
            std::cout << "[ skipped  ] " << row.name << ": needs root to own a file as another user\n";
            continue;
        }
        TempDir folder;
        TempDir fixes;
        WriteFile(fixes / "fix_hostname.txt", "[Router Fix]\r\np=/config/system/hostname\r\nv=gateway\r\n");
        WriteFile(fixes / "fix.wep", kestrune::test::Source("fixes/fix.wep"));
        fs::permissions(folder.path(), fs::perms(0755));
        fs::permissions(fixes.path(), fs::perms(0755));
        const Scene scene = row.lay(folder.path().string(), fixes.path().string());
        const std::string chosenFolder = fs::path(scene.args[1]).parent_path().string();
        const std::string before = scene.config.empty() ? "" : ReadFile(scene.config);
        CliOptions options;
        options.unprivileged = scene.unprivileged;
        options.timeoutSeconds = 10;  // a run blocked on a pipe fails rather than hangs

        const auto r = RunCli(scene.args, options);

        ASSERT_TRUE(r.notStarted.empty()) << r.notStarted;
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        if (!scene.line.empty()) {
            EXPECT_NE(r.err.find(scene.line + "\n"), std::string::npos) << r.err;
        }
        if (!scene.config.empty()) {
            EXPECT_EQ(ReadFile(scene.config) != before, row.fixed);
        }
        const auto backups = Backups(chosenFolder);
        EXPECT_EQ(backups.size(), row.backups);
        for (const auto& backup : backups) EXPECT_TRUE(ReadFile(backup) == before) << backup;
        if (row.check) row.check(chosenFolder, scene.args[1]);
    }
}

}  // namespace
