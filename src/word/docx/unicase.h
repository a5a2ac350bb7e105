#pragma once
// Unicode helpers of the docx back end: simple case mappings (one code point to one, so that
// folded text keeps its positions), full-width/half-width folding, UTF-8 and UTF-16 lengths.
// Tables are constant data; every function is safe from any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace vm::word::docx {

// Simple case folding: "A" -> "a", "Ä" -> "ä", "Σ"/"ς" -> "σ", "Ａ" -> "ａ" (width kept).
char32_t foldCase(char32_t c) noexcept;
char32_t toLower(char32_t c) noexcept;
char32_t toUpper(char32_t c) noexcept;
inline bool isUpper(char32_t c) noexcept { return toLower(c) != c; }
inline bool isLower(char32_t c) noexcept { return toUpper(c) != c; }
// ASCII letters to small letters, other bytes as they are (part names, file extensions).
std::string asciiLower(std::string_view s);
// Full-width ASCII forms (U+FF01..U+FF5E) and the ideographic space to their half-width forms.
char32_t foldWidth(char32_t c) noexcept;
// Every code point that folds to `folded` (itself included) under case folding, width folding
// or both (case first), as chosen.
std::u32string foldVariants(char32_t folded, bool cases, bool widths);

// UTF-8 decoding of one code point at s[i]; advances i. Invalid bytes give U+FFFD.
char32_t decodeUtf8Multi(std::string_view s, std::size_t& i) noexcept;
inline char32_t decodeUtf8(std::string_view s, std::size_t& i) noexcept {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  return decodeUtf8Multi(s, i);
}
void appendUtf8(std::string& out, char32_t c);
std::u32string toU32(std::string_view utf8);
std::string toUtf8(std::u32string_view text);
// Word positions count UTF-16 code units.
inline int utf16Length(char32_t c) noexcept { return c >= 0x10000 && c < 0x110000 ? 2 : 1; }

}  // namespace vm::word::docx
