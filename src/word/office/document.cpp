// Documents over UNO: the engine interface (document.h) and the layout extension (layout.h).
//
// Every change is a step recorded in the document's journal: when the office dies under a
// call, the document is loaded again in the restarted office, the journal is replayed and the
// call is tried once more (see office.h). Where UNO cannot give Word's effect exactly, the
// comment at the place says so.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/task/ErrorCodeIOException.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XRedline.hpp>
#include <com/sun/star/util/DateTime.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "word/docx/image.h"
#include "word/office/internal.h"
#include "word/office/wordfind.h"

namespace vm::word::office {

namespace fs = std::filesystem;
namespace text = css::text;
using text::XText;
using text::XTextCursor;
using text::XTextRange;

namespace {

// The SDK has no up-cast constructor for Reference: a cursor is a range.
inline Reference<XTextRange> asRange(const Reference<XTextCursor>& c) { return Reference<XTextRange>(c.get()); }

// --- document state and steps ----------------------------------------------------------

struct DocState {
  Office* office = nullptr;
  Reference<css::lang::XComponent> model;

  Reference<text::XTextDocument> textDoc() const { return {model, UNO_QUERY_THROW}; }
  Reference<XText> body() const { return textDoc()->getText(); }
  Reference<css::frame::XController> controller() const {
    return Reference<css::frame::XModel>(model, UNO_QUERY_THROW)->getCurrentController();
  }
  Reference<text::XTextViewCursor> viewCursor() const {
    Reference<text::XTextViewCursorSupplier> s(controller(), UNO_QUERY_THROW);
    return s->getViewCursor();
  }
  void close() {
    if (!model.is()) return;
    try {
      Reference<css::util::XCloseable> c(model, UNO_QUERY);
      if (c.is())
        c->close(true);
      else
        model->dispose();
    } catch (const css::lang::DisposedException&) {
      throw;
    } catch (const css::uno::Exception&) {
    }
    model.clear();
  }
};

using Step = std::function<int(DocState&)>;

const char* kDamaged = "文档已损坏或格式无法识别，无法打开";
const char* kOfficeError = "办公软件处理文档时出错";

// Debian's libreoffice-writer-nogui has no Writer UI definitions, and its office aborts as soon
// as a hidden view builds the window of a comment: the likely cause then, so it is named.
std::string officeFailedMessage(const fs::path& programFolder) {
  std::string m = "办公软件无响应或意外退出，文档处理失败";
  std::error_code ec;
  if (!fs::exists(programFolder / "../share/config/soffice.cfg/modules/swriter/ui/annotation.ui", ec))
    m += "（所装的 LibreOffice 缺少 Writer 界面文件，打开带批注的文档时会退出，请安装 libreoffice-writer）";
  return m;
}

// --- loading ---------------------------------------------------------------------------

// Documents are loaded with a hidden view. Measured: a model loaded alone (XLoadable, no
// view, no layout) is not searchable: XSearchable::findAll finds nothing in it.
Reference<css::lang::XComponent> loadModel(DocState& st, const OUString& url, bool readOnly, bool hidden,
                                           const std::string& what) {
  Reference<css::frame::XComponentLoader> loader(st.office->desktop, UNO_QUERY_THROW);
  auto args = props({
      prop("Hidden", Any(hidden)),
      prop("ReadOnly", Any(readOnly)),
      prop("MacroExecutionMode", Any(sal_Int16(0))),  // NEVER_EXECUTE
      prop("UpdateDocMode", Any(sal_Int16(0))),       // NO_UPDATE
      prop("Silent", Any(true)),
  });
  Reference<css::lang::XComponent> comp;
  try {
    comp = loader->loadComponentFromURL(url, ou("_blank"), 0, args);
  } catch (const css::lang::IllegalArgumentException&) {
    throw EngineError(ErrorCode::UnsupportedFormat, "不支持的文档格式", what + ": " + caughtUnoException());
  } catch (const css::io::IOException&) {
    throw EngineError(ErrorCode::DamagedPart, kDamaged, what + ": " + caughtUnoException());
  }
  if (!comp.is()) throw EngineError(ErrorCode::DamagedPart, kDamaged, what + ": the office returned no document");
  Reference<text::XTextDocument> td(comp, UNO_QUERY);
  if (!td.is()) {
    DocState tmp{st.office, comp};
    tmp.close();
    throw EngineError(ErrorCode::UnsupportedFormat, "不是文字处理文档", what);
  }
  return comp;
}

Step loadStep(fs::path path, bool readOnly) {
  return [path, readOnly](DocState& st) {
    try {
      st.model = loadModel(st, fileUrl(path), readOnly, true, path.string());
    } catch (const EngineError& e) {
      // The office says only that it could not load: tell a password-protected file apart.
      if (e.code() == ErrorCode::DamagedPart && isEncryptedOleDocument(path))
        throw EngineError(ErrorCode::Encrypted, "文档已加密（有打开密码），无法打开", path.string());
      throw;
    }
    return 0;
  };
}

Step createStep() {
  return [](DocState& st) {
    st.model = loadModel(st, ou("private:factory/swriter"), false, true, "new document");
    return 0;
  };
}

// --- stories ---------------------------------------------------------------------------

struct ParaInfo {
  Reference<XTextRange> range;             // null for an end-of-row mark
  Reference<css::uno::XInterface> parent;  // the XText holding it (normalised); null for a row end
  OUString text;
  std::int64_t start = 0, end = 0;
  bool inTable = false;
  bool cellEnd = false;     // the last paragraph of a cell: its mark is the cell mark
  bool rowEnd = false;      // Word's end-of-row mark (one position), not a paragraph
  bool sectionEnd = false;  // the next paragraph starts a new page style: Word's section break
};

Reference<css::uno::XInterface> norm(const Reference<css::uno::XInterface>& x) {
  return Reference<css::uno::XInterface>(x, UNO_QUERY);
}

int rowOfCellName(const OUString& name) {
  // "B12" -> 12, "A1.2.3" (split cells) -> 1
  sal_Int32 i = 0;
  while (i < name.getLength() && !(name[i] >= '0' && name[i] <= '9')) ++i;
  int row = 0;
  while (i < name.getLength() && name[i] >= '0' && name[i] <= '9') row = row * 10 + (name[i++] - '0');
  return row;
}

// The paragraphs of a text in order, with Word's positions: every paragraph mark one position,
// a table cell's last mark its cell mark, one end-of-row mark after each row. Where the text
// differs from Word's (approximations): a field counts as the text Writer shows for it, tracked
// deletions are counted, and a page break Word keeps as a character in the text is a paragraph
// attribute here (not counted).
void collectParagraphs(const Reference<XText>& textObj, bool inTable, std::vector<ParaInfo>& out, std::int64_t& pos,
                       bool topLevel = true) {
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

// The XText objects that make up a story kind, in document order.
std::vector<Reference<XText>> storyTexts(DocState& st, StoryKind kind) {
  std::vector<Reference<XText>> out;
  if (kind == StoryKind::Main) {
    out.push_back(st.body());
    return out;
  }
  if (kind != StoryKind::Header && kind != StoryKind::Footer) return out;  // not offered over UNO here
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
    std::vector<std::string> props = {base};
    if (!firstShared) props.push_back(base + "First");
    if (!isShared) props.push_back(base + "Left");
    for (auto& pn : props) {
      Reference<XText> t;
      try {
        ps->getPropertyValue(ou(pn)) >>= t;
      } catch (const css::beans::UnknownPropertyException&) {
      }
      if (t.is()) out.push_back(t);
    }
  }
  return out;
}

// Whether a found range lies in the story text (its tables included): Writer's text compare
// accepts only ranges within the text's own node section (a body table's cells are in it; a
// header, footnote or text frame is a section of its own). The range is compared with itself:
// measured, the start of a text that begins with a table aborts the office.
bool inStoryText(const Reference<XTextRange>& range, const Reference<XText>& story) {
  Reference<text::XTextRangeCompare> cmp(story, UNO_QUERY_THROW);
  try {
    cmp->compareRegionStarts(range, range);
    return true;
  } catch (const css::lang::IllegalArgumentException&) {
    return false;
  }
}

// --- replacing -------------------------------------------------------------------------

// Replaces a match so that the replacement takes the formatting of the match's first
// character, as Word does: the new text is inserted right after that character (Writer's
// inserted text takes the attributes that end at the insertion point, not those that start
// there), then the old text goes.
void replaceRange(const Reference<XTextRange>& range, const std::vector<ReplacePiece>& pieces, bool matchCase) {
  Reference<XText> t = range->getText();
  OUString found = range->getString();
  CaseShape shape = matchCase ? CaseShape::AsTyped : caseShapeOf(found);
  bool nothing = std::all_of(pieces.begin(), pieces.end(), [](const ReplacePiece& p) {
    return p.kind == ReplacePiece::Text && p.text.isEmpty();
  });
  if (nothing) {  // deleted in one go (no formatting to carry)
    Reference<XTextCursor> c = t->createTextCursorByRange(range);
    c->setString(OUString());
    return;
  }
  Reference<XTextCursor> startMark = t->createTextCursorByRange(range->getStart());
  Reference<XTextCursor> endMark = t->createTextCursorByRange(range->getEnd());
  Reference<XTextCursor> at = t->createTextCursorByRange(range->getStart());
  if (!at->goRight(1, false)) return;
  sal_Int32 inserted = 0;  // cursor steps taken by what was inserted
  auto advance = [&] {
    at = t->createTextCursorByRange(startMark->getStart());
    at->goRight(1, false);
    for (sal_Int32 left = inserted; left > 0; left -= 32767) at->goRight(static_cast<sal_Int16>(std::min<sal_Int32>(left, 32767)), false);
  };
  for (auto& piece : pieces) {
    switch (piece.kind) {
      case ReplacePiece::Text:
      case ReplacePiece::Found: {
        OUString s = piece.kind == ReplacePiece::Text ? applyCase(piece.text, shape) : found;
        if (s.isEmpty()) continue;
        t->insertString(asRange(at), s, false);
        inserted += s.getLength();
        break;
      }
      case ReplacePiece::LineBreak:
        t->insertControlCharacter(asRange(at), text::ControlCharacter::LINE_BREAK, false);
        inserted += 1;
        break;
      case ReplacePiece::Paragraph:
      case ReplacePiece::PageBreak:
      case ReplacePiece::ColumnBreak: {
        t->insertControlCharacter(asRange(at), text::ControlCharacter::PARAGRAPH_BREAK, false);
        inserted += 1;
        if (piece.kind != ReplacePiece::Paragraph) {
          // Not exact: Word's manual page (column) break is a character inside the paragraph;
          // Writer keeps it as a break before the following paragraph.
          advance();
          Reference<css::beans::XPropertySet> pp(at, UNO_QUERY);
          if (pp.is())
            pp->setPropertyValue(ou("BreakType"), Any(piece.kind == ReplacePiece::PageBreak ? css::style::BreakType_PAGE_BEFORE
                                                                                           : css::style::BreakType_COLUMN_BEFORE));
        }
        break;
      }
    }
    advance();
  }
  // The old text after the insertion, then the first character.
  Reference<XTextCursor> rest = t->createTextCursorByRange(at->getStart());
  rest->gotoRange(endMark->getStart(), true);
  rest->setString(OUString());
  startMark->goRight(1, true);
  startMark->setString(OUString());
}

struct Match {
  Reference<XTextRange> range;
};

// Writer dates its own changes in local time, as Word does in .doc (measured: its .docx export
// then writes that local time with a "Z"): ours get the same.
css::util::DateTime localNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm {};
  ::localtime_r(&t, &tm);
  css::util::DateTime d;
  d.Year = static_cast<sal_Int16>(tm.tm_year + 1900);
  d.Month = static_cast<sal_uInt16>(tm.tm_mon + 1);
  d.Day = static_cast<sal_uInt16>(tm.tm_mday);
  d.Hours = static_cast<sal_uInt16>(tm.tm_hour);
  d.Minutes = static_cast<sal_uInt16>(tm.tm_min);
  d.Seconds = static_cast<sal_uInt16>(tm.tm_sec);
  d.IsUTC = false;
  return d;
}

// Writer records a change in a document with Track Changes on (RecordChanges, read from the
// file) and signs it with the office user's name: that name becomes the author first. The
// office is private to Vellumark, so its profile's name is ours to set.
bool recordsChanges(DocState& st) {
  Reference<css::beans::XPropertySet> doc(st.model, UNO_QUERY);
  bool recording = false;
  return doc.is() && (doc->getPropertyValue(ou("RecordChanges")) >>= recording) && recording;
}

void signTrackedChanges(DocState& st, const std::string& author) {
  if (!recordsChanges(st)) return;
  auto provider = css::configuration::theDefaultProvider::get(st.office->ctx);
  css::beans::NamedValue path;
  path.Name = ou("nodepath");
  path.Value <<= ou("/org.openoffice.UserProfile/Data");
  Sequence<Any> args(1);
  args.getArray()[0] <<= path;
  Reference<css::beans::XPropertySet> access(
      provider->createInstanceWithArguments(ou("com.sun.star.configuration.ConfigurationUpdateAccess"), args),
      UNO_QUERY_THROW);
  OUString name = ou(author), current;
  access->getPropertyValue(ou("givenname")) >>= current;
  OUString sn;
  access->getPropertyValue(ou("sn")) >>= sn;
  if (current == name && sn.isEmpty()) return;
  access->setPropertyValue(ou("givenname"), Any(name));
  access->setPropertyValue(ou("sn"), Any(OUString()));
  Reference<css::util::XChangesBatch>(access, UNO_QUERY_THROW)->commitChanges();
}

// Tracked deletions: Word never matches deleted text. Not exact: Writer's search still sees the
// deleted text, so a match that runs across a deletion is not found either.
std::vector<Reference<XTextRange>> deletedRanges(DocState& st) {
  std::vector<Reference<XTextRange>> out;
  Reference<css::document::XRedlinesSupplier> rs(st.model, UNO_QUERY);
  if (!rs.is()) return out;
  Reference<css::container::XEnumerationAccess> ea(rs->getRedlines(), UNO_QUERY);
  if (!ea.is()) return out;
  auto en = ea->createEnumeration();
  while (en->hasMoreElements()) {
    Reference<css::beans::XPropertySet> r(en->nextElement(), UNO_QUERY);
    if (!r.is()) continue;
    OUString type;
    r->getPropertyValue(ou("RedlineType")) >>= type;
    if (type != "Delete") continue;
    Reference<XTextRange> start, end;
    r->getPropertyValue(ou("RedlineStart")) >>= start;
    r->getPropertyValue(ou("RedlineEnd")) >>= end;
    if (!start.is() || !end.is()) continue;
    Reference<XTextCursor> c = start->getText()->createTextCursorByRange(start->getStart());
    c->gotoRange(end->getEnd(), true);
    out.push_back(asRange(c));
  }
  return out;
}

bool overlapsAny(const Reference<XTextRange>& r, const std::vector<Reference<XTextRange>>& ranges) {
  if (ranges.empty()) return false;
  Reference<text::XTextRangeCompare> cmp(r->getText(), UNO_QUERY);
  if (!cmp.is()) return false;
  for (auto& d : ranges) {
    try {
      // overlap: r starts before d ends and d starts before r ends
      if (cmp->compareRegionStarts(r, d->getEnd()) > 0 && cmp->compareRegionStarts(d, r->getEnd()) > 0) return true;
    } catch (const css::lang::IllegalArgumentException&) {
      // another text
    }
  }
  return false;
}

// Matches of the pattern in the story, in document order.
std::vector<Reference<XTextRange>> findInStory(DocState& st, const Reference<XText>& storyText, const FindPattern& pat,
                                               const FindOptions& options) {
  std::vector<Reference<XTextRange>> out;
  if (!pat.crossesParagraphs()) {
    // Writer's own search (it knows fields, frames and attribute runs), restricted to the
    // story: XSearchable::findAll searches the body, tables, headers, footers and frames
    // alike, so every hit outside the story is dropped.
    Reference<css::util::XSearchable> s(st.model, UNO_QUERY_THROW);
    auto desc = s->createSearchDescriptor();
    OUString rx = pat.regexes[0];
    if (options.matchWholeWord && !pat.segments[0].isEmpty()) {
      // Writer's SearchWords does not combine with regular expressions: word boundaries.
      if (isWordChar(pat.segments[0][0])) rx = ou("\\b") + rx;
      if (isWordChar(pat.segments[0][pat.segments[0].getLength() - 1])) rx = rx + ou("\\b");
    }
    desc->setSearchString(rx);
    Reference<css::beans::XPropertySet> dp(desc, UNO_QUERY_THROW);
    dp->setPropertyValue(ou("SearchRegularExpression"), Any(true));
    dp->setPropertyValue(ou("SearchCaseSensitive"), Any(options.matchCase));
    // Not offered by UNO: MatchByte off (full-width = half-width), sounds-like and all word
    // forms; Word wildcards are not Writer's regular expressions. Full-width and half-width
    // forms are always told apart, which is the replace operation's setting.
    auto found = s->findAll(desc);
    if (!found.is()) return out;
    auto deletions = deletedRanges(st);
    for (sal_Int32 i = 0; i < found->getCount(); ++i) {
      Reference<XTextRange> r(found->getByIndex(i), UNO_QUERY);
      if (r.is() && inStoryText(r, storyText) && !overlapsAny(r, deletions)) out.push_back(r);
    }
    return out;
  }
  // A find text with ^p: Writer's search does not match across paragraphs, so the story's
  // paragraphs are matched here. Approximation: the paragraph texts as getString() gives
  // them (a field counts as its shown text), simple case folding, and a match stays within
  // the paragraphs of one text (it does not run from a table cell into the next cell).
  std::vector<ParaInfo> paras;
  std::int64_t pos = 0;
  collectParagraphs(storyText, false, paras, pos);
  OUString needle;
  {
    OUStringBuffer b;
    for (size_t i = 0; i < pat.segments.size(); ++i) {
      if (i) b.append(static_cast<sal_Unicode>(u'\r'));
      b.append(pat.segments[i]);
    }
    needle = b.makeStringAndClear();
  }
  if (!options.matchCase) needle = foldCase(needle);
  size_t i = 0;
  while (i < paras.size()) {
    if (paras[i].rowEnd) {
      ++i;
      continue;
    }
    size_t j = i + 1;  // the run of paragraphs of one text, up to a section break
    while (j < paras.size() && paras[j].parent == paras[i].parent && !paras[j - 1].sectionEnd) ++j;
    OUStringBuffer b;
    std::vector<sal_Int32> starts;
    for (size_t k = i; k < j; ++k) {
      starts.push_back(b.getLength());
      b.append(paras[k].text);
      if (k + 1 < j) b.append(static_cast<sal_Unicode>(u'\r'));
    }
    OUString hay = b.makeStringAndClear();
    OUString cmpHay = options.matchCase ? hay : foldCase(hay);
    sal_Int32 from = 0;
    while (true) {
      sal_Int32 at = cmpHay.indexOf(needle, from);
      if (at < 0) break;
      sal_Int32 endAt = at + needle.getLength();
      bool ok = true;
      if (options.matchWholeWord) {
        if (at > 0 && isWordChar(hay[at - 1]) && isWordChar(hay[at])) ok = false;
        if (endAt < hay.getLength() && isWordChar(hay[endAt]) && isWordChar(hay[endAt - 1])) ok = false;
      }
      auto paraOf = [&](sal_Int32 off) {
        size_t k = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), off) - starts.begin()) - 1;
        return k;
      };
      size_t pa = paraOf(at);
      // ^m: the paragraph after the boundary must start a new page.
      if (ok) {
        size_t boundary = 0;
        for (sal_Int32 c = at; c < endAt && ok; ++c) {
          if (hay[c] != '\r') continue;
          if (boundary < pat.boundaries.size() && pat.boundaries[boundary] != FindPattern::Paragraph) {
            size_t next = paraOf(c + 1);
            Reference<css::beans::XPropertySet> pp(paras[i + next].range, UNO_QUERY);
            css::style::BreakType bt = css::style::BreakType_NONE;
            if (pp.is()) pp->getPropertyValue(ou("BreakType")) >>= bt;
            auto want = pat.boundaries[boundary] == FindPattern::PageBreak ? css::style::BreakType_PAGE_BEFORE
                                                                           : css::style::BreakType_COLUMN_BEFORE;
            if (bt != want) ok = false;
          }
          ++boundary;
        }
      }
      if (ok) {
        size_t pb = paraOf(endAt > at ? endAt - 1 : at);
        if (endAt > at && hay[endAt - 1] == '\r') pb = paraOf(endAt);
        const auto& A = paras[i + pa];
        const auto& B = paras[i + pb];
        Reference<XText> t(A.parent, UNO_QUERY_THROW);
        Reference<XTextCursor> c = t->createTextCursorByRange(A.range->getStart());
        c->goRight(static_cast<sal_Int16>(std::min<sal_Int32>(at - starts[pa], 32767)), false);
        Reference<XTextCursor> e = t->createTextCursorByRange(B.range->getStart());
        e->goRight(static_cast<sal_Int16>(std::min<sal_Int32>(endAt - starts[pb], 32767)), false);
        c->gotoRange(e->getStart(), true);
        out.push_back(Reference<XTextRange>(c, UNO_QUERY));
        from = endAt > at ? endAt : at + 1;
      } else {
        from = at + 1;
      }
    }
    i = j;
  }
  return out;
}

