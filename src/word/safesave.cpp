#include "word/safesave.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "word/error.h"

namespace vm::word {

namespace {

constexpr const char* kTempPrefix = ".vm-save-";

thread_local SaveObserver* t_observer = nullptr;
thread_local SaveGroup* t_group = nullptr;

void observeBefore(const std::filesystem::path& target, bool exists, bool mayLink) {
  if (t_observer) t_observer->beforeReplace(target, exists, mayLink);
}
void observeAfter(const std::filesystem::path& target) {
  if (t_observer) t_observer->replaced(target);
}

[[noreturn]] void fail(int err, const std::filesystem::path& target, const char* step) {
  bool full = err == ENOSPC || err == EFBIG || err == EDQUOT;
  throw EngineError(full ? ErrorCode::DiskFull : ErrorCode::WriteFailed,
                    target.string() + ": " + step + ": " + std::strerror(err));
}

// .vm-save-PID-COUNTER-CLOCK: the writer's pid first, so that a later run knows a leftover.
std::string uniqueSuffix() {
  static std::atomic<unsigned> counter{0};  // only makes names unique; no shared state otherwise
  auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
         std::to_string(now % 1000000007ULL);
}

// The pid of a leftover's writer, or 0 when the name is not exactly .vm-save-P-N-N.tmp / .dir.
pid_t leftoverPid(std::string_view name) {
  const std::string_view prefix = kTempPrefix;
  if (name.size() < prefix.size() + 4 || name.substr(0, prefix.size()) != prefix) return 0;
  std::string_view ext = name.substr(name.size() - 4);
  if (ext != ".tmp" && ext != ".dir") return 0;
  std::string_view body = name.substr(prefix.size(), name.size() - prefix.size() - 4);
  int fields = 0;
  long long pid = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= body.size(); ++i) {
    if (i < body.size() && body[i] >= '0' && body[i] <= '9') continue;
    if (i == start || (i < body.size() && body[i] != '-')) return 0;
    if (fields++ == 0) {
      if (i - start > 9) return 0;
      for (std::size_t k = start; k < i; ++k) pid = pid * 10 + (body[k] - '0');
    }
    start = i + 1;
  }
  return fields == 3 && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// Leftovers of killed runs in a folder we write into; once per folder and process.
void removeLeftovers(const std::filesystem::path& dir) {
  static std::mutex mutex;
  static std::set<std::string> done;
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (!done.insert(dir.string()).second) return;
  }
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::filesystem::path> dead;
  while (dirent* e = ::readdir(d)) {
    pid_t pid = leftoverPid(e->d_name);
    if (pid != 0 && pid != ::getpid() && !alive(pid)) dead.push_back(dir / e->d_name);
  }
  ::closedir(d);
  for (const auto& p : dead) {
    std::error_code ec;
    if (std::filesystem::is_symlink(p, ec)) continue;  // never ours: leave it
    std::filesystem::remove_all(p, ec);
  }
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

std::filesystem::path folderOf(const std::filesystem::path& target) {
  return target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
}

std::string keyOf(const std::filesystem::path& resolved) {
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(resolved, ec);
  return (ec ? resolved : abs).lexically_normal().string();
}

DocumentLock::Identity identityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

std::mutex registryMutex;
std::map<std::string, DocumentLock*>& registry() {
  static std::map<std::string, DocumentLock*> locks;
  return locks;
}

}  // namespace

// The save's side of a lock: checks and moves it.
struct LockAccess {
  static DocumentLock* find(const std::filesystem::path& resolved) {
    std::lock_guard<std::mutex> guard(registryMutex);
    auto it = registry().find(keyOf(resolved));
    return it == registry().end() ? nullptr : it->second;
  }
  static void verify(const DocumentLock* lock, const std::filesystem::path& target) {
    if (!lock) return;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !(identityOf(st) == lock->id_))
      throw EngineError(ErrorCode::ConcurrentEdit, target.string());
  }
  // The lock follows the content: fd (already locked) now names the document.
  static void moveTo(DocumentLock* lock, int fd) {
    struct stat st {};
    if (!lock || ::fstat(fd, &st) != 0) return;
    ::close(lock->fd_);
    lock->fd_ = ::dup(fd);
    lock->id_ = identityOf(st);
  }
  static DocumentLock::Identity identity(const DocumentLock* lock) { return lock->id_; }
  static void refresh(DocumentLock* lock) {
    struct stat st {};
    if (lock && ::fstat(lock->fd_, &st) == 0) lock->id_ = identityOf(st);
  }
  static std::unique_ptr<DocumentLock> acquire(const std::filesystem::path& document) {
    const std::filesystem::path target = resolve(document);
    for (int attempt = 0; attempt < 10; ++attempt) {
      int fd = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) return nullptr;
      struct stat st {};
      if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw EngineError(ErrorCode::OpenElsewhere, target.string() + ": locked by another run");
      }
      // Locked what was there when we opened it; a save may have replaced it meanwhile.
      struct stat now {};
      if (::stat(target.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        ::close(fd);
        continue;
      }
      std::unique_ptr<DocumentLock> lock(new DocumentLock);
      lock->fd_ = fd;
      lock->id_ = identityOf(now);
      lock->key_ = keyOf(target);
      std::lock_guard<std::mutex> guard(registryMutex);
      if (!registry().emplace(lock->key_, lock.get()).second)  // open twice in this process
        throw EngineError(ErrorCode::OpenElsewhere, target.string() + ": already open");
      return lock;
    }
    throw EngineError(ErrorCode::ConcurrentEdit, target.string() + ": replaced while opening");
  }
};

