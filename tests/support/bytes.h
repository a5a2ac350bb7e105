#pragma once
// Byte writers for the binary files tests build (compound files, pictures).

#include <cstdint>
#include <string>

namespace vm::test {

inline void le16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v);
  s += static_cast<char>(v >> 8);
}
inline void le32(std::string& s, std::uint32_t v) {
  le16(s, v & 0xFFFF);
  le16(s, v >> 16);
}
inline void be16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v);
}

}  // namespace vm::test