void checkFindText(const std::string& findText, const FindOptions& options) {
  if (findText.empty()) throw EngineError(ErrorCode::InvalidArgument, "查找内容不能为空", "empty find text");
  if (options.matchWildcards) throw EngineError(ErrorCode::InvalidArgument, "不支持使用通配符查找", "matchWildcards");
  if (options.matchSoundsLike) throw EngineError(ErrorCode::InvalidArgument, "不支持同音查找", "matchSoundsLike");
  if (options.matchAllWordForms)
    throw EngineError(ErrorCode::InvalidArgument, "不支持查找单词的所有形式", "matchAllWordForms");
}

Reference<css::graphic::XGraphic> loadGraphic(DocState& st, const fs::path& picture) {
  auto gp = css::graphic::GraphicProvider::create(st.office->ctx);
  Reference<css::graphic::XGraphic> g;
  try {
    g = gp->queryGraphic(props({prop("URL", Any(fileUrl(picture)))}));
  } catch (const css::lang::DisposedException&) {
    throw;
  } catch (const css::uno::RuntimeException&) {
    throw;
  } catch (const css::uno::Exception&) {
  }
  if (!g.is()) throw EngineError(ErrorCode::PictureUnreadable, "图片文件无法读取", picture.string());
  return g;
}

// The picture's own size in 1/100 mm: from its pixels and resolution as Word takes them (the
// header reader of the docx back end), else as the office reports it.
css::awt::Size graphicSize(const Reference<css::graphic::XGraphic>& g);
css::awt::Size pictureSize(const fs::path& file, const Reference<css::graphic::XGraphic>& g) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (auto info = vm::word::docx::readImageInfo(bytes)) {
    // 914400 EMU per inch, 2540 hundredths of a millimetre per inch: 360 EMU each
    return css::awt::Size(static_cast<sal_Int32>((info->widthEmu() + 180) / 360),
                          static_cast<sal_Int32>((info->heightEmu() + 180) / 360));
  }
  return graphicSize(g);
}

