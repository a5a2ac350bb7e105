// Round trips on ../shared/corpus: real documents written by others (ctest label "corpus").
//
// For every .docx/.docm/.dotx of MANIFEST.tsv that is not flagged:
//   Opens                      it opens with the docx back end, its main text can be read, and
//                              opening and closing leave the file as it was;
//   NoMatchSavesByteIdentical  a rule that matches nothing, then save(): byte for byte the same;
//   ReplaceChangesOnlyMainPart a word of the main text replaced and saved in place: only the main
//                              part differs (every other entry has the same bytes, compressed
//                              bytes included: copied without recompressing) and, when the word
//                              was in a data-bound control, the bound data, which then holds the
//                              replacement; the permissions stay, and the reopened document has
//                              the replacement everywhere;
//   PictureChangesOnlyItsParts the word replaced by a picture: besides the main part only its
//                              relationships, [Content_Types].xml, the new media part and, as
//                              above, bound data that lost the word differ.
// Every flagged document gives an EngineError with a Chinese message and stays as it was.
// The LibreOffice and python-docx checks are one batched case in corpus_outputs_test.cpp.
// Corpus files are copied into a temporary folder first; nothing is written into the corpus.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "corpus/corpus_util.h"
#include "support/tempdir.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::corpus;
using vm::word::EngineError;
using vm::word::ErrorCode;

const std::string kNoMatch = "vm-no-match-\xE2\x9F\xA6" "7f3a" "\xE2\x9F\xA7";  // ⟦ ⟧ never in a document

std::string describe(const EngineError& e) {
  return "EngineError code " + std::to_string(static_cast<int>(e.code())) + " [" + e.userMessage() + "] " +
         e.detail();
}

// Compares two packages entry by entry. Entries outside mayChange must keep their bytes, both
// uncompressed and as stored (no recompression). New entries are returned (allowed only when
// allowNew); removed entries are failures.
std::vector<std::string> expectOnlyChanged(const std::vector<ZipEntry>& before, const std::vector<ZipEntry>& after,
                                           const std::set<std::string>& mayChange, bool allowNew) {
  std::set<std::string> seen;
  for (auto& e : after) EXPECT_TRUE(seen.insert(e.name).second) << "duplicate entry " << e.name;
  for (auto& b : before) {
    const ZipEntry* a = findEntry(after, b.name);
    if (!a) {
      ADD_FAILURE() << "entry removed by the save: " << b.name;
      continue;
    }
    if (mayChange.count(b.name)) continue;
    EXPECT_TRUE(a->data == b.data) << "entry changed although it holds no match: " << b.name << " ("
                                   << b.data.size() << " -> " << a->data.size() << " bytes)";
    if (a->data == b.data) {
      EXPECT_TRUE(a->raw == b.raw && a->method == b.method)
          << "entry recompressed although unchanged: " << b.name << " (method " << b.method << " -> "
          << a->method << ", " << b.raw.size() << " -> " << a->raw.size() << " stored bytes)";
    }
  }
  std::vector<std::string> added;
  for (auto& a : after)
    if (!findEntry(before, a.name)) added.push_back(a.name);
  if (!allowNew)
    for (auto& n : added) ADD_FAILURE() << "entry added although no picture was inserted: " << n;
  return added;
}

// The parts a replace in data-bound content controls may write: the custom XML items and the
// document properties, when the main part binds controls at all.
std::set<std::string> boundStores(const std::vector<ZipEntry>& es, const std::string& mainPart) {
  std::set<std::string> out;
  const ZipEntry* main = findEntry(es, mainPart);
  if (!main || main->data.find("dataBinding") == std::string::npos) return out;
  for (auto& e : es) {
    std::string n = lowerAscii(e.name);
    bool item = n.rfind("customxml/item", 0) == 0 && n.find("props") == std::string::npos;
    if (item || n == "docprops/core.xml" || n == "docprops/app.xml") out.insert(e.name);
  }
  return out;
}

// A bound part that changed must have taken the change of the text: more of `more`, fewer of
// `fewer`. Returns the bound parts, which may change.
std::set<std::string> expectStoresFollowed(const std::vector<ZipEntry>& before, const std::vector<ZipEntry>& after,
                                           const std::string& mainPart, const std::string& more,
                                           const std::string& fewer) {
  std::set<std::string> stores = boundStores(before, mainPart);
  for (auto& name : stores) {
    const ZipEntry* a = findEntry(after, name);
    const ZipEntry* b = findEntry(before, name);
    if (!a || !b || a->data == b->data) continue;
    if (!more.empty())
      EXPECT_GT(countOccurrencesCaseless(a->data, more), countOccurrencesCaseless(b->data, more))
          << name << " changed but does not hold the replacement";
    EXPECT_LT(countOccurrencesCaseless(a->data, fewer), countOccurrencesCaseless(b->data, fewer))
        << name << " changed but still holds the replaced word";
  }
  return stores;
}

