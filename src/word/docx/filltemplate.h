#pragma once
// The docx side of word/templatewriter.h. The rules are applied once to the template's main
// story with a placeholder character for each match's replacement, and the main part is kept
// as its fixed bytes between those slots. A copy writes the fixed bytes with its own escaped
// replacements and puts the part into a zip beside the template's other entries, which are
// copied as they are compressed: nothing is parsed or serialised per copy.
//
// A copy's values could make the document path come out otherwise (a later rule finding text
// that runs into a value, a replacement that is not plain text, spaces that change how a text
// element is written); such a copy is refused here and edited as a document by the caller.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "word/templatewriter.h"

namespace vm::word::docx {

class FilledTemplate {
 public:
  virtual ~FilledTemplate() = default;
  // Writes the copy at target; false, with nothing written, when these values need the
  // document path. Throws EngineError when the write fails.
  virtual bool write(const std::vector<std::string>& values, const std::filesystem::path& target) = 0;
};

// Null when the template or its rules are beyond slots: pictures, a find text that may match
// a paragraph mark, a tab or a varying length, a replacement with Word's codes other than text
// and ^&, tracked changes, content controls bound to data, or anything the template holds that
// this writer cannot carry over as it is.
std::unique_ptr<FilledTemplate> prepareTemplate(const std::filesystem::path& path, const std::vector<FillRule>& rules,
                                                bool syncOnSave);

}  // namespace vm::word::docx
