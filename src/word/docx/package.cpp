#include "word/docx/package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "word/docx/deflate.h"
#include "word/docx/limits.h"
#include "word/docx/unicase.h"
#include "word/error.h"
#include "word/safesave.h"

namespace vm::word::docx {

namespace {

constexpr unsigned kParseFlags = pugi::parse_cdata | pugi::parse_ws_pcdata | pugi::parse_declaration |
                                 pugi::parse_pi | pugi::parse_comments | pugi::parse_doctype;

const char* kNewXmlProlog = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

// Local name of an element or attribute (after any prefix).
std::string_view local(const char* name) {
  std::string_view n(name);
  auto colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

pugi::xml_attribute attr(pugi::xml_node node, std::string_view localName) {
  for (auto a : node.attributes())
    if (local(a.name()) == localName) return a;
  return {};
}

// Where the root element starts: after a byte-order mark, declaration, comments, processing
// instructions and a document type declaration. npos for text that is not plain UTF-8 markup.
std::size_t rootStart(const std::string& s) {
  std::size_t i = 0;
  if (s.size() >= 2 && ((s[0] == '\xFF' && s[1] == '\xFE') || (s[0] == '\xFE' && s[1] == '\xFF')))
    return std::string::npos;
  if (s.size() >= 2 && (s[0] == '\0' || s[1] == '\0')) return std::string::npos;  // UTF-16/32
  if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
    if (s.compare(i, 2, "<?") == 0) {
      auto e = s.find("?>", i + 2);
      if (e == std::string::npos) return std::string::npos;
      i = e + 2;
    } else if (s.compare(i, 4, "<!--") == 0) {
      auto e = s.find("-->", i + 4);
      if (e == std::string::npos) return std::string::npos;
      i = e + 3;
    } else if (s.compare(i, 2, "<!") == 0) {
      auto bracket = s.find('[', i);
      auto close = s.find('>', i);
      if (close == std::string::npos) return std::string::npos;
      if (bracket != std::string::npos && bracket < close) {
        close = s.find("]>", bracket);
        if (close == std::string::npos) return std::string::npos;
        ++close;
      }
      i = close + 1;
    } else {
      break;
    }
  }
  return i < s.size() && s[i] == '<' ? i : std::string::npos;
}

// Whether any attribute value is written in single quotes ('=' then optional white space then
// an apostrophe). Word never does, so the walk in quoteAttributes is nearly never needed.
bool hasSingleQuotedAttribute(std::string_view s) {
  for (std::size_t i = s.find('\''); i != std::string_view::npos; i = s.find('\'', i + 1)) {
    std::size_t k = i;
    while (k > 0 && (s[k - 1] == ' ' || s[k - 1] == '\t' || s[k - 1] == '\r' || s[k - 1] == '\n')) --k;
    if (k > 0 && s[k - 1] == '=') return true;
  }
  return false;
}

// Values are kept as read and written in double quotes: one read from single quotes may hold a
// double quote, which must become a reference for the part to stay well-formed.
void quoteAttributes(pugi::xml_node root) {
  struct Walker : pugi::xml_tree_walker {
    static void fix(pugi::xml_node n) {
      for (auto a : n.attributes()) {
        std::string_view v = a.value();
        if (v.find('"') == std::string_view::npos) continue;
        std::string fixed;
        for (char c : v) fixed += c == '"' ? std::string("&quot;") : std::string(1, c);
        a.set_value(fixed.c_str(), fixed.size());
      }
    }
    bool for_each(pugi::xml_node& n) override {
      fix(n);
      return true;
    }
  } walker;
  Walker::fix(root);
  root.traverse(walker);
}

struct StringWriter : pugi::xml_writer {
  std::string& out;
  explicit StringWriter(std::string& o) : out(o) {}
  void write(const void* data, std::size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

[[noreturn]] void damaged(const std::string& part, const std::string& what) {
  throw EngineError(ErrorCode::DamagedPart, part + ": " + what);
}

// Whether s is well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF):
// the parser takes any bytes, Word refuses the part.
bool validUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* e = p + s.size();
  while (p < e) {
    if (e - p >= 8) {  // most of a part is ASCII markup: eight bytes at a time, to the first other
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      word &= 0x8080808080808080ull;
      if (!word) {
        p += 8;
        continue;
      }
      if constexpr (std::endian::native == std::endian::little) p += std::countr_zero(word) / 8;
    }
    unsigned b = *p;
    if (b < 0x80) {
      ++p;
      continue;
    }
    // Chinese text: three bytes whose second byte needs no range of its own.
    if (((b >= 0xE1 && b <= 0xEC) || b >= 0xEE) && b <= 0xEF && e - p >= 3) {
      if ((p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) return false;
      p += 3;
      continue;
    }
    std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (!n || static_cast<std::size_t>(e - p) < n) return false;
    unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (b == 0xE0) lo = 0xA0;
    else if (b == 0xED) hi = 0x9F;
    else if (b == 0xF0) lo = 0x90;
    else if (b == 0xF4) hi = 0x8F;
    if (p[1] < lo || p[1] > hi) return false;
    for (std::size_t k = 2; k < n; ++k)
      if ((p[k] & 0xC0) != 0x80) return false;
    p += n;
  }
  return true;
}

// Whether every '&' in raw text or an attribute value starts a predefined entity or a character
// reference to an XML character. The parser leaves other references as they are, so a part
// that no reader accepts would be written back unchanged.
bool validReferences(std::string_view s) {
  for (std::size_t i = s.find('&'); i != std::string_view::npos; i = s.find('&', i + 1)) {
    std::size_t semi = s.find(';', i);
    if (semi == std::string_view::npos || semi - i > 12) return false;
    std::string_view ref = s.substr(i + 1, semi - i - 1);
    if (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos") continue;
    if (ref.size() < 2 || ref[0] != '#') return false;
    bool hex = ref[1] == 'x';
    std::size_t k = hex ? 2 : 1;
    if (k == ref.size()) return false;
    std::uint32_t v = 0;
    for (; k < ref.size(); ++k) {
      char d = ref[k];
      int digit = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
      if (digit < 0) return false;
      v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      if (v > 0x10FFFF) return false;
    }
    bool xmlChar = v == 0x9 || v == 0xA || v == 0xD || (v >= 0x20 && v <= 0xD7FF) || (v >= 0xE000 && v <= 0xFFFD) ||
                   v >= 0x10000;
    if (!xmlChar) return false;
  }
  return true;
}

// What the parser lets through and no reader of the part would: text or a second element beside
// the root, references to undeclared entities, and nesting past the depth limit (every walk
// up a node's ancestors is bounded by it). rawReferencesValid: every '&' of the UTF-8 bytes
// before parsing starts a valid reference, so no text or attribute needs looking at (the
// parser keeps references as they are; a '&' in a comment may be fine, hence the walk then).
void checkMarkup(pugi::xml_document& doc, const std::string& part, bool rawReferencesValid) {
  int roots = 0;
  for (auto n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element) ++roots;
    else if ((n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) &&
             std::string_view(n.value()).find_first_not_of(" \t\r\n") != std::string_view::npos)
      damaged(part, "text outside the root element");
  }
  if (roots != 1) damaged(part, roots ? "more than one root element" : "no root element");
  if (rawReferencesValid) {
    // Only the depth: a walk without a call per node.
    std::size_t depth = 0;
    for (pugi::xml_node n = doc.first_child(); n;) {
      if (pugi::xml_node child = n.first_child()) {
        if (++depth >= limits::kDepth)
          throw EngineError(ErrorCode::TooDeep,
                            part + ": elements nested more than " + std::to_string(limits::kDepth) + " deep");
        n = child;
        continue;
      }
      while (n && !n.next_sibling()) {
        n = n.parent();
        if (depth) --depth;
      }
      if (n) n = n.next_sibling();
    }
    return;
  }
  struct Walker : pugi::xml_tree_walker {
    bool tooDeep = false, badReference = false;
    bool for_each(pugi::xml_node& n) override {
      if (static_cast<std::size_t>(depth()) >= limits::kDepth) tooDeep = true;
      else if (n.type() == pugi::node_pcdata) badReference = !validReferences(n.value());
      else if (n.type() == pugi::node_element)
        for (auto a = n.first_attribute(); a && !badReference; a = a.next_attribute())
          badReference = !validReferences(a.value());
      return !tooDeep && !badReference;
    }
  } walker;
  doc.traverse(walker);
  if (walker.tooDeep)
    throw EngineError(ErrorCode::TooDeep, part + ": elements nested more than " + std::to_string(limits::kDepth) + " deep");
  if (walker.badReference) damaged(part, "a reference to an undefined entity or to no character");
}

// An OLE compound file: an encrypted OOXML package or a Word 97-2003 document.
[[noreturn]] void compoundFile(const std::string& bytes, const std::filesystem::path& path) {
  auto has = [&](const char* ascii) {
    std::string wide;
    for (const char* p = ascii; *p; ++p) {
      wide += *p;
      wide += '\0';
    }
    return bytes.find(wide) != std::string::npos;
  };
  if (has("EncryptedPackage") || has("EncryptionInfo"))
    throw EngineError(ErrorCode::PasswordRequired, path.string() + ": OLE compound file with an encrypted package");
  if (has("WordDocument"))
    throw EngineError(ErrorCode::WrongExtension, path.string() + ": a Word 97-2003 document (OLE compound file)");
  throw EngineError(ErrorCode::WrongExtension, path.string() + ": OLE compound file");
}

// Not a zip: a clearer message for the formats that are often saved under a .docx name.
void otherFormat(const std::string& bytes, const std::filesystem::path& path) {
  std::string head = asciiLower(std::string_view(bytes).substr(0, 4096));
  const char* what = nullptr;
  if (head.rfind("{\\rtf", 0) == 0) what = "RTF";
  else if (head.find("<w:worddocument") != std::string::npos) what = "Word 2003 XML";
  else if (head.find("<pkg:package") != std::string::npos) what = "flat Word XML";
  else if (head.find("mime-version:") != std::string::npos) what = "MHT web archive";
  else if (head.find("<html") != std::string::npos) what = "HTML";
  if (what)
    throw EngineError(ErrorCode::WrongExtension, path.string() + ": " + what + ", not a zip package");
}

}  // namespace

// --- XmlPart -------------------------------------------------------------------------------

XmlPart::XmlPart(std::string name, std::string bytes) : name_(std::move(name)), buffer_(std::move(bytes)) {
  bom_ = buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0;
  singleQuotes_ = hasSingleQuotedAttribute(buffer_);
  std::size_t start = rootStart(buffer_);
  if (start != std::string::npos) {
    prolog_ = buffer_.substr(0, start);
    verbatimProlog_ = true;
  }
  const bool rawReferencesValid = validReferences(buffer_);  // read before parsing writes into it
  auto last = buffer_.find_last_not_of(" \t\r\n");
  bool textAfterRoot = last == std::string::npos || buffer_[last] != '>';  // read before parsing writes into it
  pugi::xml_parse_result result =
      doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), kParseFlags, pugi::encoding_auto);
  if (!result)
    damaged(name_, std::string(result.description()) + " at byte " + std::to_string(result.offset));
  encoding_ = result.encoding;
  if (encoding_ == pugi::encoding_utf8) {
    if (!validUtf8(buffer_)) damaged(name_, "not valid UTF-8");
    // The parser passes over text beside the root element.
    if (start == std::string::npos) damaged(name_, "text before the root element");
    if (textAfterRoot) damaged(name_, "text after the root element");
  }
  checkMarkup(doc_, name_, rawReferencesValid && encoding_ == pugi::encoding_utf8);
  if (encoding_ != pugi::encoding_utf8) verbatimProlog_ = false;
}

std::unique_ptr<XmlPart> XmlPart::clone() const {
  std::unique_ptr<XmlPart> p(new XmlPart());
  p->name_ = name_;
  p->prolog_ = prolog_;
  p->verbatimProlog_ = verbatimProlog_;
  p->bom_ = bom_;
  p->singleQuotes_ = singleQuotes_;
  p->encoding_ = encoding_;
  p->dirty_ = dirty_;
  p->doc_.reset(doc_);  // between documents pugixml copies every string
  return p;
}

std::string XmlPart::serialize() const {
  if (singleQuotes_) quoteAttributes(doc_.document_element());
  std::string out;
  out.reserve(buffer_.size() + buffer_.size() / 8 + 256);
  StringWriter writer(out);
  constexpr unsigned flags = pugi::format_raw | pugi::format_no_escapes;
  if (verbatimProlog_) {
    out = prolog_;
    for (auto node = doc_.document_element(); node; node = node.next_sibling())
      node.print(writer, "", flags, pugi::encoding_utf8);
  } else {
    doc_.save(writer, "", flags | pugi::format_no_declaration | (bom_ ? pugi::format_write_bom : 0u),
              encoding_);
  }
  return out;
}

// --- Package -------------------------------------------------------------------------------

// A document too large for the memory left is that document's failure, not the run's.
Package::Package(const std::filesystem::path& path, bool syncOnSave) try : path_(path), sync_(syncOnSave) {
  // O_NONBLOCK: a FIFO under a document's name must not wait for a writer (fstat refuses it).
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    throw EngineError(err == ENOENT || err == ENOTDIR ? ErrorCode::FileNotFound : ErrorCode::Unreadable,
                      path.string() + ": " + std::strerror(err));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EngineError(ErrorCode::Unreadable, path.string() + ": not a regular file");
  }
  if (static_cast<std::uint64_t>(st.st_size) > limits::kFileSize) {
    ::close(fd);
    throw EngineError(ErrorCode::TooLarge, path.string() + ": file of " + std::to_string(st.st_size) + " bytes");
  }
  bytes_.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < bytes_.size()) {
    ssize_t n = ::read(fd, bytes_.data() + got, bytes_.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes_.resize(got);

  if (bytes_.empty())
    throw EngineError(ErrorCode::NotAZip, path.string() + ": empty file");
  if (bytes_.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0) compoundFile(bytes_, path);
  if (bytes_.compare(0, 2, "PK") != 0) otherFormat(bytes_, path);
  openArchive();

  if (!hasPart("[Content_Types].xml"))
    throw EngineError(ErrorCode::DamagedPart, path.string() + ": no [Content_Types].xml");
  xmlPart("[Content_Types].xml");
  std::string mainTarget;
  if (hasPart("_rels/.rels")) {
    for (const auto& r : relationships("")) {
      if (!r.external && (r.type == rel::kOfficeDocument || r.type == rel::kOfficeDocumentStrict)) {
        mainTarget = resolveTarget("", r.target);
        break;
      }
    }
  }
  if (mainTarget.empty() || !hasPart(mainTarget))
    throw EngineError(ErrorCode::NoMainPart,
                      path.string() + (mainTarget.empty() ? ": no officeDocument relationship"
                                                          : ": missing part " + mainTarget));
  mainPart_ = mainTarget;
  zip_int64_t idx = locate(mainTarget);
  if (const char* real = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(idx), 0)) mainPart_ = real;
  std::string type = contentType(mainPart_);
  if (type.find("wordprocessingml") == std::string::npos && type.rfind("application/vnd.ms-word.", 0) != 0)
    throw EngineError(ErrorCode::UnsupportedFormat,
                      path.string() + ": main part " + mainPart_ + " has content type '" + type + "'");
  xmlPart(mainPart_);
  verifyEntries();
} catch (const std::bad_alloc&) {
  throw EngineError(ErrorCode::TooLarge, path.string() + ": out of memory while reading the package");
}

