#pragma once

#include <string>
#include <string_view>

namespace kestrune {

enum class WriteMode {
    Replace,    // the target may exist and is replaced whole
    CreateNew,  // the target must not exist; an existing one is left alone
};

// Writes bytes as the whole content of path, so that path holds either its
// old content or all of the new one, never a part. The bytes go to an
// unnamed file in the same folder (a hidden temporary file where the file
// system has no unnamed ones), which is synced, read back and compared, and
// only then given the target's name.
//
// Replace follows a symbolic link: the file it leads to is written, in that
// file's folder, and the link stays a link. A replaced file keeps its
// permission bits and, where the process may set them, its owner and group.
// A new file takes those of modeFrom when it is given (a copy of a private
// file stays private; should its group not be settable, the group bits are
// dropped rather than handed to another group); otherwise the umask decides.
//
// Raises a RunError on failure and leaves no file behind: CreateNew raises
// "File already exists" (58) when path exists; both modes raise
// "Path/File access error" (75) when path is a folder, a pipe, a device or
// a socket, and Replace whatever RequireReplaceable raises.
void WriteFileSafely(const std::string& path, std::string_view bytes, WriteMode mode = WriteMode::Replace,
                     const std::string& modeFrom = {});

// Raises the "Path/File access error" (75), naming path, that replacing the
// file at path (through any symbolic links) would meet: it is no regular
// file; it is read-only (no write permission bit at all, which binds root
// too, or none for this user); or it has other names (hard links), which a
// replacement would leave with the old content. A path that leads to no
// file yet passes.
void RequireReplaceable(const std::string& path);

namespace detail {
// False makes WriteFileSafely take the hidden temporary file at once, as on
// a file system without unnamed files, so that tests reach that path too.
extern bool TryUnnamedFiles;
}  // namespace detail

}  // namespace kestrune
