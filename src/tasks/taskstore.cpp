#include "tasks/taskstore.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <cstdio>

namespace vm::tasks {

QString kindWord(const QString& letter) {
  if (letter == QLatin1String("r")) return QStringLiteral("replace");
  if (letter == QLatin1String("c")) return QStringLiteral("create");
  if (letter == QLatin1String("p")) return QStringLiteral("print");
  return {};
}

QString taskIdentifier(const QDate& date, int number) {
  return QStringLiteral("%1%2%3%4").arg(date.year()).arg(date.month()).arg(date.day()).arg(number);
}

namespace {

// The generate settings row's columns as the store spells them; t_in_data is read, never written.
const char* const kCreateColumns[] = {"t_filename", "t_fileSave", "d_dataPath", "d_dataPwd", "d_sql"};

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS tid(id INTEGER PRIMARY KEY AUTOINCREMENT, taskID TEXT NOT NULL, "
    "taskName TEXT, taskKind TEXT)",
    // The explicit keys keep the rows in the order saved, through VACUUM too.
    "CREATE TABLE IF NOT EXISTS tfile(id INTEGER PRIMARY KEY, taskid TEXT NOT NULL, taskfile TEXT)",
    "CREATE TABLE IF NOT EXISTS tRep(id INTEGER PRIMARY KEY, taskID TEXT NOT NULL, taskRep TEXT, taskRepT TEXT)",
    "CREATE TABLE IF NOT EXISTS tCreate(id INTEGER PRIMARY KEY, taskID TEXT NOT NULL, t_in_data TEXT, "
    "t_filename TEXT, t_fileSave TEXT, d_dataPath TEXT, d_dataPwd TEXT, d_sql TEXT)",
    "CREATE TABLE IF NOT EXISTS tPrint(id INTEGER PRIMARY KEY, taskID TEXT NOT NULL, tPrintCopies TEXT)",
    "CREATE INDEX IF NOT EXISTS tid_taskID ON tid(taskID)",
    "CREATE INDEX IF NOT EXISTS tfile_taskid ON tfile(taskid)",
    "CREATE INDEX IF NOT EXISTS tRep_taskID ON tRep(taskID)",
    "CREATE INDEX IF NOT EXISTS tCreate_taskID ON tCreate(taskID)",
    "CREATE INDEX IF NOT EXISTS tPrint_taskID ON tPrint(taskID)",
};

// One connection for one call: Qt's named connections must be removed after the last handle.
class Connection {
 public:
  explicit Connection(const QString& path) : name_(QStringLiteral("vm-tasks-%1").arg(++counter_)) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) error_ = db.lastError().text();
  }
  ~Connection() {
    {
      QSqlDatabase db = QSqlDatabase::database(name_, false);
      if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(name_);
  }
  QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }
  const QString& error() const { return error_; }

 private:
  static inline std::atomic<int> counter_{0};
  QString name_;
  QString error_;
};

bool fail(QString* error, const QString& why) {
  if (error) *error = why;
  return false;
}

// Runs sql with the values bound in order; false with the database's reason.
bool exec(QSqlQuery& q, const QString& sql, const QVariantList& values, QString* error) {
  if (!q.prepare(sql)) return fail(error, q.lastError().text());
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) return fail(error, q.lastError().text());
  return true;
}

bool exec(const QSqlDatabase& db, const QString& sql, const QVariantList& values, QString* error) {
  QSqlQuery q(db);
  return exec(q, sql, values, error);
}

// Opens the store, creating the schema when the file is new; false when it is not a task store.
bool openStore(const Connection& c, const QString& path, QString* error) {
  if (!c.error().isEmpty()) return fail(error, c.error());
  QSqlDatabase db = c.db();
  QSqlQuery q(db);
  if (!exec(q, QStringLiteral("PRAGMA user_version"), {}, error) || !q.next()) return false;
  const int version = q.value(0).toInt();
  q.finish();
  if (version > kSchemaVersion)
    return fail(error, QStringLiteral("任务数据库由更新版本的程序创建（版本 %1），无法使用").arg(version));
  if (version == kSchemaVersion) return true;
  if (!db.transaction()) return fail(error, db.lastError().text());
  for (const char* statement : kSchema) {
    if (!exec(db, QString::fromLatin1(statement), {}, error)) {
      db.rollback();
      return false;
    }
  }
  if (!exec(db, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), {}, error) || !db.commit()) {
    db.rollback();
    return false;
  }
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  return true;
}

