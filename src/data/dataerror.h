#pragma once
// A data source that cannot be read: the Chinese text for the user. Thrown inside src/data/ and
// turned into the error text of DataSource::open and query.

#include <QString>

namespace vm::data {

struct DataError {
  QString text;
};

}  // namespace vm::data
