#pragma once
// A folder scan off the GUI thread, for the window: start() returns at once; the scan runs on
// its own thread and finished() arrives on the thread that owns this object (the GUI thread)
// with every path found, to be appended to the list in one go. cancel() ends it early
// (finished() still comes, with cancelled true and what was found so far).
//
//   lock the list; scan.start(folder, suffixes, recursive);
//   on finished(paths, problems, cancelled): list.append(paths); unlock; report problems;

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

namespace vm {

class FolderScan : public QObject {
  Q_OBJECT
 public:
  explicit FolderScan(QObject* parent = nullptr);
  ~FolderScan() override;  // cancels and joins a running scan

  // recursive false: the folder add (AddFiles with the folder flag); true: the tree add
  // (ShowAllFile). "/" is appended to the folder when missing. False when a scan is running.
  bool start(const QString& folder, const QString& suffixList, bool recursive);
  void cancel();
  bool isRunning() const { return running_; }
  // Blocks until the running scan has delivered finished() (for tests and the command line).
  void wait();

 signals:
  // About every 50 ms while scanning: documents found so far and the folder being read.
  void progress(int found, const QString& folder);
  // problems: files that could not be listed, "path：reason" (see DocumentList::scanFolder).
  void finished(const QStringList& paths, const QStringList& problems, bool cancelled);

 private:
  void joinThread();
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> cancel_;
  bool running_ = false;
};

}  // namespace vm
