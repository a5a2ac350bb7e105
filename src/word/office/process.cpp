#include "word/office/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "word/office/affinity.h"

extern char** environ;

namespace vm::word::office {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string fileUrl(const fs::path& p) {
  // Percent-encode what a file URL cannot hold literally.
  std::string abs = fs::absolute(p).lexically_normal().string();
  std::string out = "file://";
  static const char* hex = "0123456789ABCDEF";
  for (unsigned char c : abs) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

int openLock(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  int fd = ::open((dir / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct Record {
  pid_t pid = -1;
  std::string profileUrl;
};

bool readRecord(const fs::path& dir, Record& r) {
  std::ifstream in(dir / "office.pid");
  if (!in) return false;
  long pid = -1;
  in >> pid;
  in.ignore(1);
  std::getline(in, r.profileUrl);
  r.pid = static_cast<pid_t>(pid);
  return pid > 1 && !r.profileUrl.empty();
}

bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// The office's pipes are sockets that osl puts in /tmp whatever we ask; an office that ends
// leaves its single-instance pipe there, a killed one both. Their paths are recorded in the
// slot while the office runs and removed once it has ended.
bool isOfficePipe(const fs::path& p) {
  struct stat st {};
  return p.filename().string().rfind("OSL_PIPE_", 0) == 0 && ::lstat(p.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
         st.st_uid == ::getuid();
}

void removeRecordedSockets(const fs::path& dir) {
  std::ifstream in(dir / "sockets");
  std::string line;
  std::error_code ec;
  while (std::getline(in, line))
    if (!line.empty() && isOfficePipe(line)) fs::remove(line, ec);
  in.close();
  fs::remove(dir / "sockets", ec);
}

// Pipes of offices whose Vellumark process died before this fix could remove them
// ("OSL_PIPE_<uid>_vellumark-<pid>-...").
void removeDeadRunsPipes(const fs::path& folder) {
  const std::string prefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_vellumark-";
  std::error_code ec;
  for (auto& e : fs::directory_iterator(folder, ec)) {
    std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 1 && processGone(static_cast<pid_t>(pid)) && isOfficePipe(e.path())) fs::remove(e.path(), ec);
  }
}

// Ends the office recorded in a slot directory whose lock we hold. Returns 1 when ended.
int endRecordedOffice(const fs::path& dir) {
  Record r;
  int ended = 0;
  if (readRecord(dir, r)) {
    // Only a process whose command line names this slot's profile is ours: a pid reused by
    // anything else (a user's LibreOffice included) is left alone.
    std::string cmd = processCommandLine(r.pid);
    std::string needle = "-env:UserInstallation=" + r.profileUrl;
    auto at = cmd.find(needle);
    bool ours = at != std::string::npos &&
                (at + needle.size() == cmd.size() || cmd[at + needle.size()] == ' ');
    if (ours) {
      ::kill(r.pid, SIGKILL);
      // Not our child: it is reaped by its parent or init; wait until it is gone.
      for (int i = 0; i < 300 && !processGone(r.pid); ++i) {
        // A zombie still answers kill(0); its cmdline is empty.
        if (processCommandLine(r.pid).empty()) break;
        std::this_thread::sleep_for(10ms);
      }
      ended = 1;
    }
  }
  removeRecordedSockets(dir);
  std::error_code ec;
  fs::remove(dir / "office.pid", ec);
  return ended;
}

void emptyFolder(const fs::path& dir) {
  std::error_code ec;
  for (auto& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
}

}  // namespace

Slot Slot::acquire(const fs::path& officeFolder, int first) {
  for (int i = first; i < first + 64; ++i) {
    fs::path dir = officeFolder / ("slot-" + std::to_string(i));
    int fd = openLock(dir);
    if (fd < 0) continue;
    Slot s;
    s.index_ = i;
    s.dir_ = dir;
    s.lockFd_ = fd;
    endRecordedOffice(dir);
    removeDeadRunsPipes("/tmp");
    std::error_code ec;
    fs::create_directories(s.profileDir(), ec);
    fs::create_directories(s.tmpDir(), ec);
    fs::create_directories(s.runDir(), ec);
    fs::permissions(s.runDir(), fs::perms::owner_all, ec);
    emptyFolder(s.tmpDir());
    return s;
  }
  throw std::runtime_error("no free office slot in " + officeFolder.string());
}

Slot::Slot(Slot&& o) noexcept : index_(o.index_), dir_(std::move(o.dir_)), lockFd_(o.lockFd_) { o.lockFd_ = -1; }

Slot& Slot::operator=(Slot&& o) noexcept {
  if (this != &o) {
    if (lockFd_ >= 0) ::close(lockFd_);
    index_ = o.index_;
    dir_ = std::move(o.dir_);
    lockFd_ = o.lockFd_;
    o.lockFd_ = -1;
  }
  return *this;
}

Slot::~Slot() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::string Slot::profileUrl() const { return fileUrl(profileDir()); }

void Slot::recordOffice(pid_t pid) const {
  fs::path tmp = dir_ / "office.pid.new";
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << pid << "\n" << profileUrl() << "\n" << ::getpid() << "\n";
  }
  std::error_code ec;
  fs::rename(tmp, dir_ / "office.pid", ec);
}

void Slot::recordSockets(pid_t pid) const {
  // The socket inodes the office holds, then their paths among the listening Unix sockets.
  std::vector<std::string> inodes;
  std::error_code ec;
  for (auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    std::string target = fs::read_symlink(e.path(), ec).string();
    if (!ec && target.rfind("socket:[", 0) == 0) inodes.push_back(target.substr(8, target.size() - 9));
  }
  std::ifstream net("/proc/net/unix");
  std::ofstream out(dir_ / "sockets", std::ios::trunc);
  std::string line;
  std::getline(net, line);  // header
  while (std::getline(net, line)) {
    std::istringstream fields(line);
    std::string num, refs, protocol, flags, type, state, inode, path;
    fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path;
    if (path.empty() || path[0] != '/' || std::find(inodes.begin(), inodes.end(), inode) == inodes.end()) continue;
    if (fs::path(path).filename().string().rfind("OSL_PIPE_", 0) == 0) out << path << "\n";
  }
}

void Slot::clearRecord() const {
  std::error_code ec;
  fs::remove(dir_ / "office.pid", ec);
}

namespace {

// "7.4" from the installation's bootstraprc ("ProductKey=LibreOffice 7.4"); empty when unknown.
std::string productVersion(const fs::path& programFolder) {
  std::ifstream in(programFolder / "bootstraprc");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("ProductKey=", 0) != 0) continue;
    std::string v = line.substr(line.find_last_of(' ') + 1);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
    bool ok = !v.empty() && std::isdigit(static_cast<unsigned char>(v[0])) &&
              v.find_first_not_of("0123456789.") == std::string::npos;
    return ok ? v : std::string();
  }
  return {};
}

std::string lastVersionItem(const std::string& version) {
  return "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\">"
         "<value>" + version + "</value></prop></item>\n";
}

// What a private office needs in its profile before it starts:
// - file locking off (an existing profile keeps what the office saved there; the pool sets it
//   again through the configuration API at every start);
// - the office version as the last one seen. A headless office never records it, and while it
//   is missing the office runs its graphics self-tests at every start: 3 s of a core each time.
// The office is not running here; the file is replaced whole, never written in place.
void seedProfile(const Slot& slot, const fs::path& programFolder) {
  fs::path user = slot.profileDir() / "user";
  fs::path xcu = user / "registrymodifications.xcu";
  const std::string version = productVersion(programFolder);
  std::error_code ec;
  std::string text;
  if (fs::exists(xcu, ec)) {
    std::ifstream in(xcu, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (version.empty() || text.rfind("</oor:items>") == std::string::npos ||
        text.find(lastVersionItem(version)) != std::string::npos)
      return;
    // An office upgraded since: drop the old value's item.
    if (size_t at = text.find("oor:name=\"ooSetupLastVersion\""); at != std::string::npos) {
      size_t from = text.rfind("<item", at), to = text.find("</item>", at);
      if (from == std::string::npos || to == std::string::npos) return;
      to += 7;
      if (to < text.size() && text[to] == '\n') ++to;
      text.erase(from, to - from);
    }
    text.insert(text.rfind("</oor:items>"), lastVersionItem(version));
  } else {
    fs::create_directories(user, ec);
    text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
           "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"UseLocking\" oor:op=\"fuse\">"
           "<value>false</value></prop></item>\n" +
           (version.empty() ? std::string() : lastVersionItem(version)) + "</oor:items>\n";
  }
  fs::path tmp = xcu;
  tmp += ".new";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      fs::remove(tmp, ec);
      return;
    }
  }
  fs::rename(tmp, xcu, ec);
  if (ec) fs::remove(tmp, ec);
}

}  // namespace

pid_t spawnOffice(const fs::path& programFolder, const Slot& slot, const std::string& pipeName, int core) {
  seedProfile(slot, programFolder);
  std::vector<std::string> args = {
      (programFolder / "soffice.bin").string(),
      "--headless",
      "--invisible",
      "--norestore",
      "--nologo",
      "--nodefault",
      "--nolockcheck",
      "--accept=pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext",
      "-env:UserInstallation=" + slot.profileUrl(),
      // Run as root, the office would refresh the installation's shared extension cache.
      "-env:UNO_SHARED_PACKAGES_CACHE=" + fileUrl(slot.dir() / "shared-packages"),
  };
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, "TMPDIR=", 7) == 0 || std::strncmp(*e, "SAL_ENABLE_FILE_LOCKING=", 24) == 0 ||
        std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) == 0)
      continue;
    env.emplace_back(*e);
  }
  env.push_back("TMPDIR=" + slot.tmpDir().string());
  // Configuration reads through dconf keep its cache in the runtime folder (else ~/.cache).
  env.push_back("XDG_RUNTIME_DIR=" + slot.runDir().string());
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string cwd = slot.dir().string();
  pid_t parent = ::getpid();
  // VELLUMARK_OFFICE_STDERR=1 leaves the office's stderr open (for diagnosing crashes).
  const char* keepErr = std::getenv("VELLUMARK_OFFICE_STDERR");
  bool keepStderr = keepErr && *keepErr == '1';

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    // Child: only async-signal-safe calls from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);
    pinThisProcess(core);
    int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      ::dup2(devnull, 0);
      ::dup2(devnull, 1);
      if (!keepStderr) ::dup2(devnull, 2);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

