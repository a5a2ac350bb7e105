// Engine behaviour through the Document interface, for every back end.
//
// To run these cases against another back end, compile this file into that back end's test
// executable and define vm::test::engineOpeners() there (see support/enginecases.h), e.g. a
// file tests/office/engine_cases_office.cpp holding `#include "word/engine_cases.cpp"` and the
// opener. Cases that look at the package byte by byte (raw copies, process limits) run only
// when the opener says writesPackage.
//
// Each case builds the small document it needs (support/docxbuilder.h).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <pugixml.hpp>
#include <regex>
#include <set>
#include <thread>

#include "support/compoundfile.h"
#include "support/docxbuilder.h"
#include "support/enginecases.h"
#include "support/engineerror.h"
#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/document.h"
#include "word/error.h"

namespace {

using namespace vm::test;
using vm::word::Document;
using vm::word::EngineError;
using vm::word::ErrorCode;
using vm::word::FindOptions;

const char* kImageRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

std::string mainXml(const std::filesystem::path& p) { return readPart(p, "word/document.xml"); }
std::vector<std::string> paras(const std::filesystem::path& p) { return paragraphTexts(mainXml(p)); }

// The w:rPr (printed) of the first run whose text contains text; "<none>" when no run does.
std::string runProps(const std::string& xml, const std::string& text) {
  pugi::xml_document doc;
  doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  for (auto x : doc.select_nodes("//w:r")) {
    std::string t;
    for (auto wt : x.node().children("w:t")) t += wt.text().get();
    if (t.find(text) == std::string::npos) continue;
    std::ostringstream out;
    if (auto rPr = x.node().child("w:rPr")) rPr.print(out, "", pugi::format_raw);
    return out.str();
  }
  return "<none>";
}

// The w:rPr of the run holding the n-th w:drawing.
std::string drawingRunProps(const std::string& xml, std::size_t n = 0) {
  pugi::xml_document doc;
  doc.load_buffer(xml.data(), xml.size());
  auto found = doc.select_nodes("//w:r[w:drawing]");
  if (n >= found.size()) return "<none>";
  std::ostringstream out;
  if (auto rPr = found[n].node().child("w:rPr")) rPr.print(out, "", pugi::format_raw);
  return out.str();
}

std::string fieldRun(const std::string& type) { return "<w:r><w:fldChar w:fldCharType=\"" + type + "\"/></w:r>"; }
std::string field(const std::string& code, const std::string& result) {
  return fieldRun("begin") + "<w:r><w:instrText xml:space=\"preserve\">" + code + "</w:instrText></w:r>" +
         fieldRun("separate") + r(result) + fieldRun("end");
}
std::string deleted(const std::string& text) {
  return "<w:del w:id=\"90\" w:author=\"t\" w:date=\"2024-01-01T00:00:00Z\"><w:r><w:delText xml:space=\"preserve\">" +
         text + "</w:delText></w:r></w:del>";
}
std::string inserted(const std::string& inner) {
  return "<w:ins w:id=\"91\" w:author=\"t\" w:date=\"2024-01-01T00:00:00Z\">" + inner + "</w:ins>";
}
std::string textBox(const std::string& text) {
  return "<w:r><w:drawing><wp:anchor distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\" simplePos=\"0\" relativeHeight=\"1\" "
         "behindDoc=\"0\" locked=\"0\" layoutInCell=\"1\" allowOverlap=\"1\"><wp:simplePos x=\"0\" y=\"0\"/>"
         "<wp:positionH relativeFrom=\"column\"><wp:posOffset>0</wp:posOffset></wp:positionH>"
         "<wp:positionV relativeFrom=\"paragraph\"><wp:posOffset>0</wp:posOffset></wp:positionV>"
         "<wp:extent cx=\"914400\" cy=\"457200\"/><wp:effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/><wp:wrapNone/>"
         "<wp:docPr id=\"30\" name=\"Text Box 30\"/><wp:cNvGraphicFramePr/><a:graphic><a:graphicData "
         "uri=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\"><wps:wsp><wps:cNvSpPr txBox=\"1\"/>"
         "<wps:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"914400\" cy=\"457200\"/></a:xfrm><a:prstGeom prst=\"rect\">"
         "<a:avLst/></a:prstGeom></wps:spPr><wps:txbx><w:txbxContent>" + p(r(text)) +
         "</w:txbxContent></wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing></w:r>";
}
std::string vmlTextBox(const std::string& text) {
  return "<w:r><w:pict><v:shape id=\"tb1\" type=\"#_x0000_t202\" style=\"position:absolute;width:100pt;height:40pt\">"
         "<v:textbox><w:txbxContent>" + p(r(text)) + "</w:txbxContent></v:textbox></v:shape></w:pict></w:r>";
}
std::string inlinePicture(int id, const std::string& rid) {
  return "<w:r><w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><wp:extent cx=\"9525\" cy=\"9525\"/>"
         "<wp:docPr id=\"" + std::to_string(id) + "\" name=\"Picture " + std::to_string(id) + "\"/><a:graphic><a:graphicData "
         "uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic><pic:nvPicPr><pic:cNvPr id=\"0\" name=\"x.png\"/>"
         "<pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" + rid + "\"/><a:stretch><a:fillRect/></a:stretch>"
         "</pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"9525\" cy=\"9525\"/></a:xfrm>"
         "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline>"
         "</w:drawing></w:r>";
}

class Engine : public EngineCase {
 protected:
  std::filesystem::path build(const DocxBuilder& b, const std::string& name = "t.docx") {
    return b.write(dir.file(name));
  }
  std::filesystem::path body(const std::string& xml) { return build(DocxBuilder().body(xml)); }

  // Opens, replaces, saves, closes; returns the count.
  int replace(const std::filesystem::path& path, const std::string& find, const std::string& repl,
              const FindOptions& options = {}) {
    auto doc = open(path);
    int n = doc->mainStory().replaceAll(find, repl, options);
    doc->save();
    doc->close();
    return n;
  }

