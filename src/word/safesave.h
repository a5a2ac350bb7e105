#pragma once
// The one way the engine puts a file in place, for every back end: the new content goes to a
// new file beside the target, is flushed to the disk (unless sync is false) and renamed over
// the target, so that the target is always either the old file or the new one, whole. The new
// file gets the target's permission bits (and owner and group, where the process may set them).
// A symbolic link is followed: the file it points to is replaced and the link stays. On any
// failure the target is left byte for byte as it was and the temporary file is removed.
//
// A target this process may not write is refused (ReadOnly), and one that Word or another
// office has open (its owner or lock file beside it) too (OpenElsewhere). Owner, group, mode,
// ACLs and other extended attributes are kept. A target with several hard links is rewritten
// in place, so that every link sees the new content (see writeInPlace in the source).
// Temporary files are named .vm-save-PID-...; each save removes, once per folder and process,
// those whose writer is dead.
//
// Failures throw EngineError: DiskFull (no space, quota, file size limit) or WriteFailed (no
// permission, no folder, a folder in the way, ...), with the step and the system's message in
// the detail.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <exception>
#include <utility>
#include <vector>

namespace vm::word {

// Held by an open document from before it is read until it is closed: an exclusive advisory
// lock on the file (a second run refuses with OpenElsewhere instead of racing) and the file's
// identity as read. A save over the locked file checks, just before it puts the new file in
// place, that the file is still the one read (else ConcurrentEdit), and moves the lock and
// identity to the new file. Device, inode, size and mtime (nanoseconds) suffice: any writer
// either replaces the file (new inode) or writes into it (new mtime); a hash would mean reading
// a large document again on every save.
class DocumentLock {
 public:
  // Nullptr when the file does not exist or is not a regular file (the reader reports that).
  static std::unique_ptr<DocumentLock> acquire(const std::filesystem::path& document);
  ~DocumentLock();
  DocumentLock(const DocumentLock&) = delete;
  DocumentLock& operator=(const DocumentLock&) = delete;

  struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const Identity&) const = default;
  };

 private:
  DocumentLock() = default;
  friend struct LockAccess;
  std::string key_;
  int fd_ = -1;
  Identity id_;
};

// Told of every file a save puts in place (for a run's undo journal); set per thread, none by
// default. A throw from beforeReplace fails the save with the target untouched.
class SaveObserver {
 public:
  virtual ~SaveObserver() = default;
  // Before target gets its new content. exists: the old content is still at target; mayLink:
  // the save renames a new file over it, so a hard link to target keeps the old content (false
  // when it is rewritten in place: only a copy keeps it).
  virtual void beforeReplace(const std::filesystem::path& target, bool exists, bool mayLink) = 0;
  // Once the new content is in place.
  virtual void replaced(const std::filesystem::path& target) = 0;
};
// This thread's observer (nullptr: none); returns the previous one.
SaveObserver* setSaveObserver(SaveObserver* observer);
// For writers that place a new file by other means (an exclusive rename): tells the observer
// that target was created.
void noteCreatedFile(const std::filesystem::path& target);

// A fresh name for a scratch folder beside target, removed as a leftover once its writer died.
std::filesystem::path scratchFolderBeside(const std::filesystem::path& target);

// Saves that share one flush. While a thread has a group set, a save that would rename a new
// file over its target writes the file beside it and returns; commit() then flushes all the
// held files at once (one syncfs for each file system known to flush everything it is asked
// to, else a flush per file) and renames each over its target, checking first that the target
// is still the file the save saw. Until then a target is its old file, whole; a file the group
// could not put in place is removed again and its failure kept under the tag of its save.
// Flushing file by file costs a disk round trip each; a group of many costs about one.
// A save of a target already held commits the group first. A target rewritten in place (it
// has several hard links) is flushed and written at once, as without a group.
class SaveGroup {
 public:
  SaveGroup();
  ~SaveGroup();  // what was not committed is dropped: those targets stay as they were
  SaveGroup(const SaveGroup&) = delete;
  SaveGroup& operator=(const SaveGroup&) = delete;

  // The tag of the saves that follow (the document they belong to).
  void setTag(int tag) { tag_ = tag; }
  int tag() const { return tag_; }
  std::size_t held() const;
  void commit();
  // The saves that failed in commit, by tag (an EngineError each), oldest first; cleared.
  std::vector<std::pair<int, std::exception_ptr>> takeFailures();

  struct Held;

 private:
  friend struct GroupAccess;
  int tag_ = 0;
  std::vector<Held> held_;
  std::vector<std::pair<int, std::exception_ptr>> failures_;
};
// This thread's group (nullptr: none, every save is flushed and renamed at once); returns the
// previous one. VELLUMARK_FLUSH_EACH=1 in the environment keeps every thread without a group
// (to measure the difference).
SaveGroup* setSaveGroup(SaveGroup* group);

// Writes bytes as the target's new content.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, bool sync = true);

// Puts a file written elsewhere (e.g. by the office in a scratch folder) in place as the
// target's new content. The written file is moved when it is on the target's file system, else
// copied; on failure it is left where it is for its owner to remove.
void replaceFile(const std::filesystem::path& target, const std::filesystem::path& written, bool sync = true);

}  // namespace vm::word
