// Splitting end to end with the office: page counts of the new documents checked on their PDF
// renderings (pdfinfo), text order and headers read back by the docx engine, a corpus document,
// and a run with a missing source and a pause.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/appcontext.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "clitestutil.h"
#include "officeopsutil.h"
#include "ops/split.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"

using namespace vm::test;
using namespace vm::officeops;
using vm::clitest::q;
using vm::clitest::Result;

namespace {

// Pages "one", "two", "three" under the header "页眉文字" in bold with a page number field.
fs::path threePages(const fs::path& path) {
  fs::create_directories(path.parent_path());
  return DocxBuilder()
      .body(p(r("one")) + p(kBreak + r("two")) + p(kBreak + r("three")))
      .header(p(r("页眉文字", "<w:b/>") + "<w:fldSimple w:instr=\" PAGE \"><w:r><w:t>1</w:t></w:r></w:fldSimple>"))
      .write(path);
}

std::string mainText(const fs::path& path) {
  auto d = vm::word::open(path);
  return d->mainStory().text(0, d->mainStory().characterCount());
}

// Whether the document has headers and each of them shows the text.
bool headersShow(const fs::path& path, const std::string& text) {
  auto d = vm::word::open(path);
  const auto headers = d->stories(vm::word::StoryKind::Header);
  for (auto* s : headers)
    if (s->text(0, s->characterCount()).find(text) == std::string::npos) return false;
  return !headers.empty();
}

// The markup of every header part of a package.
std::string headerXml(const fs::path& path) {
  std::string out;
  for (const std::string& name : partNames(path))
    if (name.rfind("word/header", 0) == 0) out += readPart(path, name);
  return out;
}

class SplitRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (pdfinfoMissing()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
    fs::create_directories(dir_.file("out"));
  }
  // Into the folder "out", typed without a separator.
  Result split(const QStringList& args) {
    return vm::clitest::runCli(dir_.file("home"), QStringList{"--yes", "--json", "split", "--out", q(dir_.file("out"))} + args);
  }
  fs::path out(const std::string& name) { return dir_.file("out/" + name); }
  TempDir dir_;
};

}  // namespace

// P = 1 and P = 2 on three pages.
TEST_F(SplitRun, PartsKeepTheirPagesInOrderWithTheirHeaders) {
  const fs::path source = threePages(dir_.file("in/pages.docx"));
  const std::string before = readFile(source);
  Result one = split({"--pages", "1", q(source)});
  ASSERT_EQ(one.code, 0) << one.err.toStdString();
  EXPECT_TRUE(one.out.contains("拆分为 3 个文档")) << one.out.toStdString();
  const char* words[] = {"one", "two", "three"};
  for (int i = 0; i < 3; ++i) {
    const fs::path part = out("pages_" + std::to_string(i + 1) + ".docx");
    ASSERT_TRUE(fs::exists(part)) << part;
    EXPECT_EQ(renderedPages(part), 1) << part;
    const std::string t = mainText(part);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(t.find(words[j]) != std::string::npos, i == j) << part << ": " << t;
    EXPECT_TRUE(headersShow(part, "页眉文字")) << part;
    // With its formatting and its field, not as plain text.
    const std::string header = headerXml(part);
    EXPECT_NE(header.find("<w:b/>"), std::string::npos) << header;
    EXPECT_NE(header.find("PAGE"), std::string::npos) << header;
  }
  EXPECT_FALSE(fs::exists(out("pages_4.docx")));

  Result two = split({"--pages", "2", q(source)});
  ASSERT_EQ(two.code, 0) << two.err.toStdString();
  const std::string first = mainText(out("pages_1.docx"));
  EXPECT_LT(first.find("one"), first.find("two")) << first;  // not pasted in reverse
  EXPECT_EQ(first.find("three"), std::string::npos) << first;
  EXPECT_EQ(renderedPages(out("pages_1.docx")), 2);
  EXPECT_EQ(renderedPages(out("pages_2.docx")), 1);
  EXPECT_EQ(readFile(source), before);  // the source is only read
}

