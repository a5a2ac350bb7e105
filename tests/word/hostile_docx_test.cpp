// Hostile and unlucky .docx input: the engine either works or throws a clear EngineError, never
// crashes, hangs or writes a document it could not read properly; a refused document stays
// byte for byte as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <libdeflate.h>
#include <zip.h>

#include <functional>
#include <string>

#include "support/docxbuilder.h"
#include "support/engineerror.h"
#include "support/tempdir.h"
#include "word/docx/deflate.h"
#include "word/docx/limits.h"
#include "word/document.h"
#include "word/error.h"

using namespace vm::test;
using namespace vm::word;

namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// open, read, replace, save, reopen: the whole life of a document in a run.
void workOn(const std::filesystem::path& path, const std::string& find, int expected) {
  auto doc = vm::word::open(path);
  Story& story = doc->mainStory();
  std::string text = story.text(0, story.characterCount());
  EXPECT_NE(text.find(find), std::string::npos);
  EXPECT_EQ(story.replaceAll(find, "乙方"), expected);
  doc->save();
  doc->close();
  auto again = vm::word::open(path);
  std::string after = again->mainStory().text(0, again->mainStory().characterCount());
  EXPECT_EQ(after.find(find), std::string::npos);
  EXPECT_NE(after.find("乙方"), std::string::npos);
}

// Opening refuses the document, which stays as it was.
ErrorCode refusal(const std::filesystem::path& path) {
  std::string before = readFile(path);
  ErrorCode code = errorCodeOf([&] {
    auto doc = vm::word::open(path);
    doc->mainStory().replaceAll("甲方", "乙方");
    doc->save();
  });
  EXPECT_TRUE(readFile(path) == before) << "the refused document changed";
  return code;
}

// Each nesting a story walk descends through: worked on up to the depth limit, refused beyond.
TEST(HostileDocx, DeepNestingWorksUpToTheLimitAndIsRefusedBeyond) {
  TempDir dir;
  const std::string run = r("甲方");
  const std::string bound =
      "<w:sdt><w:sdtPr><w:dataBinding w:xpath=\"/a[1]/b[1]\" "
      "w:storeItemID=\"{00000000-1111-2222-3333-444444444444}\"/></w:sdtPr><w:sdtContent>";
  struct Case {
    const char* name;
    std::string open, close;
    bool block;  // around paragraphs (else inside one)
    int elements = 1;  // nesting each level adds
  };
  const Case cases[] = {
      {"block controls", "<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>", true, 2},
      {"block custom XML", "<w:customXml w:element=\"x\">", "</w:customXml>", true},
      {"tables", "<w:tbl><w:tr><w:tc>", "<w:p/></w:tc></w:tr></w:tbl>", true, 3},
      {"inline controls", "<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>", false, 2},
      {"bound controls", bound, "</w:sdtContent></w:sdt>", false, 2},
      {"hyperlinks", "<w:hyperlink w:anchor=\"a\">", "</w:hyperlink>", false},
      {"smart tags", "<w:smartTag w:element=\"x\">", "</w:smartTag>", false},
      {"insertions", "<w:ins w:id=\"1\" w:author=\"a\">", "</w:ins>", false},
      {"simple fields", "<w:fldSimple w:instr=\"X\">", "</w:fldSimple>", false},
      {"alternate content",
       "<mc:AlternateContent><mc:Choice Requires=\"w14\">", "</mc:Choice></mc:AlternateContent>", false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto build = [&](int levels) {
      std::string nested = repeat(c.open, levels) + (c.block ? p(run) : run) + repeat(c.close, levels);
      return DocxBuilder().body(c.block ? nested : p(nested)).write(dir.file("deep.docx"));
    };
    workOn(build(990 / c.elements - 6), "甲方", 1);
    EXPECT_EQ(refusal(build(100000)), ErrorCode::TooDeep);
  }
}

// What the XML parser lets through and no reader of the part accepts.
TEST(HostileDocx, MalformedMainPartIsRefusedAndTheFileKept) {
  TempDir dir;
  auto valid = DocxBuilder().body(p(r("甲方"))).write(dir.file("valid.docx"));
  const std::string xml = readPart(valid, "word/document.xml");
  auto withText = [&](const std::string& raw) {
    std::string doc = xml;
    doc.insert(doc.find("甲方"), raw);
    return doc;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"invalid UTF-8", withText("\xC3\x28")},
      {"overlong UTF-8", withText("\xC0\xAF")},
      {"an encoded surrogate", withText("\xED\xA0\x80")},
      {"an undefined entity", withText("&nbsp;")},
      {"a bare ampersand", withText("A & B")},
      {"a reference to no XML character", withText("&#0;")},
      {"an undefined entity in an attribute",
       std::string(xml).insert(xml.find("<w:body>"), "<w:x w:val=\"&foo;\"/>")},
      {"two root elements", xml + "<w:document/>"},
      {"text after the root", xml + "junk"},
      {"text before the root", "junk" + xml},
  };
  for (const auto& [what, part] : cases) {
    SCOPED_TRACE(what);
    auto path = DocxBuilder().body(p(r("x"))).overridePart("word/document.xml", part).write(dir.file("bad.docx"));
    EXPECT_EQ(refusal(path), ErrorCode::DamagedPart);
  }
  // References every reader takes are kept as they are; an ampersand in a comment is no reference.
  std::string kept = withText("&amp;&#x4E2D;&#25991;&#9;");
  kept.insert(kept.find("<w:body>"), "<!-- A & B -->");
  auto refs = DocxBuilder().overridePart("word/document.xml", kept).write(dir.file("refs.docx"));
  workOn(refs, "甲方", 1);
  EXPECT_NE(readPart(refs, "word/document.xml").find("&amp;&#x4E2D;&#25991;&#9;乙方"), std::string::npos);
}

