// Saving through the office: what the shared engine cases cannot reach.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>

#include "officeenv.h"
#include "support/docxbuilder.h"

using namespace vm::test;
using namespace vm::word;

// The scratch folder beside the document is named shortly: a name that takes nearly all of a
// file name's 255 bytes still saves.
TEST(OfficeSave, DocumentWithALongNameSaves) {
  TempDir dir;
  auto made = makeDoc(dir, DocxBuilder().body(p(r("old text"))));
  std::string name;
  while (name.size() + 3 + 4 <= 250) name += "合";
  name += std::string(250 - 4 - name.size(), 'x') + ".doc";
  ASSERT_EQ(name.size(), 250u);
  auto path = dir.file(name);
  std::filesystem::rename(made, path);
  {
    auto d = sharedOffice()->open(path, {});
    ASSERT_EQ(d->mainStory().replaceAll("old", "new"), 1);
    d->save();
  }
  auto d = sharedOffice()->open(path, {});
  EXPECT_EQ(d->mainStory().paragraphs().at(0).text, "new text");
  EXPECT_EQ(hiddenEntries(dir.path()), std::vector<std::string>{});
}

// An empty .doc and one of random bytes are not Word documents: refused, not "done" as text.
TEST(OfficeSave, DocWithoutAWordSignatureIsRefused) {
  TempDir dir;
  const std::pair<const char*, std::string> files[] = {{"empty.doc", ""}, {"noise.doc", "\x13\x37 random \x01\x02 bytes"}};
  for (const auto& [name, bytes] : files) {
    auto path = dir.file(name);
    writeFile(path, bytes);
    SCOPED_TRACE(name);
    EXPECT_ENGINE_CODE(sharedOffice()->open(path, {}), ErrorCode::DamagedPart);
    EXPECT_EQ(readFile(path), bytes);
  }
}

// A full disk is said to be one, at once: the office left to meet it stalled until the
// watchdog ended it (twice), and the user read that the office had failed.
TEST(OfficeSave, FullDiskIsReportedAsSuch) {
  TempDir dir;
  const auto disk = dir.file("disk");
  std::filesystem::create_directory(disk);
  if (::geteuid() != 0 || ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "needs root to mount a small file system";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk.string()};
  auto path = disk / "full.doc";
  std::filesystem::copy_file(makeDoc(dir, DocxBuilder().body(p(r("old text")))), path);
  const std::string before = readFile(path);
  {
    std::ofstream filler(disk / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  auto d = sharedOffice()->open(path, {});
  ASSERT_EQ(d->mainStory().replaceAll("old", "new"), 1);
  EXPECT_ENGINE_CODE(d->save(), ErrorCode::DiskFull);
  d->close();
  EXPECT_EQ(readFile(path), before);
}
