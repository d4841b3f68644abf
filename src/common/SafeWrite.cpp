#include "common/SafeWrite.h"

#include "common/Errors.h"
#include "common/modGen.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace kestrune {

bool detail::TryUnnamedFiles = true;

namespace {

std::string FolderOf(const std::string& path) { return modGen::FolderPart(path).value_or("."); }

// Hidden, and named after the target, so that a leftover is easy to
// recognise.
std::string TemporaryPrefix(const std::string& target) {
    return FolderOf(target) + "/." + modGen::NamePart(target) + ".kestrune-";
}

std::string RandomSuffix() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string suffix(6, ' ');
    for (char& c : suffix) c = letters[pick(device)];
    return suffix;
}

// The new content on its way to the target's name. Preferably an unnamed
// file in the target's folder, which has no name until it is whole, so that
// a process killed while writing leaves nothing behind; where the file
// system cannot make one, a hidden temporary file, removed unless handed over.
class PendingFile {
public:
    explicit PendingFile(const std::string& target) : target_(target) {
        if (detail::TryUnnamedFiles) {
            fd_ = ::open(FolderOf(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (fd_ >= 0) return;
            // Kernels and file systems without unnamed files say so in one
            // of these ways; any other error is the folder's own.
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) throw ErrorFromErrno(errno, target);
        }
        tempPath_ = TemporaryPrefix(target) + "XXXXXX";
        fd_ = ::mkostemp(tempPath_.data(), O_CLOEXEC);
        if (fd_ < 0) throw ErrorFromErrno(errno, target);
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    }

    int fd() const { return fd_; }

    // Gives the whole file the target's name: CreateNew never replaces an
    // existing name; Replace swaps the new file in by one rename.
    void Publish(WriteMode mode) {
        if (tempPath_.empty()) {
            if (mode == WriteMode::CreateNew) {
                if (!LinkUnnamed(target_)) throw ErrorFromErrno(errno, target_);
            } else {
                // Only a rename replaces a name in one step, and it needs a
                // name to move: a kill between the two calls leaves this one.
                tempPath_ = NewTemporaryName();
                MoveOver();
            }
        } else if (mode == WriteMode::CreateNew) {
            if (::link(tempPath_.c_str(), target_.c_str()) != 0) throw ErrorFromErrno(errno, target_);
        } else {
            MoveOver();
        }
        Close();
    }

private:
    bool LinkUnnamed(const std::string& name) const {
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        // Without /proc only the privileged form of the call is left.
        if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) return false;
        return ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
    }

    std::string NewTemporaryName() const {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TemporaryPrefix(target_) + RandomSuffix();
            if (LinkUnnamed(name)) return name;
            if (errno != EEXIST) throw ErrorFromErrno(errno, target_);
        }
        throw ErrorFromErrno(EEXIST, target_);
    }

    void MoveOver() {
        if (::rename(tempPath_.c_str(), target_.c_str()) != 0) throw ErrorFromErrno(errno, target_);
        tempPath_.clear();
    }

    void Close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) throw ErrorFromErrno(errno, target_);
    }

    std::string target_;
    std::string tempPath_;  // the fallback's file, or the unnamed file's name on its way to the target
    int fd_ = -1;
};

void WriteAll(int fd, std::string_view bytes, const std::string& target) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ErrorFromErrno(errno, target);
        }
        done += static_cast<std::size_t>(n);
    }
}

// Reads the file back from its start and compares it with what was meant
// to be written: a short or damaged write shows here, before the file gets
// its name.
void VerifyContent(int fd, std::string_view bytes, const std::string& target) {
    std::vector<char> buffer(65536);
    std::size_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ErrorFromErrno(errno, target);
        }
        if (n == 0) break;
        const auto got = static_cast<std::size_t>(n);
        if (offset + got > bytes.size() || std::memcmp(buffer.data(), bytes.data() + offset, got) != 0) {
            throw RunError(ErrorNumber::DeviceIOError);
        }
        offset += got;
    }
    if (offset != bytes.size()) throw RunError(ErrorNumber::DeviceIOError);
}

void SyncFolder(const std::string& target) {
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;  // the file is in place; syncing the folder is only extra safety
    ::fsync(dir);
    ::close(dir);
}

