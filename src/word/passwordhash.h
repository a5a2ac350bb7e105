#pragma once
// The password hashes Word keeps for a write password: a salted hash spun many times, over the
// password itself or over the legacy 32-bit key that Word 2007 derives from it first.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vm::word {

// Digest names as the files give them ("SHA-512", "SHA-1", ...) or by their sid (14, 4, ...).
// nullopt: an algorithm the engine cannot compute.
std::optional<std::string> digestForName(std::string_view name);
std::optional<std::string> digestForSid(int sid);

// H(salt + input), then spinCount rounds of H(previous + the round number, 32-bit little endian).
std::string spinHash(const std::string& digest, std::string_view salt, std::string_view input, std::uint32_t spinCount);

// The password as UTF-16LE (what the hashes are computed over).
std::string utf16le(std::string_view utf8);

// Word's legacy key of a password (at most 15 characters are used): the 16-bit key from the
// encryption matrix in the high word, the 16-bit verifier in the low word; 0 for "".
std::uint32_t legacyPasswordKey(std::string_view utf8);

std::string base64Encode(std::string_view bytes);
std::optional<std::string> base64Decode(std::string_view text);

std::string randomBytes(std::size_t n);

}  // namespace vm::word
