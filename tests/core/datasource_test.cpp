// Data sources: the real Access files of the corpus read as mdb-export reads them, SQLite, CSV,
// XLSX, and a clear reason for every source or query that cannot be used.

#include <QProcess>
#include <QStringEncoder>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>

#include "data/accesssource.h"
#include "data/datasource.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;
using vm::data::DataSource;
using vm::data::QueryResult;

namespace {

const fs::path kDatabases = fs::path(VM_CORPUS_DIR) / "databases";

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

QueryResult run(const fs::path& path, const QString& sql, const QString& password = {}) {
  QString error;
  auto source = DataSource::open(q(path), password, &error);
  if (!source) ADD_FAILURE() << "open: " << error.toStdString();
  if (!source) return {};
  auto result = source->query(sql, &error);
  if (!result) ADD_FAILURE() << sql.toStdString() << ": " << error.toStdString();
  return result.value_or(QueryResult{});
}

// The reason a source or a query is refused; empty when both worked.
QString refusal(const fs::path& path, const QString& sql, const QString& password = {}) {
  QString error;
  auto source = DataSource::open(q(path), password, &error);
  if (source && source->query(sql, &error)) return {};
  return error;
}

// mdb-export's rows of a table: dates in ISO form, binary data left out.
QList<QStringList> mdbExport(const fs::path& db, const QString& table) {
  QProcess p;
  p.start(QStringLiteral("mdb-export"), {"-H", "-Q", "-b", "strip", "-d", QString(QChar(0x1f)), "-R",
                                          QString(QChar(0x1e)), "-T", "%Y-%m-%d %H:%M:%S", q(db), table});
  p.waitForFinished(60000);
  QList<QStringList> rows;
  for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QChar(0x1e), Qt::SkipEmptyParts))
    rows << line.split(QChar(0x1f));
  return rows;
}

bool sameValue(const QString& ours, QString theirs) {
  if (ours == theirs) return true;
  if (theirs.endsWith(QLatin1String(" 00:00:00"))) theirs.chop(9);
  if (theirs.startsWith(QLatin1String("1899-12-30 "))) theirs = theirs.mid(11);
  if (ours == theirs) return true;
  bool a = false, b = false;
  const double x = ours.toDouble(&a), y = theirs.toDouble(&b);
  return a && b && std::fabs(x - y) <= 1e-6 * std::max(1.0, std::fabs(y));
}

}  // namespace

TEST(DataSource, AccessTablesReadAsMdbExportReadsThem) {
  const std::pair<const char*, QStringList> files[] = {
      {"nwind.mdb", {"Order Details", "Orders", "Products", "Shippers", "Categories", "Customers", "Employees",
                     "Suppliers", "Umsätze"}},
      {"DateTestDatabase.mdb", {"DateTest"}},
      {"ASampleDatabase.accdb", {"Asset Items"}},
  };
  for (const auto& [file, tables] : files) {
    for (const QString& table : tables) {
      SCOPED_TRACE(std::string(file) + " " + table.toStdString());
      const QueryResult ours = run(kDatabases / file, QStringLiteral("select * from [%1]").arg(table));
      const QList<QStringList> theirs = mdbExport(kDatabases / file, table);
      ASSERT_EQ(ours.rows.size(), theirs.size());
      ASSERT_GT(ours.rows.size(), 0);
      int differing = 0;
      for (qsizetype r = 0; r < theirs.size(); ++r)
        for (qsizetype c = 0; c < theirs[r].size(); ++c) {
          // mdbtools writes dates before 1900 or after 9999 as "1900-01-00"; ours are real dates.
          if (theirs[r][c].startsWith(QLatin1String("1900-01-00"))) continue;
          if (!sameValue(ours.rows[r].value(c), theirs[r][c]) && ++differing < 5)
            ADD_FAILURE() << "row " << r << " column " << ours.columns.value(c).toStdString() << ": "
                          << ours.rows[r].value(c).toStdString() << " / " << theirs[r][c].toStdString();
        }
      EXPECT_EQ(differing, 0);
    }
  }
}