// Two entries that readers take for one part: the engine would edit the first, Word reads the last.
TEST(HostileDocx, DuplicatePartNamesAreRefused) {
  TempDir dir;
  for (const std::string name : {"word/document.xml", "WORD/Document.XML", "word\\document.xml", "/word/document.xml"}) {
    SCOPED_TRACE(name);
    std::string placeholder = "word/documen" + std::string(name.size() - 16, 'X') + ".xml";
    std::string bytes = DocxBuilder().body(p(r("甲方"))).stored().part(placeholder, "<x/>").bytes();
    for (std::size_t at; (at = bytes.find(placeholder)) != std::string::npos;) bytes.replace(at, name.size(), name);
    writeFile(dir.file("dup.docx"), bytes);
    EXPECT_EQ(refusal(dir.file("dup.docx")), ErrorCode::DamagedPart);
  }
}

// A raw deflate stream of head, `spaces` spaces and tail: one fixed-Huffman block of
// 258-byte matches, about 160 times smaller than what it inflates to, written in no time.
vm::word::docx::Deflated bomb(const std::string& head, std::uint64_t spaces, const std::string& tail) {
  std::string out;
  std::uint64_t acc = 0;
  int bits = 0;
  auto put = [&](std::uint32_t v, int len) {
    acc |= std::uint64_t{v} << bits;
    for (bits += len; bits >= 8; bits -= 8, acc >>= 8) out += static_cast<char>(acc & 0xFF);
  };
  auto code = [&](std::uint32_t c, int len) {  // Huffman codes go most significant bit first
    std::uint32_t rev = 0;
    for (int i = 0; i < len; ++i) rev |= ((c >> i) & 1u) << (len - 1 - i);
    put(rev, len);
  };
  auto literal = [&](unsigned char c) { c <= 143 ? code(0x30 + c, 8) : code(0x190 + c - 144, 9); };
  put(1, 1);  // the final block,
  put(1, 2);  // fixed codes
  for (unsigned char c : head) literal(c);
  literal(' ');
  std::uint64_t matches = (spaces - 1) / 258;
  for (std::uint64_t k = 0; k < matches; ++k) {
    code(0xC5, 8);  // length 258
    code(0, 5);     // distance 1
  }
  for (std::uint64_t k = 1 + matches * 258; k < spaces; ++k) literal(' ');
  for (unsigned char c : tail) literal(c);
  code(0, 7);  // end of block
  if (bits) out += static_cast<char>(acc & 0xFF);
  std::string chunk(1 << 20, ' ');
  std::uint32_t crc = libdeflate_crc32(0, head.data(), head.size());
  for (std::uint64_t left = spaces; left;) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    crc = libdeflate_crc32(crc, chunk.data(), n);
    left -= n;
  }
  crc = libdeflate_crc32(crc, tail.data(), tail.size());
  return {out, head.size() + spaces + tail.size(), crc};
}

