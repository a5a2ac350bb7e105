// Summary properties, write passwords and Chinese script text through the office.

#include <gtest/gtest.h>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "word/chinese.h"
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
  SaveOptions withPassword;
  withPassword.writePassword = "密码1";
  {
    auto d = open(native);
    d->saveAs(native, withPassword);
  }
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

// The office drops a write password on its way into a Word 97-2003 file: refused, the file kept.
TEST(OfficeMetadata, AWritePasswordForADocIsRefusedAndTheFileKept) {
  TempDir dir;
  auto path = makeDoc(dir, DocxBuilder().body(p(r("text"))));
  const std::string before = readFile(path);
  SaveOptions withPassword;
  withPassword.writePassword = "密码1";
  auto d = sharedOffice()->open(path, {});
  EXPECT_FALSE(metadata(*d).hasWritePassword());
  EXPECT_TRUE(metadata(*d).writePasswordMatches("any"));
  try {
    d->saveAs(path, withPassword);
    ADD_FAILURE() << "saved";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::Unsupported);
  }
  d->close();
  EXPECT_EQ(readFile(path), before);
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