css::awt::Size graphicSize(const Reference<css::graphic::XGraphic>& g) {
  css::awt::Size mm{0, 0}, px{0, 0};
  Reference<css::beans::XPropertySet> gp(g, UNO_QUERY);
  if (gp.is()) {
    try {
      gp->getPropertyValue(ou("Size100thMM")) >>= mm;
      gp->getPropertyValue(ou("SizePixel")) >>= px;
    } catch (const css::beans::UnknownPropertyException&) {
    }
  }
  if (mm.Width <= 0 || mm.Height <= 0) {
    // No resolution in the file: 96 pixels per inch, as Word takes it.
    mm.Width = static_cast<sal_Int32>(px.Width * 2540.0 / 96.0 + 0.5);
    mm.Height = static_cast<sal_Int32>(px.Height * 2540.0 / 96.0 + 0.5);
  }
  return mm;
}

// --- positions -------------------------------------------------------------------------

// The main-story position of a range's start.
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

fs::path uniqueBeside(const fs::path& target, const std::string& tag) {
  std::random_device rd;
  for (int i = 0; i < 100; ++i) {
    fs::path p = target.parent_path() / (".~vm-" + tag + "-" + std::to_string(rd() % 1000000000u));
    if (!fs::exists(p)) return p;
  }
  throw EngineError(ErrorCode::WriteFailed, "无法写入文档", "no temporary name beside " + target.string());
}

