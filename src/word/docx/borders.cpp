#include "word/docx/borders.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vm::word::docx {

namespace {

std::string_view localName(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Inserts a child named local into parent before the first child that the schema puts after it.
template <std::size_t N>
pugi::xml_node insertOrdered(pugi::xml_node parent, const Wml& w, std::string_view local,
                             const std::array<std::string_view, N>& order) {
  auto rank = [&](std::string_view n) {
    auto it = std::find(order.begin(), order.end(), n);
    return it == order.end() ? N : static_cast<std::size_t>(it - order.begin());
  };
  const std::size_t mine = rank(local);
  for (auto c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    std::size_t r = rank(localName(c.name()));
    if (r > mine && r < N) return parent.insert_child_before(w.name(local).c_str(), c);
  }
  return parent.append_child(w.name(local).c_str());
}

constexpr std::array<std::string_view, 36> kPPrOrder = {
    "pStyle", "keepNext", "keepLines", "pageBreakBefore", "framePr", "widowControl", "numPr",
    "suppressLineNumbers", "pBdr", "shd", "tabs", "suppressAutoHyphens", "kinsoku", "wordWrap",
    "overflowPunct", "topLinePunct", "autoSpaceDE", "autoSpaceDN", "bidi", "adjustRightInd", "snapToGrid",
    "spacing", "ind", "contextualSpacing", "mirrorIndents", "suppressOverlap", "jc", "textDirection",
    "textAlignment", "textboxTightWrap", "outlineLvl", "divId", "cnfStyle", "rPr", "sectPr", "pPrChange"};
constexpr std::array<std::string_view, 8> kBdrOrder = {"top", "left", "start", "bottom", "right", "end", "between", "bar"};

pugi::xml_node childNamed(pugi::xml_node parent, std::string_view local) {
  for (auto c = parent.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && localName(c.name()) == local) return c;
  return {};
}

}  // namespace

pugi::xml_node ensurePPr(pugi::xml_node owner, const Wml& w) {
  if (pugi::xml_node pPr = w.child(owner, Tag::PPr)) return pPr;
  // In a paragraph pPr comes first; in a style after name, aliases, basedOn ... (before rPr).
  if (w.tag(owner) == Tag::P) return owner.prepend_child(w.name("pPr").c_str());
  constexpr std::array<std::string_view, 18> kStyleOrder = {
      "name", "aliases", "basedOn", "next", "link", "autoRedefine", "hidden", "uiPriority", "semiHidden",
      "unhideWhenUsed", "qFormat", "locked", "personal", "personalCompose", "personalReply", "rsid", "pPr", "rPr"};
  return insertOrdered(owner, w, "pPr", kStyleOrder);
}

void setNoBottomBorder(pugi::xml_node pPr, const Wml& w) {
  pugi::xml_node bdr = childNamed(pPr, "pBdr");
  if (!bdr) bdr = insertOrdered(pPr, w, "pBdr", kPPrOrder);
  pugi::xml_node bottom = childNamed(bdr, "bottom");
  if (bottom) {
    while (bottom.first_attribute()) bottom.remove_attribute(bottom.first_attribute());
  } else {
    bottom = insertOrdered(bdr, w, "bottom", kBdrOrder);
  }
  bottom.append_attribute(w.attrName("val").c_str()) = "none";
  bottom.append_attribute(w.attrName("sz").c_str()) = "0";
  bottom.append_attribute(w.attrName("space").c_str()) = "0";
  bottom.append_attribute(w.attrName("color").c_str()) = "auto";
}

}  // namespace vm::word::docx
