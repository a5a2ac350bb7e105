// The document list rules and the edge cases of the list, on real temporary folders.
#include <QCoreApplication>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/folderscan.h"
#include "app/listcommands.h"
#include "app/prompter.h"
#include "shelltestutil.h"

using vm::DocumentList;
using vm::shelltest::Folder;

namespace {

QStringList names(const QStringList& paths, const QString& base) {
  QStringList r;
  for (const QString& p : paths) r << (p.startsWith(base) ? p.mid(base.size()) : p);
  return r;
}

}  // namespace

TEST(DocumentListRules, ExtensionsSuffixListsAndFolders) {
  EXPECT_EQ(DocumentList::getFileExt("/a/b.c.docx"), "docx");
  EXPECT_EQ(DocumentList::getFileExt("/a/report.DOC"), "DOC");
  EXPECT_EQ(DocumentList::getFileExt("noext"), "noext");  // the whole text
  EXPECT_EQ(DocumentList::getFileExt("/x.y/file"), "y/file");  // the last "." of the path
  EXPECT_EQ(DocumentList::getFileExt("a."), "");
  EXPECT_EQ(DocumentList::getFileExt(""), "");
  EXPECT_EQ(DocumentList::suffixList(true, true), "doc,docx,");
  EXPECT_EQ(DocumentList::suffixList(true, false), "doc,");
  EXPECT_EQ(DocumentList::suffixList(false, true), "docx,");
  EXPECT_EQ(DocumentList::suffixList(false, false), "");
  EXPECT_EQ(DocumentList::suffixList(QStringList{"doc", "", "", "docx"}), "doc,docx,");  // runs of commas
  EXPECT_EQ(DocumentList::folderWithSlash("/a/b"), "/a/b/");
  EXPECT_EQ(DocumentList::folderWithSlash("/a/b/"), "/a/b/");
  EXPECT_EQ(DocumentList::folderWithSlash("  "), "");
}

TEST(DocumentListRules, QualifiesAndSubfolders) {
  EXPECT_TRUE(DocumentList::qualifies("docx", "doc,docx,"));
  EXPECT_TRUE(DocumentList::qualifies("doc", "doc,docx,"));
  EXPECT_FALSE(DocumentList::qualifies("doc", "docx,"));   // equality, not a substring
  EXPECT_TRUE(DocumentList::qualifies("DOC", "doc,docx,"));  // in any case: the user's documents too
  EXPECT_TRUE(DocumentList::qualifies("Docx", "doc,docx,"));
  EXPECT_FALSE(DocumentList::qualifies("OCX", "ocx,docx,"));  // never "ocx"
  EXPECT_FALSE(DocumentList::qualifies("do", "do,docx,"));    // at least three characters
  EXPECT_FALSE(DocumentList::qualifies("", "doc,,docx,"));
  EXPECT_FALSE(DocumentList::qualifies("docx", ""));
  EXPECT_TRUE(DocumentList::qualifies("docx", "docx"));  // no trailing comma
  // Every subfolder is entered whatever its length; hidden ones are not.
  EXPECT_TRUE(DocumentList::entersSubfolder(QString(200, QChar(0x6587))));
  EXPECT_FALSE(DocumentList::entersSubfolder(".git"));
  const QString emoji = QString::fromUcs4(U"\U0001F4C4");
  EXPECT_EQ(DocumentList::characterCount(emoji + "x"), 2);  // a character outside the BMP counts once
}

TEST(DocumentListAdd, FolderAddBySuffix) {
  Folder f;
  f.touch("a.doc");
  f.touch("b.docx");
  f.touch("c.ocx");
  DocumentList list;
  // Only "docx" ticked: only b.docx.
  EXPECT_EQ(list.addFiles(f.path(), DocumentList::suffixList(false, true), true), 1);
  EXPECT_EQ(list.paths(), QStringList{f.path() + "/b.docx"});
  list.clear();
  // Both ticked: a.doc and b.docx, never c.ocx. The folder gets its "/".
  EXPECT_EQ(list.addFiles(f.path(), DocumentList::suffixList(true, true), true), 2);
  EXPECT_EQ(list.paths(), (QStringList{f.path() + "/a.doc", f.path() + "/b.docx"}));
  EXPECT_EQ(list.tickedCount(), 2);  // added entries are ticked
  list.clear();
  // A folder given with its "/" is not doubled.
  list.addFiles(f.path() + "/", "doc,docx,", true);
  EXPECT_EQ(list.at(0).path, f.path() + "/a.doc");
}

