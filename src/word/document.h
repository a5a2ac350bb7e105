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

class Document {
 public:
  virtual ~Document() = default;

  virtual const std::filesystem::path& path() const = 0;
  // "docx" or "office": which back end holds the document.
  virtual std::string backend() const = 0;

  virtual Story& mainStory() = 0;
  // Every story of a kind in document order (e.g. every header of every section); the main
  // story for StoryKind::Main.
  virtual std::vector<Story*> stories(StoryKind kind) = 0;

  // Whether anything changed since open or the last save.
  virtual bool modified() const = 0;

  // Saves in place. The result is written beside the target, flushed and renamed over it; on
  // any failure the file on disk is left as it was. A document without changes is left
  // byte for byte as it was.
  virtual void save() = 0;
  // Saves under another path (and format); the document then refers to the new path.
  virtual void saveAs(const std::filesystem::path& target, SaveFormat format = SaveFormat::Same) = 0;

  // Releases everything the document holds; further calls are errors. Idempotent; the
  // destructor closes too.
  virtual void close() = 0;
};

// What the caller needs from the document; the router picks a back end that offers it.
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
};

// The author revisions get when OpenOptions::revisionAuthor is empty.
std::string defaultRevisionAuthor();

// Opens a document with the back end that suits its format and the need:
// .docx/.docm/.dotx (by content) with the docx back end; anything else, or Need::Layout,
// with the office back end when one is installed; else UnsupportedFormat.
std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options = {});

// --- Back end registration: the office back end lives in its own library. -------------

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::string name() const = 0;
  // Human-readable version, e.g. "LibreOffice 7.4.7.2"; empty when unusable.
  virtual std::string version() const = 0;
  virtual bool available() const = 0;
  virtual std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options) = 0;
};

// Installs the office back end used by open(); nullptr removes it.
void setOfficeBackend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> officeBackend();

}  // namespace vm::word
