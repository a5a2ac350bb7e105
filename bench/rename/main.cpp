// Times renaming documents by their title (pattern "[$Titile$]-[$ID$].docx", the first
// paragraph) into an empty folder, against a plain copy of the same files (read, write,
// fsync, rename, fsync of the folder), which is what the rename must come close to: a .docx is copied, not written
// anew. Checks that every source is unchanged and every copy equals its source.
//
//   bench_rename --list FILES.txt --out DIR [--preview]
//
// Prints one line per measurement: documents, seconds, documents per second, peak memory.

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "rename/renamer.h"

namespace {

QByteArray digest(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash h(QCryptographicHash::Sha1);
  h.addData(&f);
  return h.result();
}

long peakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

void plainCopy(const QString& from, const QString& to) {
  QFile in(from);
  if (!in.open(QIODevice::ReadOnly)) throw std::runtime_error("read");
  const QByteArray bytes = in.readAll();
  const QString tmp = to + QStringLiteral(".tmp");
  const int fd = ::open(tmp.toUtf8().constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 || ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size() || ::fsync(fd) != 0)
    throw std::runtime_error("write");
  ::close(fd);
  if (::rename(tmp.toUtf8().constData(), to.toUtf8().constData()) != 0) throw std::runtime_error("rename");
  const int dir = ::open(QFileInfo(to).absolutePath().toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void report(const char* label, int docs, qint64 ns) {
  const double s = ns / 1e9;
  std::printf("%-22s %5d docs  %7.2f s  %7.1f docs/s  peak %ld MB\n", label, docs, s, docs / s, peakRssKb() / 1024);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int li = args.indexOf(QStringLiteral("--list"));
  const int oi = args.indexOf(QStringLiteral("--out"));
  if (li < 0 || oi < 0 || li + 1 >= args.size() || oi + 1 >= args.size()) {
    std::fprintf(stderr, "usage: bench_rename --list FILES.txt --out DIR\n");
    return 2;
  }
  QFile list(args[li + 1]);
  if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) return 2;
  QStringList files;
  for (const QByteArray& line : list.readAll().split('\n'))
    if (!line.trimmed().isEmpty()) files << QString::fromUtf8(line.trimmed());
  const QString out = args[oi + 1];
  QDir(out).removeRecursively();
  QDir().mkpath(out + QStringLiteral("/copy"));
  QDir().mkpath(out + QStringLiteral("/rename"));
  QDir().mkpath(out + QStringLiteral("/preview"));

  QList<QByteArray> before;
  for (const QString& f : files) before << digest(f);

  QElapsedTimer t;
  t.start();
  for (qsizetype i = 0; i < files.size(); ++i) plainCopy(files[i], out + QStringLiteral("/copy/%1.docx").arg(i));
  report("plain copy + fsync", static_cast<int>(files.size()), t.nsecsElapsed());

  vm::rename::RenameSettings s;
  s.pattern = QStringLiteral("[$Titile$]-[$ID$].docx");
  const QList<vm::rules::Rule> rules{{QStringLiteral("\t"), QStringLiteral(" "), true}};

  s.folder = out + QStringLiteral("/preview");
  vm::rename::Renamer preview(s, rules, false);
  t.restart();
  for (const QString& f : files) preview.rename(f);
  report("preview (titles only)", static_cast<int>(files.size()), t.nsecsElapsed());

  s.folder = out + QStringLiteral("/rename");
  vm::rename::Renamer renamer(s, rules, true);
  QStringList targets;
  t.restart();
  for (const QString& f : files) targets << renamer.rename(f);
  report("rename by title", static_cast<int>(files.size()), t.nsecsElapsed());

  int bad = 0;
  for (qsizetype i = 0; i < files.size(); ++i)
    if (digest(files[i]) != before[i] || digest(targets[i]) != before[i]) ++bad;
  std::printf("sources unchanged and copies identical: %s (%d differ)\n", bad ? "NO" : "yes", bad);
  std::printf("first new name: %s\n", targets.isEmpty() ? "" : qPrintable(QFileInfo(targets[0]).fileName()));
  return bad ? 1 : 0;
}
