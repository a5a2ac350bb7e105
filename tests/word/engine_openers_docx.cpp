// The engine cases against the docx back end (see support/enginecases.h).
#include "support/enginecases.h"
#include "word/docx/docxdocument.h"

std::vector<vm::test::EngineOpener> vm::test::engineOpeners() {
  return {{"docx", [](const std::filesystem::path& p) { return vm::word::docx::open(p); }, true, true}};
}
