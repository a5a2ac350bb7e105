#pragma once
// Layout and format extensions of the document engine: what only an office suite offers
// (page layout, inserting files, pages into new documents). document.h stays as it is; a
// document whose back end lays out pages also implements LayoutDocument, found with layout().
//
// Today the office back end (word/office/) implements it. The router opens a document with
// that back end when OpenOptions::features asks for Feature::Layout (or InsertFile); layout()
// of a docx back end document is nullptr. Positions are main-story positions as in
// document.h (Word's Range.Start/End).
//
// SaveFormat conversions (Doc, Docx, Rtf, Text, UnicodeText, Html, Pdf) go through
// Document::saveAs, which an office document supports for every format.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "word/document.h"

namespace vm::word {

// One laid-out page of the main story.
struct PageSpan {
  int number = 0;          // 1-based
  std::int64_t start = 0;  // main-story position of the page's first character
  std::int64_t end = 0;    // position just after its last character (the next page's start)
};

// What a document holds besides its main text (vellumark-cli info).
struct Inventory {
  int headers = 0;   // header texts in use (first-page and even-page variants count apart)
  int footers = 0;
  int comments = 0;
  int pictures = 0;  // pictures and drawing objects, in every story
};

// What printing changes in a copy of a document before it is rendered.
struct PageSetup {
  bool landscape = false;  // false: each section keeps its own orientation
  // Margins in points (Word's unit), all four or none: none keeps the document's own.
  struct Margins {
    double top = 0, bottom = 0, left = 0, right = 0;
  };
  std::optional<Margins> margins;
};

class LayoutDocument {
 public:
  virtual ~LayoutDocument() = default;

  virtual Inventory inventory() = 0;

  // Word's Information(wdNumberOfPagesInDocument): the page count after a fresh layout.
  virtual int pageCount() = 0;
  // Every page of the main story in order (as Browser.Next over wdBrowsePage finds them).
  virtual std::vector<PageSpan> pages() = 0;

  // A new untitled document (same back end) holding pages first..last (1-based, inclusive)
  // with their formatting. It has no path until saveAs(); save() on it is InvalidArgument.
  virtual std::unique_ptr<Document> copyPages(int first, int last) = 0;

  // Selection.InsertFile at the end (or the start) of the main story: the other document's
  // content with its formatting. An unreadable file is FileNotFound / DamagedPart and leaves
  // this document as it was.
  virtual void insertDocument(const std::filesystem::path& other, bool atStart = false) = 0;

  // Selection.InsertBreak(wdPageBreak) at the end of the main story: the following text
  // (what is inserted later) starts on a new page.
  virtual void insertPageBreak() = 0;

  // Word's insertion point in a document just opened: the start of the main story, moving on
  // behind each insertion, so that what is inserted comes in order before the document's own
  // text. In a document whose main story is one empty paragraph it is the end (insertDocument,
  // insertPageBreak). pageAtPoint is Information(wdActiveEndPageNumber) there.
  virtual void insertDocumentAtPoint(const std::filesystem::path& other) = 0;
  virtual void insertPageBreakAtPoint() = 0;
  virtual int pageAtPoint() = 0;

  // ActiveDocument.PageSetup: applied to every section of the document.
  virtual void setPageSetup(const PageSetup& setup) = 0;

  // The document as laid out now, rendered to a PDF file at target (a scratch file of the
  // caller: written directly, not through the safe save). The document keeps its own path.
  virtual void exportPdf(const std::filesystem::path& target) = 0;
};

// A back end that can also make new empty documents (Documents.Add).
class LayoutBackend {
 public:
  virtual ~LayoutBackend() = default;
  virtual std::unique_ptr<Document> create() = 0;
};

// The layout face of a document; nullptr when its back end has no layout.
inline LayoutDocument* layout(Document& document) { return dynamic_cast<LayoutDocument*>(&document); }

// The layout face of the installed office back end; nullptr when none is installed.
inline std::shared_ptr<LayoutBackend> layoutBackend() {
  return std::dynamic_pointer_cast<LayoutBackend>(officeBackend());
}

}  // namespace vm::word
