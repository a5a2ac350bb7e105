// Every clean-up and header routine at once on each sound corpus package, then the package
// looked at as another reader would: every XML part well-formed, every internal relationship
// of the main part reaching a part, no comment left anywhere, the main text the same but for
// the paragraph marks and comment marks that went, the watermark and the header text there.
#include <gtest/gtest.h>

#include <iostream>

#include "corpus_util.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::corpus;
using vm::word::StoryKind;

std::string withoutMarks(std::string s) {
  std::erase_if(s, [](char c) { return c == '\r' || c == '\x05'; });
  return s;
}

TEST(CorpusCleanup, AllRoutinesLeaveAValidPackage) {
  int documents = 0, comments = 0, links = 0, blanks = 0;
  for (const CorpusDoc& d : packages(/*flagged=*/false)) {
    SCOPED_TRACE(d.relPath);
    vm::test::TempDir dir;
    fs::path path = copyIn(d, dir);
    try {
      auto doc = vm::word::open(path);
      vm::word::Story& main = doc->mainStory();
      const std::string before = withoutMarks(main.text(0, main.characterCount()));
      links += main.removeHyperlinks();
      blanks += main.removeBlankParagraphs();
      comments += doc->deleteComments();
      for (StoryKind kind : {StoryKind::Header, StoryKind::Footer})
        for (vm::word::Story* s : doc->stories(kind)) s->clear();
      doc->ensureStory(StoryKind::Header).insertTextAtStart("QZX页眉");
      vm::word::Watermark mark;
      mark.text = "机密";
      mark.widthPt = 100;
      doc->ensureStory(StoryKind::Header).addWatermark(mark);
      doc->removeHeaderStyleBorder();
      EXPECT_EQ(withoutMarks(doc->mainStory().text(0, doc->mainStory().characterCount())), before);
      doc->save();
      doc->close();
    } catch (const vm::word::EngineError& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    ++documents;
    auto entries = readZip(path);
    const std::string main = mainPartName(entries);
    for (const ZipEntry& e : entries) {
      if (e.name.size() < 4 || (e.name.substr(e.name.size() - 4) != ".xml" && e.name.substr(e.name.size() - 5) != ".rels"))
        continue;
      pugi::xml_document x;
      EXPECT_TRUE(x.load_buffer(e.data.data(), e.data.size())) << e.name;
      EXPECT_EQ(e.data.find("<w:commentReference"), std::string::npos) << e.name;
      EXPECT_EQ(e.data.find("<w:commentRangeStart"), std::string::npos) << e.name;
    }
    pugi::xml_document rels;
    const ZipEntry* r = findEntry(entries, relsNameOf(main));
    ASSERT_NE(r, nullptr);
    rels.load_buffer(r->data.data(), r->data.size());
    std::string folder = main.substr(0, main.rfind('/') + 1);
    for (auto rel : rels.document_element().children()) {
      if (std::string(rel.attribute("TargetMode").value()) == "External") continue;
      std::string target = rel.attribute("Target").value();
      EXPECT_EQ(target.find("comments"), std::string::npos);
      std::string name = target[0] == '/' ? target.substr(1) : folder + target;
      if (target.find("..") == std::string::npos && target.find('%') == std::string::npos)
        EXPECT_NE(findEntry(entries, name), nullptr) << target;
    }
    auto reopened = vm::word::open(path);
    vm::word::Story* head = reopened->currentPageStory(StoryKind::Header);
    ASSERT_NE(head, nullptr);
    EXPECT_NE(head->text(0, head->characterCount()).find("QZX页眉"), std::string::npos);
  }
  std::cout << documents << " packages: " << comments << " comments, " << links << " hyperlinks, " << blanks
            << " blank paragraphs removed\n";
  EXPECT_GT(comments, 0);
  EXPECT_GT(links, 0);
}

}  // namespace
