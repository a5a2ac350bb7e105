// Header and footer stories of the corpus packages through the docx back end: found in
// document order, and a replace in each reaches the saved copy and nothing else.
#include <gtest/gtest.h>

#include <iostream>

#include "corpus_util.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::corpus;
using vm::test::occurrences;
using vm::word::StoryKind;

// A word of the story to replace: the first space-separated token of two characters or more
// without Word's codes or control characters.
std::string pickWord(vm::word::Story& s) {
  for (const auto& para : s.paragraphs()) {
    std::stringstream words(para.text);
    std::string w;
    while (words >> w)
      if (w.size() >= 2 && std::none_of(w.begin(), w.end(), [](unsigned char c) { return c < 0x20 || c == '^'; }))
        return w;
  }
  return {};
}

std::string wholeText(vm::word::Story& s) { return s.text(0, s.characterCount()); }

TEST(CorpusHeaders, HeaderAndFooterStoriesTakeAReplace) {
  const std::string token = "QZXJVHF";
  int documents = 0, stories = 0;
  for (const CorpusDoc& d : packages(/*flagged=*/false)) {
    SCOPED_TRACE(d.relPath);
    vm::test::TempDir dir;
    fs::path in = copyIn(d, dir), out = dir.file("out" + d.extension());
    try {
      auto doc = vm::word::open(in);
      const std::string mainBefore = wholeText(doc->mainStory());
      int replaced = 0, found = 0;
      for (StoryKind kind : {StoryKind::Header, StoryKind::Footer}) {
        int section = 0;
        for (vm::word::Story* s : doc->stories(kind)) {
          ++found;
          EXPECT_EQ(s->id().kind, kind);
          EXPECT_GE(s->id().section, section);  // document order
          section = s->id().section;
          if (std::string w = pickWord(*s); !w.empty()) replaced += s->replaceAll(w, token);
        }
      }
      EXPECT_EQ(wholeText(doc->mainStory()), mainBefore);
      doc->saveAs(out);
      doc->close();
      auto again = vm::word::open(out);
      std::size_t seen = 0;
      for (StoryKind kind : {StoryKind::Header, StoryKind::Footer})
        for (vm::word::Story* s : again->stories(kind)) seen += occurrences(wholeText(*s), token);
      EXPECT_EQ(seen, static_cast<std::size_t>(replaced));
      EXPECT_EQ(wholeText(again->mainStory()), mainBefore);
      if (found) ++documents;
      stories += found;
    } catch (const vm::word::EngineError& e) {
      ADD_FAILURE() << e.userMessage() << " " << e.detail();
    }
  }
  std::cout << "  " << documents << " documents with " << stories << " header and footer stories\n";
  EXPECT_GT(documents, 20);
}

}  // namespace