// Every entry is read once through its checksum, so that a damaged part is reported when the
// document is opened instead of being copied on unnoticed.
void Package::verifyEntries() const {
  zip_int64_t n = zip_get_num_entries(zip_.get(), 0);
  std::string scratch;
  for (zip_int64_t i = 0; i < n; ++i) {
    const char* name = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(i), 0);
    std::string entry = name ? name : "#" + std::to_string(i);
    if (!entry.empty() && entry.back() == '/') continue;  // a folder entry
    if (loadedPart(entry)) continue;                     // read already
    readEntry(i, entry, scratch);
  }
}

Package::~Package() = default;

std::unique_ptr<Package> Package::clone() const {
  std::unique_ptr<Package> p(new Package());
  p->path_ = path_;
  p->sync_ = sync_;
  p->bytes_ = bytes_;
  p->openArchive();
  for (const auto& [name, part] : parts_) p->parts_.emplace(name, part->clone());
  p->newBinary_ = newBinary_;
  p->newXml_ = newXml_;
  p->removed_ = removed_;
  p->mainPart_ = mainPart_;
  return p;
}

void Package::openArchive() {
  zip_error_t err;
  zip_error_init(&err);
  source_ = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &err);
  if (!source_) {
    std::string msg = zip_error_strerror(&err);
    zip_error_fini(&err);
    throw EngineError(ErrorCode::NotAZip, path_.string() + ": " + msg);
  }
  zip_.reset(zip_open_from_source(source_, ZIP_RDONLY, &err));
  if (!zip_) {
    int code = zip_error_code_zip(&err);
    std::string msg = zip_error_strerror(&err);
    zip_error_fini(&err);
    zip_source_free(source_);
    source_ = nullptr;
    throw EngineError(code == ZIP_ER_NOZIP ? ErrorCode::NotAZip : ErrorCode::DamagedPart,
                      path_.string() + ": " + msg);
  }
  zip_error_fini(&err);
  index_.clear();
  zip_int64_t n = zip_get_num_entries(zip_.get(), 0);
  std::unordered_map<std::string, zip_int64_t> same;  // by the name a reader would resolve
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < n; ++i) {
    const char* name = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(i), 0);
    if (!name) continue;
    index_.emplace(asciiLower(name), i);
    // Two entries for one part: this engine would edit one while a reader takes the other.
    std::string key = asciiLower(name);
    std::replace(key.begin(), key.end(), '\\', '/');
    key.erase(0, key.find_first_not_of('/'));
    if (!same.emplace(key, i).second)
      throw EngineError(ErrorCode::DamagedPart, path_.string() + ": two entries named " + key);
    // The inflated sizes as stated: reading checks that each part is no larger than stated.
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) continue;
    // A deflated size no stream can reach is damage, not a reason to refuse for size.
    if ((st.valid & ZIP_STAT_COMP_SIZE) && (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_DEFLATE &&
        st.size > st.comp_size * 1032 + 1024)
      damaged(name, "stated size impossible for its compressed size");
    total += st.size;
    if (st.size > limits::kPartSize || total > limits::kPackageSize)
      throw EngineError(ErrorCode::TooLarge, path_.string() + ": " + name + " inflates to " + std::to_string(st.size) +
                                                 " bytes, the package to " + std::to_string(total) + " at least");
  }
}

