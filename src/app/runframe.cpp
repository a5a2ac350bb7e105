#include "app/runframe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <map>
#include <new>
#include <mutex>
#include <thread>
#include <vector>

#include "app/documentlist.h"
#include "app/errorlog.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/runjournal.h"
#include "word/error.h"
#include "word/safesave.h"

namespace vm {

// --- RunSummary --------------------------------------------------------------------------------

int RunSummary::failures() const { return static_cast<int>(failed().size()); }

QList<DocumentResult> RunSummary::failed() const {
  QList<DocumentResult> r;
  for (const RunSummary& pass : earlierPasses) r << pass.failed();
  for (const DocumentResult& d : results)
    if (!d.ok) r << d;
  return r;
}

bool RunSummary::hasNews() const {
  for (const RunSummary& pass : earlierPasses)
    if (pass.hasNews()) return true;
  if (failures() > 0 || !missing.isEmpty() || !skipped.isEmpty()) return true;
  for (const DocumentResult& r : results)
    if (!r.message.isEmpty()) return true;
  return false;
}

QString RunSummary::text() const {
  QString before;
  for (const RunSummary& pass : earlierPasses) before += pass.text() + QStringLiteral("\n\n");
  return before + passText();
}

QString RunSummary::passText() const {
  const QString name = title.isEmpty() ? QStringLiteral("批量操作") : title;
  int failedCount = 0;
  for (const DocumentResult& r : results) failedCount += r.ok ? 0 : 1;
  QString t = stopped ? QStringLiteral("%1已停止。").arg(name) : QStringLiteral("%1已完成。").arg(name);
  t += QStringLiteral("\n共 %1 个文档，已处理 %2 个：成功 %3 个，失败 %4 个。")
           .arg(runSize)
           .arg(handled)
           .arg(handled - failedCount)
           .arg(failedCount);
  if (!missing.isEmpty()) t += QStringLiteral("\n%1 个文档不存在，已跳过。").arg(missing.size());
  if (!skipped.isEmpty()) t += QStringLiteral("\n%1 个文档与列表中前面的文档是同一个文件，已跳过。").arg(skipped.size());
  if (failedCount > 0) {
    t += QStringLiteral("\n\n处理失败的文档：");
    for (const DocumentResult& r : results)
      if (!r.ok) t += QStringLiteral("\n%1：%2").arg(r.path, r.message);
  }
  if (!missing.isEmpty()) {
    t += QStringLiteral("\n\n不存在的文档：");
    for (const QString& p : missing) t += QLatin1Char('\n') + p;
  }
  if (!skipped.isEmpty()) {
    t += QStringLiteral("\n\n跳过的文档：");
    for (const DocumentResult& r : skipped) t += QStringLiteral("\n%1：%2").arg(r.path, r.message);
  }
  bool header = false;
  for (const DocumentResult& r : results) {
    if (!r.ok || r.message.isEmpty()) continue;
    if (!header) {
      t += QStringLiteral("\n\n各文档结果：");
      header = true;
    }
    t += QStringLiteral("\n%1：%2").arg(r.path, r.message);
  }
  return t;
}

// --- RunFrame ----------------------------------------------------------------------------------

struct RunFrame::Worker {
  std::thread thread;
  // Guards the pause decision: the worker taking a pause and the button continuing must not
  // both act on the same request.
  std::mutex mutex;
  bool active = false;
};

namespace {

QString describe(const std::exception& e) { return QString::fromUtf8(e.what()); }

bool hasChinese(const QString& s) {
  for (QChar c : s)
    if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
  return false;
}

// Runs a step of the operation; a failure becomes its message. The engine's technical detail
// goes to *logDetail only, never to what the user reads.
bool guarded(const std::function<QString()>& step, QString* message, QString* logDetail) {
  try {
    *message = step();
    return true;
  } catch (const vm::word::EngineError& err) {
    *message = QString::fromStdString(err.userMessage());
    if (!err.detail().empty()) *logDetail = QStringLiteral("（%1）").arg(QString::fromStdString(err.detail()));
  } catch (const std::bad_alloc&) {
    *message = QStringLiteral("内存不足，文档未处理");
  } catch (const std::exception& err) {
    *message = describe(err);
    // A library's own (English) text is for the log; the user reads Chinese.
    if (!message->isEmpty() && !hasChinese(*message)) {
      *logDetail = QStringLiteral("（%1）").arg(*message);
      *message = QStringLiteral("处理文档时出错");
    }
    if (message->isEmpty()) *message = QStringLiteral("未知错误");
  } catch (...) {
    *message = QStringLiteral("未知错误");
  }
  return false;
}

}  // namespace

RunFrame::RunFrame(DocumentList& list, ErrorLog& log, QObject* parent)
    : QObject(parent), list_(list), log_(log), worker_(std::make_unique<Worker>()) {
  qRegisterMetaType<vm::RunSummary>();
  qRegisterMetaType<vm::RunView>();
  qRegisterMetaType<vm::RunFrame::State>();
  resetButtons();
}

RunFrame::~RunFrame() {
  stopRequested_ = true;
  pauseRequested_ = false;
  joinWorker();
}

void RunFrame::registerContinuation(const QString& id, Continuation c) { continuations_[id] = std::move(c); }

bool RunFrame::hasContinuation(const QString& id) const { return continuations_.count(id) != 0; }

void RunFrame::setStaleOfficeCloser(std::function<void()> closer) { closeStaleOffices_ = std::move(closer); }

bool RunFrame::refuseIfBusy(Prompter& prompter) const {
  if (!isBusy()) return false;
  prompter.inform(msg::titleRefused(), msg::runBusy());
  return true;
}

QString RunFrame::formatPercent(int now, int all) {
  if (all <= 0) return QStringLiteral("0%");
  return QString::number(100.0 * now / all, 'f', 2) + QLatin1Char('%');
}

void RunFrame::resetButtons() {
  view_.stopCaption = msg::stopCaption();
  view_.stopEnabled = true;
  view_.stopVisible = true;
  view_.stopWidth = 1215;
  view_.stopLeft = 1320;
  view_.pauseCaption = msg::pauseCaption();
  view_.pauseEnabled = true;
  view_.pauseVisible = true;
  view_.currentPath.clear();
}

void RunFrame::publish() { emit viewChanged(view_); }

void RunFrame::setState(State s) {
  if (state_ == s) return;
  state_ = s;
  emit stateChanged(s);
}

void RunFrame::setLocked(bool locked) {
  if (view_.locked == locked) return;
  view_.locked = locked;
  emit lockChanged(locked);
}

bool RunFrame::start(const Operation& op, QString* refusal) {
  if (isBusy()) {
    if (refusal) *refusal = msg::runBusy();
    return false;
  }
  if (!op.perDocument && !op.perItem) {
    if (refusal) *refusal = QStringLiteral("没有可执行的文档操作！");
    return false;
  }
  // Cleared at every run start (a flag left from a run whose worker never read it must not leak).
  stopRequested_ = false;
  pauseRequested_ = false;
  paused_ = 0;
  currentIndex_ = -1;
  beginDone_ = false;
  finishDone_ = false;
  filesSeen_.clear();
  // Close a running office that Vellumark left behind.
  if (closeStaleOffices_) {
    try {
      closeStaleOffices_();
    } catch (...) {
    }
  }
  resetButtons();
  journal_.reset();
  if (!runsFolder_.isEmpty()) journal_ = RunJournal::begin(runsFolder_, op.id, op.title);
  summary_ = RunSummary{};
  startPass(op);
  return true;
}

// One pass of a run: the first, or the next of a run of several (locked since the first; the
// journal and the earlier passes' summaries go on).
void RunFrame::startPass(const Operation& op) {
  operation_ = op;
  currentIndex_ = -1;
  beginDone_ = false;
  finishDone_ = false;
  filesSeen_.clear();
  std::vector<RunSummary> earlier = std::move(summary_.earlierPasses);
  if (!summary_.operationId.isEmpty()) {
    earlier.push_back(std::move(summary_));
    earlier.back().earlierPasses.clear();
  }
  const int size = op.perItem ? int(op.items.size()) : list_.tickedCount();
  runSize_ = size;
  view_.all = size;
  view_.now = op.initialCount;
  view_.min = op.initialCount;
  view_.percent = QStringLiteral("0%");
  progressValue_ = op.initialCount;
  summary_ = RunSummary{};
  summary_.operationId = op.id;
  summary_.title = op.title;
  summary_.runSize = size;
  summary_.earlierPasses = std::move(earlier);
  missingSeen_.clear();
  setLocked(true);
  view_.areaVisible = true;
  // The first document starts the engine (the office takes seconds): say so, not an idle 0 %.
  view_.statusText = msg::engineStarting();
  emit runStarted(op.id, size, op.initialCount);
  emit progress(view_.now, view_.all, view_.percent);
  launch(op, size, 0);
  publish();
}

bool RunFrame::resume(const Operation& op, int runSize, int startIndex) {
  if (state_ != State::Paused && state_ != State::Pausing) return false;
  {
    std::lock_guard lock(worker_->mutex);
    if (worker_->active) return false;
  }
  if (!op.perDocument && !op.perItem) return false;
  operation_ = op;
  runSize_ = runSize;
  view_.all = runSize;
  summary_.runSize = runSize;
  view_.areaVisible = true;
  view_.statusText = msg::runWorking();
  setLocked(true);
  launch(op, runSize, startIndex);
  publish();
  return true;
}

void RunFrame::joinWorker() {
  if (worker_ && worker_->thread.joinable()) worker_->thread.join();
}

void RunFrame::launch(const Operation& op, int runSize, int startIndex) {
  joinWorker();
  const int generation = ++generation_;
  QVector<DocumentEntry> entries;
  if (op.perItem) {
    for (const QString& item : op.items) {
      DocumentEntry e;
      e.path = item;
      e.ticked = true;
      entries << e;
    }
  } else {
    entries = list_.snapshot();
  }
  {
    std::lock_guard lock(worker_->mutex);
    worker_->active = true;
  }
  setState(State::Running);
  word::SaveObserver* journal = journal_.get();
  worker_->thread = std::thread([this, op, entries, runSize, startIndex, generation, hook = entryHook_, journal] {
    word::setSaveObserver(journal);  // every file the run saves goes into its undo journal
    auto post = [this](auto fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); };
    const int from = startIndex < 1 ? 0 : startIndex;
    bool broken = false;  // begin failed: no document is worked on
    if (op.begin && !beginDone_.exchange(true)) {
      DocumentResult result;
      result.path = op.title;
      QString logDetail;
      result.ok = guarded([&] { op.begin(); return QString(); }, &result.message, &logDetail);
      if (!result.ok) {
        broken = true;
        finishDone_ = true;  // nothing to finish
        log_.writeEntry(result.message + logDetail + QStringLiteral("："), op.title);
        post([this, result] { onStepFailed(result); });
      }
    }
    // One list entry: the identity check, then the routine. Returns what to post.
    struct Outcome {
      enum Kind { Unticked, Skipped, Done } kind = Unticked;
      DocumentResult result;
      bool exists = false;
    };
    auto check = [&](int i, Outcome& o) -> bool {  // false: nothing to work on
      const DocumentEntry& e = entries[i];
      if (!e.ticked) return false;
      o.result.index = i;
      o.result.path = e.path;
      if (op.perItem) {
        o.kind = Outcome::Done;
        return o.exists = true;
      }
      o.exists = QFileInfo::exists(e.path);
      // Another path to a file this run already worked on (a link, a hard link): once only.
      o.kind = o.exists && !firstPathToFile(e.path, i, &o.result.message) ? Outcome::Skipped : Outcome::Done;
      return o.kind == Outcome::Done && o.exists;
    };
    auto work = [&](Outcome& o) {
      QString logDetail;
      o.result.ok = guarded([&] { return op.perItem ? op.perItem(o.result.index) : op.perDocument(o.result.path); },
                            &o.result.message, &logDetail);
      if (!o.result.ok) log_.writeEntry(o.result.message + logDetail + QStringLiteral("："), o.result.path);
    };
    // Saves held for one flush (see word::SaveGroup) are put in place when a thread has held
    // 64 documents or a quarter of a second after its first held one was done, and before it
    // stops, pauses or runs out of documents; only then are those documents handed on.
    const bool grouped = op.groupSaves;
    using Clock = std::chrono::steady_clock;
    struct Held {  // one thread's
      word::SaveGroup group;
      std::vector<Outcome> outcomes;
      Clock::time_point since;
    };
    auto settle = [&](Held& held, const auto& handOn) {
      held.group.commit();
      for (auto& [tag, error] : held.group.takeFailures())
        for (Outcome& o : held.outcomes)
          if (o.result.index == tag && o.result.ok) {
            QString logDetail;
            o.result.ok = guarded([&]() -> QString { std::rethrow_exception(error); }, &o.result.message, &logDetail);
            log_.writeEntry(o.result.message + logDetail + QStringLiteral("："), o.result.path);
          }
      for (Outcome& o : held.outcomes) handOn(o);
      held.outcomes.clear();
    };
    auto hold = [&](Held& held, const Outcome& o, const auto& handOn) {  // hands o on, or holds it
      if (!grouped) return handOn(o);
      if (held.outcomes.empty()) held.since = Clock::now();
      held.outcomes.push_back(o);
      if (held.outcomes.size() >= 64 || Clock::now() - held.since >= std::chrono::milliseconds(250)) settle(held, handOn);
    };
    auto report = [&](const Outcome& o) {  // in list order
      if (o.kind == Outcome::Unticked) return;
      // Missing files count in the progress too; the progress never exceeds the run size.
      if (progressValue_ <= runSize - 1) ++progressValue_;
      const int now = progressValue_;
      if (o.kind == Outcome::Skipped)
        post([this, result = o.result, now] { onSkipped(result, now); });
      else
        post([this, result = o.result, exists = o.exists, now] { onDocument(0, result, exists, now); });
    };
    // Whether to take entry i: false on stop, or on a pause (consumed at once when take is
    // true, as one worker does; else left for the caller to take once the documents in hand
    // are done).
    auto mayStart = [&](int i, bool consumePause) -> int {  // 1 go on, 0 stop, -1 pause
      if (hook) hook(i);
      if (stopRequested_.load()) return 0;
      std::lock_guard lock(worker_->mutex);
      if (!pauseRequested_.load()) return 1;
      if (consumePause) {
        pauseRequested_ = false;
        stopRequested_ = false;
        worker_->active = false;
      }
      return -1;
    };
    const int workers = op.independent ? std::max(1, maxWorkers_.load()) : 1;
    if (workers == 1) {
      Held held;
      if (grouped) word::setSaveGroup(&held.group);
      auto settleHeld = [&] {
        settle(held, report);
        word::setSaveGroup(nullptr);
      };
      for (int i = from; !broken && i < entries.size(); ++i) {
        const int go = mayStart(i, true);
        if (go == 0) break;
        if (go < 0) {
          settleHeld();
          post([this, generation] { onWorkerDone(generation, true, false); });
          return;
        }
        Outcome o;
        if (check(i, o)) {
          held.group.setTag(i);
          work(o);
          currentIndex_ = i;
        }
        hold(held, o, report);
      }
      settleHeld();
    } else {
      // Several documents at once; each is reported in list order, as one worker does.
      std::mutex m;
      int next = from, nextToReport = from;
      bool halted = false, pausing = false;
      std::map<int, Outcome> finished;
      auto flush = [&] {  // under m
        for (auto it = finished.find(nextToReport); it != finished.end(); it = finished.find(++nextToReport)) {
          report(it->second);
          finished.erase(it);
        }
      };
      auto take = [&](Outcome& o) -> bool {
        std::lock_guard lock(m);
        while (!halted && next < entries.size()) {
          const int i = next;
          const int go = mayStart(i, false);
          if (go <= 0) {
            halted = true;
            pausing = go < 0;
            break;
          }
          ++next;
          o = Outcome{};
          if (check(i, o)) {
            currentIndex_ = std::max(currentIndex_.load(), i);
            return true;
          }
          finished[i] = o;
          flush();
        }
        return false;
      };
      while (!broken) {
        std::vector<std::thread> pool;
        for (int w = 0; w < workers; ++w)
          pool.emplace_back([&] {
            word::setSaveObserver(journal);
            Held held;
            if (grouped) word::setSaveGroup(&held.group);
            auto handOn = [&](const Outcome& o) {
              std::lock_guard lock(m);
              finished[o.result.index] = o;
              flush();
            };
            Outcome o;
            while (take(o)) {
              held.group.setTag(o.result.index);
              work(o);
              hold(held, o, handOn);
            }
            settle(held, handOn);
            word::setSaveGroup(nullptr);
          });
        for (std::thread& t : pool) t.join();
        if (!pausing) break;
        {
          std::lock_guard lock(worker_->mutex);
          if (pauseRequested_.load()) {  // still wanted once the documents in hand are done
            pauseRequested_ = false;
            stopRequested_ = false;
            worker_->active = false;
            post([this, generation] { onWorkerDone(generation, true, false); });
            return;
          }
        }
        halted = pausing = false;  // continued before the pause was taken
      }
    }
    bool pausePending = false;
    bool stopped = false;
    {
      std::lock_guard lock(worker_->mutex);
      pausePending = pauseRequested_.load() && !broken;
      stopped = stopRequested_.load();
      pauseRequested_ = false;
      stopRequested_ = false;
    }
    // The run ends here (not at a pause): the finish step runs on this worker.
    if (!pausePending && op.finish) runFinishStep(op, stopped, true);
    {
      std::lock_guard lock(worker_->mutex);
      worker_->active = false;
    }
    post([this, generation, pausePending] { onWorkerDone(generation, false, pausePending); });
  });
}

