// The run frame with a per-document routine supplied by the test: the edge cases,
// the threads, failures, the continuation table, the busy refusal.
#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <stdexcept>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/errorlog.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/runframe.h"
#include "shelltestutil.h"
#include "word/document.h"
#include "word/error.h"
#include "support/compoundfile.h"

using vm::RunFrame;
using vm::shelltest::Folder;
using State = vm::RunFrame::State;

namespace {

// Blocks the routine at one document until the test lets it go.
struct Gate {
  QSemaphore entered;
  QSemaphore release;
  void pass() {
    entered.release();
    release.acquire();
  }
  bool waitEntered() { return entered.tryAcquire(1, 5000); }
  void open() { release.release(); }
};

class RunFrameTest : public ::testing::Test {
 protected:
  RunFrameTest() {
    dir.mkdir("log");
    QObject::connect(&frame, &RunFrame::progress, [this](int now, int all, const QString& percent) {
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
      progressNow << now;
      progressAll << all;
      percents << percent;
    });
    QObject::connect(&frame, &RunFrame::lockChanged, [this](bool locked) { locks << locked; });
    QObject::connect(&frame, &RunFrame::runFinished, [this](const vm::RunSummary& s) {
      ++finished;
      summary = s;
    });
    QObject::connect(&frame, &RunFrame::runPaused, [this] { ++pausedSignals; });
  }

  QStringList makeDocs(int n) {
    QStringList paths;
    for (int i = 0; i < n; ++i) paths << dir.touch(QStringLiteral("docs/d%1.docx").arg(i));
    list.append(paths);
    return paths;
  }

  // A routine that records the paths it was called with (and on which thread).
  vm::Operation recordingOp(const QString& id = "docT", int initialCount = 0,
                            std::function<void(const QString&)> extra = {}) {
    vm::Operation op;
    op.id = id;
    op.title = QStringLiteral("测试操作");
    op.initialCount = initialCount;
    op.perDocument = [this, extra](const QString& path) {
      {
        std::lock_guard lock(mutex);
        calls << path;
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) onMainThread = true;
      }
      if (extra) extra(path);
      return QString();
    };
    return op;
  }

  QStringList callsSoFar() {
    std::lock_guard lock(mutex);
    return calls;
  }

  // Starts a run held in the routine of the document until gate opens.
  void startHeldAt(const QString& doc, const QString& id = "docT") {
    ASSERT_TRUE(frame.start(recordingOp(id, 0, [this, doc](const QString& p) {
      if (p == doc) gate.pass();
    })));
    ASSERT_TRUE(gate.waitEntered());
  }

  // A run paused after the document.
  void pauseAfter(const QString& doc, const QString& id = "docT") {
    startHeldAt(doc, id);
    frame.pauseOrContinue();
    gate.open();
    ASSERT_TRUE(frame.waitUntilSettled(10000));
    ASSERT_EQ(frame.state(), State::Paused);
  }

  // The progress values after the start (the start's own report is the first).
  QList<int> stepsAfterStart() const { return progressNow.mid(1); }

  Folder dir;
  Gate gate;
  vm::DocumentList list;
  vm::ErrorLog log{dir.file("log/log.txt")};
  RunFrame frame{list, log};

  std::mutex mutex;
  QStringList calls;
  bool onMainThread = false;
  QList<int> progressNow, progressAll;
  QStringList percents;
  QList<bool> locks;
  int finished = 0;
  int pausedSignals = 0;
  vm::RunSummary summary;
};

}  // namespace

TEST(RunFramePercent, TwoDecimalsLocaleIndependent) {
  EXPECT_EQ(RunFrame::formatPercent(1, 3), "33.33%");
  EXPECT_EQ(RunFrame::formatPercent(2, 3), "66.67%");
  EXPECT_EQ(RunFrame::formatPercent(3, 3), "100.00%");
  EXPECT_EQ(RunFrame::formatPercent(1, 8), "12.50%");
  EXPECT_EQ(RunFrame::formatPercent(0, 0), "0%");
}