zip_int64_t Package::locate(std::string_view name) const {
  std::string key = asciiLower(name);
  auto it = index_.find(key);
  return it == index_.end() ? -1 : it->second;
}

bool Package::hasPart(std::string_view name) const {
  if (locate(name) >= 0) return true;
  for (const auto& p : newBinary_)
    if (iequals(p.name, name)) return true;
  for (const auto& n : newXml_)
    if (iequals(n, name)) return true;
  return false;
}

std::vector<std::string> Package::partNames() const {
  std::vector<std::string> out;
  zip_int64_t n = zip_get_num_entries(zip_.get(), 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    if (std::find(removed_.begin(), removed_.end(), i) != removed_.end()) continue;
    if (const char* name = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(i), 0)) out.emplace_back(name);
  }
  for (const auto& n2 : newXml_) out.push_back(n2);
  for (const auto& p : newBinary_) out.push_back(p.name);
  return out;
}

std::string Package::readPart(std::string_view name) const {
  zip_int64_t idx = locate(name);
  if (idx < 0) damaged(std::string(name), "no such part");
  std::string out;
  readEntry(idx, std::string(name), out);
  return out;
}

void Package::readEntry(zip_int64_t idx, const std::string& name, std::string& out) const {
  out.clear();
  zip_stat_t st;
  zip_stat_init(&st);
  zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(idx), 0, &st);
  constexpr zip_uint64_t kKnown =
      ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
  if ((st.valid & kKnown) == kKnown && st.comp_method == ZIP_CM_DEFLATE && st.encryption_method == ZIP_EM_NONE) {
    // Deflate can expand no more than 1032 times: a larger stated size is a lie, not a reason
    // to allocate it.
    if (st.comp_size > bytes_.size()) damaged(name, "stated compressed size beyond the file");
    if (st.size > st.comp_size * 1032 + 1024) damaged(name, "stated size impossible for its compressed size");
    zip_file_t* f = zip_fopen_index(zip_.get(), static_cast<zip_uint64_t>(idx), ZIP_FL_COMPRESSED);
    if (!f) damaged(name, zip_strerror(zip_.get()));
    std::string raw(static_cast<std::size_t>(st.comp_size), '\0');
    zip_int64_t got = raw.empty() ? 0 : zip_fread(f, raw.data(), raw.size());
    std::string msg = got < 0 ? zip_file_strerror(f) : "";
    zip_fclose(f);
    if (got != static_cast<zip_int64_t>(raw.size())) damaged(name, got < 0 ? msg : "compressed data cut short");
    if (!inflateRaw(raw, static_cast<std::size_t>(st.size), out)) damaged(name, "compressed data damaged");
    if (crc32(out) != st.crc) damaged(name, "CRC error");
    return;
  }
  // Stored or other methods: libzip's own reader, which checks the CRC at the end.
  zip_file_t* f = zip_fopen_index(zip_.get(), static_cast<zip_uint64_t>(idx), 0);
  if (!f) damaged(name, zip_strerror(zip_.get()));
  if (st.valid & ZIP_STAT_SIZE) out.reserve(static_cast<std::size_t>(std::min<zip_uint64_t>(st.size, 64u << 20)));
  char chunk[65536];
  for (;;) {
    zip_int64_t n = zip_fread(f, chunk, sizeof chunk);
    if (n < 0) {
      std::string msg = zip_file_strerror(f);
      zip_fclose(f);
      damaged(name, msg);
    }
    if (n == 0) break;
    // Other methods inflate in libzip: no more than stated (checked against the limits).
    if (out.size() + static_cast<std::size_t>(n) > std::min<zip_uint64_t>(st.valid & ZIP_STAT_SIZE ? st.size : limits::kPartSize, limits::kPartSize)) {
      zip_fclose(f);
      damaged(name, "more data than the entry states");
    }
    out.append(chunk, static_cast<std::size_t>(n));
  }
  int rc = zip_fclose(f);
  if (rc != 0) damaged(name, zip_error_strerror(zip_get_error(zip_.get())));
}

