// Header, footer, comment and clean-up behaviour through the Document interface, for every
// back end (see support/enginecases.h: a back end's test executable compiles this file too).
// A back end that has not built a routine says Unsupported and its case is skipped.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "support/docxbuilder.h"
#include "support/enginecases.h"
#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::test;
using vm::word::Story;
using vm::word::StoryKind;

const char* kLinkRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";

// Chinese Word's header style: its id is not "Header", its name is.
const std::string kStyles =
    "<w:style w:type=\"paragraph\" w:styleId=\"a3\"><w:name w:val=\"header\"/><w:pPr><w:pBdr>"
    "<w:bottom w:val=\"single\" w:sz=\"6\" w:space=\"1\" w:color=\"auto\"/></w:pBdr><w:jc w:val=\"center\"/></w:pPr></w:style>"
    "<w:style w:type=\"character\" w:styleId=\"a5\"><w:name w:val=\"Hyperlink\"/></w:style>";

class HeaderEngine : public EngineCase {};

// Sections: the first of two pages with a title page (default and first-page headers), the
// second with its own. (The office drops a header that no page shows, so each one shows.)
DocxBuilder sections() {
  return DocxBuilder()
      .styles(kStyles)
      .body(p(r("body text")) +
            p(r("page two"), "<w:pageBreakBefore/><w:sectPr>" + hfRef("header", "default", "rIdA") +
                                 hfRef("header", "first", "rIdB") + "<w:titlePg/></w:sectPr>") +
            p(r("second")) + "<w:sectPr>" + hfRef("header", "default", "rIdC") + "</w:sectPr>")
      .part("word/header1.xml", hfPart("hdr", p(r("default head"))), kHdrType, kHdrRel, "rIdA")
      .part("word/header2.xml", hfPart("hdr", p(r("first head", "<w:b/>"), "<w:pStyle w:val=\"a3\"/>")), kHdrType,
            kHdrRel, "rIdB")
      .part("word/header3.xml", hfPart("hdr", p(r("second head")) + p(r("more"))), kHdrType, kHdrRel, "rIdC");
}

TEST_P(HeaderEngine, ContentGoesAtTheStartOfTheCurrentPageHeaderOrFooter) {
  auto picture = dir.file("logo.png");
  writeFile(picture, png(8, 8));
  auto path = sections().write(dir.file("a.docx"));
  auto doc = open(path);
  Story* current = nullptr;
  SKIP_IF_UNSUPPORTED(current = doc->currentPageStory(StoryKind::Header));
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->id().which, vm::word::HeaderFooterKind::FirstPage);  // the title page's
  EXPECT_EQ(doc->currentPageStory(StoryKind::Footer), nullptr);           // none, and none made
  EXPECT_FALSE(doc->modified());
  current->insertTextAtStart("页眉<A&B> ");
  current->removeFirstParagraphBorder();
  Story& foot = doc->ensureStory(StoryKind::Footer);
  foot.insertPictureAtStart(picture);
  EXPECT_EQ(current->replaceAll("head", "页眉"), 1);
  EXPECT_EQ(doc->mainStory().replaceAll("head", "x"), 0);
  doc->save();
  doc->close();

  doc = open(path);
  using K = vm::word::HeaderFooterKind;
  ASSERT_EQ(doc->stories(StoryKind::Header).size(), 3u);
  Story* first = storyWithId(*doc, StoryKind::Header, 0, K::FirstPage);
  Story* plain = storyWithId(*doc, StoryKind::Header, 0, K::Default);
  Story* second = storyWithId(*doc, StoryKind::Header, 1, K::Default);
  ASSERT_TRUE(first && plain && second);
  EXPECT_EQ(storyTexts(*first), std::vector<std::string>{"页眉<A&B> first 页眉"});
  EXPECT_EQ(storyTexts(*plain), std::vector<std::string>{"default head"});
  EXPECT_EQ(storyTexts(*second), (std::vector<std::string>{"second head", "more"}));
  // The picture and the mark (the office counts an inline picture as nothing: see tests/office/main.cpp).
  if (writesPackage()) EXPECT_EQ(doc->currentPageStory(StoryKind::Footer)->characterCount(), 2);
  doc->close();
  if (writesPackage()) {
    std::string head = readPart(path, "word/header2.xml");
    EXPECT_NE(head.find("<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">页眉&lt;A&amp;B&gt; </w:t>"),
              std::string::npos)  // the first character's formatting
        << head;
    EXPECT_NE(head.find("<w:pPr><w:pStyle w:val=\"a3\"/><w:pBdr><w:bottom w:val=\"none\""), std::string::npos) << head;
  }
}

