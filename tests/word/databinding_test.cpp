// Replacing text in a data-bound content control also writes the control's new text into the
// custom XML node it is bound to (or the document property), so that Word, which re-reads the
// bound data when it opens the document, shows the replacement and not the old text.

#include <gtest/gtest.h>

#include <set>

#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/docx/databinding.h"
#include "word/document.h"

using namespace vm::test;
using namespace vm::word;

namespace {

const std::string kStoreId = "{3F9A3C2E-7B1D-4E8A-9C55-0D2B6A1E4F70}";
const std::string kItem = "customXml/item1.xml";
const std::string kCustomXmlRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml";

std::string itemProps(const std::string& id) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
         "<ds:datastoreItem ds:itemID=\"" + id + "\" "
         "xmlns:ds=\"http://schemas.openxmlformats.org/officeDocument/2006/customXml\"><ds:schemaRefs/></ds:datastoreItem>";
}

std::string itemRels(const std::string& props = "itemProps1.xml") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXmlProps\" "
         "Target=\"" + props + "\"/></Relationships>";
}

const std::string kProlog = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

// A document whose body is `body` and whose custom XML item (id kStoreId) holds `data`.
DocxBuilder storeDoc(const std::string& body, const std::string& data, const std::string& id = kStoreId) {
  DocxBuilder b;
  b.body(body)
      .part(kItem, kProlog + data, "", kCustomXmlRel, "rIdItem1")
      .part("customXml/itemProps1.xml", itemProps(id),
            "application/vnd.openxmlformats-officedocument.customXmlProperties+xml")
      .part("customXml/_rels/item1.xml.rels", itemRels());
  return b;
}

std::string binding(const std::string& xpath, const std::string& mappings, const std::string& id) {
  return "<w:dataBinding w:prefixMappings=\"" + xmlEscape(mappings) + "\" w:xpath=\"" + xmlEscape(xpath) +
         "\" w:storeItemID=\"" + id + "\"/>";
}

// An inline plain-text control bound to xpath, holding one run of text.
std::string boundRun(const std::string& text, const std::string& xpath, const std::string& mappings,
                     const std::string& id = kStoreId, const std::string& pr = "<w:text/>") {
  return "<w:sdt><w:sdtPr>" + binding(xpath, mappings, id) + pr + "</w:sdtPr><w:sdtContent>" + r(text) +
         "</w:sdtContent></w:sdt>";
}

// A block-level control holding paragraphs of raw XML.
std::string boundBlock(const std::string& paragraphs, const std::string& xpath, const std::string& mappings,
                       const std::string& pr = "<w:text w:multiLine=\"1\"/>") {
  return "<w:sdt><w:sdtPr>" + binding(xpath, mappings, kStoreId) + pr + "</w:sdtPr><w:sdtContent>" + paragraphs +
         "</w:sdtContent></w:sdt>";
}

const std::string kNs0 = "xmlns:ns0='urn:vm:data'";

// Data under the root d:r of urn:vm:data.
std::string data(const std::string& inner) { return "<d:r xmlns:d=\"urn:vm:data\">" + inner + "</d:r>"; }

int replaceIn(const std::filesystem::path& path, const std::string& find, const std::string& repl) {
  auto doc = vm::word::open(path);
  int n = doc->mainStory().replaceAll(find, repl);
  doc->save();
  return n;
}

// Entry names whose uncompressed bytes differ between two packages.
std::set<std::string> changedParts(const std::filesystem::path& before, const std::filesystem::path& after) {
  std::set<std::string> out;
  for (const auto& name : partNames(after))
    if (!hasPart(before, name) || readPart(before, name) != readPart(after, name)) out.insert(name);
  return out;
}

struct Fixture {
  TempDir dir;
  std::filesystem::path path, original;
  Fixture(const DocxBuilder& b) : path(b.write(dir.file("a.docx"))), original(b.write(dir.file("orig.docx"))) {}
  std::string item() const { return readPart(path, kItem); }
  std::string text() const { return partText(readPart(path, "word/document.xml")); }
  std::set<std::string> changed() const { return changedParts(original, path); }
};

const std::set<std::string> kMainOnly = {"word/document.xml"};
const std::set<std::string> kMainAndItem = {"word/document.xml", kItem};

