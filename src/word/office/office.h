#pragma once
// The office back end: LibreOffice driven through its C++ UNO API, for .doc/.rtf/.odt
// documents, page layout (word/layout.h) and conversion to other formats.
//
// Documents are worked on by a small pool of private headless offices (soffice.bin), each
// with its own profile, pipe and TMPDIR under the data folder's office/ subfolder, file
// locking off. An office is started on first need and kept for the following documents; a
// new one is started only when every running office already holds a document (another
// thread's), up to one per core. Every call into an office runs under a watchdog: an office
// that does not answer within the call timeout is killed. A killed or crashed office is
// restarted, the document in hand is loaded again, the changes made to it so far are replayed
// and the call is tried once more; when that fails too the document is reported failed
// (EngineError OfficeFailed) and the next document goes on with a fresh office.
//
// Every office started is recorded in a pid file beside its profile; closeStaleOffices() (the
// start-up CloseWord) ends the ones a previous Vellumark left behind, and never an
// office it did not start. The offices die with the program: they are ended when the back end
// is destroyed or at exit, and get SIGKILL from the kernel if the program dies first.
//
// Needs Debian's libreoffice-writer, not libreoffice-writer-nogui (measured): a hidden view
// still builds a window for every comment from Writer's UI definitions, which the nogui
// package leaves out, so that office aborts (NoSuchElementException from the UI builder) right
// after loading a document with comments; no setting or load argument stops it (comments hidden
// in the view options included). With the nogui office such a document is reported
// OfficeFailed after its one retry, untouched, and the message names the missing package.
//
// This header knows no UNO type, so callers need neither the SDK headers nor its defines.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "word/document.h"
#include "word/layout.h"

namespace vm::word::office {

struct OfficeOptions {
  // The data folder; the offices live in its office/ subfolder. Empty: defaultDataFolder().
  std::filesystem::path dataFolder;
  // The office program folder (holding soffice.bin, types.rdb, fundamentalrc).
  std::filesystem::path programFolder = "/usr/lib/libreoffice/program";
  // Pool size; 0 means one office per core. Never more than the number of cores.
  int maxOffices = 0;
  // Watchdog: the longest one call into an office may take (load, replace, save, ...).
  std::chrono::milliseconds callTimeout{120000};
  // The longest an office may take to start and accept the connection.
  std::chrono::milliseconds startTimeout{60000};
  // For tests: called on the caller's thread right before each guarded call into an office,
  // with the call's name ("load", "replace", "store", ...) and the office's pid.
  std::function<void(const std::string& call, int pid)> beforeCall;
};

// $VELLUMARK_HOME, else ~/.local/share/vellumark.
std::filesystem::path defaultDataFolder();

// Counts of the pool's work, for tests and the benchmark.
struct PoolStats {
  int officesStarted = 0;   // offices started and connected (restarts included)
  int officesKilled = 0;    // killed by the watchdog or found dead
  int runningOffices = 0;   // alive now
};

class OfficeBackend : public Backend, public LayoutBackend {
 public:
  explicit OfficeBackend(OfficeOptions options = {});
  ~OfficeBackend() override;  // ends every office it started

  OfficeBackend(const OfficeBackend&) = delete;
  OfficeBackend& operator=(const OfficeBackend&) = delete;

  std::string name() const override { return "office"; }
  // "LibreOffice 7.4.7.2" from `soffice --version` (read once, about 0.1 s, no office
  // started); empty when no office is installed.
  std::string version() const override;
  // Whether an office is installed (soffice.bin and the UNO type libraries are there). Cheap:
  // no office is started; the first open() starts one. Use probe() to start one now.
  bool available() const override;
  // What is built over UNO: the main text, layout, inserting, converting and rendering. Header
  // and footer identities, comments, notes, text boxes and write passwords are not (yet).
  FeatureSet features() const override;
  std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options) override;
  // Documents.Add: a new empty text document.
  std::unique_ptr<Document> create() override;

  // Starts one office now (the pool's first) and tells whether it answered; the start-up
  // check calls this on a worker thread. On failure *error gets the reason.
  bool probe(std::string* error = nullptr);
  // Ends every office of the pool (they are started again on the next need).
  void shutdown();

  // The pids of the offices running now (tests: to kill or stop one).
  std::vector<int> officePids() const;
  PoolStats stats() const;
  const OfficeOptions& options() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// Makes the office back end and installs it with setOfficeBackend(). Returns it.
std::shared_ptr<OfficeBackend> installOfficeBackend(OfficeOptions options = {});

// For a program run (the GUI and the command line): ends the offices a previous Vellumark left
// behind in dataFolder (CloseWord at start-up), installs the back end with its offices under
// dataFolder/office (none is started until a document needs one), and returns the closer to
// call at every run start (RunFrame::setStaleOfficeCloser). Returns an empty function and
// installs nothing when no office is installed.
std::function<void()> installForProgram(const std::filesystem::path& dataFolder);

// The CloseWord counterpart: ends every office recorded in dataFolder/office/ whose owner (a
// Vellumark process) is gone and whose command line still names our profile there; removes
// the records. A LibreOffice the user runs is never touched (its command line does not name a
// Vellumark profile), nor an office of a Vellumark that is still running. Returns how many
// processes were ended.
int closeStaleOffices(const std::filesystem::path& dataFolder = {});

}  // namespace vm::word::office
