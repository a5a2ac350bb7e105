// Word's moving insertion point after Documents.Open: InsertFile and InsertBreak put what they
// insert before the document's own text, each after the one before.
//
// The point is kept as the number of top-level blocks (paragraphs, tables) behind it, the
// document's own: a count survives the journal's replay where a cursor would not. A page break
// at the point is the page-break-before of the block behind it; the next insertion takes it
// over, so that no empty paragraph is left between the inserted text and the document's own.

#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XRelativeTextContentInsert.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextTable.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

using Block = Reference<text::XTextContent>;

std::vector<Block> blocks(DocState& st) {
  Reference<css::container::XEnumerationAccess> ea(st.body(), UNO_QUERY_THROW);
  auto en = ea->createEnumeration();
  std::vector<Block> out;
  while (en->hasMoreElements()) out.emplace_back(en->nextElement(), UNO_QUERY_THROW);
  return out;
}

bool isTable(const Block& b) { return Reference<text::XTextTable>(b, UNO_QUERY).is(); }

bool same(const Block& a, const Block& b) {
  return norm(Reference<css::uno::XInterface>(a, UNO_QUERY)) == norm(Reference<css::uno::XInterface>(b, UNO_QUERY));
}

// The first block behind the point, and how many stand before it.
std::pair<Block, std::size_t> tailOf(DocState& st, int tail) {
  auto all = blocks(st);
  if (tail <= 0 || static_cast<std::size_t>(tail) > all.size())
    throw EngineError(ErrorCode::OfficeFailed, "insertion point lost");
  const std::size_t at = all.size() - static_cast<std::size_t>(tail);
  return {all[at], at};
}

void setBreak(const Reference<css::uno::XInterface>& block, bool on) {
  Reference<css::beans::XPropertySet> p(block, UNO_QUERY_THROW);
  p->setPropertyValue(ou("BreakType"), Any(on ? css::style::BreakType_PAGE_BEFORE : css::style::BreakType_NONE));
}

OUString pageStyleOf(const Reference<css::uno::XInterface>& block) {
  Reference<css::beans::XPropertySet> p(block, UNO_QUERY_THROW);
  OUString name;
  p->getPropertyValue(ou("PageDescName")) >>= name;
  return name;
}

// A new empty paragraph right before the block behind the point. The document's first block
// hands its page style on to it: the inserted text now opens the document.
Reference<XTextCursor> paragraphBefore(DocState& st, const Block& tail, bool first, bool breakNew, bool breakTail) {
  auto body = st.body();
  const OUString style = first ? pageStyleOf(tail) : OUString();
  Reference<XTextCursor> c;
  Reference<css::uno::XInterface> made;
  if (isTable(tail)) {
    // A cursor cannot stand before a table; a paragraph can be put there. Measured: a cursor
    // made from that paragraph's own range kills the office; one moved there does not.
    Reference<css::lang::XMultiServiceFactory> f(st.model, UNO_QUERY_THROW);
    Block para(f->createInstance(ou("com.sun.star.text.Paragraph")), UNO_QUERY_THROW);
    Reference<text::XRelativeTextContentInsert> rel(body, UNO_QUERY_THROW);
    auto all = blocks(st);
    std::size_t at = 0;
    while (at < all.size() && !same(all[at], tail)) ++at;
    if (at > 0 && isTable(all[at - 1])) throw EngineError(ErrorCode::Unsupported, "two tables at the insertion point");
    rel->insertTextContentBefore(para, tail);
    if (at == 0) {
      c = body->createTextCursor();
      c->gotoStart(false);
    } else {
      c = body->createTextCursorByRange(all[at - 1]->getAnchor()->getEnd());
      Reference<text::XParagraphCursor>(c, UNO_QUERY_THROW)->gotoNextParagraph(false);
    }
  } else {
    c = body->createTextCursorByRange(tail->getAnchor()->getStart());
    body->insertControlCharacter(asRange(c), text::ControlCharacter::PARAGRAPH_BREAK, false);
    c = body->createTextCursorByRange(tail->getAnchor()->getStart());
    c->goLeft(1, false);
  }
  Reference<css::container::XEnumerationAccess> ea(c, UNO_QUERY_THROW);
  made = Reference<css::uno::XInterface>(ea->createEnumeration()->nextElement(), UNO_QUERY_THROW);
  if (!style.isEmpty()) {
    Reference<css::beans::XPropertySet>(made, UNO_QUERY_THROW)->setPropertyValue(ou("PageDescName"), Any(style));
    try {
      Reference<css::beans::XPropertySet>(tail, UNO_QUERY_THROW)->setPropertyValue(ou("PageDescName"), Any(OUString()));
    } catch (const css::lang::IllegalArgumentException&) {
      // the split left it without one
    }
  }
  setBreak(made, breakNew);
  setBreak(tail, breakTail);
  return c;
}

}  // namespace