void fsyncPath(const fs::path& p, bool dir) {
  int fd = ::open(p.c_str(), (dir ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

struct FormatInfo {
  const char* filter;
  const char* options;
};

FormatInfo formatFilter(SaveFormat f) {
  switch (f) {
    case SaveFormat::Docx: return {"MS Word 2007 XML", ""};
    case SaveFormat::Doc: return {"MS Word 97", ""};
    case SaveFormat::Rtf: return {"Rich Text Format", ""};
    case SaveFormat::Text: return {"Text (encoded)", "UTF8,CRLF,,,"};
    case SaveFormat::UnicodeText: return {"Text (encoded)", "UNICODE,CRLF,,,"};
    case SaveFormat::Html: return {"HTML (StarWriter)", ""};
    case SaveFormat::Pdf: return {"writer_pdf_Export", ""};
    case SaveFormat::Same: break;
  }
  return {"", ""};
}

}  // namespace

// --- the document ------------------------------------------------------------------------

class OfficeDocument;

class OfficeStory : public Story {
 public:
  OfficeStory(OfficeDocument& doc, StoryKind kind, int index) : doc_(doc), kind_(kind), index_(index) {}
  StoryKind kind() const override { return kind_; }
  int replaceAll(const std::string& findText, const std::string& replacement, const FindOptions& options) override;
  int replaceWithPicture(const std::string& findText, const fs::path& picture, const FindOptions& options) override;
  std::int64_t characterCount() override;
  std::vector<Paragraph> paragraphs() override;
  std::string text(std::int64_t start, std::int64_t end) override;

  Reference<XText> resolve(DocState& st) const {
    auto texts = storyTexts(st, kind_);
    if (index_ < 0 || static_cast<size_t>(index_) >= texts.size())
      throw EngineError(ErrorCode::InvalidArgument, "文档中没有这一部分", "story index out of range");
    return texts[static_cast<size_t>(index_)];
  }

 private:
  std::vector<ParaInfo> collect(DocState& st) const {
    std::vector<ParaInfo> paras;
    std::int64_t pos = 0;
    collectParagraphs(resolve(st), false, paras, pos);
    return paras;
  }
  OfficeDocument& doc_;
  StoryKind kind_;
  int index_;
};

class OfficeDocument : public Document, public LayoutDocument {
 public:
  OfficeDocument(std::shared_ptr<OfficeBackend::Impl> pool, Office& office, fs::path path, Step creation,
                 std::string filter)
      : pool_(std::move(pool)), office_(&office), path_(std::move(path)), filter_(std::move(filter)),
        main_(*this, StoryKind::Main, 0) {
    journal_.push_back(std::move(creation));
  }
  ~OfficeDocument() override {
    try {
      close();
    } catch (...) {
    }
  }

  // Opens (runs the creation step) with the retry rule; throws on failure (and releases).
  void start() {
    try {
      run("load", [](DocState&) { return 0; });
      if (filter_.empty()) filter_ = ownFilter();
    } catch (...) {
      closed_ = true;
      releaseOffice();
      throw;
    }
  }

  const fs::path& path() const override { return path_; }
  std::string backend() const override { return "office"; }
  Story& mainStory() override {
    checkOpen();
    return main_;
  }
  std::vector<Story*> stories(StoryKind kind) override {
    checkOpen();
    if (kind == StoryKind::Main) return {&main_};
    int n = run("stories", [&](DocState& st) { return static_cast<int>(storyTexts(st, kind).size()); });
    auto& v = others_[static_cast<int>(kind)];
    while (static_cast<int>(v.size()) < n) v.push_back(std::make_unique<OfficeStory>(*this, kind, static_cast<int>(v.size())));
    std::vector<Story*> out;
    for (int i = 0; i < n; ++i) out.push_back(v[static_cast<size_t>(i)].get());
    return out;
  }
  bool modified() const override { return modified_; }

  void save() override {
    checkOpen();
    if (readOnly_) throw EngineError(ErrorCode::InvalidArgument, "文档以只读方式打开，不能保存", path_.string());
    if (path_.empty())
      throw EngineError(ErrorCode::InvalidArgument, "新文档还没有文件名，请用另存为保存", "save() on an untitled document");
    if (!modified_) return;  // left byte for byte as it was
    storeTo(path_, filter_, "");
    modified_ = false;
    resetJournal(path_);
  }

  void saveAs(const fs::path& target, SaveFormat format) override {
    checkOpen();
    std::string filter = filter_;
    std::string options;
    if (format != SaveFormat::Same) {
      auto fi = formatFilter(format);
      filter = fi.filter;
      options = fi.options;
    } else if (filter.empty()) {
      filter = filterForExtension(target);
    }
    fs::path abs = fs::absolute(target);
    std::error_code eq;
    if (readOnly_ && !path_.empty() && fs::equivalent(abs, path_, eq))
      throw EngineError(ErrorCode::InvalidArgument, "文档以只读方式打开，不能保存", path_.string());
    storeTo(abs, filter, options);
    path_ = abs;
    filter_ = filter;
    filterOptions_ = options;
    modified_ = false;
    if (format == SaveFormat::Same || format == SaveFormat::Doc || format == SaveFormat::Docx || format == SaveFormat::Rtf)
      resetJournal(abs);
  }

  void close() override {
    if (closed_) return;
    closed_ = true;
    if (state_.model.is()) {
      try {
        std::lock_guard lock(office_->callMutex);
        if (gen_ == office_->generation && office_->pid.load() > 0) {
          DeadlineGuard guard(*office_, std::chrono::milliseconds(10000));
          state_.close();
        }
      } catch (...) {
      }
      state_.model.clear();
    }
    releaseOffice();
  }

  // --- layout ---
  Inventory inventory() override {
    Inventory inv;
    run("inventory", [&](DocState& st) {
      inv.headers = static_cast<int>(storyTexts(st, StoryKind::Header).size());
      inv.footers = static_cast<int>(storyTexts(st, StoryKind::Footer).size());
      inv.comments = 0;
      Reference<text::XTextFieldsSupplier> fs(st.model, UNO_QUERY_THROW);
      auto en = fs->getTextFields()->createEnumeration();
      while (en->hasMoreElements()) {
        Reference<css::lang::XServiceInfo> si(en->nextElement(), UNO_QUERY);
        if (si.is() && si->supportsService(ou("com.sun.star.text.textfield.Annotation"))) ++inv.comments;
      }
      // Pictures and shapes anchored anywhere (the body's draw page holds them all).
      Reference<css::drawing::XDrawPageSupplier> dp(st.model, UNO_QUERY_THROW);
      inv.pictures = dp->getDrawPage()->getCount();
      return 0;
    });
    return inv;
  }

  int pageCount() override {
    return run("pageCount", [](DocState& st) {
      auto vc = st.viewCursor();
      Reference<text::XPageCursor> pc(vc, UNO_QUERY_THROW);
      pc->jumpToLastPage();
      return static_cast<int>(pc->getPage());
    });
  }

  std::vector<PageSpan> pages() override {
    std::vector<PageSpan> out;
    run("pages", [&](DocState& st) {
      out.clear();
      std::vector<ParaInfo> paras;
      std::int64_t pos = 0;
      collectParagraphs(st.body(), false, paras, pos);
      auto vc = st.viewCursor();
      Reference<text::XPageCursor> pc(vc, UNO_QUERY_THROW);
      pc->jumpToLastPage();
      int n = pc->getPage();
      for (int i = 1; i <= n; ++i) {
        pc->jumpToPage(static_cast<sal_Int16>(i));
        pc->jumpToStartOfPage();
        PageSpan s;
        s.number = i;
        s.start = i == 1 ? 0 : positionOf(paras, vc->getStart());
        out.push_back(s);
      }
      for (size_t i = 0; i < out.size(); ++i) out[i].end = i + 1 < out.size() ? out[i + 1].start : pos;
      return 0;
    });
    return out;
  }

  std::unique_ptr<Document> copyPages(int first, int last) override;

  void insertDocument(const fs::path& other, bool atStart) override {
    checkOpen();
    if (!fs::is_regular_file(other)) throw EngineError(ErrorCode::FileNotFound, "文档不存在或无法读取", other.string());
    fs::path abs = fs::absolute(other);
    apply("insertDocument", [abs, atStart](DocState& st) {
      auto body = st.body();
      auto c = body->createTextCursor();
      if (atStart)
        c->gotoStart(false);
      else
        c->gotoEnd(false);
      Reference<css::document::XDocumentInsertable> ins(c, UNO_QUERY_THROW);
      try {
        ins->insertDocumentFromURL(fileUrl(abs), props({}));
      } catch (const css::lang::IllegalArgumentException&) {
        throw EngineError(ErrorCode::UnsupportedFormat, "不支持的文档格式", abs.string() + ": " + caughtUnoException());
      } catch (const css::io::IOException&) {
        throw EngineError(ErrorCode::DamagedPart, kDamaged, abs.string() + ": " + caughtUnoException());
      }
      return 1;
    });
  }

  void insertPageBreak() override {
    checkOpen();
    apply("insertPageBreak", [](DocState& st) {
      auto body = st.body();
      auto c = body->createTextCursor();
      c->gotoEnd(false);
      body->insertControlCharacter(asRange(c), text::ControlCharacter::PARAGRAPH_BREAK, false);
      c->gotoEnd(false);
      Reference<css::beans::XPropertySet> pp(c, UNO_QUERY_THROW);
      pp->setPropertyValue(ou("BreakType"), Any(css::style::BreakType_PAGE_BEFORE));
      return 1;
    });
  }

  // --- for the stories ---

  // Runs f as one guarded call; on office death the document is rebuilt in the restarted
  // office (journal replayed) and f tried once more; the second failure is OfficeFailed.
  template <class F>
  int run(const std::string& name, F&& f) {
    checkOpen();
    for (;;) {
      try {
        return pool_->call(*office_, name, [&]() -> int {
          if (gen_ != office_->generation || !state_.model.is()) rebuild();
          return f(state_);
        });
      } catch (const OfficeDied& e) {
        state_.model.clear();
        if (retried_) {
          failed_ = true;
          closed_ = true;
          releaseOffice();
          throw EngineError(ErrorCode::OfficeFailed, officeFailedMessage(pool_->options.programFolder),
                            path_.string() + ": " + e.what());
        }
        retried_ = true;
      } catch (const EngineError&) {
        throw;
      } catch (const css::uno::Exception&) {
        throw EngineError(ErrorCode::OfficeFailed, kOfficeError, path_.string() + ": " + name + ": " + caughtUnoException());
      }
    }
  }

  // A change: run it and record it for a replay. Returns the step's result.
  int apply(const std::string& name, Step step) {
    int r = run(name, [&](DocState& st) { return step(st); });
    journal_.push_back(std::move(step));
    if (r > 0) modified_ = true;
    return r;
  }

  const std::vector<Step>& journal() const { return journal_; }
  void setReadOnly(bool on) { readOnly_ = on; }
  void setAuthor(std::string author) { author_ = author.empty() ? defaultRevisionAuthor() : std::move(author); }
  const std::string& author() const { return author_; }
  Office& office() { return *office_; }
  std::shared_ptr<OfficeBackend::Impl> pool() { return pool_; }

 private:
  void checkOpen() const {
    if (failed_) throw EngineError(ErrorCode::OfficeFailed, "办公软件无响应或意外退出，文档处理失败", path_.string());
    if (closed_) throw EngineError(ErrorCode::InvalidArgument, "文档已关闭", path_.string());
  }

  void rebuild() {
    state_ = DocState{office_, {}};
    try {
      for (auto& step : journal_) step(state_);
    } catch (...) {
      // a half-built document is closed again
      if (state_.model.is() && office_->pid.load() > 0) {
        try {
          state_.close();
        } catch (...) {
        }
      }
      state_.model.clear();
      throw;
    }
    gen_ = office_->generation;
  }

  void resetJournal(const fs::path& p) {
    journal_.clear();
    journal_.push_back(loadStep(p, false));
  }

  void releaseOffice() {
    if (office_ && !released_) {
      released_ = true;
      pool_->release(*office_);
    }
  }

  std::string ownFilter() {
    return static_cast<std::string>(runString("filter", [this](DocState& st) {
      Reference<css::frame::XModel> m(st.model, UNO_QUERY_THROW);
      std::string name;
      for (const auto& a : m->getArgs())
        if (a.Name == "FilterName") {
          OUString s;
          a.Value >>= s;
          name = utf8(s);
        }
      if (name.empty()) return filterForExtension(path_);
      // Import-only filters (Word 6/95, WordPerfect, ...) cannot write: save as their
      // writable counterpart (Word 97 for the old Word formats), as Word saves an old file
      // in its current format.
      Reference<css::container::XNameAccess> filters(
          st.office->ctx->getServiceManager()->createInstanceWithContext(ou("com.sun.star.document.FilterFactory"),
                                                                         st.office->ctx),
          UNO_QUERY);
      if (filters.is() && filters->hasByName(ou(name))) {
        Sequence<css::beans::PropertyValue> fp;
        filters->getByName(ou(name)) >>= fp;
        sal_Int32 flags = 0;
        for (const auto& p : fp)
          if (p.Name == "Flags") p.Value >>= flags;
        if (!(flags & 0x2)) return filterForExtension(path_);
      }
      return name;
    }));
  }

  template <class F>
  std::string runString(const std::string& name, F&& f) {
    std::string out;
    run(name, [&](DocState& st) {
      out = f(st);
      return 0;
    });
    return out;
  }

  static std::string filterForExtension(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".doc" || ext == ".dot" || ext == ".wps") return "MS Word 97";
    if (ext == ".docx" || ext == ".docm" || ext == ".dotx") return "MS Word 2007 XML";
    if (ext == ".rtf") return "Rich Text Format";
    if (ext == ".txt") return "Text (encoded)";
    if (ext == ".html" || ext == ".htm") return "HTML (StarWriter)";
    if (ext == ".pdf") return "writer_pdf_Export";
    return "writer8";
  }

  // Written into a fresh folder beside the target (with any side files, e.g. the pictures
  // of an HTML page), flushed, then renamed over the target: a failure leaves the target as
  // it was.
  void storeTo(const fs::path& target, const std::string& filter, const std::string& options) {
    std::error_code ec;
    if (fs::is_directory(target, ec)) throw EngineError(ErrorCode::WriteFailed, "无法写入文档", target.string() + " is a folder");
    fs::path dir = uniqueBeside(target, target.filename().string());
    if (!fs::create_directory(dir, ec))
      throw EngineError(ErrorCode::WriteFailed, "无法写入文档", "cannot create " + dir.string() + ": " + ec.message());
    struct Cleanup {
      fs::path d;
      ~Cleanup() {
        std::error_code e;
        fs::remove_all(d, e);
      }
    } cleanup{dir};
    fs::path tmp = dir / target.filename();
    try {
      run("store", [&](DocState& st) {
        for (auto& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
        Reference<css::frame::XStorable> s(st.model, UNO_QUERY_THROW);
        std::vector<css::beans::PropertyValue> args = {prop("FilterName", Any(ou(filter))), prop("Overwrite", Any(true))};
        if (!options.empty()) args.push_back(prop("FilterOptions", Any(ou(options))));
        Sequence<css::beans::PropertyValue> seq(static_cast<sal_Int32>(args.size()));
        for (size_t i = 0; i < args.size(); ++i) seq.getArray()[i] = args[i];
        try {
          s->storeToURL(fileUrl(tmp), seq);
        } catch (const css::io::IOException&) {
          throw EngineError(ErrorCode::WriteFailed, "保存文档失败", target.string() + ": " + caughtUnoException());
        } catch (const css::lang::IllegalArgumentException&) {
          throw EngineError(ErrorCode::WriteFailed, "保存文档失败", target.string() + ": " + caughtUnoException());
        }
        return 0;
      });
    } catch (const EngineError& e) {
      // The office refused the store (not died): a write failure.
      if (e.code() == ErrorCode::OfficeFailed && e.userMessage() == kOfficeError)
        throw EngineError(ErrorCode::WriteFailed, "保存文档失败", e.detail());
      throw;
    }
    if (!fs::is_regular_file(tmp, ec))
      throw EngineError(ErrorCode::WriteFailed, "保存文档失败", target.string() + ": the office wrote nothing");
    // side files first, the document last
    for (auto& e : fs::directory_iterator(dir, ec)) {
      if (e.path() == tmp) continue;
      fs::path to = target.parent_path() / e.path().filename();
      fs::remove_all(to, ec);
      fs::rename(e.path(), to, ec);
    }
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) ::chmod(tmp.c_str(), old.st_mode & 07777);  // keep its permissions
    fsyncPath(tmp, false);
    fs::rename(tmp, target, ec);
    if (ec) throw EngineError(ErrorCode::WriteFailed, "保存文档失败", target.string() + ": " + ec.message());
    fsyncPath(target.parent_path().empty() ? fs::path(".") : target.parent_path(), true);
  }

  friend class OfficeStory;
  std::shared_ptr<OfficeBackend::Impl> pool_;
  Office* office_;
  fs::path path_;
  std::string filter_;
  std::string filterOptions_;
  OfficeStory main_;
  std::map<int, std::vector<std::unique_ptr<OfficeStory>>> others_;
  std::vector<Step> journal_;
  DocState state_;
  std::uint64_t gen_ = 0;
  bool readOnly_ = false;
  std::string author_ = defaultRevisionAuthor();
  bool retried_ = false, failed_ = false, closed_ = false, released_ = false, modified_ = false;
};

// --- stories ---------------------------------------------------------------------------

int OfficeStory::replaceAll(const std::string& findText, const std::string& replacement, const FindOptions& options) {
  checkFindText(findText, options);
  FindPattern pat = parseFind(ou(findText));
  auto pieces = parseReplacement(ou(replacement));
  StoryKind kind = kind_;
  int index = index_;
  return doc_.apply("replace", [pat, pieces, options, kind, index, this](DocState& st) {
    OfficeStory s(doc_, kind, index);
    Reference<XText> t = s.resolve(st);
    auto matches = findInStory(st, t, pat, options);
    if (!matches.empty()) signTrackedChanges(st, doc_.author());
    // Last to first, so that a replacement never moves a match still to come.
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) replaceRange(*it, pieces, options.matchCase);
    return static_cast<int>(matches.size());
  });
}

