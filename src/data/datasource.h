#pragma once
// The user's data source (数据库设置): a path and a password give a connection, or the reason
// there is none; the query runs on that connection and gives its rows.
//
//   .mdb / .accdb  an Access file read with mdbtools; the tables a query names are loaded into an
//                  in-memory SQLite database, where the query runs ([brackets] work)
//   .sqlite / .db  an SQLite database, opened read-only
//   .csv           one table named after the file (and Sheet1): a header row, UTF-8 or GB18030
//   .xlsx          the first sheet as one table named after the file (and Sheet1, and the
//                  sheet's own name): a header row
//
// Every text for the user is Chinese. A connection is used by one thread at a time and closed
// when it is destroyed.

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace vm::data {

class SqliteDb;

struct QueryResult {
  QStringList columns;
  QList<QStringList> rows;  // each value as text (NULL as "")
};

class DataSource {
 public:
  // nullptr with the reason in *error when the source cannot be opened (missing file, unknown
  // kind, damaged file, a wrong Access password).
  static std::unique_ptr<DataSource> open(const QString& path, const QString& password, QString* error);
  virtual ~DataSource();

  // Runs one query (a statement that returns rows). nullopt with the reason in *error: not
  // valid SQL, a table or column that is not there, not a query, more than one statement, or
  // longer than the time limit.
  std::optional<QueryResult> query(const QString& sql, QString* error);

  // The longest a query may run (the old data source's command timeout).
  static constexpr int kQuerySeconds = 50;

 protected:
  explicit DataSource(std::unique_ptr<SqliteDb> db);
  SqliteDb& db() { return *db_; }
  // Loads what a query needs before it runs (the Access tables it names); false with *error.
  virtual bool prepareFor(const QString& sql, QString* error);

 private:
  std::unique_ptr<SqliteDb> db_;
};

}  // namespace vm::data
