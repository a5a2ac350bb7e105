#pragma once
// The batch run frame. A start command hands it an Operation; a worker thread
// walks a snapshot of the document list from a start index, passes over unticked entries and
// missing files, calls the operation's per-document routine (on the worker thread) and
// reports progress. Pause, continue and stop act through atomic flags read before each entry.
// A failing document (any exception from the routine) is written to the error log with its
// path as the context, and the run goes on; the run ends with a summary.
//
// Threads: the frame lives on the GUI thread (or the command line's main thread); call its
// functions there. Every signal is emitted there too (the worker posts to it), so the window
// connects its widgets directly. The per-document routine runs on the worker thread.
//
// The frame knows no operation: each operation registers its continuation under its
// identifier ("docR", "docP", ...); continuing a paused run calls it. Without a registered
// continuation the frame resumes the same operation with the ticked count from
// CurrentIndex + 1.
//
// Choices made here: the flags, Paused and CurrentIndex are cleared
// at every run start; a start command during a run (paused runs included) is refused with
// msg::runBusy(); a continuation that starts no worker ends the paused run (the interface is
// unlocked); stop() on a paused run ends it at once.

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace vm {

class DocumentList;
class ErrorLog;
class RunJournal;
class Prompter;

// What a per-document routine returns: a short line for the summary, e.g. "替换 3 处";
// empty when there is nothing to say. Failures are thrown (vm::word::EngineError, any
// std::exception, anything); the frame catches them.
using DocumentRoutine = std::function<QString(const QString& path)>;

struct Operation {
  QString id;            // operation identifier, e.g. "docR"
  QString title;         // shown as the summary's title, e.g. "文档替换"
  int initialCount = 0;  // the count the progress starts at (0 or 1)
  // Optional steps of an operation that keeps a target open across documents (merge, print):
  // begin runs on the worker before the first document of the run (not again on continuing);
  // finish runs once when the run ends (done or stopped) and may return a line for the summary.
  // A step that throws is reported in the summary as a failure of the run.
  DocumentRoutine perDocument;
  // Documents that do not depend on each other may be worked on side by side (see
  // RunFrame::setMaxWorkers); the summary and the progress stay in list order either way.
  bool independent = false;
  // perDocument saves its document and reads back nothing saved: the run may hold the saves of
  // many documents and flush them together (word::SaveGroup), reporting each once it is in place.
  bool groupSaves = false;
  std::function<void()> begin;
  std::function<QString(bool stopped)> finish;
  // A second pass when this one ends unstopped (replace, then print the same documents): called
  // on the frame's thread, it may refill the document list; the pass it returns runs over the
  // ticked entries at once, in the same locked period. Null: the run ends here.
  std::function<std::shared_ptr<Operation>()> next;
  // A run over items that are no documents (the rows of a query): when perItem is set the run
  // walks items instead of the document list, their count is the run size, perItem gets each
  // item's index (its text is the summary's name for it), and the list's entries are not marked.
  QStringList items;
  std::function<QString(int item)> perItem;
};

struct DocumentResult {
  int index = -1;
  QString path;
  bool ok = true;
  QString message;  // the routine's line, or the failure reason
};

struct RunSummary {
  QString operationId;
  QString title;
  int runSize = 0;
  int handled = 0;       // documents whose routine ran (ok or failed)
  bool stopped = false;  // ended by the stop button
  QList<DocumentResult> results;  // in the order handled
  QStringList missing;            // ticked entries whose file was missing (each once)
  QList<DocumentResult> skipped;  // second paths to a file already worked on in this run
  QString runId;                  // its undo journal; empty when it changed no file
  std::vector<RunSummary> earlierPasses;  // a run of several passes: those before this one
  int failures() const;
  QList<DocumentResult> failed() const;
  // Worth showing: a failure, a missing file or a document line.
  bool hasNews() const;
  // The Chinese text shown at the end of a run: the counts, each failed document with its
  // reason, the missing files, and each document's own line.
  QString text() const;
  QString passText() const;  // this pass only
};

// What the progress area frmLoadDocList shows; the window binds its widgets to it.
struct RunView {
  bool areaVisible = false;  // frmLoadDocList shown (height 3015 twips)
  bool locked = false;       // the locked set disabled
  QString statusText;        // lbl
  QString currentPath;       // lblDqwj (caret at its end)
  int now = 0;               // lblNow and proBFiles.Value
  int all = 0;               // lblAll and proBFiles.Max
  int min = 0;               // proBFiles.Min
  QString percent = QStringLiteral("0%");  // lblPer
  QString pauseCaption;      // cmdPauseDo
  bool pauseEnabled = true;
  bool pauseVisible = true;
  QString stopCaption;       // cmdStopDo
  bool stopEnabled = true;
  bool stopVisible = true;
  int stopWidth = 1215;      // twips: 1215 normally, 2500 while stopping
  int stopLeft = 1320;       // twips: 1320 normally, 1850 while stopping
};

class RunFrame : public QObject {
  Q_OBJECT
 public:
  enum class State {
    Idle,      // no run
    Running,   // the worker walks the list
    Pausing,   // pause pressed; the worker returns before the next entry
    Paused,    // the worker returned; the pause button offers continue; still locked
    Stopping,  // stop pressed; the worker leaves before the next entry
  };
  Q_ENUM(State)

  RunFrame(DocumentList& list, ErrorLog& log, QObject* parent = nullptr);
  ~RunFrame() override;  // stops and joins a running worker

  // --- set-up ---------------------------------------------------------------------------
  // Continuation table: continuing a paused run of operation id calls this with the frame.
  // A typical continuation calls frame.resume(frame.operation(), size, frame.currentIndex() + 1).
  using Continuation = std::function<void(RunFrame&)>;
  void registerContinuation(const QString& id, Continuation c);
  bool hasContinuation(const QString& id) const;
  // Called first at every run start to end offices Vellumark itself left behind (the office
  // back end installs it; the default does nothing). Runs on the calling thread.
  void setStaleOfficeCloser(std::function<void()> closer);
  // How many documents of an independent operation are worked on at once (1: one after the
  // other). A pause or stop then lets the documents in hand finish; continuing starts at the
  // first document not yet started (CurrentIndex is the last one started).
  void setMaxWorkers(int n) { maxWorkers_ = n < 1 ? 1 : n; }
  int maxWorkers() const { return maxWorkers_.load(); }
  // Where each run keeps its undo journal (see runjournal.h), and how many runs are kept; an
  // empty folder: no journal.
  void setJournalFolder(const QString& runsFolder, int keepRuns) {
    runsFolder_ = runsFolder;
    keepRuns_ = keepRuns;
  }

  // --- commands -------------------------------------------------------------------------
  // Shows the busy refusal (msg::runBusy(), "出错了！") and returns true while a run is in
  // progress. Start commands call it before their own checks.
  bool refuseIfBusy(Prompter& prompter) const;
  // The run start sequence: clears the flags, Paused and CurrentIndex; closes stale offices;
  // resets the buttons; lblAll = run size (the ticked count); lblNow = initial count;
  // lblPer = "0%"; locks; shows the area; starts the worker from index 0. Refused (false,
  // the reason in *refusal) while a run is in progress or without a routine.
  bool start(const Operation& op, QString* refusal = nullptr);
  // Starts the worker of op again from startIndex with runSize, keeping the progress (for
  // continuations; only while paused).
  bool resume(const Operation& op, int runSize, int startIndex);
  // The pause button: pause when Paused is 0, continue when it is 1.
  void pauseOrContinue();
  // The stop button.
  void stop();

  // --- state ------------------------------------------------------------------------------
  State state() const { return state_; }
  bool isBusy() const { return state_ != State::Idle; }
  bool isLocked() const { return view_.locked; }
  int currentIndex() const { return currentIndex_.load(); }
  QString operationId() const { return operation_.id; }
  const Operation& operation() const { return operation_; }
  int runSize() const { return runSize_.load(); }
  int paused() const { return paused_.load(); }
  bool stopRequested() const { return stopRequested_.load(); }
  bool pauseRequested() const { return pauseRequested_.load(); }
  const RunView& view() const { return view_; }
  const RunSummary& lastSummary() const { return summary_; }
  DocumentList& documents() { return list_; }
  ErrorLog& errorLog() { return log_; }

  // Test seam: called on the worker thread at each list entry, before the flags are read.
  void setEntryHook(std::function<void(int index)> hook) { entryHook_ = std::move(hook); }

  // Blocks, processing events, until the frame is Idle or Paused (true), or the timeout (ms,
  // negative: none) has passed (false). For the command line and tests.
  bool waitUntilSettled(int timeoutMs = -1);

  // lblPer: now / all as a percentage with two decimals, locale-independent: "33.33%",
  // "100.00%"; "0%" when all is 0.
  static QString formatPercent(int now, int all);

 signals:
  void runStarted(const QString& operationId, int runSize, int initialCount);
  void progress(int now, int all, const QString& percent);
  // After each document whose routine ran (ok or not): lblDqwj.
  void documentHandled(int index, const QString& path, bool ok, const QString& message);
  // Every ticked entry's outcome, for the list: done, failed, missing or skipped, with its line.
  void entryReported(int index, const QString& outcome);
  void lockChanged(bool locked);
  void stateChanged(vm::RunFrame::State state);
  void viewChanged(const vm::RunView& view);
  // The worker returned on a pause (the area stays, the interface stays locked).
  void runPaused();
  // At the end of a run (not at a pause), after unlocking. The command shows the summary.
  void runFinished(const vm::RunSummary& summary);

 private:
  struct Worker;
  void launch(const Operation& op, int runSize, int startIndex);
  void startPass(const Operation& op);
  void joinWorker();
  void onDocument(int generation, const DocumentResult& result, bool exists, int now);
  void onSkipped(const DocumentResult& result, int now);
  void onWorkerDone(int generation, bool pausedReturn, bool pausePending);
  void finishRun();
  void runFinishStep(const Operation& op, bool stopped, bool onWorker);
  // Worker: false (with the reason) when the run already worked on this file by another path.
  bool firstPathToFile(const QString& path, int index, QString* reason);
  void onStepFailed(const DocumentResult& result);
  void setState(State s);
  void setLocked(bool locked);
  void resetButtons();
  void publish();

  DocumentList& list_;
  ErrorLog& log_;
  std::map<QString, Continuation> continuations_;
  std::function<void()> closeStaleOffices_;
  std::function<void(int)> entryHook_;

  // The flags, read by the worker before each entry.
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> pauseRequested_{false};
  std::atomic<int> paused_{0};
  std::atomic<int> currentIndex_{-1};
  std::atomic<int> runSize_{0};
  std::atomic<int> maxWorkers_{1};
  QString runsFolder_;
  int keepRuns_ = 20;
  std::unique_ptr<RunJournal> journal_;
  std::atomic<bool> beginDone_{false};   // the run's begin step has run
  std::atomic<bool> finishDone_{false};  // the run's finish step has run
  std::map<std::pair<unsigned long, unsigned long>, int> filesSeen_;  // (device, inode) -> list index; worker only

  State state_ = State::Idle;
  Operation operation_;
  RunView view_;
  RunSummary summary_;
  QSet<int> missingSeen_;
  int progressValue_ = 0;  // proBFiles.Value (owned by the worker while it runs)
  int generation_ = 0;
  std::unique_ptr<Worker> worker_;
};

}  // namespace vm

Q_DECLARE_METATYPE(vm::RunSummary)
Q_DECLARE_METATYPE(vm::RunView)