int OfficeStory::replaceWithPicture(const std::string& findText, const fs::path& picture, const FindOptions& options) {
  checkFindText(findText, options);
  fs::path pic = fs::absolute(picture);
  FindPattern pat = parseFind(ou(findText));
  StoryKind kind = kind_;
  int index = index_;
  return doc_.apply("picture", [pat, pic, options, kind, index, this](DocState& st) {
    OfficeStory s(doc_, kind, index);
    Reference<XText> t = s.resolve(st);
    auto matches = findInStory(st, t, pat, options);
    if (matches.empty()) return 0;  // the picture is not even read, as Word passes the rule over
    signTrackedChanges(st, doc_.author());
    bool tracked = recordsChanges(st);
    // The picture is read before anything changes: an unreadable one leaves the document as it was.
    std::error_code ec;
    if (!fs::is_regular_file(pic, ec)) throw EngineError(ErrorCode::PictureUnreadable, "图片文件无法读取", pic.string());
    auto graphic = loadGraphic(st, pic);
    auto size = pictureSize(pic, graphic);
    Reference<css::lang::XMultiServiceFactory> f(st.model, UNO_QUERY_THROW);
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
      Reference<css::beans::XPropertySet> obj(f->createInstance(ou("com.sun.star.text.TextGraphicObject")), UNO_QUERY_THROW);
      obj->setPropertyValue(ou("Graphic"), Any(graphic));
      obj->setPropertyValue(ou("AnchorType"), Any(text::TextContentAnchorType_AS_CHARACTER));
      if (size.Width > 0 && size.Height > 0) {
        obj->setPropertyValue(ou("Width"), Any(size.Width));
        obj->setPropertyValue(ou("Height"), Any(size.Height));
      }
      Reference<text::XTextContent> content(obj, UNO_QUERY_THROW);
      // As with text: in after the first character (its formatting), then the match goes.
      Reference<XTextRange> r = *it;
      Reference<XText> rt = r->getText();
      Reference<XTextCursor> startMark = rt->createTextCursorByRange(r->getStart());
      Reference<XTextCursor> endMark = rt->createTextCursorByRange(r->getEnd());
      Reference<XTextCursor> at = rt->createTextCursorByRange(r->getStart());
      at->goRight(1, false);
      rt->insertTextContent(asRange(at), content, false);
      // Writer does not record an inserted object: its anchor character is marked inserted.
      if (tracked) {
        Reference<XTextCursor> anchor = rt->createTextCursorByRange(content->getAnchor()->getStart());
        anchor->goRight(1, true);
        Reference<text::XRedline>(anchor, UNO_QUERY_THROW)
            ->makeRedline(ou("Insert"), props({prop("RedlineAuthor", Any(ou(doc_.author()))),
                                               prop("RedlineDateTime", Any(localNow()))}));
      }
      Reference<XTextCursor> rest = rt->createTextCursorByRange(startMark->getStart());
      rest->goRight(2, false);
      rest->gotoRange(endMark->getStart(), true);
      rest->setString(OUString());
      startMark->goRight(1, true);
      startMark->setString(OUString());
    }
    return static_cast<int>(matches.size());
  });
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

