#pragma once
// Word's Find and Replace texts over UNO: the special codes, the search pattern handed to
// Writer's regular-expression search, and Word's case adaptation of the replacement.
// No UNO calls here (only OUString), so it is unit-tested without an office.

#include <string>
#include <vector>

#include <rtl/ustrbuf.hxx>
#include <rtl/ustring.hxx>

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

// Word's codes as the docx back end takes them; an invalid code (^q, a trailing ^, a bad
// character number) is EngineError InvalidArgument, as are the options no back end offers
// (wildcards, sounds like, all word forms).
FindPattern parseFind(const OUString& find);
std::vector<ReplacePiece> parseReplacement(const OUString& replacement);

// An invalid code: EngineError InvalidArgument (in wordfind.cpp, so that this header needs no
// engine header).
[[noreturn]] void invalidCode(const char* userMessage, const OUString& text);

// A literal made into an ICU regular expression as Writer's search takes it (metacharacters
// escaped, tab as \t, a manual line break as \n, which Writer's search matches with U+000A).
OUString regexFor(const OUString& literal);

// Word with MatchCase off: an all-capitals match (two or more cased letters, all upper) gives
// an all-capitals replacement; a match that starts with a capital gives the replacement an
// initial capital; else the replacement is used as typed.
enum class CaseShape { AsTyped, Upper, Initial };
CaseShape caseShapeOf(const OUString& found);
OUString applyCase(const OUString& text, CaseShape shape);

// Unicode simple case folding for the cross-paragraph matcher (BMP; no full-width folding).
OUString foldCase(const OUString& s);
bool isWordChar(sal_Unicode c);

}  // namespace vm::word::office
