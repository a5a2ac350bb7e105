#include "word/docx/headerfooter.h"

#include <algorithm>
#include <map>

#include "word/docx/unicase.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

namespace {

constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kRelNsStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships";

std::string_view localName(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Section properties in document order: those ending sections inside the body, then the body's
// own (the last section). Old properties kept by a tracked change (…Change elements) are not
// sections.
std::vector<pugi::xml_node> sections(pugi::xml_node body, const Wml& w) {
  struct Walker : pugi::xml_tree_walker {
    const Wml& w;
    std::vector<pugi::xml_node> found;
    int changeDepth = -1;
    explicit Walker(const Wml& wml) : w(wml) {}
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      if (changeDepth >= 0 && depth() <= changeDepth) changeDepth = -1;
      if (changeDepth >= 0) return true;
      std::string_view local = localName(n.name());
      if (local.size() > 6 && local.substr(local.size() - 6) == "Change") {
        changeDepth = depth();
      } else if (w.tag(n) == Tag::SectPr) {
        found.push_back(n);
      }
      return true;
    }
  } walker(w);
  body.traverse(walker);
  // traverse() visits descendants only: the body's own properties are among them, and last.
  return walker.found;
}

bool isOn(pugi::xml_node flag, const Wml& w) {
  if (!flag) return false;
  std::string v = asciiLower(w.attr(flag, "val").value());
  return v != "0" && v != "false" && v != "off";
}

HeaderFooterKind kindOf(std::string_view type) {
  if (type == "first") return HeaderFooterKind::FirstPage;
  if (type == "even") return HeaderFooterKind::EvenPages;
  return HeaderFooterKind::Default;
}

// The relationship id of a reference: its attribute "id" in a namespace other than w's.
std::string referenceId(pugi::xml_node ref, const Wml& w) {
  std::string wId = w.attrName("id");
  for (auto a : ref.attributes()) {
    std::string_view n = a.name();
    if (n != wId && n.size() > 3 && n.substr(n.size() - 3) == ":id") return a.value();
  }
  return {};
}

struct Context {
  XmlPart& main;
  Wml w;
  pugi::xml_node body;
  std::map<std::string, std::string> targets;  // relationship id -> part name
};

Context context(Package& package) {
  XmlPart& main = package.xmlPart(package.mainPartName());
  Wml w(main.root());
  Context c{main, w, w.child(main.root(), Tag::Body), {}};
  for (const auto& r : package.relationships(package.mainPartName()))
    if (!r.external) c.targets[r.id] = Package::resolveTarget(package.mainPartName(), r.target);
  return c;
}

const char* referenceName(StoryKind kind) { return kind == StoryKind::Header ? "headerReference" : "footerReference"; }

}  // namespace

std::vector<HeaderFooterPart> headerFooterParts(Package& package, StoryKind kind) {
  Context c = context(package);
  std::vector<HeaderFooterPart> out;
  if (!c.body) return out;
  const std::string refName = c.w.name(referenceName(kind));
  std::vector<pugi::xml_node> sects = sections(c.body, c.w);
  for (std::size_t s = 0; s < sects.size(); ++s) {
    for (auto ref = sects[s].child(refName.c_str()); ref; ref = ref.next_sibling(refName.c_str())) {
      auto it = c.targets.find(referenceId(ref, c.w));
      if (it == c.targets.end() || !package.hasPart(it->second)) continue;
      if (std::any_of(out.begin(), out.end(), [&](const HeaderFooterPart& h) { return h.part == it->second; }))
        continue;
      out.push_back({{kind, static_cast<int>(s), kindOf(c.w.attr(ref, "type").value())}, it->second});
    }
  }
  return out;
}

namespace {

struct CurrentPage {
  pugi::xml_node section;  // the first section's properties; none when the body has none
  HeaderFooterKind which = HeaderFooterKind::Default;
  std::optional<HeaderFooterPart> part;
};

CurrentPage lookUpCurrentPage(Package& package, const Context& c, StoryKind kind) {
  const Wml& w = c.w;
  if (!c.body) throw EngineError(ErrorCode::DamagedPart, c.main.name() + ": no body");
  CurrentPage out;
  std::vector<pugi::xml_node> sects = sections(c.body, w);
  if (sects.empty()) return out;
  out.section = sects.front();
  out.which = isOn(out.section.child(w.name("titlePg").c_str()), w) ? HeaderFooterKind::FirstPage
                                                                    : HeaderFooterKind::Default;
  const std::string refName = w.name(referenceName(kind));
  for (auto ref = out.section.child(refName.c_str()); ref; ref = ref.next_sibling(refName.c_str())) {
    if (kindOf(w.attr(ref, "type").value()) != out.which) continue;
    auto it = c.targets.find(referenceId(ref, w));
    if (it != c.targets.end() && package.hasPart(it->second)) {
      out.part = HeaderFooterPart{{kind, 0, out.which}, it->second};
      break;
    }
  }
  return out;
}

}  // namespace

