// Layout and formats: page count, page ranges, pages into a new document (with their headers
// and footers, as the splitter uses them), inserting a document, page breaks, and saving in the
// seven formats.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "support/testimages.h"
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

// The pages, a copy of two of them in a new document, and the count of the source saved as .doc.
TEST(OfficeLayout, PagesAndACopyOfThem) {
  TempDir dir;
  auto doc = sharedOffice()->open(threePages(dir), {Need::Layout});
  auto* l = layout(*doc);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->pageCount(), 3);
  auto pages = l->pages();
  std::vector<std::string> texts;
  for (const auto& page : pages) texts.push_back(doc->mainStory().text(page.start, page.end));
  EXPECT_EQ(texts, (std::vector<std::string>{"one\r", "two\r", "three\r"}));
  EXPECT_EQ(pages.at(0).start, 0);
  EXPECT_EQ(pages.at(2).end, doc->mainStory().characterCount());

  auto part = l->copyPages(2, 3);
  EXPECT_TRUE(part->path().empty());
  EXPECT_EQ(part->backend(), "office");
  std::string t = allText(*part);
  EXPECT_NE(t.find("two"), std::string::npos) << t;
  EXPECT_NE(t.find("three"), std::string::npos) << t;
  EXPECT_EQ(t.find("one"), std::string::npos) << t;
  // The break before "three" is inside the copy, the one before "two" is not.
  EXPECT_EQ(layout(*part)->pageCount(), 2);
  EXPECT_ENGINE_CODE(part->save(), ErrorCode::InvalidArgument);
  part->saveAs(dir.file("part.docx"), SaveFormat::Docx);
  EXPECT_EQ(part->path(), dir.file("part.docx"));
  part->close();
  auto back = sharedOffice()->open(dir.file("part.docx"), {Need::Layout});
  t = allText(*back);
  EXPECT_NE(t.find("three"), std::string::npos) << t;
  // The source is unchanged.
  EXPECT_EQ(l->pageCount(), 3);
  EXPECT_FALSE(doc->modified());
  doc->saveAs(dir.file("pages.doc"), SaveFormat::Doc);
  doc->close();
  EXPECT_EQ(layout(*sharedOffice()->open(dir.file("pages.doc"), {}))->pageCount(), 3);
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
  EXPECT_ENGINE_CODE(l->insertDocument(dir.file("missing.doc")), ErrorCode::FileNotFound);
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
    std::string start;  // the format's signature
  };
  for (const auto& c : {Case{SaveFormat::Doc, "o.doc", std::string("\xD0\xCF\x11\xE0", 4)}, Case{SaveFormat::Docx, "o.docx", "PK"},
                        Case{SaveFormat::Rtf, "o.rtf", "{\\rtf"}, Case{SaveFormat::Text, "o.txt", ""},
                        Case{SaveFormat::UnicodeText, "u.txt", "\xFF\xFE"}, Case{SaveFormat::Html, "o.html", ""},
                        Case{SaveFormat::Pdf, "o.pdf", "%PDF-"}}) {
    doc->saveAs(dir.file(c.name), c.f);
    EXPECT_EQ(readFile(dir.file(c.name)).substr(0, c.start.size()), c.start) << c.name;
  }
  std::string html = readFile(dir.file("o.html"));
  EXPECT_NE(html.find("<html"), std::string::npos);
  EXPECT_NE(html.find("Line two"), std::string::npos);
  // Plain text: UTF-8, CR LF.
  std::string txt = readFile(dir.file("o.txt"));
  if (txt.rfind("\xEF\xBB\xBF", 0) == 0) txt = txt.substr(3);
  EXPECT_EQ(txt.rfind("Line one 汉字\r\nLine two\r\n", 0), 0u) << txt;
  // Unicode text: UTF-16LE with a byte-order mark, CR LF.
  std::string u = readFile(dir.file("u.txt"));
  EXPECT_EQ(u.substr(2, 4), std::string("L\0i\0", 4));
  EXPECT_NE(u.find(std::string("\r\0\n\0", 4)), std::string::npos);
  EXPECT_NE(u.find(std::string("\x49\x6C", 2)), std::string::npos);  // 汉 U+6C49 little-endian
  // The document now refers to the last path; nothing is left beside the targets.
  EXPECT_EQ(doc->path(), dir.file("o.pdf"));
  EXPECT_EQ(hiddenEntries(dir.path()), std::vector<std::string>{});
}

