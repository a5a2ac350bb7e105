// Chinese script conversion of the corpus documents with Chinese text, natively: every
// paragraph of the main text reads as OpenCC's own command line converts it, and the runs
// stay as many as they were.

#include <gtest/gtest.h>

#include <cstdio>

#include "corpus_util.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/chinese.h"
#include "word/scripttext.h"

using namespace vm::corpus;
using namespace vm::word;

namespace {

std::size_t hanCount(const std::string& s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i + 2 < s.size(); ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0xE4 && b <= 0xE9) ++n;  // U+4E00..U+9FFF start with E4..E9
  }
  return n;
}

// The text as `opencc -c s2t.json` converts it, line by line.
std::string openccCommand(const std::string& text, const vm::test::TempDir& dir) {
  const auto in = dir.file("in.txt"), out = dir.file("out.txt");
  vm::test::writeFile(in, text);
  const std::string cmd = "opencc -c s2t.json -i '" + in.string() + "' -o '" + out.string() + "'";
  if (std::system(cmd.c_str()) != 0) return {};
  return vm::test::readFile(out);
}

std::string mainText(Document& doc) {
  std::string all;
  for (const Paragraph& p : doc.mainStory().paragraphs()) all += p.text + "\n";
  return all;
}

std::size_t runCount(const fs::path& package) {
  const std::string xml = vm::test::readPart(package, "word/document.xml");
  std::size_t n = 0;
  for (auto at = xml.find("<w:r"); at != std::string::npos; at = xml.find("<w:r", at + 4))
    if (xml[at + 4] == '>' || xml[at + 4] == ' ') ++n;
  return n;
}

}  // namespace

TEST(CorpusChinese, MainTextReadsAsOpenccConvertsItWithItsRuns) {
  if (std::system("command -v opencc >/dev/null") != 0) GTEST_SKIP() << "no opencc command";
  const ChineseConverter converter("s2t");
  int checked = 0;
  for (const CorpusDoc& d : packages(/*flagged=*/false)) {
    vm::test::TempDir dir;
    std::string before;
    try {
      auto doc = open(d.path(), {.readOnly = true});
      before = mainText(*doc);
    } catch (const EngineError&) {
      continue;
    }
    if (hanCount(before) < 20 || !vm::test::hasPart(d.path(), "word/document.xml")) continue;
    SCOPED_TRACE(d.relPath);
    const std::string expected = openccCommand(before, dir);
    ASSERT_FALSE(expected.empty());
    auto doc = open(d.path(), {.readOnly = true});
    scriptText(*doc).convertText(converter.converter());
    const auto out = dir.file("out.docx");
    doc->saveAs(out);
    doc->close();
    EXPECT_EQ(mainText(*open(out, {.readOnly = true})), expected);
    EXPECT_EQ(runCount(out), runCount(d.path()));
    ++checked;
  }
  EXPECT_GE(checked, 5);
}
