// The shared engine cases (tests/word/engine_cases.cpp) against the office back end: the same
// .docx inputs, opened and saved by LibreOffice. The documented differences are excluded in
// tests/office/main.cpp.
#include "word/engine_cases.cpp"

#include "officeenv.h"

std::vector<vm::test::EngineOpener> vm::test::engineOpeners() {
  return {{"office",
           [](const std::filesystem::path& p) { return vm::test::sharedOffice()->open(p, {vm::word::Need::Layout}); },
           /*writesPackage=*/false}};
}
