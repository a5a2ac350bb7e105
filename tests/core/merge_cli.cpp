// The merge command on .docx without the office: groups of N with their numbered results, the
// target left alone or replaced, the page break after all but the list's last entry, and the
// refusals in their order.

#include <gtest/gtest.h>

#include <filesystem>

#include "clitestutil.h"
#include "ops/merge.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class MergeCli : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = DocxBuilder().body(p(r("TARGET"))).write(dir_.file("all.docx"));
    for (int i = 1; i <= 5; ++i)
      docs_ << q(DocxBuilder().body(p(r("D" + std::to_string(i)))).write(dir_.file("d" + std::to_string(i) + ".docx")));
  }
  Result cli(const QStringList& args) { return runCli(dir_.file("home"), QStringList{"--yes", "merge"} + args); }
  std::vector<std::string> texts(const std::string& name) {
    return paragraphTexts(readPart(dir_.file(name), "word/document.xml"));
  }
  TempDir dir_;
  std::filesystem::path target_;
  QStringList docs_;
};

TEST_F(MergeCli, GroupsOfTwoGiveNumberedResultsAndLeaveTheTarget) {
  const std::string before = readPart(target_, "word/document.xml");
  Result r = cli(QStringList{"--target", q(target_), "--per", "2"} + docs_);
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  using V = std::vector<std::string>;
  EXPECT_EQ(texts("all_1.docx"), (V{"D1", "D2", "TARGET"}));
  EXPECT_EQ(texts("all_2.docx"), (V{"D3", "D4", "TARGET"}));
  EXPECT_EQ(texts("all_3.docx"), (V{"D5", "TARGET"}));
  EXPECT_EQ(readPart(target_, "word/document.xml"), before);

  // Four documents: the third result is saved all the same, holding the target alone.
  std::filesystem::remove(dir_.file("all_3.docx"));
  ASSERT_EQ(cli(QStringList{"--target", q(target_), "--per", "2"} + docs_.mid(0, 4)).code, 0);
  EXPECT_EQ(texts("all_3.docx"), (V{"TARGET"}));
}

TEST_F(MergeCli, OneDocumentReplacesTheTargetWithBreaksBeforeAndAfterDocuments) {
  auto cover = DocxBuilder().body(p(r("COVER"))).write(dir_.file("cover.docx"));
  auto tail = DocxBuilder().body(p(r("TAIL"))).write(dir_.file("tail.docx"));
  // The list's last entry is d3: no break after it, even when d2 is the last one merged. The
  // target's own text comes last, as Word's insertion point leaves it.
  Result r = cli({"--target", q(target_), "--page-break", "--before", q(cover), "--after", q(tail), docs_[0], docs_[2]});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  using V = std::vector<std::string>;
  EXPECT_EQ(texts("all.docx"), (V{"COVER", "D1", "\f", "TAIL", "COVER", "D3", "TAIL", "TARGET"}));
}

TEST_F(MergeCli, RefusalsInTheirOrder) {
  struct Case {
    QStringList args;
    const char* message;
  } cases[] = {
      {{"--target", q(dir_.file("none.docx"))}, "文档合并后保存文档不存在！"},
      {{"--target", q(target_), "--per", "x"}, "合并文档的数目类型错误！"},
      {{"--target", q(target_), "--per", "-1"}, "合并文档的数目不能小于0！"},
      {{"--target", q(target_), "--per", "0"}, "合并文档的数目必须大于0！"},
      {{"--target", q(target_), "--max-pages", "a"}, "单个文档的最大数目必须为数字！"},
      {{"--target", q(target_), "--max-pages", "-2", "--before", ""}, "单个文档的最大数目不能小于0！"},
      {{"--target", q(target_), "--before", q(dir_.file("none.docx"))}, "插入新文档前的文档路径不存在！"},
      {{"--target", q(target_), "--after", q(dir_.file("none.docx"))}, "插入新文档后的文档路径不存在！"},
  };
  for (const Case& c : cases) {
    Result r = cli(c.args + QStringList{docs_[0]});
    EXPECT_EQ(r.code, 1) << c.message;
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << c.message << "\n" << r.err.toStdString();
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("all_1.docx")));
}

}  // namespace

TEST(MergeNames, NumberedBesideTheTarget) {
  EXPECT_EQ(vm::ops::numberedMergeName("/hb/all.doc", 1), "/hb/all_1.doc");
  EXPECT_EQ(vm::ops::numberedMergeName("/hb/all.v2.docx", 12), "/hb/all.v2_12.docx");
  EXPECT_EQ(vm::ops::numberedMergeName("/hb/all", 2), "/hb/all_2");
  EXPECT_EQ(vm::ops::numberedMergeName("/h.b/all", 2), "/h.b/all_2");
  EXPECT_EQ(vm::ops::numberedMergeName("/hb/.hidden", 1), "/hb/.hidden_1");
}

TEST(MergeBudget, PaddingBreaksFillTheBudget) {
  EXPECT_EQ(vm::ops::paddingBreaks(3, 0), 2);  // one page: two breaks
  EXPECT_EQ(vm::ops::paddingBreaks(3, 1), 1);
  EXPECT_EQ(vm::ops::paddingBreaks(3, 2), 0);  // three pages or more: none
  EXPECT_EQ(vm::ops::paddingBreaks(3, 5), 0);
  EXPECT_EQ(vm::ops::paddingBreaks(0, 0), 0);  // off
}
