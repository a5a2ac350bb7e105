// What only the docx back end and the router promise: routing by extension, open options,
// the picture header readers, case tables and the rarer find codes.

#include <gtest/gtest.h>

#include <map>
#include <random>

#include <pugixml.hpp>

#include "support/docxbuilder.h"
#include "support/engineerror.h"
#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/docx/docxdocument.h"
#include "word/docx/findpattern.h"
#include "word/docx/image.h"
#include "word/docx/package.h"
#include "word/docx/unicase.h"
#include "word/document.h"

using namespace vm::test;
using namespace vm::word;

namespace {

TEST(Router, WordPackagesOpenWithTheDocxBackEnd) {
  TempDir dir;
  DocxBuilder b;
  b.body(p(r("x")));
  for (const char* name : {"a.docx", "b.DOCX", "c.docm", "d.dotx", "e.dotm"}) {
    auto doc = vm::word::open(b.write(dir.file(name)));
    EXPECT_EQ(doc->backend(), "docx") << name;
    EXPECT_EQ(doc->mainStory().characterCount(), 2) << name;
  }
}

// An office stand-in that records what it was asked to open.
struct FakeOffice : Backend {
  std::string name() const override { return "office"; }
  std::string version() const override { return "fake"; }
  bool available() const override { return true; }
  FeatureSet features() const override { return {Feature::MainText, Feature::Layout}; }
  std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions&) override {
    opened.push_back(path.filename().string());
    return docx::open(path);
  }
  std::vector<std::string> opened;
};

TEST(Router, OtherFormatsNeedTheOfficeAndTheBackEndIsPickedByTheFeaturesAskedFor) {
  if (officeBackend()) GTEST_SKIP() << "an office back end is installed in this process";
  TempDir dir;
  auto path = DocxBuilder().body(p(r("x"))).write(dir.file("a.docx"));
  // Without an office: other formats and layout are refused.
  writeFile(dir.file("old.doc"), "whatever");
  EXPECT_EQ(errorCodeOf([&] { vm::word::open(dir.file("old.doc")); }), ErrorCode::UnsupportedFormat);
  EXPECT_EQ(errorCodeOf([&] { vm::word::open(dir.file("missing.doc")); }), ErrorCode::FileNotFound);
  OpenOptions old;
  old.need = Need::Layout;
  EXPECT_EQ(errorCodeOf([&] { vm::word::open(path, old); }), ErrorCode::OfficeUnavailable);
  auto with = [](FeatureSet f) {
    OpenOptions o;
    o.features = f;
    return o;
  };
  const FeatureSet docx = docxFeatures();
  EXPECT_TRUE(docx.covers({Feature::MainText, Feature::HeaderFooter, Feature::Comments, Feature::Cleanup}));
  EXPECT_FALSE(docx.has(Feature::Layout));
  EXPECT_EQ(installedFeatures(), docx);
  EXPECT_EQ(vm::word::open(path, with({Feature::HeaderFooter}))->backend(), "docx");
  EXPECT_EQ(errorCodeOf([&] { vm::word::open(path, with({Feature::Layout})); }), ErrorCode::OfficeUnavailable);

  auto office = std::make_shared<FakeOffice>();
  setOfficeBackend(office);
  EXPECT_EQ(installedFeatures(), docx | FeatureSet{Feature::Layout});
  vm::word::open(path, with({Feature::Layout}));
  vm::word::open(path, old);
  EXPECT_EQ(office->opened, (std::vector<std::string>{"a.docx", "a.docx"}));
  try {
    vm::word::open(path, with({Feature::HeaderFooter, Feature::Layout}));
    ADD_FAILURE() << "opened";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), ErrorCode::Unsupported);
    EXPECT_NE(e.detail().find("HeaderFooter"), std::string::npos) << e.detail();
  }
  setOfficeBackend(nullptr);
}

