// A run whose saves are flushed together: each document is reported once its file is in place,
// and one whose file changed before that is reported failed, alone, with the change kept.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "app/documentlist.h"
#include "app/errorlog.h"
#include "app/runframe.h"
#include "shelltestutil.h"
#include "word/safesave.h"

TEST(GroupedSaves, ADocumentChangedBeforeItsSaveIsInPlaceFailsAloneAndKeepsTheChange) {
  vm::shelltest::Folder dir;
  vm::DocumentList list;
  vm::ErrorLog log{dir.file("log.txt")};
  vm::RunFrame frame{list, log};
  QStringList docs;
  for (int i = 0; i < 3; ++i) docs << dir.touch(QStringLiteral("d%1.docx").arg(i), "old");
  list.append(docs);
  vm::RunSummary summary;
  QObject::connect(&frame, &vm::RunFrame::runFinished, [&](const vm::RunSummary& s) { summary = s; });
  vm::Operation op;
  op.id = QStringLiteral("docT");
  op.title = QStringLiteral("测试操作");
  op.independent = op.groupSaves = true;
  QStringList onDisk;  // what each routine saw of the document before it
  op.perDocument = [&](const QString& path) {
    onDisk << vm::shelltest::readAll(path);
    vm::word::writeFileAtomically(path.toStdString(), "new");
    return QString();
  };
  frame.setMaxWorkers(1);
  frame.setEntryHook([&](int i) {
    if (i == 2) dir.touch(QStringLiteral("d1.docx"), "the user's edit");  // d0 and d1 are held
  });
  ASSERT_TRUE(frame.start(op));
  ASSERT_TRUE(frame.waitUntilSettled(10000));
  EXPECT_EQ(onDisk, (QStringList{"old", "old", "old"}));
  EXPECT_EQ(vm::shelltest::readAll(docs[0]), "new");
  EXPECT_EQ(vm::shelltest::readAll(docs[1]), "the user's edit");
  EXPECT_EQ(vm::shelltest::readAll(docs[2]), "new");
  ASSERT_EQ(summary.failed().size(), 1);
  EXPECT_EQ(summary.failed()[0].path, docs[1]);
  EXPECT_FALSE(summary.failed()[0].message.isEmpty());
  EXPECT_EQ(summary.handled, 3);
  EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".vm-*")}, QDir::Files | QDir::Hidden).size(), 0);
}