bool childAlive(pid_t pid, int* status) {
  if (pid <= 0) return false;
  int st = 0;
  pid_t r = ::waitpid(pid, &st, WNOHANG);
  if (r == 0) return true;
  if (r == pid && status) *status = st;
  return false;
}

bool waitChild(pid_t pid, std::chrono::milliseconds wait) {
  auto until = std::chrono::steady_clock::now() + wait;
  while (childAlive(pid)) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

void killChild(pid_t pid, std::chrono::milliseconds wait) {
  if (pid <= 0) return;
  if (!childAlive(pid)) return;
  ::kill(pid, SIGKILL);
  waitChild(pid, wait);
}

void cleanAfterOffice(const Slot& slot, const std::string& pipeName) {
  std::error_code ec;
  fs::remove("/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + pipeName, ec);
  removeRecordedSockets(slot.dir());
  emptyFolder(slot.tmpDir());
}

std::string processCommandLine(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  if (!in) return {};
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (char& c : s)
    if (c == '\0') c = ' ';
  return s;
}

int closeStaleOfficesIn(const fs::path& officeFolder) {
  int ended = 0;
  std::error_code ec;
  if (!fs::is_directory(officeFolder, ec)) return 0;
  for (auto& e : fs::directory_iterator(officeFolder, ec)) {
    if (!e.is_directory() || e.path().filename().string().rfind("slot-", 0) != 0) continue;
    if (!fs::exists(e.path() / "office.pid")) continue;
    int fd = openLock(e.path());
    if (fd < 0) continue;  // a running Vellumark (this one, perhaps) uses the slot
    ended += endRecordedOffice(e.path());
    emptyFolder(e.path() / "tmp");
    ::close(fd);
  }
  return ended;
}

std::string readOfficeVersion(const fs::path& programFolder, const fs::path& runtimeDir) {
  fs::path soffice = programFolder / "soffice";
  if (::access(soffice.c_str(), X_OK) != 0) return {};
  std::string cmd = "'" + soffice.string() + "' --version 2>/dev/null";
  std::error_code ec;
  // dconf's cache goes to XDG_RUNTIME_DIR (else ~/.cache), even for --version.
  if (!runtimeDir.empty() && runtimeDir.string().find('\'') == std::string::npos &&
      (fs::create_directories(runtimeDir, ec), fs::is_directory(runtimeDir, ec))) {
    fs::permissions(runtimeDir, fs::perms::owner_all, ec);
    cmd = "XDG_RUNTIME_DIR='" + runtimeDir.string() + "' " + cmd;
  }
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return {};
  char buf[256];
  std::string out;
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  ::pclose(p);
  // "LibreOffice 7.4.7.2 40(Build:2)" -> "LibreOffice 7.4.7.2"
  std::istringstream in(out);
  std::string product, number;
  in >> product >> number;
  if (product.empty() || number.empty()) return {};
  return product + " " + number;
}

}  // namespace vm::word::office

namespace vm::word::office {

namespace {
std::uint32_t le32(const std::string& s, size_t at) {
  if (at + 4 > s.size()) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}
std::uint16_t le16(const std::string& s, size_t at) {
  if (at + 2 > s.size()) return 0;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
}  // namespace

bool isEncryptedOleDocument(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (f.size() < 512 || f.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) return false;
  unsigned shift = le16(f, 0x1E);
  if (shift < 7 || shift > 16) return false;
  size_t sector = size_t(1) << shift;
  auto sectorAt = [&](std::uint32_t n) { return (static_cast<size_t>(n) + 1) * sector; };
  // the FAT from the header's DIFAT (the first 109 FAT sectors: enough for our documents)
  std::vector<std::uint32_t> fat;
  for (int i = 0; i < 109; ++i) {
    std::uint32_t fs = le32(f, 0x4C + 4 * i);
    if (fs >= 0xFFFFFFFAu) break;
    size_t at = sectorAt(fs);
    for (size_t k = 0; k < sector / 4 && at + 4 * k + 4 <= f.size(); ++k) fat.push_back(le32(f, at + 4 * k));
  }
  std::uint32_t dir = le32(f, 0x30);
  for (int guard = 0; dir < 0xFFFFFFFAu && guard < 10000; ++guard) {
    size_t at = sectorAt(dir);
    for (size_t e = 0; e + 128 <= sector && at + e + 128 <= f.size(); e += 128) {
      size_t base = at + e;
      std::uint16_t nameLen = le16(f, base + 0x40);
      std::string name;
      for (size_t c = 0; c + 2 <= nameLen && c < 64; c += 2) {
        std::uint16_t ch = le16(f, base + c);
        if (ch == 0) break;
        name += ch < 128 ? static_cast<char>(ch) : '?';
      }
      if (name == "EncryptionInfo") return true;
      if (name == "WordDocument") {
        std::uint32_t start = le32(f, base + 0x74);
        std::uint32_t size = le32(f, base + 0x78);
        if (size < 4096 || start >= 0xFFFFFFFAu) return false;  // (a mini stream: no real document)
        size_t fib = sectorAt(start);
        if (le16(f, fib) != 0xA5EC) return false;
        return (le16(f, fib + 0x0A) & 0x0100) != 0;  // fEncrypted
      }
    }
    dir = dir < fat.size() ? fat[dir] : 0xFFFFFFFEu;
  }
  return false;
}

}  // namespace vm::word::office
