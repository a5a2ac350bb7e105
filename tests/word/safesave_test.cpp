// Putting a file written elsewhere in place (the office back end's save); writing bytes in place
// is covered through the docx back end in the engine cases.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>
#include <thread>
#include <vector>

#include "support/engineerror.h"
#include "support/tempdir.h"
#include "word/error.h"
#include "word/safesave.h"

namespace {

using vm::test::errorCodeOf;
using vm::test::readFile;
using vm::test::writeFile;
using vm::word::EngineError;
using vm::word::ErrorCode;
namespace fs = std::filesystem;

unsigned modeOf(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SafeSave, ReplaceFileKeepsTheLinkAndThePermissions) {
  vm::test::TempDir dir;
  fs::path target = dir.file("doc.docx"), link = dir.file("link.docx");
  writeFile(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  fs::create_symlink("doc.docx", link);
  for (fs::path written : {dir.file("scratch/out.docx"), fs::path("/dev/shm") / ("vm-safesave-" + std::to_string(::getpid()))}) {
    SCOPED_TRACE(written.string());
    fs::create_directories(written.parent_path());
    writeFile(written, "new from " + written.string());
    vm::word::replaceFile(link, written, false);  // moved, or copied from another file system
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "new from " + written.string());
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_FALSE(fs::exists(written));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);  // doc, link, scratch/
}

TEST(SafeSave, AFailureLeavesTheTargetAsItWas) {
  vm::test::TempDir dir;
  fs::path target = dir.file("doc.docx");
  writeFile(target, "old");
  EXPECT_EQ(errorCodeOf([&] { vm::word::replaceFile(target, dir.file("missing"), false); }), ErrorCode::WriteFailed);
  fs::create_directory(dir.file("folder"));
  writeFile(dir.file("w"), "new");
  EXPECT_EQ(errorCodeOf([&] { vm::word::replaceFile(dir.file("folder"), dir.file("w"), false); }), ErrorCode::WriteFailed);
  EXPECT_EQ(errorCodeOf([&] { vm::word::writeFileAtomically(dir.file("folder"), "x", false); }), ErrorCode::WriteFailed);
  EXPECT_EQ(readFile(target), "old");
  EXPECT_EQ(readFile(dir.file("w")), "new");  // the caller's file stays for the caller
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);  // no temporary file left
}

// Runs f in a child as nobody; its exit status is the ErrorCode f raised.
int asNobody(const std::function<ErrorCode()>& f) {
  pid_t child = ::fork();
  if (child == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(255);
    ::_exit(static_cast<int>(f()));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SafeSave, ADocumentTheUserMayNotWriteIsRefusedAndKeptAsItWas) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  vm::test::TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // the folder is the user's to write
  fs::path readOnly = dir.file("ro.docx"), foreign = dir.file("foreign.docx"), own = dir.file("own.docx");
  for (const fs::path& p : {readOnly, foreign, own}) writeFile(p, "old");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(foreign.c_str(), 0644), 0);  // root's
  ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(own.c_str(), 0444), 0);  // the user's own, read-only
  for (const fs::path& p : {readOnly, foreign, own}) {
    SCOPED_TRACE(p.string());
    EXPECT_EQ(asNobody([&] { return errorCodeOf([&] { vm::word::writeFileAtomically(p, "new", false); }); }),
              static_cast<int>(ErrorCode::ReadOnly));
    writeFile(dir.file("w"), "new");
    EXPECT_EQ(asNobody([&] { return errorCodeOf([&] { vm::word::replaceFile(p, dir.file("w"), false); }); }),
              static_cast<int>(ErrorCode::ReadOnly));
    EXPECT_EQ(readFile(p), "old");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 4);  // no temporary file left
}

TEST(SafeSave, OwnerGroupModeAndExtendedAttributesAreKept) {
  vm::test::TempDir dir;
  fs::path target = dir.file("doc.docx");
  writeFile(target, "old");
  const char value[] = "kept";
  if (::setxattr(target.c_str(), "user.vm-test", value, 4, 0) != 0)
    GTEST_SKIP() << "no user extended attributes on " << dir.path();
  bool root = ::geteuid() == 0;
  if (root) ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    if (round == 0) {
      vm::word::writeFileAtomically(target, "new 0", false);
    } else {
      writeFile(dir.file("w"), "new 1");
      vm::word::replaceFile(target, dir.file("w"), false);
    }
    EXPECT_EQ(readFile(target), "new " + std::to_string(round));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (root) EXPECT_EQ(st.st_uid, 65534u);
    if (root) EXPECT_EQ(st.st_gid, 65534u);
    char got[16] = {};
    EXPECT_EQ(::getxattr(target.c_str(), "user.vm-test", got, sizeof got), 4);
    EXPECT_STREQ(got, "kept");
  }
}

