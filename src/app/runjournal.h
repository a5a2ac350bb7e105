#pragma once
// The undo journal of a run: every file a save of the run replaces or creates is noted in
// runs/<id>/journal.tsv of the data folder, with a SHA-256 of its content before and after and,
// for a replaced file, the old content kept in runs/<id>/kept/ (a hard link where the save
// renames over the file and the data folder is on the same file system, else a copy). Lines are
// written as the run goes, so a killed run can be taken back too.
//
// Undo restores a file only while it is as the run left it, newest change first; a file changed
// since is skipped and a missing one reported, never overwritten. Files the run created are
// removed while unchanged.

#include <QDateTime>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

#include "word/safesave.h"

namespace vm {

class RunJournal : public word::SaveObserver {
 public:
  // Opens a new journal under runsFolder for the operation; nullptr when it cannot be made
  // (the run then goes on without one).
  static std::unique_ptr<RunJournal> begin(const QString& runsFolder, const QString& operationId,
                                           const QString& title);
  ~RunJournal() override;

  void beforeReplace(const std::filesystem::path& target, bool exists, bool mayLink) override;
  void replaced(const std::filesystem::path& target) override;

  QString id() const { return id_; }
  // Files noted so far (replaced or created).
  int changes() const;

 private:
  RunJournal() = default;
  void append(const QByteArray& line);
  QString folder_, id_;
  mutable std::mutex mutex_;
  int fd_ = -1;
  int counter_ = 0;
  std::map<std::string, int> open_;  // target -> its entry awaiting replaced()
  int changes_ = 0;
};

struct RunRecord {
  QString id;
  QString operationId, title;
  QDateTime started;
  int changes = 0;   // files replaced or created
  bool undone = false;
};

struct UndoResult {
  QString path;
  enum Kind { Restored, Removed, ChangedSince, Missing, Failed } kind = Restored;
  QString message;  // in Chinese, for the report
};

// The runs of runsFolder, newest first.
QList<RunRecord> listRuns(const QString& runsFolder);
// Takes run id back (the newest when id is empty). False with *error when there is no such
// run or it was taken back already.
bool undoRun(const QString& runsFolder, const QString& id, QList<UndoResult>* results, QString* error);
// Drops the oldest runs beyond keep: they leave the list at once, their files go in the background.
void pruneRuns(const QString& runsFolder, int keep);

}  // namespace vm
