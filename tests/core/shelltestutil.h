#pragma once
// Small helpers for the shell tests: a temporary folder with QString paths and file creation.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable gtest messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '{';
  for (qsizetype i = 0; i < l.size(); ++i) *os << (i ? ", \"" : "\"") << l[i].toStdString() << '"';
  *os << '}';
}

namespace vm::shelltest {

class Folder {
 public:
  Folder() : dir_(QDir::tempPath() + QStringLiteral("/vmcore-XXXXXX")) { EXPECT_TRUE(dir_.isValid()); }
  // The folder without a trailing "/".
  QString path() const { return dir_.path(); }
  QString file(const QString& rel) const { return dir_.path() + QLatin1Char('/') + rel; }
  // Creates an (empty unless given) file, with its folders.
  QString touch(const QString& rel, const QByteArray& data = {}) const {
    const QString p = file(rel);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << p.toStdString();
    f.write(data);
    return p;
  }
  QString mkdir(const QString& rel) const {
    const QString p = file(rel);
    QDir().mkpath(p);
    return p;
  }

 private:
  QTemporaryDir dir_;
};

inline QByteArray readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace vm::shelltest