std::unique_ptr<DocumentLock> DocumentLock::acquire(const std::filesystem::path& document) {
  return LockAccess::acquire(document);
}

DocumentLock::~DocumentLock() {
  {
    std::lock_guard<std::mutex> guard(registryMutex);
    auto it = registry().find(key_);
    if (it != registry().end() && it->second == this) registry().erase(it);
  }
  if (fd_ >= 0) ::close(fd_);
}

std::filesystem::path scratchFolderBeside(const std::filesystem::path& target) {
  removeLeftovers(folderOf(target));
  return folderOf(target) / (kTempPrefix + uniqueSuffix() + ".dir");
}

namespace {

struct Original {
  bool exists = false;
  struct stat st {};
};

// What every save checks before it writes anything.
Original preflight(const std::filesystem::path& target) {
  Original o;
  o.exists = ::stat(target.c_str(), &o.st) == 0;
  if (!o.exists) return o;
  if (!S_ISREG(o.st.st_mode)) fail(EISDIR, target, "target");
  // The rename needs only the folder: without this a read-only or foreign file is replaced.
  if (::access(target.c_str(), W_OK) != 0) {
    if (errno == EACCES || errno == EROFS || errno == EPERM)
      throw EngineError(ErrorCode::ReadOnly, target.string() + ": " + std::strerror(errno));
    fail(errno, target, "access");
  }
  const std::string name = target.filename().string();
  std::vector<std::string> owners = {"~$" + name, ".~lock." + name + "#"};
  if (name.size() > 2) owners.push_back("~$" + name.substr(2));  // Word shortens long names
  for (const auto& owner : owners) {
    struct stat st {};
    if (::lstat((folderOf(target) / owner).c_str(), &st) == 0)
      throw EngineError(ErrorCode::OpenElsewhere, target.string() + ": " + owner);
  }
  return o;
}

// Extended attributes (ACLs among them) of the original onto the new file. Returns an errno.
int copyXattrs(const std::filesystem::path& from, int fd) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP ? 0 : errno;
  std::vector<char> names(static_cast<std::size_t>(size) + 1);
  size = ::listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return errno == ENOTSUP ? 0 : errno;
  for (const char* n = names.data(); n < names.data() + size; n += std::strlen(n) + 1) {
    ssize_t len = ::getxattr(from.c_str(), n, nullptr, 0);
    if (len < 0) continue;
    std::vector<char> value(static_cast<std::size_t>(len) + 1);
    len = ::getxattr(from.c_str(), n, value.data(), value.size());
    if (len < 0) continue;
    if (::fsetxattr(fd, n, value.data(), static_cast<std::size_t>(len), 0) != 0 && errno != ENOTSUP &&
        errno != EPERM)  // security.* / trusted.* need privileges we may not have
      return errno;
  }
  return 0;
}

