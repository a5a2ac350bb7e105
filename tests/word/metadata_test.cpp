// Summary properties, write passwords and Chinese script conversion on .docx, natively.

#include <gtest/gtest.h>

#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/chinese.h"
#include "word/metadata.h"
#include "word/passwordhash.h"

using namespace vm::test;
using namespace vm::word;

namespace {

std::unique_ptr<Document> openDocx(const std::filesystem::path& path) { return open(path); }

std::filesystem::path withSettings(const TempDir& dir, const std::string& inside) {
  return DocxBuilder().body(p(r("text"))).settings(inside + "<w:zoom w:percent=\"100\"/>").write(dir.file("p.docx"));
}

}  // namespace

TEST(SummaryProperties, WrittenIntoExistingAndMissingPartsAndCleared) {
  TempDir dir;
  // An extended part in the default namespace with a company already: replaced, not doubled.
  const std::string ext = "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
  auto withApp = DocxBuilder()
                     .body(p(r("x")))
                     .part("docProps/app.xml", "<?xml version=\"1.0\"?><Properties xmlns=\"" + ext +
                                                   "\"><Company>Old &amp; Co</Company></Properties>",
                           "application/vnd.openxmlformats-officedocument.extended-properties+xml")
                     .overridePart("_rels/.rels",
                                   "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                   "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
                                   "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" Target=\"docProps/app.xml\"/>"
                                   "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/></Relationships>")
                     .write(dir.file("app.docx"));
  auto plain = DocxBuilder().body(p(r("x"))).write(dir.file("plain.docx"));
  const SummaryProperties set{"年度报告 <草案>", "财务", "张三", "示例公司"};
  for (const auto& path : {withApp, plain}) {
    SCOPED_TRACE(path.filename().string());
    {
      auto doc = openDocx(path);
      if (path == withApp) EXPECT_EQ(metadata(*doc).properties().company, "Old & Co");
      metadata(*doc).setProperties(set);
      doc->save();
    }
    auto doc = openDocx(path);
    EXPECT_EQ(metadata(*doc).properties(), set);
    EXPECT_EQ(occurrences(readPart(path, "docProps/app.xml"), "Company>"), 2u);  // one element
    EXPECT_NE(readPart(path, "[Content_Types].xml").find("/docProps/app.xml"), std::string::npos);
    metadata(*doc).setProperties({});
    doc->save();
    doc->close();
    EXPECT_EQ(metadata(*openDocx(path)).properties(), SummaryProperties{});
  }
}

TEST(WritePassword, SetCheckedAndRemovedWithSettingsMadeWhenMissing) {
  TempDir dir;
  auto path = DocxBuilder().body(p(r("text"))).write(dir.file("a.docx"));
  {
    auto doc = openDocx(path);
    EXPECT_FALSE(metadata(*doc).hasWritePassword());
    EXPECT_TRUE(metadata(*doc).writePasswordMatches("anything"));
    SaveOptions o;
    o.writePassword = "密码abc";
    doc->saveAs(path, o);
  }
  const std::string settings = readPart(path, "word/settings.xml");
  EXPECT_NE(settings.find("w:cryptAlgorithmSid=\"14\""), std::string::npos);
  EXPECT_NE(settings.find("w:cryptSpinCount=\"100000\""), std::string::npos);
  {
    auto doc = openDocx(path);
    EXPECT_TRUE(metadata(*doc).hasWritePassword());
    EXPECT_TRUE(metadata(*doc).writePasswordMatches("密码abc"));
    EXPECT_FALSE(metadata(*doc).writePasswordMatches(""));
    EXPECT_FALSE(metadata(*doc).writePasswordMatches("密码ABC"));
    SaveOptions o;
    o.writePassword = "";
    doc->saveAs(path, o);
  }
  EXPECT_FALSE(metadata(*openDocx(path)).hasWritePassword());
  EXPECT_EQ(readPart(path, "word/settings.xml").find("writeProtection"), std::string::npos);
}

