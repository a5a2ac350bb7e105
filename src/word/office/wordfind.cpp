#include "word/office/wordfind.h"

#include "word/error.h"

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

sal_Unicode upper(sal_Unicode c) {
  locale_t l = unicodeLocale();
  return static_cast<sal_Unicode>(l ? towupper_l(c, l) : towupper(c));
}
sal_Unicode lower(sal_Unicode c) {
  locale_t l = unicodeLocale();
  return static_cast<sal_Unicode>(l ? towlower_l(c, l) : towlower(c));
}
bool cased(sal_Unicode c) { return upper(c) != lower(c); }
bool isUpper(sal_Unicode c) { return cased(c) && c == upper(c) && c != lower(c); }

}  // namespace

[[noreturn]] void invalidCode(const char* userMessage, const OUString& text) {
  rtl::OString o = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  throw vm::word::EngineError(vm::word::ErrorCode::InvalidArgument, userMessage, std::string(o.getStr(), o.getLength()));
}

namespace {

// ^u1234 / ^0123: a decimal character number after position i; 0 when there is none.
sal_uInt32 decimalCode(const OUString& s, sal_Int32& i) {
  sal_uInt32 v = 0;
  int digits = 0;
  while (i < s.getLength() && s[i] >= '0' && s[i] <= '9' && digits < 7) {
    v = v * 10 + static_cast<sal_uInt32>(s[i++] - '0');
    ++digits;
  }
  if (digits == 0 || v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  return v;
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

FindPattern parseFind(const OUString& find) {
  FindPattern p;
  OUStringBuffer lit, rx;
  auto literal = [&](sal_Unicode c) {
    lit.append(c);
    rx.append(regexFor(OUString(c)));
  };
  auto boundary = [&](FindPattern::Boundary k) {
    p.segments.push_back(lit.makeStringAndClear());
    p.regexes.push_back(rx.makeStringAndClear());
    p.boundaries.push_back(k);
  };
  const sal_Int32 n = find.getLength();
  for (sal_Int32 i = 0; i < n;) {
    sal_Unicode c = find[i++];
    if (c == '\r') {
      if (i < n && find[i] == '\n') ++i;
      boundary(FindPattern::Paragraph);
      continue;
    }
    if (c == '\n') {
      boundary(FindPattern::Paragraph);
      continue;
    }
    if (c != '^') {
      literal(c);
      continue;
    }
    if (i >= n) invalidCode("查找内容末尾的 ^ 不是有效的特殊字符", find);
    sal_Unicode k = find[i++];
    switch (k) {
      case 'p': case 'P': boundary(FindPattern::Paragraph); break;
      case 'm': case 'M': boundary(FindPattern::PageBreak); break;
      case 'n': case 'N': boundary(FindPattern::ColumnBreak); break;
      case 't': case 'T': literal(u'\t'); break;
      case 'l': case 'L': literal(u'\n'); break;  // Writer keeps a manual line break as LF
      case 's': case 'S': literal(0x00A0); break;
      case '~': literal(0x2011); break;  // Writer's non-breaking hyphen
      case '-': literal(0x00AD); break;
      case '^': literal(u'^'); break;
      case '?': lit.append(static_cast<sal_Unicode>('?')); rx.append(OUString::createFromAscii(".")); p.wildcards = true; break;
      case '#': lit.append(static_cast<sal_Unicode>('#')); rx.append(OUString::createFromAscii("[0-9]")); p.wildcards = true; break;
      case '$': lit.append(static_cast<sal_Unicode>('$')); rx.append(OUString::createFromAscii("\\p{L}")); p.wildcards = true; break;
      case 'w': case 'W':
        lit.append(static_cast<sal_Unicode>(' '));
        rx.append(OUString::createFromAscii("[ \\t\\u00A0\\u3000]+"));  // ICU escapes
        p.wildcards = true;
        break;
      case 'u': case 'U': {
        sal_uInt32 v = decimalCode(find, i);
        if (!v) invalidCode("查找内容中的 ^u 后应为字符编码", find);
        OUStringBuffer one;
        appendCode(one, v);
        OUString ch = one.makeStringAndClear();
        lit.append(ch);
        rx.append(regexFor(ch));
        break;
      }
      default:
        if (k >= '0' && k <= '9') {
          --i;
          sal_uInt32 v = decimalCode(find, i);
          if (!v) invalidCode("查找内容中的字符编码无效", find);
          OUStringBuffer one;
          appendCode(one, v);
          OUString ch = one.makeStringAndClear();
          lit.append(ch);
          rx.append(regexFor(ch));
        } else {
          invalidCode("查找内容中有无效的特殊字符", find);
        }
    }
  }
  p.segments.push_back(lit.makeStringAndClear());
  p.regexes.push_back(rx.makeStringAndClear());
  return p;
}

std::vector<ReplacePiece> parseReplacement(const OUString& r) {
  std::vector<ReplacePiece> out;
  OUStringBuffer cur;
  auto flush = [&] {
    if (!cur.isEmpty()) out.push_back({ReplacePiece::Text, cur.makeStringAndClear()});
  };
  auto kind = [&](ReplacePiece::Kind k) {
    flush();
    out.push_back({k, OUString()});
  };
  // A control character typed into the text means what Word's code for it means.
  auto control = [&](sal_uInt32 c) {
    switch (c) {
      case 0x0D: kind(ReplacePiece::Paragraph); return true;
      case 0x0A: kind(ReplacePiece::Paragraph); return true;
      case 0x0B: kind(ReplacePiece::LineBreak); return true;
      case 0x0C: kind(ReplacePiece::PageBreak); return true;
      case 0x0E: kind(ReplacePiece::ColumnBreak); return true;
      case 0x1E: cur.append(static_cast<sal_Unicode>(0x2011)); return true;
      case 0x1F: cur.append(static_cast<sal_Unicode>(0x00AD)); return true;
      default: return false;
    }
  };
  const sal_Int32 n = r.getLength();
  for (sal_Int32 i = 0; i < n;) {
    sal_Unicode c = r[i++];
    if (c == '\r' && i < n && r[i] == '\n') ++i;
    if (c < 0x20 && c != '\t' && control(c)) continue;
    if (c != '^') {
      cur.append(c);
      continue;
    }
    if (i >= n) invalidCode("替换内容末尾的 ^ 不是有效的特殊字符", r);
    sal_Unicode k = r[i++];
    switch (k) {
      case 'p': case 'P': kind(ReplacePiece::Paragraph); break;
      case 'l': case 'L': kind(ReplacePiece::LineBreak); break;
      case 'm': case 'M': kind(ReplacePiece::PageBreak); break;
      case 'n': case 'N': kind(ReplacePiece::ColumnBreak); break;
      case '&': kind(ReplacePiece::Found); break;
      case 't': case 'T': cur.append(static_cast<sal_Unicode>(u'\t')); break;
      case 's': case 'S': cur.append(static_cast<sal_Unicode>(0x00A0)); break;
      case '~': cur.append(static_cast<sal_Unicode>(0x2011)); break;
      case '-': cur.append(static_cast<sal_Unicode>(0x00AD)); break;
      case '^': cur.append(static_cast<sal_Unicode>(u'^')); break;
      case 'u': case 'U': {
        sal_uInt32 v = decimalCode(r, i);
        if (!v) invalidCode("替换内容中的 ^u 后应为字符编码", r);
        if (!control(v)) appendCode(cur, v);
        break;
      }
      default:
        if (k >= '0' && k <= '9') {
          --i;
          sal_uInt32 v = decimalCode(r, i);
          if (!v) invalidCode("替换内容中的字符编码无效", r);
          if (!control(v)) appendCode(cur, v);
        } else {
          invalidCode("替换内容中有无效的特殊字符", r);
        }
    }
  }
  flush();
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

CaseShape caseShapeOf(const OUString& found) {
  int letters = 0, uppers = 0;
  bool firstUpper = false, seenFirst = false;
  for (sal_Int32 i = 0; i < found.getLength(); ++i) {
    sal_Unicode c = found[i];
    if (!cased(c)) continue;
    ++letters;
    if (isUpper(c)) ++uppers;
    if (!seenFirst) {
      seenFirst = true;
      firstUpper = isUpper(c);
    }
  }
  if (letters >= 2 && uppers == letters) return CaseShape::Upper;
  if (firstUpper) return CaseShape::Initial;
  return CaseShape::AsTyped;
}

OUString applyCase(const OUString& text, CaseShape shape) {
  if (shape == CaseShape::AsTyped) return text;
  OUStringBuffer b(text);
  for (sal_Int32 i = 0; i < b.getLength(); ++i) {
    sal_Unicode c = b[i];
    if (!cased(c)) continue;
    b[i] = upper(c);
    if (shape == CaseShape::Initial) break;
  }
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
