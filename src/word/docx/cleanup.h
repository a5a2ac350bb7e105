#pragma once
// The clean-up routines of one story's XML: hyperlinks made plain text and blank paragraphs
// removed. Text boxes inside the story are other stories and are left alone.

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "word/docx/wml.h"

namespace vm::word::docx {

struct HyperlinksRemoved {
  int count = 0;
  std::vector<std::string> relationshipIds;  // of the w:hyperlink elements removed
};

// Every w:hyperlink is unwrapped (its runs stay where they were) and every HYPERLINK field
// (complex or simple) loses its code and keeps its result. Runs of the links lose the
// hyperlink character style (styleId; empty: none known).
HyperlinksRemoved removeHyperlinks(pugi::xml_node story, const Wml& w, const std::string& styleId);

// Removes the paragraphs that hold nothing but their mark (empty runs, bookmarks and proofing
// marks allowed; the bookmarks move to the next paragraph). Kept: the last paragraph of every
// container (body, cell, content control), one that ends a section, one whose mark is a tracked
// change, one that anchors a shape. Returns how many went.
int removeBlankParagraphs(pugi::xml_node story, const Wml& w);

}  // namespace vm::word::docx
