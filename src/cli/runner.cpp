#include "cli/runner.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <csignal>

#include "app/appcontext.h"
#include "app/listcommands.h"
#include "app/messages.h"
#include "app/prompter.h"

namespace vm::cli {

namespace {

// PATH arguments as the dialogs give them: absolute, with "/".
QString absolutePath(const QString& p) {
  return QDir::cleanPath(QDir::fromNativeSeparators(QDir::current().absoluteFilePath(p)));
}

}  // namespace

int fillList(CliContext& ctx) {
  for (QString& p : ctx.args.paths) p = absolutePath(p);
  // Validation first, in order: every path exists; folders need a suffix.
  const QString suffixes = ctx.suffixList();
  bool anyFolder = false;
  for (const QString& p : ctx.args.paths) {
    const QFileInfo fi(p);
    if (!fi.exists()) {
      ctx.prompter.inform(msg::titleRefused(), listcmd::missingPathText(p));
      return kExitRefused;
    }
    anyFolder = anyFolder || fi.isDir();
  }
  if (anyFolder && !listcmd::checkSuffixChosen(ctx.prompter, suffixes)) return kExitRefused;
  for (const QString& p : ctx.args.paths) {
    const QFileInfo fi(p);
    int added = 0;
    if (fi.isDir()) added = listcmd::chooseFolder(ctx.app, ctx.prompter, p, suffixes, ctx.args.recursive);
    else added = listcmd::chooseFile(ctx.app, ctx.prompter, p, suffixes);
    if (added < 0) return kExitRefused;
  }
  return kExitOk;
}

void tickAll(CliContext& ctx) { ctx.app.documents().setAllTicked(true); }

int addDocuments(CliContext& ctx) {
  if (int code = fillList(ctx)) return code;
  tickAll(ctx);
  return kExitOk;
}

int checkDocuments(CliContext& ctx) {
  const DocumentList& list = ctx.app.documents();
  if (list.tickedCount() < 1 || list.entryCount() < 1) {
    ctx.prompter.inform(msg::titleRefused(), msg::noDocuments());
    return kExitRefused;
  }
  return kExitOk;
}

namespace {

// Ctrl-C, SIGTERM or SIGHUP during a run press the stop button (the run ends after the
// documents in hand, exit 1); a second one ends the program at once.
std::atomic<bool> g_interrupted{false};
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onInterrupt(int sig) {
  g_interrupted = true;
  std::signal(sig, SIG_DFL);
}

// Installs the handlers for its lifetime (nested guards do nothing).
class InterruptGuard {
 public:
  InterruptGuard() {
    if (depth_++ > 0) return;
    g_interrupted = false;
    for (int i = 0; i < 3; ++i) previous_[i] = std::signal(kStopSignals[i], onInterrupt);
  }
  ~InterruptGuard() {
    if (--depth_ > 0) return;
    for (int i = 0; i < 3; ++i) std::signal(kStopSignals[i], previous_[i] == SIG_ERR ? SIG_DFL : previous_[i]);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  static inline int depth_ = 0;
  void (*previous_[3])(int) = {SIG_DFL, SIG_DFL, SIG_DFL};
};

struct ProgressPrinter {
  QString path;
  bool ok = true;
  QString message;
  bool pending = false;
};

}  // namespace

int waitAndReport(CliContext& ctx) {
  RunFrame& frame = ctx.app.runFrame();
  ProgressPrinter last;
  QTextStream& err = ctx.err;
  auto c1 = QObject::connect(&frame, &RunFrame::documentHandled, &frame,
                             [&](int, const QString& path, bool ok, const QString& message) {
                               last = {path, ok, message, true};
                             });
  auto c2 = QObject::connect(&frame, &RunFrame::progress, &frame, [&](int now, int all, const QString& percent) {
    if (!last.pending) return;  // the start, or a missing file (reported in the summary)
    err << '[' << now << '/' << all << ' ' << percent << "] " << last.path;
    if (!last.ok) err << " -- 失败：" << last.message;
    else if (!last.message.isEmpty()) err << " -- " << last.message;
    err << Qt::endl;
    last.pending = false;
  });
  RunSummary summary;
  bool finished = false;
  auto c3 = QObject::connect(&frame, &RunFrame::runFinished, &frame, [&](const RunSummary& s) {
    summary = s;
    finished = true;
  });
  InterruptGuard guard;
  QTimer interruptPoll;
  interruptPoll.setInterval(100);
  bool stopping = false;
  QObject::connect(&interruptPoll, &QTimer::timeout, &frame, [&] {
    if (!g_interrupted.exchange(false) || stopping) return;
    stopping = true;
    err << "vellumark-cli: 正在停止，当前文档处理完后结束（再按一次 Ctrl-C 立即退出）" << Qt::endl;
    frame.stop();
  });
  interruptPoll.start();
  while (!finished) {
    frame.waitUntilSettled();
    if (finished || frame.state() == RunFrame::State::Idle) break;
    if (frame.state() == RunFrame::State::Paused) frame.pauseOrContinue();  // nobody pauses here; go on
  }
  interruptPoll.stop();
  QObject::disconnect(c1);
  QObject::disconnect(c2);
  QObject::disconnect(c3);
  if (!finished) summary = frame.lastSummary();
  ctx.out << summary.text() << Qt::endl;
  ctx.app.errorLog().write();
  // A stopped run left documents untouched: a script must not take it as done.
  if (summary.stopped) return kExitRefused;
  return summary.failures() > 0 ? kExitFailures : kExitOk;
}

int runOperation(CliContext& ctx, const Operation& op) {
  if (int code = checkDocuments(ctx)) return code;
  RunFrame& frame = ctx.app.runFrame();
  if (frame.refuseIfBusy(ctx.prompter)) return kExitRefused;
  InterruptGuard guard;  // before the worker starts
  QString refusal;
  if (!frame.start(op, &refusal)) {
    ctx.prompter.inform(msg::titleRefused(), refusal);
    return kExitRefused;
  }
  // The worker's reports are queued events: the printers connected by waitAndReport see all
  // of them.
  return waitAndReport(ctx);
}

}  // namespace vm::cli