// The original's owner, group, mode and extended attributes on the new file; the owner only
// where we may give it. Returns an errno.
int adopt(int fd, const std::filesystem::path& target, const Original& o) {
  if (!o.exists) return 0;
  if (::fchown(fd, o.st.st_uid, o.st.st_gid) != 0) {
    // Not the owner: the new file is ours, with the original's permission bits.
  }
  if (::fchmod(fd, o.st.st_mode & 07777) != 0) return errno;
  return copyXattrs(target, fd);  // after the mode: the ACL sets the group bits (its mask) last
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

// Copies from in (from its start) into out (from its start) and cuts out to that length.
int copyContent(int in, int out) {
  if (::lseek(in, 0, SEEK_SET) < 0 || ::lseek(out, 0, SEEK_SET) < 0) return errno;
  char buffer[1 << 16];
  off_t total = 0;
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    int err = 0;
    if (!writeAll(out, buffer, static_cast<std::size_t>(n), &err)) return err;
    total += n;
  }
  return ::ftruncate(out, total) == 0 ? 0 : errno;
}

std::pair<int, std::filesystem::path> createBeside(const std::filesystem::path& target, const char* prefix) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path temp = folderOf(target) / (prefix + uniqueSuffix() + ".tmp");  // short: any name fits
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return {fd, temp};
    if (errno != EEXIST) fail(errno, target, "create");
  }
  fail(EEXIST, target, "create");
}

// A target with several hard links: renaming over it would split them, so the new content
// goes into its inode. The new bytes are written (and flushed) beside it first, then the old
// bytes are kept in a .vm-keep-* copy (flushed), then the new bytes are copied in; a failure
// part way copies the old bytes back. A power cut during the copy can leave the target
// half-written, but the kept copy then holds the old content whole and is not removed.
void writeInPlace(const std::filesystem::path& target, bool sync, DocumentLock* lock, int newFd,
                  const std::filesystem::path& newPath) {
  auto [keepFd, keepPath] = createBeside(target, ".vm-keep-");
  int targetFd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
  int err = targetFd < 0 ? errno : 0;
  const char* step = "open";
  auto cleanup = [&] {
    if (targetFd >= 0) ::close(targetFd);
    ::close(keepFd);
    ::unlink(keepPath.c_str());
    ::close(newFd);
    ::unlink(newPath.c_str());
  };
  if (!err && (err = copyContent(targetFd, keepFd))) step = "keep";
  if (!err && sync && ::fdatasync(keepFd) != 0) err = errno, step = "fsync";
  if (err) {
    cleanup();
    fail(err, target, step);
  }
  try {
    LockAccess::verify(lock, target);
  } catch (...) {
    cleanup();
    throw;
  }
  if ((err = copyContent(newFd, targetFd)) || (sync && ::fdatasync(targetFd) != 0 && (err = errno))) {
    if (copyContent(keepFd, targetFd) == 0 && (!sync || ::fdatasync(targetFd) == 0)) {
      cleanup();
      fail(err, target, "write in place");
    }
    // Not even the old bytes went back: keep them beside the target for the user.
    ::close(targetFd);
    ::close(keepFd);
    ::close(newFd);
    ::unlink(newPath.c_str());
    fail(err, target, ("write in place; the original is kept in " + keepPath.filename().string()).c_str());
  }
  LockAccess::refresh(lock);
  cleanup();
}

}  // namespace

