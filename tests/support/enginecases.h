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

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

namespace vm::test {

struct EngineOpener {
  std::string name;  // test name suffix: letters, digits and '_' only
  std::function<std::unique_ptr<vm::word::Document>(const std::filesystem::path&)> open;
  // The back end writes the package in this process: parts it did not change are copied raw
  // (checked entry by entry), and process limits (a full disk made with RLIMIT_FSIZE) reach its
  // writes. False for a back end that saves through another program.
  bool writesPackage = true;
  // The back end gives Word's result to the character and the element. Another only comes near
  // it (its differences listed beside its opener) and leaves out the rows that need it.
  bool wordExact = false;
};

inline void PrintTo(const EngineOpener& o, std::ostream* os) { *os << o.name; }

// Defined once in each executable that compiles engine_cases.cpp.
std::vector<EngineOpener> engineOpeners();

// The cases' fixture: the back end under test and a fresh folder.
class EngineCase : public ::testing::TestWithParam<EngineOpener> {
 protected:
  std::unique_ptr<vm::word::Document> open(const std::filesystem::path& p) { return GetParam().open(p); }
  bool writesPackage() const { return GetParam().writesPackage; }
  TempDir dir;
};

inline std::string openerName(const ::testing::TestParamInfo<EngineOpener>& info) { return info.param.name; }

inline std::vector<std::string> storyTexts(vm::word::Story& s) {
  std::vector<std::string> out;
  for (const auto& para : s.paragraphs()) out.push_back(para.text);
  return out;
}

// A section's header or footer by its identity (back ends list them in their own order).
inline vm::word::Story* storyWithId(vm::word::Document& doc, vm::word::StoryKind kind, int section,
                                    vm::word::HeaderFooterKind which) {
  for (vm::word::Story* s : doc.stories(kind))
    if (s->id() == vm::word::StoryId{kind, section, which}) return s;
  return nullptr;
}

inline const char* const kHdrType = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
inline const char* const kHdrRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";

// A header or footer part (root "hdr" or "ftr") and a section's reference to one.
inline std::string hfPart(const std::string& root, const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:" + root + " " + standardNamespaces() +
         ">" + inner + "</w:" + root + ">";
}
inline std::string hfRef(const std::string& what, const std::string& type, const std::string& id) {
  return "<w:" + what + "Reference w:type=\"" + type + "\" r:id=\"" + id + "\"/>";
}

}  // namespace vm::test

// A back end that has not built a routine says so (Unsupported); its case waits for it.
#define SKIP_IF_UNSUPPORTED(statement)                                   \
  try {                                                                  \
    statement;                                                           \
  } catch (const vm::word::EngineError& e) {                             \
    if (e.code() != vm::word::ErrorCode::Unsupported) throw;             \
    GTEST_SKIP() << "not built: " << e.detail();                         \
  }
