// Printing to a real print queue: the print server is started with a queue whose backend keeps
// every job (tests/print/printqueue.sh; root only, skipped otherwise). What arrives is read back:
// a PDF with the document's pages, orientation and margins, the job's copies; the file on disk
// stays as it was; a document that vanished mid-run is reported and the run goes on.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <filesystem>

#include "app/appcontext.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "clitestutil.h"
#include "officeopsutil.h"
#include "ops/print.h"
#include "rules/replacerules.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;
using namespace vm::officeops;
using vm::clitest::q;

namespace {

struct Job {
  fs::path pdf;
  QString info;  // copies=…, title=…, options=…
  int pages() const { return pdfPages(pdf); }
  bool landscape() const {
    const QStringList w = QString::fromStdString(pdfinfo(pdf, "Page size")).split(' ');  // W x H pts
    return w.size() >= 3 && w[0].toDouble() > w[2].toDouble();
  }
  // The leftmost and topmost text of page 1, in points.
  std::pair<double, double> textOrigin() const {
    static const QRegularExpression word(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)")re");
    double x = 1e9, y = 1e9;
    for (auto m = word.globalMatch(pdftotext("-bbox -f 1 -l 1")); m.hasNext();) {
      const QRegularExpressionMatch w = m.next();
      x = std::min(x, w.captured(1).toDouble());
      y = std::min(y, w.captured(2).toDouble());
    }
    return {x, y};
  }
  QString text() const { return pdftotext(""); }
  QString pdftotext(const std::string& options) const {
    return QString::fromStdString(shell("pdftotext " + options + " '" + pdf.string() + "' -"));
  }
};

class PrintRun : public ::testing::Test {
 protected:
  // A queue and a job folder of the test's own: tests may run side by side.
  void SetUp() override {
    if (pdfinfoMissing()) GTEST_SKIP() << "poppler-utils is not installed";
    queue_ = "vellumark-" + QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    jobs_ = QDir::tempPath() + "/" + queue_;
    QDir(jobs_).removeRecursively();
    const fs::path script = fs::path(__FILE__).parent_path().parent_path() / "print" / "printqueue.sh";
    QProcess p;
    p.start("sh", {q(script), queue_, jobs_});
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
      GTEST_SKIP() << "no print queue (needs root and the print server): " << p.readAllStandardError().toStdString();
    app_ = vm::AppContext::create(q(dir_.file("home")), prompter_);
    ASSERT_TRUE(app_);
    app_->store<vm::ops::PrintSettings>().printer = queue_;
  }
  void TearDown() override {
    if (!queue_.isEmpty()) QProcess::execute("lpadmin", {"-x", queue_});
  }
  // The jobs that arrived, in the order the server numbered them.
  QList<Job> newJobs(int expected) {
    QElapsedTimer t;
    t.start();
    QStringList names;
    while (t.elapsed() < 60000) {
      names = QDir(jobs_).entryList({"*.pdf"});
      if (names.size() >= expected) break;
      QThread::msleep(200);
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    QList<Job> out;
    for (const QString& name : names) {
      const QString base = jobs_ + "/" + name.chopped(4);
      QFile f(base + ".txt");
      f.open(QIODevice::ReadOnly);
      out << Job{(base + ".pdf").toStdString(), QString::fromUtf8(f.readAll())};
    }
    return out;
  }
  vm::StartOutcome start(const char* menuItem) {
    vm::OperationEnv env{*app_, prompter_, {}};
    const vm::OperationDecl* decl = vm::operations().forMenuItem(menuItem);
    return decl ? vm::startOperation(*decl, env, vm::word::installedFeatures()) : vm::StartOutcome::Refused;
  }

  QString queue_, jobs_;
  TempDir dir_;
  vm::RecordingPrompter prompter_;
  std::unique_ptr<vm::AppContext> app_;
};

TEST_F(PrintRun, EachDocumentArrivesAsAPdfWithTheSettingsAndTheFileStaysAsItWas) {
  const fs::path two = DocxBuilder().body(p(r("第一页")) + p(kBreak + r("第二页"))).write(dir_.file("two.docx"));
  const fs::path gone = DocxBuilder().body(p(r("x"))).write(dir_.file("gone.docx"));
  const fs::path corpus = fs::path(VM_CORPUS_DIR) / "apache-poi/test-data/document/Headers.docx";  // 3 pages
  if (!fs::exists(corpus)) GTEST_SKIP() << corpus;
  fs::copy_file(corpus, dir_.file("headers.docx"));
  const std::string before = readFile(dir_.file("headers.docx"));
  app_->documents().append({q(two), q(gone), q(dir_.file("headers.docx"))});

  auto& s = app_->store<vm::ops::PrintSettings>();
  s.copies = "2";
  s.landscape = true;
  s.customMargins = true;
  s.top = "15", s.bottom = "15", s.left = "20", s.right = "20";
  vm::RunFrame& frame = app_->runFrame();
  frame.setEntryHook([&](int index) {
    if (index == 1) fs::remove(gone);
  });
  ASSERT_EQ(start("m_startPrint"), vm::StartOutcome::Started);
  ASSERT_TRUE(frame.waitUntilSettled(300000));
  frame.setEntryHook({});

  const vm::RunSummary& summary = frame.lastSummary();
  EXPECT_EQ(summary.failures(), 0) << summary.text().toStdString();
  EXPECT_EQ(summary.missing, QStringList{q(gone)});
  const QList<Job> jobs = newJobs(2);
  ASSERT_EQ(jobs.size(), 2);
  EXPECT_TRUE(jobs[0].info.contains("title=two.docx")) << jobs[0].info.toStdString();
  EXPECT_TRUE(jobs[1].info.contains("title=headers.docx")) << jobs[1].info.toStdString();
  const int pages[] = {2, 3};
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(jobs[i].info.contains("copies=2")) << jobs[i].info.toStdString();
    EXPECT_EQ(jobs[i].pages(), pages[i]);
    EXPECT_TRUE(jobs[i].landscape());
  }
  // 20 mm left and 15 mm top are 56.7 and 42.5 points
  const auto [x, y] = jobs[0].textOrigin();
  EXPECT_NEAR(x, 56.7, 1.5);
  EXPECT_NEAR(y, 42.5, 3.0);
  EXPECT_TRUE(jobs[0].text().contains(QStringLiteral("第二页")));
  EXPECT_EQ(readFile(dir_.file("headers.docx")), before);
}