  // Files in the folder other than the ones named (temporary files left behind).
  std::vector<std::string> strayFiles(const std::set<std::string>& known) {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
      if (!known.count(e.path().filename().string())) out.push_back(e.path().filename().string());
    return out;
  }
};

// --- Saving --------------------------------------------------------------------------------

TEST_P(Engine, UnchangedDocumentIsLeftByteForByte) {
  auto path = body(p(r("nothing to change")));
  std::string before = readFile(path);
  auto doc = open(path);
  EXPECT_FALSE(doc->modified());
  EXPECT_EQ(doc->mainStory().replaceAll("absent", "x"), 0);
  EXPECT_FALSE(doc->modified());
  doc->save();
  doc->close();
  EXPECT_EQ(readFile(path), before);
  EXPECT_TRUE(strayFiles({"t.docx"}).empty());
}

TEST_P(Engine, ReplacementIsSavedAndModifiedFlagFollows) {
  auto path = body(p(r("hello world")));
  auto doc = open(path);
  EXPECT_EQ(doc->mainStory().replaceAll("world", "there"), 1);
  EXPECT_TRUE(doc->modified());
  doc->save();
  EXPECT_FALSE(doc->modified());
  EXPECT_EQ(doc->mainStory().replaceAll("hello", "bye"), 1);  // a second save on the saved state
  doc->save();
  doc->close();
  EXPECT_EQ(paras(path), (std::vector<std::string>{"bye there"}));
  EXPECT_TRUE(strayFiles({"t.docx"}).empty());
}

TEST_P(Engine, UnchangedPartsAreCopiedWithoutRecompressing) {
  if (!writesPackage()) GTEST_SKIP() << "package written by another program";
  auto path = build(DocxBuilder()
                        .body(p(r("alpha beta")))
                        .header(p(r("alpha in header")))
                        .footer(p(r("footer")))
                        .comments("<w:comment w:id=\"0\" w:author=\"a\">" + p(r("alpha note")) + "</w:comment>")
                        .part("word/media/image1.png", png(4, 4), "", kImageRel, "rIdImg"));
  auto before = entries(path);
  std::map<std::string, std::string> raw;
  for (const auto& e : before) raw[e.name] = readRawEntry(path, e.name);
  ASSERT_EQ(replace(path, "alpha", "gamma"), 1);
  auto after = entries(path);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].name, before[i].name);  // order kept
    if (after[i].name == "word/document.xml") {
      EXPECT_NE(after[i].crc, before[i].crc);
      continue;
    }
    EXPECT_EQ(after[i].crc, before[i].crc) << after[i].name;
    EXPECT_EQ(after[i].method, before[i].method) << after[i].name;
    EXPECT_EQ(readRawEntry(path, after[i].name), raw[after[i].name]) << after[i].name;
  }
}

TEST_P(Engine, ChangedPartKeepsDeclarationNamespacesAndReferences) {
  if (!writesPackage()) GTEST_SKIP() << "package written by another program";
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
  const std::string rootTag = "<w:document " + standardNamespaces() +
                              " xmlns:w15=\"http://schemas.microsoft.com/office/word/2012/wordml\" mc:Ignorable=\"w14 w15\">";
  std::string xml = decl + rootTag + "<w:body>" +
                    "<w:p w14:paraId=\"1A2B3C4D\"><w:r><w:t xml:space=\"preserve\">  keep &#x41;&#65; &amp; spaces  </w:t></w:r></w:p>" +
                    p(r("change me")) + "<w:sectPr/></w:body></w:document>";
  auto path = build(DocxBuilder().overridePart("word/document.xml", xml));
  ASSERT_EQ(replace(path, "change", "changed"), 1);
  std::string out = mainXml(path);
  EXPECT_EQ(out.rfind(decl + rootTag, 0), 0u) << out.substr(0, 300);
  EXPECT_NE(out.find("<w:p w14:paraId=\"1A2B3C4D\"><w:r><w:t xml:space=\"preserve\">  keep &#x41;&#65; &amp; spaces  </w:t>"),
            std::string::npos);
  EXPECT_NE(out.find("changed me"), std::string::npos);
}

TEST_P(Engine, MainPartIsFoundThroughTheRelationships) {
  auto path = build(DocxBuilder().mainPart("content/main.xml").body(p(r("found here"))));
  auto doc = open(path);
  EXPECT_EQ(doc->mainStory().replaceAll("found", "seen"), 1);
  doc->save();
  doc->close();
  EXPECT_EQ(partText(readPart(path, "content/main.xml")), "seen here");
  EXPECT_FALSE(hasPart(path, "word/document.xml"));
}

// Saved in place through its name, then through a symbolic link to it: the mode, a hard link
// and the symbolic link stay.
TEST_P(Engine, SaveKeepsPermissionsAndLinks) {
  auto path = body(p(r("perm test")));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  auto hard = dir.file("link.docx");
  ASSERT_EQ(::link(path.c_str(), hard.c_str()), 0);
  std::filesystem::create_directory(dir.file("links"));
  auto soft = dir.file("links/l.docx");
  std::filesystem::create_symlink("../t.docx", soft);
  ASSERT_EQ(replace(path, "perm", "mode"), 1);
  ASSERT_EQ(replace(soft, "mode", "kept"), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(soft));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_nlink, 2u);  // written in place: both names show the new content
  EXPECT_EQ(partText(mainXml(hard)), "kept test");
  EXPECT_TRUE(strayFiles({"t.docx", "link.docx", "links"}).empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("links")), {}), 1);
}

TEST_P(Engine, SaveAsWritesTheOtherPathOnly) {
  auto path = body(p(r("source text")));
  std::string before = readFile(path);
  auto target = dir.file("copy.docx");
  auto doc = open(path);
  doc->mainStory().replaceAll("source", "target");
  doc->saveAs(target);
  EXPECT_EQ(doc->path(), target);
  doc->close();
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(partText(mainXml(target)), "target text");
  // Unchanged: a copy.
  doc = open(path);
  doc->saveAs(dir.file("same.docx"));
  doc->close();
  if (writesPackage()) EXPECT_EQ(readFile(dir.file("same.docx")), before);
}

// --- Errors: a clear error, the file as it was ------------------------------------------

