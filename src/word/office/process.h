#pragma once
// Office processes without UNO: slots (profile, TMPDIR, lock, pid record) under the data
// folder's office/ subfolder, starting soffice.bin, ending it, and finding stale ones.
//
// Layout of dataFolder/office/:
//   slot-N/lock        flock()ed by the Vellumark process that uses the slot, as long as it does
//   slot-N/office.pid  the running office: "pid\nprofile URL\nowner pid\n"
//   slot-N/profile/    the office's private user installation
//   slot-N/tmp/        its TMPDIR (killed offices leave lu*.tmp files here; emptied on start)
//   slot-N/run/        its XDG_RUNTIME_DIR (dconf's cache)
//   slot-N/shared-packages/  its copy of the installation's shared extension cache
//   slot-N/sockets     the office's pipes in /tmp, removed when it has ended
// A slot whose lock can be taken has no live owner: an office recorded there is stale.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace vm::word::office {

class Slot {
 public:
  // Takes the first slot of officeFolder whose lock is free (creating it); the lock is held
  // until the Slot is destroyed. A stale office recorded in it is ended first.
  static Slot acquire(const std::filesystem::path& officeFolder, int first = 0);
  Slot() = default;
  Slot(Slot&& other) noexcept;
  Slot& operator=(Slot&& other) noexcept;
  ~Slot();

  int index() const { return index_; }
  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path profileDir() const { return dir_ / "profile"; }
  std::filesystem::path tmpDir() const { return dir_ / "tmp"; }
  std::filesystem::path runDir() const { return dir_ / "run"; }
  std::string profileUrl() const;  // file:///... of profileDir()
  bool valid() const { return lockFd_ >= 0; }

  void recordOffice(pid_t pid) const;
  void clearRecord() const;
  // Records the running office's pipes (see cleanAfterOffice).
  void recordSockets(pid_t pid) const;

 private:
  int index_ = -1;
  std::filesystem::path dir_;
  int lockFd_ = -1;
};

// Starts soffice.bin (not the soffice script: its pid is then our child's) with a private
// profile, pipe and TMPDIR. The child gets SIGKILL when the calling thread's process dies
// (PR_SET_PDEATHSIG, so call this from a thread that lives as long as the office), and its own
// process group; core >= 0 pins it to that core. Returns the pid; throws std::runtime_error when
// fork/exec fails.
pid_t spawnOffice(const std::filesystem::path& programFolder, const Slot& slot, const std::string& pipeName,
                  int core = -1);

// Whether our child is still running; reaps it when it has ended (exit status in *status).
bool childAlive(pid_t pid, int* status = nullptr);
// SIGKILL and reap our child (waits at most `wait` for it to go). Safe on an ended child.
void killChild(pid_t pid, std::chrono::milliseconds wait = std::chrono::milliseconds(5000));
// Waits up to `wait` for our child to end by itself; true when it did (and is reaped).
bool waitChild(pid_t pid, std::chrono::milliseconds wait);

// Removes the pipes of an ended office (its own and the recorded ones) and lu*.tmp files.
void cleanAfterOffice(const Slot& slot, const std::string& pipeName);

// The process's command line, NUL separators turned into spaces; empty when it is gone.
std::string processCommandLine(pid_t pid);

// Ends the stale offices of officeFolder (see closeStaleOffices in office.h).
int closeStaleOfficesIn(const std::filesystem::path& officeFolder);

// `soffice --version` of the program folder, e.g. "LibreOffice 7.4.7.2"; empty when it fails.
std::string readOfficeVersion(const std::filesystem::path& programFolder,
                              const std::filesystem::path& runtimeDir = {});

}  // namespace vm::word::office

namespace vm::word::office {
// Whether the file is an OLE compound file holding an encrypted document: a Word 97 file
// whose FIB has fEncrypted, or an encrypted OOXML package (an "EncryptionInfo" stream).
bool isEncryptedOleDocument(const std::filesystem::path& path);
}  // namespace vm::word::office
