#pragma once
// Reading a stream of an OLE compound file (a Word 97-2003 document's container), enough to
// look at what the office does not report. Read only; a damaged file reads as no stream.

#include <optional>
#include <string>
#include <string_view>

namespace vm::word {

// The top-level stream of that name (ASCII, any case) in a whole compound file, nullopt when the
// file is not one, is damaged or has no such stream.
std::optional<std::string> compoundStream(std::string_view file, std::string_view name);

}  // namespace vm::word
