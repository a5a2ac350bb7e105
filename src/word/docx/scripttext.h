#pragma once
// Converting the text of every story of a package (ScriptTextDocument::convertText): the body,
// headers, footers, footnotes, endnotes, comments and every text box in them.

#include "word/scripttext.h"

namespace vm::word::docx {

class Package;

int convertPackageText(Package& package, const TextConverter& convert);

}  // namespace vm::word::docx
