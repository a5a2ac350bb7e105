#include "app/runjournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "word/error.h"
#include "word/filehash.h"

namespace vm {

namespace {

QString fromPath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }
std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdString()); }

QByteArray hashOf(const QString& path) { return QByteArray::fromStdString(word::sha256OfFile(toPath(path))); }

// Paths may hold tabs and line breaks: kept percent-encoded in the journal.
QByteArray encode(const QString& path) { return QUrl::toPercentEncoding(path, "/"); }
QString decode(const QByteArray& text) { return QUrl::fromPercentEncoding(text); }

struct Entry {
  int n = 0;
  bool existed = false;
  QByteArray before, after;
  QString kept, path;
  bool done = false;
};

QList<Entry> readJournal(const QString& folder) {
  QFile f(folder + QStringLiteral("/journal.tsv"));
  QList<Entry> entries;
  if (!f.open(QIODevice::ReadOnly)) return entries;
  std::map<int, qsizetype> at;
  while (!f.atEnd()) {
    const QList<QByteArray> cols = f.readLine().trimmed().split('\t');
    if (cols.size() >= 6 && cols[0] == "B") {
      Entry e;
      e.n = cols[1].toInt();
      e.existed = cols[2] == "1";
      e.before = cols[3];
      e.kept = cols[4] == "-" ? QString() : folder + QStringLiteral("/kept/") + QString::fromLatin1(cols[4]);
      e.path = decode(cols[5]);
      at[e.n] = entries.size();
      entries << e;
    } else if (cols.size() >= 3 && cols[0] == "A" && at.count(cols[1].toInt())) {
      Entry& e = entries[at[cols[1].toInt()]];
      e.after = cols[2];
      e.done = true;
    }
  }
  return entries;
}

QMap<QString, QString> readHeader(const QString& folder) {
  QMap<QString, QString> h;
  QFile f(folder + QStringLiteral("/run.txt"));
  if (!f.open(QIODevice::ReadOnly)) return h;
  while (!f.atEnd()) {
    const QString line = QString::fromUtf8(f.readLine()).trimmed();
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    if (tab > 0) h[line.left(tab)] = line.mid(tab + 1);
  }
  return h;
}

}  // namespace

std::unique_ptr<RunJournal> RunJournal::begin(const QString& runsFolder, const QString& operationId,
                                              const QString& title) {
  const QDateTime now = QDateTime::currentDateTime();
  QString id = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QDir runs(runsFolder);
  if (!runs.mkpath(QStringLiteral("."))) return nullptr;
  for (int k = 2; runs.exists(id); ++k) id = now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral("-%1").arg(k);
  if (!runs.mkpath(id + QStringLiteral("/kept"))) return nullptr;
  std::unique_ptr<RunJournal> j(new RunJournal);
  j->id_ = id;
  j->folder_ = runs.filePath(id);
  QFile header(j->folder_ + QStringLiteral("/run.txt"));
  if (!header.open(QIODevice::WriteOnly)) return nullptr;
  header.write(QStringLiteral("operation\t%1\ntitle\t%2\nstarted\t%3\n")
                   .arg(operationId, title, now.toString(Qt::ISODate))
                   .toUtf8());
  header.close();
  j->fd_ = ::open(QFile::encodeName(j->folder_ + QStringLiteral("/journal.tsv")).constData(),
                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (j->fd_ < 0) return nullptr;
  return j;
}

RunJournal::~RunJournal() {
  if (fd_ >= 0) ::close(fd_);
  // A run that changed nothing leaves no journal.
  if (changes_ == 0 && !folder_.isEmpty()) QDir(folder_).removeRecursively();
}

int RunJournal::changes() const {
  std::lock_guard lock(mutex_);
  return changes_;
}

void RunJournal::append(const QByteArray& line) {
  // One write a line (O_APPEND): a killed run leaves whole lines.
  if (::write(fd_, line.constData(), static_cast<size_t>(line.size())) != line.size())
    throw word::EngineError(word::ErrorCode::WriteFailed, "undo journal: " + std::string(std::strerror(errno)));
}

void RunJournal::beforeReplace(const std::filesystem::path& target, bool exists, bool mayLink) {
  int n = 0;
  {
    std::lock_guard lock(mutex_);
    n = ++counter_;
  }
  // Kept and hashed outside the lock: workers save side by side.
  QByteArray before = "-", kept = "-";
  if (exists) {
    kept = QByteArray::number(n);
    const std::filesystem::path keptPath = toPath(folder_ + QStringLiteral("/kept/") + QString::fromLatin1(kept));
    // A link costs nothing and keeps the old content, since the save renames a new file over
    // the name; else (another file system, a file rewritten in place) a copy.
    const bool linked = mayLink && ::link(target.c_str(), keptPath.c_str()) == 0;
    before = QByteArray::fromStdString(linked ? word::sha256OfFile(keptPath) : word::copyFileHashing(target, keptPath));
    if (before.isEmpty())
      throw word::EngineError(word::ErrorCode::WriteFailed, "undo journal: cannot keep " + target.string());
  }
  const QByteArray line = "B\t" + QByteArray::number(n) + '\t' + (exists ? "1" : "0") + '\t' + before + '\t' + kept +
                          '\t' + encode(fromPath(target)) + '\n';
  std::lock_guard lock(mutex_);
  append(line);
  open_[target.string()] = n;
}

void RunJournal::replaced(const std::filesystem::path& target) {
  int n = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = open_.find(target.string());
    if (it == open_.end()) return;
    n = it->second;
    open_.erase(it);
    ++changes_;
  }
  const QByteArray line = "A\t" + QByteArray::number(n) + '\t' + QByteArray::fromStdString(word::sha256OfFile(target)) + '\n';
  try {
    std::lock_guard lock(mutex_);
    append(line);
  } catch (...) {
    // The document is saved; only its undo is lost (undo then skips it as changed).
  }
}

