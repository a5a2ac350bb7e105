#include "cli/runner.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <optional>

#include "app/appcontext.h"
#include "app/listcommands.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "word/document.h"
#ifdef VM_HAVE_OFFICE
#include "word/office/office.h"
#endif

namespace vm::cli {

void useOffice(CliContext& ctx) {
#ifdef VM_HAVE_OFFICE
  if (!vm::word::officeBackend())
    ctx.app.runFrame().setStaleOfficeCloser(vm::word::office::installForProgram(ctx.app.dataFolder().root().toStdString()));
#else
  (void)ctx;
#endif
}

namespace {

// PATH arguments as the dialogs give them: absolute, with "/".
QString absolutePath(const QString& p) {
  return QDir::cleanPath(QDir::fromNativeSeparators(QDir::current().absoluteFilePath(p)));
}

}  // namespace

// "-" among the paths: the paths on standard input, one a line (NUL-separated with --null).
void readPathsFromInput(CliContext& ctx) {
  QStringList paths;
  bool read = false;
  for (const QString& p : ctx.args.paths) {
    if (p != QLatin1String("-")) {
      paths << p;
      continue;
    }
    if (read || !ctx.in) continue;
    read = true;
    const QString all = ctx.in->readAll();
    const QChar end = ctx.args.nullPaths ? QChar(0) : QChar('\n');
    for (QString line : all.split(end, Qt::SkipEmptyParts)) {
      if (!ctx.args.nullPaths && line.endsWith(QLatin1Char('\r'))) line.chop(1);
      if (!line.isEmpty()) paths << line;
    }
  }
  ctx.args.paths = paths;
}

int fillList(CliContext& ctx) {
  readPathsFromInput(ctx);
  for (QString& p : ctx.args.paths) p = absolutePath(p);
  // Validation first, in order: every path exists; folders need a suffix.
  const QString suffixes = ctx.suffixList();
  ctx.app.documents().setChosenSuffixes(suffixes);
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

namespace {

// The number a document's line reports ("替换 3 处" -> 3); none when the line holds no single
// number.
std::optional<int> countIn(const QString& message) {
  static const QRegularExpression number(QStringLiteral("\\d+"));
  auto it = number.globalMatch(message);
  if (!it.hasNext()) return std::nullopt;
  const int n = it.next().captured().toInt();
  if (it.hasNext()) return std::nullopt;
  return n;
}

void printJson(QTextStream& out, const QJsonObject& o) {
  out << QJsonDocument(o).toJson(QJsonDocument::Compact) << '\n';
  out.flush();
}

QJsonObject documentJson(const QString& path, bool ok, const QString& message) {
  QJsonObject o{{QStringLiteral("path"), path}, {QStringLiteral("ok"), ok}, {QStringLiteral("message"), message}};
  if (ok)
    if (const auto n = countIn(message)) o[QStringLiteral("count")] = *n;
  return o;
}

QJsonObject summaryJson(const RunSummary& s) {
  return {{QStringLiteral("summary"), true},
          {QStringLiteral("operation"), s.operationId},
          {QStringLiteral("title"), s.title},
          {QStringLiteral("documents"), s.runSize},
          {QStringLiteral("handled"), s.handled},
          {QStringLiteral("failed"), s.failures()},
          {QStringLiteral("missing"), static_cast<int>(s.missing.size())},
          {QStringLiteral("skipped"), static_cast<int>(s.skipped.size())},
          {QStringLiteral("stopped"), s.stopped},
          {QStringLiteral("run"), s.runId}};
}

// A bar redrawn in place on a terminal; a line a document otherwise.
class ProgressLine {
 public:
  explicit ProgressLine(QTextStream& err) : err_(err), live_(::isatty(STDERR_FILENO) != 0) {}
  ~ProgressLine() { clear(); }
  void document(int now, int all, const QString& percent, const QString& path, bool ok, const QString& message) {
    if (!live_ || !ok) {
      clear();
      err_ << '[' << now << '/' << all << ' ' << percent << "] " << path;
      if (!ok) err_ << " -- 失败：" << message;
      else if (!message.isEmpty()) err_ << " -- " << message;
      err_ << Qt::endl;
      if (!live_) return;
    }
    const int width = 30;
    const int filled = all > 0 ? width * now / all : width;
    QString name = QFileInfo(path).fileName();
    if (name.size() > 40) name = name.left(39) + QStringLiteral("…");
    err_ << "\r\x1b[K[" << QString(filled, QLatin1Char('#')) << QString(width - filled, QLatin1Char('.')) << "] " << now
         << '/' << all << ' ' << percent << ' ' << name << Qt::flush;
    shown_ = true;
  }
  void clear() {
    if (shown_) err_ << "\r\x1b[K" << Qt::flush;
    shown_ = false;
  }

 private:
  QTextStream& err_;
  bool live_;
  bool shown_ = false;
};

}  // namespace

int waitAndReport(CliContext& ctx) {
  RunFrame& frame = ctx.app.runFrame();
  ProgressPrinter last;
  QTextStream& err = ctx.err;
  const bool json = ctx.args.json;
  ProgressLine line(err);
  auto c1 = QObject::connect(&frame, &RunFrame::documentHandled, &frame,
                             [&](int, const QString& path, bool ok, const QString& message) {
                               last = {path, ok, message, true};
                               if (json) printJson(ctx.out, documentJson(path, ok, message));
                             });
  auto c2 = QObject::connect(&frame, &RunFrame::progress, &frame, [&](int now, int all, const QString& percent) {
    if (!last.pending) return;  // the start, or a missing file (reported in the summary)
    line.document(now, all, percent, last.path, last.ok, last.message);
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
    line.clear();
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
  line.clear();
  if (!finished) summary = frame.lastSummary();
  if (json) {
    for (const QString& path : summary.missing) printJson(ctx.out, documentJson(path, false, QStringLiteral("文档不存在")));
    for (const DocumentResult& r : summary.skipped) {
      QJsonObject o = documentJson(r.path, true, r.message);
      o[QStringLiteral("skipped")] = true;
      printJson(ctx.out, o);
    }
    printJson(ctx.out, summaryJson(summary));
    err << summary.text() << Qt::endl;
  } else {
    ctx.out << summary.text() << Qt::endl;
  }
  if (!summary.runId.isEmpty()) err << QStringLiteral("撤销本次操作：vellumark-cli undo %1").arg(summary.runId) << Qt::endl;
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
