#pragma once
// Summary properties of a package: title, subject and author in the core properties part
// (docProps/core.xml), the company in the extended properties part (docProps/app.xml). A
// missing part is created with its content type and its package relationship.

#include "word/metadata.h"

namespace vm::word::docx {

class Package;

SummaryProperties readProperties(Package& package);
void writeProperties(Package& package, const SummaryProperties& properties);

// The package-level part a relationship of one of the types points to; empty when none.
std::string packagePart(Package& package, std::initializer_list<const char*> types);

}  // namespace vm::word::docx
