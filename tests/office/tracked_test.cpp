// Track Changes: replacements recorded as revisions with the author of the open options, in
// .doc through the office and in the corpus documents that track changes (their outputs then
// open in LibreOffice with the revisions in them).

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <set>

#include "officeenv.h"
#include "support/docxbuilder.h"

using namespace vm::test;
using namespace vm::word;

namespace {

DocxBuilder tracked(const std::string& body) { return DocxBuilder().body(body).settings("<w:trackRevisions/>"); }

std::set<std::string> authors(const std::string& xml) {
  pugi::xml_document d;
  d.load_buffer(xml.data(), xml.size());
  std::set<std::string> out;
  for (auto x : d.select_nodes("//w:ins | //w:del")) out.insert(x.node().attribute("w:author").value());
  return out;
}

// Every w:delText in document order.
std::string deletedText(const std::string& xml) {
  pugi::xml_document d;
  d.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  std::string out;
  for (auto x : d.select_nodes("//w:delText")) out += x.node().text().get();
  return out;
}

std::string joined(Document& doc) {
  std::string out;
  for (auto& p : doc.mainStory().paragraphs()) out += p.text + "\n";
  return out;
}

// LibreOffice's plain text of a document (the "Text (encoded)" filter of soffice --convert-to txt).
std::string officeText(const std::filesystem::path& path, const TempDir& dir) {
  auto doc = sharedOffice()->open(path, {Need::Layout});
  auto txt = dir.file(path.stem().string() + ".txt");
  doc->saveAs(txt, SaveFormat::Text);
  doc->close();
  return readFile(txt);
}

}  // namespace

// The revision author of the open options signs the changes on both back ends; .doc keeps
// its Track Changes through the office.
TEST(TrackedChanges, RevisionAuthorSignsTheChanges) {
  TempDir dir;
  auto docx = tracked(p(r("合同甲方：某公司"))).write(dir.file("a.docx"));
  OpenOptions o;
  o.revisionAuthor = "张三";
  {
    auto doc = vm::word::open(docx, o);
    ASSERT_EQ(doc->backend(), "docx");
    EXPECT_EQ(doc->mainStory().replaceAll("甲方", "委托方"), 1);
    doc->save();
  }
  EXPECT_EQ(authors(readPart(docx, "word/document.xml")), std::set<std::string>{"张三"});

  auto in = makeDoc(dir, tracked(p(r("合同甲方：某公司"))), "b.doc");
  o.need = Need::Layout;
  o.revisionAuthor = "李四";
  {
    auto doc = sharedOffice()->open(in, o);
    EXPECT_EQ(doc->mainStory().replaceAll("甲方", "委托方"), 1);
    doc->save();
    doc->saveAs(dir.file("b-out.docx"), SaveFormat::Docx);
  }
  std::string xml = readPart(dir.file("b-out.docx"), "word/document.xml");
  EXPECT_EQ(authors(xml), std::set<std::string>{"李四"});
  EXPECT_EQ(deletedText(xml), "甲方");
  // Word's view of the result: the replacement, not the deleted text.
  EXPECT_EQ(joined(*vm::word::open(dir.file("b-out.docx"))), "合同委托方：某公司\n");
}

// Deleted text is never matched, wherever the deletions lie: before, between and after the
// matches, in a table cell, out of order with a header's.
TEST(TrackedChanges, DeletedTextIsNeverMatched) {
  TempDir dir;
  auto del = [](const std::string& t) {
    return "<w:del w:id=\"9\" w:author=\"t\" w:date=\"2024-01-01T00:00:00Z\"><w:r><w:delText>" + t + "</w:delText></w:r></w:del>";
  };
  std::string body = p(del("k0") + r("k1 ") + del("k2") + r(" k3 ") + del("k4") + r(" k5")) +
                     table({{r("k6") + del("k7")}}) + p(r("k9") + del("k8"));
  auto in = makeDoc(dir, DocxBuilder().body(body).header(p(del("k") + r("k"))), "d.doc");
  auto doc = sharedOffice()->open(in, {Need::Layout});
  EXPECT_EQ(doc->mainStory().replaceAll("k", "z"), 5);
  doc->saveAs(dir.file("d-out.docx"), SaveFormat::Docx);
  doc->close();
  EXPECT_EQ(deletedText(readPart(dir.file("d-out.docx"), "word/document.xml")), "k0k2k4k7k8");
}

// Corpus documents with Track Changes on: the replacement is a revision Word shows (the deleted
// word no longer found), and LibreOffice's text of the output holds both the deleted word and
// its replacement (its text export shows the revisions unaccepted, as it does for the original).
TEST(TrackedChanges, CorpusDocumentsRecordTheReplacement) {
  struct Case {
    const char* file;
    const char* find;
    const char* repl;
    std::string shown;  // Word's view of the result, paragraphs joined with "\n" (a part of it)
    const char* deletedInOffice;  // what LibreOffice's text still shows of the match
  };
  std::vector<Case> cases = {
      {"poi-tl/poi-tl/src/test/resources/issue/636.docx", "申报表", "登记表", "横向项目立项登记表\n", "申报表登记表"},
      // the match runs over a paragraph mark deleted before: one paragraph in Word's view
      {"pandoc/test/docx/paragraph_insertion_deletion.docx", "splitPara", "join-para", "This is a\n join-paragraph.\n",
       "Parajoin-paragraph."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::filesystem::path src = std::filesystem::path(VM_CORPUS_DIR) / c.file;
    if (!std::filesystem::exists(src)) GTEST_SKIP() << "no corpus at " << VM_CORPUS_DIR;
    TempDir dir;
    auto path = dir.file("in.docx");
    std::filesystem::copy_file(src, path);
    OpenOptions o;
    o.revisionAuthor = "审阅人";
    {
      auto doc = vm::word::open(path, o);
      EXPECT_GE(doc->mainStory().replaceAll(c.find, c.repl), 1);
      doc->save();
    }
    auto doc = vm::word::open(path);
    EXPECT_NE(joined(*doc).find(c.shown), std::string::npos) << joined(*doc);
    EXPECT_EQ(doc->mainStory().replaceAll(c.find, "x"), 0);
    doc->close();  // one open at a time: the office would find the file locked
    std::string xml = readPart(path, "word/document.xml");
    EXPECT_TRUE(authors(xml).count("审阅人"));
    EXPECT_NE(officeText(path, dir).find(c.deletedInOffice), std::string::npos);
  }
}
