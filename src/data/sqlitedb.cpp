#include "data/sqlitedb.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>

#include "data/dataerror.h"

namespace vm::data {

namespace {

QString lastError(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

// A number whose text SQLite gives back exactly as written: only then is it stored as one.
std::optional<long long> plainInteger(const QString& s) {
  if (s.isEmpty() || s.size() > 19) return std::nullopt;
  const qsizetype digits = s.startsWith(u'-') ? 1 : 0;
  if (digits == s.size() || (s[digits] == u'0' && s.size() > digits + 1)) return std::nullopt;
  if (s == QLatin1String("-0")) return std::nullopt;
  for (qsizetype i = digits; i < s.size(); ++i)
    if (s[i] < u'0' || s[i] > u'9') return std::nullopt;
  bool ok = false;
  const long long v = s.toLongLong(&ok);
  return ok ? std::optional<long long>(v) : std::nullopt;
}

std::optional<double> plainReal(const QString& s) {
  if (s.isEmpty() || s.size() > 24 || !s.contains(u'.')) return std::nullopt;
  for (QChar c : s)
    if (!(c.isDigit() || c == u'.' || c == u'-')) return std::nullopt;
  bool ok = false;
  const double v = s.toDouble(&ok);
  if (!ok) return std::nullopt;
  // SQLite writes a real with 15 significant digits and at least one decimal.
  char buf[64];
  sqlite3_snprintf(sizeof buf, buf, "%!.15g", v);
  return QLatin1String(buf) == s ? std::optional<double>(v) : std::nullopt;
}

}  // namespace

SqliteDb::SqliteDb() {
  if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    const QString why = db_ ? lastError(db_) : QString();
    sqlite3_close(db_);
    db_ = nullptr;
    throw DataError{QStringLiteral("无法创建临时数据库（%1）").arg(why)};
  }
}

SqliteDb::SqliteDb(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  const int rc = sqlite3_open_v2(name.constData(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  QString why = rc == SQLITE_OK ? QString() : db_ ? lastError(db_) : QString();
  if (rc == SQLITE_OK) {
    // SQLite opens lazily: reading the schema tells a database from any other file.
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "select count(*) from sqlite_master", -1, &st, nullptr) != SQLITE_OK ||
        sqlite3_step(st) != SQLITE_ROW)
      why = lastError(db_);
    sqlite3_finalize(st);
  }
  if (!why.isEmpty()) {
    sqlite3_close(db_);
    db_ = nullptr;
    if (why.contains(QLatin1String("not a database")))
      throw DataError{QStringLiteral("不是 SQLite 数据库文件，或文件已损坏：%1").arg(path)};
    throw DataError{QStringLiteral("无法打开 SQLite 数据库：%1（%2）").arg(path, why)};
  }
}

SqliteDb::~SqliteDb() { sqlite3_close_v2(db_); }

void SqliteDb::exec(const QString& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
    const QString why = QString::fromUtf8(message ? message : sqlite3_errmsg(db_));
    sqlite3_free(message);
    throw DataError{explainSqliteError(why)};
  }
}

bool SqliteDb::hasTable(const QString& name) const {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db_, "select 1 from sqlite_master where type in ('table','view') and name = ?1 collate nocase",
                     -1, &st, nullptr);
  const QByteArray utf8 = name.toUtf8();
  sqlite3_bind_text(st, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
  const bool found = sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  return found;
}

QString quoteIdentifier(const QString& name) {
  QString q = name;
  q.replace(u'"', QStringLiteral("\"\""));
  return u'"' + q + u'"';
}

