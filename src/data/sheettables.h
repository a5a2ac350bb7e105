#pragma once
// A spreadsheet-like file as one table of the connection's in-memory database: the first row
// names the columns, each further row is a row. The table is named after the file (its name
// without the extension) and can also be reached as Sheet1 (and, for .xlsx, by the sheet's own
// name and as [name$]). Both throw DataError with the reason for the user.

#include <QString>

namespace vm::data {

class SqliteDb;

// CSV as spreadsheet programs write it (quotes, doubled quotes, line breaks in quoted fields),
// in UTF-8 (with or without a byte-order mark) or GB18030.
void loadCsv(SqliteDb& db, const QString& path);

// The first sheet of an .xlsx workbook: shared and inline strings, numbers, booleans, dates
// (cells with a date format) as "2026-12-07" or "2026-12-07 09:30:00", a formula's last value.
void loadXlsx(SqliteDb& db, const QString& path);

}  // namespace vm::data
