#pragma once
// The engine's behaviour cases (tests/word/engine_cases.cpp) run against every back end.
//
// A test executable runs them by compiling engine_cases.cpp and defining engineOpeners():
//
//   // tests/office/engine_cases_office.cpp
//   #include "word/engine_cases.cpp"          // the cases (tests/ is on the include path)
//   std::vector<vm::test::EngineOpener> vm::test::engineOpeners() {
//     return {{"office", [](const std::filesystem::path& p) { return myOfficeBackend->open(p, {}); },
//              /*writesPackage=*/false}};
//   }
//
// tests/word/engine_openers_docx.cpp does the same for the docx back end.

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "word/document.h"

namespace vm::test {

struct EngineOpener {
  std::string name;  // test name suffix: letters, digits and '_' only
  std::function<std::unique_ptr<vm::word::Document>(const std::filesystem::path&)> open;
  // The back end writes the package in this process: parts it did not change are copied raw
  // (checked entry by entry), and process limits (a full disk made with RLIMIT_FSIZE) reach its
  // writes. False for a back end that saves through another program.
  bool writesPackage = true;
};

inline void PrintTo(const EngineOpener& o, std::ostream* os) { *os << o.name; }

// Defined once in each executable that compiles engine_cases.cpp.
std::vector<EngineOpener> engineOpeners();

}  // namespace vm::test
