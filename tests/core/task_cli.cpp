// vellumark-cli task ...: a task saved from a command's own options and PATHs is stored exactly,
// listed, shown, run as a batch and deleted; refusals and store failures are clear messages.

#include <gtest/gtest.h>

#include <QString>

#include "clitestutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "tasks/taskstore.h"

using namespace vm::test;
using vm::clitest::q;
using vm::clitest::Result;
using vm::clitest::runCli;

namespace {

class TaskCli : public ::testing::Test {
 protected:
  std::filesystem::path doc(const std::string& name, const std::string& text) {
    return DocxBuilder().body(p(r(text))).write(dir_.file(name));
  }
  QString rules(const std::string& content) {
    writeFile(dir_.file("rules.txt"), content);
    return q(dir_.file("rules.txt"));
  }
  Result cli(const QStringList& args) { return runCli(dir_.file("home"), args); }
  std::string body(const std::filesystem::path& path) { return partText(readPart(path, "word/document.xml")); }
  QString save(const QString& name, const QStringList& paths) {
    Result r = cli(QStringList{"task", "save", name, "--kind", "replace", "--rules", rules("O'Neil \"x\"\t甲'方\n")} + paths);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return r.out.trimmed();
  }
  TempDir dir_;
};

}  // namespace

TEST_F(TaskCli, SavedReplaceTaskIsListedShownRunAndDeleted) {
  auto a = doc("it's.docx", "O'Neil \"x\" signs");
  const QString id = save(QStringLiteral(" 续约 '2027' "), {q(a)});
  ASSERT_FALSE(id.isEmpty());
  Result list = cli({"task", "list"});
  EXPECT_EQ(list.out, id + QStringLiteral("\treplace\t 续约 '2027' \n"));  // the name as typed
  Result show = cli({"task", "show", id});
  EXPECT_TRUE(show.out.contains(QStringLiteral("文档\t") + q(a) + "\n")) << show.out.toStdString();
  EXPECT_TRUE(show.out.contains(QStringLiteral("规则\tO'Neil \"x\"\t甲'方\n"))) << show.out.toStdString();

  Result run = cli({"task", "run", id});  // no question in a batch
  EXPECT_EQ(run.code, 0) << run.err.toStdString();
  EXPECT_EQ(body(a), "甲'方 signs");
  EXPECT_TRUE(run.err.contains(QStringLiteral("当前正在处理第1项任务...")));
  EXPECT_FALSE(run.err.contains(QStringLiteral("你确认")));

  EXPECT_EQ(cli({"task", "delete", id}).code, 1);  // the question, answered Cancel without --yes
  EXPECT_EQ(cli({"--yes", "task", "delete", id}).code, 0);
  EXPECT_TRUE(cli({"task", "list"}).out.isEmpty());
  Result gone = cli({"task", "run", id});
  EXPECT_EQ(gone.code, 1);
  EXPECT_TRUE(gone.err.contains(QStringLiteral("任务不存在：") + id));
}

TEST_F(TaskCli, BatchRunsByNameAndGoesOnPastAFailingTask) {
  auto a = doc("a.docx", "O'Neil \"x\"");
  auto b = doc("b.docx", "O'Neil \"x\"");
  save(QStringLiteral("one"), {q(a)});
  const QString twice1 = save(QStringLiteral("twice"), {q(b)});
  const QString twice2 = save(QStringLiteral("twice"), {q(b)});
  Result ambiguous = cli({"task", "run", "twice"});
  EXPECT_EQ(ambiguous.code, 1);
  EXPECT_TRUE(ambiguous.err.contains(twice1) && ambiguous.err.contains(twice2)) << ambiguous.err.toStdString();
  std::filesystem::remove(a);  // its task reports the missing document; the next one still runs
  Result run = cli({"task", "run", "one", twice2});
  EXPECT_EQ(body(b), "甲'方");
  EXPECT_TRUE(run.out.contains(QStringLiteral("文档不存在")) || run.out.contains(q(a))) << run.out.toStdString();
  EXPECT_TRUE(run.err.contains(QStringLiteral("当前正在处理第2项任务...")));
}

