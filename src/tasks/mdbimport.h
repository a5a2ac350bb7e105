#pragma once
// Import of the tasks of an Access task database (config.mdb of the Windows program) into the
// task store, read with mdbtools (mdb-tables, mdb-export). Each task keeps its identifier, name,
// kind, documents, rules and settings, in the order of the Access rows; a task whose identifier
// the store already has is left out and named. Rule rows no task owns are not imported.

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vm::tasks {

class TaskStore;

struct ImportCounts {
  int tasks = 0;
  int documents = 0;
  int rules = 0;
  QStringList skipped;  // "identifier name: reason"
};

// A table's rows, each by its column names in lower case; nullopt (the reason in *error) when the
// table cannot be read. *missing says the table is not there at all.
using TableRows = QList<QMap<QString, QString>>;
using TableReader = std::function<std::optional<TableRows>(const QString& table, bool* missing, QString* error)>;

// The import over any reader of the tables tid, tfile, tRep, tCreate and tPrint (names in any case).
std::optional<ImportCounts> importTasks(const TableReader& read, TaskStore& store, QString* error);
// The same from an .mdb/.accdb file through mdbtools; every failure a Chinese reason in *error.
std::optional<ImportCounts> importMdb(const QString& mdbPath, TaskStore& store, QString* error);

}  // namespace vm::tasks