TEST_F(PrintRun, ReplaceThenPrintSendsTheEditedDocumentsInListOrder) {
  for (const char* name : {"a.docx", "b.docx"})
    DocxBuilder().body(p(r(std::string("甲方签字 ") + name))).write(dir_.file(name));
  app_->documents().append({q(dir_.file("a.docx")), q(dir_.file("b.docx"))});
  ASSERT_FALSE(app_->replaceRules().add("甲方", "委托方"));
  prompter_.answer = true;
  ASSERT_EQ(start("m_rep_print"), vm::StartOutcome::Started);
  ASSERT_TRUE(app_->runFrame().waitUntilSettled(300000));
  const vm::RunSummary& summary = app_->runFrame().lastSummary();
  EXPECT_EQ(summary.failures(), 0) << summary.text().toStdString();
  ASSERT_EQ(summary.earlierPasses.size(), 1u);  // the replace pass, then this print pass
  EXPECT_EQ(summary.operationId, vm::ops::kPrintOperationId);
  const QList<Job> jobs = newJobs(2);
  ASSERT_EQ(jobs.size(), 2);
  EXPECT_TRUE(jobs[0].text().contains(QStringLiteral("委托方签字 a.docx"))) << jobs[0].text().toStdString();
  EXPECT_TRUE(jobs[1].text().contains(QStringLiteral("委托方签字 b.docx"))) << jobs[1].text().toStdString();
}

TEST_F(PrintRun, RefusedWithoutTickedDocumentsOrAPrinterOfThatName) {
  EXPECT_EQ(start("m_startPrint"), vm::StartOutcome::Refused);
  EXPECT_EQ(prompter_.last().text, QStringLiteral("没有可以打印的文档！\n\n请先添加文档,然后勾选你要打印的文档！"));
  app_->documents().append({q(DocxBuilder().body(p(r("x"))).write(dir_.file("x.docx")))});
  app_->store<vm::ops::PrintSettings>().printer = "no-such-queue";
  EXPECT_EQ(start("m_startPrint"), vm::StartOutcome::Refused);
  EXPECT_TRUE(prompter_.last().text.contains("no-such-queue"));
}

// Generate and print: one document per row into the output folder, then every document of that
// folder is printed, one that was there before included.
TEST_F(PrintRun, GenerateThenPrintPrintsTheWholeOutputFolder) {
  const fs::path out = dir_.file("out");
  fs::create_directories(out);
  DocxBuilder().body(p(r("旧文档"))).write(out / "旧.docx");
  writeFile(dir_.file("客户.csv"), "姓名\n张三\n李四\n");
  const fs::path templ = DocxBuilder().body(p(r("尊敬的【姓名】"))).write(dir_.file("模板.docx"));
  app_->documents().append({q(templ)});
  ASSERT_FALSE(app_->replaceRules().add("【姓名】", "$[WDCon_1]$"));
  vm::Settings& g = app_->settings();
  g.fileBatchName = "$[WDCon_1]$.docx";
  g.fileSavePath = q(out) + "/";
  g.dbPath = q(dir_.file("客户.csv"));
  g.dbSql = "select * from 客户";
  prompter_.answer = true;
  ASSERT_EQ(start("m_create_print"), vm::StartOutcome::Started);
  ASSERT_TRUE(app_->runFrame().waitUntilSettled(300000));
  EXPECT_EQ(app_->runFrame().lastSummary().failures(), 0) << app_->runFrame().lastSummary().text().toStdString();
  EXPECT_EQ(app_->documents().entryCount(), 3);  // the list now holds the output folder
  const QList<Job> jobs = newJobs(3);
  ASSERT_EQ(jobs.size(), 3);
  QString all;
  for (const Job& j : jobs) all += j.text();
  for (const char* t : {"尊敬的张三", "尊敬的李四", "旧文档"}) EXPECT_TRUE(all.contains(QString::fromUtf8(t))) << t;
}

}  // namespace