// Replaces in a row on one document; then the store item, the paragraphs, and which parts
// changed: the main part, and the item only when its data did.
TEST(DataBinding, BoundDataTakesTheControlsNewText) {
  struct Step {
    std::string find, replacement;
    int count;
  };
  struct Case {
    const char* what;
    std::string body, data;
    std::vector<Step> steps;
    std::string item;  // the store item's data after the steps
    std::vector<std::string> paragraphs;
    std::vector<std::string> mainHolds = {};
    bool tracked = false;
  };
  const std::string attrs = kNs0 + " xmlns:ns1='urn:vm:meta'";
  const std::string twice = boundRun("Draft plan", "/ns0:r[1]/ns0:title[1]", kNs0);
  const std::string list =
      "<w:listItem w:displayText=\"Pending\" w:value=\"p1\"/><w:listItem w:displayText=\"Done\" w:value=\"d1\"/>";
  const std::string lists =
      p(boundRun("Pending", "/ns0:r[1]/ns0:s[1]", kNs0, kStoreId, "<w:dropDownList>" + list + "</w:dropDownList>")) +
      p(boundRun("Pending", "/ns0:r[1]/ns0:t[1]", kNs0, kStoreId, "<w:comboBox>" + list + "</w:comboBox>"));
  const std::string firstSecond = boundBlock(p(r("first")) + p(r("second")), "/ns0:r[1]/ns0:b[1]", kNs0);
  const std::string otherId = "{00000000-1111-2222-3333-444444444444}";
  auto unbound = [](const char* what, const std::string& control,
                    const std::string& stored = data("<d:a>old</d:a><d:b><d:c>old</d:c></d:b>")) {
    return Case{what, p(control), stored, {{"old", "new", 1}}, stored, {"new"}};
  };
  const Case cases[] = {
      {"the binding says ns0, the data says d: the same namespace",
       p(r("To: ") + boundRun("Alpha Ltd", "/ns0:order[1]/ns0:customer[1]", kNs0)),
       "<d:order xmlns:d=\"urn:vm:data\"><d:customer>Alpha Ltd</d:customer><d:note>Alpha</d:note></d:order>",
       {{"Alpha", "Beta", 1}},
       "<d:order xmlns:d=\"urn:vm:data\"><d:customer>Beta Ltd</d:customer><d:note>Alpha</d:note></d:order>",
       {"To: Beta Ltd"}},
      {"a default namespace, the store id in small letters",
       p(boundRun("old name", "/ns0:root[1]/ns0:name[1]", kNs0, "{3f9a3c2e-7b1d-4e8a-9c55-0d2b6a1e4f70}")),
       "<root xmlns=\"urn:vm:data\"><name>old name</name></root>", {{"old", "new", 1}},
       "<root xmlns=\"urn:vm:data\"><name>new name</name></root>", {"new name"}},
      // As in XPath: /name does not select urn:vm:data's name.
      {"an unprefixed step names no namespace", p(boundRun("old", "/root[1]/name[1]", "")),
       "<root xmlns=\"urn:vm:data\"><name>old</name></root>", {{"old", "new", 1}},
       "<root xmlns=\"urn:vm:data\"><name>old</name></root>", {"new"}},
      // Written with double quotes: a value read from single quotes keeps its quote.
      {"attributes",
       p(boundRun("A-1", "/ns0:doc[1]/@code", attrs)) + p(boundRun("A-2", "/ns0:doc[1]/@ns1:code", attrs)),
       "<d:doc xmlns:d=\"urn:vm:data\" xmlns:m=\"urn:vm:meta\" code=\"A-1\" m:code=\"A-2\" n='say \"hi\"'/>",
       {{"A-", "B\"&<", 2}},
       "<d:doc xmlns:d=\"urn:vm:data\" xmlns:m=\"urn:vm:meta\" code=\"B&quot;&amp;&lt;1\" "
       "m:code=\"B&quot;&amp;&lt;2\" n=\"say &quot;hi&quot;\"/>",
       {"B\"&<1", "B\"&<2"}},
      {"two controls bound to one node and a third to the next node of that name",
       p(twice) + p(r("see ") + twice) + p(boundRun("Draft 2", "/ns0:r[1]/ns0:title[2]", kNs0)),
       data("<d:title>Draft plan</d:title><d:title>Draft 2</d:title>"), {{"Draft", "Final", 3}},
       data("<d:title>Final plan</d:title><d:title>Final 2</d:title>"), {"Final plan", "see Final plan", "Final 2"}},
      {"a multi-line control's plain text",
       boundBlock(p(r("12 Old Road")) + p(r("Old") + "<w:r><w:tab/><w:t>Town</w:t><w:br/><w:t>North</w:t></w:r>"),
                  "/ns0:r[1]/ns0:addr[1]", kNs0) +
           p(r("after")),
       data("<d:addr>x</d:addr>"), {{"Old", "New", 2}}, data("<d:addr>12 New Road\nNew\tTown\nNorth</d:addr>"),
       {"12 New Road", "New\tTown\nNorth", "after"}},
      // A control inside a hyperlink: the match starts before it, so the replacement goes before it.
      {"matches across the control's edge and paragraph marks inside",
       p(r("pre ") + "<w:hyperlink w:anchor=\"top\">" + boundRun("old value", "/ns0:r[1]/ns0:a[1]", kNs0) +
         "</w:hyperlink>") +
           firstSecond + p(r("end")),
       data("<d:a>x</d:a><d:b>x</d:b>"), {{"pre old", "new", 1}, {"first^psecond", "one", 1}},
       data("<d:a> value</d:a><d:b>one</d:b>"), {"new value", "one", "end"}},
      // Split in two, the control would be two controls that both show the whole bound text.
      {"a paragraph mark in an inline control becomes a line break",
       p(r("Alpha: ") + boundRun("Alpha Ltd", "/ns0:r[1]/ns0:a[1]", kNs0)), data("<d:a>x</d:a>"),
       {{"Alpha", "Beta^pGamma", 2}}, data("<d:a>Beta\nGamma Ltd</d:a>"), {"Beta", "Gamma: Beta\nGamma Ltd"}},
      {"a control showing its placeholder shows the new text",
       p(boundRun("[name]", "/ns0:r[1]/ns0:a[1]", kNs0, kStoreId, "<w:showingPlcHdr/><w:text/>")),
       data("<d:a></d:a>"), {{"[name]", "A & B <C>", 1}}, data("<d:a>A &amp; B &lt;C&gt;</d:a>"), {"A & B <C>"}},
      {"list controls store the item's value", lists, data("<d:s>p1</d:s><d:t>c1</d:t>"),
       {{"Pending", "Done", 2}}, data("<d:s>d1</d:s><d:t>d1</d:t>"), {"Done", "Done"}},
      {"text no list item shows is stored as it is", lists, data("<d:s>p1</d:s><d:t>c1</d:t>"),
       {{"Pending", "Done", 2}, {"Done", "Later", 2}}, data("<d:s>Later</d:s><d:t>Later</d:t>"), {"Later", "Later"}},
      // Track Changes on: the data takes what Word shows, the inserted text and not the deleted.
      {"tracked replacements", p(r("Name: ") + boundRun("Old Ltd", "/ns0:r[1]/ns0:a[1]", kNs0)) + firstSecond,
       data("<d:a>x</d:a><d:b>x</d:b>"), {{"Old", "New", 1}, {"first^psecond", "one", 1}},
       data("<d:a>New Ltd</d:a><d:b>one</d:b>"), {"Name: New Ltd", "one", ""},  // the marked mark keeps them apart
       {">Old</w:delText>", "<w:t>New</w:t></w:r></w:ins>"}, true},
      // Nothing to bind to: the data stays as it was.
      unbound("no store item with the id", boundRun("old", "/ns0:r[1]/ns0:a[1]", kNs0, otherId)),
      unbound("the path selects nothing", boundRun("old", "/ns0:r[1]/ns0:a[2]", kNs0)),
      unbound("a prefix the mappings do not bind", boundRun("old", "/ns9:r[1]/ns9:a[1]", kNs0)),
      unbound("an expression Word does not write", boundRun("old", "//ns0:a", kNs0)),
      unbound("not a leaf", boundRun("old", "/ns0:r[1]/ns0:b[1]", kNs0)),
      unbound("a picture control", boundRun("old", "/ns0:r[1]/ns0:a[1]", kNs0, kStoreId, "<w:picture/>")),
      unbound("a damaged store part", boundRun("old", "/ns0:r[1]/ns0:a[1]", kNs0),
              "<d:r xmlns:d=\"urn:vm:data\"><d:a>old"),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DocxBuilder b = storeDoc(c.body, c.data);
    if (c.tracked) b.settings("<w:trackRevisions/>");
    Fixture f(b);
    for (const Step& s : c.steps) EXPECT_EQ(replaceIn(f.path, s.find, s.replacement), s.count) << s.find;
    EXPECT_EQ(f.item(), kProlog + c.item);
    const std::string xml = readPart(f.path, "word/document.xml");
    EXPECT_EQ(paragraphTexts(xml), c.paragraphs);
    for (const std::string& held : c.mainHolds) EXPECT_NE(xml.find(held), std::string::npos) << held;
    EXPECT_EQ(xml.find("showingPlcHdr"), std::string::npos);
    EXPECT_EQ(f.changed(), c.item == c.data ? kMainOnly : kMainAndItem);
    EXPECT_NO_THROW(vm::word::open(f.path));  // the saved package opens again
  }
  // A document without any custom XML.
  TempDir dir;
  auto path = DocxBuilder().body(p(boundRun("old", "/ns0:r[1]/ns0:a[1]", kNs0))).write(dir.file("bare.docx"));
  EXPECT_EQ(replaceIn(path, "old", "new"), 1);
  EXPECT_EQ(partText(readPart(path, "word/document.xml")), "new");
}

