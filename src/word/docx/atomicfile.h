#pragma once
// Writing a whole file so that a failure never leaves a half-written target: the bytes go to a
// new file beside the target, are flushed to the disk (unless sync is false) and renamed over
// the target, which keeps
// the target's permissions (and owner, where allowed). A symbolic link is followed: the file it
// points to is replaced, the link stays.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace vm::word::docx {

// Throws EngineError(WriteFailed) with a Chinese message naming the cause (disk full,
// no permission); the target is then as it was and the temporary file is removed.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, bool sync = true);

}  // namespace vm::word::docx