TEST(DataSource, AccessQueriesWithJoinsBracketsAndDates) {
  const QueryResult join = run(kDatabases / "nwind.mdb",
                               "select o.OrderID, c.[CompanyName], o.[OrderDate] from Orders o "
                               "join [Customers] c on c.CustomerID = o.CustomerID where o.OrderID = 10330");
  ASSERT_EQ(join.rows.size(), 1);
  EXPECT_EQ(join.rows[0], (QStringList{"10330", "LILA-Supermercado", "1994-11-16"}));
  EXPECT_EQ(join.columns, (QStringList{"OrderID", "CompanyName", "OrderDate"}));
  // Numbers compare as numbers, money reads as a plain number.
  const QueryResult money = run(kDatabases / "ASampleDatabase.accdb",
                                "select [Cost], [Acquired] from [Asset Items] where [Cost] > 2000 order by [Asset No]");
  ASSERT_GE(money.rows.size(), 1);
  EXPECT_EQ(money.rows[0], (QStringList{"2450", "1997-09-02"}));
  const QueryResult umlaut = run(kDatabases / "nwind.mdb", "select count(*) from Umsätze");
  EXPECT_NE(umlaut.rows.value(0).value(0), "0");
  // Dates outside what mdbtools' own text reaches.
  const QueryResult dates = run(kDatabases / "DateTestDatabase.mdb", "select DateTimeCol, TimeCol from DateTest order by IDCol");
  ASSERT_EQ(dates.rows.size(), 6);
  EXPECT_EQ(dates.rows[0][0], "2021-12-02");
  EXPECT_TRUE(dates.rows[1][0].startsWith("9999-")) << dates.rows[1][0].toStdString();
  EXPECT_LT(dates.rows[2][0], "1900") << dates.rows[2][0].toStdString();
  EXPECT_LT(dates.rows[3][0], "1000") << dates.rows[3][0].toStdString();
}

TEST(DataSource, AccessFormsOfAQueryGiveTheRowsOfTheirSqliteForm) {
  const fs::path nwind = kDatabases / "nwind.mdb";
  const struct {
    const char *access, *sqlite;
  } pairs[] = {
      {"select top 3 OrderID from Orders where OrderDate >= #11/16/1994# order by OrderID",
       "select OrderID from Orders where OrderDate >= '1994-11-16' order by OrderID limit 3"},
      {"select CustomerID & \"-\" & [City], UCase(Left(CompanyName, 3)), Right(City, 2) from Customers "
       "where CompanyName like 'B*' and Country <> \"x\"",
       "select CustomerID || '-' || City, upper(substr(CompanyName, 1, 3)), substr(City, -2) from Customers "
       "where CompanyName like 'B%' and Country <> 'x'"},
      {"select distinctrow OrderID Mod 7, Nz(ShipRegion, '无'), Year(OrderDate), Day(OrderDate) from Orders "
       "where OrderID in (select top 2 OrderID from Orders order by OrderID desc) and OrderDate < #1999-1-1 9:30 PM#",
       "select distinct OrderID % 7, ifnull(ShipRegion, '无'), cast(substr(OrderDate, 1, 4) as int), "
       "cast(substr(OrderDate, 9, 2) as int) from Orders where OrderID in "
       "(select OrderID from Orders order by OrderID desc limit 2) and OrderDate < '1999-01-01 21:30:00'"},
  };
  for (const auto& c : pairs) {
    SCOPED_TRACE(c.access);
    const QueryResult access = run(nwind, QString::fromUtf8(c.access));
    EXPECT_FALSE(access.rows.isEmpty());
    EXPECT_EQ(access.rows, run(nwind, QString::fromUtf8(c.sqlite)).rows);
  }
}

