// vellumark-cli replace --rules FILE [--dry-run] PATH..., in process: the rule file through
// the add validation, the start command's refusals and question, the per-document counts,
// dry runs, failures.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QString>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <filesystem>

#include "clitestutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "support/testimages.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class ReplaceCli : public ::testing::Test {
 protected:
  std::filesystem::path doc(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(dir_.file(name).parent_path());
    return DocxBuilder().body(p(r(text))).write(dir_.file(name));
  }
  QString ruleFile(const std::string& content) {
    writeFile(dir_.file("rules.txt"), content);
    return q(dir_.file("rules.txt"));
  }
  // Runs the command line with the data folder in the temporary folder and only .docx added.
  Result cli(const QStringList& args) { return runCli(dir_.file("home"), args); }
  static std::string body(const std::filesystem::path& path) { return partText(readPart(path, "word/document.xml")); }

  TempDir dir_;
};

}  // namespace

TEST_F(ReplaceCli, ReplacesAndPrintsEachDocumentWithItsCount) {
  auto a = doc("a.docx", "甲方与甲方");
  auto b = doc("b.docx", "nothing");
  const std::string before = readFile(b);
  Result r = cli({"--yes", "replace", "--rules", ruleFile("# rules\n甲方\t委托方\n"), q(a), q(b)});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(body(a), "委托方与委托方");
  EXPECT_EQ(readFile(b), before);
  EXPECT_TRUE(r.out.contains(q(a) + QStringLiteral("：替换 2 处"))) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(q(b) + QStringLiteral("：替换 0 处"))) << r.out.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("你确认开始按照规则替换文档了吗？")));
  // --dry-run counts without saving; without --yes the question is cancelled.
  const std::string replaced = readFile(a);
  const QString back = ruleFile("委托方\t甲方\n");
  r = cli({"--yes", "replace", "--dry-run", "--rules", back, q(a)});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains(q(a) + QStringLiteral("：替换 2 处"))) << r.out.toStdString();
  EXPECT_EQ(cli({"replace", "--rules", back, q(a)}).code, 1);
  EXPECT_EQ(readFile(a), replaced);
}

TEST_F(ReplaceCli, RefusedRulePrintsTitleAndTextAndExits1) {
  auto a = doc("a.docx", "abc");
  const std::string before = readFile(a);
  Result r = cli({"--yes", "replace", "--rules", ruleFile("a\tb\nabc\t abc \n"), q(a)});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains(QStringLiteral("出错！: 要替换的和被替换为内容不允许相同！"))) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("第 2 行")));
  EXPECT_EQ(readFile(a), before);

  // A rule given twice is skipped and said, not a refusal of the whole file.
  r = cli({"--yes", "replace", "--rules", ruleFile("ab\tx\nab\ty\n"), q(a)});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.err.contains(QStringLiteral("第 2 行“ab”与已有规则重复，已跳过"))) << r.err.toStdString();
  EXPECT_EQ(body(a), "xc");
}

TEST_F(ReplaceCli, StartCommandRefusalsExit1) {
  auto a = doc("a.docx", "abc");
  std::filesystem::create_directories(dir_.file("empty"));
  const struct {
    std::string rules;
    QString path;
    const char* refusal;
  } cases[] = {
      {"# nothing but a comment\n", q(a), "请先配置替换规则！"},
      {"a\tb\t0\n", q(a), "请勾选你要替换的规则！"},
      // A folder without documents of the chosen suffix leaves the list empty.
      {"a\tb\n", q(dir_.file("empty")), "请先添加文档，并勾选你要操作的文档！"},
  };
  for (const auto& c : cases) {
    Result r = cli({"--yes", "replace", "--rules", ruleFile(c.rules), c.path});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("出错了！: ") + QString::fromUtf8(c.refusal))) << r.err.toStdString();
  }
}

TEST_F(ReplaceCli, UntickedRulesAndPictures) {
  writeFile(dir_.file("logo.png"), png(30, 10));
  auto a = doc("a.docx", "one two LOGO");
  Result r = cli({"--yes", "replace", "--rules",
                  ruleFile("one\t1\t0\ntwo\t2\nlogo\t[img]" + dir_.file("logo.png").string() + "[/img]\n"), q(a)});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(body(a), "one 2 ");
  EXPECT_NE(readPart(a, "word/document.xml").find("<w:drawing"), std::string::npos);
  EXPECT_TRUE(r.out.contains(q(a) + QStringLiteral("：替换 2 处")));
}