TEST(DocxOptions, WhatIsNotBuiltIsUnsupportedNotEmpty) {
  TempDir dir;
  auto path = DocxBuilder().body(p(r("x"))).comments("<w:comment w:id=\"0\" w:author=\"a\">" + p(r("c")) + "</w:comment>")
                  .write(dir.file("a.docx"));
  auto doc = docx::open(path);
  for (StoryKind kind : {StoryKind::Comments, StoryKind::Footnotes, StoryKind::Endnotes, StoryKind::TextFrames})
    EXPECT_EQ(errorCodeOf([&] { doc->stories(kind); }), ErrorCode::Unsupported);
}

// Read-only refuses saving in place, not a save elsewhere; after a save elsewhere, save writes there.
TEST(DocxOptions, SavingInPlaceAndElsewhere) {
  TempDir dir;
  auto path = DocxBuilder().body(p(r("one"))).write(dir.file("a.docx"));
  const std::string before = readFile(path);
  OpenOptions ro;
  ro.readOnly = true;
  auto doc = docx::open(path, ro);
  doc->mainStory().replaceAll("one", "two");
  EXPECT_EQ(errorCodeOf([&] { doc->save(); }), ErrorCode::ReadOnly);
  doc->saveAs(dir.file("b.docx"));
  EXPECT_EQ(partText(readPart(dir.file("b.docx"), "word/document.xml")), "two");
  doc->close();
  doc = docx::open(path);
  doc->mainStory().replaceAll("one", "two");
  doc->saveAs(dir.file("c.docx"));
  doc->mainStory().replaceAll("two", "three");
  doc->save();
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(partText(readPart(dir.file("c.docx"), "word/document.xml")), "three");
  EXPECT_EQ(errorCodeOf([&] { doc->saveAs(dir.file("c.pdf"), SaveFormat::Pdf); }), ErrorCode::Unsupported);
}

TEST(DocxPackage, DamageInAnyPartIsFoundWhenOpening) {
  TempDir dir;
  std::string bytes = DocxBuilder()
                          .body(p(r("x")))
                          .part("word/theme/theme1.xml", "<a:theme xmlns:a=\"urn:a\">THEMEMARKER</a:theme>")
                          .stored()
                          .bytes();
  auto at = bytes.find("THEMEMARKER");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 't';
  writeFile(dir.file("a.docx"), bytes);
  EXPECT_EQ(errorCodeOf([&] { docx::open(dir.file("a.docx")); }), ErrorCode::DamagedPart);
  EXPECT_EQ(readFile(dir.file("a.docx")), bytes);
}

// Deflated parts are inflated whole against the sizes and checksum the zip directory states;
// each lie in it is a damaged part, never a crash or a giant allocation.
TEST(DocxPackage, DeflatedPartsAreCheckedAgainstTheDirectory) {
  TempDir dir;
  const std::string good = DocxBuilder().body(p(r(std::string(3000, 'a') + "MARK"))).bytes();
  const std::string name = "word/document.xml";
  // Patches a 32-bit field of the part's local header (PK 3 4) and central entry (PK 1 2).
  auto patch = [&](std::string bytes, int localAt, int centralAt, std::uint32_t value) {
    for (auto [sig, at] : {std::pair{std::string("PK\x03\x04"), localAt}, std::pair{std::string("PK\x01\x02"), centralAt}}) {
      std::size_t nameAt = sig[2] == 3 ? 30 : 46;
      for (std::size_t i = bytes.find(sig); i != std::string::npos; i = bytes.find(sig, i + 1)) {
        if (bytes.compare(i + nameAt, name.size(), name) != 0) continue;
        for (int k = 0; k < 4; ++k) bytes[i + at + k] = static_cast<char>(value >> (8 * k));
      }
    }
    return bytes;
  };
  std::string flipped = good;
  std::size_t data = flipped.find(name);
  ASSERT_NE(data, std::string::npos);
  flipped[data + name.size() + 20] ^= 0x55;  // inside the compressed stream
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"checksum", patch(good, 14, 16, 0x12345678)},
      {"size larger", patch(good, 22, 24, 4000)},
      {"size impossible", patch(good, 22, 24, 0x7FFFFFF0)},
      {"compressed size beyond the file", patch(good, 18, 20, 0xFC000000)},
      {"stream", flipped},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir.file("a.docx"), c.bytes);
    EXPECT_EQ(errorCodeOf([&] { docx::open(dir.file("a.docx")); }), ErrorCode::DamagedPart);
    EXPECT_EQ(readFile(dir.file("a.docx")), c.bytes);
  }
  writeFile(dir.file("b.docx"), good);
  EXPECT_EQ(docx::open(dir.file("b.docx"))->mainStory().replaceAll("MARK", "X"), 1);
}