TEST_F(RunFrameTest, PlainRunOnWorkerThread) {
  const QStringList docs = makeDocs(4);
  list.setTicked(2, false);
  int closed = 0;
  frame.setStaleOfficeCloser([&] { ++closed; });
  ASSERT_TRUE(frame.start(recordingOp()));
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(frame.isBusy());
  EXPECT_TRUE(frame.isLocked());
  EXPECT_TRUE(frame.view().areaVisible);
  EXPECT_EQ(frame.view().statusText, "正在启动文档引擎……");  // until the first document is back
  EXPECT_EQ(frame.view().all, 3);
  EXPECT_EQ(frame.runSize(), 3);
  EXPECT_EQ(frame.operationId(), "docT");
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_EQ(callsSoFar(), (QStringList{docs[0], docs[1], docs[3]}));  // the unticked entry is passed over
  EXPECT_FALSE(onMainThread);
  EXPECT_EQ(progressNow, (QList<int>{0, 1, 2, 3}));
  EXPECT_EQ(percents, (QStringList{"0%", "33.33%", "66.67%", "100.00%"}));
  EXPECT_EQ(locks, (QList<bool>{true, false}));
  EXPECT_FALSE(frame.view().areaVisible);
  EXPECT_EQ(frame.view().currentPath, docs[3]);
  EXPECT_EQ(frame.currentIndex(), 3);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(summary.handled, 3);
  EXPECT_EQ(summary.failures(), 0);
  EXPECT_FALSE(summary.stopped);
  EXPECT_FALSE(summary.hasNews());
  EXPECT_FALSE(QFileInfo::exists(dir.file("log/log.txt")));  // no error, no log
}

TEST_F(RunFrameTest, InitialCountOneShowsTwoThreeAndStaysThree) {
  makeDocs(3);
  ASSERT_TRUE(frame.start(recordingOp("docYmAdd", 1)));
  EXPECT_EQ(frame.view().now, 1);
  EXPECT_EQ(frame.view().min, 1);
  EXPECT_EQ(frame.view().percent, "0%");
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(progressNow, (QList<int>{1, 2, 3, 3}));
  EXPECT_EQ(progressAll.last(), 3);
  EXPECT_EQ(frame.view().now, 3);
  EXPECT_EQ(callsSoFar().size(), 3);
}

TEST_F(RunFrameTest, MissingFilesCountedNotHandled) {
  const QStringList docs = makeDocs(3);
  ASSERT_TRUE(QFile::remove(docs[1]));
  ASSERT_TRUE(frame.start(recordingOp()));
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(callsSoFar(), (QStringList{docs[0], docs[2]}));
  EXPECT_EQ(stepsAfterStart(), (QList<int>{1, 2, 3}));
  EXPECT_EQ(summary.handled, 2);
  EXPECT_EQ(summary.missing, QStringList{docs[1]});
  EXPECT_TRUE(summary.text().contains(docs[1]));
  EXPECT_EQ(frame.currentIndex(), 2);
}

TEST_F(RunFrameTest, PauseDuringLastDocument) {
  const QStringList docs = makeDocs(3);
  startHeldAt(docs[2]);
  frame.pauseOrContinue();  // pause
  EXPECT_EQ(frame.state(), State::Pausing);
  EXPECT_EQ(frame.paused(), 1);
  EXPECT_EQ(frame.view().pauseCaption, "继续操作");
  EXPECT_TRUE(frame.view().pauseEnabled);
  EXPECT_TRUE(frame.view().stopEnabled);
  gate.open();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  // The loop ended with the pause pending: locked, shown, Paused 1, flags cleared.
  EXPECT_EQ(frame.state(), State::Paused);
  EXPECT_TRUE(frame.view().statusText.startsWith("操作已暂停"));
  EXPECT_TRUE(frame.view().stopEnabled);
  EXPECT_EQ(frame.paused(), 1);
  EXPECT_TRUE(frame.isLocked());
  EXPECT_TRUE(frame.view().areaVisible);
  EXPECT_FALSE(frame.pauseRequested());
  EXPECT_FALSE(frame.stopRequested());
  EXPECT_EQ(finished, 0);
  EXPECT_EQ(pausedSignals, 1);
  EXPECT_EQ(frame.currentIndex(), 2);
  EXPECT_EQ(locks, QList<bool>{true});
  // Continue: starts after the last entry, finds nothing, hides the area and unlocks.
  frame.pauseOrContinue();
  EXPECT_EQ(frame.paused(), 0);
  EXPECT_EQ(frame.view().pauseCaption, "暂停操作");
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_FALSE(frame.isLocked());
  EXPECT_FALSE(frame.view().areaVisible);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(callsSoFar().size(), 3);
  EXPECT_EQ(summary.handled, 3);
  EXPECT_EQ(locks, (QList<bool>{true, false}));
}