TEST_P(HeaderEngine, ClearingEveryHeaderLeavesMainTextAndFooters) {
  auto path = sections().footer(p(r("foot"))).write(dir.file("a.docx"));
  auto doc = open(path);
  SKIP_IF_UNSUPPORTED(for (Story* s : doc->stories(StoryKind::Header)) s->clear());
  doc->save();
  doc->close();
  doc = open(path);
  for (Story* s : doc->stories(StoryKind::Header)) EXPECT_EQ(storyTexts(*s), std::vector<std::string>{""});
  EXPECT_EQ(storyTexts(doc->mainStory()), (std::vector<std::string>{"body text", "page two", "second"}));
}

TEST_P(HeaderEngine, WatermarksFloatInTheHeaderAndTheHeaderStyleLosesItsLine) {
  auto picture = dir.file("mark.png");
  writeFile(picture, png(40, 20));
  auto path = DocxBuilder().styles(kStyles).body(p(r("text"))).write(dir.file("a.docx"));
  auto doc = open(path);
  vm::word::Watermark text;
  text.text = "机密文件";
  text.colour = 0x0000FF;  // red
  text.transparency = 0.3;
  text.heightPt = 30 / 0.3528;
  text.widthPt = 50 / 0.3528;
  text.centreVertically = false;
  SKIP_IF_UNSUPPORTED(doc->ensureStory(StoryKind::Header).addWatermark(text));
  Story& head = doc->ensureStory(StoryKind::Header);
  head.addWatermark(text);  // twice: two shapes
  vm::word::Watermark pic;
  pic.picture = picture;
  head.addWatermark(pic);
  doc->removeHeaderStyleBorder();
  EXPECT_EQ(storyTexts(head), std::vector<std::string>{""});  // floating shapes are no text
  EXPECT_EQ(storyTexts(doc->mainStory()), std::vector<std::string>{"text"});
  doc->save();
  doc->close();
  if (!writesPackage()) return;
  std::string xml = readPart(path, "word/header1.xml");
  EXPECT_EQ(occurrences(xml, "string=\"机密文件\""), 2u) << xml;
  EXPECT_EQ(occurrences(xml, "<v:shapetype id=\"_x0000_t136\""), 1u);
  // 50 mm wide; the WordArt's own aspect (four full-width characters: 4:1) kept.
  EXPECT_NE(xml.find("width:141.72pt;height:35.43pt"), std::string::npos) << xml;
  EXPECT_NE(xml.find("fillcolor=\"#FF0000\""), std::string::npos);
  EXPECT_NE(xml.find("opacity=\"0.7\""), std::string::npos);
  EXPECT_NE(xml.find("mso-position-horizontal:center;mso-position-horizontal-relative:margin;"
                     "mso-position-vertical-relative:margin"),
            std::string::npos);
  EXPECT_NE(xml.find("<wp:anchor"), std::string::npos);
  EXPECT_NE(xml.find("<wp:wrapNone/>"), std::string::npos);
  std::string styles = readPart(path, "word/styles.xml");
  EXPECT_NE(styles.find("<w:pBdr><w:bottom w:val=\"none\" w:sz=\"0\" w:space=\"0\" w:color=\"auto\"/></w:pBdr><w:jc"),
            std::string::npos)
      << styles;
  pugi::xml_document parsed;
  EXPECT_TRUE(parsed.load_string(xml.c_str()));
}

TEST_P(HeaderEngine, DeletingCommentsLeavesAValidPackage) {
  const std::string commentsXml =
      "<w:comment w:id=\"0\" w:author=\"a\"><w:p><w:r><w:t>one</w:t></w:r></w:p></w:comment>"
      "<w:comment w:id=\"1\" w:author=\"a\"><w:p><w:r><w:t>two</w:t></w:r></w:p></w:comment>";
  auto ref = [](int id) {
    return "<w:commentRangeEnd w:id=\"" + std::to_string(id) +
           "\"/><w:r><w:rPr><w:rStyle w:val=\"CommentReference\"/></w:rPr><w:commentReference w:id=\"" +
           std::to_string(id) + "\"/></w:r>";
  };
  auto path = DocxBuilder()
                  .body(p("<w:commentRangeStart w:id=\"0\"/>" + r("marked") + ref(0) + r(" text")) +
                        p("<w:commentRangeStart w:id=\"1\"/>" + r("again") + ref(1)))
                  .comments(commentsXml)
                  .write(dir.file("a.docx"));
  auto doc = open(path);
  int deleted = 0;
  SKIP_IF_UNSUPPORTED(deleted = doc->deleteComments());
  EXPECT_EQ(deleted, 2);
  EXPECT_EQ(storyTexts(doc->mainStory()), (std::vector<std::string>{"marked text", "again"}));
  EXPECT_EQ(doc->mainStory().characterCount(), 18);  // the reference marks are gone
  doc->save();
  doc->close();
  doc = open(path);
  EXPECT_EQ(doc->deleteComments(), 0);
  EXPECT_FALSE(doc->modified());
  doc->close();
  if (!writesPackage()) return;
  EXPECT_FALSE(hasPart(path, "word/comments.xml"));
  EXPECT_EQ(readPart(path, "word/document.xml").find("comment"), std::string::npos);
  EXPECT_EQ(readPart(path, "word/_rels/document.xml.rels").find("comments"), std::string::npos);
  EXPECT_EQ(readPart(path, "[Content_Types].xml").find("comments"), std::string::npos);
}

