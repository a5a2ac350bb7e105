// Putting a file written elsewhere in place (the office back end's save); writing bytes in place
// is covered through the docx back end in the engine cases.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/tempdir.h"
#include "word/error.h"
#include "word/safesave.h"

namespace {

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
  auto codeOf = [](auto&& f) {
    try {
      f();
    } catch (const EngineError& e) {
      return e.code();
    }
    return ErrorCode::InvalidArgument;
  };
  EXPECT_EQ(codeOf([&] { vm::word::replaceFile(target, dir.file("missing"), false); }), ErrorCode::WriteFailed);
  fs::create_directory(dir.file("folder"));
  writeFile(dir.file("w"), "new");
  EXPECT_EQ(codeOf([&] { vm::word::replaceFile(dir.file("folder"), dir.file("w"), false); }), ErrorCode::WriteFailed);
  EXPECT_EQ(codeOf([&] { vm::word::writeFileAtomically(dir.file("folder"), "x", false); }), ErrorCode::WriteFailed);
  EXPECT_EQ(readFile(target), "old");
  EXPECT_EQ(readFile(dir.file("w")), "new");  // the caller's file stays for the caller
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);  // no temporary file left
}

}  // namespace