TEST(DataBinding, MatchesOutsideControlsOrUnchangedTextKeepTheDataByteForByte) {
  Fixture f(storeDoc(p(r("other words ") + boundRun("Same text", "/ns0:r[1]/ns0:a[1]", kNs0)),
                     data("<d:a>Same text</d:a>")));
  auto before = entries(f.path);
  EXPECT_EQ(replaceIn(f.path, "other", "more"), 1);
  EXPECT_EQ(replaceIn(f.path, "Same", "Same"), 1);  // replaced by itself: the control's text is as it was
  EXPECT_EQ(f.text(), "more words Same text");
  auto after = entries(f.path);
  for (const auto& b : before) {
    if (b.name == "word/document.xml") continue;
    auto a = std::find_if(after.begin(), after.end(), [&](const EntryInfo& e) { return e.name == b.name; });
    ASSERT_NE(a, after.end()) << b.name;
    EXPECT_EQ(a->crc, b.crc) << b.name;
    EXPECT_EQ(readRawEntry(f.path, b.name), readRawEntry(f.original, b.name)) << b.name << " was recompressed";
  }
}

TEST(DataBinding, DatePickersStoreTheDate) {
  auto picker = [](const std::string& format, const std::string& extra = "") {
    return "<w:date w:fullDate=\"2026-01-05T00:00:00Z\"><w:dateFormat w:val=\"" + xmlEscape(format) +
           "\"/><w:lid w:val=\"zh-CN\"/>" + extra + "</w:date>";
  };
  Fixture f(storeDoc(
      p(boundRun("2026年1月5日", "/ns0:r[1]/ns0:a[1]", kNs0, kStoreId, picker("yyyy'年'M'月'd'日'"))) +
          p(boundRun("January 5, 2026", "/ns0:r[1]/ns0:b[1]", kNs0, kStoreId, picker("MMMM d, yyyy"))) +
          p(boundRun("Mon 05/01/26", "/ns0:r[1]/ns0:c[1]", kNs0, kStoreId,
                     picker("ddd dd/MM/yy", "<w:storeMappedDataAs w:val=\"date\"/>"))) +
          p(boundRun("5 Jan 2026 10:30", "/ns0:r[1]/ns0:e[1]", kNs0, kStoreId, picker("d MMM yyyy h:mm"))),
      data("<d:a>2026-01-05</d:a><d:b>2026-01-05T00:00:00</d:b><d:c></d:c><d:e>x</d:e>")));
  EXPECT_EQ(replaceIn(f.path, "2026", "2027"), 3);
  EXPECT_EQ(replaceIn(f.path, "26", "27"), 1);
  // The date in the data's own form; a format with a time is kept as text.
  EXPECT_EQ(f.item(), kProlog + data("<d:a>2027-01-05</d:a><d:b>2027-01-05T00:00:00</d:b><d:c>2027-01-05</d:c>"
                                     "<d:e>5 Jan 2027 10:30</d:e>"));
  std::string xml = readPart(f.path, "word/document.xml");
  EXPECT_EQ(occurrences(xml, "w:fullDate=\"2027-01-05T00:00:00Z\""), 3u);
  EXPECT_EQ(occurrences(xml, "w:fullDate=\"2026-01-05T00:00:00Z\""), 1u);
  // Text that is no date of the format goes in as it is.
  EXPECT_EQ(replaceIn(f.path, "1月", "十三月"), 1);
  EXPECT_NE(f.item().find("<d:a>2027年十三月5日</d:a>"), std::string::npos);
}