void RunFrame::onDocument(int, const DocumentResult& result, bool exists, int now) {
  if (view_.statusText == msg::engineStarting()) view_.statusText = msg::runWorking();
  view_.now = now;
  view_.percent = formatPercent(now, view_.all);
  if (exists) {
    view_.currentPath = result.path;
    summary_.results << result;
    ++summary_.handled;
    emit documentHandled(result.index, result.path, result.ok, result.message);
    if (!operation_.perItem)
      emit entryReported(result.index, (result.ok ? QStringLiteral("完成") : QStringLiteral("失败")) +
                                           (result.message.isEmpty() ? QString() : QStringLiteral("：") + result.message));
  } else if (!missingSeen_.contains(result.index)) {
    missingSeen_.insert(result.index);
    summary_.missing << result.path;
    emit entryReported(result.index, QStringLiteral("文档不存在"));
  }
  emit progress(view_.now, view_.all, view_.percent);
  publish();
}

void RunFrame::onSkipped(const DocumentResult& result, int now) {
  summary_.skipped << result;
  emit entryReported(result.index, QStringLiteral("已跳过：") + result.message);
  view_.now = now;
  view_.percent = formatPercent(now, view_.all);
  emit progress(view_.now, view_.all, view_.percent);
  publish();
}

void RunFrame::onWorkerDone(int generation, bool pausedReturn, bool pausePending) {
  if (generation != generation_) return;  // a later worker of the same run took over
  joinWorker();
  if (pausedReturn || pausePending) {
    // The area stays shown and the interface stays locked until continue.
    view_.statusText = msg::runPaused();
    setState(State::Paused);
    publish();
    emit runPaused();
    log_.write();
    return;
  }
  finishRun();
}