// Attribute values are kept as read and written in double quotes: one read from single quotes
// with a double quote in it must not break the part.
TEST(DocxPackage, SingleQuotedAttributesStayWellFormed) {
  TempDir dir;
  auto path = dir.file("q.docx");
  writeFile(path, DocxBuilder().body(p("<w:hyperlink w:tooltip='say \"hi\" &amp; go' w:history = '1'>" +
                                        r("old text") + "</w:hyperlink>")).bytes());
  auto doc = docx::open(path);
  ASSERT_EQ(doc->mainStory().replaceAll("old", "new"), 1);
  doc->save();
  doc->close();
  pugi::xml_document xml;
  std::string part = readPart(path, "word/document.xml");
  ASSERT_TRUE(xml.load_string(part.c_str())) << part;
  auto link = xml.select_node("//*[local-name()='hyperlink']").node();
  EXPECT_STREQ(link.attribute("w:tooltip").value(), "say \"hi\" & go");
  EXPECT_STREQ(link.attribute("w:history").value(), "1");
  EXPECT_EQ(partText(part), "new text");
}

TEST(DocxPackage, RelationshipTargetsMayBeAbsoluteOrEscaped) {
  TempDir dir;
  auto path = DocxBuilder()
                  .mainPart("word/my document.xml")
                  .body(p(r("spaced")))
                  .overridePart("_rels/.rels",
                                "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                                "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                                "Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                                "officeDocument\" Target=\"/word/my%20document.xml\"/></Relationships>")
                  .write(dir.file("a.docx"));
  auto doc = docx::open(path);
  EXPECT_EQ(doc->mainStory().replaceAll("spaced", "found"), 1);
}

TEST(DocxPackage, MislabelledFormatsAreNamed) {
  TempDir dir;
  for (const char* content : {"{\\rtf1\\ansi hello}", "<html><body>x</body></html>",
                              "MIME-Version: 1.0\r\nContent-Type: multipart/related",
                              "<?xml version=\"1.0\"?><w:wordDocument xmlns:w=\"urn:x\"/>"}) {
    SCOPED_TRACE(content);
    writeFile(dir.file("a.docx"), content);
    EXPECT_EQ(errorCodeOf([&] { docx::open(dir.file("a.docx")); }), ErrorCode::WrongExtension);
  }
}

TEST(DocxPackage, RelativeTargets) {
  using docx::Package;
  EXPECT_EQ(Package::relativeTarget("word/document.xml", "word/media/image1.png"), "media/image1.png");
  EXPECT_EQ(Package::relativeTarget("word/header2.xml", "word/media/image1.png"), "media/image1.png");
  EXPECT_EQ(Package::relativeTarget("doc/main.xml", "word/media/x.png"), "../word/media/x.png");
  EXPECT_EQ(Package::relativeTarget("main.xml", "media/x.png"), "media/x.png");
  EXPECT_EQ(Package::resolveTarget("doc/main.xml", "../word/media/x.png"), "word/media/x.png");
}

