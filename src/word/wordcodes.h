#pragma once
// Word's ^ codes in the find and replacement texts, read once for both back ends, and Word's
// case adaptation of the replacement.
//
// Codes: ^p paragraph mark, ^t tab, ^l line break, ^m page break, ^n column break, ^s
// non-breaking space, ^~ non-breaking hyphen, ^- optional hyphen, ^^ caret, ^unnnn / ^nnn
// (decimal character code); in the find text only ^? any character, ^# any digit, ^$ any
// letter, ^w white space; in the replacement only ^& (the found text). A raw CR, LF or CR LF is a
// paragraph mark. Any other ^x is refused (BadFindText), as Word refuses it.

#include <string>
#include <string_view>
#include <vector>

#include "word/document.h"

namespace vm::word {

// Word's own character codes for what the texts can hold besides letters.
namespace wordchar {
inline constexpr char32_t kParagraph = 0x0D;
inline constexpr char32_t kTab = 0x09;
inline constexpr char32_t kLineBreak = 0x0B;
inline constexpr char32_t kPageBreak = 0x0C;
inline constexpr char32_t kColumnBreak = 0x0E;
inline constexpr char32_t kNoBreakHyphen = 0x1E;
inline constexpr char32_t kSoftHyphen = 0x1F;
inline constexpr char32_t kNoBreakSpace = 0xA0;
}  // namespace wordchar

struct WordToken {
  enum Kind : unsigned char { Char, AnyChar, AnyDigit, AnyLetter, White, Found } kind = Char;
  char32_t c = 0;  // Char: the character, Word's code for a mark or break (wordchar)
};

// The find text as tokens; throws BadFindText for an empty text or a bad code, and Unsupported
// for the options no back end offers (wildcards, sounds like, all word forms).
std::vector<WordToken> readFindText(const std::string& findText, const FindOptions& options);
// The replacement as tokens (Char and Found); throws BadFindText for a bad code.
std::vector<WordToken> readReplacement(const std::string& replacement);

// Word with MatchCase off: an all-capitals match (two or more cased letters, none small) gets
// the replacement in capitals; a match whose first character is a capital gets the
// replacement's first character as a capital.
enum class CaseForm : unsigned char { AsTyped, InitialCapital, AllCapitals };
CaseForm caseFormOf(std::u32string_view found);
// Applies the form to one piece of replacement text; `first` says whether it starts the
// replacement (only that one takes an initial capital).
void applyCaseForm(std::u32string& text, CaseForm form, bool first);

}  // namespace vm::word