bool RunFrame::firstPathToFile(const QString& path, int index, QString* reason) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return true;  // the routine reports it
  const auto [it, inserted] = filesSeen_.try_emplace({st.st_dev, st.st_ino}, index);
  if (inserted) return true;
  *reason = QStringLiteral("与列表中第 %1 个文档是同一个文件，已跳过").arg(it->second + 1);
  return false;
}

void RunFrame::runFinishStep(const Operation& op, bool stopped, bool onWorker) {
  if (finishDone_.exchange(true)) return;
  DocumentResult result;
  result.path = op.title;
  QString logDetail;
  result.ok = guarded([&] { return op.finish(stopped); }, &result.message, &logDetail);
  if (!result.ok) log_.writeEntry(result.message + logDetail + QStringLiteral("："), op.title);
  if (result.ok && result.message.isEmpty()) return;
  if (onWorker)
    QMetaObject::invokeMethod(this, [this, result] { onStepFailed(result); }, Qt::QueuedConnection);
  else
    onStepFailed(result);
}

void RunFrame::onStepFailed(const DocumentResult& result) { summary_.results << result; }

void RunFrame::finishRun() {
  joinWorker();
  // A paused run that is stopped ends without a worker: its finish step runs here.
  if (operation_.finish && !finishDone_.load()) runFinishStep(operation_, summary_.stopped, false);
  ++generation_;  // a pause report still on its way no longer applies
  // Reports of documents the worker handled that are still queued belong to this run.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  if (operation_.next && !summary_.stopped) {
    std::shared_ptr<Operation> next;
    QString message, detail;
    if (!guarded([&] { next = operation_.next(); return QString(); }, &message, &detail)) {
      log_.writeEntry(message + detail + QStringLiteral("："), operation_.title);
      summary_.results << DocumentResult{-1, operation_.title, false, message};
    } else if (next && next->perDocument) {
      stopRequested_ = false;
      pauseRequested_ = false;
      paused_ = 0;
      resetButtons();
      startPass(*next);
      return;
    }
  }
  stopRequested_ = false;
  pauseRequested_ = false;
  paused_ = 0;
  view_.areaVisible = false;
  setLocked(false);
  setState(State::Idle);
  publish();
  if (journal_) {
    summary_.runId = journal_->changes() > 0 ? journal_->id() : QString();
    journal_.reset();
    pruneRuns(runsFolder_, keepRuns_);
  }
  emit runFinished(summary_);
  log_.write();
}