TEST_P(Engine, ErrorsLeaveTheFileUntouched) {
  struct Case {
    const char* name;
    std::string bytes;
    ErrorCode code;
  };
  std::string good = DocxBuilder().body(p(r("x"))).bytes();
  std::string stored = DocxBuilder().body(p(r("CRCMARKER text"))).stored().bytes();
  auto at = stored.find("CRCMARKER");
  ASSERT_NE(at, std::string::npos);
  stored[at] = 'X';  // the data no longer matches its checksum
  std::string norels =
      DocxBuilder().body(p(r("x"))).overridePart("_rels/.rels",
          "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>").bytes();
  std::vector<Case> cases = {
      {"text", "just some text, not a package", ErrorCode::NotAZip},
      {"empty", "", ErrorCode::NotAZip},
      {"truncated", good.substr(0, good.size() / 2), ErrorCode::NotAZip},
      {"encrypted", compoundFile({{"EncryptionInfo", std::string(200, '\x04')}, {"EncryptedPackage", std::string(300, '\x07')}}),
       ErrorCode::PasswordRequired},
      {"doc97", compoundFile({{"WordDocument", std::string(600, '\x01')}, {"1Table", std::string(100, '\x02')}}),
       ErrorCode::WrongExtension},
      {"nomain", DocxBuilder().body(p(r("x"))).omitPart("word/document.xml").bytes(), ErrorCode::NoMainPart},
      {"norel", norels, ErrorCode::NoMainPart},
      {"badxml", DocxBuilder().overridePart("word/document.xml",
                                            "<w:document " + standardNamespaces() + "><w:body><w:p></w:body>").bytes(),
       ErrorCode::DamagedPart},
      {"crc", stored, ErrorCode::DamagedPart},
      {"sheet", DocxBuilder().body(p(r("x")))
                    .mainContentType("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml").bytes(),
       ErrorCode::UnsupportedFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto path = dir.file(std::string(c.name) + ".docx");
    writeFile(path, c.bytes);
    try {
      auto doc = open(path);
      doc->mainStory().replaceAll("x", "y");
      doc->save();
      ADD_FAILURE() << "no error";
    } catch (const EngineError& e) {
      if (writesPackage()) {
        EXPECT_EQ(static_cast<int>(e.code()), static_cast<int>(c.code)) << e.what();
      }
      EXPECT_TRUE(hasChineseText(e.userMessage())) << e.userMessage();
      EXPECT_FALSE(e.detail().empty());
    }
    EXPECT_EQ(readFile(path), c.bytes);
  }
}

TEST_P(Engine, BadFindTextsMissingFilesAndClosedDocumentsAreRefused) {
  auto path = body(p(r("text")));
  std::string before = readFile(path);
  auto doc = open(path);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceAll("", "x"), ErrorCode::BadFindText);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceAll("te^q", "x"), ErrorCode::BadFindText);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceAll("text^", "x"), ErrorCode::BadFindText);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceAll("text", "^c"), ErrorCode::BadFindText);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceWithPicture("", dir.file("none.png")), ErrorCode::BadFindText);
  EXPECT_FALSE(doc->modified());
  doc->save();
  doc->close();
  EXPECT_EQ(readFile(path), before);
  doc->close();  // idempotent
  EXPECT_ENGINE_ERROR(doc->mainStory(), ErrorCode::InvalidArgument);
  EXPECT_ENGINE_ERROR(doc->save(), ErrorCode::InvalidArgument);
  EXPECT_ENGINE_ERROR(open(dir.file("absent.docx")), ErrorCode::FileNotFound);
}

