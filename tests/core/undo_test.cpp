// Taking a run back: vellumark-cli runs / undo after replace runs, in process.
#include <gtest/gtest.h>

#include <filesystem>

#include "clitestutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class Undo : public ::testing::Test {
 protected:
  Result cli(const QStringList& args) { return runCli(dir_.file("home"), QStringList{"--yes"} + args); }
  std::filesystem::path doc(const std::string& name, const std::string& text) {
    return DocxBuilder().body(p(r(text))).write(dir_.file(name));
  }
  TempDir dir_;
};

}  // namespace

TEST_F(Undo, RestoresWhatTheRunLeftAndNeverALaterEdit) {
  writeFile(dir_.file("rules.txt"), "甲方\t委托方\n");
  auto a = doc("a.docx", "甲方一"), b = doc("b.docx", "甲方二"), c = doc("c.docx", "甲方三");
  std::filesystem::create_hard_link(a, dir_.file("a-link.docx"));  // saved in place: kept by a copy
  const std::string a0 = readFile(a);
  Result run = cli({"--jobs", "2", "replace", "--rules", q(dir_.file("rules.txt")), q(a), q(b), q(c)});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  ASSERT_TRUE(run.err.contains("vellumark-cli undo ")) << run.err.toStdString();
  const QString id = run.err.section("vellumark-cli undo ", 1).trimmed();
  EXPECT_TRUE(cli({"runs"}).out.startsWith(id + '\t'));
  ASSERT_NE(readFile(a), a0);

  writeFile(b, "a later edit");
  std::filesystem::remove(c);
  Result undo = cli({"undo"});
  EXPECT_EQ(undo.code, 3) << undo.out.toStdString();  // not everything could go back
  EXPECT_EQ(readFile(a), a0);
  EXPECT_EQ(readFile(dir_.file("a-link.docx")), a0);
  EXPECT_EQ(readFile(b), "a later edit");
  EXPECT_FALSE(std::filesystem::exists(c));
  EXPECT_TRUE(undo.out.contains(q(b) + "：文档在这次操作之后又被修改过，未恢复")) << undo.out.toStdString();
  EXPECT_TRUE(undo.out.contains(q(c) + "：文档不存在，未恢复"));

  EXPECT_EQ(cli({"undo", id}).code, 1);          // once only
  EXPECT_EQ(cli({"undo", "../../etc"}).code, 1);  // a run id names a run, nothing else
  EXPECT_TRUE(cli({"runs"}).out.contains("已撤销"));
}

TEST_F(Undo, RemovesTheFilesARunCreatedWhileUnchanged) {
  writeFile(dir_.file("rules.txt"), "甲方\t委托方\n");
  std::filesystem::create_directories(dir_.file("out"));
  auto a = doc("a.docx", "合同"), b = doc("b.docx", "协议");
  Result run = cli({"rename", "--pattern", "copy-[$ID$].docx", "--out", q(dir_.file("out")), "--rules",
                    q(dir_.file("rules.txt")), q(a), q(b)});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  ASSERT_TRUE(std::filesystem::exists(dir_.file("out/copy-1.docx")));
  writeFile(dir_.file("out/copy-2.docx"), "kept: changed since");
  EXPECT_EQ(cli({"undo"}).code, 3);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out/copy-1.docx")));
  EXPECT_EQ(readFile(dir_.file("out/copy-2.docx")), "kept: changed since");
  EXPECT_TRUE(std::filesystem::exists(a));
}

TEST_F(Undo, KeepsOnlyTheNewestRuns) {
  writeFile(dir_.file("rules.txt"), "甲\t乙\n乙\t甲\n");
  std::filesystem::create_directories(dir_.file("home"));
  writeFile(dir_.file("home/config.ini"), "[run]\nkeep=2\n");
  auto a = doc("a.docx", "甲");
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(cli({"replace", "--rules", q(dir_.file("rules.txt")), q(a)}).code, 0);
  EXPECT_EQ(cli({"runs"}).out.trimmed().split('\n').size(), 2);
  EXPECT_EQ(cli({"undo"}).code, 0);  // the newest still goes back
}
