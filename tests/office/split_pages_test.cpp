// Pages copied into new documents as the splitter uses them: headers and footers of every page
// style come along, and a document inserted ahead of a copy keeps its own paragraphs.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

namespace {

const char* kHeaderType = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
const char* kHeaderRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
const char* kFooterType = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
const char* kFooterRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";

std::string part(const char* root, const std::string& text) {
  return std::string("<w:") + root + " " + standardNamespaces() + ">" + p(r(text)) + "</w:" + root + ">";
}

std::string sectPr(const std::string& hdr, const std::string& ftr, bool titlePage = false) {
  return "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"" + hdr +
         "\"/><w:footerReference w:type=\"default\" r:id=\"" + ftr +
         "\"/><w:pgSz w:w=\"11906\" w:h=\"16838\"/>" + (titlePage ? "<w:titlePg/>" : "") + "</w:sectPr>";
}

// Three pages: section 1 (pages 1-2) with 甲 header and footer, section 2 (page 3) with 乙 ones.
std::filesystem::path twoSections(const TempDir& dir) {
  return DocxBuilder()
      .body(p(r("page one")) + p("<w:r><w:br w:type=\"page\"/></w:r>" + r("page two"), sectPr("h1", "f1")) +
            p(r("page three")) + sectPr("h2", "f2"))
      .part("word/header1.xml", part("hdr", "甲页眉"), kHeaderType, kHeaderRel, "h1")
      .part("word/footer1.xml", part("ftr", "甲页脚"), kFooterType, kFooterRel, "f1")
      .part("word/header2.xml", part("hdr", "乙页眉"), kHeaderType, kHeaderRel, "h2")
      .part("word/footer2.xml", part("ftr", "乙页脚"), kFooterType, kFooterRel, "f2")
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