QString explainSqliteError(const QString& message) {
  struct Known {
    const char* prefix;
    const char* text;  // %1: what follows the prefix
  };
  static const Known known[] = {
      {"no such table: ", "表不存在：%1"},
      {"no such column: ", "列不存在：%1"},
      {"ambiguous column name: ", "列名不明确（多个表都有这一列）：%1"},
      {"no such function: ", "不支持的函数：%1"},
      {"incomplete input", "SQL 语句不完整"},
      {"attempt to write a readonly database", "数据源只读，SQL 语句不能修改数据"},
      {"unrecognized token: ", "无法识别的符号：%1"},
  };
  for (const Known& k : known) {
    const QString prefix = QString::fromLatin1(k.prefix);
    if (message.startsWith(prefix))
      return QString::fromUtf8(k.text).arg(message.mid(prefix.size())) + QStringLiteral("（%1）").arg(message);
  }
  if (message.startsWith(QLatin1String("near ")) && message.endsWith(QLatin1String("syntax error"))) {
    const qsizetype colon = message.lastIndexOf(QLatin1String(": syntax error"));
    return QStringLiteral("SQL 语法错误，在 %1 附近（%2）").arg(message.mid(5, colon - 5), message);
  }
  return QStringLiteral("SQL 语句执行出错（%1）").arg(message);
}

TableWriter::TableWriter(SqliteDb& db, const QString& table, QStringList columns, const QStringList& types)
    : db_(db) {
  // Unique names: SQLite compares them case-folded.
  QStringList seen;
  for (qsizetype i = 0; i < columns.size(); ++i) {
    QString name = columns[i].trimmed();
    if (name.isEmpty()) name = QStringLiteral("列%1").arg(i + 1);
    const QString base = name;
    for (int k = 2; seen.contains(name, Qt::CaseInsensitive); ++k) name = base + QStringLiteral("_%1").arg(k);
    seen << name;
    columns[i] = name;
  }
  columns_ = columns;
  if (columns_.isEmpty()) throw DataError{QStringLiteral("数据表没有列：%1").arg(table)};
  QString create = QStringLiteral("create table %1 (").arg(quoteIdentifier(table));
  QString marks;
  for (qsizetype i = 0; i < columns_.size(); ++i) {
    create += (i ? QStringLiteral(", ") : QString()) + quoteIdentifier(columns_[i]);
    if (i < types.size() && !types[i].isEmpty()) create += u' ' + types[i];
    marks += (i ? QStringLiteral(", ?") : QStringLiteral("?"));
  }
  db_.exec(create + u')');
  db_.exec(QStringLiteral("begin"));
  open_ = true;
  const QByteArray insert = QStringLiteral("insert into %1 values (%2)").arg(quoteIdentifier(table), marks).toUtf8();
  if (sqlite3_prepare_v2(db_.handle(), insert.constData(), -1, &insert_, nullptr) != SQLITE_OK)
    throw DataError{explainSqliteError(lastError(db_.handle()))};
}

TableWriter::~TableWriter() {
  sqlite3_finalize(insert_);
  if (open_) sqlite3_exec(db_.handle(), "rollback", nullptr, nullptr, nullptr);
}

void TableWriter::add(const std::vector<Value>& values, bool asNumber) {
  sqlite3_reset(insert_);
  sqlite3_clear_bindings(insert_);
  const int n = int(std::min<std::size_t>(values.size(), std::size_t(columns_.size())));
  for (int i = 0; i < n; ++i) {
    if (!values[i]) continue;
    const QString& v = *values[i];
    if (asNumber) {
      if (auto integer = plainInteger(v)) {
        sqlite3_bind_int64(insert_, i + 1, *integer);
        continue;
      }
      if (auto real = plainReal(v)) {
        sqlite3_bind_double(insert_, i + 1, *real);
        continue;
      }
    }
    const QByteArray utf8 = v.toUtf8();
    sqlite3_bind_text(insert_, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
  }
  if (sqlite3_step(insert_) != SQLITE_DONE) throw DataError{explainSqliteError(lastError(db_.handle()))};
}

void TableWriter::finish() {
  if (!open_) return;
  db_.exec(QStringLiteral("commit"));
  open_ = false;
}

void addAliases(SqliteDb& db, const QString& table, const QStringList& aliases) {
  for (const QString& alias : aliases)
    if (!alias.isEmpty() && !db.hasTable(alias))
      db.exec(QStringLiteral("create view %1 as select * from %2").arg(quoteIdentifier(alias), quoteIdentifier(table)));
}

}  // namespace vm::data
