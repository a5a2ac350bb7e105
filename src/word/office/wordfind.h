#pragma once
// Word's Find and Replace texts over UNO: the search pattern handed to Writer's
// regular-expression search, the replacement's pieces, and case folding for the matcher.
// No UNO calls here (only OUString), so it is unit-tested without an office.

#include <string>
#include <vector>

#include <rtl/ustrbuf.hxx>
#include <rtl/ustring.hxx>

#include "word/document.h"
#include "word/wordcodes.h"

namespace vm::word::office {

using rtl::OString;
using rtl::OUString;
using rtl::OUStringBuffer;

// One piece of a Word replacement text.
struct ReplacePiece {
  enum Kind { Text, Paragraph, LineBreak, PageBreak, ColumnBreak, Found } kind = Text;
  OUString text;  // for Text
};

// The find text split at its paragraph marks (^p, and ^m, a manual page break, which Writer
// keeps as a paragraph boundary with a page break on the next paragraph).
struct FindPattern {
  enum Boundary { Paragraph, PageBreak, ColumnBreak };
  std::vector<OUString> segments;  // literal text of each segment (^t -> tab, ^l -> LF, ^^ -> ^)
  std::vector<OUString> regexes;   // the same as Writer's regular expressions (with ^? ^# ^$ ^w)
  std::vector<Boundary> boundaries;  // between segment i and i+1: ^p, ^m or ^n
  bool wildcards = false;          // a segment holds ^? ^# ^$ or ^w
  bool crossesParagraphs() const { return segments.size() > 1; }
};

// The texts read by Word's codes (word/wordcodes.h) and put as Writer takes them.
FindPattern parseFind(const std::string& find, const FindOptions& options);
std::vector<ReplacePiece> parseReplacement(const std::string& replacement);

// A literal made into an ICU regular expression as Writer's search takes it (metacharacters
// escaped, tab as \t, a manual line break as \n, which Writer's search matches with U+000A).
OUString regexFor(const OUString& literal);

// Word's case adaptation (word/wordcodes.h) over UTF-16 text.
using vm::word::CaseForm;
CaseForm caseFormOf(const OUString& found);
OUString applyCaseForm(const OUString& text, CaseForm form, bool first);

// Unicode simple case folding for the cross-paragraph matcher (BMP; no full-width folding).
OUString foldCase(const OUString& s);
bool isWordChar(sal_Unicode c);

}  // namespace vm::word::office
