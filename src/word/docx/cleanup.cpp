#include "word/docx/cleanup.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "word/docx/storytext.h"

namespace vm::word::docx {

namespace {

std::string_view localName(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool isHyperlinkCode(std::string_view instr) {
  while (!instr.empty() && (instr.front() == ' ' || instr.front() == '\t')) instr.remove_prefix(1);
  constexpr std::string_view kName = "HYPERLINK";
  if (instr.size() < kName.size()) return false;
  for (std::size_t i = 0; i < kName.size(); ++i)
    if ((instr[i] & ~0x20) != kName[i]) return false;
  return instr.size() == kName.size() || instr[kName.size()] == ' ' || instr[kName.size()] == '\t';
}

// Every element of the story in document order, text box contents left out.
std::vector<pugi::xml_node> elementsInOrder(pugi::xml_node story) {
  std::vector<pugi::xml_node> out;
  walkNested(story, [&](pugi::xml_node c, bool&) -> pugi::xml_node {
    if (c.type() != pugi::node_element) return {};
    if (localName(c.name()) == "txbxContent") return {};
    out.push_back(c);
    return c;
  });
  return out;
}

void dropStyle(pugi::xml_node run, const Wml& w, const std::string& styleId) {
  if (styleId.empty()) return;
  pugi::xml_node rPr = w.child(run, Tag::RPr);
  pugi::xml_node style = rPr.child(w.name("rStyle").c_str());
  if (style && w.attr(style, "val").value() == styleId) rPr.remove_child(style);
  if (rPr && !rPr.first_child()) run.remove_child(rPr);
}

bool onlyProperties(pugi::xml_node run, const Wml& w) {
  for (auto c = run.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && w.tag(c) != Tag::RPr) return false;
  return true;
}

// Moves node's children in front of it and removes it.
void unwrap(pugi::xml_node node) {
  pugi::xml_node parent = node.parent();
  while (pugi::xml_node c = node.first_child()) parent.insert_move_before(c, node);
  parent.remove_child(node);
}

}  // namespace

HyperlinksRemoved removeHyperlinks(pugi::xml_node story, const Wml& w, const std::string& styleId) {
  HyperlinksRemoved result;
  struct Field {
    std::vector<pugi::xml_node> code;  // its field characters, its code and fields nested in it
    std::string instr;
    bool separated = false, link = false;
  };
  std::vector<Field> open;
  std::vector<pugi::xml_node> drop, unwrapped, restyled;
  for (pugi::xml_node e : elementsInOrder(story)) {
    Tag t = w.tag(e);
    if (t == Tag::Hyperlink) {
      unwrapped.push_back(e);
      std::string id;
      for (auto a : e.attributes())
        if (localName(a.name()) == "id" && std::string_view(a.name()).find(':') != std::string_view::npos &&
            std::string_view(a.name()) != w.attrName("id"))
          id = a.value();
      if (!id.empty()) result.relationshipIds.push_back(id);
      continue;
    }
    if (t == Tag::FldSimple) {
      if (isHyperlinkCode(w.attr(e, "instr").value())) unwrapped.push_back(e);
      continue;
    }
    if (t == Tag::R) {
      pugi::xml_node a = e.parent();
      for (; a && a != story; a = a.parent())
        if (w.tag(a) == Tag::Hyperlink || (w.tag(a) == Tag::FldSimple && isHyperlinkCode(w.attr(a, "instr").value())))
          break;
      if (a && a != story) restyled.push_back(e);
      else if (!open.empty() && open.back().separated && open.back().link) restyled.push_back(e);
      continue;
    }
    if (w.tag(e.parent()) != Tag::R) continue;  // field characters and codes are run content
    if (t == Tag::FldChar) {
      std::string_view type = w.attr(e, "fldCharType").value();
      if (type == "begin") {
        open.push_back({});
        open.back().code.push_back(e);
      } else if (open.empty()) {
        continue;  // a stray mark: left as it is
      } else if (type == "separate") {
        open.back().code.push_back(e);
        open.back().separated = true;
        open.back().link = isHyperlinkCode(open.back().instr);
      } else if (type == "end") {
        open.back().code.push_back(e);
        Field f = std::move(open.back());
        open.pop_back();
        if (isHyperlinkCode(f.instr)) {
          drop.insert(drop.end(), f.code.begin(), f.code.end());
          ++result.count;
        } else if (!open.empty() && !open.back().separated) {
          open.back().code.insert(open.back().code.end(), f.code.begin(), f.code.end());
        }
      }
      continue;
    }
    if (!open.empty() && !open.back().separated) {
      open.back().code.push_back(e);
      if (t == Tag::InstrText) open.back().instr += e.text().get();
    }
  }
  result.count += static_cast<int>(unwrapped.size());
  if (result.count == 0) return result;

  for (pugi::xml_node r : restyled) dropStyle(r, w, styleId);
  std::set<pugi::xml_node_struct*> runs;
  for (pugi::xml_node e : drop) {
    pugi::xml_node run = e.parent();
    run.remove_child(e);
    runs.insert(run.internal_object());
  }
  for (auto* r : runs) {
    pugi::xml_node run(r);
    if (onlyProperties(run, w)) run.parent().remove_child(run);
  }
  // Inner links first, so that an outer one moves content already unwrapped.
  for (auto it = unwrapped.rbegin(); it != unwrapped.rend(); ++it) unwrap(*it);
  return result;
}

int removeBlankParagraphs(pugi::xml_node story, const Wml& w) {
  auto blank = [&](pugi::xml_node p) {
    for (auto c = p.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      std::string_view local = localName(c.name());
      if (w.tag(c) == Tag::PPr) {
        if (w.child(c, Tag::SectPr)) return false;
        pugi::xml_node mark = w.child(c, Tag::RPr);
        if (mark && (w.child(mark, Tag::Ins) || w.child(mark, Tag::Del) || mark.child(w.name("moveFrom").c_str()) ||
                     mark.child(w.name("moveTo").c_str())))
          return false;
      } else if (w.tag(c) == Tag::R) {
        for (auto k = c.first_child(); k; k = k.next_sibling())
          if (k.type() == pugi::node_element && w.tag(k) != Tag::RPr && localName(k.name()) != "lastRenderedPageBreak")
            return false;
      } else if (local != "bookmarkStart" && local != "bookmarkEnd" && local != "proofErr") {
        return false;
      }
    }
    return true;
  };
  std::vector<pugi::xml_node> gone;
  walkNested(story, [&](pugi::xml_node c, bool&) -> pugi::xml_node {
    if (c.type() != pugi::node_element) return {};
    switch (w.tag(c)) {
      case Tag::Tbl: case Tag::Tr: case Tag::Tc: case Tag::CustomXml: return c;
      case Tag::Sdt: return w.child(c, Tag::SdtContent);
      case Tag::P: {
        pugi::xml_node next = c.next_sibling();
        while (next && (next.type() != pugi::node_element || w.tag(next) != Tag::P)) next = next.next_sibling();
        if (next && blank(c)) gone.push_back(c);
        return {};
      }
      default: return {};
    }
  });
  for (pugi::xml_node p : gone) {
    pugi::xml_node next = p.next_sibling();
    while (w.tag(next) != Tag::P) next = next.next_sibling();
    // Bookmarks go on in the next paragraph, where Word moves them.
    pugi::xml_node at = w.child(next, Tag::PPr);
    for (pugi::xml_node c = p.last_child(), prev; c; c = prev) {
      prev = c.previous_sibling();
      std::string_view local = localName(c.name());
      if (local != "bookmarkStart" && local != "bookmarkEnd") continue;
      if (at) next.insert_move_after(c, at);
      else next.prepend_move(c);
    }
    p.parent().remove_child(p);
  }
  return static_cast<int>(gone.size());
}

}  // namespace vm::word::docx