std::optional<HeaderFooterPart> findCurrentPage(Package& package, StoryKind kind) {
  Context c = context(package);
  return lookUpCurrentPage(package, c, kind).part;
}

HeaderFooterPart ensureCurrentPage(Package& package, StoryKind kind) {
  Context c = context(package);
  const Wml& w = c.w;
  CurrentPage current = lookUpCurrentPage(package, c, kind);
  if (current.part) return *current.part;
  pugi::xml_node first = current.section ? current.section : c.body.append_child(w.name("sectPr").c_str());
  const HeaderFooterKind which = current.which;
  const char* type = which == HeaderFooterKind::FirstPage ? "first" : "default";
  const std::string refName = w.name(referenceName(kind));

  // A new part beside the main part, numbered as Word numbers them.
  const bool header = kind == StoryKind::Header;
  const std::string& mainName = package.mainPartName();
  const std::string folder = mainName.substr(0, mainName.rfind('/') + 1);
  std::vector<std::string> names = package.partNames();
  for (auto& n : names) n = asciiLower(n);
  std::string name;
  for (int n = 1; name.empty(); ++n) {
    std::string candidate = folder + (header ? "header" : "footer") + std::to_string(n) + ".xml";
    if (std::find(names.begin(), names.end(), asciiLower(candidate)) == names.end()) name = candidate;
  }
  const std::string& prefix = w.elementPrefix();
  std::string xmlns = prefix.empty() ? "xmlns" : "xmlns:" + prefix.substr(0, prefix.size() - 1);
  std::string wUri = c.main.root().attribute(xmlns.c_str()).as_string(kWmlNamespace);
  const bool strict = wUri == kWmlStrictNamespace;
  const char* relNs = strict ? kRelNsStrict : kRelNs;

  // The paragraph style Word gives a new header or footer, when the document defines it.
  std::string style;
  if (package.hasPart(folder + "styles.xml")) {
    try {
      XmlPart& styles = package.xmlPart(folder + "styles.xml");
      Wml sw(styles.root());
      const std::string styleName = sw.name("style"), nameName = sw.name("name");
      for (auto s = styles.root().child(styleName.c_str()); s; s = s.next_sibling(styleName.c_str()))
        if (asciiLower(sw.attr(s.child(nameName.c_str()), "val").value()) == (header ? "header" : "footer"))
          style = sw.attr(s, "styleId").value();
    } catch (const EngineError&) {
      // unreadable styles: the paragraph gets none
    }
  }
  std::string para = style.empty() ? "<w:p/>" : "<w:p><w:pPr><w:pStyle w:val=\"" + escapeXml(style, true) + "\"/></w:pPr></w:p>";
  std::string tag = header ? "w:hdr" : "w:ftr";
  package.addXmlPart(name, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<" + tag +
                               " xmlns:w=\"" + wUri + "\" xmlns:r=\"" + relNs + "\">" + para + "</" + tag + ">");
  package.setOverrideContentType(
      name, std::string("application/vnd.openxmlformats-officedocument.wordprocessingml.") + (header ? "header" : "footer") +
                "+xml");
  std::string relType = std::string(strict ? "http://purl.oclc.org/ooxml/officeDocument/relationships/"
                                           : "http://schemas.openxmlformats.org/officeDocument/2006/relationships/") +
                        (header ? "header" : "footer");
  std::string rid = package.addRelationship(mainName, relType, Package::relativeTarget(mainName, name));

  // The reference goes with the section's other references, which come first in its properties.
  pugi::xml_node root = c.main.root();
  bool bound = false;
  std::string r = Wml::prefixFor(root, relNs, &bound);
  if (!bound) {
    r = "r";
    for (int k = 1; root.attribute(("xmlns:" + r).c_str()); ++k) r = "r" + std::to_string(k);
    root.append_attribute(("xmlns:" + r).c_str()) = relNs;
    r += ":";
  }
  pugi::xml_node after;
  for (auto n = first.first_child(); n; n = n.next_sibling()) {
    std::string_view local = localName(n.name());
    if (local == "headerReference" || local == "footerReference") after = n;
  }
  pugi::xml_node ref = after ? first.insert_child_after(refName.c_str(), after) : first.prepend_child(refName.c_str());
  ref.append_attribute(w.attrName("type").c_str()) = type;
  ref.append_attribute((r + "id").c_str()) = rid.c_str();
  c.main.markDirty();
  return {{kind, 0, which}, name};
}

}  // namespace vm::word::docx