TEST(DocxPackage, LongFileNamesSave) {
  TempDir dir;
  auto path = DocxBuilder().body(p(r("long"))).write(dir.file(std::string(245, 'n') + ".docx"));
  auto doc = docx::open(path);
  doc->mainStory().replaceAll("long", "short");
  doc->save();
  EXPECT_EQ(partText(readPart(path, "word/document.xml")), "short");
}

TEST(ImageInfo, ReadsSizesAndResolutionsAndRefusesWhatItCannotRead) {
  auto p1 = docx::readImageInfo(png(30, 20, 150));
  ASSERT_TRUE(p1);
  EXPECT_EQ(p1->extension, "png");
  EXPECT_EQ(p1->width, 30u);
  EXPECT_EQ(p1->height, 20u);
  EXPECT_NEAR(p1->dpiX, 150, 0.05);  // 5906 pixels per metre
  auto j = docx::readImageInfo(jpeg(17, 9, 300));
  ASSERT_TRUE(j);
  EXPECT_EQ(j->contentType, "image/jpeg");
  EXPECT_EQ(j->width, 17u);
  EXPECT_EQ(j->height, 9u);
  EXPECT_EQ(j->dpiY, 300);
  auto g = docx::readImageInfo(gif(5, 6));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->dpiX, 96);
  auto b = docx::readImageInfo(bmp(7, 3));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->width, 7u);
  EXPECT_EQ(b->dpiX, 96);
  EXPECT_EQ(b->widthEmu(), 66675);  // 7 px at 96 dpi
  // What it cannot read.
  EXPECT_FALSE(docx::readImageInfo(""));
  EXPECT_FALSE(docx::readImageInfo("plain text"));
  EXPECT_FALSE(docx::readImageInfo(png(10, 10).substr(0, 20)));
  EXPECT_FALSE(docx::readImageInfo(jpeg(10, 10).substr(0, 30)));  // no frame header
  EXPECT_FALSE(docx::readImageInfo(png(0, 10)));
}

TEST(Unicase, SimpleMappings) {
  EXPECT_EQ(docx::foldCase(U'Σ'), U'σ');
  EXPECT_EQ(docx::foldCase(U'ς'), U'σ');
  EXPECT_EQ(docx::foldCase(U'Ж'), U'ж');
  EXPECT_EQ(docx::foldCase(U'Ａ'), U'ａ');
  EXPECT_EQ(docx::foldCase(U'中'), U'中');
  EXPECT_EQ(docx::toUpper(U'ß'), U'ß');  // no one-character capital
  EXPECT_EQ(docx::toUpper(U'é'), U'É');
  EXPECT_EQ(docx::foldWidth(U'Ａ'), U'A');
  EXPECT_EQ(docx::foldWidth(U'　'), U' ');
}

// The find skips ahead by the raw codes that fold to its first character: a code left out of
// that list would be a match never found.
TEST(Unicase, FoldVariantsAreExactlyTheCodesThatFold) {
  for (bool cases : {false, true}) {
    for (bool widths : {false, true}) {
      auto fold = [&](char32_t c) {
        if (cases) c = docx::foldCase(c);
        return widths ? docx::foldWidth(c) : c;
      };
      std::map<char32_t, std::u32string> expectedOf;
      const std::u32string targets = U"ask\u03C3\u01C6 !\u4E2D\uFF41\u00E5\u00DF";
      for (char32_t t : targets) expectedOf[fold(t)];
      for (char32_t c = 0; c < 0x110000; ++c)
        if (auto it = expectedOf.find(fold(c)); it != expectedOf.end()) it->second.push_back(c);
      for (const auto& [folded, expected] : expectedOf) {
        std::u32string got = docx::foldVariants(folded, cases, widths);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected) << "cases " << cases << " widths " << widths << " folded U+" << std::hex
                                 << static_cast<unsigned>(folded);
      }
    }
  }
}

