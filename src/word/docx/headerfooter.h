#pragma once
// Header and footer parts as the sections of the main part reference them.

#include <optional>
#include <string>
#include <vector>

#include "word/document.h"
#include "word/docx/package.h"

namespace vm::word::docx {

struct HeaderFooterPart {
  StoryId id;
  std::string part;  // the part's name in the package
};

// Every header (kind Header) or footer (Footer) part referenced from a section's properties,
// in document order, each once, with the first section that references it. A reference to a
// missing part is left out (Word shows nothing for it).
std::vector<HeaderFooterPart> headerFooterParts(Package& package, StoryKind kind);

// The "current page" header or footer when the document has it (nothing is created).
std::optional<HeaderFooterPart> findCurrentPage(Package& package, StoryKind kind);

// The "current page" header or footer: the first section's first-page one when the section has
// a title page, else its default one. Created when missing: a part with one empty paragraph
// (in the Header/Footer paragraph style when the document defines it), its content type, its
// relationship and the section's reference.
HeaderFooterPart ensureCurrentPage(Package& package, StoryKind kind);

}  // namespace vm::word::docx
