// The engine interface over UNO: Word's replace semantics restricted to the main text,
// pictures, counts, paragraphs, saving in place.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

namespace {

// A 2x1 PNG (red, blue), 72 dpi not stated: Word takes 96 dpi.
const unsigned char kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x7b, 0x40, 0xe8, 0xdd, 0x00, 0x00, 0x00, 0x0f, 0x49,
    0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0xc2, 0xff, 0x01, 0x0a, 0xfe, 0x02, 0xfe, 0xa8, 0xb0,
    0x8e, 0x2b, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

std::filesystem::path writePng(const TempDir& dir) {
  auto p = dir.file("pic.png");
  writeFile(p, std::string(reinterpret_cast<const char*>(kPng), sizeof kPng));
  return p;
}

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

TEST(OfficeEngine, WordCaseAdaptationAndSpecialCodes) {
  TempDir dir;
  auto in = dir.file("a.docx");
  DocxBuilder()
      .body(p(r("word Word WORD wOrd")) + p(r("a.b*c (x) [y] $1 ^caret")) + p(r("one")) + p(r("two")) +
            p(r("tab\there")))
      .write(in);
  auto doc = sharedOffice()->open(in, {Need::Layout});
  auto& m = doc->mainStory();
  EXPECT_EQ(m.replaceAll("word", "thing"), 4);
  EXPECT_EQ(texts(m).at(0), "thing Thing THING thing");
  // Regular-expression characters are literal; ^^ is a caret.
  EXPECT_EQ(m.replaceAll("a.b*c", "ok"), 1);
  EXPECT_EQ(m.replaceAll("(x) [y] $1", "lit"), 1);
  EXPECT_EQ(m.replaceAll("^^caret", "^&!"), 1);
  EXPECT_EQ(texts(m).at(1), "ok lit ^caret!");
  // ^t in the find text, ^p in the find text joins paragraphs, ^p in the replacement splits.
  EXPECT_EQ(m.replaceAll("tab^there", "T"), 1);
  EXPECT_EQ(m.replaceAll("one^ptwo", "one two"), 1);
  auto t = texts(m);
  EXPECT_EQ(t.at(2), "one two");
  EXPECT_EQ(t.at(3), "T");
  EXPECT_EQ(m.replaceAll("one two", "first^psecond"), 1);
  t = texts(m);
  EXPECT_EQ(t.at(2), "first");
  EXPECT_EQ(t.at(3), "second");
  // Case-sensitive search leaves other cases alone and adapts nothing.
  FindOptions exact;
  exact.matchCase = true;
  EXPECT_EQ(m.replaceAll("THING", "zz", exact), 1);
  EXPECT_EQ(texts(m).at(0), "thing Thing zz thing");
  // An empty replacement deletes.
  EXPECT_EQ(m.replaceAll("Thing ", ""), 2);
  EXPECT_EQ(texts(m).at(0), "zz thing");
}

TEST(OfficeEngine, RulesApplyInOrderAndFullWidthIsDistinct) {
  TempDir dir;
  auto in = DocxBuilder().body(p(r("a ＡＢ AB"))).write(dir.file("a.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  auto& m = doc->mainStory();
  EXPECT_EQ(m.replaceAll("a", "b"), 2);  // "A" becomes "B": an initial capital
  EXPECT_EQ(texts(m).at(0), "b ＡＢ BB");
  EXPECT_EQ(m.replaceAll("b", "c"), 3);  // each rule works on the result of the one before
  EXPECT_EQ(texts(m).at(0), "c ＡＢ CC");  // full-width letters are other characters
}

TEST(OfficeEngine, ReplacementTakesFormattingOfFirstCharacter) {
  TempDir dir;
  auto in = DocxBuilder().body(p(r("x") + r("b", "<w:b/>") + r("old") + r(" y"))).write(dir.file("a.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  EXPECT_EQ(doc->mainStory().replaceAll("bold", "NEW"), 1);
  EXPECT_EQ(texts(doc->mainStory()).at(0), "xNEW y");
  doc->saveAs(dir.file("out.docx"), SaveFormat::Docx);
  doc->close();
  std::string xml = readPart(dir.file("out.docx"), "word/document.xml");
  // "NEW" sits in a bold run.
  auto at = xml.find(">NEW<");
  ASSERT_NE(at, std::string::npos);
  auto run = xml.rfind("<w:r", at);
  while (run != std::string::npos && xml.compare(run, 5, "<w:r>") != 0 && xml.compare(run, 5, "<w:r ") != 0)
    run = run ? xml.rfind("<w:r", run - 1) : std::string::npos;
  ASSERT_NE(run, std::string::npos);
  EXPECT_NE(xml.substr(run, at - run).find("<w:b"), std::string::npos) << xml.substr(run, at - run);
}

TEST(OfficeEngine, PicturesAtOccurrences) {
  TempDir dir;
  auto png = writePng(dir);
  auto in = makeDoc(dir, DocxBuilder().body(p(r("logo here and logo there"))).header(p(r("logo"))));
  auto doc = sharedOffice()->open(in, {});
  EXPECT_EQ(doc->mainStory().replaceWithPicture("LOGO", png), 2);
  EXPECT_EQ(doc->mainStory().replaceWithPicture("absent", png), 0);
  try {
    doc->mainStory().replaceWithPicture("here", dir.file("missing.png"));
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::PictureUnreadable);
  }
  auto notPng = dir.file("bad.png");
  writeFile(notPng, "not a picture");
  try {
    doc->mainStory().replaceWithPicture("here", notPng);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::PictureUnreadable);
  }
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
  auto paras = m.paragraphs();
  ASSERT_EQ(paras.size(), 3u);
  EXPECT_EQ(paras[0].start, 0);
  EXPECT_EQ(paras[0].end, 4);
  EXPECT_EQ(paras[1].start, 4);
  EXPECT_EQ(paras[1].end, 7);
  EXPECT_EQ(paras[2].end, 8);
  EXPECT_EQ(m.characterCount(), 8);
  EXPECT_EQ(m.text(0, 8), "abc\r汉字\r\r");
  EXPECT_EQ(m.text(4, 6), "汉字");
}

TEST(OfficeEngine, SaveInPlaceKeepsFormatAndLeavesNoTemporaries) {
  TempDir dir;
  auto in = makeDoc(dir, DocxBuilder().body(p(r("keep me"))));
  auto before = readFile(in);
  {
    auto doc = sharedOffice()->open(in, {});
    EXPECT_FALSE(doc->modified());
    doc->save();  // nothing changed: not written
    doc->close();
  }
  EXPECT_EQ(readFile(in), before);
  {
    auto doc = sharedOffice()->open(in, {});
    EXPECT_EQ(doc->mainStory().replaceAll("keep", "kept"), 1);
    EXPECT_TRUE(doc->modified());
    doc->save();
    EXPECT_FALSE(doc->modified());
    doc->close();
  }
  auto after = readFile(in);
  EXPECT_EQ(after.substr(0, 4), std::string("\xD0\xCF\x11\xE0", 4));  // still a Word 97 file
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // in.doc.docx and in.doc
  auto doc = sharedOffice()->open(in, {});
  EXPECT_EQ(texts(doc->mainStory()).at(0), "kept me");
}

TEST(OfficeEngine, ClearErrors) {
  TempDir dir;
  try {
    sharedOffice()->open(dir.file("none.doc"), {});
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::FileNotFound);
  }
  // The office is still fine afterwards.
  auto ok = DocxBuilder().body(p(r("fine"))).write(dir.file("ok.docx"));
  EXPECT_EQ(sharedOffice()->open(ok, {Need::Layout})->mainStory().paragraphs().at(0).text, "fine");
}
