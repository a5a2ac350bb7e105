#pragma once
// Merging documents into one target, as Word's Selection.InsertFile and InsertBreak do one
// after the other from where Documents.Open leaves the insertion point: each document and each
// page break goes after what was inserted before, all of it before the target's own text. When
// the target and every document inserted are Word packages the docx back end merges them
// natively (docx/compose.h); otherwise the office back end does (layout.h). Page counts always
// come from the office back end's layout.

#include <filesystem>
#include <memory>

namespace vm::word {

class MergedDocument {
 public:
  // Opens target (EngineError as open()). native: every document to be inserted is a Word
  // package too. writesTarget: the result will be saved over target, which is then locked
  // against other runs until close.
  static std::unique_ptr<MergedDocument> open(const std::filesystem::path& target, bool native, bool writesTarget);
  virtual ~MergedDocument() = default;

  // Inserts the document after what was inserted before. measure: returns the page of the
  // insertion point after it minus the page before it (0 for a document that stays on one
  // page), from the office's layout; otherwise 0. A document that cannot be read leaves the
  // merged text as it was.
  virtual int insert(const std::filesystem::path& document, bool measure) = 0;
  virtual void insertPageBreak() = 0;
  // Writes the merged document (atomically) to path: the target itself or a new file.
  virtual void saveAs(const std::filesystem::path& path) = 0;
  virtual void close() = 0;
};

// Whether a file is a Word package the docx back end reads (whatever its extension says).
bool isWordPackage(const std::filesystem::path& path);

}  // namespace vm::word
