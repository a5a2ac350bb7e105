// The shared test helpers themselves: packages built by DocxBuilder are what they claim.
#include <gtest/gtest.h>

#include "support/docxbuilder.h"
#include "support/tempdir.h"

using namespace vm::test;

TEST(DocxBuilder, WritesAMinimalPackage) {
  TempDir dir;
  auto path = DocxBuilder()
                  .body(p(r("Hello ") + r("world", "<w:b/>")) + p(r("a\tb")))
                  .header(p(r("head")))
                  .footer(p(r("foot")))
                  .comments("<w:comment w:id=\"0\">" + p(r("note")) + "</w:comment>")
                  .write(dir.file("a.docx"));
  auto names = partNames(path);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "[Content_Types].xml");
  EXPECT_TRUE(hasPart(path, "word/header1.xml"));
  EXPECT_TRUE(hasPart(path, "word/footer1.xml"));
  EXPECT_TRUE(hasPart(path, "word/comments.xml"));
  EXPECT_FALSE(hasPart(path, "word/footnotes.xml"));
  auto doc = readPart(path, "word/document.xml");
  EXPECT_NE(doc.find("rIdHdr1"), std::string::npos);
  EXPECT_EQ(paragraphTexts(doc), (std::vector<std::string>{"Hello world", "a\tb"}));
  EXPECT_EQ(partText(readPart(path, "word/header1.xml")), "head");
  EXPECT_THROW(readPart(path, "word/none.xml"), std::runtime_error);
}

TEST(DocxBuilder, MainPartElsewhereAndStored) {
  TempDir dir;
  auto path = DocxBuilder().mainPart("doc/main.xml").body(p(r("x"))).header(p(r("h"))).stored()
                  .write(dir.file("b.docx"));
  EXPECT_TRUE(hasPart(path, "doc/main.xml"));
  EXPECT_TRUE(hasPart(path, "doc/_rels/main.xml.rels"));
  EXPECT_TRUE(hasPart(path, "doc/header1.xml"));
  for (const auto& e : entries(path)) EXPECT_EQ(e.method, 0) << e.name;
  EXPECT_NE(readPart(path, "_rels/.rels").find("Target=\"doc/main.xml\""), std::string::npos);
}

TEST(DocxBuilder, TextHelpersSkipDeletedTextAndFieldCodes) {
  std::string xml = "<w:document " + standardNamespaces() + "><w:body>" +
                    p(r("a") + "<w:r><w:delText>gone</w:delText></w:r>" +
                      "<w:r><w:instrText> PAGE </w:instrText></w:r><w:r><w:br w:type=\"page\"/></w:r>") +
                    "</w:body></w:document>";
  EXPECT_EQ(partText(xml), "a\f");
  EXPECT_EQ(xmlEscape("<&>\"'"), "&lt;&amp;&gt;&quot;&apos;");
}

TEST(TempDir, IsRemovedWithItsContents) {
  std::filesystem::path kept;
  {
    TempDir dir;
    kept = dir.path();
    writeFile(dir.file("x.bin"), std::string("a\0b", 3));
    EXPECT_EQ(readFile(dir.file("x.bin")), std::string("a\0b", 3));
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::permissions(dir.file("sub"), std::filesystem::perms::owner_read);
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
}
