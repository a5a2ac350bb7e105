#include "word/docx/unicase.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace vm::word::docx {

namespace {

struct CaseMapping {
  char32_t from, to;
};

#include "word/docx/unicase_tables.inc"

template <std::size_t N>
char32_t lookup(const CaseMapping (&table)[N], char32_t c) noexcept {
  if (c < 0x80) return c;  // ASCII is handled by the callers
  if (c / 256 >= kBlockLimit || !kHasMapping[c / 256]) return c;
  const CaseMapping* end = table + N;
  const CaseMapping* it =
      std::lower_bound(table, end, c, [](const CaseMapping& m, char32_t v) { return m.from < v; });
  return it != end && it->from == c ? it->to : c;
}

}  // namespace

char32_t foldCase(char32_t c) noexcept {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  return lookup(kFold, c);
}

char32_t toLower(char32_t c) noexcept {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  return lookup(kLower, c);
}

char32_t toUpper(char32_t c) noexcept {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
  return lookup(kUpper, c);
}

std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

char32_t foldWidth(char32_t c) noexcept {
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;
  if (c == 0x3000) return 0x20;
  return c;
}

std::u32string foldVariants(char32_t folded, bool cases, bool widths) {
  // Asked for each pattern of each document, and the search below walks the whole table.
  thread_local std::unordered_map<std::uint64_t, std::u32string> known;
  const std::uint64_t key = (static_cast<std::uint64_t>(folded) << 2) | (cases ? 2u : 0u) | (widths ? 1u : 0u);
  if (auto it = known.find(key); it != known.end()) return it->second;
  if (known.size() > 4096) known.clear();
  std::u32string& out = known[key];
  auto fold = [&](char32_t c) {
    if (cases) c = foldCase(c);
    return widths ? foldWidth(c) : c;
  };
  auto consider = [&](char32_t c) {
    if (fold(c) == folded && out.find(c) == std::u32string::npos) out.push_back(c);
  };
  consider(folded);
  if (cases) {
    for (char32_t c = 'A'; c <= 'Z'; ++c) consider(c);
    for (const auto& m : kFold) consider(m.from);
  }
  if (widths) {
    consider(0x3000);
    for (char32_t c = 0xFF01; c <= 0xFF5E; ++c) consider(c);
  }
  return out;
}

char32_t decodeUtf8Multi(std::string_view s, std::size_t& i) noexcept {
  auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
  if (extra < 0 || b > 0xF4) return 0xFFFD;
  char32_t c = b & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  return c;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x110000) {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u32string toU32(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) out += decodeUtf8(utf8, i);
  return out;
}

std::string toUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) appendUtf8(out, c);
  return out;
}

}  // namespace vm::word::docx
