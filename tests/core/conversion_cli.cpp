// The conversion, password, summary, Chinese script and statistics commands on .docx, in
// process (no office): output names, refusals in their order, a wrong old password, reports.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <filesystem>

#include "app/appcontext.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "clitestutil.h"
#include "ops/outputnames.h"
#include "ops/stats.h"
#include "ops/summary.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class ConversionCli : public ::testing::Test {
 protected:
  std::filesystem::path doc(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(dir_.file(name).parent_path());
    return DocxBuilder().body(p(r(text))).write(dir_.file(name));
  }
  Result cli(const QStringList& args) { return runCli(dir_.file("home"), QStringList{"--yes"} + args); }
  TempDir dir_;
};

}  // namespace

TEST(OutputNames, ExtensionFolderAndFreeNames) {
  TempDir dir;
  EXPECT_EQ(vm::ops::withExtension("a.b.doc", "rtf"), "a.b.rtf");
  EXPECT_EQ(vm::ops::withExtension("memo", "txt"), "memo.txt");
  EXPECT_EQ(vm::ops::outputFolder(" /x/out "), "/x/out/");
  EXPECT_EQ(vm::ops::outputFolder("/x/out/"), "/x/out/");
  const QString folder = vm::ops::outputFolder(q(dir.path()));
  EXPECT_EQ(vm::ops::freeTarget(folder, "memo.doc"), folder + "memo.doc");
  writeFile(dir.file("memo.doc"), "x");
  EXPECT_EQ(vm::ops::freeTarget(folder, "memo.doc"), folder + "memo2.doc");
  writeFile(dir.file("memo2.doc"), "x");
  EXPECT_EQ(vm::ops::freeTarget(folder, "memo.doc"), folder + "memo3.doc");
  std::filesystem::create_symlink(dir.file("nowhere"), dir.file("x.docx"));  // a dangling link is taken
  EXPECT_EQ(vm::ops::freeTarget(folder, "x.docx"), folder + "x2.docx");
}

TEST(StatsRecord, TagsAndLines) {
  EXPECT_EQ(vm::ops::statsRecord("[WDM]:[ZFZS]", "/a/x.doc", 12), QStringList{"x.doc:12"});
  EXPECT_EQ(vm::ops::statsRecord("[WDLJ]\r\n[WDM][WDM]\n", "/a/x.doc", 0), (QStringList{"/a/x.doc", "x.docx.doc", ""}));
  EXPECT_EQ(vm::ops::statsRecord("no tags", "/a/x.doc", 5), QStringList{"no tags"});
}

TEST_F(ConversionCli, RefusalsComeInTheirOrder) {
  auto a = doc("a.docx", "x");
  EXPECT_EQ(cli({"convert", "--to", "gif", "--out", q(dir_.path()), q(a)}).code, 2);
  Result noFolder = cli({"chinese", "--to", "traditional", "--out", q(dir_.file("missing")), q(a)});
  EXPECT_EQ(noFolder.code, 1);
  EXPECT_TRUE(noFolder.err.contains("文档保存路径不存在！")) << noFolder.err.toStdString();
  Result empty = cli({"stats", "--template", "", q(a)});
  EXPECT_EQ(empty.code, 1);
  EXPECT_TRUE(empty.err.contains("导出格式不能为空！")) << empty.err.toStdString();
}

TEST_F(ConversionCli, ChineseCopiesUnderConvertedNamesNumberedWhenTaken) {
  auto a = doc("in/软件说明.docx", "软件和内存");
  std::filesystem::create_directories(dir_.file("out"));
  const std::string before = readFile(a);
  for (int run = 0; run < 2; ++run) {
    Result r = cli({"chinese", "--to", "traditional", "--standard", "s2twp", "--out", q(dir_.file("out")), q(a)});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
  }
  EXPECT_EQ(partText(readPart(dir_.file("out/軟體說明.docx"), "word/document.xml")), "軟體和記憶體");
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/軟體說明2.docx")));
  EXPECT_EQ(readFile(a), before);
  Result back = cli({"chinese", "--to", "simplified", "--out", q(dir_.file("out")), q(dir_.file("out/軟體說明.docx"))});
  EXPECT_EQ(back.code, 0) << back.err.toStdString();
  EXPECT_EQ(partText(readPart(dir_.file("out/软体说明.docx"), "word/document.xml")), "软体和记忆体");
}