TEST(DataBinding, DocumentPropertiesAndPictures) {
  TempDir dir;
  std::string mappings =
      "xmlns:ns0='http://purl.org/dc/elements/1.1/' "
      "xmlns:ns1='http://schemas.openxmlformats.org/package/2006/metadata/core-properties'";
  const std::string extended = "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
  auto path =
      DocxBuilder()
          .body(p(boundRun("test", "/ns1:coreProperties[1]/ns0:title[1]", mappings,
                           "{6C3C8BC8-F283-45AE-878A-BAB7291924A1}")) +
                p(boundRun("Old Co", "/ns0:Properties[1]/ns0:Company[1]", "xmlns:ns0='" + extended + "'",
                           "{6668398D-A668-4E3E-A5EB-62B293D839F1}")))
          .part("docProps/app.xml", kProlog + "<Properties xmlns=\"" + extended + "\"><Company>Old Co</Company></Properties>")
          .overridePart("_rels/.rels",
                        kProlog + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
                        "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" Target=\"docProps/app.xml\"/>"
                        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
                        "</Relationships>")
          .write(dir.file("a.docx"));
  EXPECT_EQ(replaceIn(path, "test", "Annual report"), 1);
  EXPECT_EQ(replaceIn(path, "Old", "New"), 1);
  EXPECT_NE(readPart(path, "docProps/core.xml").find("<dc:title>Annual report</dc:title>"), std::string::npos);
  EXPECT_NE(readPart(path, "docProps/app.xml").find("<Company>New Co</Company>"), std::string::npos);

  // A picture takes the place of the word: the bound text is what remains around it.
  writeFile(dir.file("pic.png"), png(4, 2));
  {
    auto doc = vm::word::open(path);
    EXPECT_EQ(doc->mainStory().replaceWithPicture("report", dir.file("pic.png")), 1);
    doc->save();
  }
  EXPECT_NE(readPart(path, "docProps/core.xml").find("<dc:title>Annual </dc:title>"), std::string::npos);
}

