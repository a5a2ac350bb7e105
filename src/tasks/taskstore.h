#pragma once
// The task store: config.db (SQLite) in the data folder with the tables tid, tfile, tRep,
// tCreate and tPrint. Created with its schema on first use; every statement binds its values,
// so quotes and anything else in a path, a rule, a name or a query come back exactly. Each call
// opens the database and closes it again; no connection stays open between calls. GUI thread
// (or the command line's main thread) only.

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

#include "app/operation.h"

namespace vm::tasks {

// One row of the task list, newest first.
struct TaskEntry {
  QString id;
  QString letter;  // "r", "p", "c"; anything else is kept as found
  QString name;
  bool operator==(const TaskEntry&) const = default;
};

// "r" -> "replace", "c" -> "create", "p" -> "print"; any other letter: empty.
QString kindWord(const QString& letter);
// The identifier of a task saved on date with number (1..99999): year, month, day and number
// written one after the other, without leading zeros or separators.
QString taskIdentifier(const QDate& date, int number);

inline constexpr int kSchemaVersion = 1;

class TaskStore {
 public:
  explicit TaskStore(QString path);  // DataFolder::database()

  const QString& path() const { return path_; }
  // Creates the file with its tables and schema version when missing (owner-only: a data
  // source password may be stored in it); false and the reason in *error when it cannot be
  // created or is not a task store.
  bool ensure(QString* error = nullptr) const;

  // Writes task in one transaction: its documents, rules, task row and settings row. A new
  // identifier for today is made (retried until no stored row uses it) and put into task.id;
  // the name is stored as given. A task without documents is refused.
  bool save(StoredTask& task, QString* error = nullptr) const;
  // Writes task under its own identifier (an imported task); refused when a row already uses it.
  bool insert(const StoredTask& task, QString* error = nullptr) const;
  QList<TaskEntry> list(QString* error = nullptr) const;
  // The task with its rows in the order saved; nullopt when no row has the identifier or on error.
  std::optional<StoredTask> load(const QString& id, QString* error = nullptr) const;
  // Deletes the task row and, by its kind letter, its documents, rules and settings rows.
  bool remove(const QString& id, const QString& letter, QString* error = nullptr) const;
  // Copies the store to backup.db beside it, then rebuilds it (VACUUM).
  bool compact(QString* error = nullptr) const;
  QString backupPath() const;

 private:
  QString path_;
};

}  // namespace vm::tasks
