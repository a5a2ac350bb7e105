#pragma once
// The batch run frame: a start command hands it an operation; a worker thread walks the
// document list from a start index, skips unticked entries and missing files, calls the
// operation's per-document routine, and reports progress. Pause, continue and stop act
// through atomic flags read before each entry. A failing document (an exception from the
// routine) is logged with its path and the run goes on; the run ends with a summary.
//
// The frame knows no operation: each operation registers its continuation under its
// identifier ("docR", "docP", ...), and continuing a paused run calls it.

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace vm {

class DocumentList;
class ErrorLog;

// What a per-document routine returns: a short line for the summary, e.g. "替换 3 处";
// empty when there is nothing to say. Failures are thrown (vm::word::EngineError or any
// std::exception); the frame catches them.
using DocumentRoutine = std::function<QString(const QString& path)>;

struct Operation {
  QString id;             // operation identifier, e.g. "docR"
  QString title;          // shown in the summary, e.g. "文档替换"
  int initialCount = 0;   // the count the progress starts at (0 or 1)
  DocumentRoutine perDocument;
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
  int handled = 0;  // documents whose routine ran (ok or failed)
  bool stopped = false;
  bool paused = false;
  QList<DocumentResult> results;  // in list order
  int failures() const;
  // The Chinese text shown at the end of a run (failed documents with their reasons, and
  // each document's line).
  QString text() const;
};

class RunFrame : public QObject {
  Q_OBJECT
 public:
  enum class State { Idle, Running, Paused, Stopping };

  RunFrame(DocumentList& list, ErrorLog& log, QObject* parent = nullptr);
  ~RunFrame() override;

  // Continuation table: continuing a paused run of operation id calls this with the frame.
  using Continuation = std::function<void(RunFrame&)>;
  void registerContinuation(const QString& id, Continuation c);

  // The run start sequence: clears flags and Paused, closes stale offices, resets the
  // progress, locks, starts the worker with the run size (the ticked count) from index 0.
  // Refused (returns false, and the reason in *refusal) while a run is in progress.
  bool start(const Operation& op, QString* refusal = nullptr);
  // Starts the worker of op again from startIndex with runSize (used by continuations).
  void resume(const Operation& op, int runSize, int startIndex);

  // The pause button: pause when running, continue when paused.
  void pauseOrContinue();
  // The stop button.
  void stop();

  State state() const;
  bool isBusy() const { return state() != State::Idle; }
  int currentIndex() const { return currentIndex_.load(); }
  QString operationId() const;
  int runSize() const { return runSize_.load(); }
  int paused() const { return paused_.load(); }

  // Blocks, processing events, until the frame is idle or paused. For the command line and tests.
  void waitUntilSettled();

 signals:
  void runStarted(const QString& operationId, int runSize, int initialCount);
  void progress(int now, int all, const QString& percent);
  void documentHandled(const QString& path);
  void lockChanged(bool locked);
  void stateChanged(vm::RunFrame::State state);
  // At the end of a run (not at a pause). summary.results lists every handled document.
  void runFinished(const vm::RunSummary& summary);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
  std::atomic<int> currentIndex_{-1};
  std::atomic<int> runSize_{0};
  std::atomic<int> paused_{0};
};

}  // namespace vm
