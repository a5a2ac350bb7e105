#include "data/accesssource.h"

#include <QFile>
#include <QStringDecoder>

#include <mdbtools.h>

#include <vector>

#include "data/dataerror.h"
#include "data/datasource.h"
#include "data/serialdate.h"
#include "data/sqlitedb.h"

namespace vm::data {

namespace {

constexpr int kPage = 4096;
constexpr std::size_t kBindSize = 200000;  // a memo value is cut there, as mdb-export cuts it

// The masks the first page's password field is stored under.
constexpr unsigned char kJet3Mask[20] = {0x86, 0xFB, 0xEC, 0x37, 0x5D, 0x44, 0x9C, 0xFA, 0xC6, 0x5E,
                                         0x28, 0xE6, 0x13, 0xB6, 0x8A, 0x60, 0x54, 0x94, 0x00, 0x00};
constexpr unsigned short kJet4Mask[19] = {0x6ABA, 0x37EC, 0xD561, 0xFA9C, 0xCFFA, 0xE628, 0x272F,
                                          0x608A, 0x0568, 0x367B, 0xE3C9, 0xB1DF, 0x654B, 0x4313,
                                          0x3EF3, 0x33B1, 0xF008, 0x5B79, 0x24AE};

unsigned short word16(const QByteArray& b, int at) {
  return static_cast<unsigned short>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

QString columnType(int mdbType) {
  switch (mdbType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      return QStringLiteral("INTEGER");
    case MDB_FLOAT:
    case MDB_DOUBLE:
      return QStringLiteral("REAL");
    case MDB_MONEY:
    case MDB_NUMERIC:
      return QStringLiteral("NUMERIC");
    case MDB_OLE:
    case MDB_BINARY:
    case MDB_COMPLEX:
      return QStringLiteral("BLOB");  // not read: pictures and attachments are no text
    default:
      return QStringLiteral("TEXT");
  }
}

class AccessSource final : public DataSource {
 public:
  AccessSource(std::unique_ptr<SqliteDb> db, MdbHandle* mdb, QString path)
      : DataSource(std::move(db)), mdb_(mdb), path_(std::move(path)) {
    GPtrArray* catalog = mdb_read_catalog(mdb_, MDB_TABLE);
    if (!catalog) throw DataError{QStringLiteral("无法读取 Access 数据库的表目录，文件可能已损坏：%1").arg(path_)};
    for (guint i = 0; i < catalog->len; ++i) {
      auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
        tables_.push_back({QString::fromUtf8(entry->object_name), entry, false});
    }
  }
  ~AccessSource() override { mdb_close(mdb_); }

 protected:
  bool prepareFor(const QString& sql, QString*) override {
    // Only the tables the query names: a large database is not read whole for one table.
    for (Table& t : tables_)
      if (!t.loaded && sql.contains(t.name, Qt::CaseInsensitive)) {
        load(t);
        t.loaded = true;
      }
    return true;
  }

 private:
  struct Table {
    QString name;
    MdbCatalogEntry* entry;
    bool loaded;
  };

  void load(const Table& t) {
    MdbTableDef* table = mdb_read_table(t.entry);
    if (!table) throw DataError{QStringLiteral("无法读取 Access 数据表“%1”，文件可能已损坏").arg(t.name)};
    struct Free {
      MdbTableDef* table;
      ~Free() { mdb_free_tabledef(table); }
    } freeTable{table};
    mdb_read_columns(table);
    mdb_rewind_table(table);
    const unsigned n = table->num_cols;
    QStringList names, types;
    std::vector<MdbColumn*> cols(n);
    std::vector<std::vector<char>> buffers(n);
    std::vector<int> lens(n, 0);
    std::vector<bool> bound(n, false);
    for (unsigned i = 0; i < n; ++i) {
      cols[i] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
      names << QString::fromUtf8(cols[i]->name);
      types << columnType(cols[i]->col_type);
      if (types.back() == QLatin1String("BLOB")) continue;
      buffers[i].assign(kBindSize + 1, 0);
      mdb_bind_column(table, int(i) + 1, buffers[i].data(), &lens[i]);
      bound[i] = true;
    }
    TableWriter writer(db(), t.name, names, types);
    std::vector<TableWriter::Value> values(n);
    while (mdb_fetch_row(table)) {
      for (unsigned i = 0; i < n; ++i) {
        values[i].reset();
        if (!bound[i] || lens[i] <= 0) continue;
        if (cols[i]->col_type == MDB_DATETIME && cols[i]->cur_value_len == 8)
          // From the stored day number: mdbtools' own text loses years before 1900 and after 9999's.
          values[i] = serialDateText(mdb_get_double(mdb_->pg_buf, cols[i]->cur_value_start));
        else
          values[i] = QString::fromUtf8(buffers[i].data(), lens[i]);
      }
      writer.add(values);
    }
    writer.finish();
  }

  MdbHandle* mdb_;
  QString path_;
  std::vector<Table> tables_;
};

}  // namespace

std::optional<QString> accessPassword(const QByteArray& page) {
  if (page.size() < 0x80 || page[0] != 0) return std::nullopt;
  const QByteArray format = page.mid(4, 16);
  if (format != QByteArray("Standard Jet DB\0", 16) && format != QByteArray("Standard ACE DB\0", 16))
    return std::nullopt;
  const int version = static_cast<unsigned char>(page[0x14]);
  if (version == 0) {  // Jet 3: bytes in the database's code page
    QByteArray bytes;
    for (int i = 0; i < 18; ++i) {
      const char c = char(static_cast<unsigned char>(page[0x42 + i]) ^ kJet3Mask[i]);
      if (c == 0) break;
      bytes += c;
    }
    return QStringDecoder("GB18030")(bytes);
  }
  // Jet 4 and ACE: UTF-16 units; the even ones are masked with the creation date's word too.
  const unsigned short dateMask = word16(page, 0x66) ^ kJet4Mask[18];
  QString password;
  for (int i = 0; i < 18; ++i) {
    unsigned short u = word16(page, 0x42 + 2 * i) ^ kJet4Mask[i];
    if (i % 2 == 0) u ^= dateMask;
    if (u == 0) break;
    password += QChar(u);
  }
  return password;
}

std::unique_ptr<DataSource> openAccess(const QString& path, const QString& password) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw DataError{QStringLiteral("无法读取数据库文件：%1").arg(path)};
  const QByteArray first = file.read(kPage);
  file.close();
  const std::optional<QString> stored = accessPassword(first);
  if (!stored) throw DataError{QStringLiteral("不是 Access 数据库文件，或文件已损坏：%1").arg(path)};
  if (*stored != password) throw DataError{QStringLiteral("数据库密码错误（不是有效的密码）")};
  const bool ace = first.mid(4, 16).startsWith("Standard ACE DB");
  if (ace && !stored->isEmpty())
    // An .accdb with a password is encrypted as a whole.
    throw DataError{QStringLiteral("该 Access 数据库设置了密码并已加密，无法读取；请在 Access 中撤销数据库密码后再使用")};
  MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
  if (!mdb) throw DataError{QStringLiteral("无法打开 Access 数据库，文件可能已损坏：%1").arg(path)};
  mdb_set_bind_size(mdb, kBindSize);
  mdb_set_boolean_fmt_numbers(mdb);
  try {
    return std::make_unique<AccessSource>(std::make_unique<SqliteDb>(), mdb, path);
  } catch (...) {
    mdb_close(mdb);
    throw;
  }
}

}  // namespace vm::data