TEST_F(RunFrameTest, ContinueFromCurrentIndexPlusOneCountsMissingAgain) {
  const QStringList docs = makeDocs(3);
  ASSERT_TRUE(QFile::remove(docs[1]));
  frame.setEntryHook([&](int i) {
    if (i == 2) gate.pass();  // after the missing entry, before the flags are read for entry 2
  });
  ASSERT_TRUE(frame.start(recordingOp()));
  ASSERT_TRUE(gate.waitEntered());
  frame.pauseOrContinue();
  gate.open();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  ASSERT_EQ(frame.state(), State::Paused);
  EXPECT_EQ(frame.currentIndex(), 0);  // the last document handled
  EXPECT_EQ(stepsAfterStart(), (QList<int>{1, 2}));  // d0 and the missing d1
  EXPECT_EQ(callsSoFar(), QStringList{docs[0]});
  frame.setEntryHook({});
  frame.pauseOrContinue();  // continue from index 1: the missing entry is counted again
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_EQ(callsSoFar(), (QStringList{docs[0], docs[2]}));
  EXPECT_EQ(stepsAfterStart(), (QList<int>{1, 2, 3, 3}));  // never beyond the run size
  EXPECT_EQ(summary.missing, QStringList{docs[1]});  // listed once
  EXPECT_EQ(summary.handled, 2);
}

// Continue pressed before the worker paused just goes on; the list changed meanwhile does not
// disturb the run, which walks its own snapshot.
TEST_F(RunFrameTest, ContinueBeforeTheWorkerPausesJustGoesOnOverTheListAsItWas) {
  const QStringList docs = makeDocs(3);
  startHeldAt(docs[0]);
  list.clear();
  frame.pauseOrContinue();
  frame.pauseOrContinue();
  EXPECT_EQ(frame.state(), State::Running);
  EXPECT_EQ(frame.paused(), 0);
  gate.open();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_EQ(pausedSignals, 0);
  EXPECT_EQ(callsSoFar(), docs);
}

TEST_F(RunFrameTest, Stop) {
  const QStringList docs = makeDocs(5);
  startHeldAt(docs[1]);
  frame.stop();
  EXPECT_EQ(frame.state(), State::Stopping);
  EXPECT_TRUE(frame.stopRequested());
  EXPECT_EQ(frame.view().stopCaption, "正在停止中,请稍后...");
  EXPECT_FALSE(frame.view().stopEnabled);
  EXPECT_EQ(frame.view().stopWidth, 2500);
  EXPECT_EQ(frame.view().stopLeft, 1850);
  EXPECT_FALSE(frame.view().pauseEnabled);
  EXPECT_FALSE(frame.view().pauseVisible);
  frame.pauseOrContinue();  // ignored while stopping
  EXPECT_EQ(frame.paused(), 0);
  gate.open();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_FALSE(frame.isLocked());
  EXPECT_FALSE(frame.view().areaVisible);
  EXPECT_FALSE(frame.stopRequested());
  EXPECT_EQ(callsSoFar(), (QStringList{docs[0], docs[1]}));
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(summary.stopped);
  EXPECT_EQ(summary.handled, 2);
  EXPECT_TRUE(summary.text().contains("已停止"));

  // The next run starts with the flags cleared and the buttons reset.
  calls.clear();
  ASSERT_TRUE(frame.start(recordingOp()));
  EXPECT_EQ(frame.view().stopCaption, "停止操作");
  EXPECT_EQ(frame.view().stopWidth, 1215);
  EXPECT_EQ(frame.view().stopLeft, 1320);
  EXPECT_TRUE(frame.view().pauseVisible);
  EXPECT_TRUE(frame.view().currentPath.isEmpty());
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(callsSoFar().size(), 5);
  EXPECT_FALSE(summary.stopped);
}