struct DrawingFacts {
  int inlines = 0;
  int smallExtents = 0;  // inline pictures of 4 x 2 px at 96 dpi
  int docPrs = 0;
  std::set<std::string> docPrIds;
};

// By local names: documents may bind the namespaces to other prefixes.
DrawingFacts drawingFacts(const std::string& xml) {
  pugi::xml_document doc;
  doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  DrawingFacts f;
  auto count = [&](const char* xpath) { return static_cast<int>(doc.select_nodes(xpath).size()); };
  f.inlines = count("//*[local-name()='inline']");
  f.smallExtents = count("//*[local-name()='inline']/*[local-name()='extent'][@cx='38100' and @cy='19050']");
  f.docPrs = count("//*[local-name()='docPr']");
  auto docPrs = doc.select_nodes("//*[local-name()='docPr']");
  for (auto x : docPrs)
    if (auto id = x.node().attribute("id")) f.docPrIds.insert(id.value());
  return f;
}

std::ptrdiff_t filesIn(const vm::test::TempDir& dir) {
  return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
}

// --- the cases ------------------------------------------------------------------------------

// Each case works on a copy of its document.
class CorpusCase : public ::testing::TestWithParam<CorpusDoc> {
 protected:
  vm::test::TempDir dir;
  const fs::path file = copyIn(GetParam(), dir);
};

class SoundDoc : public CorpusCase {};

TEST_P(SoundDoc, OpensAndNoMatchSavesByteIdentical) {
  const std::string original = readFile(file);
  try {
    auto doc = vm::word::open(file);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->backend(), "docx");
    auto& main = doc->mainStory();
    EXPECT_EQ(main.kind(), vm::word::StoryKind::Main);
    auto paras = main.paragraphs();
    // A body may hold no paragraph at all (a bare section, seen in generated files): no
    // paragraph to list then.
    std::int64_t chars = main.characterCount();
    EXPECT_GE(chars, static_cast<std::int64_t>(paras.size())) << "every paragraph mark counts";
    std::int64_t prevEnd = 0;
    for (auto& p : paras) {
      EXPECT_LE(prevEnd, p.start) << "paragraphs in document order, not overlapping: " << p.text;
      EXPECT_GT(p.end, p.start) << "a paragraph holds at least its mark: " << p.text;
      prevEnd = p.end;
    }
    EXPECT_FALSE(doc->modified());
    doc->close();
  } catch (const EngineError& e) {
    ADD_FAILURE() << "an unflagged document must open: " << describe(e);
  }
  EXPECT_TRUE(readFile(file) == original) << "opening and closing changed the file";
  try {
    auto doc = vm::word::open(file);
    EXPECT_EQ(doc->mainStory().replaceAll(kNoMatch, "whatever"), 0);
    EXPECT_FALSE(doc->modified()) << "nothing matched, nothing changed";
    doc->save();
    doc->close();
  } catch (const EngineError& e) {
    ADD_FAILURE() << describe(e);
  }
  EXPECT_TRUE(readFile(file) == original) << "a rule that matches nothing changed the file";
  EXPECT_EQ(filesIn(dir), 1) << "the save left a temporary file behind";
}

