#include "common/Errors.h"

#include "common/modGen.h"

#include <cerrno>
#include <sys/stat.h>

namespace kestrune {

std::string StandardDescription(std::int32_t number) {
    switch (number) {
    case ErrorNumber::InvalidArgument: return "Invalid procedure call or argument";
    case ErrorNumber::OutOfMemory: return "Out of memory";
    case ErrorNumber::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorNumber::BadFileName: return "Bad file name or number";
    case ErrorNumber::FileNotFound: return "File not found";
    case ErrorNumber::DeviceIOError: return "Device I/O error";
    case ErrorNumber::FileAlreadyExists: return "File already exists";
    case ErrorNumber::DiskFull: return "Disk full";
    case ErrorNumber::TooManyFiles: return "Too many files";
    case ErrorNumber::PermissionDenied: return "Permission denied";
    case ErrorNumber::PathFileAccessError: return "Path/File access error";
    case ErrorNumber::PathNotFound: return "Path not found";
    default: return {};
    }
}

RunError::RunError(std::int32_t number, const std::string& description)
    : std::runtime_error(description), number_(number) {}

RunError::RunError(std::int32_t number) : RunError(number, StandardDescription(number)) {}

std::string RunError::message() const { return "Error " + std::to_string(number_) + " - " + what(); }

namespace {

// ENOENT means "file not found" only when the folder it should be in exists.
bool ParentFolderExists(const std::string& path) {
    const std::optional<std::string> parent = modGen::FolderPart(path);
    if (!parent) return true;
    struct stat st {};
    return ::stat(parent->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

RunError ErrorFromErrno(int errnoValue, const std::string& path) {
    switch (errnoValue) {
    case ENOENT:
        return RunError(ParentFolderExists(path) ? ErrorNumber::FileNotFound : ErrorNumber::PathNotFound);
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return RunError(ErrorNumber::PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return RunError(ErrorNumber::PermissionDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return RunError(ErrorNumber::DiskFull);
    case EEXIST:
        return RunError(ErrorNumber::FileAlreadyExists);
    case EMFILE:
    case ENFILE:
        return RunError(ErrorNumber::TooManyFiles);
    case ENOMEM:
        return RunError(ErrorNumber::OutOfMemory);
    case EISDIR:
    case EBUSY:
    case EXDEV:
        return RunError(ErrorNumber::PathFileAccessError);
    default:
        return RunError(ErrorNumber::DeviceIOError);
    }
}

RunError FileAccessError(const std::string& path, const std::string& why) {
    return RunError(ErrorNumber::PathFileAccessError,
                    StandardDescription(ErrorNumber::PathFileAccessError) + ": " + path + " " + why);
}

RunError NotAFileError(const std::string& path, mode_t mode) {
    // Links are followed before the question comes up; what is left besides these is a device.
    const char* kind = S_ISDIR(mode)    ? "a folder"
                       : S_ISFIFO(mode) ? "a named pipe (FIFO)"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "a device";
    return FileAccessError(path, std::string("is ") + kind + ", not a file");
}

}  // namespace kestrune
