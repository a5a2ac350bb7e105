// The write password of a Word 97-2003 .doc through the command line and the office: set,
// refused with a wrong old one or a too long new one (the document unchanged), then removed.

#include <gtest/gtest.h>

#include "clitestutil.h"
#include "officeopsutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/docreservation.h"
#include "word/document.h"

using namespace vm::test;
using vm::clitest::q;

TEST(DocPassword, SetCheckedAndRemovedThroughTheCommand) {
  TempDir dir;
  const auto doc = vm::officeops::asDoc(DocxBuilder().body(p(r("正文"))).write(dir.file("memo.docx")));
  auto cli = [&](const QStringList& args) {
    return vm::clitest::runCli(dir.file("home"), QStringList{"--yes", "--suffix", "doc", "password"} + args + QStringList{q(doc)});
  };
  auto set = cli({"--new", "密码1"});
  ASSERT_EQ(set.code, 0) << set.out.toStdString() << set.err.toStdString();
  EXPECT_EQ(vm::word::docWriteReservation(readFile(doc)), "密码1");
  const std::string locked = readFile(doc);
  const std::pair<QStringList, QString> refused[] = {
      {{"--old", "密码2", "--new", "x"}, "原密码不正确"},
      {{"--old", "密码1", "--new", "1234567890123456"}, "15 个字符"}};
  for (const auto& [args, message] : refused) {
    auto r = cli(args);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.contains(message)) << r.out.toStdString();
    EXPECT_EQ(readFile(doc), locked);
  }
  ASSERT_EQ(cli({"--old", "密码1"}).code, 0);
  EXPECT_EQ(vm::word::docWriteReservation(readFile(doc)), std::nullopt);
}
