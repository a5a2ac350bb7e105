#pragma once
// Access databases (.mdb Jet 3 and Jet 4, .accdb ACE) read with mdbtools. The tables a query
// names are loaded into the connection's in-memory SQLite database just before it runs:
// integers and booleans as integers, floating and currency values as numbers, dates as
// "2026-12-07" or "2026-12-07 09:30:00" (a time alone as "09:30:00"), text as text.

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace vm::data {

class DataSource;

// Throws DataError: not an Access file, damaged, a wrong password, or encrypted.
std::unique_ptr<DataSource> openAccess(const QString& path, const QString& password);

// The database password held in an Access file's first page (empty when it has none);
// nullopt when the bytes are not the start of an Access database.
std::optional<QString> accessPassword(const QByteArray& firstPage);

}  // namespace vm::data
