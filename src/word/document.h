#pragma once
// The document engine: what the operations may do to one Word document.
//
// A document is opened, worked on through its stories, saved (in place or under another
// path) and closed, one at a time, as one Word instance per document did. Every text in
// and out is UTF-8. Character positions count as Word's Range.Start/End do: UTF-16 code
// units of the story text in which every paragraph mark, tab, break and inline object
// counts as one character.
//
// The interface is organised by stories (main text, headers, footers, comments, ...) so that
// later operations add story kinds and story operations rather than one-off calls.
// Implementations: docx/ (native OOXML) and office/ (LibreOffice through UNO).
//
// Thread safety: different Document objects may be used from different threads at once;
// one Document is used by one thread at a time.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "word/error.h"
#include "word/features.h"

namespace vm::word {

// Word's Find settings. The defaults are those of the replace operation: case-insensitive,
// not whole words, full-width and half-width distinguished, no wildcards.
struct FindOptions {
  bool matchCase = false;
  bool matchWholeWord = false;
  bool matchByte = true;       // full-width and half-width forms are different characters
  bool matchWildcards = false;
  bool matchSoundsLike = false;
  bool matchAllWordForms = false;
};

enum class StoryKind {
  Main,        // the body with its tables
  Header,
  Footer,
  Comments,
  Footnotes,
  Endnotes,
  TextFrames,  // text boxes and shapes with text
};

// Which of a section's headers (or footers) a story is.
enum class HeaderFooterKind {
  Default,    // every page without its own (odd pages when even pages have their own)
  FirstPage,  // the section's first page, when the section has a title page
  EvenPages,  // even pages, when the document has different odd and even pages
};

// A story's identity: its kind and, for headers and footers, the section (0-based, the first
// section that uses it) and which of the section's headers or footers it is.
struct StoryId {
  StoryKind kind = StoryKind::Main;
  int section = 0;
  HeaderFooterKind which = HeaderFooterKind::Default;
  bool operator==(const StoryId&) const = default;
};

// A watermark as Word's header shapes make it. Text: WordArt in the font at its size, filled
// with the colour, the shape scaled (aspect kept) to the height and then to the width, floating
// in front of the text relative to the margins, centred on each axis asked for (else at the
// margins' corner). Picture: a floating picture at its own size; the other fields do not apply.
struct Watermark {
  std::string text;                  // empty: a picture watermark
  std::filesystem::path picture;
  std::string font = "宋体";
  double fontSize = 36;
  std::uint32_t colour = 0;          // red in the lowest byte, green, blue
  double transparency = 0;           // 0 opaque .. 1 invisible
  double heightPt = 0, widthPt = 0;  // 0: the WordArt's own size
  bool centreHorizontally = true;
  bool centreVertically = true;
  bool formatted = true;             // false: only the WordArt as added, none of the above
};

// One item of Word's Paragraphs collection. In a table, as in Word, each row's end-of-row mark
// is an item of its own (rowEnd, empty text, one character long), and the last paragraph of a
// cell ends with the end-of-cell mark (cellEnd; Range.Text ends with "\r\a" there).
struct Paragraph {
  std::string text;      // without its paragraph mark
  std::int64_t start;    // position of its first character
  std::int64_t end;      // position just after its paragraph mark
  bool inTable = false;  // a paragraph of a table cell
  bool cellEnd = false;  // the last paragraph of a table cell
  bool rowEnd = false;   // a table row's end-of-row mark, not a paragraph of text
};

// One story of a document (Word's StoryRanges item).
class Story {
 public:
  virtual ~Story() = default;
  virtual StoryKind kind() const = 0;
  // Unsupported where the back end has not built story identities (the main story always has one).
  virtual StoryId id() const;

  // Word's ReplaceAll with Word's special codes (^p ^t ^l ^m ^^ in both texts, ^& in the
  // replacement). Returns the number of replacements. An empty find text is InvalidArgument.
  virtual int replaceAll(const std::string& findText, const std::string& replacement,
                         const FindOptions& options = {}) = 0;

  // Every occurrence of findText becomes one inline picture of the file at its own size, with
  // the run formatting of the occurrence. Returns the number of pictures inserted. The picture
  // is read only when the text occurs (as Word only inserts at a found occurrence); one that
  // cannot be read is PictureUnreadable before anything changes.
  virtual int replaceWithPicture(const std::string& findText, const std::filesystem::path& picture,
                                 const FindOptions& options = {}) = 0;

  // Word's Characters.Count of the story: the story's length in positions. Counted: letters,
  // spaces, tabs, line/page/column breaks, inline pictures, note and comment reference marks,
  // every paragraph mark, every end-of-cell and end-of-row mark (a character outside the BMP
  // counts two). Not counted: field codes (their results are), deleted tracked text, floating
  // shapes, and what belongs to other stories (text boxes, headers, footers, notes, comments).
  virtual std::int64_t characterCount() = 0;

  // Paragraphs in document order, table cells included.
  virtual std::vector<Paragraph> paragraphs() = 0;

  // The story text between two positions (Word's Range(start, end).Text); paragraph marks
  // appear as "\r", as in Word.
  virtual std::string text(std::int64_t start, std::int64_t end) = 0;

  // Empties the story. A header or footer keeps one empty paragraph, as Word leaves it.
  // Unsupported where the back end has not built it.
  virtual void clear();

  // --- Editing at the story's start (a freshly opened header or footer view has its
  // insertion point there). Unsupported where the back end has not built them. ---
  // Text (no Word codes) before the first character, in the first run's formatting.
  virtual void insertTextAtStart(const std::string& text);
  // An inline picture at its own size before the first character (PictureUnreadable as
  // replaceWithPicture).
  virtual void insertPictureAtStart(const std::filesystem::path& picture);
  // No bottom border on the first paragraph (the line a header style draws under a header).
  virtual void removeFirstParagraphBorder();
  // A watermark floating in this (header) story: WordArt text or a picture at its own size.
  virtual void addWatermark(const Watermark& watermark);