XmlPart* Package::loadedPart(std::string_view name) const {
  auto it = parts_.find(name);
  return it == parts_.end() ? nullptr : it->second.get();
}

XmlPart& Package::xmlPart(std::string_view name) {
  if (XmlPart* p = loadedPart(name)) return *p;
  std::string key(name);
  zip_int64_t idx = locate(name);
  if (idx >= 0) {
    if (const char* real = zip_get_name(zip_.get(), static_cast<zip_uint64_t>(idx), 0)) {
      if (XmlPart* p = loadedPart(real)) return *p;
      key = real;
    }
  } else {
    for (auto& [n, p] : parts_)
      if (iequals(n, name)) return *p;
  }
  auto part = std::make_unique<XmlPart>(key, readPart(key));
  XmlPart& ref = *part;
  parts_.emplace(key, std::move(part));
  return ref;
}

XmlPart& Package::addXmlPart(const std::string& name, std::string bytes) {
  auto part = std::make_unique<XmlPart>(name, std::move(bytes));
  part->markDirty();
  XmlPart& ref = *part;
  parts_[name] = std::move(part);
  newXml_.push_back(name);
  return ref;
}

void Package::removePart(std::string_view name) {
  const std::string rels = relsPartName(name);
  for (std::string_view n : {std::string_view(name), std::string_view(rels)}) {
    if (zip_int64_t idx = locate(n); idx >= 0) {
      removed_.push_back(idx);
      index_.erase(asciiLower(n));
    }
    std::erase_if(newXml_, [&](const std::string& x) { return iequals(x, n); });
    std::erase_if(newBinary_, [&](const NewPart& x) { return iequals(x.name, n); });
    for (auto it = parts_.begin(); it != parts_.end();) {
      if (iequals(it->first, n)) it = parts_.erase(it);
      else ++it;
    }
  }
}

