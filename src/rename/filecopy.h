#pragma once
// A copy of a file made beside its new place and given its name without ever replacing an
// entry that holds that name: the bytes go to a temporary file in the folder
// (.vm-save-PID-….tmp, which a later save there removes if this process dies first), are
// flushed, and the file is then linked in under the name only if the name is free. A failure
// leaves the folder as it was and the source untouched. Failures throw word::EngineError
// (WriteFailed, DiskFull, Unreadable).

#include <QString>

namespace vm::rename {

class PendingCopy {
 public:
  PendingCopy(const QString& source, const QString& folder);
  ~PendingCopy();  // removes the temporary file unless it was placed
  PendingCopy(const PendingCopy&) = delete;
  PendingCopy& operator=(const PendingCopy&) = delete;

  // Gives the copy the path (in the folder); false when an entry of that name exists.
  bool place(const QString& target);

 private:
  QString temp_;
  bool placed_ = false;
};

}  // namespace vm::rename
