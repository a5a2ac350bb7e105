// Merging end to end with the office: page budgets checked on the PDF rendering (pdfinfo), a
// .doc among the documents merged by the office, and corpus documents merged natively that the
// office and python-docx read back with every source's text in order.

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <cstdio>
#include <filesystem>

#include "clitestutil.h"
#include "corpus/corpus_util.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
namespace fs = std::filesystem;

namespace {

const std::string kBreak = "<w:r><w:br w:type=\"page\"/></w:r>";

std::string run(const std::string& command) {
  std::string out;
  FILE* f = popen(command.c_str(), "r");
  if (!f) return out;
  char buf[512];
  while (fgets(buf, sizeof buf, f)) out += buf;
  pclose(f);
  return out;
}

int renderedPages(const fs::path& doc) {
  const fs::path pdf = doc.parent_path() / (doc.stem().string() + ".rendered.pdf");
  vm::word::OpenOptions o;
  o.readOnly = true;
  o.features = {vm::word::Feature::Render};
  auto d = vm::word::open(doc, o);
  d->saveAs(pdf, vm::word::SaveFormat::Pdf);
  d->close();
  const std::string out = run("pdfinfo '" + pdf.string() + "' 2>/dev/null");
  fs::remove(pdf);
  const auto at = out.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(out.substr(at + 6));
}

// The non-empty paragraph texts of a document's main story, as the engine reads them, without
// page breaks (the office moves a break to the end of the paragraph before).
std::vector<std::string> texts(const fs::path& path) {
  vm::word::OpenOptions o;
  o.readOnly = true;
  auto d = vm::word::open(path, o);
  std::vector<std::string> out;
  for (const auto& para : d->mainStory().paragraphs()) {
    std::string t = para.text;
    std::erase(t, '\f');
    if (t.find_first_not_of(" \t") != std::string::npos) out.push_back(t);
  }
  return out;
}

// Whether every source's texts occur in the merged texts, source after source, in order.
::testing::AssertionResult inOrder(const std::vector<std::string>& merged, const std::vector<fs::path>& sources) {
  std::size_t at = 0;
  for (const fs::path& s : sources)
    for (const std::string& t : texts(s)) {
      auto it = std::find(merged.begin() + static_cast<long>(at), merged.end(), t);
      if (it == merged.end()) return ::testing::AssertionFailure() << s << ": \"" << t << "\" missing or out of order";
      at = static_cast<std::size_t>(it - merged.begin()) + 1;
    }
  return ::testing::AssertionSuccess();
}

class MergeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
    target_ = DocxBuilder().body(p()).write(dir_.file("all.docx"));
  }
  Result merge(const QStringList& args) {
    return vm::clitest::runCli(dir_.file("home"),
                               QStringList{"--suffix", "doc,docx", "--yes", "merge", "--target", q(target_)} + args);
  }
  fs::path pages(const std::string& name, int n) {
    std::string body = p(r(name + " 1"));
    for (int i = 2; i <= n; ++i) body += p(kBreak + r(name + " " + std::to_string(i)));
    return DocxBuilder().body(body).write(dir_.file(name + ".docx"));
  }
  TempDir dir_;
  fs::path target_;
};

}  // namespace

TEST_F(MergeRun, BudgetPadsShortDocumentsAndBreaksAllButTheLast) {
  auto a = pages("a", 1), b = pages("b", 2), c = pages("c", 3);
  Result r = merge({"--max-pages", "3", "--page-break", q(a), q(b), q(c)});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  // a: 1 page + 2 breaks, break; b: 2 pages + 1 break, break; c: 3 pages. (The office drops a
  // page break that ends the whole document, so the last one here needs none.)
  EXPECT_EQ(renderedPages(target_), 9);
  EXPECT_TRUE(inOrder(texts(target_), {a, b, c}));
}

TEST_F(MergeRun, ADocAmongThemIsMergedByTheOffice) {
  auto a = pages("a", 1), b = pages("b", 2);
  {
    vm::word::OpenOptions o;
    o.readOnly = true;
    o.features = {vm::word::Feature::Convert};
    auto d = vm::word::open(b, o);
    d->saveAs(dir_.file("b.doc"), vm::word::SaveFormat::Doc);
  }
  Result r = merge({"--page-break", q(a), q(dir_.file("b.doc"))});
  ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
  EXPECT_TRUE(inOrder(texts(target_), {a, b})) << r.out.toStdString();
  EXPECT_EQ(renderedPages(target_), 3);
}

TEST_F(MergeRun, CorpusDocumentsReadBackInOrderInTheOfficeAndPythonDocx) {
  std::vector<fs::path> sources;
  QStringList args;
  for (const auto& d : vm::corpus::manifestPackages()) {
    if (d.flagged() || d.extension() != ".docx" || d.bytes > 300000 || sources.size() >= 8) continue;
    fs::path copy = dir_.file("src" + std::to_string(sources.size()) + ".docx");
    fs::copy_file(d.path(), copy, fs::copy_options::overwrite_existing);
    if (texts(copy).empty()) continue;
    sources.push_back(copy);
    args << q(copy);
  }
  Result r = merge(QStringList{"--page-break"} + args);
  ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
  EXPECT_TRUE(inOrder(texts(target_), sources));
  EXPECT_GT(renderedPages(target_), static_cast<int>(sources.size()) - 1);
  // python-docx reads it, every source's paragraphs in order.
  if (run("/usr/bin/python3 -c 'import docx' 2>&1").empty()) {
    std::string script = "import docx,sys\n"
                         "def t(p): return [x.text.strip() for x in docx.Document(p).paragraphs if x.text.strip()]\n"
                         "m=t(sys.argv[1]); i=0\n"
                         "for s in sys.argv[2:]:\n"
                         "  for x in t(s):\n"
                         "    i=m.index(x,i)+1\n"
                         "print('ok')\n";
    std::string cmd = "/usr/bin/python3 -c \"$(cat <<'EOF'\n" + script + "EOF\n)\" '" + target_.string() + "'";
    for (const fs::path& s : sources) cmd += " '" + s.string() + "'";
    EXPECT_EQ(run(cmd + " 2>&1"), "ok\n");
  }
}
