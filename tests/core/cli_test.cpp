// The command line: `vellumark-cli list` as a process on temporary folders (exit codes 0, 1
// and 2), the argument parser, and the shared runner in process.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <stdexcept>

#include "app/appcontext.h"
#include "cli/registry.h"
#include "cli/runner.h"
#include "cli/streamprompter.h"
#include "shelltestutil.h"
#include "support/docxbuilder.h"
#include "word/error.h"

using vm::shelltest::Folder;

namespace {

QString cliPath() {
  const QString forced = qEnvironmentVariable("VM_CLI");
  if (!forced.isEmpty()) return forced;
  return QCoreApplication::applicationDirPath() + "/../src/vellumark-cli";
}

struct Result {
  int code = -1;
  QString out, err;
  QStringList lines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

Result runCli(const QStringList& args, const QMap<QString, QString>& env = {}, const QString& cwd = {}) {
  QProcess p;
  if (!cwd.isEmpty()) p.setWorkingDirectory(cwd);
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  e.insert("VELLUMARK_NO_OFFICE", "1");  // deterministic default suffixes unless a test says otherwise
  for (auto it = env.begin(); it != env.end(); ++it) e.insert(it.key(), it.value());
  p.setProcessEnvironment(e);
  p.start(cliPath(), args);
  Result r;
  if (!p.waitForStarted(10000)) {
    ADD_FAILURE() << "cannot start " << cliPath().toStdString() << " (build the vellumark-cli target)";
    return r;
  }
  p.waitForFinished(30000);
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

class CliProcess : public ::testing::Test {
 protected:
  CliProcess() {
    docs.touch("a.doc");
    docs.touch("b.docx");
    docs.touch("c.ocx");
    docs.touch("REPORT.DOC");
    docs.touch(".hidden.docx");
    docs.touch("sub/x.docx");
    docs.touch(QString(21, 'n') + "/too-deep.docx");
  }
  QStringList base() const { return {"--home", home.file("data")}; }
  Folder home, docs;
};

}  // namespace

TEST_F(CliProcess, InfoTellsNoneFromNotSupported) {
  // Without the office the docx back end counts headers and footers; pages, comments and
  // pictures it cannot count, and says so instead of printing 0.
  using namespace vm::test;
  DocxBuilder().body(p(r("x"))).header(p(r("h"))).write(docs.file("h.docx").toStdString());
  Result r = runCli(base() + QStringList{"info", docs.file("h.docx")});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("页数：不支持")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("页眉：1  页脚：0  批注：不支持  图片：不支持")) << r.out.toStdString();
}

// The README's way to spread a batch over machines, with this machine as both "hosts": GNU
// parallel hands each a share of the paths on standard input.
TEST_F(CliProcess, SharesOfABatchThroughGnuParallel) {
  if (QProcess::execute("sh", {"-c", "command -v parallel >/dev/null"}) != 0) GTEST_SKIP() << "no GNU parallel";
  using namespace vm::test;
  QDir().mkpath(docs.file("share"));
  for (int i = 0; i < 6; ++i)
    DocxBuilder().body(p(r("甲方" + std::to_string(i)))).write(docs.file(QString("share/%1.docx").arg(i)).toStdString());
  docs.touch("rules.txt", "甲方\t委托方\n");
  const QString command =
      QString("find '%1' -name '*.docx' | parallel --will-cite --pipe -N 2 -j 2 --sshlogin : VELLUMARK_NO_OFFICE=1 "
              "'%2' --home '%3' --yes --json replace --rules '%4' - 2>/dev/null")
          .arg(docs.file("share"), cliPath(), home.file("data"), docs.file("rules.txt"));
  QProcess sh;
  sh.start("sh", {"-c", command});
  ASSERT_TRUE(sh.waitForFinished(60000));
  EXPECT_EQ(sh.exitCode(), 0);
  const QString out = QString::fromUtf8(sh.readAllStandardOutput());
  EXPECT_EQ(out.count("\"summary\":true"), 3) << out.toStdString();
  EXPECT_EQ(out.count("\"count\":1"), 6) << out.toStdString();
}

// The list in its order: a folder by suffix, the tree add (no hidden file, long folder names
// entered) then files on their own (a.doc does not qualify and says so), relative paths, the
// default suffix without the office, the data folder from the environment.
TEST_F(CliProcess, ListsPathsInOrderAndMakesTheDataFolder) {
  const QString b = docs.file("b.docx");
  const struct {
    QStringList args;
    QStringList lines;
    QString cwd;
    QMap<QString, QString> env;
  } cases[] = {
      {base() + QStringList{"--suffix", "doc,docx", "list", docs.path()}, {docs.file("REPORT.DOC"), docs.file("a.doc"), b}},
      {base() + QStringList{"--recursive", "--suffix=docx", "list", docs.path(), b, docs.file("a.doc")},
       {b, docs.file(QString(21, 'n') + "/too-deep.docx"), docs.file("sub/x.docx"), b}},
      {base() + QStringList{"--suffix", "docx", "list", "sub", "./b.docx"}, {docs.file("sub/x.docx"), b}, docs.path()},
      {base() + QStringList{"list", docs.path() + "/"}, {b}},
      {{"list", b}, {b}, {}, {{"VELLUMARK_HOME", home.file("env-data")}}},
  };
  for (const auto& c : cases) {
    Result r = runCli(c.args, c.env, c.cwd);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.lines(), c.lines) << c.args.join(' ').toStdString();
    EXPECT_EQ(r.err.contains(QStringLiteral("文件后缀名不是所选的文档后缀名")), &c == &cases[1]) << r.err.toStdString();
  }
  EXPECT_TRUE(QFileInfo(home.file("data/config.ini")).isFile());  // made at the first start
  EXPECT_TRUE(QFileInfo(home.file("data/log")).isDir());
  EXPECT_TRUE(QFileInfo(home.file("env-data/config.ini")).isFile());
}