TEST(WritePassword, ReadsTheFormsWordVersionsWrite) {
  TempDir dir;
  const std::string salt = "0123456789abcdef";
  const std::string s64 = base64Encode(salt);
  // Word 2007: SHA-1 over the legacy key as reversed upper-case hex; Word 2013: SHA-512 in the
  // algorithmName form; a recommendation without a hash is no password.
  const std::uint32_t key = legacyPasswordKey("secret");
  char hex[9];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", key & 0xFF, (key >> 8) & 0xFF, (key >> 16) & 0xFF, key >> 24);
  const std::string legacy = "<w:writeProtection w:cryptProviderType=\"rsaFull\" w:cryptAlgorithmClass=\"hash\" "
                             "w:cryptAlgorithmType=\"typeAny\" w:cryptAlgorithmSid=\"4\" w:cryptSpinCount=\"50000\" w:hash=\"" +
                             base64Encode(spinHash("SHA1", salt, utf16le(hex), 50000)) + "\" w:salt=\"" + s64 + "\"/>";
  const std::string modern = "<w:writeProtection w:algorithmName=\"SHA-512\" w:hashValue=\"" +
                             base64Encode(spinHash("SHA512", salt, utf16le("secret"), 1000)) + "\" w:saltValue=\"" + s64 +
                             "\" w:spinCount=\"1000\"/>";
  for (const std::string& form : {legacy, modern}) {
    auto doc = openDocx(withSettings(dir, form));
    EXPECT_TRUE(metadata(*doc).hasWritePassword());
    EXPECT_TRUE(metadata(*doc).writePasswordMatches("secret"));
    EXPECT_FALSE(metadata(*doc).writePasswordMatches("Secret"));
  }
  auto doc = openDocx(withSettings(dir, "<w:writeProtection w:recommended=\"1\"/>"));
  EXPECT_FALSE(metadata(*doc).hasWritePassword());
  EXPECT_TRUE(metadata(*doc).writePasswordMatches(""));
}

// Phrases convert whole across runs, in every story, each run kept; a text written with
// character references keeps each untouched character as it was written.
TEST(ChineseScript, PhrasesAcrossRunsInEveryStoryKeepTheirRuns) {
  TempDir dir;
  auto path = DocxBuilder()
                  .body(p(r("软", "<w:b/>") + r("件和内存") + "<w:r><w:tab/></w:r>" + r("鼠标")) +
                        p(r("框外") + "<w:r><w:drawing><wp:anchor><wps:wsp><wps:txbx><w:txbxContent>" + p(r("文本框里的软件")) +
                          "</w:txbxContent></wps:txbx></wps:wsp></wp:anchor></w:drawing></w:r>") +
                        p(r("这个软件，那个软件")) + p("<w:r><w:t>这&#x548C;&amp;个&#x8F6F;件</w:t></w:r>"))
                  .header(p(r("页眉软件")))
                  .footnotes("<w:footnote w:id=\"1\">" + p(r("脚注软件")) + "</w:footnote>")
                  .comments("<w:comment w:id=\"0\" w:author=\"a\">" + p(r("批注软件")) + "</w:comment>")
                  .write(dir.file("c.docx"));
  const std::string before = readPart(path, "word/document.xml");
  auto doc = openDocx(path);
  const int changed = scriptText(*doc).convertText(ChineseConverter("s2twp").converter());
  doc->saveAs(dir.file("out.docx"));
  doc->close();
  auto out = dir.file("out.docx");
  const std::string main = readPart(out, "word/document.xml");
  // 软件 spans two runs and becomes 軟體 as one phrase: 軟 stays bold, 體 plain.
  EXPECT_NE(main.find("<w:b/></w:rPr><w:t xml:space=\"preserve\">軟</w:t>"), std::string::npos) << main;
  EXPECT_EQ(paragraphTexts(main)[0], "軟體和記憶體\t滑鼠");
  EXPECT_NE(main.find("文字框裡的軟體"), std::string::npos);
  EXPECT_NE(main.find(">這個軟體，那個軟體</w:t>"), std::string::npos);
  EXPECT_NE(main.find(">這&#x548C;&amp;個軟體</w:t>"), std::string::npos);
  EXPECT_EQ(occurrences(main, "<w:r>") + occurrences(main, "<w:r "),
            occurrences(before, "<w:r>") + occurrences(before, "<w:r "));
  EXPECT_EQ(partText(readPart(out, "word/header1.xml")), "頁首軟體");
  EXPECT_NE(readPart(out, "word/footnotes.xml").find("腳註軟體"), std::string::npos);
  EXPECT_NE(readPart(out, "word/comments.xml").find("批註軟體"), std::string::npos);
  EXPECT_GE(changed, 7);
  EXPECT_EQ(readPart(path, "word/document.xml"), before);  // the source is untouched
}
