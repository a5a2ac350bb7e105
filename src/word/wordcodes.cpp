#include "word/wordcodes.h"

#include "word/docx/unicase.h"
#include "word/error.h"

namespace vm::word {

namespace {

[[noreturn]] void invalid(const char* what, const std::string& text) {
  throw EngineError(ErrorCode::BadFindText, std::string(what) + ": \"" + text + "\"");
}

// The decimal digits at s[i...] (at most 7); advances i. 0 when there is no valid character.
char32_t decimalCode(const std::u32string& s, std::size_t& i) {
  char32_t v = 0;
  std::size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 7) v = v * 10 + (s[i++] - '0');
  if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  return v;
}

// Reads one text; `find` says which of the two it is (the codes each one takes).
std::vector<WordToken> read(const std::string& text, bool find) {
  using namespace wordchar;
  const char* name = find ? "find text" : "replacement";
  std::vector<WordToken> out;
  auto ch = [&](char32_t c) { out.push_back({WordToken::Char, c}); };
  auto kind = [&](WordToken::Kind k) { out.push_back({k, 0}); };
  std::u32string s = docx::toU32(text);
  for (std::size_t i = 0; i < s.size();) {
    char32_t c = s[i++];
    if (c == '\r') {
      if (i < s.size() && s[i] == '\n') ++i;
      ch(kParagraph);
      continue;
    }
    if (c == '\n') {
      ch(kParagraph);
      continue;
    }
    if (c != '^') {
      ch(c);
      continue;
    }
    if (i >= s.size()) invalid(find ? "find text ends with ^" : "replacement ends with ^", text);
    char32_t k = s[i++];
    if (find && (k == '?' || k == '#' || k == '$' || k == 'w' || k == 'W')) {
      kind(k == '?' ? WordToken::AnyChar : k == '#' ? WordToken::AnyDigit : k == '$' ? WordToken::AnyLetter : WordToken::White);
      continue;
    }
    if (!find && k == '&') {
      kind(WordToken::Found);
      continue;
    }
    switch (k) {
      case 'p': case 'P': ch(kParagraph); break;
      case 't': case 'T': ch(kTab); break;
      case 'l': case 'L': ch(kLineBreak); break;
      case 'm': case 'M': ch(kPageBreak); break;
      case 'n': case 'N': ch(kColumnBreak); break;
      case 's': case 'S': ch(kNoBreakSpace); break;
      case '~': ch(kNoBreakHyphen); break;
      case '-': ch(kSoftHyphen); break;
      case '^': ch('^'); break;
      default: {
        bool digits = k >= '0' && k <= '9';
        if (digits || k == 'u' || k == 'U') {
          if (digits) --i;
          char32_t v = decimalCode(s, i);
          if (!v) invalid(find ? "find text: invalid character code" : "replacement: invalid character code", text);
          ch(v);
          break;
        }
        std::string what = std::string(name) + ": unknown code ^";
        docx::appendUtf8(what, k);
        invalid(what.c_str(), text);
      }
    }
  }
  return out;
}

}  // namespace

std::vector<WordToken> readFindText(const std::string& findText, const FindOptions& options) {
  if (findText.empty()) invalid("empty find text", findText);
  if (options.matchWildcards) throw EngineError(ErrorCode::Unsupported, "find with wildcards");
  if (options.matchSoundsLike) throw EngineError(ErrorCode::Unsupported, "find by sound");
  if (options.matchAllWordForms) throw EngineError(ErrorCode::Unsupported, "find all word forms");
  return read(findText, true);
}

std::vector<WordToken> readReplacement(const std::string& replacement) { return read(replacement, false); }

CaseForm caseFormOf(std::u32string_view found) {
  if (found.empty()) return CaseForm::AsTyped;
  int upper = 0, lower = 0;
  for (char32_t c : found) {
    if (docx::isUpper(c))
      ++upper;
    else if (docx::isLower(c))
      ++lower;
  }
  if (upper >= 2 && lower == 0) return CaseForm::AllCapitals;
  if (docx::isUpper(found.front())) return CaseForm::InitialCapital;
  return CaseForm::AsTyped;
}

void applyCaseForm(std::u32string& text, CaseForm form, bool first) {
  if (form == CaseForm::AllCapitals) {
    for (char32_t& c : text) c = docx::toUpper(c);
  } else if (form == CaseForm::InitialCapital && first && !text.empty()) {
    text.front() = docx::toUpper(text.front());
  }
}

}  // namespace vm::word
