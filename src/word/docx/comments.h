#pragma once
// Deleting every comment of a package as Word's Comments(i).Delete leaves it: the range marks
// and the reference mark go from every story that holds them, and the comments parts with
// their relationships and content types, so that the package stays valid.

#include "word/docx/package.h"

namespace vm::word::docx {

// Returns the number of comments deleted (0: the package is not touched).
int deleteComments(Package& package);

}  // namespace vm::word::docx
