// Split settings without an office: the checks in their order with the window's and the start
// command's wordings, the page ranges of the new documents and their names.

#include <gtest/gtest.h>

#include "app/appcontext.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "clitestutil.h"
#include "ops/split.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;
using vm::clitest::q;
using vm::ops::SplitCheck;
using vm::ops::SplitSettings;

TEST(SplitSettings, ChecksInOrder) {
  TempDir dir;
  const QString folder = q(dir.path());
  auto sound = [&] {
    SplitSettings s;
    s.folder = folder;
    s.perPage = "2";
    s.maxPages = "0";
    return s;
  };
  struct Case {
    std::function<void(SplitSettings&)> change;
    QString save, start;  // the message; empty: passes
  };
  const QString none;
  const std::vector<Case> cases = {
      {[](SplitSettings&) {}, none, none},
      {[](SplitSettings& s) { s.folder = "  "; }, "请选择文档分割后保存文档！", "请选择文档拆分后保存文档！"},
      {[&](SplitSettings& s) { s.folder = folder + "/missing"; }, "文档分割后保存文档路径不正确！", "文档拆分后保存文档路径不正确！"},
      // The budget comes before P, whatever is wrong with P.
      {[](SplitSettings& s) { s.maxPages = ""; s.perPage = "x"; }, "请输入单个文档的最大数目！", "请输入单个文档的最大数目！"},
      {[](SplitSettings& s) { s.maxPages = "三"; }, "单个文档的最大数目必须为数字！", "单个文档的最大数目必须为数字！"},
      {[](SplitSettings& s) { s.maxPages = "-1"; }, "单个文档的最大数目必须不能小于0！", "单个文档的最大数目必须不能小于0！"},
      {[](SplitSettings& s) { s.maxPages = "2.5"; }, "单个文档的最大数目必须为整数！", "单个文档的最大数目必须为整数！"},
      {[](SplitSettings& s) { s.maxPages = "40000"; }, "单个文档的最大数目不能大于32767！", "单个文档的最大数目不能大于32767！"},
      {[](SplitSettings& s) { s.maxPages = " ３ "; }, none, none},  // full-width digits
      {[](SplitSettings& s) { s.perPage = " "; }, "请输入保存新文档的页数！", "请输入保存新文档的页数！"},
      {[](SplitSettings& s) { s.perPage = "abc"; }, "保存新文档的页数必须为数字！", "保存新文档的页数必须为数字！"},
      {[](SplitSettings& s) { s.perPage = "0"; }, "保存新文档的页数必须大于0！", "保存新文档的页数必须大于0！"},
      {[](SplitSettings& s) { s.perPage = "-3"; }, "保存新文档的页数必须大于0！", "保存新文档的页数必须大于0！"},
      {[](SplitSettings& s) { s.perPage = "99999"; }, "保存新文档的页数不能大于32767！", "保存新文档的页数不能大于32767！"},
      {[](SplitSettings& s) { s.before = true; s.after = true; }, "请选择要插入新文档前的文档！", "请选择要插入新文档前的文档！"},
      {[](SplitSettings& s) { s.after = true; s.afterPath = " "; }, "请选择要插入新文档后的文档！", "请选择要插入新文档后的文档！"},
      // An inserted document that is not there is found at the start, not in every document.
      {[&](SplitSettings& s) { s.before = true; s.beforePath = folder + "/gone.docx"; }, none,
       "要插入新文档前的文档不存在：" + folder + "/gone.docx"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SplitSettings s = sound();
    cases[i].change(s);
    EXPECT_EQ(vm::ops::splitSettingsProblem(s, SplitCheck::Save).value_or(none), cases[i].save) << i;
    EXPECT_EQ(vm::ops::splitSettingsProblem(s, SplitCheck::Start).value_or(none), cases[i].start) << i;
  }
  EXPECT_EQ(vm::ops::maxPagesTypingProblem("").value_or(none), "请输入单个文档的最大数目！");
  EXPECT_EQ(vm::ops::maxPagesTypingProblem("-1").value_or(none), none);  // left to the save button
}

TEST(SplitSettings, PartsAndNames) {
  using Parts = std::vector<std::pair<int, int>>;
  EXPECT_EQ(vm::ops::splitParts(3, 1), (Parts{{1, 1}, {2, 2}, {3, 3}}));
  EXPECT_EQ(vm::ops::splitParts(3, 2), (Parts{{1, 2}, {3, 3}}));
  EXPECT_EQ(vm::ops::splitParts(4, 2), (Parts{{1, 2}, {3, 4}}));  // no empty part after a full one
  EXPECT_EQ(vm::ops::splitParts(2, 5), (Parts{{1, 2}}));
  EXPECT_EQ(vm::ops::splitOutputName("/out/", "/a/b.c/report.v2.doc", 3), "/out/report.v2_3.doc");
  EXPECT_EQ(vm::ops::splitOutputName("/out/", "/a/b.c/memo", 1), "/out/memo_1");
  SplitSettings s;
  s.folder = " /out ";  // typed without a separator: the names still go into the folder
  s.perPage = "2";
  s.maxPages = "3";
  s.afterPath = "/a/end.docx";  // not ticked: not used
  const vm::ops::SplitPlan plan = vm::ops::splitPlan(s);
  EXPECT_EQ(plan.folder, "/out/");
  EXPECT_EQ(plan.perPage, 2);
  EXPECT_EQ(plan.maxPages, 3);
  EXPECT_TRUE(plan.after.isEmpty());
}

TEST(SplitSettings, StartCommandRefusesAndAsks) {
  TempDir dir;
  vm::RecordingPrompter prompter;
  auto app = vm::AppContext::create(q(dir.file("home")), prompter);
  ASSERT_TRUE(app);
  const vm::OperationDecl* decl = vm::operations().forMenuItem("m_fg_start");
  ASSERT_TRUE(decl);
  EXPECT_EQ(decl->cli.name, "split");
  EXPECT_FALSE(decl->independent);
  QStringList opened;
  vm::OperationEnv env{*app, prompter, [&](const QString& item) { opened << item; }};
  const vm::word::FeatureSet all = decl->features | vm::word::docxFeatures();
  EXPECT_EQ(vm::startOperation(*decl, env, all), vm::StartOutcome::Refused);
  EXPECT_EQ(prompter.last().text, "请先添加文档，并勾选你要操作的文档！");
  app->documents().append(QStringList{q(DocxBuilder().body(p(r("x"))).write(dir.file("a.docx")))});
  app->documents().setAllTicked(true);
  EXPECT_EQ(vm::startOperation(*decl, env, all), vm::StartOutcome::Refused);
  EXPECT_EQ(prompter.last().title, "出错了！");
  EXPECT_EQ(prompter.last().text, "请选择文档拆分后保存文档！");
  EXPECT_EQ(opened, QStringList{"m_fgSetup"});
  app->store<SplitSettings>().folder = q(dir.path());
  prompter.answer = false;
  EXPECT_EQ(vm::startOperation(*decl, env, all), vm::StartOutcome::Cancelled);
  EXPECT_TRUE(prompter.last().question);
  EXPECT_EQ(prompter.last().title, "文档操作");
  EXPECT_EQ(prompter.last().text, "你确认开始批量拆分文档了吗？\n你可以点确认按钮开始操作,也可以点取消按钮取消操作！");
}