TEST(DocumentListAdd, NothingLeftOutUnseen) {
  Folder f;
  for (const char* name : {"REPORT.DOC", "合同.Docx", "ok.doc", ".hidden.docx", "~$合同.docx", "notes.txt",
                           "sub/.also-hidden.docx", "sub/inner.docx", ".git/in-dot-folder.docx"})
    f.touch(QString::fromUtf8(name));
  const QString longFolder(40, QChar(0x6587));
  f.touch(longFolder + "/deep.docx");
  f.mkdir("subfolder.docx");  // a folder with a qualifying name is not a file
  DocumentList list;
  list.addFiles(f.path(), "doc,docx,", true);
  EXPECT_EQ(names(list.paths(), f.path() + "/"), (QStringList{"REPORT.DOC", "ok.doc", "合同.Docx"}));
  list.clear();
  list.showAllFile(f.path(), "doc,docx,");
  EXPECT_EQ(names(list.paths(), f.path() + "/"),
            (QStringList{"REPORT.DOC", "ok.doc", "合同.Docx", "sub/inner.docx", longFolder + "/deep.docx"}));
  // A file picked on its own that does not qualify says why.
  EXPECT_TRUE(DocumentList::whyNotListed(f.file("~$合同.docx"), "docx,").contains("临时文件"));
  EXPECT_TRUE(DocumentList::whyNotListed(f.file(".hidden.docx"), "docx,").contains("隐藏文件"));
  EXPECT_TRUE(DocumentList::whyNotListed(f.file("notes.txt"), "doc,docx,").contains("doc docx"));
  EXPECT_TRUE(DocumentList::whyNotListed(f.file("REPORT.DOC"), "doc,").isEmpty());
}

TEST(DocumentListAdd, SameFolderTwiceThenClearSame) {
  Folder f;
  f.touch("a.docx");
  f.touch("b.docx");
  DocumentList list;
  list.addFiles(f.path(), "docx,", true);
  list.addFiles(f.path(), "docx,", true);
  EXPECT_EQ(names(list.paths(), f.path() + "/"), (QStringList{"a.docx", "b.docx", "a.docx", "b.docx"}));
  list.setTicked(2, false);  // the later copy of a.docx
  list.setTicked(1, false);  // the earlier copy of b.docx
  EXPECT_EQ(list.clearSame(), 2);
  // One of each, the earlier one (with its own tick).
  EXPECT_EQ(names(list.paths(), f.path() + "/"), (QStringList{"a.docx", "b.docx"}));
  EXPECT_TRUE(list.isTicked(0));
  EXPECT_FALSE(list.isTicked(1));
  EXPECT_EQ(list.tickedCount(), 1);
  EXPECT_EQ(list.clearSame(), 0);
  // Case-sensitive, the first of each kept in its place.
  list.clear();
  list.append(QStringList{"/x/a.docx", "/x/B.docx", "/x/a.docx", "/x/b.docx", "/x/B.docx", "/x/a.docx"});
  EXPECT_EQ(list.clearSame(), 3);
  EXPECT_EQ(list.paths(), (QStringList{"/x/a.docx", "/x/B.docx", "/x/b.docx"}));
}

TEST(DocumentListAdd, SingleFileAdd) {
  Folder f;
  const QString a = f.touch("a.docx");
  const QString t = f.touch("notes.txt");
  f.mkdir("dir.docx");
  DocumentList list;
  EXPECT_EQ(list.addFiles("", "docx,", false), 0);      // blank: nothing
  EXPECT_EQ(list.addFiles("   ", "docx,", true), 0);
  EXPECT_EQ(list.addFiles(t, "docx,", false), 0);       // does not qualify: not added
  EXPECT_EQ(list.addFiles(f.file("gone.docx"), "docx,", false), 0);  // missing
  EXPECT_EQ(list.addFiles(f.file("dir.docx"), "docx,", false), 0);   // a folder is not a file
  EXPECT_EQ(list.addFiles("/nonexistent/vm-folder", "docx,", true), 0);
  EXPECT_EQ(list.showAllFile("/nonexistent/vm-folder", "docx,"), 0);
  EXPECT_EQ(list.addFiles(a, "docx,", false), 1);
  EXPECT_EQ(list.paths(), QStringList{a});              // unchanged
  EXPECT_EQ(list.addFiles(a, "docx,", false), 1);       // twice is twice
  EXPECT_EQ(list.entryCount(), 2);
}

