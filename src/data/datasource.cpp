#include "data/datasource.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <chrono>
#include <cmath>

#include "data/accesssource.h"
#include "data/accesssql.h"
#include "data/dataerror.h"
#include "data/sheettables.h"
#include "data/sqlitedb.h"

namespace vm::data {

namespace {

using Clock = std::chrono::steady_clock;

QString valueText(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return {};
    case SQLITE_FLOAT: {
      // A whole number reads as one ("2450", not SQLite's "2450.0").
      const double d = sqlite3_column_double(st, i);
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) return QString::number(qint64(d));
      break;
    }
    case SQLITE_BLOB:
      return QStringLiteral("（二进制数据）");
    default:
      break;
  }
  return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
}

struct Statement {
  sqlite3_stmt* st = nullptr;
  ~Statement() { sqlite3_finalize(st); }
};

}  // namespace

DataSource::DataSource(std::unique_ptr<SqliteDb> db) : db_(std::move(db)) {}
DataSource::~DataSource() = default;

bool DataSource::prepareFor(const QString&, QString*) { return true; }

std::unique_ptr<DataSource> DataSource::open(const QString& path, const QString& password, QString* error) {
  const QFileInfo info(path);
  try {
    if (path.trimmed().isEmpty()) throw DataError{QStringLiteral("数据库地址不能为空！")};
    if (!info.exists()) throw DataError{QStringLiteral("数据库文件不存在：%1").arg(path)};
    if (!info.isFile()) throw DataError{QStringLiteral("数据库地址不是文件：%1").arg(path)};
    if (!info.isReadable()) throw DataError{QStringLiteral("没有读取数据库文件的权限：%1").arg(path)};
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb")) return openAccess(path, password);
    if (suffix == QLatin1String("sqlite") || suffix == QLatin1String("db") || suffix == QLatin1String("sqlite3"))
      return std::unique_ptr<DataSource>(new DataSource(std::make_unique<SqliteDb>(path)));
    if (suffix == QLatin1String("csv") || suffix == QLatin1String("xlsx")) {
      auto db = std::make_unique<SqliteDb>();
      if (suffix == QLatin1String("csv"))
        loadCsv(*db, path);
      else
        loadXlsx(*db, path);
      return std::unique_ptr<DataSource>(new DataSource(std::move(db)));
    }
    throw DataError{QStringLiteral("不支持的数据源类型“%1”（支持 Access 数据库 .mdb、.accdb，SQLite 数据库 .sqlite、.db，"
                                   "以及 .csv、.xlsx 表格）")
                        .arg(info.suffix())};
  } catch (const DataError& e) {
    if (error) *error = e.text;
  } catch (const std::bad_alloc&) {
    if (error) *error = QStringLiteral("内存不足，无法读取数据源：%1").arg(path);
  }
  return nullptr;
}

std::optional<QueryResult> DataSource::query(const QString& sql, QString* error) {
  auto fail = [&](const QString& text) -> std::optional<QueryResult> {
    if (error) *error = text;
    return std::nullopt;
  };
  QString text = sql.trimmed();
  if (text.isEmpty()) return fail(QStringLiteral("SQL语句不能为空！"));
  try {
    text = accessToSqlite(text);
    if (!prepareFor(text, error)) return std::nullopt;
  } catch (const DataError& e) {
    return fail(e.text);
  }
  sqlite3* db = db_->handle();
  addAccessFunctions(db);
  const QByteArray utf8 = text.toUtf8();
  const char* tail = nullptr;
  Statement s;
  if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &s.st, &tail) != SQLITE_OK)
    return fail(explainSqliteError(QString::fromUtf8(sqlite3_errmsg(db))));
  if (!s.st) return fail(QStringLiteral("SQL语句不能为空！"));
  {
    Statement rest;
    if (tail && sqlite3_prepare_v2(db, tail, -1, &rest.st, nullptr) == SQLITE_OK && !rest.st) {
      // only spaces, comments or ";" follow
    } else {
      return fail(QStringLiteral("只能执行一条 SQL 语句（查询语句后面还有其他语句）"));
    }
  }
  if (!sqlite3_stmt_readonly(s.st) || sqlite3_column_count(s.st) == 0)
    return fail(QStringLiteral("只能执行查询（select）语句，不能修改数据"));

  QueryResult result;
  const int n = sqlite3_column_count(s.st);
  for (int i = 0; i < n; ++i) result.columns << QString::fromUtf8(sqlite3_column_name(s.st, i));
  const auto deadline = Clock::now() + std::chrono::seconds(kQuerySeconds);
  auto overdue = [](void* d) -> int { return Clock::now() > *static_cast<Clock::time_point*>(d) ? 1 : 0; };
  sqlite3_progress_handler(db, 10000, overdue, const_cast<Clock::time_point*>(&deadline));
  int rc;
  try {
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
      QStringList row;
      row.reserve(n);
      for (int i = 0; i < n; ++i) row << valueText(s.st, i);
      result.rows << row;
    }
  } catch (const std::bad_alloc&) {
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    return fail(QStringLiteral("查询结果太大，内存不足"));
  }
  sqlite3_progress_handler(db, 0, nullptr, nullptr);
  if (rc == SQLITE_INTERRUPT)
    return fail(QStringLiteral("查询超过 %1 秒仍未完成，已取消").arg(kQuerySeconds));
  if (rc != SQLITE_DONE) return fail(explainSqliteError(QString::fromUtf8(sqlite3_errmsg(db))));
  return result;
}

}  // namespace vm::data
