// The task store config.db: values with quotes come back exactly, the list is newest first,
// deleting takes every row of the task, compaction keeps a backup, and a file that is not a
// task store is refused instead of being written into.

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include "support/tempdir.h"
#include "tasks/mdbimport.h"
#include "tasks/taskstore.h"

using vm::StoredTask;
using vm::tasks::TaskStore;
using vm::test::TempDir;

namespace {

const QString kOdd = QStringLiteral("O'Brien \"引号\" ''; DROP TABLE tid; -- %_ \\ 合同");

StoredTask task(const QString& letter, const QString& name) {
  StoredTask t;
  t.letter = letter;
  t.name = name;
  t.documents = {QStringLiteral("/srv/it's/甲.docx"), QStringLiteral("/srv/b\"c.doc")};
  if (letter != QLatin1String("p")) t.rules = {{kOdd, QStringLiteral("[img]/p/o'k.png[/img]")}, {QStringLiteral("a"), {}}};
  if (letter == QLatin1String("p")) t.settings[QStringLiteral("tPrintCopies")] = QStringLiteral("3");
  if (letter == QLatin1String("c"))
    for (const char* c : {"t_filename", "t_fileSave", "d_dataPath", "d_dataPwd", "d_sql"})
      t.settings[QString::fromLatin1(c)] = kOdd + QString::fromLatin1(c);
  return t;
}

// Rows a table holds for a task, straight from the file.
int rows(const QString& db, const QString& table, const QString& id) {
  int n = -1;
  {
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
    c.setDatabaseName(db);
    c.open();
    QSqlQuery q(c);
    q.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE taskID = ?").arg(table));
    q.addBindValue(id);
    if (q.exec() && q.next()) n = q.value(0).toInt();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("probe"));
  return n;
}

}  // namespace

TEST(TaskStore, KeepsEveryValueExactlyAndListsNewestFirst) {
  TempDir dir;
  TaskStore store(QString::fromStdString(dir.file("config.db").string()));
  StoredTask r = task(QStringLiteral("r"), QStringLiteral("  ") + kOdd), p = task(QStringLiteral("p"), kOdd),
             c = task(QStringLiteral("c"), kOdd);
  for (StoredTask* t : {&r, &p, &c}) ASSERT_TRUE(store.save(*t));
  for (const StoredTask* t : {&r, &p, &c}) {
    auto back = store.load(t->id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, t->name);
    EXPECT_EQ(back->letter, t->letter);
    EXPECT_EQ(back->documents, t->documents);
    EXPECT_EQ(back->rules, t->rules);
    for (auto it = t->settings.begin(); it != t->settings.end(); ++it) EXPECT_EQ(back->settings.value(it.key()), *it);
  }
  const auto listed = store.list();
  ASSERT_EQ(listed.size(), 3);
  EXPECT_EQ(listed[0].id, c.id);
  EXPECT_EQ(listed[2].id, r.id);
  EXPECT_EQ(listed[1].letter, QStringLiteral("p"));
  EXPECT_EQ(vm::tasks::kindWord(QStringLiteral("c")), QStringLiteral("create"));
  EXPECT_TRUE(vm::tasks::kindWord(QStringLiteral("x")).isEmpty());
  // Saved today: year, month and day without leading zeros, then 1..99999.
  const QDate d = QDate::currentDate();
  EXPECT_TRUE(r.id.startsWith(vm::tasks::taskIdentifier(d, 0).chopped(1)));
  EXPECT_EQ(vm::tasks::taskIdentifier(QDate(2027, 1, 1), 4711), QStringLiteral("2027114711"));
  StoredTask empty = task(QStringLiteral("r"), QStringLiteral("x"));
  empty.documents.clear();
  EXPECT_FALSE(store.save(empty));
  EXPECT_EQ(store.list().size(), 3);
}

TEST(TaskStore, DeletingTakesEveryRowOfThatTaskOnly) {
  TempDir dir;
  const QString db = QString::fromStdString(dir.file("config.db").string());
  TaskStore store(db);
  StoredTask c = task(QStringLiteral("c"), QStringLiteral("gen")), r = task(QStringLiteral("r"), QStringLiteral("rep")),
             p = task(QStringLiteral("p"), QStringLiteral("prn"));
  for (StoredTask* t : {&c, &r, &p}) ASSERT_TRUE(store.save(*t));
  ASSERT_TRUE(store.remove(c.id, QStringLiteral("c")));
  ASSERT_TRUE(store.remove(p.id, QStringLiteral("p")));
  for (const char* table : {"tid", "tfile", "tRep", "tCreate", "tPrint"}) {
    EXPECT_EQ(rows(db, QString::fromLatin1(table), c.id), 0) << table;  // its rules too
    EXPECT_EQ(rows(db, QString::fromLatin1(table), p.id), 0) << table;
  }
  EXPECT_EQ(rows(db, QStringLiteral("tRep"), r.id), 2);
  EXPECT_FALSE(store.load(c.id));
  // A kind no operation has: only its task row goes.
  ASSERT_TRUE(store.remove(r.id, QStringLiteral("?")));
  EXPECT_TRUE(store.list().isEmpty());
  EXPECT_EQ(rows(db, QStringLiteral("tfile"), r.id), 2);
}

