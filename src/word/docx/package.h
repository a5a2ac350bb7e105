#pragma once
// The OPC package of a .docx: its zip entries, content types and relationships, and the XML
// parts that operations parse and change. Parts that nothing changed are written back as
// their original compressed bytes; changed parts are serialised from their trees.
//
// A Package is owned by one document and used by one thread at a time.

#include <zip.h>

#include <filesystem>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vm::word::docx {

// One parsed XML part. The tree is parsed in place from `buffer`, with entity references and
// line ends left as they were written, so that a re-serialised part keeps the original's
// character references, namespaces, mc:Ignorable and xml:space attributes unchanged.
class XmlPart {
 public:
  XmlPart(std::string name, std::string bytes);  // throws EngineError(DamagedPart)
  XmlPart(const XmlPart&) = delete;
  XmlPart& operator=(const XmlPart&) = delete;
  // A separate part with this one's tree as it is now (its text copied, not shared).
  std::unique_ptr<XmlPart> clone() const;

  const std::string& name() const { return name_; }
  pugi::xml_document& doc() { return doc_; }
  pugi::xml_node root() const { return doc_.document_element(); }
  bool dirty() const { return dirty_; }
  void markDirty() { dirty_ = true; }
  void markClean() { dirty_ = false; }
  // The part's bytes as they would be written now.
  std::string serialize() const;

 private:
  XmlPart() = default;
  std::string name_;
  std::string buffer_;  // owns the text the tree points into
  std::string prolog_;  // bytes before the root element (declaration, line break), verbatim
  bool verbatimProlog_ = false;
  bool bom_ = false;
  bool singleQuotes_ = false;  // some attribute was written in single quotes
  pugi::xml_encoding encoding_ = pugi::encoding_utf8;
  pugi::xml_document doc_;
  bool dirty_ = false;
};

struct Relationship {
  std::string id, type, target;
  bool external = false;
};

class Package {
 public:
  // Reads the whole file and checks that it is a Word package with a main document part.
  // Throws EngineError: FileNotFound, NotAZip, Encrypted, NoMainPart, DamagedPart,
  // UnsupportedFormat (a package that is not a Word document).
  explicit Package(const std::filesystem::path& path, bool syncOnSave = true);
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;
  // A separate package with this one's content as it is now, parsed parts and pending changes
  // included, without reading the file again.
  std::unique_ptr<Package> clone() const;

  const std::string& mainPartName() const { return mainPart_; }

  bool hasPart(std::string_view name) const;
  std::vector<std::string> partNames() const;
  // Uncompressed bytes of a stored part (not of a new one). DamagedPart on read/CRC errors.
  std::string readPart(std::string_view name) const;
  // The parsed part, parsed on first use and kept. DamagedPart when it cannot be parsed.
  XmlPart& xmlPart(std::string_view name);
  // A parsed part already loaded, or nullptr.
  XmlPart* loadedPart(std::string_view name) const;

  // A new part written on the next save. Names must be new.
  XmlPart& addXmlPart(const std::string& name, std::string bytes);
  void addBinaryPart(const std::string& name, std::string bytes);

  // Leaves a part out of the next save (its relationships part too); its parsed tree is gone.
  void removePart(std::string_view name);
  // Removes the relationship with that id from sourcePart's relationships; none: nothing.
  void removeRelationship(std::string_view sourcePart, std::string_view id);
  // Removes the Override of a part, if any.
  void removeOverrideContentType(std::string_view partName);

  // Content type of a part (Override, else Default by extension); empty when none.
  std::string contentType(std::string_view partName);
  // Adds <Default Extension=ext ContentType=type/> unless a Default for ext exists.
  void ensureDefaultContentType(const std::string& ext, const std::string& type);
  // Sets <Override PartName="/name" ContentType=type/>.
  void setOverrideContentType(const std::string& partName, const std::string& type);

  // The relationships part of a part ("word/_rels/document.xml.rels" for "word/document.xml").
  static std::string relsPartName(std::string_view partName);
  // Part name that a relative (or absolute) target from sourcePart points to.
  static std::string resolveTarget(std::string_view sourcePart, std::string_view target);
  // The relative target from sourcePart to targetPart ("media/image1.png", "../media/x.png").
  static std::string relativeTarget(std::string_view sourcePart, std::string_view targetPart);
  std::vector<Relationship> relationships(std::string_view sourcePart);
  // Adds an internal relationship (creating the relationships part when missing); returns its id.
  std::string addRelationship(std::string_view sourcePart, const std::string& type,
                              const std::string& target);

  bool modified() const;
  // Writes the package to target (in place or elsewhere) atomically; unchanged parts keep their
  // compressed bytes. After success the package refers to what was written and is clean.
  void save(const std::filesystem::path& target);

 private:
  Package() = default;
  struct NewPart {
    std::string name, bytes;
    bool xml = false;
  };
  void openArchive();
  void verifyEntries() const;
  void readEntry(zip_int64_t idx, const std::string& name, std::string& out) const;  // DamagedPart on errors
  zip_int64_t locate(std::string_view name) const;
  std::string buildArchive();  // the new package bytes

  std::filesystem::path path_;
  bool sync_ = true;
  std::string bytes_;  // the file as read (or as last saved)
  struct ZipDiscard {
    void operator()(zip_t* z) const { zip_discard(z); }  // also releases its source
  };
  zip_source_t* source_ = nullptr;
  std::unique_ptr<zip_t, ZipDiscard> zip_;
  std::unordered_map<std::string, zip_int64_t> index_;  // lower-case name -> entry
  std::map<std::string, std::unique_ptr<XmlPart>, std::less<>> parts_;
  std::vector<NewPart> newBinary_;
  std::vector<std::string> newXml_;  // names of parts_ entries that are new
  std::vector<zip_int64_t> removed_;  // stored entries left out of the next save
  std::string mainPart_;
};

// Whether path is a regular file holding an OPC package (a zip with [Content_Types].xml),
// whatever its name says: a Word package saved under a .doc name is one. Checked without
// blocking on a FIFO or reading more than the zip's directory.
bool isPackageFile(const std::filesystem::path& path);

// Relationship and content types of the parts the engine reads or writes.
namespace rel {
inline constexpr const char* kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr const char* kOfficeDocumentStrict =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
inline constexpr const char* kImage =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
}  // namespace rel

}  // namespace vm::word::docx
