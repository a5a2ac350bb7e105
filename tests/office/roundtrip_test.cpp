// The round-trip guard of office saves: a save that would lose a section's own header and
// footer is refused and the file stays byte for byte; a faithful one goes through.

#include <gtest/gtest.h>

#include <algorithm>

#include "officeenv.h"
#include "support/docxbuilder.h"
#include "support/testimages.h"
#include "word/layout.h"

using namespace vm::test;
using namespace vm::word;

namespace {

const std::string kHeaderType = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
const std::string kFooterType = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
const std::string kRelBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string part(const char* root, const std::string& text) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><") + root + " " +
         standardNamespaces() + ">" + p(r(text)) + "</" + root + ">";
}

// Two sections with a header and a footer of their own each. The office keeps the second
// section's only when it starts a page: written back, a continuous one has the first's.
std::filesystem::path twoSections(const TempDir& dir, const std::string& name, bool continuous) {
  auto refs = [](const std::string& n) {
    return "<w:headerReference w:type=\"default\" r:id=\"rIdHdr" + n + "\"/><w:footerReference w:type=\"default\" r:id=\"rIdFtr" + n + "\"/>";
  };
  std::string type = continuous ? "<w:type w:val=\"continuous\"/>" : "";
  return DocxBuilder()
      .body(p(r("第一节 the")) + p(r("第一节末"), "<w:sectPr>" + refs("1") + "</w:sectPr>") + p(r("第二节 the")) +
            "<w:sectPr>" + type + refs("2") + "</w:sectPr>")
      .header(p(r("页眉一")))
      .footer(p(r("页脚一")))
      .part("word/header2.xml", part("w:hdr", "页眉二"), kHeaderType, kRelBase + "header", "rIdHdr2")
      .part("word/footer2.xml", part("w:ftr", "页脚二"), kFooterType, kRelBase + "footer", "rIdFtr2")
      .write(dir.file(name));
}

// The same as RTF, which the office opens as its own format.
std::filesystem::path twoSectionsRtf(const TempDir& dir, const std::string& name, bool continuous) {
  std::string s = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}"
                  "\\sectd{\\header\\pard\\plain First header\\par}{\\footer\\pard\\plain First footer\\par}"
                  "\\pard\\plain Section one the\\par\\pard\\plain Section one end\\par\\sect\\sectd";
  s += continuous ? "\\sbknone" : "\\sbkpage";
  s += "{\\header\\pard\\plain Second header\\par}{\\footer\\pard\\plain Second footer\\par}"
       "\\pard\\plain Section two the\\par}";
  writeFile(dir.file(name), s);
  return dir.file(name);
}

std::vector<std::string> headerTexts(Document& d, StoryKind kind) {
  std::vector<std::string> out;
  for (Story* s : d.stories(kind)) out.push_back(s->text(0, s->characterCount()));
  return out;
}

}  // namespace

// A replace (text or picture) in the main text of a document whose continuous second section has
// its own header and footer: the office would write the first section's only, so the save is
// refused, the file is untouched and the message names what would be lost.
TEST(OfficeRoundTripGuard, RefusesASaveThatLosesASectionsHeaderAndFooter) {
  TempDir dir;
  auto picture = dir.file("seal.png");
  writeFile(picture, png(20, 10));
  for (auto file : {twoSections(dir, "a.docx", true), twoSectionsRtf(dir, "b.rtf", true)}) {
    for (bool withPicture : {false, true}) {
      SCOPED_TRACE(file.filename().string() + (withPicture ? " picture" : " text"));
      std::string before = readFile(file);
      auto d = sharedOffice()->open(file, {Need::Layout});
      int n = withPicture ? d->mainStory().replaceWithPicture("the", picture) : d->mainStory().replaceAll("the", "xqz");
      EXPECT_EQ(n, 2);
      try {
        d->save();
        ADD_FAILURE() << "saved";
      } catch (const EngineError& e) {
        EXPECT_EQ(e.code(), ErrorCode::LossyRoundTrip) << e.what();
        EXPECT_EQ(e.userMessage(), "保存后会丢失第 2 节的页眉和页脚，文档未修改") << e.what();
      }
      d->close();
      EXPECT_TRUE(readFile(file) == before) << "changed";
      EXPECT_EQ(hiddenEntries(dir.path()), std::vector<std::string>{});
    }
  }
}

// The second section starts a page: the office keeps both sections' headers and footers, and
// the save goes through with the replacement.
TEST(OfficeRoundTripGuard, SavesADocumentTheOfficeKeeps) {
  TempDir dir;
  for (auto file : {twoSections(dir, "a.docx", false), twoSectionsRtf(dir, "b.rtf", false)}) {
    SCOPED_TRACE(file.filename().string());
    std::vector<std::string> headers, footers;
    {
      auto d = sharedOffice()->open(file, {Need::Layout});
      headers = headerTexts(*d, StoryKind::Header);
      footers = headerTexts(*d, StoryKind::Footer);
      EXPECT_EQ(headers.size(), 2u);
      EXPECT_EQ(d->mainStory().replaceAll("the", "xqz"), 2);
      d->save();
    }
    auto d = sharedOffice()->open(file, {Need::Layout});
    EXPECT_EQ(headerTexts(*d, StoryKind::Header), headers);
    EXPECT_EQ(headerTexts(*d, StoryKind::Footer), footers);
    EXPECT_EQ(d->mainStory().replaceAll("xqz", "xqz"), 2);
  }
}

// The original's inventory is read when a replace first finds something, not before a replace
// that finds nothing (most documents of a batch): no call of its own, and the guard still
// refuses the lossy save.
TEST(OfficeRoundTripGuard, ReadsTheOriginalOnlyWhenAReplaceFindsSomething) {
  TempDir dir;
  std::vector<std::string> calls;
  auto backend = makeBackend(dir.path() / "data", std::chrono::seconds(60), 1,
                             [&](const std::string& call, int) { calls.push_back(call); });
  auto file = twoSections(dir, "a.docx", true);
  std::string before = readFile(file);
  auto d = backend->open(file, {Need::Layout});
  EXPECT_EQ(d->mainStory().replaceAll("nowhere", "x"), 0);
  EXPECT_FALSE(d->modified());
  EXPECT_EQ(d->mainStory().replaceAll("the", "xqz"), 2);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "inventory"), 0);
  EXPECT_ENGINE_CODE(d->save(), ErrorCode::LossyRoundTrip);
  d->close();
  EXPECT_TRUE(readFile(file) == before);
}
