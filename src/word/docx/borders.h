#pragma once
// Paragraph properties that the header operations change: the bottom border a header style
// draws, switched off in a paragraph or in a style. Elements go where the schema orders them,
// or Word refuses the part.

#include <pugixml.hpp>

#include "word/docx/wml.h"

namespace vm::word::docx {

// The paragraph's (or style's) w:pPr, made in its place when missing.
pugi::xml_node ensurePPr(pugi::xml_node owner, const Wml& w);

// Sets the bottom border of a w:pPr to none (overriding what the style gives).
void setNoBottomBorder(pugi::xml_node pPr, const Wml& w);

}  // namespace vm::word::docx