int OfficeDocument::pointTail() {
  if (!pointTail_)
    pointTail_ = run("insertionPoint", [](DocState& st) {
      auto all = blocks(st);
      Reference<css::drawing::XDrawPageSupplier> dp(st.model, UNO_QUERY_THROW);
      const bool empty = all.size() == 1 && !isTable(all[0]) && all[0]->getAnchor()->getString().isEmpty() &&
                         dp->getDrawPage()->getCount() == 0;
      return empty ? 0 : static_cast<int>(all.size());
    });
  return *pointTail_;
}

void OfficeDocument::insertDocumentAtPoint(const fs::path& other) {
  const int tail = pointTail();
  if (tail == 0) return insertDocument(other, false);
  checkOpen();
  if (!fs::is_regular_file(other)) throw EngineError(ErrorCode::FileNotFound, other.string());
  const fs::path abs = fs::absolute(other);
  const bool pending = pointBreakPending_;
  apply("insertDocumentAtPoint", [abs, tail, pending](DocState& st) {
    auto [block, before] = tailOf(st, tail);
    auto c = paragraphBefore(st, block, before == 0, pending, false);
    insertFileAt(c, abs);
    return 1;
  }, Effect{.text = {StoryKind::Main}, .addsPictures = true});
  pointBreakPending_ = false;
}

void OfficeDocument::insertPageBreakAtPoint() {
  const int tail = pointTail();
  if (tail == 0) return insertPageBreak();
  checkOpen();
  const bool pending = pointBreakPending_;
  apply("insertPageBreakAtPoint", [tail, pending](DocState& st) {
    auto [block, before] = tailOf(st, tail);
    if (!pending)
      setBreak(block, true);
    else  // a page left empty but for its paragraph mark, as Word's second break leaves it
      paragraphBefore(st, block, before == 0, true, true);
    return 1;
  }, Effect{.text = {StoryKind::Main}});
  pointBreakPending_ = true;
}

int OfficeDocument::pageAtPoint() {
  const int tail = pointTail();
  if (tail == 0) return pageCount();
  const bool pending = pointBreakPending_;
  return run("pageAtPoint", [tail, pending](DocState& st) {
    auto all = blocks(st);
    auto [block, before] = tailOf(st, tail);
    Reference<XTextRange> at;
    if (pending || before == 0 || isTable(all[before - 1])) {
      // After a break the point is on the page the document's own text now starts.
      if (isTable(block)) {
        Reference<text::XTextTable> t(block, UNO_QUERY_THROW);
        at = Reference<XText>(t->getCellByName(ou("A1")), UNO_QUERY_THROW)->getStart();
      } else {
        at = block->getAnchor()->getStart();
      }
    } else {
      at = all[before - 1]->getAnchor()->getEnd();
    }
    auto vc = st.viewCursor();
    vc->gotoRange(at, false);
    return static_cast<int>(Reference<text::XPageCursor>(vc, UNO_QUERY_THROW)->getPage());
  });
}

}  // namespace vm::word::office