TEST(TaskStore, CompactionKeepsABackupAndTheTasks) {
  TempDir dir;
  TaskStore store(QString::fromStdString(dir.file("config.db").string()));
  QString error;
  EXPECT_FALSE(store.compact(&error));  // no store yet: nothing to compact
  StoredTask t = task(QStringLiteral("r"), kOdd);
  ASSERT_TRUE(store.save(t));
  ASSERT_TRUE(store.compact(&error)) << error.toStdString();
  EXPECT_EQ(TaskStore(store.backupPath()).load(t.id)->rules, t.rules);
  EXPECT_EQ(store.load(t.id)->documents, t.documents);
  ASSERT_TRUE(store.compact(&error));  // a second backup replaces the first
  EXPECT_FALSE(std::filesystem::exists(dir.file("backup.db.part")));
}

TEST(TaskStore, RefusesAFileThatIsNotATaskStore) {
  TempDir dir;
  vm::test::writeFile(dir.file("config.db"), std::string(4096, 'x'));
  const std::string before = vm::test::readFile(dir.file("config.db"));
  TaskStore store(QString::fromStdString(dir.file("config.db").string()));
  QString error;
  EXPECT_FALSE(store.ensure(&error));
  EXPECT_FALSE(error.isEmpty());
  StoredTask t = task(QStringLiteral("r"), QStringLiteral("x"));
  EXPECT_FALSE(store.save(t));
  EXPECT_EQ(vm::test::readFile(dir.file("config.db")), before);
  // A store from a newer program is left alone too.
  TaskStore newer(QString::fromStdString(dir.file("newer.db").string()));
  ASSERT_TRUE(newer.ensure());
  {
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bump"));
    c.setDatabaseName(newer.path());
    c.open();
    QSqlQuery(c).exec(QStringLiteral("PRAGMA user_version = 99"));
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bump"));
  EXPECT_FALSE(newer.ensure(&error));
  EXPECT_TRUE(error.contains(QStringLiteral("99")));
}

TEST(TaskStore, ImportKeepsIdentifiersAndOrderAndLeavesOutTakenOnes) {
  TempDir dir;
  TaskStore store(QString::fromStdString(dir.file("config.db").string()));
  StoredTask mine = task(QStringLiteral("r"), QStringLiteral("mine"));
  ASSERT_TRUE(store.save(mine));
  using Rows = vm::tasks::TableRows;
  auto row = [](std::initializer_list<std::pair<const char*, QString>> cells) {
    QMap<QString, QString> m;
    for (const auto& [k, v] : cells) m[QString::fromLatin1(k)] = v;
    return m;
  };
  const QMap<QString, Rows> tables{
      {QStringLiteral("tid"),
       {row({{"id", "12"}, {"taskid", "2009315"}, {"taskname", kOdd}, {"taskkind", "c"}}),
        row({{"id", "3"}, {"taskid", "200811"}, {"taskname", "old"}, {"taskkind", "p"}}),
        row({{"id", "4"}, {"taskid", mine.id}, {"taskname", "clash"}, {"taskkind", "r"}})}},
      {QStringLiteral("tfile"),
       {row({{"taskid", "2009315"}, {"taskfile", "C:/模板'.doc"}}), row({{"taskid", "200811"}, {"taskfile", "a"}}),
        row({{"taskid", "200811"}, {"taskfile", "b"}})}},
      {QStringLiteral("trep"), {row({{"taskid", "2009315"}, {"taskrep", "[姓名]"}, {"taskrept", "{name}"}})}},
      {QStringLiteral("tprint"), {row({{"taskid", "200811"}, {"tprintcopies", "2"}})}},
  };  // no tCreate table at all: its settings come back empty
  auto reader = [&](const QString& name, bool* missing, QString*) -> std::optional<Rows> {
    if (!tables.contains(name.toLower())) {
      *missing = true;
      return std::nullopt;
    }
    return tables.value(name.toLower());
  };
  QString error;
  auto counts = vm::tasks::importTasks(reader, store, &error);
  ASSERT_TRUE(counts) << error.toStdString();
  EXPECT_EQ(counts->tasks, 2);
  EXPECT_EQ(counts->documents, 3);
  ASSERT_EQ(counts->skipped.size(), 1);
  EXPECT_TRUE(counts->skipped[0].contains(mine.id));
  const auto listed = store.list();
  ASSERT_EQ(listed.size(), 3);
  EXPECT_EQ(listed[0].id, QStringLiteral("2009315"));  // the newest Access row stays the newest
  EXPECT_EQ(listed[1].id, QStringLiteral("200811"));
  EXPECT_EQ(store.load(QStringLiteral("200811"))->documents, (QStringList{"a", "b"}));
  EXPECT_EQ(store.load(QStringLiteral("200811"))->settings.value(QStringLiteral("tPrintCopies")), QStringLiteral("2"));
  EXPECT_EQ(store.load(QStringLiteral("2009315"))->name, kOdd);
  EXPECT_EQ(store.load(mine.id)->name, QStringLiteral("mine"));
}
