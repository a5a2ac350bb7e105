#include "word/docx/wml.h"

namespace vm::word::docx {

namespace {

struct Entry {
  const char* local;
  Tag tag;
};

// Sorted by length then name would be faster; the list is short and checked by first letter.
constexpr Entry kMain[] = {
    {"body", Tag::Body}, {"p", Tag::P}, {"pPr", Tag::PPr}, {"r", Tag::R}, {"rPr", Tag::RPr},
    {"t", Tag::T}, {"delText", Tag::DelText}, {"instrText", Tag::InstrText},
    {"delInstrText", Tag::DelInstrText}, {"fldChar", Tag::FldChar}, {"fldSimple", Tag::FldSimple},
    {"tab", Tag::Tab}, {"ptab", Tag::PTab}, {"br", Tag::Br}, {"cr", Tag::Cr},
    {"noBreakHyphen", Tag::NoBreakHyphen}, {"softHyphen", Tag::SoftHyphen}, {"sym", Tag::Sym},
    {"drawing", Tag::Drawing}, {"pict", Tag::Pict}, {"object", Tag::Object},
    {"footnoteReference", Tag::FootnoteReference}, {"endnoteReference", Tag::EndnoteReference},
    {"commentReference", Tag::CommentReference}, {"hyperlink", Tag::Hyperlink},
    {"smartTag", Tag::SmartTag}, {"customXml", Tag::CustomXml}, {"sdt", Tag::Sdt},
    {"sdtContent", Tag::SdtContent}, {"ins", Tag::Ins}, {"del", Tag::Del}, {"moveTo", Tag::MoveTo},
    {"moveFrom", Tag::MoveFrom}, {"dir", Tag::Dir}, {"bdo", Tag::Bdo}, {"tbl", Tag::Tbl},
    {"tr", Tag::Tr}, {"tc", Tag::Tc}, {"sectPr", Tag::SectPr},
};

}  // namespace

std::string Wml::prefixFor(pugi::xml_node root, std::string_view uri, bool* found) {
  if (found) *found = false;
  for (auto a : root.attributes()) {
    std::string_view n = a.name();
    if (uri != a.value()) continue;
    if (n.rfind("xmlns:", 0) == 0) {
      if (found) *found = true;
      return std::string(n.substr(6)) + ":";
    }
  }
  return "";
}

Wml::Wml(pugi::xml_node root) {
  std::string_view rootName = root.name();
  auto colon = rootName.find(':');
  elementPrefix_ = colon == std::string_view::npos ? "" : std::string(rootName.substr(0, colon + 1));
  bool found = false;
  std::string p = prefixFor(root, kWmlNamespace, &found);
  if (!found) p = prefixFor(root, kWmlStrictNamespace, &found);
  attrPrefix_ = found ? p : elementPrefix_;
  if (attrPrefix_.empty()) attrPrefix_ = "w:";
  std::string mc = prefixFor(root, kMcNamespace, &found);
  if (found) mcPrefix_ = mc;
}

std::string escapeXml(std::string_view text, bool attribute) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;
      case '"': out += attribute ? "&quot;" : "\""; break;
      case '\n': out += attribute ? "&#10;" : "\n"; break;
      case '\t': out += attribute ? "&#9;" : "\t"; break;
      default: out += c;
    }
  }
  return out;
}

Tag Wml::tag(pugi::xml_node node) const {
  const char* name = node.name();
  if (std::strncmp(name, elementPrefix_.c_str(), elementPrefix_.size()) == 0) {
    const char* local = name + elementPrefix_.size();
    // The names walked most (r, t, p, rPr, pPr, tab, br) first, without a table search.
    switch (local[0]) {
      case 'r':
        if (!local[1]) return Tag::R;
        if (local[1] == 'P' && local[2] == 'r' && !local[3]) return Tag::RPr;
        break;
      case 't':
        if (!local[1]) return Tag::T;
        break;
      case 'p':
        if (!local[1]) return Tag::P;
        if (local[1] == 'P' && local[2] == 'r' && !local[3]) return Tag::PPr;
        break;
      default: break;
    }
    if (!std::strchr(local, ':')) {
      for (const auto& e : kMain)
        if (e.local[0] == local[0] && std::strcmp(e.local, local) == 0) return e.tag;
      return Tag::Other;
    }
  }
  if (std::strncmp(name, mcPrefix_.c_str(), mcPrefix_.size()) == 0) {
    const char* local = name + mcPrefix_.size();
    if (std::strcmp(local, "AlternateContent") == 0) return Tag::AlternateContent;
    if (std::strcmp(local, "Choice") == 0) return Tag::Choice;
    if (std::strcmp(local, "Fallback") == 0) return Tag::Fallback;
  }
  return Tag::Other;
}

}  // namespace vm::word::docx