QList<RunRecord> listRuns(const QString& runsFolder) {
  QList<RunRecord> runs;
  const QStringList ids = QDir(runsFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
  for (const QString& id : ids) {
    const QString folder = runsFolder + QLatin1Char('/') + id;
    const auto header = readHeader(folder);
    if (header.isEmpty()) continue;
    RunRecord r;
    r.id = id;
    r.operationId = header.value(QStringLiteral("operation"));
    r.title = header.value(QStringLiteral("title"));
    r.started = QDateTime::fromString(header.value(QStringLiteral("started")), Qt::ISODate);
    for (const Entry& e : readJournal(folder)) r.changes += e.done ? 1 : 0;
    r.undone = QFileInfo::exists(folder + QStringLiteral("/undone"));
    runs << r;
  }
  return runs;
}

bool undoRun(const QString& runsFolder, const QString& requested, QList<UndoResult>* results, QString* error) {
  QString id = requested;
  if (id.isEmpty()) {
    const QList<RunRecord> runs = listRuns(runsFolder);
    for (const RunRecord& r : runs)
      if (!r.undone) {
        id = r.id;
        break;
      }
    if (id.isEmpty()) {
      *error = QStringLiteral("没有可以撤销的操作");
      return false;
    }
  }
  const QString folder = runsFolder + QLatin1Char('/') + id;
  if (id.contains(QLatin1Char('/')) || id.startsWith(QLatin1Char('.')) || readHeader(folder).isEmpty()) {
    *error = QStringLiteral("没有这次操作的记录：%1").arg(id);
    return false;
  }
  if (QFileInfo::exists(folder + QStringLiteral("/undone"))) {
    *error = QStringLiteral("这次操作已经撤销过了：%1").arg(id);
    return false;
  }
  QList<Entry> entries = readJournal(folder);
  std::reverse(entries.begin(), entries.end());  // newest first: a file saved twice goes back twice
  for (const Entry& e : entries) {
    if (!e.done) continue;  // killed before its file was in place: nothing of it to take back
    UndoResult r;
    r.path = e.path;
    if (!QFileInfo::exists(e.path)) {
      r.kind = UndoResult::Missing;
      r.message = QStringLiteral("文档不存在，未恢复");
    } else if (hashOf(e.path) != e.after) {
      r.kind = UndoResult::ChangedSince;
      r.message = QStringLiteral("文档在这次操作之后又被修改过，未恢复");
    } else {
      try {
        if (e.existed) {
          word::replaceFile(toPath(e.path), toPath(e.kept));
          r.kind = UndoResult::Restored;
          r.message = QStringLiteral("已恢复");
        } else {
          if (!QFile::remove(e.path)) throw word::EngineError(word::ErrorCode::WriteFailed, e.path.toStdString());
          r.kind = UndoResult::Removed;
          r.message = QStringLiteral("已删除（这次操作生成的文件）");
        }
      } catch (const word::EngineError& err) {
        r.kind = UndoResult::Failed;
        r.message = QString::fromStdString(err.userMessage());
      }
    }
    *results << r;
  }
  QFile marker(folder + QStringLiteral("/undone"));
  if (marker.open(QIODevice::WriteOnly)) marker.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8());
  return true;
}

void pruneRuns(const QString& runsFolder, int keep) {
  QDir runs(runsFolder);
  const QStringList ids = runs.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
  for (qsizetype i = std::max(0, keep); i < ids.size(); ++i)
    if (!runs.rename(ids[i], QStringLiteral(".dropped-") + ids[i])) QDir(runs.filePath(ids[i])).removeRecursively();
  // Renamed runs are gone from the list at once; their files (a thousand or more, each unlink a
  // wait on the disk) go in the background. A folder left by an ended process goes next time.
  std::vector<std::filesystem::path> dropped;
  for (const QString& name : runs.entryList({QStringLiteral(".dropped-*")}, QDir::Dirs | QDir::Hidden))
    dropped.push_back(toPath(runs.filePath(name)));
  if (dropped.empty()) return;
  std::thread([dropped = std::move(dropped)] {
    std::error_code ec;
    for (const auto& folder : dropped) std::filesystem::remove_all(folder, ec);
  }).detach();
}

}  // namespace vm
