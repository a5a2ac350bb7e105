#pragma once
// Private to the office back end: an open document over UNO and what its sources share (the
// document state, the change log's steps, the story model, find and replace). The sources by
// concern: journal.cpp (loading, the change log and its replay), stories.cpp, replace.cpp,
// pictures.cpp, save.cpp, copypages.cpp, document.cpp (layout and the back end's open/create).
//
// Every change is a step recorded in the document's journal: when the office dies under a
// call, the document is loaded again in the restarted office, the journal is replayed and the
// call is tried once more (see office.h). Where UNO cannot give Word's effect exactly, the
// comment at the place says so.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/DateTime.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "word/office/internal.h"
#include "word/office/inventory.h"
#include "word/office/wordfind.h"
#include "word/metadata.h"
#include "word/scripttext.h"
#include "word/safesave.h"

namespace vm::word::office {

namespace fs = std::filesystem;
namespace text = css::text;
using text::XText;
using text::XTextCursor;
using text::XTextRange;

// The SDK has no up-cast constructor for Reference: a cursor is a range.
inline Reference<XTextRange> asRange(const Reference<XTextCursor>& c) { return Reference<XTextRange>(c.get()); }

// --- document state and steps ----------------------------------------------------------

struct DocState {
  Office* office = nullptr;
  Reference<css::lang::XComponent> model;
  // Set while a step that may find nothing to do runs: it calls changing() right before its
  // first change.
  std::function<void()> onChange;
  void changing() {
    if (onChange) onChange();
  }

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

// An office that died twice under one document.
EngineError officeFailed(const fs::path& programFolder, const std::string& detail);

// The office refused a call (an exception, not its death): OfficeFailed, which a store turns
// into a write failure.
struct OfficeRefused : EngineError {
  using EngineError::EngineError;
};

// --- loading (journal.cpp) ---------------------------------------------------------------

// Documents are loaded with a hidden view. Measured: a model loaded alone (XLoadable, no
// view, no layout) is not searchable: XSearchable::findAll finds nothing in it.
Reference<css::lang::XComponent> loadModel(DocState& st, const OUString& url, bool readOnly, bool hidden,
                                           const std::string& what);
Step loadStep(fs::path path, bool readOnly);
Step createStep();

// --- the story model (stories.cpp) ------------------------------------------------------

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

Reference<css::uno::XInterface> norm(const Reference<css::uno::XInterface>& x);

// The paragraphs of a text in order, with Word's positions (see stories.cpp).
void collectParagraphs(const Reference<XText>& textObj, bool inTable, std::vector<ParaInfo>& out, std::int64_t& pos,
                       bool topLevel = true);

// The XText objects that make up a story kind, in document order.
std::vector<Reference<XText>> storyTexts(DocState& st, StoryKind kind);

// A header or footer text with the page style it belongs to and which of its headers it is.
struct StoryRef {
  Reference<XText> text;
  OUString style;
  std::string property;  // "HeaderText", "HeaderTextFirst", "HeaderTextLeft", the same for footers
  HeaderFooterKind which = HeaderFooterKind::Default;
};
// The header (footer) texts of the page styles in use, in the order of storyTexts.
std::vector<StoryRef> storyRefs(DocState& st, StoryKind kind);

// The main-story position of a range's start.
std::int64_t positionOf(const std::vector<ParaInfo>& paras, const Reference<XTextRange>& r);

// --- pictures (pictures.cpp) --------------------------------------------------------------

struct LoadedPicture {
  Reference<css::graphic::XGraphic> graphic;
  css::awt::Size size;  // its own size in 1/100 mm, as Word takes it (0: as the office draws it)
};
// Reads a picture file (PictureUnreadable when it cannot be read) before anything changes.
LoadedPicture loadPicture(DocState& st, const fs::path& picture);
// A new graphic object of the picture at its own size; its anchor is the caller's.
Reference<css::beans::XPropertySet> newGraphicObject(DocState& st, const LoadedPicture& picture);

// --- find and replace (replace.cpp) -----------------------------------------------------

// Matches of the pattern in the story, in document order.
std::vector<Reference<XTextRange>> findInStory(DocState& st, const Reference<XText>& storyText, const FindPattern& pat,
                                               const FindOptions& options);

// Whether the document records changes (Track Changes on), and the revision author set as the
// office user's name before a change is made.
bool recordsChanges(DocState& st);
void signTrackedChanges(DocState& st, const std::string& author);
css::util::DateTime localNow();

// --- the document ------------------------------------------------------------------------

class OfficeDocument;

class OfficeStory : public Story {
 public:
  OfficeStory(OfficeDocument& doc, StoryKind kind, int index) : doc_(doc), kind_(kind), index_(index) {}
  // A header or footer by its page style and property ("HeaderTextFirst"): it stays the same
  // story when other headers are switched on.
  OfficeStory(OfficeDocument& doc, StoryKind kind, OUString style, std::string property)
      : doc_(doc), kind_(kind), index_(-1), style_(std::move(style)), property_(std::move(property)) {}
  bool is(const OUString& style, const std::string& property) const { return style_ == style && property_ == property; }
  StoryKind kind() const override { return kind_; }
  int replaceAll(const std::string& findText, const std::string& replacement, const FindOptions& options) override;
  int replaceWithPicture(const std::string& findText, const fs::path& picture, const FindOptions& options) override;
  std::int64_t characterCount() override;
  std::vector<Paragraph> paragraphs() override;
  std::string text(std::int64_t start, std::int64_t end) override;
  StoryId id() const override;  // headerfooter.cpp

