// Pages copied into a new document: the source rebuilt aside in the same office, its pages
// selected in its view and handed to the new document's view, breaks and page styles set again.

#include <algorithm>
#include <map>

#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

// The body's top-level elements (paragraphs and tables) in order.
std::vector<Reference<css::uno::XInterface>> bodyElements(const Reference<XText>& body) {
  std::vector<Reference<css::uno::XInterface>> out;
  Reference<css::container::XEnumerationAccess> ea(body, UNO_QUERY_THROW);
  auto en = ea->createEnumeration();
  while (en->hasMoreElements()) out.push_back(norm(Reference<css::uno::XInterface>(en->nextElement(), UNO_QUERY)));
  return out;
}

bool isTable(const Reference<css::uno::XInterface>& e) {
  Reference<css::lang::XServiceInfo> si(e, UNO_QUERY);
  return si.is() && si->supportsService(ou("com.sun.star.text.TextTable"));
}

// The index of the body element holding a position: its paragraph, or the top-level table
// whose cell holds it; -1 when there is none (a nested table).
int elementAt(const std::vector<Reference<css::uno::XInterface>>& elements, const Reference<XText>& body,
              const Reference<XTextRange>& at) {
  Reference<css::beans::XPropertySet> ps(at->getText()->createTextCursorByRange(at), UNO_QUERY);
  Reference<css::uno::XInterface> table;
  if (ps.is()) ps->getPropertyValue(ou("TextTable")) >>= table;
  if (table.is()) {
    for (size_t i = 0; i < elements.size(); ++i)
      if (elements[i] == norm(table)) return static_cast<int>(i);
    return -1;
  }
  Reference<text::XTextRangeCompare> cmp(body, UNO_QUERY_THROW);
  for (size_t i = 0; i < elements.size(); ++i) {
    Reference<XTextRange> r(elements[i], UNO_QUERY);
    if (r.is() && cmp->compareRegionStarts(r, at) >= 0 && cmp->compareRegionEnds(r, at) <= 0) return static_cast<int>(i);
  }
  return -1;
}

// A header or footer text of a copied page style and the source's it came from.
using TextPair = std::pair<Reference<XText>, Reference<XText>>;