TEST_P(SoundDoc, ReplaceChangesOnlyMainPart) {
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                  fs::perm_options::replace);
  const auto before = readZip(file);
  const std::string mainPart = mainPartName(before);
  ASSERT_FALSE(mainPart.empty()) << "test setup: no officeDocument relationship";
  const std::string& repl = replacementText();
  std::string word;
  int n = 0;
  std::int64_t chars0 = 0;
  std::size_t paras0 = 0;
  try {
    auto doc = vm::word::open(file);
    auto paras = doc->mainStory().paragraphs();
    word = pickWord(paras);
    if (word.empty()) GTEST_SKIP() << "no word of 4+ letters or 2 Han characters in the main text";
    chars0 = doc->mainStory().characterCount();
    paras0 = paras.size();
    n = doc->mainStory().replaceAll(word, repl);
    EXPECT_GT(n, 0) << "the word \"" << word << "\" comes from paragraphs() but replaceAll found nothing";
    EXPECT_EQ(doc->modified(), n > 0);
    doc->save();
    doc->close();
  } catch (const EngineError& e) {
    FAIL() << "word \"" << word << "\": " << describe(e);
  }
  SCOPED_TRACE("word \"" + word + "\", " + std::to_string(n) + " replacements");
  const auto after = readZip(file);
  std::set<std::string> mayChange = expectStoresFollowed(before, after, mainPart, repl, word);
  mayChange.insert(mainPart);
  expectOnlyChanged(before, after, mayChange, false);
  if (n > 0) {
    const ZipEntry* a = findEntry(after, mainPart);
    const ZipEntry* b = findEntry(before, mainPart);
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(a->data == b->data) << "the main part holds the matches but did not change";
  }
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the save did not keep the file's permissions";
  EXPECT_EQ(filesIn(dir), 1) << "the save left a temporary file behind";

  // The reopened document: same paragraphs, the character count moved by the length change,
  // no occurrence of the word left, the replacement found as often as it was put in.
  try {
    auto doc = vm::word::open(file);
    auto& main = doc->mainStory();
    EXPECT_EQ(main.paragraphs().size(), paras0) << "a replacement without ^p changed the paragraphs";
    EXPECT_EQ(main.characterCount(), chars0 + n * (utf16Length(repl) - utf16Length(word)));
    EXPECT_EQ(main.replaceAll(word, repl), 0) << "occurrences left after ReplaceAll";
    EXPECT_EQ(main.replaceAll(repl, repl), n) << "the replacement is not found as often as it was put in";
    doc->close();
  } catch (const EngineError& e) {
    ADD_FAILURE() << "the saved document does not open again: " << describe(e);
  }
}

TEST_P(SoundDoc, PictureChangesOnlyItsParts) {
  fs::path picture = dir.file("pic.png");
  vm::test::writeFile(picture, vm::test::png(4, 2));
  const auto before = readZip(file);
  const std::string mainPart = mainPartName(before);
  ASSERT_FALSE(mainPart.empty()) << "test setup: no officeDocument relationship";
  const std::string mainRels = relsNameOf(mainPart);
  std::string word;
  int m = 0;
  try {
    auto doc = vm::word::open(file);
    word = pickWord(doc->mainStory().paragraphs());
    if (word.empty()) GTEST_SKIP() << "no word of 4+ letters or 2 Han characters in the main text";
    m = doc->mainStory().replaceWithPicture(word, picture);
    EXPECT_GT(m, 0) << "the word \"" << word << "\" comes from paragraphs() but no picture was inserted";
    doc->save();
    doc->close();
  } catch (const EngineError& e) {
    FAIL() << "word \"" << word << "\": " << describe(e);
  }
  SCOPED_TRACE("word \"" + word + "\", " + std::to_string(m) + " pictures");
  const auto after = readZip(file);
  std::set<std::string> mayChange = expectStoresFollowed(before, after, mainPart, "", word);
  mayChange.insert({mainPart, mainRels, "[Content_Types].xml"});
  auto added = expectOnlyChanged(before, after, mayChange, m > 0);
  if (m == 0) return;
  ASSERT_FALSE(added.empty()) << "pictures inserted without a media part";
  const ZipEntry* rels = findEntry(after, mainRels);
  const ZipEntry* types = findEntry(after, "[Content_Types].xml");
  ASSERT_TRUE(rels && types);
  for (auto& name : added) {
    const ZipEntry* e = findEntry(after, name);
    EXPECT_TRUE(e->data == vm::test::png(4, 2)) << "new entry is not the picture: " << name;
    // A relationship of the main part reaches it, with the image type.
    std::string mainDir = mainPart.substr(0, mainPart.rfind('/') + 1);
    pugi::xml_document r;
    r.load_buffer(rels->data.data(), rels->data.size());
    bool related = false;
    for (auto rel : r.document_element().children()) {
      std::string target = rel.attribute("Target").value();
      std::string resolved = !target.empty() && target[0] == '/' ? target.substr(1) : mainDir + target;
      std::string type = rel.attribute("Type").value();
      if (resolved == name && type.size() >= 6 && type.substr(type.size() - 6) == "/image") related = true;
    }
    EXPECT_TRUE(related) << "no image relationship from " << mainPart << " to " << name;
    // Its content type is declared.
    pugi::xml_document t;
    t.load_buffer(types->data.data(), types->data.size());
    std::string ext = lowerAscii(fs::path(name).extension().string());
    bool typed = false;
    for (auto c : t.document_element().children()) {
      std::string kind = c.name();
      kind = kind.substr(kind.find(':') + 1);  // any prefix
      if (kind == "Default" && "." + lowerAscii(c.attribute("Extension").value()) == ext) typed = true;
      if (kind == "Override" && std::string(c.attribute("PartName").value()) == "/" + name) typed = true;
    }
    EXPECT_TRUE(typed) << "no content type for " << name;
  }
  auto fb = drawingFacts(findEntry(before, mainPart)->data);
  auto fa = drawingFacts(findEntry(after, mainPart)->data);
  EXPECT_EQ(fa.inlines - fb.inlines, m) << "inline drawings added";
  EXPECT_EQ(fa.smallExtents - fb.smallExtents, m) << "pictures not at the image's own size (4 x 2 px at 96 dpi)";
  EXPECT_EQ(fa.docPrs - fb.docPrs, m);
  EXPECT_EQ(fa.docPrIds.size() - fb.docPrIds.size(), static_cast<std::size_t>(m)) << "drawing ids not unique";
  try {
    auto doc = vm::word::open(file);
    EXPECT_EQ(doc->mainStory().replaceAll(word, "x"), 0) << "occurrences left after the pictures";
    doc->close();
  } catch (const EngineError& e) {
    ADD_FAILURE() << "the saved document does not open again: " << describe(e);
  }
}

