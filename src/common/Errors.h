#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace kestrune {

// The one table of error numbers. A run that fails shows
// "Error " + number + " - " + description (RunError::message), so users
// and their notes know these numbers: a number, once given a meaning,
// keeps it.
namespace ErrorNumber {
inline constexpr std::int32_t InvalidArgument = 5;        // "Invalid procedure call or argument"
inline constexpr std::int32_t OutOfMemory = 7;            // "Out of memory"
inline constexpr std::int32_t SubscriptOutOfRange = 9;    // "Subscript out of range"
inline constexpr std::int32_t BadFileName = 52;           // "Bad file name or number"
inline constexpr std::int32_t FileNotFound = 53;          // "File not found"
inline constexpr std::int32_t DeviceIOError = 57;         // "Device I/O error"
inline constexpr std::int32_t FileAlreadyExists = 58;     // "File already exists"
inline constexpr std::int32_t DiskFull = 61;              // "Disk full"
inline constexpr std::int32_t TooManyFiles = 67;          // "Too many files"
inline constexpr std::int32_t PermissionDenied = 70;      // "Permission denied"
inline constexpr std::int32_t PathFileAccessError = 75;   // "Path/File access error"
inline constexpr std::int32_t PathNotFound = 76;          // "Path not found"

// Errors the program defines itself are numbered from 0x80040000 (a
// negative number as it is shown), far from the standard ones; the
// cipher's two errors use the base itself.
inline constexpr std::int32_t ComponentBase = -2147221504;

// The XML engine's own errors, above the base.
inline constexpr std::int32_t XmlQueryRejected = ComponentBase + 0x101;   // selection language refused a path
inline constexpr std::int32_t XmlNotAnElement = ComponentBase + 0x102;    // a path matched a non-element node
inline constexpr std::int32_t XmlInvalidName = ComponentBase + 0x103;     // a step is not a valid element name
inline constexpr std::int32_t XmlNothingToCreateUnder = ComponentBase + 0x104;
inline constexpr std::int32_t XmlNoParentElement = ComponentBase + 0x105; // e.g. deleting the root element
inline constexpr std::int32_t XmlPathNotCreated = ComponentBase + 0x106;  // still missing after creation
inline constexpr std::int32_t XmlNoDocument = ComponentBase + 0x107;
inline constexpr std::int32_t XmlEncodingError = ComponentBase + 0x108;
inline constexpr std::int32_t XmlNestingTooDeep = ComponentBase + 0x109;  // deeper than a load accepts

// The container codec's own errors.
inline constexpr std::int32_t CompressFailed = ComponentBase + 0x201;
inline constexpr std::int32_t ContainerTooLarge = ComponentBase + 0x202;  // a size beyond the header's 32 bits

// A save whose bytes did not read back as what was meant to be written.
inline constexpr std::int32_t SaveNotVerified = ComponentBase + 0x301;
}  // namespace ErrorNumber

// The description that goes with a standard error number of the table, or an
// empty text for any other number.
std::string StandardDescription(std::int32_t number);

// An error that ends an operation: a number from the table and a description.
class RunError : public std::runtime_error {
public:
    RunError(std::int32_t number, const std::string& description);
    // A standard error with its standard description.
    explicit RunError(std::int32_t number);

    std::int32_t number() const noexcept { return number_; }
    std::string description() const { return what(); }
    // "Error N - description": the line a failed run shows the user.
    std::string message() const;

private:
    std::int32_t number_;
};

// The error the user sees for a failed system call on a file; errnoValue is
// the call's errno, path the file it was about.
RunError ErrorFromErrno(int errnoValue, const std::string& path);

// "Path/File access error" (75) for a file the program will not read or
// write as asked: the description names the file, then says why.
RunError FileAccessError(const std::string& path, const std::string& why);

// FileAccessError for a path that leads to a folder, a named pipe, a device
// or a socket (as st_mode tells) instead of a file.
RunError NotAFileError(const std::string& path, mode_t mode);

}  // namespace kestrune