TEST(HostileDocx, ZipBombsAreRefusedBeforeTheyInflate) {
  using vm::word::docx::limits::kMiB;
  TempDir dir;
  auto path = dir.file("bomb.docx");
  auto plain = DocxBuilder().body(p(r("甲方")));
  std::string xml = readPart(plain.write(path), "word/document.xml");
  std::size_t cut = xml.find("<w:body>") + 8;
  // A main part of 600 MiB (white space between paragraphs), then three extra parts of 400 MiB.
  auto make = [&](bool mainBomb, int extra) {
    plain.write(path);
    std::vector<vm::word::docx::Deflated> entries;
    entries.reserve(4);
    if (mainBomb) entries.push_back(bomb(xml.substr(0, cut), 600 * kMiB, xml.substr(cut)));
    for (int k = 0; k < extra; ++k) entries.push_back(bomb("<x>", 400 * kMiB, "</x>"));
    zip_t* za = zip_open(path.c_str(), 0, nullptr);
    ASSERT_TRUE(za);
    for (std::size_t k = 0; k < entries.size(); ++k) {
      zip_source_t* src = vm::word::docx::deflatedSource(za, entries[k]);
      if (mainBomb && k == 0)
        zip_file_replace(za, static_cast<zip_uint64_t>(zip_name_locate(za, "word/document.xml", 0)), src, 0);
      else
        zip_file_add(za, ("word/extra" + std::to_string(k) + ".xml").c_str(), src, 0);
    }
    ASSERT_EQ(zip_close(za), 0);
  };
  make(true, 0);
  EXPECT_LT(std::filesystem::file_size(path), 5 * kMiB);
  EXPECT_EQ(refusal(path), ErrorCode::TooLarge);
  make(false, 3);
  EXPECT_EQ(refusal(path), ErrorCode::TooLarge);
}

// A picture rule that names something other than a picture file fails at once, without
// waiting on it or reading without end (a FIFO and a folder: the engine cases).
TEST(HostileDocx, PicturesAreReadOnlyFromRegularFilesOfBoundedSize) {
  TempDir dir;
  auto huge = dir.file("huge.png");
  writeFile(huge, "");
  std::filesystem::resize_file(huge, vm::word::docx::limits::kPictureSize + 1);  // sparse
  const std::pair<std::filesystem::path, ErrorCode> cases[] = {
      {"/dev/zero", ErrorCode::PictureUnreadable},
      {"/dev/urandom", ErrorCode::PictureUnreadable},
      {huge, ErrorCode::TooLarge},
  };
  auto path = DocxBuilder().body(p(r("甲方"))).write(dir.file("a.docx"));
  auto doc = vm::word::open(path);
  for (const auto& [picture, code] : cases) {
    SCOPED_TRACE(picture.string());
    EXPECT_EQ(errorCodeOf([&] { doc->mainStory().replaceWithPicture("甲方", picture); }), code);
  }
  EXPECT_FALSE(doc->modified());
}

// A Word package is handled by what it holds, not by its name: under a .doc name it is edited
// by the docx back end and stays a package; a FIFO under a package's name fails at once.
TEST(HostileDocx, PackagesAreRoutedByContent) {
  TempDir dir;
  auto path = DocxBuilder().body(p(r("甲方"))).write(dir.file("renamed.doc"));
  EXPECT_EQ(vm::word::open(path)->backend(), "docx");
  workOn(path, "甲方", 1);
  EXPECT_EQ(readFile(path).compare(0, 4, "PK\x03\x04"), 0);
  auto fifo = dir.file("pipe.docx");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(errorCodeOf([&] { vm::word::open(fifo); }), ErrorCode::Unreadable);
}

}  // namespace
