#include "app/errorlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vm {

ErrorLog::ErrorLog(QString logFile) : file_(std::move(logFile)) {}

void ErrorLog::setLogFile(const QString& path) {
  std::lock_guard lock(mutex_);
  file_ = path;
}

QString ErrorLog::logFile() const {
  std::lock_guard lock(mutex_);
  return file_;
}

void ErrorLog::record(const QString& description) {
  std::lock_guard lock(mutex_);
  pending_ = description;
  hasPending_ = true;
}

bool ErrorLog::hasPending() const {
  std::lock_guard lock(mutex_);
  return hasPending_;
}

QString ErrorLog::pending() const {
  std::lock_guard lock(mutex_);
  return pending_;
}

void ErrorLog::clearPending() {
  std::lock_guard lock(mutex_);
  hasPending_ = false;
  pending_.clear();
}

void ErrorLog::setClock(std::function<QDateTime()> clock) {
  std::lock_guard lock(mutex_);
  clock_ = std::move(clock);
}

QString ErrorLog::hyphens() { return QString(35, QLatin1Char('-')); }

QByteArray ErrorLog::formatEntry(const QString& description, const QString& context, const QDateTime& when) {
  const QString crlf = QStringLiteral("\r\n");
  // The "general date" of a zh-CN system: 2026/5/3 14:05:09 (fixed, not locale-dependent).
  const QString text = hyphens() + crlf + when.toString(QStringLiteral("yyyy/M/d H:mm:ss")) + crlf + description +
                       context + crlf + hyphens() + crlf;
  return text.toUtf8();
}

bool ErrorLog::writeLocked(const QString& description, const QString& context) {
  if (file_.isEmpty()) return false;
  // A missing log folder writes nothing; the folder is not created here.
  if (!QFileInfo(QFileInfo(file_).absolutePath()).isDir()) return false;
  QFile f(file_);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const QDateTime when = clock_ ? clock_() : QDateTime::currentDateTime();
  const QByteArray data = formatEntry(description, context, when);
  const bool ok = f.write(data) == data.size();
  f.close();
  return ok;
}

bool ErrorLog::write(const QString& context) {
  std::lock_guard lock(mutex_);
  if (!hasPending_) return false;
  const QString description = pending_;
  hasPending_ = false;  // cleared whether or not the write succeeds
  pending_.clear();
  return writeLocked(description, context);
}

bool ErrorLog::writeEntry(const QString& description, const QString& context) {
  std::lock_guard lock(mutex_);
  return writeLocked(description, context);
}

}  // namespace vm