TEST(DataSource, AccessPasswordMustMatch) {
  vm::test::TempDir dir;
  // The password field of the first page, stored as the format stores it.
  auto withPassword = [&](const char* file, const std::u16string& password) {
    std::string bytes = vm::test::readFile(kDatabases / file);
    const bool jet3 = bytes[0x14] == 0;
    const std::optional<QString> none = vm::data::accessPassword(QByteArray::fromStdString(bytes.substr(0, 4096)));
    EXPECT_EQ(none, QString());
    if (jet3) {
      for (std::size_t i = 0; i < password.size(); ++i) bytes[0x42 + i] ^= char(password[i]);
    } else {
      for (std::size_t i = 0; i < password.size(); ++i) {
        bytes[0x42 + 2 * i] ^= char(password[i] & 0xff);
        bytes[0x43 + 2 * i] ^= char(password[i] >> 8);
      }
    }
    const fs::path copy = dir.file(std::string("pw-") + file);
    vm::test::writeFile(copy, bytes);
    return copy;
  };
  for (const char* file : {"nwind.mdb", "DateTestDatabase.mdb"}) {
    SCOPED_TRACE(file);
    const fs::path copy = withPassword(file, file[0] == 'n' ? u"abc'1" : u"密码x");
    const QString right = file[0] == 'n' ? QStringLiteral("abc'1") : QStringLiteral("密码x");
    EXPECT_TRUE(refusal(copy, "select 1", "").contains("密码错误"));
    EXPECT_TRUE(refusal(copy, "select 1", right + "x").contains("密码错误"));
    EXPECT_EQ(refusal(copy, "select 1", right), QString());
  }
  // A database without a password refuses one that is given.
  EXPECT_TRUE(refusal(kDatabases / "nwind.mdb", "select 1", "x").contains("密码错误"));
}

TEST(DataSource, SqliteFileIsReadOnlyAndValuesComeBackExact) {
  vm::test::TempDir dir;
  const fs::path file = dir.file("客户.sqlite");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db,
               "create table 客户(姓名 text, 城市 text, 年龄 integer);"
               "insert into 客户 values('O''Brien \"老王\"', '北京', 41), ('张三', '上海', 29);",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const std::string before = vm::test::readFile(file);
  const QueryResult r = run(file, "select 姓名, 年龄 from [客户] where 年龄 > 30");
  ASSERT_EQ(r.rows.size(), 1);
  EXPECT_EQ(r.rows[0], (QStringList{"O'Brien \"老王\"", "41"}));
  EXPECT_TRUE(refusal(file, "delete from 客户").contains("只能执行查询"));
  EXPECT_TRUE(refusal(file, "select 1; delete from 客户").contains("一条"));
  EXPECT_EQ(vm::test::readFile(file), before);
}

TEST(DataSource, CsvInUtf8AndGb18030) {
  vm::test::TempDir dir;
  const QString text = QStringLiteral("姓名,城市,编号,金额\r\n张三,\"北京,朝阳\",007,12.5\r\n\"李\"\"四\"\"\",\"上海\n浦东\",42,3\r\n\r\n王五,广州\r\n");
  const fs::path utf8 = dir.file("名单.csv"), gb = dir.file("gb.csv");
  vm::test::writeFile(utf8, "\xEF\xBB\xBF" + text.toStdString());
  vm::test::writeFile(gb, QByteArray(QStringEncoder("GB18030")(text)).toStdString());
  for (const auto& [file, table] : {std::pair{utf8, QStringLiteral("名单")}, std::pair{gb, QStringLiteral("gb")}}) {
    SCOPED_TRACE(file.filename().string());
    const QueryResult all = run(file, QStringLiteral("select * from [%1]").arg(table));
    EXPECT_EQ(all.columns, (QStringList{"姓名", "城市", "编号", "金额"}));
    ASSERT_EQ(all.rows.size(), 3);
    EXPECT_EQ(all.rows[0], (QStringList{"张三", "北京,朝阳", "007", "12.5"}));
    EXPECT_EQ(all.rows[1], (QStringList{"李\"四\"", "上海\n浦东", "42", "3"}));
    EXPECT_EQ(all.rows[2], (QStringList{"王五", "广州", "", ""}));
    // Plain numbers compare as numbers, "007" stays text, an empty cell is NULL.
    EXPECT_EQ(run(file, "select 姓名 from Sheet1 where 编号 = 42 or 编号 = '007'").rows.size(), 2);
    EXPECT_EQ(run(file, "select 姓名 from Sheet1 where 金额 > 5").rows.value(0), QStringList{"张三"});
    EXPECT_EQ(run(file, "select 姓名 from Sheet1 where 金额 > 5").rows.size(), 1);
  }
}

