#include "support/docxbuilder.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <pugixml.hpp>
#include <stdexcept>

#include "support/tempdir.h"

namespace vm::test {

namespace {

const char* kPkgRel = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* kOfficeDoc =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
const char* kRelBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
const char* kCtBase = "application/vnd.openxmlformats-officedocument.wordprocessingml.";

std::string folderOf(const std::string& part) {
  auto slash = part.rfind('/');
  return slash == std::string::npos ? "" : part.substr(0, slash + 1);
}

std::string fileOf(const std::string& part) {
  auto slash = part.rfind('/');
  return slash == std::string::npos ? part : part.substr(slash + 1);
}

std::string root(const char* name, const std::string& inside) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<") + name +
         " " + standardNamespaces() + ">" + inside + "</" + name + ">";
}

struct ZipDeleter {
  void operator()(zip_t* z) const { zip_discard(z); }
};

[[noreturn]] void zipFail(const std::string& what, zip_error_t* err) {
  std::string msg = what + ": " + zip_error_strerror(err);
  zip_error_fini(err);
  throw std::runtime_error(msg);
}

std::unique_ptr<zip_t, ZipDeleter> openRead(const std::filesystem::path& package) {
  int code = 0;
  zip_t* z = zip_open(package.c_str(), ZIP_RDONLY, &code);
  if (!z) {
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    zipFail("cannot open package " + package.string(), &err);
  }
  return std::unique_ptr<zip_t, ZipDeleter>(z);
}

void appendText(const pugi::xml_node& node, std::string& out) {
  for (auto child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    std::string_view name = child.name();
    if (name == "w:p" || name == "w:delText" || name == "w:instrText") continue;
    if (name == "w:t") {
      out += child.text().get();
    } else if (name == "w:tab") {
      out += '\t';
    } else if (name == "w:br") {
      out += std::string_view(child.attribute("w:type").value()) == "page" ? '\f' : '\n';
    } else if (name == "w:cr") {
      out += '\n';
    } else {
      appendText(child, out);
    }
  }
}

}  // namespace

std::string xmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string r(const std::string& text, const std::string& rPr) {
  std::string out = "<w:r>";
  if (!rPr.empty()) out += "<w:rPr>" + rPr + "</w:rPr>";
  out += "<w:t xml:space=\"preserve\">" + xmlEscape(text) + "</w:t></w:r>";
  return out;
}

std::string p(const std::string& inner, const std::string& pPr) {
  std::string out = "<w:p>";
  if (!pPr.empty()) out += "<w:pPr>" + pPr + "</w:pPr>";
  return out + inner + "</w:p>";
}

std::string table(const std::vector<std::vector<std::string>>& cellsInner) {
  std::string out = "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tblGrid>";
  std::size_t cols = 0;
  for (const auto& row : cellsInner) cols = std::max(cols, row.size());
  for (std::size_t i = 0; i < cols; ++i) out += "<w:gridCol w:w=\"2000\"/>";
  out += "</w:tblGrid>";
  for (const auto& row : cellsInner) {
    out += "<w:tr>";
    for (const auto& cell : row)
      out += "<w:tc><w:tcPr><w:tcW w:w=\"2000\" w:type=\"dxa\"/></w:tcPr>" + p(cell) + "</w:tc>";
    out += "</w:tr>";
  }
  return out + "</w:tbl>";
}

const std::string& standardNamespaces() {
  static const std::string ns =
      "xmlns:wpc=\"http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas\" "
      "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
      "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
      "xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\" "
      "xmlns:v=\"urn:schemas-microsoft-com:vml\" "
      "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
      "xmlns:w10=\"urn:schemas-microsoft-com:office:word\" "
      "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
      "xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\" "
      "xmlns:wpg=\"http://schemas.microsoft.com/office/word/2010/wordprocessingGroup\" "
      "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
      "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
      "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\" "
      "mc:Ignorable=\"w14\"";
  return ns;
}