TEST(DataBinding, StoreItemsNotRelatedFromTheMainPart) {
  // Some writers leave the main part's relationship to the item out; the item is still found
  // through its properties.
  TempDir dir;
  auto path = DocxBuilder()
                  .body(p(boundRun("old", "/ns0:r[1]/ns0:a[1]", kNs0)))
                  .part("customXml/item3.xml", kProlog + data("<d:a>old</d:a>"))
                  .part("customXml/itemProps3.xml", itemProps(kStoreId))
                  .part("customXml/_rels/item3.xml.rels", itemRels("itemProps3.xml"))
                  .write(dir.file("a.docx"));
  EXPECT_EQ(replaceIn(path, "old", "new"), 1);
  EXPECT_EQ(readPart(path, "customXml/item3.xml"), kProlog + data("<d:a>new</d:a>"));
}

// The path forms themselves, on one parsed part.
TEST(DataBinding, PathForms) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      "<a:root xmlns:a=\"urn:a\" xmlns:b=\"urn:b\" id=\"7\"><a:x>1</a:x><b:x>2</b:x><a:x b:k=\"v\">3</a:x>"
      "<a:y><a:z>4</a:z></a:y></a:root>"));
  const std::string m = "xmlns:p='urn:a' xmlns:q=&quot;urn:b&quot;";
  auto text = [&](const std::string& xpath) -> std::string {
    auto node = vm::word::docx::selectBoundNode(doc, xpath, m);
    if (!node) return "(none)";
    if (node.attribute) return std::string("@") + node.attribute.value();
    return node.element.text().get();
  };
  EXPECT_EQ(text("/p:root[1]/p:x[1]"), "1");
  EXPECT_EQ(text("/p:root[1]/p:x[2]"), "3");
  EXPECT_EQ(text("/p:root/p:x"), "1");  // without positions: the first
  EXPECT_EQ(text("/p:root[1]/q:x[1]"), "2");
  EXPECT_EQ(text(" /p:root[1]/p:y[1]/p:z[1] "), "4");
  EXPECT_EQ(text("/p:root[1]/p:x[2]/text()"), "3");
  EXPECT_EQ(text("/p:root[1]/p:x[2][1]"), "3");
  EXPECT_EQ(text("/p:root[1]/@id"), "@7");
  EXPECT_EQ(text("/p:root[1]/p:x[2]/@q:k"), "@v");
  EXPECT_EQ(text("/p:root[1]/*[2]"), "2");
  for (const char* none : {"/p:root[1]/p:x[3]", "/p:root[1]/p:x[2][2]", "/p:root[1]/p:x[0]", "/root[1]",
                           "p:root[1]", "/p:root[1]//p:z", "/p:root[1]/p:x[last()]", "/p:root[1]/p:x[@id='1']",
                           "/r:root[1]", "/p:root[1]/@p:id", "/p:root[1]/@id/p:x", "", "/"})
    EXPECT_EQ(text(none), "(none)") << none;
}

}  // namespace