struct SaveGroup::Held {
  std::filesystem::path target, temp;
  int fd = -1;
  int tag = 0;
  bool existed = false;
  DocumentLock::Identity seen;  // the target as the save saw it
};

struct GroupAccess {
  static bool holds(const SaveGroup& g, const std::filesystem::path& target) {
    for (const auto& h : g.held_)
      if (h.target == target) return true;
    return false;
  }
  static void hold(SaveGroup& g, SaveGroup::Held h) {
    h.tag = g.tag_;
    g.held_.push_back(std::move(h));
  }
};

namespace {

// The new file (fd, at temp) becomes target: it takes the document's lock, the target must still
// be the file the lock saw, and the lock follows the content. Throws with temp left in place.
void renameOver(int fd, const std::filesystem::path& temp, const std::filesystem::path& target, DocumentLock* lock) {
  if (lock && ::flock(fd, LOCK_EX | LOCK_NB) != 0) fail(errno, target, "lock");
  LockAccess::verify(lock, target);
  if (::rename(temp.c_str(), target.c_str()) != 0) fail(errno, target, "rename");
  LockAccess::moveTo(lock, fd);
}

// File systems whose syncfs writes every dirty file of theirs and waits for it; elsewhere (a
// network or user-space file system may not) each file is flushed on its own.
bool syncfsFlushesAll(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // ext2, ext3 and ext4
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
      return true;
    default:
      return false;
  }
}

