#pragma once
// Merging Word packages into one natively, as a docx composer does: the target package is the
// host, and each inserted package's body goes where Word's insertion point stands after
// Documents.Open (before the host's own text, after what was inserted before) with what it
// needs to look as it did: its styles (a style whose id the host already uses for another definition is copied
// under a new id), its lists (own list definitions, so numbering restarts as in the source),
// pictures and other related parts with their relationships, footnotes, endnotes, comments, and
// its page setup with its headers and footers (its last section becomes a section of its own,
// starting where the text before it ends, so that only page breaks decide new pages).

#include <filesystem>
#include <memory>

namespace vm::word::docx {

class Composer {
 public:
  // Reads the target package (EngineError as opening a document). Nothing is written until save.
  explicit Composer(const std::filesystem::path& target);
  ~Composer();
  Composer(const Composer&) = delete;
  Composer& operator=(const Composer&) = delete;

  // Inserts another package's content at the insertion point (EngineError when it cannot be
  // read: the composition stays as it was).
  void append(const std::filesystem::path& other);
  // Inserts a page break at the insertion point: what follows starts on a new page.
  void appendPageBreak();
  // Writes the composition to path (atomically; the target itself when path is the target).
  void save(const std::filesystem::path& path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vm::word::docx
