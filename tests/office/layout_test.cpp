// Layout and formats: page count, page ranges, pages into a new document, inserting a
// document, page breaks, and saving in the seven formats.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

namespace {

const std::string kPageBreak = "<w:r><w:br w:type=\"page\"/></w:r>";

std::filesystem::path threePages(const TempDir& dir, const std::string& name = "pages.docx") {
  return DocxBuilder()
      .body(p(r("one")) + p(kPageBreak + r("two")) + p(kPageBreak + r("three")))
      .write(dir.file(name));
}

std::string comment(int id, const std::string& text) {
  return "<w:comment w:id=\"" + std::to_string(id) + "\" w:author=\"a\">" + p(r(text)) + "</w:comment>";
}

std::string allText(Document& d) {
  auto& m = d.mainStory();
  return m.text(0, m.characterCount());
}

}  // namespace

TEST(OfficeLayout, PageCountAndPages) {
  TempDir dir;
  auto doc = sharedOffice()->open(threePages(dir), {Need::Layout});
  auto* l = layout(*doc);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->pageCount(), 3);
  auto pages = l->pages();
  ASSERT_EQ(pages.size(), 3u);
  auto& m = doc->mainStory();
  EXPECT_EQ(pages[0].start, 0);
  EXPECT_EQ(m.text(pages[0].start, pages[0].end), "one\r");
  EXPECT_EQ(m.text(pages[1].start, pages[1].end), "two\r");
  EXPECT_EQ(m.text(pages[2].start, pages[2].end), "three\r");
  EXPECT_EQ(pages[2].end, m.characterCount());
}

TEST(OfficeLayout, PageCountOfADoc) {
  TempDir dir;
  auto docx = threePages(dir);
  {
    auto d = sharedOffice()->open(docx, {Need::Layout});
    d->saveAs(dir.file("pages.doc"), SaveFormat::Doc);
  }
  auto d = sharedOffice()->open(dir.file("pages.doc"), {});
  EXPECT_EQ(layout(*d)->pageCount(), 3);
}

TEST(OfficeLayout, CopyPagesIntoNewDocument) {
  TempDir dir;
  auto doc = sharedOffice()->open(threePages(dir), {Need::Layout});
  auto part = layout(*doc)->copyPages(2, 3);
  EXPECT_TRUE(part->path().empty());
  EXPECT_EQ(part->backend(), "office");
  std::string t = allText(*part);
  EXPECT_NE(t.find("two"), std::string::npos) << t;
  EXPECT_NE(t.find("three"), std::string::npos) << t;
  EXPECT_EQ(t.find("one"), std::string::npos) << t;
  // The break before "three" is inside the copy, the one before "two" is not.
  EXPECT_EQ(layout(*part)->pageCount(), 2);
  try {
    part->save();
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::InvalidArgument);
  }
  part->saveAs(dir.file("part.docx"), SaveFormat::Docx);
  EXPECT_EQ(part->path(), dir.file("part.docx"));
  part->close();
  auto back = sharedOffice()->open(dir.file("part.docx"), {Need::Layout});
  t = allText(*back);
  EXPECT_NE(t.find("three"), std::string::npos) << t;
  // The source is unchanged.
  EXPECT_EQ(layout(*doc)->pageCount(), 3);
  EXPECT_FALSE(doc->modified());
}

TEST(OfficeLayout, InsertDocumentAndPageBreaks) {
  TempDir dir;
  auto a = DocxBuilder().body(p(r("first document"))).write(dir.file("a.docx"));
  auto b = DocxBuilder().body(p(r("second document"))).write(dir.file("b.docx"));
  auto target = sharedOffice()->create();
  auto* l = layout(*target);
  l->insertDocument(a);
  l->insertPageBreak();
  l->insertDocument(b);
  EXPECT_TRUE(target->modified());
  EXPECT_EQ(l->pageCount(), 2);
  l->insertPageBreak();
  l->insertPageBreak();
  EXPECT_EQ(l->pageCount(), 4);
  std::string t = allText(*target);
  EXPECT_LT(t.find("first document"), t.find("second document")) << t;
  try {
    l->insertDocument(dir.file("missing.doc"));
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::FileNotFound);
  }
  target->saveAs(dir.file("merged.docx"), SaveFormat::Same);
  EXPECT_EQ(readFile(dir.file("merged.docx")).substr(0, 2), "PK");
}

