#pragma once

#include <string>
#include <string_view>

namespace kestrune {

enum class WriteMode {
    Replace,    // the target may exist and is replaced whole
    CreateNew,  // the target must not exist; an existing one is left alone
};

// Writes bytes as the whole content of path, so that path holds either its
// old content or all of the new one, never a part. The bytes go to a
// temporary file in the same folder, which is flushed, synced, read back and
// compared, then renamed over the target (keeping an existing target's
// permissions). Raises a RunError on failure after removing the temporary
// file; CreateNew raises "File already exists" (58) when path exists.
void WriteFileSafely(const std::string& path, std::string_view bytes, WriteMode mode = WriteMode::Replace);

}  // namespace kestrune
