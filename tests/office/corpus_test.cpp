// Every .doc of the shared corpus through the office: the files not flagged open, take a
// replace, save in place and open again (on a copy); the flagged (encrypted) ones give a clear
// error and stay untouched. One warm office serves them all.

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "officeenv.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

namespace {

struct Entry {
  std::string path, flags;
};

std::vector<Entry> corpusDocs() {
  std::vector<Entry> out;
  std::ifstream in(std::string(VM_CORPUS_DIR) + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() < 8 || f[5] != "doc") continue;
    out.push_back({f[0], f[7]});
  }
  return out;
}

// Occurrences in the main text, in any case (a replacement takes the case of its match).
int occurrences(vm::word::Document& d, const std::string& what) {
  auto& m = d.mainStory();
  std::string t = m.text(0, m.characterCount());
  std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
  int n = 0;
  for (auto at = t.find(what); at != std::string::npos; at = t.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace

TEST(OfficeCorpus, DocRoundTrips) {
  auto docs = corpusDocs();
  if (docs.empty()) GTEST_SKIP() << "no corpus at " << VM_CORPUS_DIR;
  TempDir dir;
  int ok = 0, flagged = 0;
  std::vector<std::string> crashed, refused;
  for (auto& e : docs) {
    SCOPED_TRACE(e.path);
    std::filesystem::path src = std::filesystem::path(VM_CORPUS_DIR) / e.path;
    auto copy = dir.file(src.filename().string());
    std::filesystem::copy_file(src, copy, std::filesystem::copy_options::overwrite_existing);
    auto before = readFile(copy);
    if (e.flags != "-") {
      ++flagged;
      EXPECT_ENGINE_CODE(sharedOffice()->open(copy, {}), ErrorCode::Encrypted);
      EXPECT_EQ(readFile(copy), before);
      continue;
    }
    try {
      int n = 0;
      {
        auto d = sharedOffice()->open(copy, {});
        n = d->mainStory().replaceAll("the", "xqz");
        d->save();
        d->close();
      }
      auto d = sharedOffice()->open(copy, {});
      // Counted in the story text: replacing hundreds of matches again through the office
      // costs minutes and proves no more.
      EXPECT_GE(occurrences(*d, "xqz"), n);
      EXPECT_EQ(readFile(copy) == before, n == 0);
      ++ok;
    } catch (const EngineError& err) {
      // A file that makes the office itself crash (twice), or that the office would write
      // without something it holds, is reported failed, untouched.
      if (err.code() == ErrorCode::OfficeFailed || err.code() == ErrorCode::LossyRoundTrip) {
        (err.code() == ErrorCode::OfficeFailed ? crashed : refused).push_back(e.path + ": " + err.userMessage());
        EXPECT_EQ(readFile(copy), before);
      } else {
        ADD_FAILURE() << err.what();
      }
    }
  }
  EXPECT_TRUE(crashed.empty()) << ::testing::PrintToString(crashed);
  EXPECT_TRUE(refused.empty()) << ::testing::PrintToString(refused);
  EXPECT_EQ(flagged, 3);
  EXPECT_GE(ok, 90);
}

// The corpus documents with comments (each made the nogui office abort, see office.h): the
// comments are counted, and a replace and a save keep them.
TEST(OfficeCorpus, DocumentsWithCommentsKeepThem) {
  TempDir dir;
  for (auto name : {"FloatingPictures.doc", "MarkAuthorsTable.doc", "test-fields.doc"}) {
    std::filesystem::path src = std::filesystem::path(VM_CORPUS_DIR) / "apache-poi/test-data/document" / name;
    if (!std::filesystem::exists(src)) GTEST_SKIP() << "no corpus at " << VM_CORPUS_DIR;
    auto copy = dir.file(name);
    std::filesystem::copy_file(src, copy, std::filesystem::copy_options::overwrite_existing);
    int comments = 0, replaced = 0;
    {
      auto d = sharedOffice()->open(copy, {Need::Layout});
      comments = layout(*d)->inventory().comments;
      if (d->mainStory().replaceAll("the", "xqz") > 0) replaced = occurrences(*d, "xqz");
      d->save();
    }
    EXPECT_GE(comments, 1) << name;
    auto d = sharedOffice()->open(copy, {Need::Layout});
    EXPECT_EQ(layout(*d)->inventory().comments, comments) << name;
    EXPECT_EQ(occurrences(*d, "xqz"), replaced) << name;
  }
}