TEST_F(ReplaceCli, FolderTreeAndFailures) {
  auto a = doc("docs/a.docx", "a");
  auto b = doc("docs/sub/b.docx", "a");
  writeFile(dir_.file("docs/bad.docx"), "not a package");
  Result r = cli({"--yes", "--recursive", "replace", "--rules", ruleFile("a\tz\n"), q(dir_.file("docs"))});
  EXPECT_EQ(r.code, 3) << r.err.toStdString();
  EXPECT_EQ(body(a), "z");
  EXPECT_EQ(body(b), "z");
  EXPECT_EQ(readFile(dir_.file("docs/bad.docx")), "not a package");
  EXPECT_TRUE(r.out.contains(q(dir_.file("docs/bad.docx")))) << r.out.toStdString();
}

TEST_F(ReplaceCli, UsageErrors) {
  auto a = doc("a.docx", "a");
  EXPECT_EQ(cli({"--yes", "replace", q(a)}).code, 2);                                   // no --rules
  EXPECT_EQ(cli({"--yes", "replace", "--rules", ruleFile("a\tb\n")}).code, 2);          // no PATH
  for (const char* jobs : {"0", "x", "257"}) EXPECT_EQ(cli({"--jobs", jobs, "--yes", "replace", "--rules", ruleFile("a\tb\n"), q(a)}).code, 2);
  // A rule file that is missing, a folder, a device that never ends or a FIFO nobody writes:
  // a refusal at once, the document untouched.
  ASSERT_EQ(::mkfifo(dir_.file("fifo").c_str(), 0600), 0);
  for (const QString& rules : {q(dir_.file("missing.txt")), q(dir_.file("")), QString("/dev/zero"), q(dir_.file("fifo"))}) {
    Result r = cli({"--yes", "replace", "--rules", rules, q(a)});
    EXPECT_EQ(r.code, 1) << rules.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("出错！: 无法读取规则文件"))) << r.err.toStdString();
  }
  EXPECT_EQ(body(a), "a");
}

// Side by side or one after the other: the same bytes, the same report in list order.
TEST_F(ReplaceCli, SeveralWorkersWriteWhatOneWrites) {
  std::vector<std::filesystem::path> one, four;
  for (int i = 0; i < 12; ++i) {
    const std::string text = "甲方第" + std::to_string(i) + "条" + std::string(i * 50, 'x') + "甲方";
    one.push_back(doc("one/" + std::to_string(i) + ".docx", text));
    four.push_back(doc("four/" + std::to_string(i) + ".docx", text));
  }
  const QString rules = ruleFile("甲方\t委托方\n");
  Result a = cli({"--jobs", "1", "--yes", "replace", "--rules", rules, q(dir_.file("one"))});
  Result b = cli({"--yes", "--jobs=4", "replace", "--rules", rules, q(dir_.file("four"))});
  ASSERT_EQ(a.code, 0) << a.err.toStdString();
  ASSERT_EQ(b.code, 0) << b.err.toStdString();
  EXPECT_EQ(QString(a.out).replace("/one/", "/x/"), QString(b.out).replace("/four/", "/x/"));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(readFile(one[i]), readFile(four[i])) << i;
  EXPECT_EQ(body(four[3]), "委托方第3条" + std::string(150, 'x') + "委托方");
}

// For scripts: paths from standard input and a JSON line per document, then the summary.
TEST_F(ReplaceCli, JsonLinesAndPathsFromStandardInput) {
  auto a = doc("a.docx", "甲方与甲方");
  auto b = doc("b b.docx", "nothing");
  std::filesystem::path gone = dir_.file("gone.docx");
  for (bool nul : {false, true}) {
    QString input = q(a) + (nul ? QChar(0) : QChar('\n')) + q(b) + (nul ? QChar(0) : QChar('\n'));
    QTextStream in(&input);
    QStringList args{"--json", "--yes"};
    if (nul) args << "--null";
    const Result r = runCli(dir_.file("home"), args + QStringList{"replace", "--rules", ruleFile("甲方\t委托方\n"), "-"}, &in);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(first["path"].toString(), q(a));
    EXPECT_TRUE(first["ok"].toBool());
    EXPECT_EQ(first["count"].toInt(), nul ? 0 : 2);  // the second pass finds nothing left
    EXPECT_EQ(QJsonDocument::fromJson(lines[1].toUtf8()).object()["path"].toString(), q(b));
    const QJsonObject summary = QJsonDocument::fromJson(lines[2].toUtf8()).object();
    EXPECT_TRUE(summary["summary"].toBool());
    EXPECT_EQ(summary["handled"].toInt(), 2);
    EXPECT_EQ(summary["failed"].toInt(), 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("文档替换已完成"))) << r.err.toStdString();
  }
}
