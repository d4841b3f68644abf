#include "common/SafeWrite.h"

#include "common/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace kestrune {
namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary file: open until written, removed unless handed over.
class TempFile {
public:
    explicit TempFile(const std::string& target) {
        // Hidden, and named after the target, so a leftover from a killed
        // process is easy to recognise.
        path_ = FolderOf(target) + "/." + NameOf(target) + ".kestrune-XXXXXX";
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0) throw ErrorFromErrno(errno, target);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!released_) ::unlink(path_.c_str());
    }

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void Close(const std::string& target) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) throw ErrorFromErrno(errno, target);
    }
    void Release() { released_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool released_ = false;
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
// to be written: a short or damaged write shows here, before the rename.
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
    if (dir < 0) return;  // the rename has happened; syncing the folder is only extra safety
    ::fsync(dir);
    ::close(dir);
}

mode_t DefaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

void WriteFileSafely(const std::string& path, std::string_view bytes, WriteMode mode) {
    mode_t permissions = DefaultMode();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (mode == WriteMode::CreateNew) throw RunError(ErrorNumber::FileAlreadyExists);
        if (S_ISDIR(st.st_mode)) throw ErrorFromErrno(EISDIR, path);
        permissions = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        throw ErrorFromErrno(errno, path);
    }

    TempFile temp(path);
    if (::fchmod(temp.fd(), permissions) != 0) throw ErrorFromErrno(errno, path);
    WriteAll(temp.fd(), bytes, path);
    if (::fsync(temp.fd()) != 0) throw ErrorFromErrno(errno, path);
    VerifyContent(temp.fd(), bytes, path);
    temp.Close(path);

    if (mode == WriteMode::Replace) {
        if (::rename(temp.path().c_str(), path.c_str()) != 0) throw ErrorFromErrno(errno, path);
    } else {
        // A hard link never replaces an existing name, so a file that
        // appeared since the check above is still left alone.
        if (::link(temp.path().c_str(), path.c_str()) != 0) throw ErrorFromErrno(errno, path);
        ::unlink(temp.path().c_str());
    }
    temp.Release();
    SyncFolder(path);
}

}  // namespace kestrune
