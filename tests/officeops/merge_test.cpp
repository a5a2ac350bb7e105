// Merging end to end with the office, on both paths (Word packages merged natively; a .doc
// among them merged by the office): page budgets checked on the PDF rendering (pdfinfo), the
// documents before the target's own text, and corpus documents that the office and python-docx
// read back with every source's text in order.

#include <gtest/gtest.h>

#include <filesystem>

#include "clitestutil.h"
#include "corpus/corpus_util.h"
#include "officeopsutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"

using namespace vm::test;
using namespace vm::officeops;
using vm::clitest::q;
using vm::clitest::Result;

namespace {

// Whether every source's texts occur in the merged texts, source after source, in order.
::testing::AssertionResult inOrder(const std::vector<std::string>& merged, const std::vector<std::vector<std::string>>& sources) {
  std::size_t at = 0;
  for (const auto& source : sources)
    for (const std::string& t : source) {
      auto it = std::find(merged.begin() + static_cast<long>(at), merged.end(), t);
      if (it == merged.end()) return ::testing::AssertionFailure() << "\"" << t << "\" missing or out of order";
      at = static_cast<std::size_t>(it - merged.begin()) + 1;
    }
  return ::testing::AssertionSuccess();
}

class MergeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (pdfinfoMissing()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  }
  Result merge(const fs::path& target, const QStringList& args) {
    return vm::clitest::runCli(dir_.file("home"),
                               QStringList{"--suffix", "doc,docx", "--yes", "merge", "--target", q(target)} + args);
  }
  fs::path pages(const std::string& name, int n) { return numberedPages(dir_.file(name + ".docx"), name, n); }
  TempDir dir_;
};

}  // namespace

// a: 1 page + 2 breaks, break; b: 2 pages + 1 break, break; c: 1 page + 2 breaks, the list's
// last: no break. Padding that ends the document renders too.
TEST_F(MergeRun, BudgetPadsEveryDocumentAndBreaksAllButTheLastOnBothPaths) {
  auto a = pages("a", 1), b = pages("b", 2), c = pages("c", 1);
  for (bool office : {false, true}) {
    SCOPED_TRACE(office ? "office" : "native");
    const fs::path target = DocxBuilder().body(p()).write(dir_.file(office ? "o.docx" : "n.docx"));
    Result r = merge(target, {"--max-pages", "3", "--page-break", q(a), q(b), q(office ? asDoc(c) : c)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    EXPECT_EQ(renderedPages(target), 9);
    EXPECT_TRUE(inOrder(texts(target, true), {texts(a), texts(b), texts(c)}));
  }
}

// A document that starts on the cover's page and spills onto the next spans one page more than
// its own: a: the cover, then one line as tall as a page (page 2), one break; b: the cover and
// a short line on page 3, two breaks.
TEST_F(MergeRun, ADocumentStartingMidPageIsMeasuredWhereItStandsOnBothPaths) {
  auto cover = DocxBuilder().body(p(r("封面"))).write(dir_.file("cover.docx"));
  auto a = DocxBuilder().body(p(r("tall"), "<w:spacing w:line=\"13800\" w:lineRule=\"exact\"/>")).write(dir_.file("a.docx"));
  auto b = pages("b", 1);
  ASSERT_EQ(renderedPages(a), 1);
  for (bool office : {false, true}) {
    SCOPED_TRACE(office ? "office" : "native");
    const fs::path target = DocxBuilder().body(p()).write(dir_.file(office ? "o.docx" : "n.docx"));
    Result r = merge(target, {"--max-pages", "3", "--before", q(cover), q(a), q(office ? asDoc(b) : b)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    EXPECT_EQ(renderedPages(target), 5);
  }
}

// Word's insertion point starts at the start of the target: the before-document and the
// documents in order, then the target's own text, as the office and python-docx read it.
TEST_F(MergeRun, DocumentsComeBeforeTheTargetsOwnTextOnBothPaths) {
  auto cover = DocxBuilder().body(p(r("封面"))).write(dir_.file("cover.docx"));
  auto a = pages("a", 2), b = pages("b", 1);
  const std::vector<std::string> own = {"目标表格", "目标正文"};
  for (bool office : {false, true}) {
    SCOPED_TRACE(office ? "office" : "native");
    const fs::path target = DocxBuilder()
                                .body("<w:tbl><w:tr><w:tc>" + p(r(own[0])) + "</w:tc></w:tr></w:tbl>" + p(r(own[1])))
                                .write(dir_.file(office ? "o.docx" : "n.docx"));
    Result r = merge(target, {"--page-break", "--before", q(cover), q(a), q(office ? asDoc(b) : b)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    const std::vector<std::vector<std::string>> want = {{"封面"}, texts(a), {"封面"}, texts(b), own};
    EXPECT_TRUE(inOrder(texts(target, true), want));
    if (std::vector<std::string> py = pythonDocxTexts(target); !py.empty()) {  // without tables
      EXPECT_TRUE(inOrder(py, {{"封面"}, texts(a), {"封面"}, texts(b), {own[1]}}));
      EXPECT_EQ(py.front(), "封面");
    }
    // a's two pages, the break, then b with the target's text on its page.
    EXPECT_EQ(renderedPages(target), 3);
  }
}

TEST_F(MergeRun, CorpusDocumentsReadBackInOrderInTheOfficeAndPythonDocx) {
  std::vector<fs::path> sources;
  std::vector<std::vector<std::string>> want;
  QStringList args;
  for (const auto& d : vm::corpus::manifestPackages()) {
    if (d.flagged() || d.extension() != ".docx" || d.bytes > 300000 || sources.size() >= 8) continue;
    fs::path copy = dir_.file("src" + std::to_string(sources.size()) + ".docx");
    fs::copy_file(d.path(), copy, fs::copy_options::overwrite_existing);
    if (texts(copy).empty()) continue;
    sources.push_back(copy);
    want.push_back(texts(copy));
    args << q(copy);
  }
  const fs::path target = DocxBuilder().body(p()).write(dir_.file("all.docx"));
  Result r = merge(target, QStringList{"--page-break"} + args);
  ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
  EXPECT_TRUE(inOrder(texts(target), want));
  EXPECT_GT(renderedPages(target), static_cast<int>(sources.size()) - 1);
  if (std::vector<std::string> py = pythonDocxTexts(target); !py.empty()) {
    std::vector<std::vector<std::string>> pyWant;
    for (const fs::path& s : sources) pyWant.push_back(pythonDocxTexts(s));
    EXPECT_TRUE(inOrder(py, pyWant));
  }
}