TEST_F(TaskCli, SaveRefusals) {
  auto a = doc("a.docx", "x");
  Result noName = cli({"task", "save", "  ", "--kind", "replace", "--rules", rules("a\tb\n"), q(a)});
  EXPECT_EQ(noName.code, 1);
  EXPECT_TRUE(noName.err.contains(QStringLiteral("出错了！: 请输入任务名称！"))) << noName.err.toStdString();
  Result noRules = cli({"task", "save", "n", "--kind", "replace", "--rules", rules("# none\n"), q(a)});
  EXPECT_TRUE(noRules.err.contains(QStringLiteral("请配置好文档替换规则！"))) << noRules.err.toStdString();
  EXPECT_EQ(cli({"task", "save", "n", "--kind", "merge", q(a)}).code, 2);
  Result foreign = cli({"task", "save", "n", "--kind", "replace", "--rules", rules("a\tb\n"), "--copies", "2", q(a)});
  EXPECT_EQ(foreign.code, 2);
  EXPECT_TRUE(cli({"task", "list"}).out.isEmpty());
}

TEST_F(TaskCli, CompactAndImport) {
  save(QStringLiteral("kept"), {q(doc("a.docx", "x"))});
  Result compact = cli({"task", "compact"});
  EXPECT_EQ(compact.code, 0);
  EXPECT_TRUE(compact.out.contains(QStringLiteral("数据库压缩成功！")));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("home/backup.db")));
  // An Access file without the task tables, and no file at all: a reason, nothing imported.
  Result other = cli({"task", "import", QStringLiteral(VM_CORPUS_DIR "/databases/nwind.mdb")});
  EXPECT_EQ(other.code, 1);
  EXPECT_TRUE(other.err.contains(QStringLiteral("这不是任务数据库：缺少表 tid"))) << other.err.toStdString();
  Result missing = cli({"task", "import", q(dir_.file("none.mdb"))});
  EXPECT_TRUE(missing.err.contains(QStringLiteral("文件不存在"))) << missing.err.toStdString();
  EXPECT_EQ(cli({"task", "list"}).out.count('\n'), 1);
}

// A generate task brings its own data source: a batch run uses it whatever the settings held,
// and a task with two template rows is skipped, the list left as it was.
TEST_F(TaskCli, GenerateTaskUsesItsOwnSourceAndTwoTemplatesAreSkipped) {
  auto templ = doc("t.docx", "Dear [who]");
  std::filesystem::create_directories(dir_.file("out"));
  writeFile(dir_.file("data.csv"), "name\nO'Hara\n");
  Result saved = cli({"task", "save", "gen", "--kind", "generate", "--template", q(templ), "--source",
                      q(dir_.file("data.csv")), "--sql", "select name from data", "--name", "$[WDCon_1]$.docx", "--out",
                      q(dir_.file("out")), "--rules", rules("[who]\t$[WDCon_1]$\n")});
  ASSERT_EQ(saved.code, 0) << saved.err.toStdString();
  const QString id = saved.out.trimmed();
  Result run = cli({"task", "run", id});
  EXPECT_EQ(run.code, 0) << run.err.toStdString();
  EXPECT_EQ(body(dir_.file("out/O'Hara.docx")), "Dear O'Hara");

  Result bad = cli({"task", "save", "two", "--kind", "generate", "--template", q(templ), "--source", q(dir_.file("data.csv")),
                    "--sql", "select nope from data", "--name", "x.docx", "--out", q(dir_.file("out")), "--rules",
                    rules("[who]\t$[WDCon_1]$\n")});
  EXPECT_EQ(bad.code, 1);
  EXPECT_TRUE(bad.err.contains(QStringLiteral("SQL语句执行错误，请检查SQL语句！"))) << bad.err.toStdString();

  auto stored = vm::tasks::TaskStore(q(dir_.file("home/config.db"))).load(id);
  ASSERT_TRUE(stored);
  stored->id = QStringLiteral("20261299999");
  stored->documents << q(doc("t2.docx", "x"));
  ASSERT_TRUE(vm::tasks::TaskStore(q(dir_.file("home/config.db"))).insert(*stored));
  std::filesystem::remove(dir_.file("out/O'Hara.docx"));
  Result two = cli({"task", "run", stored->id, id});
  EXPECT_TRUE(two.err.contains(QStringLiteral("出错！: 多个模板文档！"))) << two.err.toStdString();
  EXPECT_EQ(two.code, 1);
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/O'Hara.docx")));  // the next task still ran
}