TEST(DocumentListAdd, TreeAddOrder) {
  Folder f;
  f.touch("z.docx");
  f.touch("a.docx");
  f.touch("b/2.docx");
  f.touch("b/1.docx");
  f.touch("b/c/x.docx");
  f.touch("a/only.doc");
  f.touch("B/upper.docx");
  DocumentList list;
  list.showAllFile(f.path() + "/", "doc,docx,");
  // The folder's files first (by name), then each subfolder by name, depth first.
  EXPECT_EQ(names(list.paths(), f.path() + "/"),
            (QStringList{"a.docx", "z.docx", "B/upper.docx", "a/only.doc", "b/1.docx", "b/2.docx", "b/c/x.docx"}));
  EXPECT_EQ(list.tickedCount(), 7);
}

TEST(DocumentListAdd, TreeAddDoesNotEnterLinkedFolders) {
  Folder f;
  f.touch("real/r.docx");
  ASSERT_TRUE(QFile::link(f.file("real"), f.file("link")));
  ASSERT_TRUE(QFile::link(f.path(), f.file("real/loop")));  // a cycle back to the top
  ASSERT_TRUE(QFile::link("/", f.file("root")));            // would walk the whole disk
  DocumentList list;
  list.showAllFile(f.path(), "docx,");
  EXPECT_EQ(names(list.paths(), f.path() + "/"), QStringList{"real/r.docx"});
}

TEST(DocumentListAdd, WhatCannotBeListedIsReportedWithItsReason) {
  Folder f;
  f.touch("ok.docx");
  ASSERT_TRUE(QFile::link(f.file("gone.docx"), f.file("dangling.docx")));
  ASSERT_TRUE(QFile::link(f.file("loop2.docx"), f.file("loop1.docx")));
  ASSERT_TRUE(QFile::link(f.file("loop1.docx"), f.file("loop2.docx")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(f.file("pipe.docx")).constData(), 0600), 0);
  const QByteArray base = QFile::encodeName(f.path());
  ::close(::open((base + "/bad\xff.docx").constData(), O_CREAT | O_WRONLY, 0600));
  ASSERT_EQ(::mkdir((base + "/sub\xfe").constData(), 0700), 0);
  ::close(::open((base + "/sub\xfe/inside.docx").constData(), O_CREAT | O_WRONLY, 0600));
  ASSERT_TRUE(QFile::link(f.file("gone.txt"), f.file("other.txt")));  // not a document: not reported

  QStringList problems;
  EXPECT_EQ(names(DocumentList::scanTree(f.path(), "docx,", nullptr, {}, nullptr, &problems), f.path() + "/"),
            QStringList{"ok.docx"});
  const QString all = problems.join('\n');
  EXPECT_EQ(problems.size(), 6) << all.toStdString();
  for (const char* why : {"dangling.docx：链接指向的文件不存在", "loop1.docx：链接形成循环", "pipe.docx：不是普通文件",
                          "文件名不是有效的 UTF-8 编码", "文件夹名不是有效的 UTF-8 编码，未进入"})
    EXPECT_TRUE(all.contains(QString::fromUtf8(why))) << why;
  problems.clear();
  EXPECT_EQ(DocumentList::scanFolder(f.path(), "docx,", nullptr, &problems).size(), 1);
  EXPECT_EQ(problems.size(), 5);  // the folder add does not go into subfolders

  // A path given by name gets the same reasons.
  EXPECT_TRUE(vm::listcmd::missingPathText(f.file("dangling.docx")).startsWith("链接指向的文件不存在"));
  EXPECT_TRUE(vm::listcmd::missingPathText(f.file("loop1.docx")).startsWith("链接形成循环"));
  EXPECT_TRUE(vm::listcmd::missingPathText(QString::fromLocal8Bit(base + "/bad\xff.docx")).startsWith("文件名不是有效的"));
  EXPECT_TRUE(vm::listcmd::missingPathText(f.file("none.docx")).startsWith("文档或文件夹不存在"));
}

