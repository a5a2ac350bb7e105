#pragma once
// The SQLite database a data source's query runs in: the user's own file (read-only) or an
// in-memory one its tables are loaded into.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vm::data {

class SqliteDb {
 public:
  // An empty in-memory database.
  SqliteDb();
  // The file, read-only (a query never changes the user's data). Throws DataError.
  explicit SqliteDb(const QString& path);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* handle() const { return db_; }
  // Runs statements that return nothing; throws DataError.
  void exec(const QString& sql);
  // Whether a table or view of that name exists (names compare as SQLite does, ASCII case-folded).
  bool hasTable(const QString& name) const;

 private:
  sqlite3* db_ = nullptr;
};

// "name" with its double quotes doubled, for a table or column name in a statement.
QString quoteIdentifier(const QString& name);

// What SQLite's message means for the user, in Chinese, with SQLite's own text after it.
QString explainSqliteError(const QString& message);

// A new table filled row by row in one transaction.
class TableWriter {
 public:
  // types: SQLite column types ("INTEGER", "TEXT", ...; "" for none), one per column or empty.
  // Column names made unique (a repeated or empty name gets a number). Throws DataError.
  TableWriter(SqliteDb& db, const QString& table, QStringList columns, const QStringList& types = {});
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // One row: a value per column (nullopt: NULL; missing trailing values: NULL). With asNumber,
  // text that a number gives back unchanged ("42", "-3.5"; not "007" or "1.50") is stored as that
  // number, so that comparisons with numbers work; everything else stays text. Throws DataError.
  using Value = std::optional<QString>;
  void add(const std::vector<Value>& values, bool asNumber = false);
  // Commits; without it the rows are rolled back.
  void finish();
  const QStringList& columns() const { return columns_; }

 private:
  SqliteDb& db_;
  QStringList columns_;
  sqlite3_stmt* insert_ = nullptr;
  bool open_ = false;
};

// Extra names for a table: a view of each name that is not taken yet.
void addAliases(SqliteDb& db, const QString& table, const QStringList& aliases);

}  // namespace vm::data
