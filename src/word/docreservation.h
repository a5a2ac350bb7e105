#pragma once
// The write password of a Word 97-2003 document. Word keeps it as typed, not hashed: the file
// is flagged write-reserved in its FIB and the password is string 0x11 of the associated strings
// (SttbfAssoc) in the table stream. The office does not report it, so it is read here.

#include <optional>
#include <string>
#include <string_view>

namespace vm::word {

// The password (UTF-8) of a write-reserved Word 97-2003 file (the whole file's bytes); nullopt
// when the file is not write-reserved, not such a file, or its password cannot be read.
std::optional<std::string> docWriteReservation(std::string_view file);

}  // namespace vm::word