TEST(DocumentListScan, CancelFlagEndsScan) {
  Folder f;
  for (int i = 0; i < 5; ++i) f.touch(QStringLiteral("d%1/x.docx").arg(i));
  std::atomic<bool> cancel{true};
  bool cancelled = false;
  EXPECT_TRUE(DocumentList::scanTree(f.path(), "docx,", &cancel, {}, &cancelled).isEmpty());
  EXPECT_TRUE(cancelled);
  // A progress callback returning false after the second folder.
  int calls = 0;
  const QStringList some = DocumentList::scanTree(
      f.path(), "docx,", nullptr, [&](int, const QString&) { return ++calls < 2; }, &cancelled);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(some.size(), 1);
  EXPECT_EQ(DocumentList::scanTree(f.path(), "docx,", nullptr, {}, &cancelled).size(), 5);
  EXPECT_FALSE(cancelled);
}

TEST(DocumentListScan, FolderScanOffThread) {
  Folder f;
  for (int i = 0; i < 30; ++i) f.touch(QStringLiteral("d%1/x%1.docx").arg(i, 2, 10, QChar('0')));
  vm::FolderScan scan;
  QStringList got;
  bool wasCancelled = true;
  QObject::connect(&scan, &vm::FolderScan::finished, [&](const QStringList& paths, const QStringList&, bool cancelled) {
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    got = paths;
    wasCancelled = cancelled;
  });
  ASSERT_TRUE(scan.start(f.path(), "docx,", true));
  EXPECT_FALSE(scan.start(f.path(), "docx,", true));  // one at a time
  scan.wait();
  EXPECT_FALSE(scan.isRunning());
  EXPECT_FALSE(wasCancelled);
  EXPECT_EQ(got, DocumentList::scanTree(f.path(), "docx,"));
  EXPECT_EQ(got.size(), 30);
  // Non-recursive: the folder add.
  f.touch("top.docx");
  ASSERT_TRUE(scan.start(f.path(), "docx,", false));
  scan.wait();
  EXPECT_EQ(got, QStringList{f.path() + "/top.docx"});
  // A cancelled scan still finishes once.
  int finishedCount = 0;
  QObject::connect(&scan, &vm::FolderScan::finished, [&] { ++finishedCount; });
  ASSERT_TRUE(scan.start(f.path(), "docx,", true));
  scan.cancel();
  scan.wait();
  EXPECT_EQ(finishedCount, 1);
  EXPECT_LE(got.size(), 31);
}

TEST(DocumentListFilter, KeepsAndDropsByPathTextAndADeletedFileSurvivesEveryFilter) {
  Folder f;
  const QString keep = f.touch("2010/final.doc");
  const QString gone = f.touch("2009/old.doc");
  const QString other = f.touch("2009/other.doc");
  const QString oldDoc = f.touch("2010/old.doc");
  DocumentList list;
  list.append(QStringList{gone, keep, other, oldDoc});
  ASSERT_TRUE(QFile::remove(gone));
  EXPECT_EQ(list.filter("2010", "old", false), 2);
  EXPECT_EQ(list.paths(), (QStringList{gone, keep}));
  list.filter("", "old", false);
  list.filter("", "2010", true);
  list.filter("zzz-nothing", "", false);
  EXPECT_EQ(list.paths(), QStringList{gone});
}

TEST(DocumentListFilter, CaseSensitivityAndTrim) {
  Folder f;
  const QString upper = f.touch("2010/OLD.doc");
  const QString lower = f.touch("2010/new.doc");
  DocumentList list;
  list.append(QStringList{upper, lower});
  EXPECT_EQ(list.filter("", "old", true), 0);  // chkQfdxx ticked: "OLD" does not hold "old"
  EXPECT_EQ(list.entryCount(), 2);
  EXPECT_EQ(list.filter("  ", "  old  ", false), 1);  // trimmed; both lower-cased
  EXPECT_EQ(list.paths(), QStringList{lower});
  EXPECT_EQ(list.filter("NEW", "", true), 1);  // case-sensitive must-contain
  EXPECT_EQ(list.entryCount(), 0);
}

TEST(DocumentListFilter, RemovesManyRunsKeepingTicks) {
  Folder f;
  QStringList paths;
  for (int i = 0; i < 600; ++i) paths << f.touch(QStringLiteral("%1/f%2.docx").arg(i % 2 ? "keep" : "drop").arg(i));
  DocumentList list;
  list.append(paths);
  for (int i = 0; i < 600; i += 3) list.setTicked(i, false);
  int tickedKept = 0;
  for (int i = 1; i < 600; i += 2) tickedKept += i % 3 ? 1 : 0;
  EXPECT_EQ(list.filter("", "/drop/", false), 300);  // 300 runs: the model is reset
  EXPECT_EQ(list.entryCount(), 300);
  EXPECT_EQ(list.tickedCount(), tickedKept);
  for (int i = 0; i < list.entryCount(); ++i) EXPECT_TRUE(list.path(i).contains("/keep/"));
}