bool idInUse(const QSqlDatabase& db, const QString& id, bool* inUse, QString* error) {
  QSqlQuery q(db);
  if (!exec(q,
            QStringLiteral("SELECT 1 FROM tid WHERE taskID = ? UNION ALL SELECT 1 FROM tfile WHERE taskid = ? "
                           "UNION ALL SELECT 1 FROM tRep WHERE taskID = ? UNION ALL SELECT 1 FROM tCreate WHERE "
                           "taskID = ? UNION ALL SELECT 1 FROM tPrint WHERE taskID = ? LIMIT 1"),
            {id, id, id, id, id}, error))
    return false;
  *inUse = q.next();
  return true;
}

}  // namespace

TaskStore::TaskStore(QString path) : path_(std::move(path)) {}

QString TaskStore::backupPath() const { return QFileInfo(path_).absolutePath() + QStringLiteral("/backup.db"); }

bool TaskStore::ensure(QString* error) const {
  Connection c(path_);
  return openStore(c, path_, error);
}

namespace {

bool writeRows(const QSqlDatabase& db, const StoredTask& task, QString* error) {
  const QString& id = task.id;
  for (const QString& path : task.documents)
    if (!exec(db, QStringLiteral("INSERT INTO tfile(taskid, taskfile) VALUES(?, ?)"), {id, path}, error)) return false;
  for (const TaskRule& r : task.rules)
    if (!exec(db, QStringLiteral("INSERT INTO tRep(taskID, taskRep, taskRepT) VALUES(?, ?, ?)"),
              {id, r.find, r.replacement}, error))
      return false;
  if (!exec(db, QStringLiteral("INSERT INTO tid(taskID, taskName, taskKind) VALUES(?, ?, ?)"), {id, task.name, task.letter},
            error))
    return false;
  if (task.letter == QLatin1String("p"))
    return exec(db, QStringLiteral("INSERT INTO tPrint(taskID, tPrintCopies) VALUES(?, ?)"),
                {id, task.settings.value(QStringLiteral("tPrintCopies"))}, error);
  if (task.letter == QLatin1String("c")) {
    QVariantList values{id};
    for (const char* column : kCreateColumns) values << task.settings.value(QString::fromLatin1(column));
    return exec(db,
                QStringLiteral("INSERT INTO tCreate(taskID, t_filename, t_fileSave, d_dataPath, d_dataPwd, d_sql) "
                               "VALUES(?, ?, ?, ?, ?, ?)"),
                values, error);
  }
  return true;
}

bool commitOrRollBack(QSqlDatabase& db, bool ok, QString* error) {
  if (ok && db.commit()) return true;
  if (ok) fail(error, db.lastError().text());
  db.rollback();
  return false;
}

}  // namespace

bool TaskStore::save(StoredTask& task, QString* error) const {
  if (task.documents.isEmpty()) return fail(error, QStringLiteral("任务没有文档"));
  Connection c(path_);
  if (!openStore(c, path_, error)) return false;
  QSqlDatabase db = c.db();
  if (!db.transaction()) return fail(error, db.lastError().text());
  // Identifiers of different days can coincide ("2026111" + "5" and "202611" + "15"), and the
  // random part may repeat within a day: draw again until no row uses it.
  const QDate today = QDate::currentDate();
  StoredTask written = task;
  bool ok = false;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    written.id = taskIdentifier(today, QRandomGenerator::global()->bounded(1, 100000));
    bool inUse = false;
    if (!idInUse(db, written.id, &inUse, error)) return commitOrRollBack(db, false, error);
    if (!inUse) {
      ok = true;
      break;
    }
  }
  if (!ok) fail(error, QStringLiteral("无法生成新的任务标识"));
  if (!commitOrRollBack(db, ok && writeRows(db, written, error), error)) return false;
  task.id = written.id;
  return true;
}

bool TaskStore::insert(const StoredTask& task, QString* error) const {
  Connection c(path_);
  if (!openStore(c, path_, error)) return false;
  QSqlDatabase db = c.db();
  if (!db.transaction()) return fail(error, db.lastError().text());
  bool inUse = false;
  if (!idInUse(db, task.id, &inUse, error)) return commitOrRollBack(db, false, error);
  if (inUse) {
    fail(error, QStringLiteral("任务标识 %1 已存在").arg(task.id));
    return commitOrRollBack(db, false, error);
  }
  return commitOrRollBack(db, writeRows(db, task, error), error);
}

QList<TaskEntry> TaskStore::list(QString* error) const {
  QList<TaskEntry> entries;
  Connection c(path_);
  if (!openStore(c, path_, error)) return entries;
  QSqlQuery q(c.db());
  if (!exec(q, QStringLiteral("SELECT taskID, taskKind, taskName FROM tid ORDER BY id DESC"), {}, error)) return entries;
  while (q.next()) entries.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
  return entries;
}