// Budget B = 3 with a before-document ahead of every page and an after-document at the end.
TEST_F(SplitRun, BeforeAfterAndFillingToTheBudget) {
  const fs::path source = threePages(dir_.file("in/memo.docx"));
  const fs::path cover = DocxBuilder().body(p(r("封面"))).write(dir_.file("cover.docx"));
  const fs::path end = DocxBuilder().body(p(r("附件"))).write(dir_.file("end.docx"));
  Result r = split({"--pages", "2", "--max-pages", "3", "--before", q(cover), "--after", q(end), q(source)});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const std::string t = mainText(out("memo_1.docx"));
  const auto c1 = t.find("封面"), one = t.find("one"), c2 = t.find("封面", c1 + 1), two = t.find("two"), e = t.find("附件");
  ASSERT_NE(e, std::string::npos) << t;
  EXPECT_TRUE(c1 < one && one < c2 && c2 < two && two < e) << t;
  EXPECT_EQ(renderedPages(out("memo_1.docx")), 3);
  EXPECT_EQ(renderedPages(out("memo_2.docx")), 3);
  // A budget below what a part has already adds nothing.
  Result small = split({"--pages", "2", "--max-pages", "1", q(source)});
  ASSERT_EQ(small.code, 0) << small.err.toStdString();
  EXPECT_EQ(renderedPages(out("memo_1.docx")), 2);
}

// A real document of three empty pages, one section each with its own header: each page keeps
// its section's header.
TEST_F(SplitRun, CorpusDocumentWithSectionHeaders) {
  const fs::path source = fs::path(VM_CORPUS_DIR) / "apache-poi/test-data/document/Headers.docx";
  if (!fs::exists(source)) GTEST_SKIP() << source << " is not there";
  Result r = split({"--pages", "1", q(source)});
  ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
  int parts = 0;
  for (; fs::exists(out("Headers_" + std::to_string(parts + 1) + ".docx")); ++parts) {
    const fs::path part = out("Headers_" + std::to_string(parts + 1) + ".docx");
    EXPECT_EQ(renderedPages(part), 1) << part;
    EXPECT_TRUE(headersShow(part, "Section " + std::to_string(parts + 1))) << part;
  }
  EXPECT_EQ(parts, 3);
}

// A source gone since it was listed is skipped and counted; a pause after the first document
// continues with the next one, and the list is unlocked at the end.
TEST_F(SplitRun, MissingSourceAndPause) {
  vm::RecordingPrompter prompter;
  auto app = vm::AppContext::create(q(dir_.file("home")), prompter);
  ASSERT_TRUE(app);
  for (const char* name : {"a", "b", "c"})
    app->documents().append(QStringList{q(threePages(dir_.file(std::string("in/") + name + ".docx")))});
  app->documents().setAllTicked(true);
  fs::remove(dir_.file("in/b.docx"));
  auto& s = app->store<vm::ops::SplitSettings>();
  s.folder = q(dir_.file("out"));
  s.perPage = "3";
  vm::RunFrame& frame = app->runFrame();
  frame.setEntryHook([&](int index) {
    if (index == 1 && frame.paused() == 0)
      QMetaObject::invokeMethod(&frame, [&] { frame.pauseOrContinue(); }, Qt::BlockingQueuedConnection);
  });
  vm::OperationEnv env{*app, prompter, {}};
  const vm::OperationDecl* decl = vm::operations().forMenuItem("m_fg_start");
  ASSERT_EQ(vm::startOperation(*decl, env, vm::word::installedFeatures()), vm::StartOutcome::Started);
  ASSERT_TRUE(frame.waitUntilSettled(300000));
  ASSERT_EQ(frame.state(), vm::RunFrame::State::Paused);
  EXPECT_TRUE(fs::exists(out("a_1.docx")));
  EXPECT_FALSE(fs::exists(out("c_1.docx")));
  frame.setEntryHook({});
  frame.pauseOrContinue();
  ASSERT_TRUE(frame.waitUntilSettled(300000));
  EXPECT_EQ(frame.state(), vm::RunFrame::State::Idle);
  EXPECT_FALSE(frame.isLocked());
  EXPECT_TRUE(fs::exists(out("c_1.docx")));
  EXPECT_FALSE(fs::exists(out("c_2.docx")));
  EXPECT_EQ(frame.lastSummary().missing.size(), 1);
  EXPECT_EQ(frame.lastSummary().failures(), 0);
}
