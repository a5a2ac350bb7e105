// Summary properties, write passwords and Chinese script text through the office.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "word/chinese.h"
#include "word/compoundfile.h"
#include "word/docreservation.h"
#include "word/docreservationwrite.h"
#include "word/metadata.h"
#include "word/scripttext.h"

using namespace vm::test;
using namespace vm::word;

TEST(OfficeMetadata, PropertiesOfADocSurviveItsSave) {
  TempDir dir;
  auto path = makeDoc(dir, DocxBuilder().body(p(r("text"))));
  const SummaryProperties set{"年度报告", "财务", "张三", "示例公司"};
  {
    auto d = sharedOffice()->open(path, {});
    metadata(*d).setProperties(set);
    d->save();
  }
  auto d = sharedOffice()->open(path, {});
  EXPECT_EQ(metadata(*d).properties(), set);
}

// A password written natively is the one the office asks for; one the office writes is the one
// the native check accepts.
TEST(OfficeMetadata, WritePasswordsReadBothWays) {
  TempDir dir;
  auto native = DocxBuilder().body(p(r("text"))).write(dir.file("native.docx"));
  const SaveOptions withPassword{.writePassword = "密码1"};
  open(native)->saveAs(native, withPassword);
  {
    auto d = sharedOffice()->open(native, {});
    EXPECT_TRUE(metadata(*d).hasWritePassword());
    EXPECT_TRUE(metadata(*d).writePasswordMatches("密码1"));
    EXPECT_FALSE(metadata(*d).writePasswordMatches("密码2"));
    d->saveAs(dir.file("office.docx"), withPassword);
  }
  auto d = open(dir.file("office.docx"));
  EXPECT_TRUE(metadata(*d).writePasswordMatches("密码1"));
  EXPECT_FALSE(metadata(*d).writePasswordMatches(""));
}

// The office drops a write password on its way into a Word 97-2003 file: it is written into the
// saved file, where the office reads it back, and removed (the command's refusals: officeops).
TEST(OfficeMetadata, AWritePasswordOfADocIsSetAndRemoved) {
  TempDir dir;
  auto path = makeDoc(dir, DocxBuilder().body(p(r("正文 text"))));
  // Only the FIB and the table stream of the office's file change.
  const std::string plain = readFile(path);
  std::filesystem::copy_file(path, dir.file("copy.doc"));
  setDocWriteReservation(dir.file("copy.doc"), "x");
  const std::string copy = readFile(dir.file("copy.doc"));
  for (const char* name : {"Data", "\x01" "CompObj", "\x05SummaryInformation", "\x05" "DocumentSummaryInformation"})
    EXPECT_EQ(compoundStream(copy, name), compoundStream(plain, name)) << name;
  auto saveWith = [&](const std::string& password) { sharedOffice()->open(path, {})->saveAs(path, {.writePassword = password}); };
  saveWith("密码1");
  EXPECT_EQ(docWriteReservation(readFile(path)), "密码1");
  {
    auto d = sharedOffice()->open(path, {});
    EXPECT_EQ(d->mainStory().paragraphs().at(0).text, "正文 text");
    EXPECT_TRUE(metadata(*d).hasWritePassword());
    EXPECT_TRUE(metadata(*d).writePasswordMatches("密码1"));
    EXPECT_FALSE(metadata(*d).writePasswordMatches("密码2"));
  }
  saveWith("");
  EXPECT_EQ(docWriteReservation(readFile(path)), std::nullopt);
  auto d = sharedOffice()->open(path, {});
  EXPECT_FALSE(metadata(*d).hasWritePassword());
  EXPECT_EQ(d->mainStory().paragraphs().at(0).text, "正文 text");
}

TEST(OfficeMetadata, ChineseTextOfADocInEveryStory) {
  TempDir dir;
  auto path = makeDoc(dir, DocxBuilder().body(p(r("软", "<w:b/>") + r("件和内存"))).header(p(r("页眉软件"))));
  auto d = sharedOffice()->open(path, {});
  EXPECT_GE(scriptText(*d).convertText(ChineseConverter("s2twp").converter()), 3);
  d->saveAs(dir.file("out.doc"));
  d->close();
  auto out = sharedOffice()->open(dir.file("out.doc"), {});
  EXPECT_EQ(out->mainStory().paragraphs().at(0).text, "軟體和記憶體");
  EXPECT_EQ(out->stories(StoryKind::Header).at(0)->paragraphs().at(0).text, "頁首軟體");
}
