#include "word/docx/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "word/error.h"

namespace vm::word::docx {

namespace {

[[noreturn]] void fail(int err, const std::filesystem::path& target, const char* step) {
  bool full = err == ENOSPC || err == EFBIG || err == EDQUOT;
  throw EngineError(full ? ErrorCode::DiskFull : ErrorCode::WriteFailed,
                    target.string() + ": " + step + ": " + std::strerror(err));
}

std::string uniqueSuffix() {
  static std::atomic<unsigned> counter{0};  // only makes names unique; no shared state otherwise
  auto now = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
         std::to_string(now % 1000000007ULL);
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& requested, std::string_view bytes, bool sync) {
  std::filesystem::path target = requested;
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    auto resolved = std::filesystem::canonical(target, ec);
    if (!ec) target = resolved;
  }
  struct stat original {};
  bool exists = ::stat(target.c_str(), &original) == 0;
  if (exists && !S_ISREG(original.st_mode)) fail(EISDIR, target, "target");

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
  if (exists) {
    if (::fchmod(fd, original.st_mode & 07777) != 0) abandon(errno, "chmod");
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Not the owner: the new file is ours, with the original's permission bits.
    }
  }
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      abandon(errno, "write");
    }
    if (n == 0) abandon(ENOSPC, "write");
    data += n;
    left -= static_cast<std::size_t>(n);
  }
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

}  // namespace vm::word::docx