// The permission bits, owner and group a new file is given.
struct Ownership {
    mode_t bits = 0;
    std::optional<std::pair<uid_t, gid_t>> owners;  // none: the process's own
};

Ownership OwnershipOf(const struct stat& st, mode_t keptBits) {
    return {st.st_mode & keptBits, std::make_pair(st.st_uid, st.st_gid)};
}

// A new file is a copy of modeFrom (without its set-ID and sticky bits), or
// else what the umask allows.
Ownership NewFileOwnership(const std::string& modeFrom) {
    if (!modeFrom.empty()) {
        struct stat model {};
        if (::stat(modeFrom.c_str(), &model) != 0) throw ErrorFromErrno(errno, modeFrom);
        return OwnershipOf(model, 0777);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return {static_cast<mode_t>(0666 & ~mask), std::nullopt};
}

// Owner and group where the process may set them: root may set both, an
// owner any group of their own. The group's bits go with the group: another
// group must not gain what this one had.
void GiveOwnership(int fd, const Ownership& ownership, const std::string& path) {
    mode_t bits = ownership.bits;
    if (ownership.owners) {
        const auto [owner, group] = *ownership.owners;
        if (::fchown(fd, owner, group) != 0 && ::fchown(fd, static_cast<uid_t>(-1), group) != 0) {
            bits &= ~static_cast<mode_t>(S_IRWXG);
        }
    }
    // After the owner: a change of owner clears the set-user-ID bit.
    if (::fchmod(fd, bits) != 0) throw ErrorFromErrno(errno, path);
}

// The name a replacement lands on: symbolic links followed, a relative one
// from the folder it lies in, to a file that need not exist yet.
std::string FollowLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        const std::filesystem::path to = std::filesystem::read_symlink(path, ec);
        // No link (or nothing) there: this is the name. Any other trouble
        // with it shows when the file is looked at.
        if (ec) return path;
        path = to.is_absolute() ? to.string() : FolderOf(path) + "/" + to.string();
    }
    throw ErrorFromErrno(ELOOP, path);
}

// The status of the file at target, or nothing when there is none yet.
std::optional<struct stat> ExistingFile(const std::string& path, const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st;
    if (errno == ENOENT) return std::nullopt;
    throw ErrorFromErrno(errno, path);
}

// A file that cannot be written without loss: refused before anything is
// written. Even root does not replace a file that has no write bit.
void CheckReplaceable(const std::string& path, const std::string& target, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) throw NotAFileError(path, st.st_mode);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw FileAccessError(path, "is read-only");
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        throw FileAccessError(path, errno == EROFS ? "is on a read-only file system" : "is read-only for this user");
    }
    if (st.st_nlink > 1) {
        throw FileAccessError(path, "has " + std::to_string(st.st_nlink) +
                                        " names (hard links); a save would give only this one the new content");
    }
}

}  // namespace

void RequireReplaceable(const std::string& path) {
    const std::string target = FollowLinks(path);
    if (const auto st = ExistingFile(path, target)) CheckReplaceable(path, target, *st);
}

void WriteFileSafely(const std::string& path, std::string_view bytes, WriteMode mode, const std::string& modeFrom) {
    // A new name is made where it is asked for; a replacement goes to the
    // file a link leads to, so that the link stays.
    const std::string target = mode == WriteMode::Replace ? FollowLinks(path) : path;
    const auto existing = ExistingFile(path, target);
    if (existing) {
        // Checked first: to CreateNew a folder or a pipe is not a file that
        // is already there (a backup would take it for an older backup).
        if (!S_ISREG(existing->st_mode)) throw NotAFileError(path, existing->st_mode);
        if (mode == WriteMode::CreateNew) throw RunError(ErrorNumber::FileAlreadyExists);
        CheckReplaceable(path, target, *existing);
    }
    const Ownership ownership = existing ? OwnershipOf(*existing, 07777) : NewFileOwnership(modeFrom);

    PendingFile file(target);
    GiveOwnership(file.fd(), ownership, path);
    WriteAll(file.fd(), bytes, path);
    if (::fsync(file.fd()) != 0) throw ErrorFromErrno(errno, path);
    VerifyContent(file.fd(), bytes, path);
    file.Publish(mode);
    SyncFolder(target);
}

}  // namespace kestrune