TEST(DataSource, XlsxFirstSheetAsOpenpyxlWritesIt) {
  vm::test::TempDir dir;
  const fs::path file = dir.file("工资表.xlsx");
  QProcess py;
  py.start(QStringLiteral("/usr/bin/python3"),
           {"-c",
            "import sys, datetime, openpyxl\n"
            "wb = openpyxl.Workbook(); ws = wb.active; ws.title = '一月'\n"
            "ws.append(['姓名', '入职', '工资', '在职', '时间'])\n"
            "ws.append(['张三', datetime.date(2026, 12, 7), 8500, True, datetime.datetime(2026, 1, 2, 9, 30)])\n"
            "ws.append(['李\"四\\'', None, 1234.5, False, None])\n"
            "wb.create_sheet('二月').append(['x'])\n"
            "wb.save(sys.argv[1])\n",
            q(file)});
  py.waitForFinished(60000);
  if (py.exitCode() != 0) GTEST_SKIP() << "python3-openpyxl: " << py.readAllStandardError().toStdString();
  for (const char* table : {"工资表", "Sheet1", "一月", "[一月$]"}) {
    SCOPED_TRACE(table);
    const QueryResult r = run(file, QStringLiteral("select * from %1").arg(QString::fromUtf8(table)));
    EXPECT_EQ(r.columns, (QStringList{"姓名", "入职", "工资", "在职", "时间"}));
    ASSERT_EQ(r.rows.size(), 2);
    EXPECT_EQ(r.rows[0], (QStringList{"张三", "2026-12-07", "8500", "TRUE", "2026-01-02 09:30:00"}));
    EXPECT_EQ(r.rows[1], (QStringList{"李\"四'", "", "1234.5", "FALSE", ""}));
  }
  EXPECT_EQ(run(file, "select 姓名 from Sheet1 where 工资 > 2000").rows.size(), 1);
}

TEST(DataSource, EverySourceOrQueryThatCannotBeUsedSaysWhyInChinese) {
  vm::test::TempDir dir;
  vm::test::writeFile(dir.file("fake.mdb"), std::string(8192, 'x'));
  vm::test::writeFile(dir.file("fake.xlsx"), "not a zip");
  vm::test::writeFile(dir.file("fake.db"), std::string(4096, 'y'));
  vm::test::writeFile(dir.file("utf16.csv"), std::string("\xFF\xFE" "a\0,\0b\0", 8));
  vm::test::writeFile(dir.file("data.txt"), "a,b\n");
  const fs::path nwind = kDatabases / "nwind.mdb";
  const struct {
    fs::path file;
    const char* sql;
    const char* expected;
  } cases[] = {
      {dir.file("missing.mdb"), "select 1", "数据库文件不存在"},
      {dir.file("data.txt"), "select 1", "不支持的数据源类型"},
      {dir.file("fake.mdb"), "select 1", "不是 Access 数据库文件"},
      {dir.file("fake.xlsx"), "select 1", "不是有效的 .xlsx 工作簿"},
      {dir.file("fake.db"), "select 1", "不是 SQLite 数据库文件"},
      {dir.file("utf16.csv"), "select 1", "不是文本文件"},
      {nwind, "selec * from Orders", "SQL 语法错误"},
      {nwind, "select * from 订单", "表不存在：订单"},
      {nwind, "select Nobody from Orders", "列不存在：Nobody"},
      {nwind, "   ", "SQL语句不能为空"},
      {nwind, "select top 10 percent * from Orders", "不支持 TOP … PERCENT"},
      {nwind, "select * from Orders where OrderDate > #13/45/1994#", "无法识别的日期 #13/45/1994#"},
      {nwind, "select DateDiff('d', OrderDate, Now()) from Orders", "不支持 Access 函数 DateDiff"},
      {nwind, "select * from Customers where Phone like '[0-9]*'", "通配符不能使用"},
      {nwind, "select * from Customers where City = 'x", "引号没有结束"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.filename().string() + " " + c.sql);
    EXPECT_TRUE(refusal(c.file, QString::fromUtf8(c.sql)).contains(QString::fromUtf8(c.expected)))
        << refusal(c.file, QString::fromUtf8(c.sql)).toStdString();
  }
  // An empty result is no failure: the caller decides.
  EXPECT_EQ(run(nwind, "select * from Orders where 1 = 0").rows.size(), 0);
}
