// Headers and footers over UNO: the one page 1 shows (made when missing), text and pictures at
// its start, its first paragraph's bottom line, clearing, and each story's identity.
//
// The office keeps Word's sections as page styles: a section's headers are the HeaderText
// (right and shared pages), HeaderTextLeft (even pages) and HeaderTextFirst of its style, and
// a Word title page may come in as a style of its own that hands over to the next after one
// page.

#include <com/sun/star/beans/Property.hpp>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

using css::beans::XPropertySet;

const char* prefix(StoryKind kind) { return kind == StoryKind::Header ? "Header" : "Footer"; }

Reference<css::container::XNameAccess> pageStyles(DocState& st) {
  Reference<css::style::XStyleFamiliesSupplier> fs(st.model, UNO_QUERY_THROW);
  return Reference<css::container::XNameAccess>(fs->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
}

// The page style of page 1.
OUString firstPageStyle(DocState& st) {
  auto vc = st.viewCursor();
  Reference<text::XPageCursor>(vc, UNO_QUERY_THROW)->jumpToFirstPage();
  OUString name;
  Reference<XPropertySet>(vc, UNO_QUERY_THROW)->getPropertyValue(ou("PageStyleName")) >>= name;
  return name;
}

// Where page 1's header (footer) lives: its page style and property; the property is empty
// when the style has it switched off.
std::pair<OUString, std::string> currentPage(DocState& st, StoryKind kind) {
  OUString name = firstPageStyle(st);
  Reference<XPropertySet> style(pageStyles(st)->getByName(name), UNO_QUERY_THROW);
  const std::string p = prefix(kind);
  bool on = false;
  style->getPropertyValue(ou(p + "IsOn")) >>= on;
  if (!on) return {name, {}};
  bool firstShared = true;
  try {
    style->getPropertyValue(ou("FirstIsShared")) >>= firstShared;
  } catch (const css::beans::UnknownPropertyException&) {
  }
  return {name, p + (firstShared ? "Text" : "TextFirst")};
}

// The character formatting set on a range directly (its style included), for text that is to
// look like it.
std::vector<std::pair<OUString, Any>> directCharFormat(const Reference<XTextRange>& range) {
  std::vector<std::pair<OUString, Any>> out;
  Reference<XPropertySet> ps(range, UNO_QUERY_THROW);
  Reference<css::beans::XPropertyState> state(range, UNO_QUERY_THROW);
  for (const auto& p : ps->getPropertySetInfo()->getProperties()) {
    if (!p.Name.startsWith("Char") || (p.Attributes & css::beans::PropertyAttribute::READONLY)) continue;
    try {
      if (state->getPropertyState(p.Name) != css::beans::PropertyState_DIRECT_VALUE) continue;
      out.emplace_back(p.Name, ps->getPropertyValue(p.Name));
    } catch (const css::uno::RuntimeException&) {
      throw;
    } catch (const css::uno::Exception&) {
    }
  }
  return out;
}

// A cursor over the first n positions of a text.
Reference<XTextCursor> headOf(const Reference<XText>& t, sal_Int32 n) {
  auto c = t->createTextCursor();
  c->gotoStart(false);
  for (sal_Int32 left = n; left > 0; left -= 32767) c->goRight(static_cast<sal_Int16>(std::min<sal_Int32>(left, 32767)), true);
  return c;
}

// The first paragraph of a text (in a table, its first cell's).
Reference<XPropertySet> firstParagraph(const Reference<XText>& t) {
  auto c = t->createTextCursor();
  c->gotoStart(false);
  return Reference<XPropertySet>(c, UNO_QUERY_THROW);
}

}  // namespace

// --- identity ----------------------------------------------------------------------------

StoryId OfficeStory::id() const {
  if (kind_ == StoryKind::Main) return StoryId{};
  if (kind_ != StoryKind::Header && kind_ != StoryKind::Footer) return Story::id();
  StoryId out{kind_, 0, HeaderFooterKind::Default};
  doc_.run("storyId", [&](DocState& st) {
    Reference<XText> mine = resolve(st);
    OUString style;
    for (auto& r : storyRefs(st, kind_))
      if (norm(r.text) == norm(mine)) {
        out.which = r.which;
        style = r.style;
      }
    // The section: the place of the style among those the body turns to (a style reached only
    // by handing over belongs to the section of the style before it).
    std::vector<OUString> order;
    Reference<css::container::XEnumerationAccess> ea(st.body(), UNO_QUERY_THROW);
    auto en = ea->createEnumeration();
    while (en->hasMoreElements()) {
      Reference<XPropertySet> ps(en->nextElement(), UNO_QUERY);
      if (!ps.is()) continue;
      OUString desc;
      ps->getPropertyValue(ou("PageDescName")) >>= desc;
      if (desc.isEmpty() && order.empty()) ps->getPropertyValue(ou("PageStyleName")) >>= desc;
      if (!desc.isEmpty()) order.push_back(desc);
    }
    auto pages = pageStyles(st);
    for (size_t i = 0; i < order.size(); ++i) {
      OUString follow;
      if (pages->hasByName(order[i]))
        Reference<XPropertySet>(pages->getByName(order[i]), UNO_QUERY_THROW)->getPropertyValue(ou("FollowStyle")) >>= follow;
      if (order[i] == style || follow == style) {
        out.section = static_cast<int>(i);
        break;
      }
    }
    return 0;
  });
  return out;
}

// --- the current page header or footer ----------------------------------------------------

Story* OfficeDocument::currentPageStory(StoryKind kind) {
  checkOpen();
  if (kind != StoryKind::Header && kind != StoryKind::Footer)
    throw EngineError(ErrorCode::InvalidArgument, "currentPageStory: " + storyKindName(kind));
  std::pair<OUString, std::string> where;
  run("currentPageStory", [&](DocState& st) {
    where = currentPage(st, kind);
    return 0;
  });
  if (where.second.empty()) return nullptr;
  return &storyFor(kind, where.first, where.second);
}

