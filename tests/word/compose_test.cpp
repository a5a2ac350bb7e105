// The native docx merge: what each appended package brings along, and what stays the host's.

#include <gtest/gtest.h>

#include <set>

#include <pugixml.hpp>

#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/docx/compose.h"
#include "word/document.h"
#include "word/error.h"

using namespace vm::test;
using vm::word::docx::Composer;

namespace {


std::string style(const std::string& id, const std::string& name, const std::string& rPr, bool isDefault = false) {
  return "<w:style w:type=\"paragraph\" w:styleId=\"" + id + "\"" + (isDefault ? " w:default=\"1\"" : "") +
         "><w:name w:val=\"" + name + "\"/><w:rPr>" + rPr + "</w:rPr></w:style>";
}

// Every value of attr on elements named element in a part.
std::vector<std::string> values(const std::string& xml, const char* element, const char* attr) {
  pugi::xml_document d;
  d.load_string(xml.c_str());
  std::vector<std::string> out;
  for (pugi::xpath_node n : d.select_nodes((std::string("//") + element).c_str()))
    out.push_back(n.node().attribute(attr).value());
  return out;
}

TEST(Compose, EachSourceBringsItsStylesListsNotesCommentsPicturesAndHeaders) {
  TempDir dir;
  auto host = DocxBuilder()
                  .styles(style("Normal", "Normal", "<w:sz w:val=\"24\"/>", true) +
                          style("Title", "Title", "<w:b/>"))
                  .body(p(r("host text"), "<w:pStyle w:val=\"Title\"/>"))
                  .write(dir.file("host.docx"));
  writeFile(dir.file("a.png"), png(20, 10));
  const std::string numbering =
      "<w:abstractNum w:abstractNumId=\"0\"><w:nsid w:val=\"11111111\"/><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/>"
      "<w:numFmt w:val=\"decimal\"/><w:lvlText w:val=\"%1.\"/></w:lvl></w:abstractNum>"
      "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>";
  auto source = [&](const std::string& tag) {
    return DocxBuilder()
        .styles(style("Normal", "Normal", "<w:sz w:val=\"24\"/>", true) + style("Title", "Title", "<w:i/>"))
        .body(p(r(tag + " title"), "<w:pStyle w:val=\"Title\"/>") +
              p(r(tag + " item"), "<w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"1\"/></w:numPr>") +
              p(r(tag + " note") + "<w:r><w:footnoteReference w:id=\"1\"/></w:r>") +
              p("<w:commentRangeStart w:id=\"0\"/>" + r(tag + " remark") + "<w:commentRangeEnd w:id=\"0\"/>"
                "<w:r><w:commentReference w:id=\"0\"/></w:r>") +
              p("<w:bookmarkStart w:id=\"0\" w:name=\"b\"/>" + r(tag + " mark") + "<w:bookmarkEnd w:id=\"0\"/>") +
              p("<w:r><w:drawing><wp:inline><wp:docPr id=\"1\" name=\"p\"/><a:graphic><a:graphicData>"
                "<pic:pic><pic:blipFill><a:blip r:embed=\"rIdImg\"/></pic:blipFill></pic:pic>"
                "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>"))
        .part("word/numbering.xml", "<w:numbering " + standardNamespaces() + ">" + numbering + "</w:numbering>",
              "application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml",
              "http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering", "rIdNum")
        .part("word/media/image1.png", png(20, 10), "", "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image",
              "rIdImg")
        .footnotes("<w:footnote w:type=\"separator\" w:id=\"-1\"><w:p/></w:footnote>"
                   "<w:footnote w:id=\"1\">" + p(r(tag + " footnote text")) + "</w:footnote>")
        .comments("<w:comment w:id=\"0\" w:author=\"x\">" + p(r(tag + " comment text")) + "</w:comment>")
        .header(p(r(tag + " header")))
        .write(dir.file(tag + ".docx"));
  };
  auto a = source("A"), b = source("B");

  Composer c(host);
  c.append(a);
  c.appendPageBreak();
  c.append(b);
  auto out = dir.file("out.docx");
  c.save(out);

  const std::string doc = readPart(out, "word/document.xml");
  auto texts = paragraphTexts(doc);
  // Word's insertion point: the sources in order before the host's own text.
  std::vector<std::string> want = {"A title", "A item", "A note", "A remark", "A mark", "", "\f",
                                   "B title", "B item", "B note", "B remark", "B mark", "", "host text"};
  EXPECT_EQ(texts, want);
  // The clashing Title is copied under a new id and used by both sources; the equal Normal is not.
  const std::string styles = readPart(out, "word/styles.xml");
  auto ids = values(styles, "w:style", "w:styleId");
  EXPECT_EQ(std::count(ids.begin(), ids.end(), "Normal"), 1);
  auto pStyles = values(doc, "w:pStyle", "w:val");
  EXPECT_NE(pStyles.front(), "Title");
  EXPECT_EQ(pStyles.back(), "Title");
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
  // Each source's list is its own (restarting), each with its own definition.
  auto numIds = values(doc, "w:numId", "w:val");
  ASSERT_EQ(numIds.size(), 2u);
  EXPECT_NE(numIds[0], numIds[1]);
  const std::string num = readPart(out, "word/numbering.xml");
  EXPECT_EQ(values(num, "w:abstractNum", "w:abstractNumId").size(), 2u);
  auto nsids = values(num, "w:nsid", "w:val");
  EXPECT_NE(nsids[0], nsids[1]);
  // Notes and comments keep their text under fresh ids that the references name.
  auto noteRefs = values(doc, "w:footnoteReference", "w:id");
  EXPECT_NE(noteRefs[0], noteRefs[1]);
  const std::string notes = readPart(out, "word/footnotes.xml");
  EXPECT_NE(notes.find("A footnote text"), std::string::npos);
  EXPECT_NE(notes.find("B footnote text"), std::string::npos);
  for (const std::string& id : noteRefs) EXPECT_NE(notes.find("w:id=\"" + id + "\""), std::string::npos);
  EXPECT_NE(readPart(out, "word/comments.xml").find("B comment text"), std::string::npos);
  auto commentIds = values(doc, "w:commentReference", "w:id");
  EXPECT_NE(commentIds[0], commentIds[1]);
  auto marks = values(doc, "w:bookmarkStart", "w:id");
  EXPECT_NE(marks[0], marks[1]);
  auto docPr = values(doc, "wp:docPr", "id");
  EXPECT_NE(docPr[0], docPr[1]);
  // The same picture is stored once; each source's header comes along as a part of its own.
  auto embeds = values(doc, "a:blip", "r:embed");
  ASSERT_EQ(embeds.size(), 2u);
  const std::string rels = readPart(out, "word/_rels/document.xml.rels");
  for (const std::string& id : embeds) EXPECT_NE(rels.find("Id=\"" + id + "\""), std::string::npos) << id;
  int media = 0, headers = 0;
  for (const std::string& name : partNames(out)) {
    media += name.rfind("word/media/", 0) == 0;
    headers += name.rfind("word/header", 0) == 0;
  }
  EXPECT_EQ(media, 1);
  EXPECT_EQ(headers, 2);
  // The result reads back with every story.
  auto merged = vm::word::open(out);
  EXPECT_EQ(merged->stories(vm::word::StoryKind::Header).size(), 2u);
}

TEST(Compose, AnUnreadableSourceLeavesTheCompositionAsItWas) {
  TempDir dir;
  auto host = DocxBuilder().body(p(r("host"))).write(dir.file("host.docx"));
  auto good = DocxBuilder().body(p(r("good"))).write(dir.file("good.docx"));
  auto bad = DocxBuilder().body(p(r("bad"))).overridePart("word/document.xml", "<w:document><w:body>").write(
      dir.file("bad.docx"));
  Composer c(host);
  c.append(good);
  EXPECT_THROW(c.append(bad), vm::word::EngineError);
  EXPECT_THROW(c.append(dir.file("missing.docx")), vm::word::EngineError);
  c.save(host);
  EXPECT_EQ(paragraphTexts(readPart(host, "word/document.xml")), (std::vector<std::string>{"good", "host"}));
}

TEST(Compose, AnEmptyHostGivesWayAndTheLastSectionIsTheBodys) {
  TempDir dir;
  auto host = DocxBuilder().body(p()).write(dir.file("host.docx"));
  auto landscape = DocxBuilder()
                       .body(p(r("wide")) + "<w:sectPr><w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/></w:sectPr>")
                       .write(dir.file("wide.docx"));
  Composer c(host);
  c.append(landscape);
  c.save(host);
  const std::string doc = readPart(host, "word/document.xml");
  EXPECT_EQ(paragraphTexts(doc), std::vector<std::string>{"wide"});
  EXPECT_EQ(values(doc, "w:sectPr", "w:rsidR").size(), 1u);  // no empty section trails
  EXPECT_EQ(values(doc, "w:pgSz", "w:orient"), std::vector<std::string>{"landscape"});
}

TEST(Compose, InsertedTextGoesBeforeTheHostsOwnAndABreakThatEndsItKeepsItsPage) {
  TempDir dir;
  auto a = DocxBuilder().body(p(r("a"))).write(dir.file("a.docx"));
  auto b = DocxBuilder().body(p(r("b"))).write(dir.file("b.docx"));
  auto host = DocxBuilder().body(p(r("own")) + "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr>")
                  .write(dir.file("host.docx"));
  Composer c(host);
  c.append(a);
  c.appendPageBreak();
  c.append(b);
  c.appendPageBreak();
  c.save(host);
  std::string doc = readPart(host, "word/document.xml");
  EXPECT_EQ(paragraphTexts(doc), (std::vector<std::string>{"a", "\f", "b", "\f", "own"}));
  // The host's section goes on where b ends: only the break starts its page.
  EXPECT_EQ(values(doc, "w:type", "w:val"), (std::vector<std::string>{"continuous", "continuous", "continuous"}));

  auto empty = DocxBuilder().body(p()).write(dir.file("empty.docx"));
  Composer e(empty);
  e.append(a);
  e.appendPageBreak();
  e.save(empty);
  EXPECT_EQ(paragraphTexts(readPart(empty, "word/document.xml")), (std::vector<std::string>{"a", "\f", ""}));
}

}  // namespace

TEST(Compose, ARelationshipPrefixDeclaredOnItsElementIsFollowed) {
  TempDir dir;
  auto host = DocxBuilder().body(p(r("host"))).write(dir.file("host.docx"));
  // As some generators write it: no r prefix on the root, one on the footer reference.
  auto source = DocxBuilder()
                    .footer(p(r("foot")))
                    .overridePart("word/document.xml",
                                  "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                                  "<w:body><w:p><w:r><w:t>src</w:t></w:r></w:p><w:sectPr><w:footerReference "
                                  "w:type=\"default\" r:id=\"rIdFtr1\" xmlns:r=\"http://schemas.openxmlformats.org/"
                                  "officeDocument/2006/relationships\"/></w:sectPr></w:body></w:document>")
                    .write(dir.file("src.docx"));
  Composer c(host);
  c.append(source);
  c.save(host);
  auto merged = vm::word::open(host);
  auto footers = merged->stories(vm::word::StoryKind::Footer);
  ASSERT_EQ(footers.size(), 1u);
  EXPECT_EQ(footers[0]->text(0, footers[0]->characterCount()), "foot\r");
}
