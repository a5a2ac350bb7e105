#pragma once
// The one way the engine puts a file in place, for every back end: the new content goes to a
// new file beside the target, is flushed to the disk (unless sync is false) and renamed over
// the target, so that the target is always either the old file or the new one, whole. The new
// file gets the target's permission bits (and owner and group, where the process may set them).
// A symbolic link is followed: the file it points to is replaced and the link stays. On any
// failure the target is left byte for byte as it was and the temporary file is removed.
//
// Failures throw EngineError: DiskFull (no space, quota, file size limit) or WriteFailed (no
// permission, no folder, a folder in the way, ...), with the step and the system's message in
// the detail.

#include <filesystem>
#include <string_view>

namespace vm::word {

// Writes bytes as the target's new content.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, bool sync = true);

// Puts a file written elsewhere (e.g. by the office in a scratch folder) in place as the
// target's new content. The written file is moved when it is on the target's file system, else
// copied; on failure it is left where it is for its owner to remove.
void replaceFile(const std::filesystem::path& target, const std::filesystem::path& written, bool sync = true);

}  // namespace vm::word