TEST(OfficeLayout, SaveAsEveryFormat) {
  TempDir dir;
  auto in = DocxBuilder().body(p(r("Line one 汉字")) + p(r("Line two"))).write(dir.file("in.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  struct Case {
    SaveFormat f;
    const char* name;
  };
  for (auto c : {Case{SaveFormat::Doc, "o.doc"}, Case{SaveFormat::Docx, "o.docx"}, Case{SaveFormat::Rtf, "o.rtf"},
                 Case{SaveFormat::Text, "o.txt"}, Case{SaveFormat::UnicodeText, "u.txt"}, Case{SaveFormat::Html, "o.html"},
                 Case{SaveFormat::Pdf, "o.pdf"}})
    doc->saveAs(dir.file(c.name), c.f);
  EXPECT_EQ(readFile(dir.file("o.doc")).substr(0, 4), std::string("\xD0\xCF\x11\xE0", 4));
  EXPECT_EQ(readFile(dir.file("o.docx")).substr(0, 2), "PK");
  EXPECT_EQ(readFile(dir.file("o.rtf")).substr(0, 5), "{\\rtf");
  EXPECT_EQ(readFile(dir.file("o.pdf")).substr(0, 5), "%PDF-");
  std::string html = readFile(dir.file("o.html"));
  EXPECT_NE(html.find("<html"), std::string::npos);
  EXPECT_NE(html.find("Line two"), std::string::npos);
  // Plain text: UTF-8, CR LF.
  std::string txt = readFile(dir.file("o.txt"));
  if (txt.rfind("\xEF\xBB\xBF", 0) == 0) txt = txt.substr(3);
  EXPECT_EQ(txt.rfind("Line one 汉字\r\nLine two\r\n", 0), 0u) << txt;
  // Unicode text: UTF-16LE with a byte-order mark, CR LF.
  std::string u = readFile(dir.file("u.txt"));
  ASSERT_GE(u.size(), 4u);
  EXPECT_EQ(u.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(u.substr(2, 4), std::string("L\0i\0", 4));
  EXPECT_NE(u.find(std::string("\r\0\n\0", 4)), std::string::npos);
  EXPECT_NE(u.find(std::string("\x49\x6C", 2)), std::string::npos);  // 汉 U+6C49 little-endian
  // The document now refers to the last path; nothing is left beside the targets.
  EXPECT_EQ(doc->path(), dir.file("o.pdf"));
  for (auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().filename().string().rfind(".~vm-", 0), std::string::npos) << e.path();
}

TEST(OfficeLayout, Inventory) {
  TempDir dir;
  const unsigned char png[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
                               0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90,
                               0x77, 0x53, 0xde, 0x00, 0x00, 0x00, 0x0c, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
                               0xcf, 0xc0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0xc9, 0xfe, 0x92, 0xef, 0x00, 0x00, 0x00,
                               0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  writeFile(dir.file("p.png"), std::string(reinterpret_cast<const char*>(png), sizeof png));
  auto in = DocxBuilder()
                .body(p(r("P1 and P2") + "<w:r><w:commentReference w:id=\"0\"/></w:r>") +
                      p(r("more") + "<w:r><w:commentReference w:id=\"1\"/></w:r>"))
                .comments(comment(0, "first note") + comment(1, "second note"))
                .header(p(r("head")))
                .footer(p(r("foot")))
                .write(dir.file("inv.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  EXPECT_EQ(doc->mainStory().replaceWithPicture("P1", dir.file("p.png")), 1);
  EXPECT_EQ(doc->mainStory().replaceWithPicture("P2", dir.file("p.png")), 1);
  auto inv = layout(*doc)->inventory();
  EXPECT_EQ(inv.headers, 1);
  EXPECT_EQ(inv.footers, 1);
  EXPECT_EQ(inv.comments, 2);
  EXPECT_EQ(inv.pictures, 2);
}

// Documents with comments need the office's Writer UI definitions (office.h): they open,
// take a replace, save in both Word formats and keep their comments.
TEST(OfficeLayout, DocumentWithComments) {
  TempDir dir;
  auto in = DocxBuilder()
                .body(p("<w:commentRangeStart w:id=\"0\"/>" + r("the commented text") +
                        "<w:commentRangeEnd w:id=\"0\"/><w:r><w:commentReference w:id=\"0\"/></w:r>") +
                      p(r("the rest") + "<w:r><w:commentReference w:id=\"1\"/></w:r>") +
                      p(r("the end") + "<w:r><w:commentReference w:id=\"2\"/></w:r>"))
                .comments(comment(0, "one") + comment(1, "two") + comment(2, "the third"))
                .write(dir.file("c.docx"));
  {
    auto doc = sharedOffice()->open(in, {Need::Layout});
    EXPECT_EQ(layout(*doc)->inventory().comments, 3);
    // The comments' own text is another story.
    EXPECT_EQ(doc->mainStory().replaceAll("the", "an"), 3);
    doc->save();
    doc->saveAs(dir.file("c.doc"), SaveFormat::Doc);
  }
  for (auto name : {"c.docx", "c.doc"}) {
    auto back = sharedOffice()->open(dir.file(name), {Need::Layout});
    EXPECT_EQ(layout(*back)->inventory().comments, 3) << name;
    EXPECT_EQ(allText(*back), "an commented text\ran rest\ran end\r") << name;
  }
  EXPECT_NE(readPart(dir.file("c.docx"), "word/comments.xml").find("the third"), std::string::npos);
}

namespace {

std::string pageBreakBefore(const std::string& text) { return p(r(text), "<w:pageBreakBefore/>"); }

std::string sectionEnd(const std::string& text, bool landscape) {
  std::string size = landscape ? "<w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/>"
                               : "<w:pgSz w:w=\"11906\" w:h=\"16838\"/>";
  return p(r(text), "<w:sectPr>" + size + "</w:sectPr>");
}

std::string rows(int n, const std::string& tag) {
  std::vector<std::vector<std::string>> cells;
  for (int i = 0; i < n; ++i) cells.push_back({r(tag + std::to_string(i))});
  return table(cells);
}

int copiedPages(const std::filesystem::path& in, int first, int last, const std::filesystem::path& saveTo = {}) {
  auto doc = sharedOffice()->open(in, {Need::Layout});
  auto part = layout(*doc)->copyPages(first, last);
  if (!saveTo.empty()) part->saveAs(saveTo, SaveFormat::Docx);
  return layout(*part)->pageCount();
}

}  // namespace

// Measured: Writer's paste drops the breaks of the pasted paragraphs and moves the last one's
// to the first; the copy sets them again from the source.
TEST(OfficeLayout, CopiedPagesKeepTheirBreaks) {
  TempDir dir;
  // A manual break inside a paragraph, and paragraphs with a break before them.
  auto breaks = DocxBuilder()
                    .body(p(r("one")) + p(r("two a") + kPageBreak + r("two b")) + pageBreakBefore("three") +
                          pageBreakBefore("four"))
                    .write(dir.file("breaks.docx"));
  EXPECT_EQ(copiedPages(breaks, 1, 4), 4);
  EXPECT_EQ(copiedPages(breaks, 2, 4, dir.file("part.docx")), 3);
  // The first page of the copy starts the document: no break before it, also in Word.
  auto back = sharedOffice()->open(dir.file("part.docx"), {Need::Layout});
  EXPECT_EQ(layout(*back)->pageCount(), 3);
  std::string xml = readPart(dir.file("part.docx"), "word/document.xml");
  auto firstBreak = std::min(xml.find("<w:br w:type=\"page\"/>"), xml.find("<w:pageBreakBefore/>"));
  EXPECT_LT(xml.find("two b"), firstBreak) << xml;
  EXPECT_EQ(allText(*back).find("two a"), std::string::npos);

  // Section breaks: each copied page keeps its section's page format.
  auto sections = DocxBuilder()
                      .body(p(r("one")) + sectionEnd("two", false) + sectionEnd("wide", true) + p(r("four")) +
                            "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr>")
                      .write(dir.file("sections.docx"));
  EXPECT_EQ(copiedPages(sections, 1, 3), 3);
  EXPECT_EQ(copiedPages(sections, 2, 3, dir.file("wide.docx")), 2);
  std::string wide = readPart(dir.file("wide.docx"), "word/document.xml");
  EXPECT_NE(wide.find("w:orient=\"landscape\""), std::string::npos) << wide;
}

TEST(OfficeLayout, CopyPagesWithAPageEdgeInATable) {
  TempDir dir;
  // Pages 1-2: "one" and a long table; page 3 "after"; page 4 "last".
  auto in = DocxBuilder()
                .body(p(r("one")) + rows(80, "row") + pageBreakBefore("after") + pageBreakBefore("last"))
                .write(dir.file("table.docx"));
  auto doc = sharedOffice()->open(in, {Need::Layout});
  ASSERT_EQ(layout(*doc)->pageCount(), 4);
  // A table cut by a page edge comes whole.
  for (auto [first, last] : {std::pair{2, 3}, std::pair{1, 1}}) {
    auto part = layout(*doc)->copyPages(first, last);
    std::string t = allText(*part);
    EXPECT_NE(t.find("row0"), std::string::npos) << first << "-" << last;
    EXPECT_NE(t.find("row79"), std::string::npos) << first << "-" << last;
    EXPECT_EQ(t.find("last"), std::string::npos) << t;
    EXPECT_EQ(t.find("after") != std::string::npos, last == 3) << t;
  }
  // Writer has no place before a table that starts the document, nor after one that ends it:
  // a clear refusal when a page edge cuts such a table.
  auto starts = DocxBuilder().body(rows(80, "row") + pageBreakBefore("after")).write(dir.file("starts.docx"));
  auto ends = DocxBuilder().body(p(r("one")) + rows(80, "row")).write(dir.file("ends.docx"));
  for (auto [path, first] : {std::pair{starts, 2}, std::pair{ends, 2}}) {
    auto d2 = sharedOffice()->open(path, {Need::Layout});
    try {
      layout(*d2)->copyPages(first, first);
      ADD_FAILURE() << path;
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), ErrorCode::Unsupported) << e.what();
    }
    EXPECT_FALSE(d2->modified());
  }
}
