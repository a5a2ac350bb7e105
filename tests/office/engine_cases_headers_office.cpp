// The shared header, footer, comment and clean-up cases (tests/word/engine_cases_headers.cpp)
// against the office back end: on the built .docx itself, and on a Word 97 .doc the office
// made of it (the case's own path stands for it: reopening it opens the .doc).
#include "word/engine_cases_headers.cpp"

#include "officeenv.h"

INSTANTIATE_TEST_SUITE_P(
    Doc, HeaderEngine,
    ::testing::Values(EngineOpener{
        "office_doc",
        [](const std::filesystem::path& docx) {
          auto doc = docx;
          doc += ".doc";
          if (!std::filesystem::exists(doc)) {
            auto made = vm::test::sharedOffice()->open(docx, {vm::word::Need::Layout});
            made->saveAs(doc, vm::word::SaveFormat::Doc);
            made->close();
          }
          return vm::test::sharedOffice()->open(doc, {vm::word::Need::Layout});
        },
        /*writesPackage=*/false}),
    [](const ::testing::TestParamInfo<EngineOpener>& info) { return info.param.name; });
