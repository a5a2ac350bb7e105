#include "word/docx/findpattern.h"

#include <algorithm>

#include "word/docx/storytext.h"
#include "word/docx/unicase.h"
#include "word/error.h"
#include "word/wordcodes.h"

namespace vm::word::docx {

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

bool isWhite(char32_t c) { return c == ' ' || c == '\t' || c == 0xA0 || c == 0x3000; }

bool isLetter(char32_t c) {
  if (c >= code::kNoMatch) return false;
  return isUpper(c) || isLower(c) || (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0x3040 && c <= 0x30FF) || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x20000 && c <= 0x3FFFF);
}

bool isWordChar(char32_t c) {
  return (c >= '0' && c <= '9') || c == '_' || (c < code::kNoMatch && (isUpper(c) || isLower(c)));
}

bool xmlChar(char32_t c) {
  return c >= 0x20 && c != 0xFFFE && c != 0xFFFF && !(c >= 0xD800 && c < 0xE000) && c < 0x110000;
}

void addText(std::vector<Piece>& out, char32_t c) {
  if (!xmlChar(c)) return;
  if (out.empty() || out.back().kind != Piece::Text) out.push_back({Piece::Text, {}, {}});
  out.back().text.push_back(c);
}

void addKind(std::vector<Piece>& out, Piece::Kind k) { out.push_back({k, {}, {}}); }

// A found or written control code as a piece.
void addCode(std::vector<Piece>& out, char32_t c) {
  switch (c) {
    case 0x0D: addKind(out, Piece::Mark); break;
    case 0x09: addKind(out, Piece::Tab); break;
    case 0x0B: addKind(out, Piece::LineBreak); break;
    case 0x0C: addKind(out, Piece::PageBreak); break;
    case 0x0E: addKind(out, Piece::ColumnBreak); break;
    case 0x1E: addKind(out, Piece::NoBreakHyphen); break;
    case 0x1F: addKind(out, Piece::SoftHyphen); break;
    default: addText(out, c);
  }
}

}  // namespace

FindPattern::FindPattern(const std::string& findText, const FindOptions& options)
    : matchCase_(options.matchCase), wholeWord_(options.matchWholeWord), matchByte_(options.matchByte) {
  for (const WordToken& t : readFindText(findText, options)) {
    switch (t.kind) {
      case WordToken::Char: items_.push_back({PatternItem::Char, normalize(t.c)}); break;
      case WordToken::AnyChar: items_.push_back({PatternItem::AnyChar, 0}); break;
      case WordToken::AnyDigit: items_.push_back({PatternItem::AnyDigit, 0}); break;
      case WordToken::AnyLetter: items_.push_back({PatternItem::AnyLetter, 0}); break;
      case WordToken::White: items_.push_back({PatternItem::White, 0}); break;
      case WordToken::Found: break;
    }
  }
  if (!items_.empty() && items_.front().kind == PatternItem::Char)
    firstVariants_ = items_.front().c >= code::kNoMatch ? std::u32string(1, items_.front().c)
                                                        : foldVariants(items_.front().c, !matchCase_, !matchByte_);
}

char32_t FindPattern::normalize(char32_t c) const {
  if (c >= code::kNoMatch) return c;
  if (!matchCase_) c = foldCase(c);
  if (!matchByte_) c = foldWidth(c);
  return c;
}

std::size_t FindPattern::matchAt(const std::u32string& text, std::size_t pos, std::size_t item) const {
  const std::size_t n = text.size();
  for (; item < items_.size(); ++item) {
    const PatternItem& it = items_[item];
    if (it.kind == PatternItem::White) {
      std::size_t e = pos;
      while (e < n && isWhite(text[e])) ++e;
      for (std::size_t k = e; k > pos; --k) {
        std::size_t r = matchAt(text, k, item + 1);
        if (r != npos) return r;
      }
      return npos;
    }
    if (pos >= n) return npos;
    char32_t c = text[pos];
    bool ok = false;
    switch (it.kind) {
      case PatternItem::Char: ok = normalize(c) == it.c; break;
      case PatternItem::AnyChar: ok = c < code::kNoMatch && c != code::kMark; break;
      case PatternItem::AnyDigit: ok = c >= '0' && c <= '9'; break;
      case PatternItem::AnyLetter: ok = isLetter(c); break;
      case PatternItem::White: break;
    }
    if (!ok) return npos;
    ++pos;
  }
  return pos;
}

std::vector<std::pair<std::size_t, std::size_t>> FindPattern::findAll(const std::u32string& text) const {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  const std::size_t n = text.size();
  const bool firstIsChar = items_.front().kind == PatternItem::Char;
  const char32_t first = items_.front().c;
  std::size_t at = 0;
  while (at < n) {
    if (firstIsChar) {
      // Skip to a candidate by raw code: folding every character of the text costs more.
      if (firstVariants_.size() == 1) {
        while (at < n && text[at] != first) ++at;
      } else {
        while (at < n && firstVariants_.find(text[at]) == std::u32string::npos) ++at;
      }
      if (at >= n) break;
    }
    std::size_t end = matchAt(text, at, 0);
    if (end != npos && wholeWord_ &&
        ((at > 0 && isWordChar(text[at - 1])) || (end < n && isWordChar(text[end])))) {
      end = npos;
    }
    if (end == npos) {
      ++at;
      continue;
    }
    out.emplace_back(at, end);
    at = end;
  }
  return out;
}

bool FindPattern::matchesAt(const std::u32string& text, std::size_t at) const {
  return matchAt(text, at, 0) != npos;
}

std::size_t FindPattern::fixedLength() const {
  for (const PatternItem& it : items_)
    if (it.kind == PatternItem::White) return 0;
  return items_.size();
}

std::vector<Piece> parseReplacement(const std::string& replacement) {
  std::vector<Piece> out;
  for (const WordToken& t : readReplacement(replacement)) {
    if (t.kind == WordToken::Found)
      addKind(out, Piece::Found);
    else
      addCode(out, t.c);
  }
  return out;
}

std::vector<Piece> expandReplacement(const std::vector<Piece>& pieces, std::u32string_view found, CaseForm form) {
  std::vector<Piece> out;
  out.reserve(pieces.size());
  for (const Piece& p : pieces) {
    if (p.kind == Piece::Found) {
      for (char32_t c : found) addCode(out, c);
    } else if (p.kind == Piece::Text) {
      for (char32_t c : p.text) addText(out, c);
    } else {
      out.push_back(p);
    }
  }
  for (Piece& p : out)
    if (p.kind == Piece::Text) applyCaseForm(p.text, form, &p == &out.front());
  return out;
}

bool usesFoundText(const std::vector<Piece>& pieces) {
  return std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.kind == Piece::Found; });
}

bool plainText(const std::vector<Piece>& pieces) {
  for (const Piece& p : pieces)
    if (p.kind != Piece::Text) return false;
  return true;
}

}  // namespace vm::word::docx