TEST_F(ConversionCli, WrongOldPasswordFailsTheDocumentUnchanged) {
  auto a = doc("a.docx", "x");
  ASSERT_EQ(cli({"password", "--new", "one", q(a)}).code, 0);
  const std::string locked = readFile(a);
  Result wrong = cli({"password", "--old", "two", "--new", "three", q(a)});
  EXPECT_EQ(wrong.code, 3);
  EXPECT_TRUE(wrong.out.contains("原密码不正确")) << wrong.out.toStdString();
  EXPECT_EQ(readFile(a), locked);
  EXPECT_EQ(cli({"password", "--old", "one", q(a)}).code, 0);
  EXPECT_EQ(readPart(a, "word/settings.xml").find("writeProtection"), std::string::npos);
}

TEST_F(ConversionCli, StatsReportReplacedWholeInListOrder) {
  auto a = doc("a.docx", "12345");
  auto b = doc("b.docx", "甲乙");
  ASSERT_EQ(cli({"stats", "--template", "[WDM]:[ZFZS]\\n", q(a), q(b)}).code, 0);
  ASSERT_EQ(cli({"stats", "--template", "[WDM]:[ZFZS]", q(a), q(b)}).code, 0);
  QFile report(q(dir_.file("home/wordStauts.txt")));
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(report.readAll()), "a.docx:6\nb.docx:3\n");  // paragraph marks count
}

TEST_F(ConversionCli, PropertiesClearWhatIsNotGiven) {
  auto a = doc("a.docx", "x");
  ASSERT_EQ(cli({"properties", "--title", "标题", "--company", "某公司", q(a)}).code, 0);
  const std::string core = readPart(a, "docProps/core.xml");
  EXPECT_NE(core.find("<dc:title>标题</dc:title>"), std::string::npos) << core;
  EXPECT_NE(readPart(a, "docProps/app.xml").find("某公司"), std::string::npos);
}

// The summary run has an identifier of its own: continuing a paused one goes on with the summary
// (under the replace run's identifier it would have started a replacement).
TEST(SummaryRun, ContinuingAPausedRunContinuesTheSummary) {
  TempDir dir;
  vm::RecordingPrompter prompter;
  auto app = vm::AppContext::create(q(dir.file("home")), prompter);
  ASSERT_TRUE(app);
  std::vector<std::filesystem::path> docs;
  for (int i = 0; i < 3; ++i) {
    docs.push_back(DocxBuilder().body(p(r("x"))).write(dir.file("d" + std::to_string(i) + ".docx")));
    app->documents().append(QStringList{q(docs.back())});
  }
  app->store<vm::ops::SummarySettings>().title = "新标题";
  vm::RunFrame& frame = app->runFrame();
  frame.setEntryHook([&](int index) {
    if (index == 1 && frame.paused() == 0)
      QMetaObject::invokeMethod(&frame, [&] { frame.pauseOrContinue(); }, Qt::BlockingQueuedConnection);
  });
  vm::OperationEnv env{*app, prompter, {}};
  const vm::OperationDecl* decl = vm::operations().forMenuItem("m_start_modify_info");
  ASSERT_TRUE(decl);
  ASSERT_EQ(vm::startOperation(*decl, env, vm::word::docxFeatures()), vm::StartOutcome::Started);
  ASSERT_TRUE(frame.waitUntilSettled(60000));
  ASSERT_EQ(frame.state(), vm::RunFrame::State::Paused);
  EXPECT_EQ(frame.operationId(), vm::ops::kSummaryOperationId);
  frame.setEntryHook({});
  frame.pauseOrContinue();
  ASSERT_TRUE(frame.waitUntilSettled(60000));
  EXPECT_EQ(frame.state(), vm::RunFrame::State::Idle);
  for (const auto& d : docs) EXPECT_NE(readPart(d, "docProps/core.xml").find("新标题"), std::string::npos) << d;
}