TEST(DocumentListCommands, FolderAddWithoutSuffix) {
  Folder home, f;
  f.touch("a.docx");
  vm::RecordingPrompter prompter;
  auto app = vm::AppContext::create(home.file("data"), prompter);
  ASSERT_TRUE(app);
  EXPECT_EQ(vm::listcmd::chooseFolder(*app, prompter, f.path(), "", false), -1);
  EXPECT_EQ(prompter.last().title, "出错了！");
  EXPECT_EQ(prompter.last().text, "请先选择文档后缀名！");
  EXPECT_EQ(app->documents().entryCount(), 0);
  EXPECT_EQ(vm::listcmd::chooseFolder(*app, prompter, f.path(), "docx,", true), 1);
  EXPECT_EQ(vm::listcmd::chooseFolder(*app, prompter, f.file("missing"), "docx,", true), 0);
  EXPECT_EQ(vm::listcmd::chooseFile(*app, prompter, f.file("a.docx"), "docx,"), 1);
  EXPECT_EQ(app->documents().entryCount(), 2);
}

TEST(DocumentListEdit, SelectionOps) {
  DocumentList list;
  QList<QPair<int, int>> counts;
  QObject::connect(&list, &DocumentList::countsChanged, [&](int t, int e) { counts << qMakePair(t, e); });
  list.append(QStringList{"/a.docx", "/b.docx", "/c.docx", "/d.docx"});
  EXPECT_EQ(counts.size(), 1);
  EXPECT_EQ(counts.last(), qMakePair(4, 4));
  EXPECT_EQ(list.countsText(), "4|4");
  list.setAllTicked(false);
  EXPECT_EQ(list.tickedCount(), 0);
  EXPECT_EQ(list.deleteTicked(), 0);  // none ticked: nothing happens
  EXPECT_EQ(list.entryCount(), 4);
  list.setTicked(1, true);
  list.setTicked(3, true);
  EXPECT_EQ(list.countsText(), "2|4");
  list.invertTicks();
  EXPECT_EQ(list.tickedPaths(), (QStringList{"/a.docx", "/c.docx"}));
  EXPECT_EQ(list.deleteTicked(), 2);
  EXPECT_EQ(list.paths(), (QStringList{"/b.docx", "/d.docx"}));
  EXPECT_EQ(list.tickedCount(), 0);
  // Through the model, as the view does.
  EXPECT_TRUE(list.setData(list.index(0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(list.data(list.index(0), Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(list.data(list.index(1), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(list.data(list.index(1), Qt::ToolTipRole).toString(), "/d.docx");
  EXPECT_EQ(list.data(list.index(0), Qt::DisplayRole).toString(), "/b.docx");
  EXPECT_TRUE(list.flags(list.index(0)) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(list.tickedCount(), 1);
  list.clear();
  EXPECT_EQ(list.countsText(), "0|0");
}

TEST(DocumentListEdit, HundredThousandEntries) {
  DocumentList list;
  QStringList paths;
  paths.reserve(100000);
  for (int i = 0; i < 100000; ++i) paths << QStringLiteral("/docs/%1/file%2.docx").arg(i % 100).arg(i % 50000);
  list.append(paths);  // its speed: bench/doclist
  EXPECT_EQ(list.entryCount(), 100000);
  EXPECT_EQ(list.tickedCount(), 100000);
  EXPECT_EQ(list.rowCount(), 100000);
  EXPECT_EQ(list.path(99999), paths[99999]);
  EXPECT_EQ(list.clearSame(), 50000);
  EXPECT_EQ(list.entryCount(), 50000);
  for (int i = 0; i < 50000; i += 2) list.setTicked(i, false);
  EXPECT_EQ(list.deleteTicked(), 25000);
  EXPECT_EQ(list.entryCount(), 25000);
  EXPECT_EQ(list.tickedCount(), 0);
  list.append(paths);
  EXPECT_EQ(list.entryCount(), 125000);
}
