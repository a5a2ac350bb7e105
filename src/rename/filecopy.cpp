#include "rename/filecopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "word/error.h"
#include "word/safesave.h"

namespace vm::rename {

namespace {

std::string local(const QString& s) { return s.toUtf8().toStdString(); }

[[noreturn]] void fail(int err, const QString& path, const char* step) {
  const bool full = err == ENOSPC || err == EFBIG || err == EDQUOT;
  throw word::EngineError(full ? word::ErrorCode::DiskFull : word::ErrorCode::WriteFailed,
                          local(path) + ": " + step + ": " + std::strerror(err));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// The engine's temporary name, so that its leftover clean-up knows ours.
QString tempName(const QString& folder) {
  static std::atomic<unsigned> counter{0};
  const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return folder + QStringLiteral("/.vm-save-%1-%2-%3.tmp")
                      .arg(::getpid())
                      .arg(counter.fetch_add(1))
                      .arg(now % 1000000007ULL);
}

void copyBytes(int in, int out, const QString& target) {
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n > 0) continue;
    if (n == 0) return;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) fail(errno, target, "copy");
    break;  // not offered here: plain reads and writes
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) return;
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, target, "read");
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        fail(errno, target, "write");
      }
      done += w;
    }
  }
}

}  // namespace

PendingCopy::PendingCopy(const QString& source, const QString& folder) {
  Fd in(::open(local(source).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw word::EngineError(word::ErrorCode::Unreadable, local(source));
  temp_ = tempName(folder);
  Fd out(::open(local(temp_).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (out.get() < 0) {
    const int err = errno;
    temp_.clear();
    fail(err, folder, "create");
  }
  copyBytes(in.get(), out.get(), temp_);
  // The copy is on the disk before it gets its name: a power cut leaves no half file named.
  if (::fsync(out.get()) != 0) fail(errno, temp_, "fsync");
}

PendingCopy::~PendingCopy() {
  if (!placed_ && !temp_.isEmpty()) ::unlink(local(temp_).c_str());
}

bool PendingCopy::place(const QString& target) {
  const std::string from = local(temp_);
  const std::string to = local(target);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    placed_ = true;
  } else if (errno == EEXIST) {
    return false;
  } else if (errno == EINVAL || errno == ENOSYS) {
    // No exclusive rename on this file system: a hard link fails on a taken name as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
    } else if (errno == EEXIST) {
      return false;
    } else if (errno == EPERM || errno == EOPNOTSUPP) {
      // Nor links (FAT): look, then rename; only another writer in the same instant can race.
      struct stat st {};
      if (::lstat(to.c_str(), &st) == 0) return false;
      if (::rename(from.c_str(), to.c_str()) != 0) fail(errno, target, "rename");
    } else {
      fail(errno, target, "link");
    }
    placed_ = true;
  } else {
    fail(errno, target, "rename");
  }
  const std::string dir = local(target.left(target.lastIndexOf(QLatin1Char('/'))));
  Fd d(::open(dir.empty() ? "/" : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d.get() >= 0) ::fsync(d.get());
  try {
    word::noteCreatedFile(to);  // the run's undo removes it again
  } catch (...) {
  }
  return true;
}

}  // namespace vm::rename