void Package::removeRelationship(std::string_view sourcePart, std::string_view id) {
  std::string relsName = relsPartName(sourcePart);
  if (!hasPart(relsName)) return;
  XmlPart& rels = xmlPart(relsName);
  for (auto node : rels.root().children()) {
    if (node.type() == pugi::node_element && local(node.name()) == "Relationship" && attr(node, "Id").value() == id) {
      rels.root().remove_child(node);
      rels.markDirty();
      return;
    }
  }
}

void Package::removeOverrideContentType(std::string_view partName) {
  XmlPart& types = xmlPart("[Content_Types].xml");
  for (auto node : types.root().children()) {
    if (node.type() != pugi::node_element || local(node.name()) != "Override") continue;
    std::string_view pn = attr(node, "PartName").value();
    if (!pn.empty() && pn.front() == '/') pn.remove_prefix(1);
    if (iequals(pn, partName)) {
      types.root().remove_child(node);
      types.markDirty();
      return;
    }
  }
}

void Package::addBinaryPart(const std::string& name, std::string bytes) {
  newBinary_.push_back({name, std::move(bytes), false});
}

std::string Package::contentType(std::string_view partName) {
  XmlPart& types = xmlPart("[Content_Types].xml");
  std::string ext;
  auto dot = partName.rfind('.');
  auto slash = partName.rfind('/');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
    ext = std::string(partName.substr(dot + 1));
  std::string fallback;
  for (auto node : types.root().children()) {
    if (node.type() != pugi::node_element) continue;
    auto n = local(node.name());
    if (n == "Override") {
      std::string_view pn = attr(node, "PartName").value();
      if (!pn.empty() && pn.front() == '/') pn.remove_prefix(1);
      if (iequals(pn, partName)) return attr(node, "ContentType").value();
    } else if (n == "Default" && fallback.empty() && !ext.empty()) {
      if (iequals(attr(node, "Extension").value(), ext)) fallback = attr(node, "ContentType").value();
    }
  }
  return fallback;
}

