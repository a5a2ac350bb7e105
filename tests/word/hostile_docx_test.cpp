// Hostile and unlucky .docx input: the engine either works or throws a clear EngineError, never
// crashes, hangs or writes a document it could not read properly; a refused document stays
// byte for byte as it was.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

using namespace vm::test;
using namespace vm::word;

namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// open, read, replace, save, reopen: the whole life of a document in a run.
void workOn(const std::filesystem::path& path, const std::string& find, int expected) {
  auto doc = vm::word::open(path);
  Story& story = doc->mainStory();
  std::string text = story.text(0, story.characterCount());
  EXPECT_NE(text.find(find), std::string::npos);
  EXPECT_EQ(story.replaceAll(find, "乙方"), expected);
  doc->save();
  doc->close();
  auto again = vm::word::open(path);
  std::string after = again->mainStory().text(0, again->mainStory().characterCount());
  EXPECT_EQ(after.find(find), std::string::npos);
  EXPECT_NE(after.find("乙方"), std::string::npos);
}

// Each nesting a story walk descends through, 100,000 levels deep around one run of text.
TEST(HostileDocx, DeepNestingIsWalkedWithoutExhaustingTheStack) {
  TempDir dir;
  const int depth = 100000;
  const std::string run = r("甲方");
  struct Case {
    const char* name;
    std::string open, close;
    bool block;  // around paragraphs (else inside one)
  };
  const Case cases[] = {
      {"block controls", "<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>", true},
      {"block custom XML", "<w:customXml w:element=\"x\">", "</w:customXml>", true},
      {"tables", "<w:tbl><w:tr><w:tc>", "<w:p/></w:tc></w:tr></w:tbl>", true},
      {"inline controls", "<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>", false},
      {"hyperlinks", "<w:hyperlink w:anchor=\"a\">", "</w:hyperlink>", false},
      {"smart tags", "<w:smartTag w:element=\"x\">", "</w:smartTag>", false},
      {"insertions", "<w:ins w:id=\"1\" w:author=\"a\">", "</w:ins>", false},
      {"simple fields", "<w:fldSimple w:instr=\"X\">", "</w:fldSimple>", false},
      {"alternate content",
       "<mc:AlternateContent><mc:Choice Requires=\"w14\">", "</mc:Choice></mc:AlternateContent>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string nested = repeat(c.open, depth) + (c.block ? p(run) : run) + repeat(c.close, depth);
    auto path = DocxBuilder().body(c.block ? nested : p(nested)).write(dir.file("deep.docx"));
    workOn(path, "甲方", 1);
  }
  // An inline picture behind nested alternate content still counts as one character.
  std::string objects = repeat("<mc:AlternateContent><mc:Choice Requires=\"w14\">", depth) + "<w:pict/>" +
                        repeat("</mc:Choice></mc:AlternateContent>", depth);
  auto path = DocxBuilder().body(p(r("甲方") + "<w:r>" + objects + "</w:r>")).write(dir.file("obj.docx"));
  EXPECT_EQ(vm::word::open(path)->mainStory().characterCount(), 4);
}

}  // namespace