TEST_F(CliProcess, Refusals) {
  Result r = runCli(base() + QStringList{"--suffix", "", "list", docs.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.trimmed(), "出错了！: 请先选择文档后缀名！");
  EXPECT_TRUE(r.out.isEmpty());
  r = runCli(base() + QStringList{"list", docs.file("nothing-here.docx")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.startsWith("出错了！: ")) << r.err.toStdString();
  // A data folder that cannot be created.
  r = runCli(QStringList{"--home", docs.file("b.docx") + "/data", "list", docs.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.trimmed().startsWith("出错！: 无法创建数据文件夹")) << r.err.toStdString();
}

TEST_F(CliProcess, UsageErrors) {
  for (const QStringList& args : {QStringList{}, QStringList{"list"}, QStringList{"frobnicate", "x"},
                                  QStringList{"--bogus", "list", "x"}, QStringList{"--suffix", "txt", "list", "x"},
                                  QStringList{"--home"}}) {
    Result r = runCli(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("Usage: vellumark-cli")) << args.join(' ').toStdString();
  }
  Result help = runCli({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.contains("docx otherwise"));
  EXPECT_TRUE(help.out.contains("list PATH..."));
}

TEST(CliParser, OptionsAnywhere) {
  vm::cli::ParsedArgs p;
  QString error;
  vm::cli::CliRegistry reg;
  reg.add({"op", "[--copies N] PATH...", "test", {{"copies", true, "N", ""}, {"dry-run", false, "", ""}}, 1, {}});
  ASSERT_TRUE(vm::cli::parseArgs({"-y", "op", "a", "--copies", "3", "--dry-run", "-r", "--", "--b"}, reg, &p, &error))
      << error.toStdString();
  EXPECT_TRUE(p.yes);
  EXPECT_TRUE(p.recursive);
  EXPECT_EQ(p.command, "op");
  EXPECT_EQ(p.value("copies"), "3");
  EXPECT_TRUE(p.has("dry-run"));
  EXPECT_EQ(p.paths, (QStringList{"a", "--b"}));
  EXPECT_FALSE(vm::cli::parseArgs({"op", "a", "--copies"}, reg, &p, &error));
  EXPECT_FALSE(vm::cli::parseArgs({"op", "a", "--dry-run=1"}, reg, &p, &error));
  EXPECT_FALSE(vm::cli::parseArgs({"op"}, reg, &p, &error));  // PATH needed
  QString list;
  EXPECT_TRUE(vm::cli::parseSuffix("docx,doc", &list, &error));
  EXPECT_EQ(list, "doc,docx,");
  EXPECT_TRUE(vm::cli::parseSuffix("", &list, &error));
  EXPECT_EQ(list, "");
  EXPECT_FALSE(vm::cli::parseSuffix("DOC", &list, &error));
}

TEST(CliPrompter, YesAndNoTerminal) {
  QString text;
  QTextStream err(&text);
  vm::cli::StreamPrompter yes(err, true);
  EXPECT_TRUE(yes.ask("确认", "你确认开始吗？"));
  vm::cli::StreamPrompter no(err, false);
  EXPECT_FALSE(no.ask("确认", "你确认开始吗？"));
  no.inform("出错了！", "请先添加文档，并勾选你要操作的文档！");
  err.flush();
  EXPECT_TRUE(text.contains("出错了！: 请先添加文档，并勾选你要操作的文档！\n"));
  QString answer = "y\n";
  QTextStream in(&answer);
  vm::cli::StreamPrompter asked(err, false, &in, true);
  EXPECT_TRUE(asked.ask("确认", "?"));
}

namespace {

struct InProcess {
  Folder home;
  QString outText, errText;
  QTextStream out{&outText}, err{&errText};
  vm::cli::StreamPrompter prompter{err, true};
  std::unique_ptr<vm::AppContext> app = vm::AppContext::create(home.file("data"), prompter);
  vm::cli::CliContext ctx{*app, prompter, out, err, {}};
  // Fills the list with the folder's .docx files, as the command's PATH does.
  int add(const QString& folder) {
    ctx.args.suffixGiven = true;
    ctx.args.suffix = "docx";
    ctx.args.paths = {folder};
    return vm::cli::addDocuments(ctx);
  }
};

}  // namespace

TEST(CliRunner, RunsAnOperationAndReportsFailures) {
  InProcess t;
  Folder docs;
  docs.touch("a.docx");
  docs.touch("b.docx");
  docs.touch("c.docx");
  ASSERT_EQ(t.add(docs.path()), 0);
  t.app->documents().setTicked(0, false);
  vm::cli::tickAll(t.ctx);  // every document of the command
  vm::Operation op;
  op.id = "docT";
  op.title = "测试";
  op.perDocument = [&](const QString& p) -> QString {
    if (p.endsWith("b.docx")) throw vm::word::EngineError(vm::word::ErrorCode::DamagedPart, "word/document.xml: bad");
    return "ok";
  };
  EXPECT_EQ(vm::cli::runOperation(t.ctx, op), vm::cli::kExitFailures);
  t.out.flush();
  t.err.flush();
  EXPECT_TRUE(t.errText.contains("[1/3 33.33%] " + docs.file("a.docx"))) << t.errText.toStdString();
  EXPECT_TRUE(t.errText.contains("[2/3 66.67%] " + docs.file("b.docx") + " -- 失败：文档内容已损坏，无法读取")) << t.errText.toStdString();
  EXPECT_TRUE(t.outText.contains(docs.file("b.docx") + "：文档内容已损坏，无法读取")) << t.outText.toStdString();
  EXPECT_FALSE(t.outText.contains("document.xml: bad"));  // the detail is for the log
  // The log has the failure with the path.
  EXPECT_TRUE(vm::shelltest::readAll(t.home.file("data/log/log.txt")).contains(docs.file("b.docx").toUtf8()));

  op.perDocument = [](const QString&) { return QString(); };
  EXPECT_EQ(vm::cli::runOperation(t.ctx, op), vm::cli::kExitOk);
}

TEST(CliRunner, CtrlCTermAndHupStopTheRunWithExitOne) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    InProcess t;
    Folder docs;
    for (int i = 0; i < 5; ++i) docs.touch(QStringLiteral("d%1.docx").arg(i));
    ASSERT_EQ(t.add(docs.path()), 0);
    std::atomic<int> calls{0};
    vm::Operation op;
    op.id = "docT";
    op.perDocument = [&](const QString&) {
      if (calls++ == 0) {
        std::raise(sig);
        QThread::msleep(400);  // the stop button is pressed before the next entry
      }
      return QString();
    };
    // Untouched documents remain: a script must not take the run as done.
    EXPECT_EQ(vm::cli::runOperation(t.ctx, op), vm::cli::kExitRefused) << sig;
    EXPECT_EQ(calls.load(), 1) << sig;
    t.out.flush();
    t.err.flush();
    EXPECT_TRUE(t.outText.contains("已停止")) << sig;
    EXPECT_EQ(t.errText.count(QStringLiteral("正在停止")), 1) << t.errText.toStdString();
  }
}

TEST(CliRunner, NoDocumentsRefused) {
  InProcess t;
  vm::Operation op;
  op.id = "docT";
  op.perDocument = [](const QString&) { return QString(); };
  EXPECT_EQ(vm::cli::runOperation(t.ctx, op), vm::cli::kExitRefused);
  t.err.flush();
  EXPECT_TRUE(t.errText.contains("出错了！: 请先添加文档，并勾选你要操作的文档！"));
}

TEST(CliRunner, InProcessRun) {
  Folder home, docs;
  docs.touch("one.docx");
  QString outText, errText;
  QTextStream out(&outText), err(&errText);
  const int code =
      vm::cli::run({"vellumark-cli", "--home", home.file("d"), "--suffix", "docx", "list", docs.path()}, out, err);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(outText, docs.file("one.docx") + "\n");
}
