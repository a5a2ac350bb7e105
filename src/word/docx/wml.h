#pragma once
// WordprocessingML element names as the engine sees them. pugixml does not resolve namespaces,
// so the prefixes a part binds to the main and markup-compatibility namespaces are read from
// its root element ("w" and "mc" nearly always) and element names are compared after them.

#include <cstdint>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace vm::word::docx {

enum class Tag : std::uint8_t {
  Other,
  // main namespace
  Body, P, PPr, R, RPr, T, DelText, InstrText, DelInstrText, FldChar, FldSimple, Tab, PTab, Br, Cr,
  NoBreakHyphen, SoftHyphen, Sym, Drawing, Pict, Object, FootnoteReference, EndnoteReference,
  CommentReference, Hyperlink, SmartTag, CustomXml, Sdt, SdtContent, Ins, Del, MoveTo, MoveFrom,
  Dir, Bdo, Tbl, Tr, Tc, SectPr,
  // markup compatibility
  AlternateContent, Choice, Fallback,
};

class Wml {
 public:
  // Reads the prefixes from the part's root element.
  explicit Wml(pugi::xml_node root);

  Tag tag(pugi::xml_node node) const;
  // Element name with the part's main-namespace prefix, e.g. "w:t".
  std::string name(std::string_view local) const { return elementPrefix_ + std::string(local); }
  // Attribute of the main namespace, e.g. "w:type".
  std::string attrName(std::string_view local) const { return attrPrefix_ + std::string(local); }
  pugi::xml_attribute attr(pugi::xml_node node, std::string_view local) const {
    return node.attribute(attrName(local).c_str());
  }
  pugi::xml_node child(pugi::xml_node node, Tag t) const {
    for (auto c = node.first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element && tag(c) == t) return c;
    return {};
  }
  // Prefix (with colon) bound on the root to a namespace URI, empty string when unbound.
  static std::string prefixFor(pugi::xml_node root, std::string_view uri, bool* found = nullptr);

  const std::string& elementPrefix() const { return elementPrefix_; }

 private:
  std::string elementPrefix_ = "w:";
  std::string attrPrefix_ = "w:";
  std::string mcPrefix_ = "mc:";
};

// Text for the raw value of a text node or attribute (pugixml keeps values as written): markup
// characters, and in attributes the quote and the white space that parsing would fold.
std::string escapeXml(std::string_view text, bool attribute);

inline constexpr const char* kWmlNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
inline constexpr const char* kWmlStrictNamespace = "http://purl.oclc.org/ooxml/wordprocessingml/main";
inline constexpr const char* kMcNamespace = "http://schemas.openxmlformats.org/markup-compatibility/2006";

}  // namespace vm::word::docx
