#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

TEST(OfficeSmoke, OpenReplaceSaveReopen) {
  TempDir dir;
  auto src = DocxBuilder().body(p(r("Hello ") + r("world", "<w:b/>")) + p(r("second word"))).header(p(r("header word"))).write(dir.file("a.docx"));
  auto b = sharedOffice();
  {
    auto doc = b->open(src, {Need::Layout});
    EXPECT_EQ(doc->backend(), "office");
    auto paras = doc->mainStory().paragraphs();
    ASSERT_GE(paras.size(), 2u);
    EXPECT_EQ(paras[0].text, "Hello world");
    EXPECT_EQ(doc->mainStory().replaceAll("world", "earth"), 1);
    EXPECT_EQ(doc->mainStory().replaceAll("WORD", "thing"), 1);
    doc->saveAs(dir.file("a.doc"), SaveFormat::Doc);
    doc->close();
  }
  auto doc = b->open(dir.file("a.doc"), {});
  auto paras = doc->mainStory().paragraphs();
  ASSERT_GE(paras.size(), 2u);
  EXPECT_EQ(paras[0].text, "Hello earth");
  EXPECT_EQ(paras[1].text, "second thing");
  auto headers = doc->stories(StoryKind::Header);
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0]->paragraphs().at(0).text, "header word");
  EXPECT_EQ(layout(*doc)->pageCount(), 1);
}
