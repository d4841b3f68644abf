#include "common/modGen.h"

#include "common/Errors.h"
#include "common/SafeWrite.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace modGen {

std::string ReportLog;
bool VerboseMode = false;

void AddReportLine(std::string_view line) {
    ReportLog.append(line);
    ReportLog.append("\r\n");
}

std::int32_t CountSeparators(std::string_view text, std::string_view separator) {
    if (separator.empty()) return 0;
    std::int32_t count = 0;
    for (auto pos = text.find(separator); pos != std::string_view::npos; pos = text.find(separator, pos + 1)) {
        ++count;
    }
    return count;
}

std::string GetField(std::string_view text, std::string_view separator, std::int32_t n) {
    if (separator.empty() || n < 1 || n > CountSeparators(text, separator) + 1) {
        throw kestrune::RunError(kestrune::ErrorNumber::InvalidArgument);
    }
    std::size_t start = 0;
    for (std::int32_t field = 1; field < n; ++field) {
        start = text.find(separator, start) + separator.size();
    }
    const auto end = text.find(separator, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string GetExtension(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::optional<std::string> FolderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    return std::string(slash == 0 ? "/" : path.substr(0, slash));
}

std::string NamePart(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string AddBackslash(std::string_view path) {
    std::string result(path);
    if (result.empty() || result.back() != '/') result.push_back('/');
    return result;
}

std::string ReadWholeFile(const std::string& path) {
    // Only a regular file is read. Anything else is refused before it is
    // opened, so that no device is touched; a socket could not be opened
    // anyway, and a named pipe would wait for a writer. The open cannot wait
    // either (O_NONBLOCK) nor take a terminal for the process (O_NOCTTY),
    // should something else have taken the name in between: the open file
    // is looked at again before a byte is read.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) throw kestrune::NotAFileError(path, st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw kestrune::ErrorFromErrno(errno, path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    if (::fstat(fd, &st) != 0) throw kestrune::ErrorFromErrno(errno, path);
    if (!S_ISREG(st.st_mode)) throw kestrune::NotAFileError(path, st.st_mode);

    // The size is a hint only: read until the end, whatever it turns out to be.
    // One byte of room past it lets the read that finds the end need no
    // larger buffer, so a file of the expected size is never copied.
    std::string bytes;
    bytes.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 0);
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) bytes.resize(bytes.size() + 65536);
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw kestrune::ErrorFromErrno(errno, path);
        }
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

bool WriteWholeFile(std::string_view text, const std::string& path) {
    try {
        kestrune::WriteFileSafely(path, text);
        return true;
    } catch (const kestrune::RunError&) {
        return false;
    }
}

std::string ProgramFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path().string();
    return exe.parent_path().string();
}

}  // namespace modGen