void RunFrame::pauseOrContinue() {
  if (state_ == State::Idle || state_ == State::Stopping) return;
  if (paused_.load() == 0) {
    if (state_ != State::Running) return;
    pauseRequested_ = true;
    paused_ = 1;
    view_.pauseCaption = msg::continueCaption();
    view_.pauseEnabled = true;
    // A paused run may still be stopped (it then ends with its summary).
    view_.stopEnabled = true;
    view_.statusText = msg::runPausing();
    setState(State::Pausing);
    publish();
    log_.write();
    return;
  }
  // Continue.
  bool workerStillRunning = false;
  {
    std::lock_guard lock(worker_->mutex);
    if (worker_->active) {
      // The worker has not reached the next entry yet: it simply goes on.
      workerStillRunning = true;
      pauseRequested_ = false;
      paused_ = 0;
    }
  }
  view_.pauseCaption = msg::pauseCaption();
  view_.stopEnabled = true;
  view_.statusText = msg::runWorking();
  if (workerStillRunning) {
    setState(State::Running);
    publish();
    log_.write();
    return;
  }
  pauseRequested_ = false;
  paused_ = 0;
  publish();
  const int before = generation_;
  auto it = continuations_.find(operation_.id);
  if (it != continuations_.end() && it->second) {
    it->second(*this);
  } else {
    resume(operation_, list_.tickedCount(), currentIndex_.load() + 1);
  }
  // A continuation that started no worker ends the run (a started worker ends it itself,
  // however quickly it ran).
  if (generation_ == before && state_ != State::Idle) finishRun();
  log_.write();
}

void RunFrame::stop() {
  if (state_ == State::Idle || state_ == State::Stopping) return;
  bool active = false;
  {
    std::lock_guard lock(worker_->mutex);
    active = worker_->active;
    if (active) {
      stopRequested_ = true;
      pauseRequested_ = false;
      paused_ = 0;
    }
  }
  summary_.stopped = true;
  if (!active) {  // a paused run: ends at once
    resetButtons();
    finishRun();
    return;
  }
  view_.stopEnabled = false;
  view_.stopCaption = msg::stoppingCaption();
  view_.stopWidth = 2500;
  view_.stopLeft = 1850;
  view_.pauseEnabled = false;
  view_.pauseVisible = false;
  setState(State::Stopping);
  publish();
  log_.write();
}

bool RunFrame::waitUntilSettled(int timeoutMs) {
  auto settled = [this] { return state_ == State::Idle || state_ == State::Paused; };
  if (settled()) return true;
  QEventLoop loop;
  auto c = connect(this, &RunFrame::stateChanged, &loop, [&] {
    if (settled()) loop.quit();
  });
  if (timeoutMs >= 0) QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  disconnect(c);
  return settled();
}

}  // namespace vm
