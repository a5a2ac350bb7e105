// Headers, footers, watermarks, comments and clean-up on Word 97 .doc files, end to end through
// the command line and the office: a built document (the watermark rendered to PDF on every
// page) and real .doc files of the corpus (each either changed as asked or left byte for byte
// and reported).

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <map>

#include "clitestutil.h"
#include "officeopsutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "word/document.h"

using namespace vm::test;
using namespace vm::officeops;
using vm::clitest::q;

namespace {

// Each page's text of the document rendered to PDF by the office (pdftotext, page by page).
std::vector<std::string> pageTexts(const fs::path& doc) {
  const fs::path pdf = renderPdf(doc);
  std::vector<std::string> pages;
  for (int i = 1, n = pdfPages(pdf); i <= n; ++i)
    pages.push_back(shell("pdftotext -f " + std::to_string(i) + " -l " + std::to_string(i) + " '" + pdf.string() + "' -"));
  return pages;
}

// The story's paragraphs, each ended by "\n" but the last.
std::string storyText(vm::word::Story* s) {
  std::string out;
  for (const auto& para : s ? s->paragraphs() : std::vector<vm::word::Paragraph>{}) out += (out.empty() ? "" : "\n") + para.text;
  return out;
}

class DocHeaders : public ::testing::Test {
 protected:
  void SetUp() override {
    if (shell("command -v pdftotext").empty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  }
  // The command over .doc files; each document's outcome by file name (true: done).
  std::map<std::string, bool> run(const QStringList& args) {
    auto r = vm::clitest::runCli(dir_.file("home"), QStringList{"--yes", "--json", "--suffix", "doc"} + args);
    std::map<std::string, bool> done;
    for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
      const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
      if (o.contains("path")) done[fs::path(o["path"].toString().toStdString()).filename().string()] = o["ok"].toBool();
      if (o.contains("path") && !o["ok"].toBool()) messages_ += line.toStdString() + "\n";
    }
    return done;
  }
  TempDir dir_;
  std::string messages_;
};

}  // namespace

// The WordArt goes into the header of page 1's page style, which every page of the section
// shows: its text is on each page of the rendering, next to that page's own text.
TEST_F(DocHeaders, TextWatermarkIsOnEveryPage) {
  const fs::path doc = asDoc(DocxBuilder()
                                 .body(p(r("第一页")) + p(kBreak + r("第二页")) + p(kBreak + r("第三页")))
                                 .header(p(r("原页眉")))
                                 .write(dir_.file("memo.docx")));
  auto done = run({"watermark", "add", "--text", "机密文件", "--colour", "255", "--transparency", "5", "--width", "120",
                   "--height", "30", q(doc)});
  ASSERT_TRUE(done["memo.doc"]) << messages_;
  const auto pages = pageTexts(doc);
  ASSERT_EQ(pages.size(), 3u);
  const char* own[] = {"第一页", "第二页", "第三页"};
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_NE(pages[i].find(own[i]), std::string::npos) << pages[i];
    EXPECT_NE(pages[i].find("机密文件"), std::string::npos) << "page " << i + 1 << ": " << pages[i];
    EXPECT_NE(pages[i].find("原页眉"), std::string::npos) << pages[i];  // the header text stays
  }
  // Removing watermarks empties the headers: neither shows on any page any more.
  done = run({"watermark", "delete", q(doc)});
  ASSERT_TRUE(done["memo.doc"]) << messages_;
  for (const std::string& page : pageTexts(doc)) {
    EXPECT_EQ(page.find("机密文件"), std::string::npos) << page;
    EXPECT_EQ(page.find("原页眉"), std::string::npos) << page;
  }
}

// Real .doc files with first-page headers, three-column headers and footers, a header picture,
// a watermark and hyperlinks.
TEST_F(DocHeaders, CorpusDocuments) {
  const fs::path from = fs::path(VM_CORPUS_DIR) / "apache-poi/test-data/document";
  if (!fs::exists(from)) GTEST_SKIP() << "no corpus at " << VM_CORPUS_DIR;
  const std::vector<std::string> names = {"DiffFirstPageHeadFoot.doc", "ThreeColHeadFoot.doc", "header_image.doc",
                                          "watermark.doc", "Bug51686.doc"};
  fs::create_directories(dir_.file("in"));
  for (auto& n : names) fs::copy_file(from / n, dir_.file("in/" + n));
  // The command over the folder: each document either done as asked, or reported and left as it
  // was (the office refuses to save what would lose content).
  auto check = [&](const QStringList& args, const std::function<void(vm::word::Document&)>& asked) {
    std::map<std::string, std::string> before;
    for (auto& n : names) before[n] = readFile(dir_.file("in/" + n));
    const auto done = run(args + QStringList{q(dir_.file("in"))});
    int ok = 0;
    for (auto& n : names) {
      ASSERT_TRUE(done.count(n)) << n;
      if (!done.at(n)) {
        EXPECT_EQ(readFile(dir_.file("in/" + n)), before.at(n)) << n;
        continue;
      }
      ++ok;
      auto d = vm::word::open(dir_.file("in/" + n), {vm::word::Need::Layout});
      SCOPED_TRACE(n);
      asked(*d);
    }
    EXPECT_GE(ok, 3) << messages_;
  };

  check({"header", "add", "--text", "新页眉", "--remove-underline"}, [](vm::word::Document& d) {
    EXPECT_EQ(storyText(d.currentPageStory(vm::word::StoryKind::Header)).rfind("新页眉", 0), 0u);
  });
  check({"footer", "delete"}, [](vm::word::Document& d) {
    for (auto* s : d.stories(vm::word::StoryKind::Footer)) EXPECT_EQ(storyText(s), "") << storyText(s);
    EXPECT_EQ(storyText(d.currentPageStory(vm::word::StoryKind::Header)).rfind("新页眉", 0), 0u);  // headers stay
  });
  check({"clean", "--hyperlinks", "--blank-paragraphs", "--spaces", "--comments", "--headers"}, [&](vm::word::Document& d) {
    for (auto* s : d.stories(vm::word::StoryKind::Header)) EXPECT_EQ(storyText(s), "");
    std::string main = storyText(&d.mainStory());
    EXPECT_EQ(main.find(' '), std::string::npos) << main.substr(0, 200);
    // Nothing left to remove: no link, no comment.
    EXPECT_EQ(d.mainStory().removeHyperlinks(), 0);
    EXPECT_EQ(d.deleteComments(), 0);
  });
}
