// Find and replace over UNO: Writer's search restricted to a story, the matcher for texts
// that cross paragraphs, and the replacement that keeps the match's formatting.

#include <algorithm>
#include <ctime>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

// Replaces a match so that the replacement takes the formatting of the match's first
// character, as Word does: the new text is inserted right after that character (Writer's
// inserted text takes the attributes that end at the insertion point, not those that start
// there), then the old text goes.
void replaceRange(const Reference<XTextRange>& range, const std::vector<ReplacePiece>& pieces, bool matchCase,
                  bool tracked) {
  Reference<XText> t = range->getText();
  OUString found = range->getString();
  CaseForm form = matchCase ? CaseForm::AsTyped : caseFormOf(found);
  bool nothing = std::all_of(pieces.begin(), pieces.end(), [](const ReplacePiece& p) {
    return p.kind == ReplacePiece::Text && p.text.isEmpty();
  });
  if (nothing) {  // deleted in one go (no formatting to carry)
    Reference<XTextCursor> c = t->createTextCursorByRange(range);
    c->setString(OUString());
    return;
  }
  bool plain = std::all_of(pieces.begin(), pieces.end(), [](const ReplacePiece& p) {
    return p.kind == ReplacePiece::Text || p.kind == ReplacePiece::Found;
  });
  if (plain && !tracked) {
    // Text only, no revisions to order: one insertion right after the first character, where
    // the cursor is left after the new text, then the old text after it and the first
    // character go. Half the calls of the general way below, and each call crosses the pipe.
    OUStringBuffer text;
    for (size_t n = 0; n < pieces.size(); ++n)
      text.append(pieces[n].kind == ReplacePiece::Text ? applyCaseForm(pieces[n].text, form, n == 0) : found);
    Reference<XTextCursor> startMark = t->createTextCursorByRange(range->getStart());
    Reference<XTextCursor> endMark = t->createTextCursorByRange(range->getEnd());
    Reference<XTextCursor> at = t->createTextCursorByRange(asRange(startMark));
    if (!at->goRight(1, false)) return;
    t->insertString(asRange(at), text.makeStringAndClear(), false);
    at->gotoRange(asRange(endMark), true);
    at->setString(OUString());
    startMark->goRight(1, true);
    startMark->setString(OUString());
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
  for (size_t n = 0; n < pieces.size(); ++n) {
    const ReplacePiece& piece = pieces[n];
    switch (piece.kind) {
      case ReplacePiece::Text:
      case ReplacePiece::Found: {
        OUString s = piece.kind == ReplacePiece::Text ? applyCaseForm(piece.text, form, n == 0) : found;
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

// The story's tracked deletions, to drop matches that touch one. Each test is a few calls over
// the pipe: a document with a hundred deletions and a hundred matches took seconds with a test of
// every pair, so deletions in document order are searched by halves.
class Deletions {
 public:
  Deletions(DocState& st, const Reference<XText>& story) {
    for (auto& d : deletedRanges(st))
      if (inStoryText(d, story)) spans_.push_back({d->getStart(), d->getEnd()});
    if (spans_.empty()) return;
    cmp_.set(story, UNO_QUERY_THROW);
    for (size_t i = 1; i < spans_.size() && ordered_; ++i) ordered_ = !before(spans_[i].start, spans_[i - 1].end);
  }

  // r itself is compared (its start by compareRegionStarts, its end by compareRegionEnds against
  // a collapsed range): no call for r's start and end.
  bool overlap(const Reference<XTextRange>& r) const {
    if (spans_.empty()) return false;
    auto matchStartsBeforeEnd = [&](const Span& d) { return cmp_->compareRegionStarts(r, d.end) > 0; };
    auto startsBeforeMatchEnds = [&](const Span& d) { return cmp_->compareRegionEnds(d.start, r) > 0; };
    try {
      if (!ordered_) {
        for (const Span& d : spans_)
          if (matchStartsBeforeEnd(d) && startsBeforeMatchEnds(d)) return true;
        return false;
      }
      // The last deletion that starts before the match ends is the one that ends last.
      size_t lo = 0, hi = spans_.size();
      while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (startsBeforeMatchEnds(spans_[mid])) lo = mid + 1; else hi = mid;
      }
      return lo > 0 && matchStartsBeforeEnd(spans_[lo - 1]);
    } catch (const css::lang::IllegalArgumentException&) {
      return false;  // another text
    }
  }

 private:
  struct Span { Reference<XTextRange> start, end; };
  bool before(const Reference<XTextRange>& a, const Reference<XTextRange>& b) const {
    return cmp_->compareRegionStarts(a, b) > 0;
  }
  std::vector<Span> spans_;
  Reference<text::XTextRangeCompare> cmp_;
  bool ordered_ = true;
};

}  // namespace

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
    const sal_Int32 count = found.is() ? found->getCount() : 0;
    if (count == 0) return out;  // no need to read the tracked deletions
    Deletions deletions(st, storyText);
    for (sal_Int32 i = 0; i < count; ++i) {
      Reference<XTextRange> r(found->getByIndex(i), UNO_QUERY);
      if (r.is() && inStoryText(r, storyText) && !deletions.overlap(r)) out.push_back(r);
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

int OfficeStory::replaceAll(const std::string& findText, const std::string& replacement, const FindOptions& options) {
  FindPattern pat = parseFind(findText, options);
  auto pieces = parseReplacement(replacement);
  StoryKind kind = kind_;
  return doc_.apply("replace", [pat, pieces, options, this](DocState& st) {
    Reference<XText> t = resolve(st);
    auto matches = findInStory(st, t, pat, options);
    if (matches.empty()) return 0;
    st.changing();
    bool tracked = recordsChanges(st);
    if (tracked) signTrackedChanges(st, doc_.author());
    // The layout waits until every match is replaced, instead of following each call.
    Reference<css::frame::XModel> model(st.model, UNO_QUERY_THROW);
    model->lockControllers();
    struct Unlock {
      Reference<css::frame::XModel> m;
      ~Unlock() {
        try {
          m->unlockControllers();
        } catch (...) {
        }
      }
    } unlock{model};
    // Last to first, so that a replacement never moves a match still to come.
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) replaceRange(*it, pieces, options.matchCase, tracked);
    return static_cast<int>(matches.size());
  }, Effect{.text = {kind}}, OfficeDocument::TakeOriginal::AtChange);
}

}  // namespace vm::word::office
