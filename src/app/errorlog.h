#pragma once
// The error log: log/log.txt in the data folder holds the last entry only:
//   -----------------------------------            (35 hyphens)
//   2026/5/3 14:05:09                              (date and time, "yyyy/M/d H:mm:ss")
//   <description><context>                         (the description followed directly by the context)
//   -----------------------------------
// Lines end with CR LF; the file is rewritten on every entry. A command records an error
// (pending); every command handler ends by calling write() (usually through a Scope). A
// missing log folder or an unwritable file writes nothing and shows nothing.
// Thread-safe: the run frame writes from its worker thread.

#include <QDateTime>
#include <QString>

#include <functional>
#include <mutex>

namespace vm {

class ErrorLog {
 public:
  explicit ErrorLog(QString logFile = {});

  void setLogFile(const QString& path);
  QString logFile() const;

  // Records an error as pending (the latest one wins, like VB's Err object).
  void record(const QString& description);
  bool hasPending() const;
  QString pending() const;
  void clearPending();

  // The writer: when an error is pending, rewrites the log with it and the context and
  // clears it. Failures are ignored. Returns whether an entry was written.
  bool write(const QString& context = {});
  // Writes one entry at once, leaving any pending error alone (the run frame's
  // per-document failures, from its worker thread).
  bool writeEntry(const QString& description, const QString& context);

  // The entry text as written (four lines, CR LF), for tests and the log itself.
  static QByteArray formatEntry(const QString& description, const QString& context, const QDateTime& when);
  static QString hyphens();  // 35 hyphens

  // For tests: the clock used for the date line.
  void setClock(std::function<QDateTime()> clock);

  // Calls write() with an empty context when it goes out of scope: every command handler
  // ends with the writer.
  class Scope {
   public:
    explicit Scope(ErrorLog& log) : log_(log) {}
    ~Scope() { log_.write(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ErrorLog& log_;
  };

 private:
  bool writeLocked(const QString& description, const QString& context);

  mutable std::mutex mutex_;
  QString file_;
  QString pending_;
  bool hasPending_ = false;
  std::function<QDateTime()> clock_;
};

}  // namespace vm
