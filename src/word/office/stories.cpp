// The story model: a story's paragraphs with Word's positions, its text, and the XText
// objects behind each story kind.

#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextTable.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

int rowOfCellName(const OUString& name) {
  // "B12" -> 12, "A1.2.3" (split cells) -> 1
  sal_Int32 i = 0;
  while (i < name.getLength() && !(name[i] >= '0' && name[i] <= '9')) ++i;
  int row = 0;
  while (i < name.getLength() && name[i] >= '0' && name[i] <= '9') row = row * 10 + (name[i++] - '0');
  return row;
}

// Word's Range.Text of [a, b): "\r" for a paragraph mark, "\r\a" for a cell or row mark (one
// position), "\f" for the mark that ends a section.
OUString storyText(const std::vector<ParaInfo>& paras, std::int64_t a, std::int64_t b) {
  OUStringBuffer out;
  for (auto& p : paras) {
    if (p.end <= a || p.start >= b) continue;
    std::int64_t mark = p.end - 1;
    std::int64_t from = std::max(a, p.start), to = std::min(b, mark);
    if (to > from) out.append(p.text.copy(static_cast<sal_Int32>(from - p.start), static_cast<sal_Int32>(to - from)));
    if (mark >= a && mark < b) {
      if (p.rowEnd || p.cellEnd)
        {
        out.append(static_cast<sal_Unicode>(u'\r'));
        out.append(static_cast<sal_Unicode>(u'\a'));
      }
      else if (p.sectionEnd)
        out.append(static_cast<sal_Unicode>(u'\f'));
      else
        out.append(static_cast<sal_Unicode>(u'\r'));
    }
  }
  return out.makeStringAndClear();
}

}  // namespace

Reference<css::uno::XInterface> norm(const Reference<css::uno::XInterface>& x) {
  return Reference<css::uno::XInterface>(x, UNO_QUERY);
}

// The paragraphs of a text in order, with Word's positions: every paragraph mark one position,
// a table cell's last mark its cell mark, one end-of-row mark after each row. Where the text
// differs from Word's (approximations): a field counts as the text Writer shows for it, tracked
// deletions are counted, and a page break Word keeps as a character in the text is a paragraph
// attribute here (not counted).
void collectParagraphs(const Reference<XText>& textObj, bool inTable, std::vector<ParaInfo>& out, std::int64_t& pos,
                       bool topLevel) {
  Reference<css::container::XEnumerationAccess> ea(textObj, UNO_QUERY_THROW);
  auto en = ea->createEnumeration();
  auto parent = norm(textObj);
  while (en->hasMoreElements()) {
    Any el = en->nextElement();
    Reference<css::lang::XServiceInfo> si(el, UNO_QUERY);
    if (si.is() && si->supportsService(ou("com.sun.star.text.TextTable"))) {
      Reference<text::XTextTable> table(el, UNO_QUERY_THROW);
      auto names = table->getCellNames();
      int lastRow = -1;
      auto rowEnd = [&] {
        ParaInfo r;
        r.inTable = true;
        r.rowEnd = true;
        r.start = pos;
        r.end = ++pos;
        out.push_back(std::move(r));
      };
      for (sal_Int32 i = 0; i < names.getLength(); ++i) {
        int row = rowOfCellName(names[i]);
        if (lastRow != -1 && row != lastRow) rowEnd();
        lastRow = row;
        Reference<XText> cell(table->getCellByName(names[i]), UNO_QUERY_THROW);
        size_t before = out.size();
        collectParagraphs(cell, true, out, pos, false);
        if (out.size() > before) out.back().cellEnd = true;
      }
      if (lastRow != -1) rowEnd();
      continue;
    }
    Reference<XTextRange> para(el, UNO_QUERY);
    if (!para.is()) continue;
    if (topLevel && !out.empty() && !out.back().rowEnd && !out.back().inTable && out.back().parent == parent) {
      // A page style set on this paragraph ends the section before it.
      Reference<css::beans::XPropertySet> pp(para, UNO_QUERY);
      OUString desc;
      if (pp.is()) pp->getPropertyValue(ou("PageDescName")) >>= desc;
      if (!desc.isEmpty()) out.back().sectionEnd = true;
    }
    ParaInfo p;
    p.range = para;
    p.parent = parent;
    p.text = para->getString();
    p.inTable = inTable;
    p.start = pos;
    pos += p.text.getLength() + 1;  // the paragraph mark
    p.end = pos;
    out.push_back(std::move(p));
  }
  // Word's final paragraph mark after a table that ends the text; Writer has no paragraph
  // there. (No range: nothing is found in it, no position maps to it.)
  if (topLevel && !out.empty() && out.back().rowEnd) {
    ParaInfo p;
    p.start = pos;
    p.end = ++pos;
    out.push_back(std::move(p));
  }
}

