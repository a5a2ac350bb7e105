#pragma once
// Writing the write password of a Word 97-2003 file, which the office drops when it saves one:
// the compound file is copied stream by stream, only the FIB and the table stream changed.

#include <filesystem>
#include <string>

namespace vm::word {

// Word keeps at most this many characters of a .doc's write password.
constexpr std::size_t kDocWritePasswordMax = 15;

// Sets (or, with an empty password, removes) the write password of the Word 97-2003 file at
// path, rewriting it in place through a sibling file. Throws EngineError when the file is not
// such a file or cannot be rewritten; the file is then left as it was.
void setDocWriteReservation(const std::filesystem::path& path, const std::string& passwordUtf8);

}  // namespace vm::word
