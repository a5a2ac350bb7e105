#include "word/office/wordfind.h"

#include "word/error.h"
#include "word/wordcodes.h"

#include <locale.h>
#include <wctype.h>

namespace vm::word::office {

namespace {

locale_t unicodeLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

sal_Unicode lower(sal_Unicode c) {
  locale_t l = unicodeLocale();
  return static_cast<sal_Unicode>(l ? towlower_l(c, l) : towlower(c));
}

void appendCode(OUStringBuffer& b, sal_uInt32 v) {
  if (v >= 0x10000) {
    v -= 0x10000;
    b.append(static_cast<sal_Unicode>(0xD800 + (v >> 10)));
    b.append(static_cast<sal_Unicode>(0xDC00 + (v & 0x3FF)));
  } else {
    b.append(static_cast<sal_Unicode>(v));
  }
}

}  // namespace

FindPattern parseFind(const std::string& find, const FindOptions& options) {
  using namespace wordchar;
  FindPattern p;
  OUStringBuffer lit, rx;
  auto literal = [&](sal_uInt32 c) {
    OUStringBuffer one;
    appendCode(one, c);
    OUString ch = one.makeStringAndClear();
    lit.append(ch);
    rx.append(regexFor(ch));
  };
  auto wildcard = [&](char shown, const char* regex) {
    lit.append(static_cast<sal_Unicode>(shown));
    rx.append(OUString::createFromAscii(regex));
    p.wildcards = true;
  };
  auto boundary = [&](FindPattern::Boundary k) {
    p.segments.push_back(lit.makeStringAndClear());
    p.regexes.push_back(rx.makeStringAndClear());
    p.boundaries.push_back(k);
  };
  for (const WordToken& t : readFindText(find, options)) {
    switch (t.kind) {
      case WordToken::AnyChar: wildcard('?', "."); continue;
      case WordToken::AnyDigit: wildcard('#', "[0-9]"); continue;
      case WordToken::AnyLetter: wildcard('$', "\\p{L}"); continue;
      case WordToken::White: wildcard(' ', "[ \\t\\u00A0\\u3000]+"); continue;  // ICU escapes
      case WordToken::Found:
      case WordToken::Char: break;
    }
    switch (t.c) {
      case kParagraph: boundary(FindPattern::Paragraph); break;
      case kPageBreak: boundary(FindPattern::PageBreak); break;
      case kColumnBreak: boundary(FindPattern::ColumnBreak); break;
      case kLineBreak: literal(u'\n'); break;  // Writer keeps a manual line break as LF
      case kNoBreakHyphen: literal(0x2011); break;  // Writer's non-breaking hyphen
      case kSoftHyphen: literal(0x00AD); break;
      default: literal(t.c);
    }
  }
  p.segments.push_back(lit.makeStringAndClear());
  p.regexes.push_back(rx.makeStringAndClear());
  return p;
}

std::vector<ReplacePiece> parseReplacement(const std::string& r) {
  using namespace wordchar;
  std::vector<ReplacePiece> out;
  OUStringBuffer cur;
  auto kind = [&](ReplacePiece::Kind k) {
    if (!cur.isEmpty()) out.push_back({ReplacePiece::Text, cur.makeStringAndClear()});
    out.push_back({k, OUString()});
  };
  for (const WordToken& t : readReplacement(r)) {
    if (t.kind == WordToken::Found) {
      kind(ReplacePiece::Found);
      continue;
    }
    switch (t.c) {
      case kParagraph: case 0x0A: kind(ReplacePiece::Paragraph); break;
      case kLineBreak: kind(ReplacePiece::LineBreak); break;
      case kPageBreak: kind(ReplacePiece::PageBreak); break;
      case kColumnBreak: kind(ReplacePiece::ColumnBreak); break;
      case kNoBreakHyphen: cur.append(static_cast<sal_Unicode>(0x2011)); break;
      case kSoftHyphen: cur.append(static_cast<sal_Unicode>(0x00AD)); break;
      default:
        if (t.c >= 0x20 || t.c == kTab) appendCode(cur, t.c);  // other control codes are no text
    }
  }
  if (!cur.isEmpty()) out.push_back({ReplacePiece::Text, cur.makeStringAndClear()});
  return out;
}

OUString regexFor(const OUString& literal) {
  OUStringBuffer b;
  for (sal_Int32 i = 0; i < literal.getLength(); ++i) {
    sal_Unicode c = literal[i];
    switch (c) {
      case '\\': case '^': case '$': case '.': case '|': case '?': case '*': case '+':
      case '(': case ')': case '[': case ']': case '{': case '}':
        b.append(static_cast<sal_Unicode>(u'\\'));
        b.append(c);
        break;
      case '\t': b.append(static_cast<sal_Unicode>(u'\\')); b.append(static_cast<sal_Unicode>(u't')); break;
      case '\n': b.append(static_cast<sal_Unicode>(u'\\')); b.append(static_cast<sal_Unicode>(u'n')); break;
      default: b.append(c);
    }
  }
  return b.makeStringAndClear();
}

CaseForm caseFormOf(const OUString& found) {
  std::u32string u;
  for (sal_Int32 i = 0; i < found.getLength();) u.push_back(found.iterateCodePoints(&i));
  return vm::word::caseFormOf(u);
}

OUString applyCaseForm(const OUString& text, CaseForm form, bool first) {
  if (form == CaseForm::AsTyped) return text;
  std::u32string u;
  for (sal_Int32 i = 0; i < text.getLength();) u.push_back(text.iterateCodePoints(&i));
  vm::word::applyCaseForm(u, form, first);
  OUStringBuffer b;
  for (char32_t c : u) appendCode(b, c);
  return b.makeStringAndClear();
}

OUString foldCase(const OUString& s) {
  OUStringBuffer b(s);
  for (sal_Int32 i = 0; i < b.getLength(); ++i) b[i] = lower(b[i]);
  return b.makeStringAndClear();
}

bool isWordChar(sal_Unicode c) {
  locale_t l = unicodeLocale();
  return c == '_' || (l ? iswalnum_l(c, l) : iswalnum(c));
}

}  // namespace vm::word::office
