#include "word/docx/comments.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "word/docx/wml.h"
#include "word/error.h"

namespace vm::word::docx {

namespace {

std::string_view localName(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view lastSegment(std::string_view type) { return type.substr(type.rfind('/') + 1); }

// Removes the comment marks of one part; returns the ids it saw.
void stripMarks(XmlPart& part, std::set<std::string>& ids) {
  Wml w(part.root());
  std::vector<pugi::xml_node> marks;
  struct Walker : pugi::xml_tree_walker {
    std::vector<pugi::xml_node>* marks;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      std::string_view l = localName(n.name());
      if (l == "commentRangeStart" || l == "commentRangeEnd" || l == "commentReference") marks->push_back(n);
      return true;
    }
  } walker;
  walker.marks = &marks;
  part.root().traverse(walker);
  if (marks.empty()) return;
  for (pugi::xml_node m : marks) {
    ids.insert(w.attr(m, "id").value());
    pugi::xml_node parent = m.parent();
    parent.remove_child(m);
    // The reference's run (with its comment reference style) goes with it when left empty.
    if (w.tag(parent) == Tag::R) {
      bool empty = true;
      for (auto c = parent.first_child(); c && empty; c = c.next_sibling())
        if (c.type() == pugi::node_element && w.tag(c) != Tag::RPr) empty = false;
      if (empty) parent.parent().remove_child(parent);
    }
  }
  part.markDirty();
}

}  // namespace

int deleteComments(Package& package) {
  const std::string& main = package.mainPartName();
  std::vector<Relationship> rels = package.relationships(main);
  std::set<std::string> ids;
  int count = 0;
  // The comments themselves.
  for (const Relationship& r : rels) {
    if (r.external || lastSegment(r.type) != "comments") continue;
    std::string name = Package::resolveTarget(main, r.target);
    if (!package.hasPart(name)) continue;
    XmlPart& part = package.xmlPart(name);
    for (auto c = part.root().first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element && localName(c.name()) == "comment") ++count;
  }
  // The marks in every story that may hold them.
  std::vector<std::string> stories{main};
  for (const Relationship& r : rels) {
    std::string_view kind = lastSegment(r.type);
    if (!r.external && (kind == "header" || kind == "footer" || kind == "footnotes" || kind == "endnotes"))
      stories.push_back(Package::resolveTarget(main, r.target));
  }
  for (const std::string& s : stories)
    if (package.hasPart(s)) stripMarks(package.xmlPart(s), ids);
  ids.erase("");
  count = std::max<int>(count, static_cast<int>(ids.size()));
  // The parts, their relationships and content types.
  for (const Relationship& r : rels) {
    std::string_view kind = lastSegment(r.type);
    if (r.external || (kind != "comments" && kind != "commentsExtended" && kind != "commentsIds" &&
                       kind != "commentsExtensible"))
      continue;
    std::string name = Package::resolveTarget(main, r.target);
    package.removeRelationship(main, r.id);
    if (package.hasPart(name)) {
      package.removePart(name);
      package.removeOverrideContentType(name);
    }
  }
  return count;
}

}  // namespace vm::word::docx