void Package::ensureDefaultContentType(const std::string& ext, const std::string& type) {
  XmlPart& types = xmlPart("[Content_Types].xml");
  pugi::xml_node root = types.root();
  pugi::xml_node lastDefault;
  for (auto node : root.children()) {
    if (node.type() != pugi::node_element || local(node.name()) != "Default") continue;
    if (iequals(attr(node, "Extension").value(), ext)) return;
    lastDefault = node;
  }
  std::string rootName = root.name();
  auto colon = rootName.find(':');
  std::string name = colon == std::string::npos ? "Default" : rootName.substr(0, colon + 1) + "Default";
  pugi::xml_node node = lastDefault ? root.insert_child_after(name.c_str(), lastDefault)
                                    : root.prepend_child(name.c_str());
  node.append_attribute("Extension") = ext.c_str();
  node.append_attribute("ContentType") = type.c_str();
  types.markDirty();
}

void Package::setOverrideContentType(const std::string& partName, const std::string& type) {
  XmlPart& types = xmlPart("[Content_Types].xml");
  pugi::xml_node root = types.root();
  for (auto node : root.children()) {
    if (node.type() != pugi::node_element || local(node.name()) != "Override") continue;
    std::string_view pn = attr(node, "PartName").value();
    if (!pn.empty() && pn.front() == '/') pn.remove_prefix(1);
    if (iequals(pn, partName)) {
      attr(node, "ContentType").set_value(type.c_str());
      types.markDirty();
      return;
    }
  }
  std::string rootName = root.name();
  auto colon = rootName.find(':');
  std::string name = colon == std::string::npos ? "Override" : rootName.substr(0, colon + 1) + "Override";
  pugi::xml_node node = root.append_child(name.c_str());
  node.append_attribute("PartName") = ("/" + partName).c_str();
  node.append_attribute("ContentType") = type.c_str();
  types.markDirty();
}

std::string Package::relsPartName(std::string_view partName) {
  auto slash = partName.rfind('/');
  if (slash == std::string_view::npos) return "_rels/" + std::string(partName) + ".rels";
  return std::string(partName.substr(0, slash + 1)) + "_rels/" + std::string(partName.substr(slash + 1)) + ".rels";
}

