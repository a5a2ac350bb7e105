#include "word/safesave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "word/error.h"

namespace vm::word {

namespace {

[[noreturn]] void fail(int err, const std::filesystem::path& target, const char* step) {
  bool full = err == ENOSPC || err == EFBIG || err == EDQUOT;
  throw EngineError(full ? ErrorCode::DiskFull : ErrorCode::WriteFailed,
                    target.string() + ": " + step + ": " + std::strerror(err));
}

std::string uniqueSuffix() {
  static std::atomic<unsigned> counter{0};  // only makes names unique; no shared state otherwise
  auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
         std::to_string(now % 1000000007ULL);
}

// The file a target names: a symbolic link (or a chain of them) is followed, so that the link
// stays and the file it points to is replaced. A dangling link names its missing destination.
std::filesystem::path resolve(const std::filesystem::path& requested) {
  std::filesystem::path target = requested;
  std::error_code ec;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, ec); ++hops) {
    std::filesystem::path next = std::filesystem::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

struct Original {
  bool exists = false;
  struct stat st {};
};

Original inspect(const std::filesystem::path& target) {
  Original o;
  o.exists = ::stat(target.c_str(), &o.st) == 0;
  if (o.exists && !S_ISREG(o.st.st_mode)) fail(EISDIR, target, "target");
  return o;
}

// The original's permissions on the new file; the owner only where we may give it.
void adopt(int fd, const Original& o) {
  if (!o.exists) return;
  if (::fchmod(fd, o.st.st_mode & 07777) != 0) throw errno;
  if (::fchown(fd, o.st.st_uid, o.st.st_gid) != 0) {
    // Not the owner: the new file is ours, with the original's permission bits.
  }
}

bool writeAll(int fd, const char* data, std::size_t left, int* err) {
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = n < 0 ? errno : ENOSPC;
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// A new file beside the target, filled by fill (which returns 0 or an errno), flushed and
// renamed over the target.
void commit(const std::filesystem::path& target, bool sync, const std::function<int(int fd)>& fill) {
  Original original = inspect(target);
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir / (".vm-save-" + uniqueSuffix() + ".tmp");  // short: any target name fits beside it
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) fail(errno, target, "create");
  }
  if (fd < 0) fail(EEXIST, target, "create");

  auto abandon = [&](int err, const char* step) {
    ::close(fd);
    ::unlink(temp.c_str());
    fail(err, target, step);
  };
  try {
    adopt(fd, original);
  } catch (int err) {
    abandon(err, "chmod");
  }
  if (int err = fill(fd)) abandon(err, "write");
  if (sync && ::fdatasync(fd) != 0) abandon(errno, "fsync");
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    fail(err, target, "close");
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    fail(err, target, "rename");
  }
  // The folder is not flushed: after a crash the target is the old file or the new one, whole.
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& requested, std::string_view bytes, bool sync) {
  commit(resolve(requested), sync, [&](int fd) {
    int err = 0;
    return writeAll(fd, bytes.data(), bytes.size(), &err) ? 0 : err;
  });
}

void replaceFile(const std::filesystem::path& requested, const std::filesystem::path& written, bool sync) {
  const std::filesystem::path target = resolve(requested);
  int in = ::open(written.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) fail(errno, target, "open the written file");
  struct stat ws {};
  struct stat ds {};
  std::filesystem::path dir = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  const bool sameFs = ::fstat(in, &ws) == 0 && S_ISREG(ws.st_mode) && ::stat(dir.c_str(), &ds) == 0 &&
                      ws.st_dev == ds.st_dev && ws.st_nlink == 1;
  if (sameFs) {
    // Moved: the written file becomes the target under the target's permissions.
    int err = 0;
    const char* step = "prepare";
    try {
      adopt(in, inspect(target));
    } catch (int e) {
      err = e;
    } catch (...) {
      ::close(in);
      throw;
    }
    if (!err && sync && ::fdatasync(in) != 0) err = errno, step = "fsync";
    ::close(in);
    if (err) fail(err, target, step);
    if (::rename(written.c_str(), target.c_str()) != 0) fail(errno, target, "rename");
    return;
  }
  try {
    commit(target, sync, [&](int fd) {
      char buffer[1 << 16];
      for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        int err = 0;
        if (!writeAll(fd, buffer, static_cast<std::size_t>(n), &err)) return err;
      }
    });
  } catch (...) {
    ::close(in);
    throw;
  }
  ::close(in);
  std::error_code ec;
  std::filesystem::remove(written, ec);
}

}  // namespace vm::word
