#include "app/folderscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>

#include "app/documentlist.h"

namespace vm {

FolderScan::FolderScan(QObject* parent) : QObject(parent) {}

FolderScan::~FolderScan() {
  if (cancel_) cancel_->store(true);
  joinThread();
}

void FolderScan::joinThread() {
  if (thread_.joinable()) thread_.join();
}

bool FolderScan::start(const QString& folder, const QString& suffixList, bool recursive) {
  if (running_) return false;
  joinThread();
  running_ = true;
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  auto cancel = cancel_;
  thread_ = std::thread([this, cancel, folder, suffixList, recursive] {
    bool cancelled = false;
    QStringList found, problems;
    if (recursive) {
      QElapsedTimer clock;
      clock.start();
      found = DocumentList::scanTree(folder, suffixList, cancel.get(),
                                     [&](int n, const QString& at) {
                                       if (clock.elapsed() >= 50) {
                                         clock.restart();
                                         QMetaObject::invokeMethod(
                                             this, [this, n, at] { emit progress(n, at); }, Qt::QueuedConnection);
                                       }
                                       return !cancel->load();
                                     },
                                     &cancelled, &problems);
    } else {
      found = DocumentList::scanFolder(folder, suffixList, cancel.get(), &problems);
      cancelled = cancel->load();
    }
    // Delivered on the owner's thread; dropped if the object is gone.
    QMetaObject::invokeMethod(
        this,
        [this, found = std::move(found), problems = std::move(problems), cancelled] {
          running_ = false;
          joinThread();
          emit finished(found, problems, cancelled);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void FolderScan::cancel() {
  if (cancel_) cancel_->store(true);
}

void FolderScan::wait() {
  while (running_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

}  // namespace vm