std::string Package::resolveTarget(std::string_view sourcePart, std::string_view target) {
  std::string t;
  for (std::size_t i = 0; i < target.size(); ++i) {  // percent-decoding
    auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    if (target[i] == '%' && i + 2 < target.size() && hex(target[i + 1]) >= 0 && hex(target[i + 2]) >= 0) {
      t += static_cast<char>(hex(target[i + 1]) * 16 + hex(target[i + 2]));
      i += 2;
    } else if (target[i] == '#') {
      break;
    } else {
      t += target[i] == '\\' ? '/' : target[i];
    }
  }
  std::string path;
  if (!t.empty() && t.front() == '/') {
    path = t.substr(1);
  } else {
    auto slash = sourcePart.rfind('/');
    path = (slash == std::string_view::npos ? std::string() : std::string(sourcePart.substr(0, slash + 1))) + t;
  }
  std::vector<std::string> segs;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string seg = path.substr(start, end - start);
    if (seg == "..") {
      if (!segs.empty()) segs.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segs.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& s : segs) {
    if (!out.empty()) out += '/';
    out += s;
  }
  return out;
}

std::string Package::relativeTarget(std::string_view sourcePart, std::string_view targetPart) {
  auto split = [](std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i)
      if (i == s.size() || s[i] == '/') {
        out.push_back(s.substr(start, i - start));
        start = i + 1;
      }
    return out;
  };
  auto from = split(sourcePart);
  from.pop_back();  // the source's own name
  auto to = split(targetPart);
  std::size_t common = 0;
  while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
  std::string out;
  for (std::size_t i = common; i < from.size(); ++i) out += "../";
  for (std::size_t i = common; i < to.size(); ++i) {
    out += to[i];
    if (i + 1 < to.size()) out += '/';
  }
  return out;
}

std::vector<Relationship> Package::relationships(std::string_view sourcePart) {
  std::vector<Relationship> out;
  std::string relsName = relsPartName(sourcePart);
  if (!hasPart(relsName)) return out;
  XmlPart& rels = xmlPart(relsName);
  for (auto node : rels.root().children()) {
    if (node.type() != pugi::node_element || local(node.name()) != "Relationship") continue;
    out.push_back({attr(node, "Id").value(), attr(node, "Type").value(), attr(node, "Target").value(),
                   iequals(attr(node, "TargetMode").value(), "External")});
  }
  return out;
}

std::string Package::addRelationship(std::string_view sourcePart, const std::string& type,
                                     const std::string& target) {
  std::string relsName = relsPartName(sourcePart);
  XmlPart* rels = nullptr;
  if (hasPart(relsName)) {
    rels = &xmlPart(relsName);
  } else {
    rels = &addXmlPart(relsName, std::string(kNewXmlProlog) +
                                     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>");
    ensureDefaultContentType("rels", "application/vnd.openxmlformats-package.relationships+xml");
  }
  long maxId = 0;
  std::vector<std::string> ids;
  for (auto node : rels->root().children()) {
    if (node.type() != pugi::node_element) continue;
    std::string id = attr(node, "Id").value();
    ids.push_back(id);
    if (id.size() > 3 && id.compare(0, 3, "rId") == 0 &&
        std::all_of(id.begin() + 3, id.end(), [](char c) { return c >= '0' && c <= '9'; }) && id.size() < 12)
      maxId = std::max(maxId, std::stol(id.substr(3)));
  }
  std::string id;
  for (long n = maxId + 1;; ++n) {
    id = "rId" + std::to_string(n);
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) break;
  }
  pugi::xml_node root = rels->root();
  std::string rootName = root.name();
  auto colon = rootName.find(':');
  std::string name = colon == std::string::npos ? "Relationship" : rootName.substr(0, colon + 1) + "Relationship";
  pugi::xml_node node = root.append_child(name.c_str());
  node.append_attribute("Id") = id.c_str();
  node.append_attribute("Type") = type.c_str();
  node.append_attribute("Target") = target.c_str();
  rels->markDirty();
  return id;
}

bool Package::modified() const {
  if (!newBinary_.empty() || !newXml_.empty() || !removed_.empty()) return true;
  for (const auto& [name, part] : parts_)
    if (part->dirty()) return true;
  return false;
}

