#include "word/docreservation.h"

#include <cstdint>
#include <cstring>

#include "word/compoundfile.h"
#include "word/docx/unicase.h"

namespace vm::word {

namespace {

std::uint32_t le(std::string_view s, std::size_t at, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + i])) << (8 * i);
  return v;
}

constexpr std::size_t kPassword = 0x11;   // its index among the associated strings
constexpr std::size_t kSttbfAssoc = 32;   // fcSttbfAssoc's pair in FibRgFcLcb97

}  // namespace

std::optional<std::string> docWriteReservation(std::string_view file) {
  const auto fib = compoundStream(file, "WordDocument");
  if (!fib || fib->size() < 154) return std::nullopt;
  const std::string_view w(*fib);
  const std::uint32_t flags = le(w, 0x0A, 2);
  if (!(flags & 0x0800)) return std::nullopt;  // fWriteReservation
  // FibBase (32 bytes), then three counted arrays: 16-bit, 32-bit, then the fc/lcb pairs.
  std::size_t at = 32;
  at += 2 + 2 * le(w, at, 2);
  if (at + 2 > w.size()) return std::nullopt;
  at += 2 + 4 * le(w, at, 2);
  if (at + 2 > w.size() || le(w, at, 2) <= kSttbfAssoc) return std::nullopt;
  at += 2 + 8 * kSttbfAssoc;
  if (at + 8 > w.size()) return std::nullopt;
  const std::uint32_t fc = le(w, at, 4), lcb = le(w, at + 4, 4);
  const auto table = compoundStream(file, flags & 0x0200 ? "1Table" : "0Table");
  if (!table || lcb < 6 || fc > table->size() || lcb > table->size() - fc) return std::nullopt;
  const std::string_view s = std::string_view(*table).substr(fc, lcb);
  if (le(s, 0, 2) != 0xFFFF) return std::nullopt;  // Word 97 and later write UTF-16 strings
  const std::uint32_t count = le(s, 2, 2), extra = le(s, 4, 2);
  if (count <= kPassword) return std::nullopt;
  std::size_t p = 6;
  for (std::size_t i = 0; i <= kPassword; ++i) {
    if (p + 2 > s.size()) return std::nullopt;
    const std::size_t cch = le(s, p, 2);
    p += 2;
    if (p + 2 * cch > s.size()) return std::nullopt;
    if (i == kPassword) {
      if (cch == 0) return std::nullopt;
      std::u32string text;
      for (std::size_t k = 0; k < cch; ++k) {
        char32_t c = le(s, p + 2 * k, 2);
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < cch) {
          const char32_t low = le(s, p + 2 * k + 2, 2);
          if (low >= 0xDC00 && low < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++k;
          }
        }
        text += c;
      }
      return docx::toUtf8(text);
    }
    p += 2 * cch + extra;
  }
  return std::nullopt;
}

}  // namespace vm::word
