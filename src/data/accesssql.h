#pragma once
// Access's own forms in a query, written as SQLite runs them: users write their queries as the
// Access data source took them.
//
//   SELECT TOP n ...             ... LIMIT n (at the end of that select)
//   #2026-12-7#, #12/7/2026 9:30#   '2026-12-07', '2026-12-07 09:30:00' (dates read as such)
//   a & b                        a || b
//   DISTINCTROW, a Mod b         DISTINCT, a % b
//   LIKE 'ab*c?'                 LIKE 'ab%c_' (a % or _ of the pattern stays literal)
//   Now(), Date()                the local date and time
//   UCase LCase Len Mid Left Right Nz IsNull CStr CInt CLng CDbl Year Month Day InStr(start, ...)
//                                functions of the connection (addAccessFunctions)
//
// Text inside quotes and [brackets] is left alone ("text" stays as written: SQLite reads it as
// text unless a column has that name, and a query over a CSV may quote its names so). A form
// that cannot be written for SQLite is a DataError with a Chinese text that names it.

#include <QString>

struct sqlite3;

namespace vm::data {

QString accessToSqlite(const QString& sql);

// The Access functions above that SQLite lacks, on this connection.
void addAccessFunctions(sqlite3* db);

}  // namespace vm::data
