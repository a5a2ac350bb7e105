#pragma once
// SHA-256 of a file's content, as lower-case hex (what the undo journal records). OpenSSL's,
// which uses the processor's SHA instructions: hashing is then a small part of a save.

#include <filesystem>
#include <string>

namespace vm::word {

// Empty when the file cannot be read.
std::string sha256OfFile(const std::filesystem::path& path);
// Copies from into a new file to (which must not exist) and hashes the bytes on the way, in
// one read; empty on any failure (a partly written copy is removed).
std::string copyFileHashing(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace vm::word