TEST_F(RunFrameTest, ThrowingDocumentsAreLoggedAndTheRunGoesOn) {
  QStringList docs = makeDocs(5);
  // Real engine failures: the user reads the table's text, the detail goes to the log only.
  dir.touch("docs/d2.docx", QByteArray::fromStdString(vm::test::compoundFile(
                                {{"EncryptionInfo", std::string(200, '\x04')}, {"EncryptedPackage", "x"}})));
  dir.touch("docs/d3.docx", "just some text, not a package");
  vm::Operation op;
  op.id = "docT";
  op.title = "测试操作";
  op.perDocument = [&](const QString& p) -> QString {
    if (p == docs[0]) throw std::runtime_error("disk full");
    if (p == docs[1]) throw 42;
    if (p == docs[2] || p == docs[3]) vm::word::open(p.toStdString());
    return QStringLiteral("替换 2 处");
  };
  ASSERT_TRUE(frame.start(op));
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_FALSE(frame.isLocked());
  EXPECT_EQ(summary.handled, 5);
  ASSERT_EQ(summary.failures(), 4);
  const auto failed = summary.failed();
  EXPECT_EQ(failed[0].path, docs[0]);
  EXPECT_EQ(failed[0].message, "处理文档时出错");  // the library's English goes to the log only
  EXPECT_EQ(failed[1].message, "未知错误");
  using vm::word::ErrorCode;
  EXPECT_EQ(failed[2].message.toStdString(), vm::word::userText(ErrorCode::PasswordRequired));
  EXPECT_EQ(failed[3].message.toStdString(), vm::word::userText(ErrorCode::NotAZip));
  EXPECT_EQ(frame.currentIndex(), 4);
  EXPECT_EQ(stepsAfterStart(), (QList<int>{1, 2, 3, 4, 5}));
  const QString text = summary.text();
  EXPECT_TRUE(text.contains("失败 4 个")) << text.toStdString();
  EXPECT_TRUE(text.contains(docs[4] + "：替换 2 处")) << text.toStdString();
  EXPECT_FALSE(text.contains("OLE") || text.contains("zip", Qt::CaseInsensitive)) << text.toStdString();
  EXPECT_TRUE(summary.hasNews());
  // The log holds the last failure only, with its detail and the document's path as context.
  const QList<QByteArray> lines = vm::shelltest::readAll(dir.file("log/log.txt")).split('\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(lines[2].startsWith(failed[3].message.toUtf8() + "（")) << lines[2].toStdString();
  EXPECT_TRUE(lines[2].contains("Not a zip archive")) << lines[2].toStdString();
  EXPECT_TRUE(lines[2].endsWith(("：" + docs[3] + "\r").toUtf8())) << lines[2].toStdString();
}

TEST_F(RunFrameTest, StartDuringARunIsRefused) {
  startHeldAt(makeDocs(2)[0]);
  QString refusal;
  EXPECT_FALSE(frame.start(recordingOp("docOther"), &refusal));
  EXPECT_EQ(refusal, "当前有批量操作正在进行，请等待其完成或停止后再开始新的操作！");
  vm::RecordingPrompter prompter;
  EXPECT_TRUE(frame.refuseIfBusy(prompter));
  ASSERT_EQ(prompter.entries.size(), 1);
  EXPECT_EQ(prompter.last().title, "出错了！");
  EXPECT_EQ(prompter.last().text, vm::msg::runBusy());
  EXPECT_EQ(frame.operationId(), "docT");  // the running run is not disturbed
  frame.pauseOrContinue();
  gate.open();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  ASSERT_EQ(frame.state(), State::Paused);
  EXPECT_FALSE(frame.start(recordingOp("docOther"), &refusal));  // a paused run is a run
  // Stop on a paused run ends it at once.
  frame.stop();
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_FALSE(frame.isLocked());
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(summary.stopped);
  EXPECT_FALSE(frame.refuseIfBusy(prompter));
  EXPECT_TRUE(frame.start(recordingOp()));
  ASSERT_TRUE(frame.waitUntilSettled(10000));
}

TEST_F(RunFrameTest, RegisteredContinuationIsCalled) {
  const QStringList docs = makeDocs(4);
  int continued = 0;
  frame.registerContinuation("docR", [&](RunFrame& f) {
    ++continued;
    f.resume(f.operation(), f.runSize(), f.currentIndex() + 1);
  });
  EXPECT_TRUE(frame.hasContinuation("docR"));
  pauseAfter(docs[1], "docR");
  EXPECT_EQ(frame.currentIndex(), 1);
  frame.pauseOrContinue();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(continued, 1);
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_EQ(callsSoFar(), docs);
  EXPECT_EQ(stepsAfterStart(), (QList<int>{1, 2, 3, 4}));
  EXPECT_EQ(summary.handled, 4);
}

TEST_F(RunFrameTest, ContinuationThatStartsNothingEndsTheRun) {
  frame.registerContinuation("docFgwd", [](RunFrame&) {});
  pauseAfter(makeDocs(3)[0], "docFgwd");
  frame.pauseOrContinue();
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_FALSE(frame.isLocked());  // continuing must not leave the interface locked
  EXPECT_FALSE(frame.view().areaVisible);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(callsSoFar().size(), 1);
}

TEST_F(RunFrameTest, EmptyListRunsToTheEndAndAMissingRoutineIsRefused) {
  ASSERT_TRUE(frame.start(recordingOp()));
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(frame.state(), State::Idle);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(summary.runSize, 0);
  makeDocs(1);
  vm::Operation op;
  op.id = "docT";
  QString refusal;
  EXPECT_FALSE(frame.start(op, &refusal));
  EXPECT_FALSE(refusal.isEmpty());
  EXPECT_EQ(frame.state(), State::Idle);
}

TEST_F(RunFrameTest, DestroyingAFrameStopsItsWorker) {
  const QStringList docs = makeDocs(3);
  int after = 0;
  {
    RunFrame local(list, log);
    ASSERT_TRUE(local.start(recordingOp("docT", 0, [&](const QString& p) {
      if (p == docs[0]) gate.pass();
      else ++after;
    })));
    ASSERT_TRUE(gate.waitEntered());
    std::thread opener([&] {
      QThread::msleep(200);
      gate.open();
    });
    opener.detach();
  }  // sets the stop flag and joins: the loop ends before the next entry
  EXPECT_EQ(after, 0);
}

TEST_F(RunFrameTest, EachFileOnceAPerRunAndBeginFinishSteps) {
  // A symbolic link and a hard link beside their file: the file is worked on once.
  const QStringList docs = makeDocs(2);
  ASSERT_TRUE(QFile::link(docs[0], dir.file("docs/sym.docx")));
  ASSERT_EQ(::link(QFile::encodeName(docs[1]).constData(), QFile::encodeName(dir.file("docs/hard.docx")).constData()), 0);
  list.append({dir.file("docs/sym.docx"), dir.file("docs/hard.docx")});
  QStringList steps;
  vm::Operation op = recordingOp();
  op.begin = [&] { steps << "begin"; };
  op.finish = [&](bool stopped) {
    steps << (stopped ? "stopped" : "finish");
    return QStringLiteral("目标已保存");
  };
  ASSERT_TRUE(frame.start(op));
  ASSERT_TRUE(frame.waitUntilSettled(5000));
  EXPECT_EQ(callsSoFar(), docs);
  ASSERT_EQ(summary.skipped.size(), 2);
  EXPECT_TRUE(summary.skipped[0].message.contains(QStringLiteral("第 1 个文档"))) << summary.skipped[0].message.toStdString();
  EXPECT_EQ(progressNow.last(), 4);  // skipped entries count in the progress
  EXPECT_EQ(steps, (QStringList{"begin", "finish"}));
  EXPECT_TRUE(summary.text().contains(QStringLiteral("目标已保存")));

  // A failing begin: no document is worked on, the run ends with the failure reported.
  calls.clear();
  op.begin = [] { throw std::runtime_error("目标无法打开"); };
  ASSERT_TRUE(frame.start(op));
  ASSERT_TRUE(frame.waitUntilSettled(5000));
  EXPECT_TRUE(callsSoFar().isEmpty());
  EXPECT_EQ(summary.failures(), 1);
  EXPECT_EQ(frame.state(), State::Idle);
}

TEST_F(RunFrameTest, SideBySideRunReportsInListOrderAndPausesAfterTheDocumentsInHand) {
  frame.setMaxWorkers(3);
  const QStringList docs = makeDocs(12);
  QFile::remove(docs[7]);  // a missing file counts in its place
  QStringList handled;
  QObject::connect(&frame, &RunFrame::documentHandled,
                   [&](int, const QString& path, bool, const QString&) { handled << path; });
  std::atomic<int> inFlight{0}, mostAtOnce{0};
  vm::Operation op = recordingOp("docT", 0, [&](const QString& p) {
    const int now = ++inFlight;
    for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
    }
    if (p == docs[4]) gate.pass();
    ::usleep(static_cast<useconds_t>((12 - docs.indexOf(p)) * 2000));  // early ones finish last
    --inFlight;
  });
  op.independent = true;
  ASSERT_TRUE(frame.start(op));
  ASSERT_TRUE(gate.waitEntered());
  frame.pauseOrContinue();
  gate.open();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  ASSERT_EQ(frame.state(), State::Paused);
  // Nothing started after the pause; everything started finished and was reported in order.
  const int started = frame.currentIndex() + 1;
  EXPECT_GE(started, 5);
  EXPECT_EQ(callsSoFar().size(), started);
  EXPECT_EQ(handled, docs.mid(0, started));
  frame.pauseOrContinue();
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  ASSERT_EQ(frame.state(), State::Idle);
  QStringList expected = docs;
  expected.removeAt(7);
  EXPECT_EQ(handled, expected);
  EXPECT_EQ(callsSoFar().size(), 11);  // each once
  EXPECT_EQ(summary.missing, QStringList{docs[7]});
  EXPECT_GT(mostAtOnce.load(), 1);
  for (int i = 1; i < stepsAfterStart().size(); ++i) EXPECT_GT(stepsAfterStart()[i], stepsAfterStart()[i - 1]);
  EXPECT_EQ(stepsAfterStart().last(), 12);
}

