// Clean-up over UNO: comments (annotation fields) deleted, hyperlinks made plain text, blank
// paragraphs removed.

#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/container/XContentEnumerationAccess.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

using css::beans::XPropertySet;

OUString portionType(const Reference<XPropertySet>& portion) {
  OUString type;
  portion->getPropertyValue(ou("TextPortionType")) >>= type;
  return type;
}

std::vector<Reference<XPropertySet>> portionsOf(const Reference<XTextRange>& paragraph) {
  std::vector<Reference<XPropertySet>> out;
  Reference<css::container::XEnumerationAccess> ea(paragraph, UNO_QUERY);
  if (!ea.is()) return out;
  auto en = ea->createEnumeration();
  while (en->hasMoreElements()) {
    Reference<XPropertySet> p(en->nextElement(), UNO_QUERY);
    if (p.is()) out.push_back(p);
  }
  return out;
}

// Only its mark: no text, field, object, note or tracked change in it, nothing anchored to it.
bool onlyItsMark(const ParaInfo& p) {
  if (!p.text.isEmpty()) return false;
  for (auto& portion : portionsOf(p.range)) {
    OUString type = portionType(portion);
    if (type == "Text") {
      if (!Reference<XTextRange>(portion, UNO_QUERY_THROW)->getString().isEmpty()) return false;
    } else if (type != "Bookmark" && type != "SoftPageBreak") {
      return false;
    }
  }
  Reference<css::container::XContentEnumerationAccess> anchored(p.range, UNO_QUERY);
  return !(anchored.is() && anchored->createContentEnumeration(ou("com.sun.star.text.TextContent"))->hasMoreElements());
}

OUString pageDescOf(const ParaInfo& p) {
  Reference<XPropertySet> ps(p.range, UNO_QUERY);
  OUString desc;
  if (ps.is()) ps->getPropertyValue(ou("PageDescName")) >>= desc;
  return desc;
}

}  // namespace

int OfficeDocument::deleteComments() {
  return apply("deleteComments", [](DocState& st) {
    Reference<text::XTextFieldsSupplier> fs(st.model, UNO_QUERY_THROW);
    std::vector<Reference<css::lang::XComponent>> comments;
    auto en = fs->getTextFields()->createEnumeration();
    while (en->hasMoreElements()) {
      Reference<css::lang::XServiceInfo> si(en->nextElement(), UNO_QUERY);
      if (si.is() && si->supportsService(ou("com.sun.star.text.textfield.Annotation"))) comments.emplace_back(si, UNO_QUERY);
    }
    // Collected first: every comment there at the start goes, whatever deleting does to the list.
    for (auto& c : comments) c->dispose();
    return static_cast<int>(comments.size());
  }, Effect{.removesComments = true});
}

// A link is a run of text with a URL (the office reads Word's HYPERLINK fields as such runs):
// the URL goes, and the link's character style with it, as Word's Hyperlink.Delete leaves it.
int OfficeStory::removeHyperlinks() {
  return doc_.apply("removeHyperlinks", [this](DocState& st) {
    std::vector<ParaInfo> paras;
    std::int64_t pos = 0;
    collectParagraphs(resolve(st), false, paras, pos);
    int links = 0;
    for (auto& p : paras) {
      if (!p.range.is()) continue;
      OUString previous;
      std::vector<Reference<XTextRange>> linked;
      for (auto& portion : portionsOf(p.range)) {
        OUString url;
        portion->getPropertyValue(ou("HyperLinkURL")) >>= url;
        if (!url.isEmpty()) {
          if (url != previous) ++links;
          linked.emplace_back(portion, UNO_QUERY);
        }
        previous = url;
      }
      for (auto& r : linked) {
        Reference<XTextCursor> c = r->getText()->createTextCursorByRange(r);
        Reference<css::beans::XPropertyState> state(c, UNO_QUERY_THROW);
        state->setPropertyToDefault(ou("HyperLinkURL"));
        OUString charStyle;
        Reference<XPropertySet>(c, UNO_QUERY_THROW)->getPropertyValue(ou("CharStyleName")) >>= charStyle;
        if (charStyle == "Internet Link" || charStyle == "Visited Internet Link") state->setPropertyToDefault(ou("CharStyleName"));
      }
    }
    return links;
  }, Effect{.text = {kind_}});
}

// Word's rule: a paragraph whose text is its mark alone goes, except the last one of a cell or
// of the story and one that ends a section.
int OfficeStory::removeBlankParagraphs() {
  return doc_.apply("removeBlankParagraphs", [this](DocState& st) {
    Reference<XText> t = resolve(st);
    std::vector<ParaInfo> paras;
    std::int64_t pos = 0;
    collectParagraphs(t, false, paras, pos);
    auto story = norm(t);
    const ParaInfo* last = nullptr;
    for (auto& p : paras)
      if (p.range.is() && p.parent == story) last = &p;
    // Decided last to first: a blank paragraph that starts a page style (the first of a Word
    // section) hands the style to the paragraph after it, which must stay.
    std::vector<bool> goes(paras.size(), false);
    for (size_t i = paras.size(); i-- > 0;) {
      const ParaInfo& p = paras[i];
      if (!p.range.is() || p.rowEnd || p.cellEnd || p.sectionEnd || &p == last || !onlyItsMark(p)) continue;
      if (!pageDescOf(p).isEmpty()) {
        const bool heir = i + 1 < paras.size() && paras[i + 1].range.is() && paras[i + 1].parent == p.parent &&
                          !paras[i + 1].inTable && !goes[i + 1] && pageDescOf(paras[i + 1]).isEmpty();
        if (!heir) continue;
      }
      goes[i] = true;
    }
    int removed = 0;
    for (size_t i = paras.size(); i-- > 0;) {
      if (!goes[i]) continue;
      Reference<XPropertySet> ps(paras[i].range, UNO_QUERY_THROW);
      OUString desc = pageDescOf(paras[i]);
      if (!desc.isEmpty()) {
        Reference<XPropertySet> next(paras[i + 1].range, UNO_QUERY_THROW);
        Any offset = ps->getPropertyValue(ou("PageNumberOffset"));
        if (offset.hasValue()) next->setPropertyValue(ou("PageNumberOffset"), offset);
        next->setPropertyValue(ou("PageDescName"), Any(desc));
      }
      Reference<css::lang::XComponent>(paras[i].range, UNO_QUERY_THROW)->dispose();
      ++removed;
    }
    return removed;
  }, Effect{.text = {kind_}});
}

}  // namespace vm::word::office