  // --- Clean-up of the story. Unsupported where the back end has not built them. ---
  // Every hyperlink (w:hyperlink and HYPERLINK fields) becomes plain text; returns how many.
  virtual int removeHyperlinks();
  // Removes every paragraph that holds only its paragraph mark, except the last paragraph of a
  // cell or of the story and a paragraph that ends a section; returns how many.
  virtual int removeBlankParagraphs();
};

// File formats a document can be saved as.
enum class SaveFormat {
  Same,        // the document's own format
  Docx,
  Doc,         // Word 97-2003
  Rtf,
  Text,        // plain text, UTF-8
  UnicodeText, // UTF-16LE with a byte-order mark, CR LF
  Html,
  Pdf,
};

struct SaveOptions {
  SaveFormat format = SaveFormat::Same;
  // Word's write password (the document opens read-only without it); none when empty.
  std::optional<std::string> writePassword;
};

class Document {
 public:
  virtual ~Document() = default;

  virtual const std::filesystem::path& path() const = 0;
  // "docx" or "office": which back end holds the document.
  virtual std::string backend() const = 0;

  virtual Story& mainStory() = 0;
  // Every story of a kind in document order (e.g. every header of every section); the main
  // story for StoryKind::Main. Empty when the document has none; Unsupported (never empty) for
  // a kind the back end has not built.
  virtual std::vector<Story*> stories(StoryKind kind) = 0;

  // The "current page" header or footer (kind Header or Footer): the one page 1 shows, that is
  // the first section's first-page one when the section has a title page, else its default
  // one; created (empty) when missing. Unsupported where the back end has not built it.
  virtual Story& ensureStory(StoryKind kind);

  // The "current page" header or footer as ensureStory finds it, without creating it: nullptr
  // when page 1 shows none. Unsupported where the back end has not built it.
  virtual Story* currentPageStory(StoryKind kind);

  // Deletes every comment: its range marks, its reference and its text, in every story.
  // Returns how many. Unsupported where the back end has not built it.
  virtual int deleteComments();
  // No bottom border in the document's built-in header paragraph style. Unsupported where the
  // back end has not built it.
  virtual void removeHeaderStyleBorder();

  // Whether anything changed since open or the last save.
  virtual bool modified() const = 0;

  // Saves in place. The result is written beside the target, flushed and renamed over it; on
  // any failure the file on disk is left as it was. A document without changes is left
  // byte for byte as it was.
  virtual void save() = 0;
  // Saves under another path (in another format, with a write password); the document then
  // refers to the new path. An option the back end has not built is Unsupported.
  // A back end overrides this one or (the older form, still used by the office back end) the
  // one below; each by default calls the other.
  virtual void saveAs(const std::filesystem::path& target, const SaveOptions& options);
  virtual void saveAs(const std::filesystem::path& target, SaveFormat format = SaveFormat::Same);

  // Releases everything the document holds; further calls are errors. Idempotent; the
  // destructor closes too.
  virtual void close() = 0;

  // A separate document with this one's content as it is now, for writing many documents from
  // one template without reading it again: it refers to this document's path, takes no lock on
  // it, and writes only through saveAs to another path (save is ReadOnly). Unsupported where the
  // back end has not built it.
  virtual std::unique_ptr<Document> copy() const;
};

// The old form of OpenOptions::features, until the model asks by features only:
// Need::Layout means Feature::Layout.
enum class Need {
  Content,  // stories, replace, counts: the native docx back end for .docx
  Layout,   // page counts, page ranges, conversion to other formats: the office back end
};

struct OpenOptions {
  Need need = Need::Content;
  bool readOnly = false;
  // Saving flushes the new file to the disk before renaming it over the target. False skips the
  // flush (scratch copies, measurements): the rename still replaces the file whole, but a power
  // cut soon after may lose the new content.
  bool syncOnSave = true;
  // The author of the revisions a replace records in a document with Track Changes on. Empty:
  // the login user's full name (the account's GECOS name up to its first comma), else the
  // login name.
  std::string revisionAuthor = {};
  // What the caller will do with the document; the router picks a back end that offers it all.
  FeatureSet features = {Feature::MainText};
};

// An English name of a story kind for error details ("header").
std::string storyKindName(StoryKind kind);

// The author revisions get when OpenOptions::revisionAuthor is empty.
std::string defaultRevisionAuthor();

// Opens a document with a back end that reads its format and offers every feature asked for:
// a Word package (.docx/.docm/.dotx/.dotm) with the docx back end when it offers them, else
// with the office back end; anything else with the office back end. Refused: FileNotFound,
// UnsupportedFormat (no back end reads the file), OfficeUnavailable (the office back end is
// needed but not installed), Unsupported (no installed back end offers the features; the
// detail names them).
std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options = {});

// --- Back end registration: the office back end lives in its own library. -------------

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::string name() const = 0;
  // Human-readable version, e.g. "LibreOffice 7.4.7.2"; empty when unusable.
  virtual std::string version() const = 0;
  virtual bool available() const = 0;
  // What the back end has built. The default is what the office back end offered before back
  // ends declared their features; every back end overrides it.
  virtual FeatureSet features() const;
  bool supports(Feature feature) const { return features().has(feature); }
  virtual std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options) = 0;
};

// The docx back end (always installed).
std::shared_ptr<Backend> docxBackend();

// Installs the office back end used by open(); nullptr removes it.
void setOfficeBackend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> officeBackend();

}  // namespace vm::word
