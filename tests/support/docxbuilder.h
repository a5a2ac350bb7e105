#pragma once
// Small .docx packages built inside a test, and helpers to look into packages.
//
//   using namespace vm::test;
//   TempDir dir;
//   auto path = DocxBuilder()
//                   .body(p(r("Hello ") + r("world", "<w:b/>")))
//                   .header(p(r("page header")))
//                   .write(dir.file("a.docx"));
//   std::string xml = readPart(path, "word/document.xml");
//   EXPECT_EQ(paragraphTexts(xml), std::vector<std::string>{"Hello world"});
//
// The package is what Word writes at its smallest: [Content_Types].xml, _rels/.rels,
// the main part (word/document.xml unless mainPart() says otherwise) with its relationships,
// docProps/core.xml, and the optional parts asked for. Each XML snippet is the *inside* of the
// part's root element; the root carries the usual namespaces (w, r, wp, a, pic, mc, v, o, w10,
// w14, wps, wpg, m) and mc:Ignorable="w14". When the body has no <w:sectPr>, one is appended
// that references the header and footer (r:id "rIdHdr1", "rIdFtr1") if they were given.
// Relationship ids from the main part: rIdHdr1, rIdFtr1, rIdComments, rIdFootnotes,
// rIdEndnotes, rIdStyles, rIdSettings; extra parts get the id passed to part().

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vm::test {

// XML escaping of text for element content and attribute values (& < > " ').
std::string xmlEscape(const std::string& text);

// <w:r>[<w:rPr>rPr</w:rPr>]<w:t xml:space="preserve">text</w:t></w:r>; text is escaped.
std::string r(const std::string& text, const std::string& rPr = "");
// <w:p>[<w:pPr>pPr</w:pPr>]inner</w:p>; inner is raw XML (runs, hyperlinks, ...).
std::string p(const std::string& inner = "", const std::string& pPr = "");
// A one-cell-per-entry table row by row: each cell holds one paragraph of raw XML.
std::string table(const std::vector<std::vector<std::string>>& cellsInner);

// The namespace declarations put on every root element (for hand-written parts).
const std::string& standardNamespaces();

class DocxBuilder {
 public:
  // Inside of <w:body>.
  DocxBuilder& body(std::string xml);
  // Insides of <w:hdr>, <w:ftr>, <w:comments>, <w:footnotes>, <w:endnotes>, <w:styles>,
  // <w:settings>.
  DocxBuilder& header(std::string xml);
  DocxBuilder& footer(std::string xml);
  DocxBuilder& comments(std::string xml);
  DocxBuilder& footnotes(std::string xml);
  DocxBuilder& endnotes(std::string xml);
  DocxBuilder& styles(std::string xml);
  DocxBuilder& settings(std::string xml);
  // Main part name, e.g. "word/document2.xml" or "doc/main.xml" (default word/document.xml).
  DocxBuilder& mainPart(std::string name);
  // Main part content type (default: plain document; use macroEnabled/template for .docm/.dotx).
  DocxBuilder& mainContentType(std::string contentType);
  // Any other part, written verbatim. With relType, a relationship with relId from the main
  // part to it is added (target relative to the main part's folder); with contentType an
  // Override is added to [Content_Types].xml.
  DocxBuilder& part(std::string name, std::string data, std::string contentType = "",
                    std::string relType = "", std::string relId = "");
  // Replaces a generated part's bytes (e.g. "_rels/.rels" or "[Content_Types].xml").
  DocxBuilder& overridePart(std::string name, std::string data);
  // Leaves a generated part out of the package (e.g. the main part itself).
  DocxBuilder& omitPart(std::string name);
  // Store entries uncompressed instead of deflating them.
  DocxBuilder& stored(bool on = true);

  // The complete package bytes / written to path (returned for chaining).
  std::string bytes() const;
  std::filesystem::path write(const std::filesystem::path& path) const;

 private:
  struct Part {
    std::string name, data, contentType, relType, relId;
  };
  std::string body_;
  std::optional<std::string> header_, footer_, comments_, footnotes_, endnotes_, styles_, settings_;
  std::string mainPart_ = "word/document.xml";
  std::string mainType_ =
      "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
  std::vector<Part> extra_;
  std::vector<std::pair<std::string, std::string>> overrides_;
  std::vector<std::string> omitted_;
  bool stored_ = false;
};

// --- Looking into packages ---------------------------------------------------------------

// Entry names of a zip package in archive order.
std::vector<std::string> partNames(const std::filesystem::path& package);
bool hasPart(const std::filesystem::path& package, const std::string& name);
// The uncompressed bytes of one entry; throws std::runtime_error when absent.
std::string readPart(const std::filesystem::path& package, const std::string& name);

// Each entry's raw facts, for "copied without recompressing" checks.
struct EntryInfo {
  std::string name;
  std::uint64_t crc = 0, compressedSize = 0, size = 0;
  int method = 0;  // ZIP_CM_STORE 0, ZIP_CM_DEFLATE 8
};
std::vector<EntryInfo> entries(const std::filesystem::path& package);
// The stored (compressed) bytes of one entry, as they are in the file.
std::string readRawEntry(const std::filesystem::path& package, const std::string& name);

// The text of each <w:p> of an XML part, in the order the paragraphs open. A paragraph's text
// leaves out paragraphs nested in it (text boxes), which are entries of their own. w:t gives
// its text, w:tab "\t", w:br "\n" (a page break "\f"), w:cr "\n"; w:delText and w:instrText
// are skipped. Useful to check what a replace did.
std::vector<std::string> paragraphTexts(const std::string& partXml);
// All paragraph texts joined with "\n".
std::string partText(const std::string& partXml);
// How often needle occurs in a part's XML (occurrences that do not overlap).
std::size_t occurrences(const std::string& hay, const std::string& needle);

}  // namespace vm::test