Story& OfficeDocument::ensureStory(StoryKind kind) {
  if (Story* s = currentPageStory(kind)) return *s;
  apply("ensureStory", [kind](DocState& st) {
    OUString name = firstPageStyle(st);
    Reference<XPropertySet> style(pageStyles(st)->getByName(name), UNO_QUERY_THROW);
    const std::string on = std::string(prefix(kind)) + "IsOn";
    bool was = false;
    style->getPropertyValue(ou(on)) >>= was;
    if (was) return 0;
    style->setPropertyValue(ou(on), Any(true));
    return 1;
  }, Effect{.text = {kind}});
  Story* s = currentPageStory(kind);
  if (!s) throw EngineError(ErrorCode::OfficeFailed, path_.string() + ": the office made no " + storyKindName(kind));
  return *s;
}

// --- editing at the start --------------------------------------------------------------------

void OfficeStory::insertTextAtStart(const std::string& content) {
  if (content.empty()) return;
  OUString s = ou(content);
  doc_.apply("insertTextAtStart", [s, this](DocState& st) {
    Reference<XText> t = resolve(st);
    // Writer gives text typed at a paragraph's start no formatting of what follows; Word gives
    // it the first character's: copied over.
    auto first = headOf(t, 1);
    const bool hasFirst = !first->getString().isEmpty();
    auto format = hasFirst ? directCharFormat(asRange(first)) : std::vector<std::pair<OUString, Any>>{};
    auto c = t->createTextCursor();
    c->gotoStart(false);
    t->insertString(asRange(c), s, false);
    Reference<XPropertySet> added(headOf(t, s.getLength()), UNO_QUERY_THROW);
    for (auto& [name, value] : format) {
      try {
        added->setPropertyValue(name, value);
      } catch (const css::uno::RuntimeException&) {
        throw;
      } catch (const css::uno::Exception&) {
      }
    }
    return 1;
  }, Effect{.text = {kind_}});
}

void OfficeStory::insertPictureAtStart(const fs::path& picture) {
  fs::path pic = fs::absolute(picture);
  doc_.apply("insertPictureAtStart", [pic, this](DocState& st) {
    const LoadedPicture loaded = loadPicture(st, pic);  // before anything changes
    Reference<XText> t = resolve(st);
    auto obj = newGraphicObject(st, loaded);
    obj->setPropertyValue(ou("AnchorType"), Any(text::TextContentAnchorType_AS_CHARACTER));
    auto c = t->createTextCursor();
    c->gotoStart(false);
    t->insertTextContent(asRange(c), Reference<text::XTextContent>(obj, UNO_QUERY_THROW), false);
    return 1;
  }, Effect{.text = {kind_}, .addsPictures = true});
}

void OfficeStory::removeFirstParagraphBorder() {
  doc_.apply("removeFirstParagraphBorder", [this](DocState& st) {
    auto para = firstParagraph(resolve(st));
    // An empty line set on the paragraph itself overrides the style's.
    para->setPropertyValue(ou("BottomBorder"), Any(css::table::BorderLine2()));
    para->setPropertyValue(ou("BottomBorderDistance"), Any(sal_Int32(0)));
    return 1;
  }, Effect{.text = {kind_}});
}

// --- clearing ------------------------------------------------------------------------------

// Word's WholeStory + Delete: text, tables, pictures and shapes (watermarks) go; one empty
// paragraph stays.
void OfficeStory::clear() {
  if (kind_ != StoryKind::Header && kind_ != StoryKind::Footer) return Story::clear();
  doc_.apply("clear", [this](DocState& st) {
    Reference<XText> t = resolve(st);
    int changed = 0;
    // What is anchored in the story (the draw page holds every anchored object of the document).
    Reference<css::drawing::XDrawPageSupplier> dps(st.model, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> page(dps->getDrawPage(), UNO_QUERY_THROW);
    std::vector<Reference<css::lang::XComponent>> anchored;
    for (sal_Int32 i = 0; i < page->getCount(); ++i) {
      Reference<text::XTextContent> content(page->getByIndex(i), UNO_QUERY);
      if (!content.is()) continue;
      Reference<XTextRange> anchor;
      try {
        anchor = content->getAnchor();
      } catch (const css::uno::RuntimeException&) {
        continue;  // anchored to a page: no story's
      }
      if (anchor.is() && inStoryText(anchor, t)) anchored.emplace_back(content, UNO_QUERY);
    }
    for (auto& a : anchored)
      if (a.is()) {
        a->dispose();
        ++changed;
      }
    // Tables go whole (a cursor cannot take one), then the text.
    Reference<css::container::XEnumerationAccess> ea(t, UNO_QUERY_THROW);
    std::vector<Reference<css::lang::XComponent>> tables;
    auto en = ea->createEnumeration();
    while (en->hasMoreElements()) {
      Reference<css::lang::XServiceInfo> si(en->nextElement(), UNO_QUERY);
      if (si.is() && si->supportsService(ou("com.sun.star.text.TextTable"))) tables.emplace_back(si, UNO_QUERY);
    }
    for (auto& table : tables) {
      table->dispose();
      ++changed;
    }
    auto c = t->createTextCursor();
    c->gotoStart(false);
    c->gotoEnd(true);
    if (!c->getString().isEmpty() || !c->isCollapsed()) {
      c->setString(OUString());
      ++changed;
    }
    return changed;
  }, Effect{.text = {kind_}, .removesPictures = true});
}

}  // namespace vm::word::office
