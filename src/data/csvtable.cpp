// CSV files as one table (sheettables.h).

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

#include "data/dataerror.h"
#include "data/sheettables.h"
#include "data/sqlitedb.h"

namespace vm::data {

namespace {

constexpr qint64 kMaxCsvBytes = 256LL * 1024 * 1024;

QString decode(const QByteArray& bytes, const QString& path) {
  if (bytes.contains('\0')) throw DataError{QStringLiteral("CSV 文件不是文本文件（可能是 UTF-16 或二进制文件）：%1").arg(path)};
  auto utf8 = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(bytes);
  if (!utf8.hasError()) return text;  // a byte-order mark is dropped by the decoder
  // What spreadsheet programs on a Chinese desktop save as "CSV".
  auto gb = QStringDecoder("GB18030");
  text = gb.isValid() ? gb(bytes) : QString();
  if (!gb.isValid() || gb.hasError()) throw DataError{QStringLiteral("CSV 文件不是 UTF-8 或 GB18030 文本：%1").arg(path)};
  return text;
}

// Records of RFC 4180 text: fields split at commas, quoted fields may hold commas, doubled
// quotes and line breaks. Entirely empty lines are left out.
std::vector<std::vector<QString>> parse(const QString& text) {
  std::vector<std::vector<QString>> records;
  std::vector<QString> record;
  QString field;
  bool quoted = false, wasQuoted = false;
  auto endField = [&] {
    record.push_back(field);
    field.clear();
    wasQuoted = false;
  };
  auto endRecord = [&] {
    endField();
    if (!(record.size() == 1 && record[0].isEmpty())) records.push_back(std::move(record));
    record.clear();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == u'"') {
        if (i + 1 < text.size() && text[i + 1] == u'"') {
          field += u'"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
    } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == u',') {
      endField();
    } else if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      endRecord();
    } else {
      field += c;
    }
  }
  if (!field.isEmpty() || !record.empty() || wasQuoted) endRecord();
  return records;
}

}  // namespace

void loadCsv(SqliteDb& db, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw DataError{QStringLiteral("无法读取 CSV 文件：%1").arg(path)};
  const QByteArray bytes = file.read(kMaxCsvBytes + 1);
  if (bytes.size() > kMaxCsvBytes) throw DataError{QStringLiteral("CSV 文件过大（超过 256 MB）：%1").arg(path)};
  const auto records = parse(decode(bytes, path));
  if (records.empty()) throw DataError{QStringLiteral("CSV 文件是空的，没有标题行：%1").arg(path)};
  std::size_t width = 0;
  for (const auto& r : records) width = std::max(width, r.size());
  QStringList header;
  for (std::size_t i = 0; i < width; ++i) header << (i < records[0].size() ? records[0][i] : QString());
  const QString table = QFileInfo(path).completeBaseName();
  TableWriter writer(db, table, header);
  std::vector<TableWriter::Value> values;
  for (std::size_t r = 1; r < records.size(); ++r) {
    values.clear();
    // An empty cell is no value: NULL, which no comparison matches.
    for (const QString& v : records[r]) values.push_back(v.isEmpty() ? TableWriter::Value() : TableWriter::Value(v));
    writer.add(values, true);
  }
  writer.finish();
  addAliases(db, table, {QStringLiteral("Sheet1")});
}

}  // namespace vm::data