// Documents with comments need the office's Writer UI definitions (office.h): they open,
// take a replace, save in both Word formats and keep their comments. The inventory counts
// what the save guard compares.
TEST(OfficeLayout, InventoryOfADocumentWithComments) {
  TempDir dir;
  writeFile(dir.file("p.png"), png(1, 1));
  auto in = DocxBuilder()
                .body(p("<w:commentRangeStart w:id=\"0\"/>" + r("the commented text") +
                        "<w:commentRangeEnd w:id=\"0\"/><w:r><w:commentReference w:id=\"0\"/></w:r>") +
                      p(r("the rest") + r("P1") + "<w:r><w:commentReference w:id=\"1\"/></w:r>") +
                      p(r("the end") + r("P2") + "<w:r><w:commentReference w:id=\"2\"/></w:r>"))
                .comments(comment(0, "one") + comment(1, "two") + comment(2, "the third"))
                .header(p(r("head")))
                .footer(p(r("foot")))
                .write(dir.file("c.docx"));
  {
    auto doc = sharedOffice()->open(in, {Need::Layout});
    EXPECT_EQ(doc->mainStory().replaceWithPicture("P1", dir.file("p.png")), 1);
    EXPECT_EQ(doc->mainStory().replaceWithPicture("P2", dir.file("p.png")), 1);
    auto inv = layout(*doc)->inventory();
    EXPECT_EQ(inv.headers, 1);
    EXPECT_EQ(inv.footers, 1);
    EXPECT_EQ(inv.comments, 3);
    EXPECT_EQ(inv.pictures, 2);
    // The comments' own text is another story.
    EXPECT_EQ(doc->mainStory().replaceAll("the", "an"), 3);
    doc->save();
    doc->saveAs(dir.file("c.doc"), SaveFormat::Doc);
  }
  for (auto name : {"c.docx", "c.doc"}) {
    auto back = sharedOffice()->open(dir.file(name), {Need::Layout});
    EXPECT_EQ(layout(*back)->inventory().comments, 3) << name;
    EXPECT_EQ(layout(*back)->inventory().pictures, 2) << name;
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
    SCOPED_TRACE(path);
    auto d2 = sharedOffice()->open(path, {Need::Layout});
    EXPECT_ENGINE_CODE(layout(*d2)->copyPages(first, first), ErrorCode::Unsupported);
    EXPECT_FALSE(d2->modified());
  }
}

namespace {

const char* kHeaderType = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
const char* kHeaderRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
const char* kFooterType = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
const char* kFooterRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";

std::string hfPart(const char* root, const std::string& text) {
  return std::string("<w:") + root + " " + standardNamespaces() + ">" + p(r(text)) + "</w:" + root + ">";
}

std::string sectPr(const std::string& hdr, const std::string& ftr) {
  return "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"" + hdr + "\"/><w:footerReference w:type=\"default\" r:id=\"" +
         ftr + "\"/><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr>";
}

// Three pages: section 1 (pages 1-2) with 甲 header and footer, section 2 (page 3) with 乙 ones.
std::filesystem::path twoSections(const TempDir& dir) {
  return DocxBuilder()
      .body(p(r("page one")) + p(kPageBreak + r("page two"), sectPr("h1", "f1")) +
            p(r("page three")) + sectPr("h2", "f2"))
      .part("word/header1.xml", hfPart("hdr", "甲页眉"), kHeaderType, kHeaderRel, "h1")
      .part("word/footer1.xml", hfPart("ftr", "甲页脚"), kFooterType, kFooterRel, "f1")
      .part("word/header2.xml", hfPart("hdr", "乙页眉"), kHeaderType, kHeaderRel, "h2")
      .part("word/footer2.xml", hfPart("ftr", "乙页脚"), kFooterType, kFooterRel, "f2")
      .write(dir.file("sections.docx"));
}

std::string storiesText(Document& d, StoryKind kind) {
  std::string out;
  for (Story* s : d.stories(kind)) out += s->text(0, s->characterCount()) + "|";
  return out;
}

}  // namespace

TEST(SplitPages, CopiedPagesKeepTheirHeadersAndFooters) {
  TempDir dir;
  auto source = sharedOffice()->open(twoSections(dir), {Need::Layout});
  ASSERT_EQ(layout(*source)->pageCount(), 3);
  struct Case {
    int first, last;
    std::vector<std::string> headers, footers, absent;
  };
  for (const Case& c : {Case{2, 3, {"甲页眉", "乙页眉"}, {"甲页脚", "乙页脚"}, {}},
                        Case{3, 3, {"乙页眉"}, {"乙页脚"}, {"甲页眉"}},
                        Case{1, 1, {"甲页眉"}, {"甲页脚"}, {"乙页眉"}}}) {
    auto copy = layout(*source)->copyPages(c.first, c.last);
    const auto out = dir.file("part" + std::to_string(c.first) + std::to_string(c.last) + ".docx");
    copy->saveAs(out, SaveFormat::Docx);
    copy->close();
    auto back = open(out);  // read by the docx engine, as Word would
    const std::string headers = storiesText(*back, StoryKind::Header), footers = storiesText(*back, StoryKind::Footer);
    for (const auto& h : c.headers) EXPECT_NE(headers.find(h), std::string::npos) << c.first << "-" << c.last << ": " << headers;
    for (const auto& f : c.footers) EXPECT_NE(footers.find(f), std::string::npos) << c.first << "-" << c.last << ": " << footers;
    for (const auto& a : c.absent) EXPECT_EQ(headers.find(a), std::string::npos) << c.first << "-" << c.last << ": " << headers;
  }
}

// Measured: an inserted document joins the paragraph at the insertion point; it is kept apart
// (ahead of a copied page, after a last paragraph with text), and the page keeps its style.
TEST(SplitPages, InsertedDocumentsKeepTheirOwnParagraphs) {
  TempDir dir;
  auto cover = DocxBuilder().body(p(r("cover line"))).write(dir.file("cover.docx"));
  auto source = sharedOffice()->open(twoSections(dir), {Need::Layout});
  auto copy = layout(*source)->copyPages(2, 2);
  layout(*copy)->insertDocument(cover, true);
  layout(*copy)->insertDocument(cover);
  copy->saveAs(dir.file("c.docx"), SaveFormat::Docx);
  auto back = open(dir.file("c.docx"));
  std::vector<std::string> paras;
  for (const auto& para : back->mainStory().paragraphs())
    if (!para.text.empty()) paras.push_back(para.text);
  EXPECT_EQ(paras, (std::vector<std::string>{"cover line", "page two", "cover line"}));
  EXPECT_NE(storiesText(*back, StoryKind::Header).find("甲页眉"), std::string::npos);
}
