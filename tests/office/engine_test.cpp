// The engine interface over UNO: Word's replace semantics restricted to the main text,
// pictures, counts, paragraphs, saving in place.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "support/testimages.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

namespace {

std::vector<std::string> texts(Story& s) {
  std::vector<std::string> out;
  for (auto& p : s.paragraphs())
    if (!p.rowEnd) out.push_back(p.text);
  return out;
}

}  // namespace

TEST(OfficeEngine, ReplaceOnlyInMainText) {
  TempDir dir;
  auto in = makeDoc(dir, DocxBuilder()
                             .body(p(r("alpha beta alpha")) + table({{r("alpha in cell")}}) + p(r("end")))
                             .header(p(r("alpha header")))
                             .footer(p(r("alpha footer"))));
  auto doc = sharedOffice()->open(in, {});
  EXPECT_EQ(doc->mainStory().replaceAll("alpha", "gamma"), 3);
  doc->save();
  doc->close();
  doc = sharedOffice()->open(in, {});
  auto t = texts(doc->mainStory());
  ASSERT_GE(t.size(), 3u);
  EXPECT_EQ(t[0], "gamma beta gamma");
  EXPECT_EQ(t[1], "gamma in cell");
  EXPECT_TRUE(doc->mainStory().paragraphs()[1].inTable);
  auto headers = doc->stories(StoryKind::Header);
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(texts(*headers[0]).at(0), "alpha header");
  auto footers = doc->stories(StoryKind::Footer);
  ASSERT_EQ(footers.size(), 1u);
  EXPECT_EQ(texts(*footers[0]).at(0), "alpha footer");
  // A header story replaces in the header only.
  EXPECT_EQ(headers[0]->replaceAll("alpha", "x"), 1);
  EXPECT_EQ(texts(*headers[0]).at(0), "x header");
  EXPECT_EQ(texts(doc->mainStory()).at(2), "end");
}

// Word's find text is literal where Writer's search reads regular expressions; an empty
// replacement deletes (its shared case checks runs, which this back end writes anew).
TEST(OfficeEngine, FindTextIsLiteralAndAnEmptyReplacementDeletes) {
  TempDir dir;
  auto in = DocxBuilder().body(p(r("a.b*c (x) [y] $1 ^caret")) + p(r("word Word WORD"))).write(dir.file("a.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  auto& m = doc->mainStory();
  EXPECT_EQ(m.replaceAll("a.b*c", "ok"), 1);
  EXPECT_EQ(m.replaceAll("(x) [y] $1", "lit"), 1);
  EXPECT_EQ(m.replaceAll("^^caret", "^&!"), 1);
  EXPECT_EQ(texts(m).at(0), "ok lit ^caret!");
  EXPECT_EQ(m.replaceAll("Word ", ""), 2);
  EXPECT_EQ(texts(m).at(1), "WORD");
}

// In a .doc (unreadable pictures: the shared engine cases).
TEST(OfficeEngine, PicturesAtOccurrences) {
  TempDir dir;
  auto picture = dir.file("pic.png");
  writeFile(picture, png(2, 1));  // no resolution stated: Word takes 96 dpi
  auto in = makeDoc(dir, DocxBuilder().body(p(r("logo here and logo there"))).header(p(r("logo"))));
  auto doc = sharedOffice()->open(in, {});
  EXPECT_EQ(doc->mainStory().replaceWithPicture("LOGO", picture), 2);
  EXPECT_EQ(doc->mainStory().replaceWithPicture("absent", picture), 0);
  doc->save();
  doc->close();
  doc = sharedOffice()->open(in, {});
  auto t = texts(doc->mainStory()).at(0);
  EXPECT_EQ(t.find("logo"), std::string::npos) << t;
  EXPECT_NE(t.find(" here and "), std::string::npos) << t;
  EXPECT_EQ(texts(*doc->stories(StoryKind::Header).at(0)).at(0), "logo");
  doc->saveAs(dir.file("out.docx"), SaveFormat::Docx);
  doc->close();
  std::string xml = readPart(dir.file("out.docx"), "word/document.xml");
  size_t n = 0;
  for (auto at = xml.find("<wp:inline"); at != std::string::npos; at = xml.find("<wp:inline", at + 1)) ++n;
  EXPECT_EQ(n, 2u);
  // 2x1 pixels at 96 dpi: 19050 x 9525 EMU
  EXPECT_NE(xml.find("cx=\"19050\""), std::string::npos);
}

TEST(OfficeEngine, CountsAndText) {
  TempDir dir;
  auto in = DocxBuilder().body(p(r("abc")) + p(r("汉字")) + p()).write(dir.file("a.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  auto& m = doc->mainStory();
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  for (auto& para : m.paragraphs()) spans.push_back({para.start, para.end});
  EXPECT_EQ(spans, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 4}, {4, 7}, {7, 8}}));
  EXPECT_EQ(m.characterCount(), 8);
  EXPECT_EQ(m.text(0, 8), "abc\r汉字\r\r");
  EXPECT_EQ(m.text(4, 6), "汉字");
}

// A changed .doc stays a Word 97 file (an unchanged one: the shared engine cases).
TEST(OfficeEngine, SaveInPlaceKeepsFormatAndLeavesNoTemporaries) {
  TempDir dir;
  auto in = makeDoc(dir, DocxBuilder().body(p(r("keep me"))));
  {
    auto doc = sharedOffice()->open(in, {});
    EXPECT_EQ(doc->mainStory().replaceAll("keep", "kept"), 1);
    doc->save();
  }
  EXPECT_EQ(readFile(in).substr(0, 4), std::string("\xD0\xCF\x11\xE0", 4));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // in.doc.docx and in.doc
  auto doc = sharedOffice()->open(in, {});
  EXPECT_EQ(texts(doc->mainStory()).at(0), "kept me");
}