// A new file beside the target, filled by fill (which returns 0 or an errno), flushed and
// renamed over the target.
void commit(const std::filesystem::path& target, bool sync, const std::function<int(int fd)>& fill) {
  removeLeftovers(folderOf(target));
  if (t_group && GroupAccess::holds(*t_group, target)) t_group->commit();  // saved twice: in order
  Original original = preflight(target);
  DocumentLock* lock = LockAccess::find(target);
  LockAccess::verify(lock, target);
  auto [fd, temp] = createBeside(target, kTempPrefix);

  auto abandon = [&](int err, const char* step) {
    ::close(fd);
    ::unlink(temp.c_str());
    fail(err, target, step);
  };
  if (int err = fill(fd)) abandon(err, "write");
  const bool inPlace = original.exists && original.st.st_nlink > 1;
  if (t_group && sync && !inPlace) {
    if (int err = adopt(fd, target, original)) abandon(err, "permissions");
    SaveGroup::Held h;
    h.target = target;
    h.temp = temp;
    h.fd = fd;
    h.existed = original.exists;
    if (lock) h.seen = LockAccess::identity(lock);
    else if (original.exists) h.seen = identityOf(original.st);
    GroupAccess::hold(*t_group, std::move(h));
    return;
  }
  if (sync && ::fdatasync(fd) != 0) abandon(errno, "fsync");
  try {
    observeBefore(target, original.exists, !inPlace);
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (inPlace) {
    writeInPlace(target, sync, lock, fd, temp);
    return observeAfter(target);
  }
  if (int err = adopt(fd, target, original)) abandon(err, "permissions");
  try {
    renameOver(fd, temp, target, lock);
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  ::close(fd);  // no error left to see: the data was flushed (or sync is off)
  // The folder is not flushed: after a crash the target is the old file or the new one, whole.
  observeAfter(target);
}

}  // namespace

SaveObserver* setSaveObserver(SaveObserver* observer) { return std::exchange(t_observer, observer); }

SaveGroup* setSaveGroup(SaveGroup* group) {
  static const bool eachOnItsOwn = [] {
    const char* v = std::getenv("VELLUMARK_FLUSH_EACH");
    return v && std::strcmp(v, "1") == 0;
  }();
  return std::exchange(t_group, eachOnItsOwn ? nullptr : group);
}

SaveGroup::SaveGroup() = default;

SaveGroup::~SaveGroup() {
  for (const Held& h : held_) {
    ::close(h.fd);
    ::unlink(h.temp.c_str());
  }
}

std::size_t SaveGroup::held() const { return held_.size(); }

std::vector<std::pair<int, std::exception_ptr>> SaveGroup::takeFailures() { return std::exchange(failures_, {}); }

void SaveGroup::commit() {
  std::vector<Held> batch = std::exchange(held_, {});
  // One flush for each file system, through the file opened first (a syncfs reports the write
  // errors met since its descriptor was opened).
  std::map<dev_t, int> flushed;  // device -> errno of its syncfs
  std::vector<int> errors(batch.size(), 0);
  for (std::size_t i = 0; i < batch.size(); ++i) {
    struct stat st {};
    if (::fstat(batch[i].fd, &st) != 0) {
      errors[i] = errno;
      continue;
    }
    auto it = flushed.find(st.st_dev);
    if (it == flushed.end() && syncfsFlushesAll(batch[i].fd))
      it = flushed.emplace(st.st_dev, ::syncfs(batch[i].fd) == 0 ? 0 : errno).first;
    if (it != flushed.end()) errors[i] = it->second;
    else if (::fdatasync(batch[i].fd) != 0) errors[i] = errno;
  }
  for (std::size_t i = 0; i < batch.size(); ++i) {
    const Held& h = batch[i];
    try {
      if (errors[i]) fail(errors[i], h.target, "fsync");
      struct stat now {};
      const bool exists = ::stat(h.target.c_str(), &now) == 0;
      if (exists != h.existed || (exists && !(identityOf(now) == h.seen)))
        throw EngineError(ErrorCode::ConcurrentEdit, h.target.string());
      DocumentLock* lock = LockAccess::find(h.target);
      observeBefore(h.target, h.existed, true);
      renameOver(h.fd, h.temp, h.target, lock);
    } catch (...) {
      ::close(h.fd);
      ::unlink(h.temp.c_str());
      failures_.emplace_back(h.tag, std::current_exception());
      continue;
    }
    ::close(h.fd);
    observeAfter(h.target);
  }
}

void noteCreatedFile(const std::filesystem::path& target) {
  if (!t_observer) return;
  t_observer->beforeReplace(target, false, false);
  t_observer->replaced(target);
}

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
  struct stat ts {};
  const bool sameFs = ::fstat(in, &ws) == 0 && S_ISREG(ws.st_mode) && ::stat(folderOf(target).c_str(), &ds) == 0 &&
                      ws.st_dev == ds.st_dev && ws.st_nlink == 1 &&
                      (::stat(target.c_str(), &ts) != 0 || ts.st_nlink == 1);
  if (sameFs) {
    // Moved: the written file becomes the target under the target's permissions.
    try {
      removeLeftovers(folderOf(target));
      Original original = preflight(target);
      DocumentLock* lock = LockAccess::find(target);
      int err = adopt(in, target, original);
      const char* step = "permissions";
      if (!err && sync && ::fdatasync(in) != 0) err = errno, step = "fsync";
      if (!err && lock && ::flock(in, LOCK_EX | LOCK_NB) != 0) err = errno, step = "lock";
      if (err) fail(err, target, step);
      LockAccess::verify(lock, target);
      observeBefore(target, original.exists, true);
      if (::rename(written.c_str(), target.c_str()) != 0) fail(errno, target, "rename");
      LockAccess::moveTo(lock, in);
    } catch (...) {
      ::close(in);
      throw;
    }
    ::close(in);
    observeAfter(target);
    return;
  }
  try {
    commit(target, sync, [&](int fd) { return copyContent(in, fd); });
  } catch (...) {
    ::close(in);
    throw;
  }
  ::close(in);
  std::error_code ec;
  std::filesystem::remove(written, ec);
}

}  // namespace vm::word