// The header or footer texts of the page styles in use, each with where it comes from.
std::vector<StoryRef> storyRefs(DocState& st, StoryKind kind) {
  std::vector<StoryRef> out;
  Reference<css::style::XStyleFamiliesSupplier> fs(st.model, UNO_QUERY_THROW);
  Reference<css::container::XNameAccess> pages(fs->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
  const char* on = kind == StoryKind::Header ? "HeaderIsOn" : "FooterIsOn";
  const char* shared = kind == StoryKind::Header ? "HeaderIsShared" : "FooterIsShared";
  std::string base = kind == StoryKind::Header ? "HeaderText" : "FooterText";
  for (const OUString& name : pages->getElementNames()) {
    Reference<css::style::XStyle> style(pages->getByName(name), UNO_QUERY);
    if (!style.is() || !style->isInUse()) continue;
    Reference<css::beans::XPropertySet> ps(style, UNO_QUERY_THROW);
    bool isOn = false;
    ps->getPropertyValue(ou(on)) >>= isOn;
    if (!isOn) continue;
    bool isShared = true, firstShared = true;
    ps->getPropertyValue(ou(shared)) >>= isShared;
    try {
      ps->getPropertyValue(ou("FirstIsShared")) >>= firstShared;
    } catch (const css::beans::UnknownPropertyException&) {
    }
    // A style that hands over to another after its page is Word's title page as the office
    // imports it: its header is the section's first-page header.
    OUString follow;
    ps->getPropertyValue(ou("FollowStyle")) >>= follow;
    const bool titlePage = !follow.isEmpty() && follow != name && pages->hasByName(follow);
    std::vector<std::pair<std::string, HeaderFooterKind>> props = {
        {base, titlePage ? HeaderFooterKind::FirstPage : HeaderFooterKind::Default}};
    if (!firstShared) props.emplace_back(base + "First", HeaderFooterKind::FirstPage);
    if (!isShared) props.emplace_back(base + "Left", HeaderFooterKind::EvenPages);
    for (auto& [pn, which] : props) {
      Reference<XText> t;
      try {
        ps->getPropertyValue(ou(pn)) >>= t;
      } catch (const css::beans::UnknownPropertyException&) {
      }
      if (t.is()) out.push_back(StoryRef{t, name, pn, which});
    }
  }
  return out;
}

// The XText objects that make up a story kind, in document order.
std::vector<Reference<XText>> storyTexts(DocState& st, StoryKind kind) {
  std::vector<Reference<XText>> out;
  if (kind == StoryKind::Main) {
    out.push_back(st.body());
    return out;
  }
  if (kind != StoryKind::Header && kind != StoryKind::Footer) return out;  // refused by stories()
  for (auto& r : storyRefs(st, kind)) out.push_back(r.text);
  return out;
}

std::int64_t positionOf(const std::vector<ParaInfo>& paras, const Reference<XTextRange>& r) {
  Reference<XText> t = r->getText();
  auto parent = norm(t);
  std::vector<size_t> cand;
  for (size_t i = 0; i < paras.size(); ++i)
    if (paras[i].parent == parent) cand.push_back(i);
  if (cand.empty()) return 0;
  Reference<text::XTextRangeCompare> cmp(t, UNO_QUERY_THROW);
  // the last paragraph that starts at or before r
  size_t lo = 0, hi = cand.size();
  while (hi - lo > 1) {
    size_t mid = (lo + hi) / 2;
    if (cmp->compareRegionStarts(paras[cand[mid]].range, r) >= 0)
      lo = mid;
    else
      hi = mid;
  }
  const ParaInfo& p = paras[cand[lo]];
  Reference<XTextCursor> c = t->createTextCursorByRange(p.range->getStart());
  c->gotoRange(r->getStart(), true);
  std::int64_t off = c->getString().getLength();
  return std::min(p.start + off, p.end - 1);
}

// --- stories ---------------------------------------------------------------------------

Reference<XText> OfficeStory::resolve(DocState& st) const {
  if (!style_.isEmpty()) {
    Reference<css::style::XStyleFamiliesSupplier> fs(st.model, UNO_QUERY_THROW);
    Reference<css::container::XNameAccess> pages(fs->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
    Reference<XText> t;
    if (pages->hasByName(style_)) {
      Reference<css::beans::XPropertySet> ps(pages->getByName(style_), UNO_QUERY_THROW);
      ps->getPropertyValue(ou(property_)) >>= t;
    }
    if (!t.is()) throw EngineError(ErrorCode::InvalidArgument, "the " + storyKindName(kind_) + " is gone");
    return t;
  }
  auto texts = storyTexts(st, kind_);
  if (index_ < 0 || static_cast<size_t>(index_) >= texts.size())
    throw EngineError(ErrorCode::InvalidArgument, "story index out of range");
  return texts[static_cast<size_t>(index_)];
}

std::vector<ParaInfo> OfficeStory::collect(DocState& st) const {
  std::vector<ParaInfo> paras;
  std::int64_t pos = 0;
  collectParagraphs(resolve(st), false, paras, pos);
  return paras;
}

std::int64_t OfficeStory::characterCount() {
  std::int64_t n = 0;
  doc_.run("characterCount", [&](DocState& st) {
    auto paras = collect(st);
    n = paras.empty() ? 0 : paras.back().end;
    return 0;
  });
  return n;
}

std::vector<Paragraph> OfficeStory::paragraphs() {
  std::vector<Paragraph> out;
  doc_.run("paragraphs", [&](DocState& st) {
    out.clear();
    for (auto& p : collect(st)) out.push_back(Paragraph{utf8(p.text), p.start, p.end, p.inTable, p.cellEnd, p.rowEnd});
    return 0;
  });
  return out;
}

std::string OfficeStory::text(std::int64_t start, std::int64_t end) {
  std::string out;
  doc_.run("text", [&](DocState& st) {
    out = end > start ? utf8(storyText(collect(st), start, end)) : std::string();
    return 0;
  });
  return out;
}

Story& OfficeDocument::mainStory() {
  checkOpen();
  return main_;
}

std::vector<Story*> OfficeDocument::stories(StoryKind kind) {
  checkOpen();
  if (kind == StoryKind::Main) return {&main_};
  // Headers and footers are listed by page style (no identity yet); the other kinds are not
  // read over UNO: refused rather than answered with none.
  if (kind != StoryKind::Header && kind != StoryKind::Footer)
    throw EngineError(ErrorCode::Unsupported, path_.string() + ": " + storyKindName(kind) + " stories");
  std::vector<std::pair<OUString, std::string>> keys;
  run("stories", [&](DocState& st) {
    keys.clear();
    for (auto& r : storyRefs(st, kind)) keys.emplace_back(r.style, r.property);
    return 0;
  });
  std::vector<Story*> out;
  for (auto& [style, property] : keys) out.push_back(&storyFor(kind, style, property));
  return out;
}

OfficeStory& OfficeDocument::storyFor(StoryKind kind, const OUString& style, const std::string& property) {
  auto& v = others_[static_cast<int>(kind)];
  for (auto& s : v)
    if (s->is(style, property)) return *s;
  v.push_back(std::make_unique<OfficeStory>(*this, kind, style, property));
  return *v.back();
}

}  // namespace vm::word::office