std::string Package::buildArchive() {
  auto fail = [&](const std::string& what) {
    throw EngineError(ErrorCode::WriteFailed, path_.string() + ": " + what);
  };
  zip_error_t err;
  zip_error_init(&err);
  // libzip writes the new archive into this source and may hand the original's bytes over to
  // it (and free them), so it gets a copy of its own, allocated as libzip frees it.
  void* copy = std::malloc(bytes_.size());
  if (!copy) fail("out of memory");
  std::memcpy(copy, bytes_.data(), bytes_.size());
  zip_source_t* src = zip_source_buffer_create(copy, bytes_.size(), 1, &err);
  if (!src) {
    std::free(copy);
    fail(zip_error_strerror(&err));
  }
  zip_t* za = zip_open_from_source(src, 0, &err);
  if (!za) {
    std::string msg = zip_error_strerror(&err);
    zip_error_fini(&err);
    zip_source_free(src);
    fail(msg);
  }
  zip_source_keep(src);  // the new bytes are read from it after zip_close
  zip_error_fini(&err);
  // Entries are compressed here (see deflate.h) and stay alive until zip_close has read them.
  std::vector<std::unique_ptr<Deflated>> deflated;
  std::vector<std::string> stored;
  deflated.reserve(parts_.size() + newBinary_.size());
  stored.reserve(newBinary_.size());
  auto add = [&](const std::string& name, std::string bytes, bool compress, bool isNew) {
    zip_source_t* s = nullptr;
    if (compress) {
      deflated.push_back(std::make_unique<Deflated>(deflateEntry(bytes)));
      s = deflatedSource(za, *deflated.back());
    } else {
      stored.push_back(std::move(bytes));
      s = zip_source_buffer(za, stored.back().data(), stored.back().size(), 0);
    }
    if (!s) return std::string(zip_strerror(za));
    zip_int64_t idx = isNew ? -1 : zip_name_locate(za, name.c_str(), 0);
    if (idx >= 0) {
      if (zip_file_replace(za, static_cast<zip_uint64_t>(idx), s, 0) != 0) {
        zip_source_free(s);
        return std::string(zip_strerror(za));
      }
      zip_stat_t st;
      if (zip_stat_index(zip_.get(), static_cast<zip_uint64_t>(idx), ZIP_FL_UNCHANGED, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
        zip_file_set_mtime(za, static_cast<zip_uint64_t>(idx), st.mtime, 0);
    } else {
      idx = zip_file_add(za, name.c_str(), s, ZIP_FL_ENC_UTF_8);
      if (idx < 0) {
        zip_source_free(s);
        return std::string(zip_strerror(za));
      }
      zip_file_set_dostime(za, static_cast<zip_uint64_t>(idx), 0, (1 << 5) | 1, 0);  // 1980-01-01 as Word
    }
    // "Default" takes the source's own method: the deflated bytes are copied as they are.
    zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), compress ? ZIP_CM_DEFAULT : ZIP_CM_STORE, 0);
    return std::string();
  };
  std::string problem;
  for (zip_int64_t idx : removed_)
    if (problem.empty() && zip_delete(za, static_cast<zip_uint64_t>(idx)) != 0) problem = zip_strerror(za);
  for (auto& [name, part] : parts_) {
    if (!part->dirty()) continue;
    bool isNew = std::find(newXml_.begin(), newXml_.end(), name) != newXml_.end();
    problem = add(name, part->serialize(), true, isNew);
    if (!problem.empty()) break;
  }
  for (auto& p : newBinary_) {
    if (!problem.empty()) break;
    std::string ext = asciiLower(std::filesystem::path(p.name).extension().string());
    bool compressed = ext == ".png" || ext == ".jpeg" || ext == ".jpg" || ext == ".gif";
    problem = add(p.name, p.bytes, !compressed, true);
  }
  if (problem.empty() && zip_close(za) != 0) problem = zip_strerror(za);
  if (!problem.empty()) {
    zip_discard(za);
    zip_source_free(src);
    fail(problem);
  }
  std::string out;
  if (zip_source_open(src) != 0) {
    zip_source_free(src);
    fail("cannot read the new package");
  }
  zip_source_seek(src, 0, SEEK_END);
  zip_int64_t size = zip_source_tell(src);
  zip_source_seek(src, 0, SEEK_SET);
  out.resize(static_cast<std::size_t>(std::max<zip_int64_t>(size, 0)));
  zip_int64_t got = size > 0 ? zip_source_read(src, out.data(), out.size()) : 0;
  zip_source_close(src);
  zip_source_free(src);
  if (got != size) fail("cannot read the new package");
  return out;
}

void Package::save(const std::filesystem::path& target) {
  if (!modified()) {
    std::error_code ec;
    if (std::filesystem::equivalent(target, path_, ec)) return;  // nothing to write
    writeFileAtomically(target, bytes_, sync_);
    path_ = target;
    return;
  }
  std::string out = buildArchive();
  writeFileAtomically(target, out, sync_);
  zip_.reset();
  source_ = nullptr;
  bytes_ = std::move(out);
  path_ = target;
  openArchive();
  for (auto& [name, part] : parts_) part->markClean();
  newXml_.clear();
  newBinary_.clear();
  removed_.clear();
}

bool isPackageFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  char head[4] = {};
  bool zip = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::read(fd, head, 4) == 4 &&
             std::memcmp(head, "PK\x03\x04", 4) == 0;
  ::close(fd);
  if (!zip) return false;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
  if (!z) return false;
  bool opc = zip_name_locate(z, "[Content_Types].xml", ZIP_FL_NOCASE) >= 0;
  zip_discard(z);
  return opc;
}

}  // namespace vm::word::docx
