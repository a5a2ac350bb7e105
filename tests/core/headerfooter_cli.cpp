// The header, footer, watermark, comment and clean-up commands in process: each command's
// effect on built documents, the start checks in their order, and the watermark settings'
// validation that the settings window and the add command share.

#include <gtest/gtest.h>

#include <QString>

#include "clitestutil.h"
#include "ops/watermark.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class HeaderFooterCli : public ::testing::Test {
 protected:
  Result cli(const QStringList& args) { return runCli(dir.file("home"), QStringList{"--yes"} + args); }
  static std::string part(const std::filesystem::path& p, const std::string& name) { return partText(readPart(p, name)); }
  TempDir dir;
};

TEST_F(HeaderFooterCli, AddReplaceAndDeleteReachOnlyTheirStories) {
  std::filesystem::create_directories(dir.file("docs"));
  auto a = DocxBuilder().body(p(r("正文 机密")) + p() + p(r("end"))).footer(p(r("页脚"))).write(dir.file("docs/a.docx"));
  writeFile(dir.file("docs/broken.docx"), "not a package");
  const std::string broken = readFile(dir.file("docs/broken.docx"));
  writeFile(dir.file("rules.txt"), "机密\t绝密\n");

  Result r = cli({"header", "add", "--text", "机密文件 ", q(dir.file("docs"))});
  EXPECT_EQ(r.code, 3) << r.err.toStdString();  // the broken one failed, the run went on
  EXPECT_TRUE(r.out.contains(QStringLiteral("a.docx：已增加页眉"))) << r.out.toStdString();
  EXPECT_EQ(readFile(dir.file("docs/broken.docx")), broken);
  EXPECT_EQ(cli({"header", "replace", "--rules", q(dir.file("rules.txt")), q(a)}).code, 0);
  EXPECT_EQ(part(a, "word/header1.xml"), "绝密文件");
  EXPECT_EQ(part(a, "word/document.xml"), "正文 机密\n\nend");

  EXPECT_EQ(cli({"clean", "--spaces", "--blank-paragraphs", q(a)}).code, 0);
  EXPECT_EQ(part(a, "word/document.xml"), "正文机密\nend");
  EXPECT_EQ(cli({"header", "delete", q(a)}).code, 0);
  EXPECT_EQ(part(a, "word/header1.xml"), "");
  EXPECT_EQ(part(a, "word/footer1.xml"), "页脚");
}

TEST_F(HeaderFooterCli, ReplaceScopeAllReachesHeadersAndFootersToo) {
  auto a = DocxBuilder().body(p(r("甲方"))).header(p(r("甲方页眉"))).footer(p(r("甲方"))).write(dir.file("a.docx"));
  writeFile(dir.file("rules.txt"), "甲方\t乙方\n");
  EXPECT_EQ(cli({"replace", "--rules", q(dir.file("rules.txt")), q(a)}).code, 0);
  EXPECT_EQ(part(a, "word/header1.xml"), "甲方页眉");  // the written scope: the main text only
  writeFile(dir.file("rules.txt"), "乙方\t丙方\n甲方\t丙方\n");
  Result r = cli({"replace", "--scope", "all", "--rules", q(dir.file("rules.txt")), q(a)});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("替换 3 处"))) << r.out.toStdString();
  EXPECT_EQ(part(a, "word/document.xml") + part(a, "word/header1.xml") + part(a, "word/footer1.xml"), "丙方丙方页眉丙方");
  EXPECT_EQ(cli({"replace", "--scope", "some", "--rules", q(dir.file("rules.txt")), q(a)}).code, 2);
}

TEST_F(HeaderFooterCli, StartChecksComeInTheirOrder) {
  auto a = DocxBuilder().body(p(r("x"))).write(dir.file("a.docx"));
  std::filesystem::create_directories(dir.file("empty"));
  writeFile(dir.file("unticked.txt"), "a\tb\t0\n");
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"header", "add", "--text", "x", q(dir.file("empty"))}, "出错了！: 请先添加文档，并勾选你要操作的文档！"},
      {{"footer", "add", "--text", "  ", q(a)}, "出错了！: 请先设置页脚内容！"},
      {{"header", "replace", "--rules", q(dir.file("unticked.txt")), q(dir.file("empty"))}, "出错了！: 请勾选页眉页脚替换规则！"},
      {{"watermark", "add", "--text", "x", "--colour", "255", "--width", "9", "--height", "1x", q(a)},
       "出错！: 水印透明度必须大于0！"},
      {{"watermark", "add", "--picture", "/p.jpg", "--width", "", "--height", "1x", q(a)}, "出错！: 水印高度必须为数字！"},
  };
  for (const auto& [args, message] : cases) {
    Result r = cli(args);
    EXPECT_EQ(r.code, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
  }
  EXPECT_EQ(cli({"header", "add", "--text", "x", "--picture", "y", q(a)}).code, 2);
  EXPECT_EQ(cli({"clean", q(a)}).code, 2);
}

TEST(WatermarkSettings, SaveChecksInTheirOrderAndSizesInPoints) {
  using vm::ops::WatermarkSettings;
  auto with = [](auto change) {
    WatermarkSettings s{0, "机密", "255", 3, "50", "20", true, true};
    change(s);
    auto p = vm::ops::checkWatermark(s);
    return p ? p->text : QString();
  };
  EXPECT_EQ(with([](auto&) {}), "");
  EXPECT_EQ(with([](auto& s) { s.content = " "; s.transparency = 0; }), "请输入水印的内容！");
  EXPECT_EQ(with([](auto& s) { s.transparency = 0; s.height = ""; }), "水印透明度必须大于0！");
  EXPECT_EQ(with([](auto& s) { s.type = 1; s.transparency = 0; s.colour = ""; }), "");  // pictures need neither
  EXPECT_EQ(with([](auto& s) { s.height = ""; s.width = "x"; }), "请输入水印高度！");
  EXPECT_EQ(with([](auto& s) { s.height = "12a"; }), "水印高度必须为数字！");
  EXPECT_EQ(with([](auto& s) { s.width = " "; s.colour = ""; }), "请输入水印宽度！");
  EXPECT_EQ(with([](auto& s) { s.colour = ""; }), "请选择水印颜色！");
  EXPECT_EQ(with([](auto& s) { s.width = "0.4"; }), "水印宽度必须在1到32767毫米之间！");
  EXPECT_EQ(vm::ops::checkSizeField("12a", vm::ops::WatermarkProblem::Height)->clears, vm::ops::WatermarkProblem::Height);

  const vm::word::Watermark m = vm::ops::toWatermark({0, "机密", "16711680", 10, "50.5", "20", false, true});
  EXPECT_NEAR(m.widthPt, 141.72, 0.01);  // 50.5 mm rounds to 50 (half to even)
  EXPECT_EQ(m.colour, 0xFF0000u);
  EXPECT_EQ(m.transparency, 1.0);
  EXPECT_FALSE(m.centreHorizontally);
  EXPECT_FALSE(vm::ops::toWatermark({0, "[img]x", "1", 1, "5", "5", true, true}).formatted);
  EXPECT_EQ(vm::ops::toWatermark({1, "[img]/a.jpg[/img]", "", 0, "5", "5", true, true}).picture, "/a.jpg");
}

}  // namespace
