// Times the folder-tree add (ShowAllFile) of 20,000 generated empty documents in nested
// folders, the append into the list model, and how long the event loop of the thread that owns
// the list (the GUI thread in the window) goes without answering while FolderScan runs the
// scan off that thread. Also times the list edits on 100,000 entries.
//
//   bench_doclist [--files N] [--dir DIR]     (default 20000 files in a temporary folder)
//
// Exit status 1 when the tree add takes 2 s or more.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/documentlist.h"
#include "app/folderscan.h"

namespace {

double ms(qint64 ns) { return ns / 1e6; }

void touch(const QString& path) {
  QFile f(path);
  f.open(QIODevice::WriteOnly);
}

// 20 top folders x 10 subfolders x (files / 200) documents, plus noise that must not be
// listed: a .txt and a hidden .docx per folder, a 21-character folder and a dot folder.
int generate(const QString& root, int files) {
  const int perLeaf = std::max(1, files / 200);
  int made = 0;
  for (int a = 0; a < 20 && made < files; ++a) {
    for (int b = 0; b < 10 && made < files; ++b) {
      const QString leaf = QStringLiteral("%1/部门%2/项目%3").arg(root).arg(a, 2, 10, QChar('0')).arg(b);
      QDir().mkpath(leaf);
      for (int i = 0; i < perLeaf && made < files; ++i, ++made)
        touch(QStringLiteral("%1/文档%2.%3").arg(leaf).arg(i).arg(i % 4 == 0 ? "doc" : "docx"));
      touch(leaf + "/notes.txt");
      touch(leaf + "/.hidden.docx");
    }
  }
  QDir().mkpath(root + "/" + QString(21, 'x'));
  touch(root + "/" + QString(21, 'x') + "/skipped.docx");
  QDir().mkpath(root + "/.git");
  touch(root + "/.git/skipped.docx");
  return made;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int files = 20000;
  QString dirArg;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--files") files = args[i + 1].toInt();
    if (args[i] == "--dir") dirArg = args[i + 1];
  }
  QTemporaryDir tmp(QDir::tempPath() + "/vm-bench-doclist-XXXXXX");
  const QString root = dirArg.isEmpty() ? tmp.path() : dirArg;
  QElapsedTimer t;
  t.start();
  const int made = generate(root, files);
  std::printf("generated %d documents in %.0f ms under %s\n", made, t.elapsed() * 1.0, qPrintable(root));
  const QString suffixes = vm::DocumentList::suffixList(true, true);

  // 1. The tree add as the command does it: scan + append, best and worst of 5.
  qint64 best = -1, worst = 0, bestScan = 0, bestAppend = 0;
  int found = 0;
  for (int run = 0; run < 5; ++run) {
    vm::DocumentList list;
    QElapsedTimer c;
    c.start();
    const QStringList paths = vm::DocumentList::scanTree(root, suffixes);
    const qint64 scan = c.nsecsElapsed();
    list.append(paths);
    const qint64 total = c.nsecsElapsed();
    found = list.entryCount();
    if (best < 0 || total < best) {
      best = total;
      bestScan = scan;
      bestAppend = total - scan;
    }
    worst = std::max(worst, total);
  }
  std::printf("tree add (ShowAllFile) of %d documents: best %.1f ms (scan %.1f ms, append %.1f ms), worst %.1f ms\n",
              found, ms(best), ms(bestScan), ms(bestAppend), ms(worst));

  // 2. Responsiveness: FolderScan off the owner's thread; a 10 ms timer (the window's status
  //    timer) measures the longest time the event loop did not answer.
  {
    vm::DocumentList list;
    vm::FolderScan scan;
    QElapsedTimer clock, since;
    qint64 maxGap = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      maxGap = std::max(maxGap, since.nsecsElapsed());
      since.restart();
      ++ticks;
    });
    qint64 appendNs = 0, doneAt = 0;
    QObject::connect(&scan, &vm::FolderScan::finished, [&](const QStringList& paths, const QStringList&, bool) {
      QElapsedTimer a;
      a.start();
      list.append(paths);
      appendNs = a.nsecsElapsed();
      doneAt = clock.nsecsElapsed();
      QTimer::singleShot(50, &app, &QCoreApplication::quit);
    });
    clock.start();
    since.start();
    timer.start();
    scan.start(root, suffixes, true);
    app.exec();
    std::printf("off-thread tree add: %d documents in %.1f ms; longest event-loop gap %.1f ms "
                "(10 ms timer, %d ticks; the append on the owner's thread took %.1f ms)\n",
                list.entryCount(), ms(doneAt), ms(maxGap), ticks, ms(appendNs));
  }

  // 3. Edits on 100,000 entries.
  {
    QStringList paths;
    paths.reserve(100000);
    for (int i = 0; i < 100000; ++i) paths << QStringLiteral("/docs/%1/file%2.docx").arg(i % 100).arg(i % 50000);
    vm::DocumentList list;
    QElapsedTimer c;
    c.start();
    list.append(paths);
    const qint64 append = c.nsecsElapsed();
    c.restart();
    list.invertTicks();
    list.invertTicks();
    const qint64 invert = c.nsecsElapsed() / 2;
    c.restart();
    const int same = list.clearSame();
    const qint64 clearSame = c.nsecsElapsed();
    for (int i = 0; i < list.entryCount(); i += 2) list.setTicked(i, false);
    c.restart();
    const int deleted = list.deleteTicked();
    const qint64 del = c.nsecsElapsed();
    std::printf("100,000 entries: append %.1f ms, invert %.1f ms, clearSame %.1f ms (%d removed), "
                "deleteTicked %.1f ms (%d removed)\n",
                ms(append), ms(invert), ms(clearSame), same, ms(del), deleted);
  }
  const bool ok = best < 2000LL * 1000 * 1000;
  std::printf("%s: tree add of %d documents %s 2 s\n", ok ? "PASS" : "FAIL", found, ok ? "under" : "NOT under");
  return ok ? 0 : 1;
}