TEST(RunFrameList, EachDocumentShowsHowItCameOutUntilTheNextRun) {
  Folder dir;
  vm::RecordingPrompter prompter;
  auto app = vm::AppContext::create(dir.file("home"), prompter);
  ASSERT_TRUE(app);
  const QString ok = dir.touch("ok.docx"), bad = dir.touch("bad.docx");
  app->documents().append(QStringList{ok, bad, dir.file("gone.docx")});
  vm::Operation op;
  op.id = "docT";
  op.perDocument = [&](const QString& path) -> QString {
    if (path == bad) throw std::runtime_error("坏了");
    return QStringLiteral("替换 2 处");
  };
  auto shown = [&](int i) { return app->documents().data(app->documents().index(i), Qt::DisplayRole).toString(); };
  ASSERT_TRUE(app->runFrame().start(op));
  ASSERT_TRUE(app->runFrame().waitUntilSettled(10000));
  EXPECT_EQ(shown(0), ok + QStringLiteral("　——　完成：替换 2 处"));
  EXPECT_EQ(shown(1), bad + QStringLiteral("　——　失败：坏了"));
  EXPECT_EQ(shown(2), dir.file("gone.docx") + QStringLiteral("　——　文档不存在"));
  app->documents().setTicked(0, false);
  app->documents().setTicked(1, false);
  ASSERT_TRUE(app->runFrame().start(op));
  EXPECT_EQ(shown(0), ok);  // cleared as the next run starts
  ASSERT_TRUE(app->runFrame().waitUntilSettled(10000));
}
