#include "word/office/wordfind.h"

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

FindPattern parseFind(const OUString& find) {
  FindPattern p;
  OUStringBuffer cur;
  const sal_Int32 n = find.getLength();
  for (sal_Int32 i = 0; i < n; ++i) {
    sal_Unicode c = find[i];
    if (c == '^' && i + 1 < n) {
      sal_Unicode k = find[i + 1];
      if (k == 'p' || k == 'P' || k == 'm' || k == 'M') {
        p.segments.push_back(cur.makeStringAndClear());
        p.pageBreakBefore.push_back(k == 'm' || k == 'M');
        ++i;
        continue;
      }
      if (k == 't' || k == 'T') { cur.append(static_cast<sal_Unicode>(u'\t')); ++i; continue; }
      if (k == 'l' || k == 'L') { cur.append(static_cast<sal_Unicode>(u'\n')); ++i; continue; }
      if (k == '^') { cur.append(static_cast<sal_Unicode>(u'^')); ++i; continue; }
    }
    cur.append(c);
  }
  p.segments.push_back(cur.makeStringAndClear());
  return p;
}

std::vector<ReplacePiece> parseReplacement(const OUString& r) {
  std::vector<ReplacePiece> out;
  OUStringBuffer cur;
  auto flush = [&] {
    if (!cur.isEmpty()) out.push_back({ReplacePiece::Text, cur.makeStringAndClear()});
  };
  const sal_Int32 n = r.getLength();
  for (sal_Int32 i = 0; i < n; ++i) {
    sal_Unicode c = r[i];
    if (c == '^' && i + 1 < n) {
      sal_Unicode k = r[i + 1];
      ReplacePiece::Kind kind = ReplacePiece::Text;
      bool special = true;
      switch (k) {
        case 'p': case 'P': kind = ReplacePiece::Paragraph; break;
        case 'l': case 'L': kind = ReplacePiece::LineBreak; break;
        case 'm': case 'M': kind = ReplacePiece::PageBreak; break;
        case '&': kind = ReplacePiece::Found; break;
        case 't': case 'T': cur.append(static_cast<sal_Unicode>(u'\t')); ++i; continue;
        case '^': cur.append(static_cast<sal_Unicode>(u'^')); ++i; continue;
        default: special = false;
      }
      if (special) {
        flush();
        out.push_back({kind, OUString()});
        ++i;
        continue;
      }
    }
    // Writer would turn a CR or LF typed into the text into a paragraph: keep them as breaks.
    if (c == '\r') { flush(); out.push_back({ReplacePiece::Paragraph, OUString()}); continue; }
    if (c == '\n') { flush(); out.push_back({ReplacePiece::LineBreak, OUString()}); continue; }
    cur.append(c);
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