// Gives the target the source's page style of that name, under a name of its own when the
// target has that one already (a new document's default style), and returns that name: its
// plain properties (page size, orientation, margins, ...), then the plain text of its headers
// and footers, each pair of texts also added to headers for the paste that brings their
// formatting once the style is in use. Measured: the paste of the pages brings neither;
// XTextCopy between two documents' headers killed the office (a corpus document), and loading
// the page styles from the source's file (.docx) brought empty headers. Each style once (done:
// source name -> target name), its follow style (the pages after a first-page style) before
// it.
OUString copyPageStyle(DocState& src, DocState& dst, const OUString& name, std::map<OUString, OUString>& done,
                       std::vector<TextPair>& headers) {
  if (name.isEmpty()) return name;
  if (auto it = done.find(name); it != done.end()) return it->second;
  auto family = [](DocState& d) {
    Reference<css::style::XStyleFamiliesSupplier> fam(d.model, UNO_QUERY_THROW);
    return Reference<css::container::XNameContainer>(fam->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
  };
  OUString targetName = name;
  for (sal_Int32 k = 1; family(dst)->hasByName(targetName); ++k) targetName = name + OUString::number(k);
  done[name] = targetName;
  Reference<css::beans::XPropertySet> from(family(src)->getByName(name), UNO_QUERY_THROW);
  OUString follow;
  from->getPropertyValue(ou("FollowStyle")) >>= follow;
  const OUString followTarget = follow == name ? targetName : copyPageStyle(src, dst, follow, done, headers);
  Reference<css::lang::XMultiServiceFactory> f(dst.model, UNO_QUERY_THROW);
  Reference<css::beans::XPropertySet> to(f->createInstance(ou("com.sun.star.style.PageStyle")), UNO_QUERY_THROW);
  family(dst)->insertByName(targetName, Any(to));
  for (const auto& p : from->getPropertySetInfo()->getProperties()) {
    if ((p.Attributes & css::beans::PropertyAttribute::READONLY) || p.Name == "FollowStyle") continue;
    try {
      Any v = from->getPropertyValue(p.Name);
      if (v.getValueTypeClass() == css::uno::TypeClass_INTERFACE) continue;
      to->setPropertyValue(p.Name, v);
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const css::uno::Exception&) {
      // a property this style does not take (left at its default)
    }
  }
  if (!followTarget.isEmpty()) {
    try {
      to->setPropertyValue(ou("FollowStyle"), Any(followTarget));
    } catch (const css::uno::RuntimeException&) {
      throw;
    } catch (const css::uno::Exception&) {
    }
  }
  // The texts exist once the switches above are on; a left or first-page text shared with the
  // default one is that same text (copied once).
  auto flag = [&](const char* name) {
    bool v = true;
    try {
      from->getPropertyValue(ou(name)) >>= v;
    } catch (const css::beans::UnknownPropertyException&) {
    }
    return v;
  };
  const bool sharedLeft[] = {flag("HeaderIsShared"), flag("FooterIsShared")};
  const bool sharedFirst = flag("FirstIsShared");
  const char* texts[2][3] = {{"HeaderText", "HeaderTextLeft", "HeaderTextFirst"},
                             {"FooterText", "FooterTextLeft", "FooterTextFirst"}};
  for (int kind = 0; kind < 2; ++kind) {
    for (int variant = 0; variant < 3; ++variant) {
      if ((variant == 1 && sharedLeft[kind]) || (variant == 2 && sharedFirst)) continue;
      try {
        Reference<XText> source(from->getPropertyValue(ou(texts[kind][variant])), UNO_QUERY);
        Reference<XText> target(to->getPropertyValue(ou(texts[kind][variant])), UNO_QUERY);
        if (source.is() && target.is()) {
          target->setString(source->getString());
          headers.emplace_back(source, target);
        }
      } catch (const css::lang::DisposedException&) {
        throw;
      } catch (const css::uno::Exception&) {
        // a variant this style does not have
      }
    }
  }
  return targetName;
}

// The header or footer text pasted through the views as the pages are (formatting, fields,
// pictures). A text the views cannot reach (a first-page header where the source has no first
// page of that style) keeps its plain text.
void pasteHeaderFooter(DocState& src, DocState& dst, const TextPair& texts) {
  const auto& [from, to] = texts;
  try {
    auto svc = src.viewCursor();
    svc->gotoRange(from->getStart(), false);
    svc->gotoRange(from->getEnd(), true);
    auto t = Reference<css::datatransfer::XTransferableSupplier>(src.controller(), UNO_QUERY_THROW)->getTransferable();
    const OUString plain = to->getString();
    to->setString(OUString());
    try {
      auto dvc = dst.viewCursor();
      dvc->gotoRange(to->getStart(), false);
      Reference<css::datatransfer::XTransferableSupplier>(dst.controller(), UNO_QUERY_THROW)->insertTransferable(t);
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const css::uno::Exception&) {
      to->setString(plain);
    }
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::Exception&) {
  }
}

OUString stringProperty(const Reference<css::uno::XInterface>& e, const char* name) {
  OUString v;
  Reference<css::beans::XPropertySet> ps(e, UNO_QUERY);
  if (ps.is()) ps->getPropertyValue(ou(name)) >>= v;
  return v;
}

css::style::BreakType breakOf(const Reference<css::uno::XInterface>& e) {
  css::style::BreakType bt = css::style::BreakType_NONE;
  Reference<css::beans::XPropertySet> ps(e, UNO_QUERY);
  if (ps.is()) ps->getPropertyValue(ou("BreakType")) >>= bt;
  return bt;
}

// Drops the part of a break that would fall outside the copy: before its first element, after
// its last.
css::style::BreakType withoutEdge(css::style::BreakType bt, bool before) {
  using namespace css::style;
  switch (bt) {
    case BreakType_PAGE_BOTH: return before ? BreakType_PAGE_AFTER : BreakType_PAGE_BEFORE;
    case BreakType_COLUMN_BOTH: return before ? BreakType_COLUMN_AFTER : BreakType_COLUMN_BEFORE;
    case BreakType_PAGE_BEFORE:
    case BreakType_COLUMN_BEFORE: return before ? BreakType_NONE : bt;
    case BreakType_PAGE_AFTER:
    case BreakType_COLUMN_AFTER: return before ? bt : BreakType_NONE;
    default: return bt;
  }
}

// Selects pages first..last of the source in its view and hands its transferable to the
// target's view (no system clipboard involved).
//
// Measured: the pasted paragraphs keep their formatting but not their breaks and page styles;
// the last paragraph's go to the first one. So both are set again afterwards from the
// source's elements, one for one; the first element gets no break before it (saved to .docx,
// it would start the copy with an empty page) and the last none after it.
void copyPagesInto(DocState& src, DocState& dst, int first, int last) {
  auto vc = src.viewCursor();
  Reference<text::XPageCursor> pc(vc, UNO_QUERY_THROW);
  pc->jumpToLastPage();
  int n = pc->getPage();
  if (first < 1 || last < first || first > n)
    throw EngineError(ErrorCode::PageOutOfRange, "pages " + std::to_string(first) + "-" + std::to_string(last) + " of " + std::to_string(n));
  last = std::min(last, n);
  pc->jumpToPage(static_cast<sal_Int16>(first));
  pc->jumpToStartOfPage();
  Reference<XTextRange> start = vc->getStart();
  pc->jumpToPage(static_cast<sal_Int16>(last));
  pc->jumpToEndOfPage();
  Reference<XTextRange> end = vc->getEnd();
  if (last == n) {
    auto c = src.body()->createTextCursor();
    c->gotoEnd(false);
    end = c->getEnd();
  }
  // (Measured: Writer puts no paragraph before a table that starts the document, nor after
  // one that ends it, and a cursor at the end of such a text throws.)
  auto tableEdge = [&] {
    return EngineError(ErrorCode::Unsupported, "pages " + std::to_string(first) + "-" + std::to_string(last) + ": a page edge in a table that starts or ends the text");
  };
  auto body = src.body();
  auto srcElements = bodyElements(body);
  int from = -1, to = -1;
  try {
    from = elementAt(srcElements, body, start);
    to = elementAt(srcElements, body, end);
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::RuntimeException&) {
    if (!srcElements.empty() && isTable(srcElements.back()))
      throw tableEdge();
    throw;
  }
  if (from < 0 || to < 0)
    throw EngineError(ErrorCode::Unsupported, "pages " + std::to_string(first) + "-" + std::to_string(last) + ": a page edge in a nested table");
  // A page edge inside a table: the view cursor selects from the body into a cell only
  // within one table, so the copy takes the whole table, from the end of the paragraph
  // before it to the start of the paragraph after it.
  auto paragraphNear = [&](int i, int step) {
    while (i >= 0 && i < static_cast<int>(srcElements.size()) && isTable(srcElements[static_cast<size_t>(i)])) i += step;
    return i >= 0 && i < static_cast<int>(srcElements.size()) ? i : -1;
  };
  if (isTable(srcElements[static_cast<size_t>(from)])) {
    int before = paragraphNear(from, -1);
    if (before < 0) throw tableEdge();
    start = Reference<XTextRange>(srcElements[static_cast<size_t>(before)], UNO_QUERY_THROW)->getEnd();
    from = before;
  }
  if (isTable(srcElements[static_cast<size_t>(to)])) {
    int after = paragraphNear(to, 1);
    if (after < 0) throw tableEdge();
    end = Reference<XTextRange>(srcElements[static_cast<size_t>(after)], UNO_QUERY_THROW)->getStart();
    to = after - 1;
  }
  vc->gotoRange(start, false);
  vc->gotoRange(end, true);
  Reference<css::datatransfer::XTransferableSupplier> source(src.controller(), UNO_QUERY_THROW);
  auto t = source->getTransferable();
  Reference<css::datatransfer::XTransferableSupplier> target(dst.controller(), UNO_QUERY_THROW);
  target->insertTransferable(t);
  auto dstElements = bodyElements(dst.body());
  size_t count = static_cast<size_t>(to - from + 1);
  // A copy that ends with a table gets the target's own last paragraph after it.
  if (dstElements.size() == count + 1 && isTable(srcElements[static_cast<size_t>(to)]) && !isTable(dstElements.back())) {
    Reference<css::beans::XPropertySet> ps(dstElements.back(), UNO_QUERY);
    if (ps.is() && breakOf(dstElements.back()) != css::style::BreakType_NONE)
      ps->setPropertyValue(ou("BreakType"), Any(css::style::BreakType_NONE));
    dstElements.pop_back();
  }
  if (dstElements.size() != count) return;  // not one for one: left as pasted
  for (size_t i = 0; i < count; ++i)
    if (isTable(dstElements[i]) != isTable(srcElements[static_cast<size_t>(from) + i])) return;
  std::map<OUString, OUString> copiedStyles;
  std::vector<TextPair> headers;
  for (size_t i = 0; i < count; ++i) {
    const auto& s = srcElements[static_cast<size_t>(from) + i];
    Reference<css::beans::XPropertySet> ps(dstElements[i], UNO_QUERY);
    if (!ps.is()) continue;
    auto bt = breakOf(s);
    if (i == 0) bt = withoutEdge(bt, true);
    if (i + 1 == count) bt = withoutEdge(bt, false);
    // A page style set on an element is Word's section break (a new page in that format). The
    // first element takes the page style in force where the copy starts.
    OUString desc = stringProperty(s, i == 0 && !isTable(s) ? "PageStyleName" : "PageDescName");
    desc = copyPageStyle(src, dst, desc, copiedStyles, headers);
    if (stringProperty(dstElements[i], "PageDescName") != desc && !(i == 0 && desc.isEmpty())) {
      try {
        ps->setPropertyValue(ou("PageDescName"), Any(desc));
      } catch (const css::lang::IllegalArgumentException&) {
        // (a page style Writer does not take here: the pasted one stays)
      }
    }
    if (breakOf(dstElements[i]) != bt) ps->setPropertyValue(ou("BreakType"), Any(bt));
  }
  // Now that the styles are in use their headers are laid out, where the views reach them.
  for (const TextPair& h : headers) pasteHeaderFooter(src, dst, h);
}

}  // namespace