TEST_P(Engine, FullDiskLeavesTheFileUntouched) {
  if (!writesPackage()) GTEST_SKIP() << "process limits do not reach the writer";
  auto path = body(p(r("a document that will not fit")));
  std::string before = readFile(path);
  auto doc = open(path);
  ASSERT_EQ(doc->mainStory().replaceAll("fit", "fit on the disk"), 1);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 100;  // bytes: writes beyond fail as on a full disk
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const ErrorCode code = errorCodeOf([&] { doc->save(); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(code, ErrorCode::DiskFull);
  EXPECT_EQ(readFile(path), before);
  EXPECT_TRUE(strayFiles({"t.docx"}).empty());
  EXPECT_TRUE(doc->modified());  // the change is still there; a later save may succeed
  doc->save();
  doc->close();
  EXPECT_EQ(partText(mainXml(path)), "a document that will not fit on the disk");
}

TEST_P(Engine, AnotherWriterMeanwhileLosesNothing) {
  auto path = body(p(r("ours")));
  auto doc = open(path);
  EXPECT_ENGINE_ERROR(open(path), ErrorCode::OpenElsewhere);  // a second run on the same file
  ASSERT_EQ(doc->mainStory().replaceAll("ours", "changed"), 1);
  const auto theirs = path.string() + ".theirs";  // an editor saves: a new file renamed over
  writeFile(theirs, "their edit");
  std::filesystem::rename(theirs, path);
  EXPECT_ENGINE_ERROR(doc->save(), ErrorCode::ConcurrentEdit);
  EXPECT_EQ(readFile(path), "their edit");
}

TEST_P(Engine, UnwritableFolderIsWriteFailed) {
  auto path = body(p(r("stay")));
  std::string before = readFile(path);
  auto doc = open(path);
  doc->mainStory().replaceAll("stay", "go");
  EXPECT_ENGINE_ERROR(doc->saveAs("/proc/vellumark-no-such-folder/out.docx"), ErrorCode::WriteFailed);
  if (::geteuid() != 0) {  // permissions do not hold the superuser back
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    EXPECT_ENGINE_ERROR(doc->save(), ErrorCode::WriteFailed);
    ::chmod(dir.path().c_str(), 0755);
  }
  doc->close();
  EXPECT_EQ(readFile(path), before);
  EXPECT_TRUE(strayFiles({"t.docx"}).empty());
}

// --- Find and replace ----------------------------------------------------------------------

TEST_P(Engine, MatchSpanningRunsTakesTheFirstCharactersFormatting) {
  auto path = body(p(r("say Hel", "<w:b/>") + r("lo wor") + r("ld", "<w:i/>") + r(" now")));
  ASSERT_EQ(replace(path, "hello world", "hi"), 1);
  std::string xml = mainXml(path);
  EXPECT_EQ(paras(path), (std::vector<std::string>{"say Hi now"}));  // initial capital as the match
  EXPECT_EQ(runProps(xml, "Hi"), "<w:rPr><w:b/></w:rPr>");
  EXPECT_EQ(occurrences(xml, "<w:i/>"), 0u);  // the italic run held only matched text
}

// One replace in a small body: the count, and the paragraphs of the saved document.
TEST_P(Engine, ReplaceCases) {
  struct Case {
    const char* what;
    std::string body, find, replacement;
    FindOptions options;
    int count;
    std::vector<std::string> paragraphs;
    std::vector<std::pair<std::string, std::size_t>> inXml = {};  // how often the saved part holds each
    bool exact = false;  // Word's result that not every back end gives (see EngineOpener)
  };
  const Case cases[] = {
      {"case of the match", p(r("word Word WORD wORD")), "word", "excel", {}, 4, {"excel Excel EXCEL excel"}},
      {"match case", p(r("word Word WORD")), "Word", "excel", {.matchCase = true}, 1, {"word excel WORD"}},
      {"whole words", p(r("cat catalog bobcat cat")), "cat", "dog", {.matchWholeWord = true}, 2,
       {"dog catalog bobcat dog"}},
      {"a mark joins paragraphs", p(r("first")) + p(r("second")) + p(r("third")), "first^psec", "joined-", {}, 1,
       {"joined-ond", "third"}},
      {"tables", table({{r("apple"), r("pear")}, {r("apple pie"), r("plum")}}) + p(r("apple")), "apple", "fig", {}, 3,
       {"fig", "pear", "fig pie", "plum", "fig"}},
      {"the replacement is not searched again", p(r("aaa")), "a", "aa", {}, 3, {"aaaaaa"}},
      {"many matches, one across runs", p(r("cat dog cat ") + r("ca", "<w:b/>") + r("t end cat")), "cat", "fox", {},
       4, {"fox dog fox fox end fox"}},
      {"markup characters", p(r("A & B < C > D")), "& B <", "<&\"'>", {}, 1, {"A <&\"'> C > D"}},
      {"Chinese", p(r("中国人民，", "<w:rFonts w:eastAsia=\"宋体\"/>") + r("中国文字")), "中国", "中华", {}, 2,
       {"中华人民，中华文字"}},
      {"widths folded with matchByte off", p(r("ＡＢＣ and ABC")), "abc", "q", {.matchByte = false}, 2, {"Q and Q"}, {},
       true},
      {"codes in the replacement, all in the one bold run", p(r("here", "<w:b/>")), "here", "1^t2^l3^m4^^5", {}, 1,
       {"1\t2\n3\f4^5"}, {{"<w:tab/>", 1}, {"<w:br/>", 1}, {"<w:br w:type=\"page\"/>", 1}, {"<w:b/>", 1}}, true},
      {"a mark in the replacement splits the paragraph",
       p(r("one", "<w:b/>") + r("two"), "<w:pStyle w:val=\"Quote\"/>"), "one", "one^p", {}, 1, {"one", "two"},
       {{"<w:pStyle w:val=\"Quote\"/>", 2}, {"<w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">one</w:t>", 1}}, true},
      {"double marks take empty paragraphs, the heading stays a heading",
       p(r("a"), "<w:pStyle w:val=\"Heading1\"/>") + p() + p(r("b")) + p() + p() + p(r("c")), "^p^p", "^p", {}, 2,
       {"a", "b", "", "c"}, {{"Heading1", 1}}, true},
      {"an empty replacement deletes, and the emptied run goes", p(r("keep") + r("drop") + r(" the rest")), "drop", "",
       {}, 1, {"keep the rest"}, {{"<w:r>", 2}}, true},
      {"spaces at the edges are preserved", p("<w:r><w:t>ab cd</w:t></w:r>"), "ab", "", {}, 1, {" cd"},
       {{"<w:t xml:space=\"preserve\"> cd</w:t>", 1}}, true},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.exact && !GetParam().wordExact) continue;
    auto path = build(DocxBuilder().body(c.body), "case" + std::to_string(i++) + ".docx");
    EXPECT_EQ(replace(path, c.find, c.replacement, c.options), c.count);
    const std::string xml = mainXml(path);
    EXPECT_EQ(paragraphTexts(xml), c.paragraphs);  // throws on XML that is not well-formed
    for (const auto& [what, n] : c.inXml) EXPECT_EQ(occurrences(xml, what), n) << what;
  }
}

// Replaces in a row on one document: each count, then the paragraphs saved.
TEST_P(Engine, ReplaceSequences) {
  struct Step {
    std::string find, replacement;
    int count;
  };
  struct Case {
    const char* what;
    std::string body;
    std::vector<Step> steps;
    std::vector<std::string> paragraphs;
    std::vector<std::string> kept = {};  // the saved part still holds each
    bool exact = false;
  };
  const Case cases[] = {
      {"Unicode case folding, widths distinct", p(r("ÄRGER und ärger")) + p(r("Привет мир")) + p(r("ΣΟΦΙΑ")) + p(r("ＡＢＣ and ABC")),
       {{"ärger", "freude", 2}, {"привет", "здравствуй", 1}, {"σοφια", "sophia", 1},
        {"abc", "x", 1},     // the full-width ＡＢＣ is another text
        {"ａｂｃ", "y", 1}},  // full-width, any case
       {"FREUDE und freude", "Здравствуй мир", "SOPHIA", "Y and X"}},
      {"tabs and breaks inside runs match their codes",
       p(r("a") + "<w:r><w:tab/></w:r>" + r("b")) +
           p("<w:r><w:t>x</w:t><w:tab/><w:t>y</w:t><w:br/><w:t>z</w:t><w:br w:type=\"page\"/><w:t>w</w:t></w:r>"),
       {{"a^tb", "T", 1}, {"^t", "-", 1}, {"y^lz", "L", 1}, {"^mw", "M", 1}},
       {"T", "x-LM"}},
      {"caret and found-text codes", p(r("a^b cat Cat")), {{"^^", "(caret)", 1}, {"cat", "[^&]", 2}},
       {"a(caret)b [cat] [Cat]"}},
      {"rules apply in order on each other's result", p(r("a")), {{"a", "b", 1}, {"b", "c", 1}}, {"c"}},
      {"marks before tables and the last mark do not match", p(r("x")) + table({{r("cell")}}) + p(r("end")),
       {{"x^p", "y", 0}, {"cell^p", "y", 0}, {"end^p", "y", 0}}, {"x", "cell", "end"}},
      {"matches span hyperlinks, smart tags and content controls",
       p(r("see ") + "<w:hyperlink w:anchor=\"top\"><w:r><w:t>the link</w:t></w:r></w:hyperlink>" + r(" here")) +
           p(r("in ") + "<w:smartTag w:uri=\"urn:x\" w:element=\"place\"><w:r><w:t>Beijing</w:t></w:r></w:smartTag>" +
             r(" today")) +
           p(r("a ") + "<w:sdt><w:sdtPr><w:id w:val=\"7\"/></w:sdtPr><w:sdtContent><w:r><w:t>boxed</w:t></w:r>"
                       "</w:sdtContent></w:sdt>" + r(" word")),
       {{"link here", "LINK", 1}, {"in beijing", "at home", 1}, {"boxed word", "done", 1}},
       {"see the LINK", "at home today", "a done"}, {}, true},
      // The visible text runs on over the deletion.
      {"deleted text never matches, inserted text does", p(r("ab") + deleted("cd") + r("ef")) + p(inserted(r("new text"))),
       {{"cd", "X", 0}, {"abef", "joined", 1}, {"new", "old", 1}}, {"joined", "old text"}, {">cd</w:delText>"}, true},
      {"field codes never match, results do",
       p(r("Total: ") + field(" NUMPAGES ", "7")) +
           p("<w:fldSimple w:instr=\" DATE \"><w:r><w:t>2024</w:t></w:r></w:fldSimple>"),
       {{"NUMPAGES", "X", 0}, {"DATE", "X", 0}, {"7", "8", 1}, {"2024", "2025", 1}}, {"Total: 8", "2025"},
       {" NUMPAGES </w:instrText>"}, true},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.exact && !GetParam().wordExact) continue;
    auto path = build(DocxBuilder().body(c.body), "seq" + std::to_string(i++) + ".docx");
    auto doc = open(path);
    int total = 0;
    for (const Step& step : c.steps) {
      const int n = doc->mainStory().replaceAll(step.find, step.replacement);
      EXPECT_EQ(n, step.count) << step.find;
      total += n;
    }
    EXPECT_EQ(doc->modified(), total > 0);
    doc->save();
    doc->close();
    EXPECT_EQ(paras(path), c.paragraphs);
    for (const std::string& k : c.kept) EXPECT_NE(mainXml(path).find(k), std::string::npos) << k;
  }
}

TEST_P(Engine, TextBoxesAndOtherStoriesAreLeftAlone) {
  auto b = DocxBuilder()
               .body(p(r("secret in body") + textBox("secret in box")) + p(vmlTextBox("secret in vml")))
               .header(p(r("secret header")))
               .footer(p(r("secret footer")))
               .footnotes("<w:footnote w:id=\"1\">" + p(r("secret footnote")) + "</w:footnote>")
               .endnotes("<w:endnote w:id=\"1\">" + p(r("secret endnote")) + "</w:endnote>")
               .comments("<w:comment w:id=\"0\" w:author=\"a\">" + p(r("secret comment")) + "</w:comment>");
  auto path = build(b);
  std::map<std::string, std::string> before;
  for (const char* part : {"word/header1.xml", "word/footer1.xml", "word/footnotes.xml", "word/endnotes.xml",
                           "word/comments.xml"})
    before[part] = readPart(path, part);
  ASSERT_EQ(replace(path, "secret", "public"), 1);
  std::string xml = mainXml(path);
  EXPECT_NE(xml.find("public in body"), std::string::npos);
  EXPECT_NE(xml.find("secret in box"), std::string::npos);
  EXPECT_NE(xml.find("secret in vml"), std::string::npos);
  for (const auto& [part, bytes] : before) {
    if (writesPackage()) EXPECT_EQ(readPart(path, part), bytes) << part;
    else EXPECT_NE(readPart(path, part).find("secret"), std::string::npos) << part;
  }
}

// --- Track Changes -------------------------------------------------------------------------

// The revision elements (w:ins, w:del, w:rPrChange) of a part.
struct Revisions {
  int insertedMarks = 0, deletedMarks = 0, insertedPictures = 0;
  std::vector<long> ids;
  std::set<std::string> authors, dates;
};

Revisions revisionsOf(const std::string& xml) {
  Revisions out;
  pugi::xml_document d;
  d.load_buffer(xml.data(), xml.size());
  for (auto x : d.select_nodes("//w:ins | //w:del | //w:rPrChange")) {
    pugi::xml_node n = x.node();
    std::string name = n.name();
    bool ins = name == "w:ins";
    if (name == "w:rPrChange") {
    } else if (std::string(n.parent().name()) == "w:rPr") {
      (ins ? out.insertedMarks : out.deletedMarks)++;
    } else if (ins) out.insertedPictures += static_cast<int>(n.select_nodes(".//w:drawing").size());
    out.ids.push_back(n.attribute("w:id").as_llong(-1));
    out.authors.insert(n.attribute("w:author").value());
    out.dates.insert(n.attribute("w:date").value());
  }
  return out;
}

// The body's paragraphs with every revision rejected: deleted text back, inserted text and
// inserted paragraph marks gone.
std::vector<std::string> rejectedView(const std::string& xml) {
  pugi::xml_document d;
  d.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  std::vector<std::string> out;
  std::string cur;
  for (auto x : d.select_nodes("//w:body//w:p")) {
    pugi::xml_node p = x.node();
    auto texts = p.select_nodes(".//w:t | .//w:delText");
    texts.sort();
    for (auto t : texts) {
      bool inserted = false;
      for (auto n = t.node().parent(); n && n != p && !inserted; n = n.parent()) inserted = std::string(n.name()) == "w:ins";
      if (!inserted) cur += t.node().text().get();
    }
    if (p.select_node("w:pPr/w:rPr/w:ins")) continue;  // joins the next one
    out.push_back(cur);
    cur.clear();
  }
  return out;
}

// With Track Changes on, every replacement is a deletion of the match and an insertion of its
// replacement: inside a run, across runs, with paragraph marks found and put in, and a picture.
// Rejecting every revision gives the original back; Word (the docx engine) shows the result.
TEST_P(Engine, TrackedReplaceRecordsRevisions) {
  auto picture = dir.file("p.png");
  writeFile(picture, png(4, 4));
  auto path = build(DocxBuilder().settings("<w:trackRevisions/>").body(
      p("<w:bookmarkStart w:id=\"40\" w:name=\"b\"/>" +
        r("say Hel", "<w:b/><w:rPrChange w:id=\"41\" w:author=\"t\" w:date=\"2024-01-01T00:00:00Z\"><w:rPr/></w:rPrChange>") +
        r("lo wor") + r("ld", "<w:i/>") + r(" now") + "<w:bookmarkEnd w:id=\"40\"/>") +
      p(r("first")) + p(r("second")) + p(r("one two")) + p(r("logo [LOGO] here")) +
      p(r("old ") + inserted(r("kept"))) + p(r("drop") + "<w:r><w:tab/></w:r>" + r("keep"))));
  const std::vector<std::string> original = {"say Hello world now", "first", "second", "one two", "logo [LOGO] here",
                                             "old ", "dropkeep"};
  ASSERT_EQ(rejectedView(mainXml(path)), original);
  std::int64_t before = vm::word::open(path)->mainStory().characterCount();
  {
    auto doc = open(path);
    auto& s = doc->mainStory();
    EXPECT_EQ(s.replaceAll("hello world", "hi"), 1);
    EXPECT_EQ(s.replaceAll("first^psec", "joined-"), 1);
    EXPECT_EQ(s.replaceAll("one ", "one^p"), 1);
    EXPECT_EQ(s.replaceWithPicture("[LOGO]", picture), 1);
    EXPECT_EQ(s.replaceAll("old", "new"), 1);
    EXPECT_EQ(s.replaceAll("drop^t", ""), 1);  // a deletion alone
    EXPECT_EQ(s.replaceAll("world", "x"), 0);  // deleted text is not found again
    EXPECT_EQ(s.replaceAll("hi", "hey"), 1);   // inserted text is
    doc->save();
    doc->close();
  }
  {
    auto doc = vm::word::open(path);  // as Word shows it
    EXPECT_EQ(storyTexts(doc->mainStory()),
              (std::vector<std::string>{"say Hey now", "joined-ond", "one", "two", "logo \x01 here", "new kept", "keep"}));
    EXPECT_EQ(doc->mainStory().characterCount(), before - 11 + 3 - 10 + 7 + 1 - 6 + 1 - 5);
  }
  std::string xml = mainXml(path);
  EXPECT_EQ(rejectedView(xml), original);
  EXPECT_EQ(paras(path).size(), 8u);  // the paragraph mark found is marked, the paragraphs stay apart
  EXPECT_EQ(runProps(xml, "Hey"), "<w:rPr><w:b/></w:rPr>");  // the first character's formatting
  EXPECT_EQ(xml.find(">Hi<"), std::string::npos);  // the author's own insertion replaced leaves no trace
  Revisions rev = revisionsOf(xml);
  EXPECT_EQ(rev.deletedMarks, 1);
  EXPECT_EQ(rev.insertedMarks, 1);
  EXPECT_EQ(rev.insertedPictures, 1);
  std::set<long> ids(rev.ids.begin(), rev.ids.end());
  EXPECT_EQ(ids.size(), rev.ids.size()) << "revision ids repeat";
  if (writesPackage())
    for (long id : ids) EXPECT_TRUE(id == 41 || id >= 91) << id;  // above the ids already there (40, 41, 91)
  const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");  // 2026-12-07T02:00:00Z
  for (const auto& d : rev.dates) EXPECT_TRUE(std::regex_match(d, utc)) << d;
  rev.authors.erase("t");  // the insertion that was there
  EXPECT_EQ(rev.authors, std::set<std::string>{vm::word::defaultRevisionAuthor()});
}

// Without Track Changes (no w:trackRevisions, or one set to false) a replace leaves no revision.
TEST_P(Engine, ReplaceIsNotTrackedWhenTrackChangesIsOff) {
  for (const char* setting : {"", "<w:trackRevisions w:val=\"false\"/>", "<w:trackRevisions w:val=\"0\"/>"}) {
    SCOPED_TRACE(setting);
    auto path = build(DocxBuilder().settings(setting).body(p(r("alpha beta")) + p(r("gamma"))));
    auto doc = open(path);
    EXPECT_EQ(doc->mainStory().replaceAll("beta^pgam", "x"), 1);
    doc->save();
    doc->close();
    std::string xml = mainXml(path);
    EXPECT_EQ(paragraphTexts(xml), (std::vector<std::string>{"alpha xma"}));
    EXPECT_EQ(xml.find("w:del "), std::string::npos);
    EXPECT_EQ(xml.find("w:ins "), std::string::npos);
  }
}

// --- Pictures ------------------------------------------------------------------------------

TEST_P(Engine, PictureAtEachOccurrenceAtItsOwnSize) {
  struct Case {
    const char* file;
    std::string bytes;
    double cx, cy;  // EMU
  };
  std::vector<Case> cases = {
      {"a.png", png(100, 50), 952500, 476250},       // no resolution: 96 dpi
      {"b.png", png(300, 150, 300), 914400, 457200}, // 300 dpi: one inch wide
      {"c.jpg", jpeg(144, 72, 72), 1828800, 914400},
      {"d.jpg", jpeg(96, 96), 914400, 914400},       // JFIF without density
      {"e.gif", gif(48, 96), 457200, 914400},
      {"f.bmp", bmp(96, 48, 192), 457200, 228600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto picture = dir.file(c.file);
    writeFile(picture, c.bytes);
    auto path = body(p(r("logo: [LOGO] and [LOGO].")));
    auto doc = open(path);
    EXPECT_EQ(doc->mainStory().replaceWithPicture("[LOGO]", picture), 2);
    doc->save();
    doc->close();
    std::string xml = mainXml(path);
    EXPECT_EQ(paragraphTexts(xml), (std::vector<std::string>{"logo:  and ."}));
    EXPECT_EQ(occurrences(xml, "<w:drawing>"), 2u);
    pugi::xml_document d;
    ASSERT_TRUE(d.load_string(xml.c_str()));
    auto extent = d.select_node("//wp:inline/wp:extent").node();
    EXPECT_NEAR(extent.attribute("cx").as_double(), c.cx, 50);
    EXPECT_NEAR(extent.attribute("cy").as_double(), c.cy, 50);
  }
}

TEST_P(Engine, PicturePartsRelationshipsAndContentTypes) {
  auto picture = dir.file("p.png");
  writeFile(picture, png(10, 10));
  auto path = build(DocxBuilder()
                        .body(p(inlinePicture(5, "rIdImg") + r("[A]")) + p(r("[A]")))
                        .header(p(r("h") + inlinePicture(12, "rIdH")))
                        .part("word/media/image1.png", png(1, 1), "image/png", kImageRel, "rIdImg"));
  auto doc = open(path);
  ASSERT_EQ(doc->mainStory().replaceWithPicture("[a]", picture), 2);
  ASSERT_EQ(doc->mainStory().replaceWithPicture("absent", dir.file("missing.png")), 0);
  doc->save();
  doc->close();

  std::string xml = mainXml(path);
  pugi::xml_document d;
  ASSERT_TRUE(d.load_string(xml.c_str()));
  std::set<std::string> ids;
  for (auto x : d.select_nodes("//wp:docPr")) EXPECT_TRUE(ids.insert(x.node().attribute("id").value()).second);
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_FALSE(ids.count("12"));  // used in the header
  auto blips = d.select_nodes("//a:blip");
  ASSERT_EQ(blips.size(), 3u);
  std::string rid = blips[1].node().attribute("r:embed").value();
  EXPECT_EQ(rid, blips[2].node().attribute("r:embed").value());

  std::string rels = readPart(path, "word/_rels/document.xml.rels");
  pugi::xml_document rd;
  ASSERT_TRUE(rd.load_string(rels.c_str()));
  auto rel = rd.select_node(("//Relationship[@Id='" + rid + "']").c_str()).node();
  ASSERT_TRUE(rel);
  EXPECT_STREQ(rel.attribute("Type").value(), kImageRel);
  std::string target = rel.attribute("Target").value();
  EXPECT_NE(target, "media/image1.png");
  ASSERT_TRUE(hasPart(path, "word/" + target));
  EXPECT_EQ(readPart(path, "word/" + target), png(10, 10));
  EXPECT_EQ(readPart(path, "word/media/image1.png"), png(1, 1));

  std::string types = readPart(path, "[Content_Types].xml");
  EXPECT_EQ(occurrences(types, "Extension=\"png\""), 1u);
  EXPECT_NE(types.find("ContentType=\"image/png\""), std::string::npos);
}

// The picture takes the occurrence's run formatting; a main part that declares only the w
// namespace gets the ones the drawing needs.
TEST_P(Engine, PictureKeepsTheRunFormattingAndDeclaresItsNamespaces) {
  auto picture = dir.file("p.gif");
  writeFile(picture, gif(8, 8));
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
                    p(r("before ") + r("[PI", "<w:b/><w:color w:val=\"FF0000\"/>") + r("C] after")) + "</w:body></w:document>";
  auto path = build(DocxBuilder().overridePart("word/document.xml", xml));
  auto doc = open(path);
  ASSERT_EQ(doc->mainStory().replaceWithPicture("[pic]", picture), 1);
  doc->save();
  doc->close();
  std::string out = mainXml(path);
  EXPECT_EQ(drawingRunProps(out), "<w:rPr><w:b/><w:color w:val=\"FF0000\"/></w:rPr>");
  EXPECT_EQ(paragraphTexts(out), (std::vector<std::string>{"before  after"}));
  EXPECT_NE(out.find("xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""),
            std::string::npos);
  EXPECT_NE(out.find("xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""),
            std::string::npos);
}

TEST_P(Engine, UnreadablePictureLeavesTheDocumentAsItWas) {
  auto path = body(p(r("put [X] here")));
  std::string before = readFile(path);
  writeFile(dir.file("fake.png"), "not a picture");
  auto doc = open(path);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceWithPicture("[X]", dir.file("missing.png")), ErrorCode::PictureUnreadable);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceWithPicture("[X]", dir.file("fake.png")), ErrorCode::PictureUnreadable);
  // A FIFO nobody writes and a folder fail at once instead of hanging.
  ASSERT_EQ(::mkfifo(dir.file("fifo.png").c_str(), 0600), 0);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceWithPicture("[X]", dir.file("fifo.png")), ErrorCode::PictureUnreadable);
  EXPECT_ENGINE_ERROR(doc->mainStory().replaceWithPicture("[X]", dir.file("")), ErrorCode::PictureUnreadable);
  EXPECT_FALSE(doc->modified());
  doc->save();
  doc->close();
  EXPECT_EQ(readFile(path), before);
}

// --- Counts, paragraphs, ranges ------------------------------------------------------------

TEST_P(Engine, CharacterCountCountsWhatWordCounts) {
  struct Case {
    const char* name;
    std::string body;
    std::int64_t count;
  };
  std::vector<Case> cases = {
      {"two paragraphs", p(r("abc")) + p(r("de")), 7},
      {"empty", p(), 1},
      {"tab and break", p(r("a") + "<w:r><w:tab/><w:br/></w:r>" + r("b")), 5},
      {"field code out, result in", p(r("x") + field(" PAGE ", "12")), 4},
      {"deleted text out", p(r("ab") + deleted("zzz")), 3},
      {"table: cell and row marks", table({{r("a"), r("b")}}) + p(r("end")), 9},
      {"surrogate pair counts two", p(r("\xF0\x9F\x98\x80x")), 4},
      {"Chinese", p(r("中文字")), 4},
      {"text box not counted", p(r("ab") + textBox("inside")), 3},
      {"no paragraph: Word's final mark", "", 1},
      {"ending with a table: and a final mark", table({{r("a")}}), 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto doc = open(build(DocxBuilder().body(c.body), "count.docx"));
    EXPECT_EQ(doc->mainStory().characterCount(), c.count);
  }
}

TEST_P(Engine, ParagraphsWithPositionsAndRangeText) {
  auto path = body(p(r("Title line")) + p(r("second")) + table({{r("a"), r("bc")}}) + p(r("end")));
  auto doc = open(path);
  auto& s = doc->mainStory();
  auto ps = s.paragraphs();
  // text, start, end, inTable, cellEnd, rowEnd
  using Row = std::tuple<std::string, std::int64_t, std::int64_t, bool, bool, bool>;
  std::vector<Row> rows;
  for (const auto& para : ps) rows.emplace_back(para.text, para.start, para.end, para.inTable, para.cellEnd, para.rowEnd);
  ASSERT_EQ(rows, (std::vector<Row>{{"Title line", 0, 11, false, false, false}, {"second", 11, 18, false, false, false},
                                    {"a", 18, 20, true, true, false}, {"bc", 20, 23, true, true, false},
                                    {"", 23, 24, true, false, true}, {"end", 24, 28, false, false, false}}));
  EXPECT_EQ(ps[5].end, s.characterCount());
  EXPECT_EQ(s.text(ps[0].start, ps[0].end), "Title line\r");
  EXPECT_EQ(s.text(0 + 2, 0 + 5), "tle");
  EXPECT_EQ(s.text(6, 13), "line\rse");
  EXPECT_EQ(s.text(ps[2].start, ps[2].end), "a\r\a");
  EXPECT_EQ(s.text(5, 2), "");
  EXPECT_EQ(s.text(ps[5].start, 1000), "end\r");
}

// Word adds an empty final paragraph to a body that has none or ends with a table; a
// replacement next to it works and does not write it.
TEST_P(Engine, AFinalParagraphMarkIsAlwaysThere) {
  auto empty = open(body(""));
  auto ps = empty->mainStory().paragraphs();
  ASSERT_EQ(ps.size(), 1u);
  EXPECT_EQ(ps[0].text, "");
  EXPECT_EQ(ps[0].end, 1);
  empty->close();  // the next document is written at the same path

  auto path = body(table({{r("cell text")}}));
  auto doc = open(path);
  ps = doc->mainStory().paragraphs();
  ASSERT_EQ(ps.size(), 3u);
  EXPECT_TRUE(ps[1].rowEnd);
  EXPECT_EQ(ps[2].text, "");
  EXPECT_FALSE(ps[2].inTable);
  EXPECT_EQ(doc->mainStory().replaceAll("text^p", "x"), 0);
  EXPECT_EQ(doc->mainStory().replaceAll("text", "body"), 1);
  doc->save();
  doc->close();
  auto again = open(path);
  EXPECT_EQ(again->mainStory().paragraphs()[0].text, "cell body");
}

// Paragraphs follow replacements; a surrogate pair counts two; a section break reads as \f.
TEST_P(Engine, PositionsFollowReplacementsSurrogatePairsAndSectionBreaks) {
  auto doc = open(build(DocxBuilder().body(p(r("one two"))), "split.docx"));
  auto& split = doc->mainStory();
  EXPECT_EQ(split.paragraphs().size(), 1u);
  ASSERT_EQ(split.replaceAll(" ", "^p"), 1);
  EXPECT_EQ(storyTexts(split), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(split.characterCount(), 8);

  doc = open(build(DocxBuilder().body(p(r("\xF0\x9F\x98\x80x")) + p(r("y"))), "pair.docx"));
  auto& pair = doc->mainStory();
  auto ps = pair.paragraphs();
  ASSERT_EQ(ps.size(), 2u);
  EXPECT_EQ(ps[0].end, 4);
  EXPECT_EQ(ps[1].start, 4);
  EXPECT_EQ(pair.text(0, 3), "\xF0\x9F\x98\x80x");
  EXPECT_EQ(pair.text(2, 5), "x\ry");

  doc = open(build(DocxBuilder().body(p(r("sec one"), "<w:sectPr/>") + p(r("sec two"))), "sections.docx"));
  EXPECT_EQ(doc->mainStory().text(0, 16), "sec one\fsec two\r");
  EXPECT_EQ(doc->mainStory().replaceAll("one^psec", "x"), 0);  // a section break is not a paragraph mark
}

// --- Threads -------------------------------------------------------------------------------

TEST_P(Engine, DifferentDocumentsOnDifferentThreads) {
  constexpr int kDocs = 8;
  std::vector<std::filesystem::path> paths;
  for (int i = 0; i < kDocs; ++i)
    paths.push_back(build(DocxBuilder().body(p(r("doc " + std::to_string(i) + " with WORD and word")) +
                                              table({{r("word")}})),
                          "d" + std::to_string(i) + ".docx"));
  std::vector<int> counts(kDocs, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = t; i < kDocs; i += 4) {
        auto doc = open(paths[i]);
        counts[i] = doc->mainStory().replaceAll("word", "text");
        doc->save();
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int i = 0; i < kDocs; ++i) {
    EXPECT_EQ(counts[i], 3);
    EXPECT_EQ(paras(paths[i]), (std::vector<std::string>{"doc " + std::to_string(i) + " with TEXT and text", "text"}));
  }
}

// --- Headers and footers -------------------------------------------------------------------

using vm::word::HeaderFooterKind;
using vm::word::StoryId;
using vm::word::StoryKind;

const char* kFtrType = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
const char* kFtrRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";

// Two sections: the first with a title page, its own default and first-page headers and a
// default footer; the second with a default header of its own.
DocxBuilder twoSections() {
  return DocxBuilder()
      .body(p(r("body text")) +
            p(r("page two"), "<w:pageBreakBefore/><w:sectPr>" + hfRef("header", "default", "rIdA") +
                                 hfRef("header", "first", "rIdB") + hfRef("footer", "default", "rIdF") +
                                 "<w:titlePg/></w:sectPr>") +
            p(r("second section")) + "<w:sectPr>" + hfRef("header", "default", "rIdC") + "</w:sectPr>")
      .part("word/header1.xml", hfPart("hdr", p(r("default head text"))), kHdrType, kHdrRel, "rIdA")
      .part("word/header2.xml", hfPart("hdr", p(r("first head text"))), kHdrType, kHdrRel, "rIdB")
      .part("word/header3.xml", hfPart("hdr", p(r("second head")) + p(r("text"))), kHdrType, kHdrRel, "rIdC")
      .part("word/footer1.xml", hfPart("ftr", p(r("foot [L]"))), kFtrType, kFtrRel, "rIdF");
}

TEST_P(Engine, HeaderAndFooterStoriesWorkLikeTheMainText) {
  auto picture = dir.file("logo.png");
  writeFile(picture, png(8, 8));
  auto path = build(twoSections());
  auto doc = open(path);
  SKIP_IF_UNSUPPORTED(doc->ensureStory(StoryKind::Header).id());
  ASSERT_EQ(doc->stories(StoryKind::Header).size(), 3u);
  auto headers = [&] {
    return std::vector<vm::word::Story*>{storyWithId(*doc, StoryKind::Header, 0, HeaderFooterKind::Default),
                                         storyWithId(*doc, StoryKind::Header, 0, HeaderFooterKind::FirstPage),
                                         storyWithId(*doc, StoryKind::Header, 1, HeaderFooterKind::Default)};
  };
  auto heads = headers();
  ASSERT_TRUE(heads[0] && heads[1] && heads[2]);
  EXPECT_EQ(storyTexts(*heads[2]), (std::vector<std::string>{"second head", "text"}));
  EXPECT_EQ(heads[2]->characterCount(), 17);
  // (The office also lists the footer the second section shows through the first's.)
  std::vector<vm::word::Story*> feet{storyWithId(*doc, StoryKind::Footer, 0, HeaderFooterKind::Default)};
  ASSERT_NE(feet[0], nullptr);

  // Each story replaces in its own text only.
  EXPECT_EQ(doc->mainStory().replaceAll("text", "words"), 1);
  EXPECT_EQ(heads[0]->replaceAll("TEXT", "words"), 1);
  EXPECT_EQ(heads[2]->replaceAll("head^p", ""), 1);
  EXPECT_EQ(feet[0]->replaceWithPicture("[l]", picture), 1);
  heads[1]->clear();
  EXPECT_EQ(storyTexts(*heads[1]), std::vector<std::string>{""});
  EXPECT_EQ(heads[1]->characterCount(), 1);
  doc->save();
  doc->close();

  doc = open(path);
  heads = headers();
  ASSERT_TRUE(heads[0] && heads[1] && heads[2]);
  EXPECT_EQ(storyTexts(*heads[0]), std::vector<std::string>{"default head words"});
  EXPECT_EQ(storyTexts(*heads[1]), std::vector<std::string>{""});
  EXPECT_EQ(storyTexts(*heads[2]), std::vector<std::string>{"second text"});
  EXPECT_EQ(storyTexts(doc->mainStory())[0], "body words");
  // "foot ", the picture, the mark (the office counts an inline picture as nothing: tests/office/main.cpp)
  if (writesPackage()) EXPECT_EQ(storyWithId(*doc, StoryKind::Footer, 0, HeaderFooterKind::Default)->characterCount(), 7);
  doc->close();
  if (writesPackage()) {  // the picture's relationship belongs to the footer part
    std::string rels = readPart(path, "word/_rels/footer1.xml.rels");
    EXPECT_NE(rels.find(kImageRel), std::string::npos) << rels;
    EXPECT_EQ(readPart(path, "word/_rels/document.xml.rels").find(kImageRel), std::string::npos);
  }
}

TEST_P(Engine, EnsureStoryGivesTheCurrentPageHeaderOrFooter) {
  // A document without any: both are made, empty, for the first section.
  auto bare = body(p(r("x")));
  auto doc = open(bare);
  SKIP_IF_UNSUPPORTED(doc->ensureStory(StoryKind::Header).id());
  vm::word::Story& head = doc->ensureStory(StoryKind::Header);
  EXPECT_EQ(head.id(), (StoryId{StoryKind::Header, 0, HeaderFooterKind::Default}));
  EXPECT_EQ(&doc->ensureStory(StoryKind::Header), &head);
  EXPECT_EQ(doc->stories(StoryKind::Header), std::vector<vm::word::Story*>{&head});
  EXPECT_EQ(doc->ensureStory(StoryKind::Footer).id(), (StoryId{StoryKind::Footer, 0, HeaderFooterKind::Default}));
  doc->save();
  doc->close();
  doc = open(bare);
  ASSERT_EQ(doc->stories(StoryKind::Header).size(), 1u);
  ASSERT_EQ(doc->stories(StoryKind::Footer).size(), 1u);
  EXPECT_EQ(storyTexts(*doc->stories(StoryKind::Header)[0]), std::vector<std::string>{""});
  EXPECT_EQ(storyTexts(doc->mainStory()), std::vector<std::string>{"x"});
  doc->close();
  if (writesPackage()) {
    std::string types = readPart(bare, "[Content_Types].xml");
    EXPECT_NE(types.find(kHdrType), std::string::npos);
    EXPECT_NE(types.find(kFtrType), std::string::npos);
  }

  // A title page: page 1 shows the first-page header (there) and footer (made).
  auto path = build(twoSections(), "two.docx");
  doc = open(path);
  vm::word::Story* first = storyWithId(*doc, StoryKind::Header, 0, HeaderFooterKind::FirstPage);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(&doc->ensureStory(StoryKind::Header), first);
  EXPECT_FALSE(doc->modified());
  EXPECT_EQ(doc->ensureStory(StoryKind::Footer).id(), (StoryId{StoryKind::Footer, 0, HeaderFooterKind::FirstPage}));
  doc->save();
  doc->close();
  doc = open(path);
  ASSERT_EQ(doc->stories(StoryKind::Footer).size(), 2u);
  auto* foot = storyWithId(*doc, StoryKind::Footer, 0, HeaderFooterKind::Default);
  ASSERT_NE(foot, nullptr);
  EXPECT_EQ(storyTexts(*foot), std::vector<std::string>{"foot [L]"});
  EXPECT_NE(storyWithId(*doc, StoryKind::Footer, 0, HeaderFooterKind::FirstPage), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Backends, Engine, ::testing::ValuesIn(engineOpeners()), openerName);

}  // namespace