// --- copying pages -----------------------------------------------------------------------

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

// Gives the target the source's page style of that name, with its plain properties (page
// size, orientation, margins, ...); the text of its headers and footers is not copied.
void copyPageStyle(DocState& src, DocState& dst, const OUString& name) {
  auto family = [](DocState& d) {
    Reference<css::style::XStyleFamiliesSupplier> fam(d.model, UNO_QUERY_THROW);
    return Reference<css::container::XNameContainer>(fam->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
  };
  Reference<css::beans::XPropertySet> from(family(src)->getByName(name), UNO_QUERY_THROW);
  Reference<css::lang::XMultiServiceFactory> f(dst.model, UNO_QUERY_THROW);
  Reference<css::beans::XPropertySet> to(f->createInstance(ou("com.sun.star.style.PageStyle")), UNO_QUERY_THROW);
  family(dst)->insertByName(name, Any(to));
  for (const auto& p : from->getPropertySetInfo()->getProperties()) {
    if (p.Attributes & css::beans::PropertyAttribute::READONLY) continue;
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
    throw EngineError(ErrorCode::InvalidArgument, "页码超出文档范围", std::to_string(first) + "-" + std::to_string(last));
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
  const char* kTableEdge = "页的边界在文档开头或结尾的表格中，无法复制这些页";
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
      throw EngineError(ErrorCode::InvalidArgument, kTableEdge, std::to_string(first) + "-" + std::to_string(last));
    throw;
  }
  if (from < 0 || to < 0)
    throw EngineError(ErrorCode::InvalidArgument, "页的边界在嵌套表格中，无法复制这些页",
                      std::to_string(first) + "-" + std::to_string(last));
  // A page edge inside a table: the view cursor selects from the body into a cell only
  // within one table, so the copy takes the whole table, from the end of the paragraph
  // before it to the start of the paragraph after it.
  auto paragraphNear = [&](int i, int step) {
    while (i >= 0 && i < static_cast<int>(srcElements.size()) && isTable(srcElements[static_cast<size_t>(i)])) i += step;
    return i >= 0 && i < static_cast<int>(srcElements.size()) ? i : -1;
  };
  if (isTable(srcElements[static_cast<size_t>(from)])) {
    int before = paragraphNear(from, -1);
    if (before < 0) throw EngineError(ErrorCode::InvalidArgument, kTableEdge, std::to_string(first) + "-" + std::to_string(last));
    start = Reference<XTextRange>(srcElements[static_cast<size_t>(before)], UNO_QUERY_THROW)->getEnd();
    from = before;
  }
  if (isTable(srcElements[static_cast<size_t>(to)])) {
    int after = paragraphNear(to, 1);
    if (after < 0) throw EngineError(ErrorCode::InvalidArgument, kTableEdge, std::to_string(first) + "-" + std::to_string(last));
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
  Reference<css::style::XStyleFamiliesSupplier> fam(dst.model, UNO_QUERY_THROW);
  Reference<css::container::XNameAccess> pageStyles(fam->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
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
    if (!desc.isEmpty() && !pageStyles->hasByName(desc)) copyPageStyle(src, dst, desc);
    if (stringProperty(dstElements[i], "PageDescName") != desc && !(i == 0 && desc.isEmpty())) {
      try {
        ps->setPropertyValue(ou("PageDescName"), Any(desc));
      } catch (const css::lang::IllegalArgumentException&) {
        // (a page style Writer does not take here: the pasted one stays)
      }
    }
    if (breakOf(dstElements[i]) != bt) ps->setPropertyValue(ou("BreakType"), Any(bt));
  }
}

}  // namespace

std::unique_ptr<Document> OfficeDocument::copyPages(int first, int last) {
  checkOpen();
  std::vector<Step> source = journal_;
  Step creation = [source, first, last](DocState& st) {
    // The source as it stands, built aside in the same office, copied from, then closed.
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

// --- the back end's open/create ----------------------------------------------------------

namespace {

// LibreOffice opens nearly anything (a text file named .docx comes in as text, a zip with bad
// checksums as what it can read of it) and would then save it in place: a .docx that is not a
// sound package is refused here first, as the docx back end refuses it.
void checkPackage(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != ".docx" && ext != ".docm" && ext != ".dotx" && ext != ".dotm") return;
  std::ifstream in(path, std::ios::binary);
  char head[8] = {};
  in.read(head, 8);
  if (in.gcount() >= 8 && std::memcmp(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) {
    if (isEncryptedOleDocument(path))
      throw EngineError(ErrorCode::Encrypted, "文档已加密（有打开密码），无法打开", path.string());
    return;  // a Word 97 file under a .docx name: the office reads it by its content
  }
  if (in.gcount() < 4 || std::memcmp(head, "PK\x03\x04", 4) != 0)
    throw EngineError(ErrorCode::NotAZip, "文档不是有效的Word文档（docx）", path.string() + ": not a zip package");
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
  if (!z) throw EngineError(ErrorCode::NotAZip, "文档不是有效的Word文档（docx）", path.string() + ": damaged zip package");
  std::string bad;
  zip_int64_t n = zip_get_num_entries(z, 0);
  std::vector<char> buf(65536);
  for (zip_int64_t i = 0; i < n && bad.empty(); ++i) {
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    if (!f) {
      bad = zip_get_name(z, static_cast<zip_uint64_t>(i), 0) ? zip_get_name(z, static_cast<zip_uint64_t>(i), 0) : "?";
      break;
    }
    zip_int64_t r;
    while ((r = zip_fread(f, buf.data(), buf.size())) > 0) {
    }
    if (r < 0) bad = zip_get_name(z, static_cast<zip_uint64_t>(i), 0);
    zip_fclose(f);
  }
  zip_discard(z);
  if (!bad.empty()) throw EngineError(ErrorCode::DamagedPart, kDamaged, path.string() + ": damaged part " + bad);
}

}  // namespace

std::unique_ptr<Document> OfficeBackend::open(const fs::path& path, const OpenOptions& options) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || ::access(path.c_str(), R_OK) != 0)
    throw EngineError(ErrorCode::FileNotFound, "文档不存在或无法读取", path.string());
  checkPackage(path);
  if (!available()) throw EngineError(ErrorCode::OfficeUnavailable, "没有安装办公软件（LibreOffice）", impl_->options.programFolder.string());
  fs::path abs = fs::absolute(path);
  Office& office = impl_->acquire();
  auto doc = std::make_unique<OfficeDocument>(impl_, office, abs, loadStep(abs, options.readOnly), "");
  doc->setReadOnly(options.readOnly);
  doc->setAuthor(options.revisionAuthor);
  doc->start();
  return doc;
}

std::unique_ptr<Document> OfficeBackend::create() {
  if (!available()) throw EngineError(ErrorCode::OfficeUnavailable, "没有安装办公软件（LibreOffice）", impl_->options.programFolder.string());
  Office& office = impl_->acquire();
  auto doc = std::make_unique<OfficeDocument>(impl_, office, fs::path(), createStep(), "writer8");
  doc->start();
  return doc;
}

}  // namespace vm::word::office