TEST(FindCodes, WildCharactersDigitsLettersAndWhiteSpace) {
  TempDir dir;
  auto path = DocxBuilder().body(p(r("a12b3 x  \ty 5€ q"))).write(dir.file("a.docx"));
  auto doc = docx::open(path);
  auto& s = doc->mainStory();
  EXPECT_EQ(s.replaceAll("^#^#", "N"), 1);
  EXPECT_EQ(s.replaceAll("x^wy", "XY"), 1);
  EXPECT_EQ(s.replaceAll("^u8364", "EUR"), 1);
  EXPECT_EQ(s.replaceAll("^$^#", "L"), 1);
  EXPECT_EQ(s.replaceAll("^?q", "!"), 1);
  EXPECT_EQ(s.paragraphs().at(0).text, "aNL XY 5EUR!");
}

// Random documents (text split at random over plain, bold, hyperlink and smart tag runs, tabs
// as w:tab) and random replacements (with ^p and ^t on both sides) against the same replacement
// on the plain text, paragraphs joined by "\n".
TEST(DocxEditor, RandomReplacementsMatchAPlainTextModel) {
  std::mt19937 rng(20240601);
  const std::string alphabet = "aab c\t";
  auto pick = [&](const std::string& from) { return from[rng() % from.size()]; };
  auto code = [](const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\n' ? "^p" : c == '\t' ? "^t" : std::string(1, c);
    return out;
  };
  TempDir dir;
  for (int iter = 0; iter < 400; ++iter) {
    SCOPED_TRACE(iter);
    std::string joined, xml;
    int paragraphs = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < paragraphs; ++k) {
      std::string text;
      for (int n = static_cast<int>(rng() % 10); n > 0; --n) text += pick(alphabet);
      if (k) joined += '\n';
      joined += text;
      std::string inner;
      for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1 + rng() % 4;
        std::string piece = text.substr(i, len);
        i += piece.size();
        std::string content;
        for (char c : piece) content += c == '\t' ? std::string("<w:tab/>") : "<w:t xml:space=\"preserve\">" + std::string(1, c) + "</w:t>";
        std::string run = rng() % 2 ? "<w:r>" + content + "</w:r>" : "<w:r><w:rPr><w:b/></w:rPr>" + content + "</w:r>";
        switch (rng() % 4) {
          case 0: inner += "<w:hyperlink w:anchor=\"x\">" + run + "</w:hyperlink>"; break;
          case 1: inner += "<w:smartTag w:uri=\"u\" w:element=\"e\">" + run + "</w:smartTag>"; break;
          default: inner += run;
        }
      }
      xml += p(inner);
    }
    if (joined.empty()) continue;
    std::size_t at = rng() % joined.size();
    std::string find = joined.substr(at, 1 + rng() % 4);
    std::string repl;
    for (int n = static_cast<int>(rng() % 4); n > 0; --n) repl += pick("xy\n\t");
    std::string expected;
    int expectedCount = 0;
    for (std::size_t i = 0; i < joined.size();) {
      if (joined.compare(i, find.size(), find) == 0) {
        expected += repl;
        i += find.size();
        ++expectedCount;
      } else {
        expected += joined[i++];
      }
    }
    auto path = DocxBuilder().body(xml).write(dir.file("r.docx"));
    FindOptions exact;
    exact.matchCase = true;
    OpenOptions scratch;
    scratch.syncOnSave = false;
    auto doc = docx::open(path, scratch);
    EXPECT_EQ(doc->mainStory().replaceAll(code(find), code(repl), exact), expectedCount) << code(find) << " -> " << code(repl);
    doc->save();
    doc->close();
    std::string got;
    auto texts = paragraphTexts(readPart(path, "word/document.xml"));
    for (std::size_t k = 0; k < texts.size(); ++k) got += (k ? "\n" : "") + texts[k];
    EXPECT_EQ(got, expected) << code(find) << " -> " << code(repl) << " in " << code(joined);
  }
}

}  // namespace