DocxBuilder& DocxBuilder::body(std::string xml) { body_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::header(std::string xml) { header_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::footer(std::string xml) { footer_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::comments(std::string xml) { comments_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::footnotes(std::string xml) { footnotes_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::endnotes(std::string xml) { endnotes_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::styles(std::string xml) { styles_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::settings(std::string xml) { settings_ = std::move(xml); return *this; }
DocxBuilder& DocxBuilder::mainPart(std::string name) { mainPart_ = std::move(name); return *this; }
DocxBuilder& DocxBuilder::mainContentType(std::string type) { mainType_ = std::move(type); return *this; }
DocxBuilder& DocxBuilder::stored(bool on) { stored_ = on; return *this; }

DocxBuilder& DocxBuilder::part(std::string name, std::string data, std::string contentType,
                               std::string relType, std::string relId) {
  extra_.push_back({std::move(name), std::move(data), std::move(contentType), std::move(relType),
                    std::move(relId)});
  return *this;
}

DocxBuilder& DocxBuilder::overridePart(std::string name, std::string data) {
  overrides_.emplace_back(std::move(name), std::move(data));
  return *this;
}

DocxBuilder& DocxBuilder::omitPart(std::string name) {
  omitted_.push_back(std::move(name));
  return *this;
}

std::string DocxBuilder::bytes() const {
  const std::string dir = folderOf(mainPart_);
  std::vector<std::pair<std::string, std::string>> parts;  // name, data, in archive order
  std::string overrides;
  std::string rels;
  auto addOverride = [&](const std::string& name, const std::string& type) {
    overrides += "<Override PartName=\"/" + name + "\" ContentType=\"" + type + "\"/>";
  };
  auto addRel = [&](const std::string& id, const std::string& type, const std::string& target) {
    rels += "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"/>";
  };

  addOverride(mainPart_, mainType_);
  std::vector<std::pair<std::string, std::string>> stories;
  auto story = [&](const std::optional<std::string>& xml, const char* file, const char* rootName,
                   const char* type, const char* relType, const char* id) {
    if (!xml) return;
    stories.emplace_back(dir + file, root(rootName, *xml));
    addOverride(dir + file, std::string(kCtBase) + type);
    addRel(id, std::string(kRelBase) + relType, file);
  };
  story(styles_, "styles.xml", "w:styles", "styles+xml", "styles", "rIdStyles");
  story(header_, "header1.xml", "w:hdr", "header+xml", "header", "rIdHdr1");
  story(footer_, "footer1.xml", "w:ftr", "footer+xml", "footer", "rIdFtr1");
  story(comments_, "comments.xml", "w:comments", "comments+xml", "comments", "rIdComments");
  story(footnotes_, "footnotes.xml", "w:footnotes", "footnotes+xml", "footnotes", "rIdFootnotes");
  story(endnotes_, "endnotes.xml", "w:endnotes", "endnotes+xml", "endnotes", "rIdEndnotes");
  story(settings_, "settings.xml", "w:settings", "settings+xml", "settings", "rIdSettings");
  for (const auto& e : extra_) {
    if (!e.contentType.empty()) addOverride(e.name, e.contentType);
    if (!e.relType.empty()) {
      std::string target = e.name.rfind(dir, 0) == 0 ? e.name.substr(dir.size()) : "/" + e.name;
      addRel(e.relId, e.relType, target);
    }
  }
  addOverride("docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");

  std::string bodyXml = body_;
  if (bodyXml.find("<w:sectPr") == std::string::npos) {
    bodyXml += "<w:sectPr>";
    if (header_) bodyXml += "<w:headerReference w:type=\"default\" r:id=\"rIdHdr1\"/>";
    if (footer_) bodyXml += "<w:footerReference w:type=\"default\" r:id=\"rIdFtr1\"/>";
    bodyXml += "<w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:top=\"1440\" w:right=\"1800\" "
               "w:bottom=\"1440\" w:left=\"1800\" w:header=\"851\" w:footer=\"992\" w:gutter=\"0\"/>"
               "</w:sectPr>";
  }

  parts.emplace_back("[Content_Types].xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                     "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                     "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                     "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
                         overrides + "</Types>");
  parts.emplace_back("_rels/.rels",
                     std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                                 "<Relationships xmlns=\"") + kPkgRel + "\">"
                     "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
                     "<Relationship Id=\"rId1\" Type=\"" + kOfficeDoc + "\" Target=\"" + mainPart_ + "\"/>"
                     "</Relationships>");
  parts.emplace_back(mainPart_, root("w:document", "<w:body>" + bodyXml + "</w:body>"));
  parts.emplace_back(dir + "_rels/" + fileOf(mainPart_) + ".rels",
                     std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                                 "<Relationships xmlns=\"") + kPkgRel + "\">" + rels + "</Relationships>");
  for (auto& s : stories) parts.push_back(std::move(s));
  for (const auto& e : extra_) parts.emplace_back(e.name, e.data);
  parts.emplace_back("docProps/core.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                     "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
                     "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>test</dc:title></cp:coreProperties>");
  for (const auto& over : overrides_) {
    auto it = std::find_if(parts.begin(), parts.end(), [&](auto& x) { return x.first == over.first; });
    if (it != parts.end()) it->second = over.second; else parts.emplace_back(over.first, over.second);
  }
  for (const auto& name : omitted_)
    parts.erase(std::remove_if(parts.begin(), parts.end(), [&](auto& x) { return x.first == name; }),
                parts.end());

  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &err);
  if (!buffer) zipFail("zip_source_buffer_create", &err);
  zip_source_keep(buffer);
  zip_t* za = zip_open_from_source(buffer, ZIP_TRUNCATE, &err);
  if (!za) {
    zip_source_free(buffer);
    zipFail("zip_open_from_source", &err);
  }
  auto fail = [&](const std::string& what) {
    std::string msg = what + ": " + zip_strerror(za);
    zip_discard(za);
    zip_source_free(buffer);
    throw std::runtime_error(msg);
  };
  for (const auto& [name, data] : parts) {
    zip_source_t* s = zip_source_buffer(za, data.data(), data.size(), 0);
    zip_int64_t idx = s ? zip_file_add(za, name.c_str(), s, ZIP_FL_ENC_UTF_8) : -1;
    if (idx < 0) {
      if (s) zip_source_free(s);
      fail("zip_file_add " + name);
    }
    zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), stored_ ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    zip_file_set_dostime(za, static_cast<zip_uint64_t>(idx), 0, (1 << 5) | 1, 0);  // the same document, the same bytes
  }
  if (zip_close(za) < 0) fail("zip_close");
  std::string out;
  if (zip_source_open(buffer) == 0) {
    zip_source_seek(buffer, 0, SEEK_END);
    zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    out.resize(static_cast<std::size_t>(std::max<zip_int64_t>(size, 0)));
    zip_int64_t got = zip_source_read(buffer, out.data(), out.size());
    out.resize(static_cast<std::size_t>(std::max<zip_int64_t>(got, 0)));
    zip_source_close(buffer);
  }
  zip_source_free(buffer);
  return out;
}

std::filesystem::path DocxBuilder::write(const std::filesystem::path& path) const {
  writeFile(path, bytes());
  return path;
}

std::vector<std::string> partNames(const std::filesystem::path& package) {
  auto z = openRead(package);
  std::vector<std::string> names;
  zip_int64_t n = zip_get_num_entries(z.get(), 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    const char* name = zip_get_name(z.get(), static_cast<zip_uint64_t>(i), 0);
    if (name) names.emplace_back(name);
  }
  return names;
}

bool hasPart(const std::filesystem::path& package, const std::string& name) {
  auto z = openRead(package);
  return zip_name_locate(z.get(), name.c_str(), 0) >= 0;
}

namespace {

// An entry's bytes, uncompressed or (ZIP_FL_COMPRESSED) as stored.
std::string readEntry(const std::filesystem::path& package, const std::string& name, zip_flags_t flags) {
  auto z = openRead(package);
  zip_stat_t st;
  if (zip_stat(z.get(), name.c_str(), 0, &st) != 0)
    throw std::runtime_error("no part " + name + " in " + package.string());
  zip_file_t* f = zip_fopen(z.get(), name.c_str(), flags);
  if (!f) throw std::runtime_error("cannot open part " + name + ": " + zip_strerror(z.get()));
  std::string out(static_cast<std::size_t>(flags & ZIP_FL_COMPRESSED ? st.comp_size : st.size), '\0');
  zip_int64_t got = zip_fread(f, out.data(), out.size());
  zip_fclose(f);
  if (got < 0 || static_cast<std::size_t>(got) != out.size())
    throw std::runtime_error("cannot read part " + name + " of " + package.string());
  return out;
}

}  // namespace

std::string readPart(const std::filesystem::path& package, const std::string& name) {
  return readEntry(package, name, 0);
}

std::vector<EntryInfo> entries(const std::filesystem::path& package) {
  auto z = openRead(package);
  std::vector<EntryInfo> out;
  zip_int64_t n = zip_get_num_entries(z.get(), 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    if (zip_stat_index(z.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    out.push_back({st.name, st.crc, st.comp_size, st.size, st.comp_method});
  }
  return out;
}

std::string readRawEntry(const std::filesystem::path& package, const std::string& name) {
  return readEntry(package, name, ZIP_FL_COMPRESSED);
}

std::vector<std::string> paragraphTexts(const std::string& partXml) {
  pugi::xml_document doc;
  if (!doc.load_buffer(partXml.data(), partXml.size(), pugi::parse_default | pugi::parse_ws_pcdata))
    throw std::runtime_error("paragraphTexts: the part is not well-formed XML");
  std::vector<std::string> out;
  for (auto xp : doc.select_nodes("//w:p")) {
    std::string text;
    appendText(xp.node(), text);
    out.push_back(std::move(text));
  }
  return out;
}

std::string partText(const std::string& partXml) {
  std::string out;
  for (const auto& t : paragraphTexts(partXml)) out += t + '\n';
  if (!out.empty()) out.pop_back();
  return out;
}

std::size_t occurrences(const std::string& hay, const std::string& needle) {
  std::size_t n = 0;
  for (auto at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size())) ++n;
  return n;
}

}  // namespace vm::test