  // --- headers and footers (headerfooter.cpp), watermarks (watermark.cpp), clean-up (cleanup.cpp) ---
  void clear() override;
  void insertTextAtStart(const std::string& text) override;
  void insertPictureAtStart(const fs::path& picture) override;
  void removeFirstParagraphBorder() override;
  void addWatermark(const Watermark& watermark) override;
  int removeHyperlinks() override;
  int removeBlankParagraphs() override;

  Reference<XText> resolve(DocState& st) const;

 private:
  std::vector<ParaInfo> collect(DocState& st) const;
  OfficeDocument& doc_;
  StoryKind kind_;
  int index_;
  OUString style_;
  std::string property_;
};

class OfficeDocument : public Document, public LayoutDocument, public MetadataDocument, public ScriptTextDocument {
 public:
  OfficeDocument(std::shared_ptr<OfficeBackend::Impl> pool, Office& office, fs::path path, Step creation,
                 std::string filter);
  ~OfficeDocument() override;

  // Opens (runs the creation step) with the retry rule; throws on failure (and releases).
  void start();

  const fs::path& path() const override { return path_; }
  std::string backend() const override { return "office"; }
  Story& mainStory() override;
  std::vector<Story*> stories(StoryKind kind) override;
  bool modified() const override { return modified_; }

  // --- headers, footers, comments (headerfooter.cpp, watermark.cpp, cleanup.cpp) ---
  Story& ensureStory(StoryKind kind) override;
  // The header or footer story of a page style's property (one object per story).
  OfficeStory& storyFor(StoryKind kind, const OUString& style, const std::string& property);
  Story* currentPageStory(StoryKind kind) override;
  int deleteComments() override;
  void removeHeaderStyleBorder() override;

  void save() override;
  void saveAs(const fs::path& target, SaveFormat format) override;
  void saveAs(const fs::path& target, const SaveOptions& options) override;

  // --- metadata and script text (metadata.cpp) ---
  SummaryProperties properties() override;
  void setProperties(const SummaryProperties& properties) override;
  bool hasWritePassword() override;
  bool writePasswordMatches(const std::string& password) override;
  int convertText(const TextConverter& convert) override;
  void close() override;

  // --- layout ---
  Inventory inventory() override;
  int pageCount() override;
  std::vector<PageSpan> pages() override;
  std::unique_ptr<Document> copyPages(int first, int last) override;
  void insertDocument(const fs::path& other, bool atStart) override;
  void insertPageBreak() override;
  void insertDocumentAtPoint(const fs::path& other) override;  // insertpoint.cpp
  void insertPageBreakAtPoint() override;
  int pageAtPoint() override;
  void setPageSetup(const PageSetup& setup) override;  // pagesetup.cpp
  void exportPdf(const fs::path& target) override;

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
          throw officeFailed(pool_->options.programFolder, path_.string() + ": " + e.what());
        }
        retried_ = true;
      } catch (const EngineError&) {
        throw;
      } catch (const css::uno::Exception&) {
        throw OfficeRefused(ErrorCode::OfficeFailed, path_.string() + ": " + name + ": " + caughtUnoException());
      }
    }
  }

  // A change: run it and record it for a replay. Returns the step's result.
  // The effect says what the change may alter: the next save's round-trip guard (roundtrip.h)
  // allows that and refuses to lose anything else. The guard needs the original's inventory,
  // taken before the first change: before the step, or (AtChange) when the step calls
  // DocState::changing(), so that a step that changes nothing costs no inventory.
  enum class TakeOriginal { BeforeStep, AtChange };
  int apply(const std::string& name, Step step, const Effect& effect = {},
            TakeOriginal when = TakeOriginal::BeforeStep);

  const std::vector<Step>& journal() const { return journal_; }
  void setReadOnly(bool on) { readOnly_ = on; }
  // Held from before the load until close: no other run saves the file meanwhile.
  void setLock(std::unique_ptr<DocumentLock> lock) { lock_ = std::move(lock); }
  void setAuthor(std::string author) { author_ = author.empty() ? defaultRevisionAuthor() : std::move(author); }
  const std::string& author() const { return author_; }
  Office& office() { return *office_; }
  std::shared_ptr<OfficeBackend::Impl> pool() { return pool_; }

 private:
  void checkOpen() const;
  void rebuild();
  void resetJournal(const fs::path& p);
  void releaseOffice();
  std::string ownFilter();

  template <class F>
  std::string runString(const std::string& name, F&& f) {
    std::string out;
    run(name, [&](DocState& st) {
      out = f(st);
      return 0;
    });
    return out;
  }

  static std::string filterForExtension(const fs::path& p);

  // Written into a fresh folder beside the target, flushed, then renamed over it (save.cpp).
  void storeTo(const fs::path& target, const std::string& filter, const std::string& options);

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
  std::unique_ptr<DocumentLock> lock_;
  std::string author_ = defaultRevisionAuthor();
  bool retried_ = false, failed_ = false, closed_ = false, released_ = false, modified_ = false;
  // The round-trip guard: the original's inventory, taken before the first change, and what
  // the changes since the last save meant to alter.
  std::optional<DocumentInventory> original_;
  Effect effect_;
  // More store arguments for the next store (the write password's ModifyPasswordInfo).
  Sequence<css::beans::PropertyValue> storeExtras_;
  // The write password to put into the next store's file when it is a Word 97-2003 file.
  std::optional<std::string> docWritePassword_;
  // Word's insertion point: the blocks behind it (0: the end), and whether a page break waits
  // on the first of them (insertpoint.cpp).
  int pointTail();
  std::optional<int> pointTail_;
  bool pointBreakPending_ = false;
};

}  // namespace vm::word::office
