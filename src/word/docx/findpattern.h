#pragma once
// Word's find and replacement texts: the special codes, the matching rules of the find
// settings, and the case adaptation of the replacement.
//
// The codes are read by word/wordcodes.h; a raw tab is a tab, VT a line break, FF a page break.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "word/document.h"
#include "word/wordcodes.h"

namespace vm::word::docx {

struct PatternItem {
  enum Kind : unsigned char { Char, AnyChar, AnyDigit, AnyLetter, White } kind = Char;
  char32_t c = 0;  // Char: the code, folded as the options say
};

class FindPattern {
 public:
  FindPattern(const std::string& findText, const FindOptions& options);
  // Non-overlapping matches left to right: [begin, end) indexes into text.
  std::vector<std::pair<std::size_t, std::size_t>> findAll(const std::u32string& text) const;
  // Whether a match starts at `at` (whole words not checked).
  bool matchesAt(const std::u32string& text, std::size_t at) const;
  // The length of every match; 0 when it varies (^w).
  std::size_t fixedLength() const;

 private:
  char32_t normalize(char32_t c) const;
  std::size_t matchAt(const std::u32string& text, std::size_t at, std::size_t item) const;

  std::vector<PatternItem> items_;
  std::u32string firstVariants_;  // the raw codes that match a first Char item
  bool matchCase_, wholeWord_, matchByte_;
};

// One piece of a replacement as it is put into the document.
struct Piece {
  enum Kind : unsigned char {
    Text, Tab, LineBreak, PageBreak, ColumnBreak, NoBreakHyphen, SoftHyphen, Mark, Found, Object
  } kind = Text;
  std::u32string text;  // Text
  std::string xml;      // Object: the element to insert (e.g. a w:drawing)
};

std::vector<Piece> parseReplacement(const std::string& replacement);

// The pieces for one match: ^& expanded to the found codes, adjacent text joined, the case form
// applied to the text.
std::vector<Piece> expandReplacement(const std::vector<Piece>& pieces, std::u32string_view found, CaseForm form);
inline std::vector<Piece> expandReplacement(const std::vector<Piece>& pieces, std::u32string_view found,
                                            bool adaptCase) {
  return expandReplacement(pieces, found, adaptCase ? caseFormOf(found) : CaseForm::AsTyped);
}

// Whether the replacement holds ^& (its pieces then differ from match to match).
bool usesFoundText(const std::vector<Piece>& pieces);

// Whether a piece list is plain text only (the fast path of the editor).
bool plainText(const std::vector<Piece>& pieces);

}  // namespace vm::word::docx