std::unique_ptr<Document> OfficeDocument::copyPages(int first, int last) {
  checkOpen();
  // The source loaded now in this office: the copy is taken from it as it stands. A replay
  // (the office died meanwhile) builds the source aside from its journal instead.
  run("copyPages", [](DocState&) { return 0; });
  std::vector<Step> source = journal_;
  auto live = std::make_shared<DocState*>(&state_);
  Step creation = [source, first, last, live](DocState& st) {
    DocState* from = *live;
    *live = nullptr;
    if (from && from->model.is()) {
      st.model = loadModel(st, ou("private:factory/swriter"), false, true, "new document");
      copyPagesInto(*from, st, first, last);
      return 0;
    }
    DocState src{st.office, {}};
    struct CloseSrc {
      DocState& s;
      ~CloseSrc() {
        try {
          s.close();
        } catch (...) {
        }
      }
    };
    for (auto& step : source) step(src);
    CloseSrc guard{src};
    st.model = loadModel(st, ou("private:factory/swriter"), false, true, "new document");
    copyPagesInto(src, st, first, last);
    return 0;
  };
  {
    std::lock_guard l(pool_->mutex);
    ++office_->documents;
  }
  auto doc = std::make_unique<OfficeDocument>(pool_, *office_, fs::path(), std::move(creation), "writer8");
  doc->start();
  doc->modified_ = true;
  return doc;
}

}  // namespace vm::word::office