TEST(SafeSave, ALockedDocumentIsSavedOnlyWhileItIsTheFileThatWasRead) {
  vm::test::TempDir dir;
  fs::path target = dir.file("doc.docx");
  writeFile(target, "read");
  auto lock = vm::word::DocumentLock::acquire(target);
  ASSERT_TRUE(lock);
  // A second run, in another thread or process, refuses instead of racing.
  ErrorCode second = ErrorCode::InvalidArgument;
  std::thread([&] { second = errorCodeOf([&] { vm::word::DocumentLock::acquire(target); }); }).join();
  EXPECT_EQ(second, ErrorCode::OpenElsewhere);
  pid_t child = ::fork();
  if (child == 0) ::_exit(static_cast<int>(errorCodeOf([&] { vm::word::DocumentLock::acquire(target); })));
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ErrorCode::OpenElsewhere));

  // Saved twice: the lock follows the new file.
  vm::word::writeFileAtomically(target, "first save", false);
  vm::word::writeFileAtomically(target, "second save", false);
  EXPECT_EQ(errorCodeOf([&] { vm::word::DocumentLock::acquire(target); }), ErrorCode::OpenElsewhere);

  // Another program writes meanwhile: its content survives.
  writeFile(target, "the other program's edit");
  EXPECT_EQ(errorCodeOf([&] { vm::word::writeFileAtomically(target, "lost edit", false); }), ErrorCode::ConcurrentEdit);
  EXPECT_EQ(readFile(target), "the other program's edit");
  lock.reset();
  EXPECT_TRUE(vm::word::DocumentLock::acquire(target));
}

TEST(SafeSave, ADocumentOpenInAnOfficeIsNotOverwritten) {
  for (std::string owner : {"~$doc.docx", ".~lock.doc.docx#", "~$c.docx"}) {
    SCOPED_TRACE(owner);
    vm::test::TempDir dir;
    writeFile(dir.file("doc.docx"), "old");
    writeFile(dir.file(owner), "someone");
    EXPECT_EQ(errorCodeOf([&] { vm::word::writeFileAtomically(dir.file("doc.docx"), "new", false); }),
              ErrorCode::OpenElsewhere);
    EXPECT_EQ(readFile(dir.file("doc.docx")), "old");
  }
}

TEST(SafeSave, LeftoversOfDeadWritersAreRemovedAndOnlyThose) {
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead), live = std::to_string(::getppid());
  vm::test::TempDir dir;
  std::vector<std::string> gone = {".vm-save-" + d + "-1-2.tmp"};
  std::vector<std::string> kept = {".vm-save-" + live + "-1-2.tmp", ".vm-save-" + d + "-1-2.tmp.bak",
                                   ".vm-save-" + d + "-x-2.tmp", "vm-save-" + d + "-1-2.tmp",
                                   ".vm-keep-" + d + "-1-2.tmp"};
  for (const auto& n : gone) writeFile(dir.file(n), "leftover");
  for (const auto& n : kept) writeFile(dir.file(n), "not ours to remove");
  fs::create_directory(dir.file(".vm-save-" + d + "-7-8.dir"));  // the office's scratch folder
  writeFile(dir.file(".vm-save-" + d + "-7-8.dir/doc.docx"), "half");
  gone.push_back(".vm-save-" + d + "-7-8.dir");
  vm::word::writeFileAtomically(dir.file("doc.docx"), "new", false);
  for (const auto& n : gone) EXPECT_FALSE(fs::exists(dir.file(n))) << n;
  for (const auto& n : kept) EXPECT_TRUE(fs::exists(dir.file(n))) << n;
}

}  // namespace

TEST(SafeSave, GroupedSavesWaitForTheirCommitAndFailAloneWhenTheTargetChanged) {
  vm::test::TempDir dir;
  fs::path a = dir.file("a.docx"), b = dir.file("b.docx"), c = dir.file("c.docx");
  writeFile(a, "a0");
  writeFile(b, "b0");
  auto leftovers = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) n += e.path().filename().string().rfind(".vm-", 0) == 0;
    return n;
  };
  {
    vm::word::SaveGroup group;
    vm::word::setSaveGroup(&group);
    group.setTag(1);
    vm::word::writeFileAtomically(a, "a1");
    vm::word::writeFileAtomically(a, "a2");  // saved twice: the first goes in place first
    group.setTag(2);
    vm::word::writeFileAtomically(b, "b1");
    group.setTag(3);
    vm::word::writeFileAtomically(c, "c1");  // a new file
    EXPECT_EQ(readFile(a), "a1");
    EXPECT_EQ(readFile(b), "b0");
    EXPECT_FALSE(fs::exists(c));
    writeFile(b, "someone else's edit");
    group.commit();
    auto failures = group.takeFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, 2);
    EXPECT_EQ(errorCodeOf([&] { std::rethrow_exception(failures[0].second); }), ErrorCode::ConcurrentEdit);
    EXPECT_EQ(readFile(a), "a2");
    EXPECT_EQ(readFile(b), "someone else's edit");
    EXPECT_EQ(readFile(c), "c1");
    EXPECT_EQ(leftovers(), 0);

    vm::word::writeFileAtomically(a, "dropped");  // never committed
    vm::word::setSaveGroup(nullptr);
  }
  EXPECT_EQ(readFile(a), "a2");
  EXPECT_EQ(leftovers(), 0);
}