std::optional<StoredTask> TaskStore::load(const QString& id, QString* error) const {
  Connection c(path_);
  if (!openStore(c, path_, error)) return std::nullopt;
  QSqlDatabase db = c.db();
  StoredTask task;
  task.id = id;
  QSqlQuery q(db);
  bool found = false;
  if (!exec(q, QStringLiteral("SELECT taskName, taskKind FROM tid WHERE taskID = ? ORDER BY id"), {id}, error))
    return std::nullopt;
  if (q.next()) {
    found = true;
    task.name = q.value(0).toString();
    task.letter = q.value(1).toString();
  }
  if (!exec(q, QStringLiteral("SELECT taskRep, taskRepT FROM tRep WHERE taskID = ? ORDER BY id"), {id}, error))
    return std::nullopt;
  while (q.next()) task.rules.push_back({q.value(0).toString(), q.value(1).toString()});
  if (!exec(q, QStringLiteral("SELECT tPrintCopies FROM tPrint WHERE taskID = ? ORDER BY id"), {id}, error))
    return std::nullopt;
  if (q.next()) task.settings.insert(QStringLiteral("tPrintCopies"), q.value(0).toString());
  if (!exec(q,
            QStringLiteral("SELECT t_in_data, t_filename, t_fileSave, d_dataPath, d_dataPwd, d_sql FROM tCreate "
                           "WHERE taskID = ? ORDER BY id"),
            {id}, error))
    return std::nullopt;
  if (q.next()) {
    task.settings.insert(QStringLiteral("t_in_data"), q.value(0).toString());
    for (int i = 0; i < 5; ++i) task.settings.insert(QString::fromLatin1(kCreateColumns[i]), q.value(i + 1).toString());
  }
  if (!exec(q, QStringLiteral("SELECT taskfile FROM tfile WHERE taskid = ? ORDER BY id"), {id}, error))
    return std::nullopt;
  while (q.next()) task.documents << q.value(0).toString();
  if (!found && task.documents.isEmpty() && task.rules.isEmpty()) {
    fail(error, QStringLiteral("任务不存在：%1").arg(id));
    return std::nullopt;
  }
  return task;
}

bool TaskStore::remove(const QString& id, const QString& letter, QString* error) const {
  Connection c(path_);
  if (!openStore(c, path_, error)) return false;
  QSqlDatabase db = c.db();
  QStringList statements{QStringLiteral("DELETE FROM tid WHERE taskID = ?")};
  // A generate task's rules go with it too: nothing else could ever reach them.
  if (letter == QLatin1String("r") || letter == QLatin1String("c"))
    statements << QStringLiteral("DELETE FROM tRep WHERE taskID = ?");
  if (letter == QLatin1String("c")) statements << QStringLiteral("DELETE FROM tCreate WHERE taskID = ?");
  if (letter == QLatin1String("p")) statements << QStringLiteral("DELETE FROM tPrint WHERE taskID = ?");
  if (!kindWord(letter).isEmpty()) statements << QStringLiteral("DELETE FROM tfile WHERE taskid = ?");
  if (!db.transaction()) return fail(error, db.lastError().text());
  for (const QString& sql : statements) {
    if (!exec(db, sql, {id}, error)) {
      db.rollback();
      return false;
    }
  }
  if (!db.commit()) {
    fail(error, db.lastError().text());
    db.rollback();
    return false;
  }
  return true;
}

bool TaskStore::compact(QString* error) const {
  if (!QFileInfo::exists(path_)) return fail(error, QStringLiteral("任务数据库不存在"));
  Connection c(path_);
  if (!openStore(c, path_, error)) return false;
  QSqlDatabase db = c.db();
  // The backup is written whole under a temporary name first, so that a failure never leaves
  // a half-written backup.db in place of the last good one.
  const QString backup = backupPath();
  const QString partial = backup + QStringLiteral(".part");
  QFile::remove(partial);
  if (!exec(db, QStringLiteral("VACUUM INTO ?"), {partial}, error)) {
    QFile::remove(partial);
    return false;
  }
  QFile::setPermissions(partial, QFile::ReadOwner | QFile::WriteOwner);
  if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(backup).constData()) != 0) {
    QFile::remove(partial);
    return fail(error, QStringLiteral("无法写入备份文件 %1").arg(backup));
  }
  return exec(db, QStringLiteral("VACUUM"), {}, error);
}

}  // namespace vm::tasks
