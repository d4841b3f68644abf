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
// only then given the target's name (keeping an existing target's
// permissions). Raises a RunError on failure and leaves no file behind;
// CreateNew raises "File already exists" (58) when path exists, and both
// modes raise "Path/File access error" (75) when path is a folder.
void WriteFileSafely(const std::string& path, std::string_view bytes, WriteMode mode = WriteMode::Replace);

namespace detail {
// False makes WriteFileSafely take the hidden temporary file at once, as on
// a file system without unnamed files, so that tests reach that path too.
extern bool TryUnnamedFiles;
}  // namespace detail

}  // namespace kestrune