TEST_P(HeaderEngine, HyperlinksBecomeTheirText) {
  const std::string field = "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>"
                            "<w:r><w:instrText xml:space=\"preserve\"> HYPERLINK \"http://b.example\" </w:instrText></w:r>"
                            "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" +
                            r("field link", "<w:rStyle w:val=\"a5\"/>") +
                            "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
  const std::string page = "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>"
                           "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" + r("1") +
                           "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
  auto path = DocxBuilder()
                  .styles(kStyles)
                  .body(p(r("see ") + "<w:hyperlink r:id=\"rIdL\">" + r("the link", "<w:rStyle w:val=\"a5\"/>") +
                          "</w:hyperlink>" + r(" and ") + field + r(", page ") + page) +
                        p("<w:fldSimple w:instr=\"HYPERLINK &quot;http://c.example&quot;\">" + r("simple") +
                          "</w:fldSimple>"))
                  .part("word/unused.xml", "", "", kLinkRel, "rIdL")
                  .write(dir.file("a.docx"));
  auto doc = open(path);
  int removed = 0;
  SKIP_IF_UNSUPPORTED(removed = doc->mainStory().removeHyperlinks());
  EXPECT_EQ(removed, 3);
  EXPECT_EQ(storyTexts(doc->mainStory()), (std::vector<std::string>{"see the link and field link, page 1", "simple"}));
  EXPECT_EQ(doc->mainStory().removeHyperlinks(), 0);
  doc->save();
  doc->close();
  if (!writesPackage()) return;
  std::string xml = readPart(path, "word/document.xml");
  EXPECT_EQ(xml.find("HYPERLINK"), std::string::npos);
  EXPECT_EQ(xml.find("hyperlink"), std::string::npos);
  EXPECT_EQ(xml.find("a5"), std::string::npos);  // the link style went with the links
  EXPECT_EQ(occurrences(xml, "fldCharType"), 3u);      // the page number stays a field
  EXPECT_EQ(readPart(path, "word/_rels/document.xml.rels").find("rIdL"), std::string::npos);
}

TEST_P(HeaderEngine, OnlyParagraphsWithNothingButTheirMarkGo) {
  auto path = DocxBuilder()
                  .body(p(r("a")) + p() + p("<w:bookmarkStart w:id=\"0\" w:name=\"b\"/><w:bookmarkEnd w:id=\"0\"/>") +
                        p(r(" ")) + p() + p(r("b")) +
                        "<w:tbl><w:tr><w:tc>" + p() + p(r("c")) + "</w:tc><w:tc>" + p() + "</w:tc></w:tr><w:tr><w:tc>" +
                        p() + "</w:tc><w:tc>" + p(r("d")) + p() + "</w:tc></w:tr></w:tbl>" +
                        p("", "<w:sectPr/>") + p("<w:r><w:rPr><w:b/></w:rPr></w:r>") + p(r("　x　y")) + p())
                  .write(dir.file("a.docx"));
  auto doc = open(path);
  int removed = 0;
  SKIP_IF_UNSUPPORTED(removed = doc->mainStory().removeBlankParagraphs());
  EXPECT_EQ(removed, 5);
  // Kept: a space, the last paragraph of each cell (rows end in their own marks) and of the
  // body, the section's end (which the office drops when it reads the file, having no place
  // for a blank paragraph that carries a section break).
  std::vector<std::string> kept = {"a", " ", "b", "c", "", "", "", "d", "", "", "", "　x　y", ""};
  if (!writesPackage()) kept.erase(kept.begin() + 10);
  EXPECT_EQ(storyTexts(doc->mainStory()), kept);
  // Half-width spaces go, full-width ones stay.
  EXPECT_EQ(doc->mainStory().replaceAll(" ", ""), 1);
  doc->save();
  doc->close();
  doc = open(path);
  kept[1] = "";
  EXPECT_EQ(storyTexts(doc->mainStory()), kept);
  if (writesPackage()) {
    EXPECT_NE(readPart(path, "word/document.xml").find("w:name=\"b\""), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, HeaderEngine, ::testing::ValuesIn(engineOpeners()), openerName);

}  // namespace