std::string nameOf(const ::testing::TestParamInfo<CorpusDoc>& info) { return testName(info.index, info.param); }

INSTANTIATE_TEST_SUITE_P(Corpus, SoundDoc, ::testing::ValuesIn(packages(/*flagged=*/false)), nameOf);

// --- flagged documents ----------------------------------------------------------------------

std::set<ErrorCode> expectedCodes(const std::string& flags) {
  if (flags.rfind("ENCRYPTED", 0) == 0) return {ErrorCode::PasswordRequired};
  if (flags.find("not a zip") != std::string::npos) return {ErrorCode::NotAZip, ErrorCode::WrongExtension};
  if (flags.find("crc fail") != std::string::npos) return {ErrorCode::DamagedPart};
  // A binary .doc under a package extension: mislabelled, or routed by content to the office
  // back end, which the engine tests do not install. Not "encrypted": it is not.
  if (flags.find("actually-OLE2") != std::string::npos)
    return {ErrorCode::WrongExtension, ErrorCode::UnsupportedFormat, ErrorCode::OfficeUnavailable};
  return {};
}

class FlaggedDoc : public CorpusCase {};

TEST_P(FlaggedDoc, GivesClearErrorAndStaysUntouched) {
  const CorpusDoc& d = GetParam();
  SCOPED_TRACE("flags: " + d.flags);
  const std::string original = readFile(file);
  bool threw = false;
  std::string stage = "open";
  try {
    auto doc = vm::word::open(file);
    // The damage may only show when the parts are read or written: replace and save too.
    stage = "replaceAll";
    doc->mainStory().replaceAll("the", "qzxjv");
    stage = "save";
    doc->save();
    doc->close();
  } catch (const EngineError& e) {
    threw = true;
    RecordProperty("error", describe(e));
    std::cout << "  " << stage << ": " << describe(e) << "\n";
    EXPECT_FALSE(e.userMessage().empty());
    EXPECT_TRUE(hasChinese(e.userMessage())) << "the user message is not Chinese: " << e.userMessage();
    auto codes = expectedCodes(d.flags);
    if (!codes.empty()) {
      EXPECT_TRUE(codes.count(e.code())) << "unexpected error code: " << describe(e);
    }
  } catch (const std::exception& e) {
    threw = true;
    ADD_FAILURE() << stage << " threw a non-EngineError: " << e.what();
  }
  EXPECT_TRUE(threw) << "a flagged document opened, was replaced and saved without an error";
  EXPECT_TRUE(readFile(file) == original) << "a flagged document was changed on disk";
  EXPECT_EQ(filesIn(dir), 1) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Corpus, FlaggedDoc, ::testing::ValuesIn(packages(/*flagged=*/true)), nameOf);

TEST(CorpusManifest, ListsThePackages) {
  auto all = manifestPackages();
  EXPECT_GE(all.size(), 150u) << "MANIFEST.tsv not found or shorter than expected in " << VM_CORPUS_DIR;
  EXPECT_GE(packages(/*flagged=*/true).size(), 5u);
  for (auto& d : all) EXPECT_TRUE(fs::exists(d.path())) << d.relPath;
}

}  // namespace
