#include "word/docx/compose.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <sstream>
#include <unordered_map>

#include "word/docx/package.h"
#include "word/docx/wml.h"
#include "word/error.h"

namespace vm::word::docx {

namespace {

constexpr const char* kRelNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kProlog = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

std::string_view localOf(std::string_view name) {
  auto c = name.find(':');
  return c == std::string_view::npos ? name : name.substr(c + 1);
}

bool typeEndsWith(std::string_view type, std::string_view suffix) {
  return type.size() >= suffix.size() && type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The part a relationship of the main part of this type points to ("/styles"); empty: none.
std::string partOfType(Package& pkg, std::string_view suffix, std::string* relType = nullptr) {
  const std::string& main = pkg.mainPartName();
  for (const Relationship& r : pkg.relationships(main)) {
    if (r.external || !typeEndsWith(r.type, suffix)) continue;
    std::string part = Package::resolveTarget(main, r.target);
    if (!pkg.hasPart(part)) continue;
    if (relType) *relType = r.type;
    return part;
  }
  return {};
}

long toLong(std::string_view s, long fallback = 0) {
  long v = fallback;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  return res.ec == std::errc() ? v : fallback;
}

// Parts whose content the composition merges (or leaves to the host), never copied whole.
bool documentLevelType(std::string_view type) {
  for (const char* t : {"/styles", "/numbering", "/settings", "/webSettings", "/fontTable", "/theme", "/footnotes",
                        "/endnotes", "/comments", "/commentsExtended", "/commentsIds", "/commentsExtensible",
                        "/people", "/stylesWithEffects", "/glossaryDocument", "/customXml", "/core-properties",
                        "/extended-properties", "/custom-properties"})
    if (typeEndsWith(type, t)) return true;
  return false;
}

// A style's definition as it affects the look: without bookkeeping children.
std::string canonicalStyle(pugi::xml_node style) {
  if (!style) return {};
  pugi::xml_document tmp;
  pugi::xml_node c = tmp.append_copy(style);
  for (const char* drop : {"rsid", "uiPriority", "qFormat", "semiHidden", "unhideWhenUsed", "locked", "personal"}) {
    for (pugi::xml_node n = c.first_child(); n;) {
      pugi::xml_node next = n.next_sibling();
      if (localOf(n.name()) == drop) c.remove_child(n);
      n = next;
    }
  }
  std::ostringstream out;
  tmp.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

struct StyleIndex {
  std::map<std::string, pugi::xml_node> byId;
  std::set<std::string> names;  // lower case
  std::string defaultParagraph, defaultTable;
};

StyleIndex indexStyles(pugi::xml_node root, const Wml& w) {
  StyleIndex ix;
  if (!root) return ix;
  const std::string styleName = w.name("style"), nameName = w.name("name");
  for (auto st = root.child(styleName.c_str()); st; st = st.next_sibling(styleName.c_str())) {
    std::string id = w.attr(st, "styleId").value();
    ix.byId[id] = st;
    ix.names.insert(lower(w.attr(st.child(nameName.c_str()), "val").value()));
    std::string_view type = w.attr(st, "type").value();
    std::string_view def = w.attr(st, "default").value();
    if (def == "1" || def == "true" || def == "on") {
      if (type == "paragraph") ix.defaultParagraph = id;
      if (type == "table") ix.defaultTable = id;
    }
  }
  return ix;
}

// Puts child first among node's children when missing; returns it.
pugi::xml_node firstChildNamed(pugi::xml_node node, const std::string& name) {
  pugi::xml_node c = node.child(name.c_str());
  if (!c) c = node.prepend_child(name.c_str());
  return c;
}

}  // namespace

struct Composer::Impl {
  std::unique_ptr<Package> host;
  XmlPart* doc = nullptr;
  Wml w{pugi::xml_node()};
  pugi::xml_node body, bodySect;
  long nextDocPr = 1, nextBookmark = 1;
  std::map<std::string, long> nextNote;  // host notes part -> next id
  // Pictures met before: the same bytes are one part. Keyed by size and two hashes.
  std::map<std::tuple<std::size_t, std::size_t, std::uint64_t>, std::vector<std::string>> media;
  bool started = false;
  pugi::xml_node lastSect;  // the section properties closing the last appended document
  // Word's insertion point: before the host's first block when the host has text of its own
  // (null: at the end); endsWithBreak: a page break was the last thing inserted.
  pugi::xml_node anchor;
  bool endsWithBreak = false;
  int sources = 0;

  // One appended package while it is worked in.
  struct Source {
    std::unique_ptr<Package> pkg;
    std::string main;
    std::map<std::string, std::string> styles, nums, abstracts, bookmarks;
    std::map<std::string, std::map<std::string, std::string>> notes;  // local name -> old id -> new id
    std::map<std::string, std::string> parts;                         // source part -> host part
    std::map<std::pair<std::string, std::string>, std::string> rels;  // (source part, id) -> host id
    std::map<std::string, std::string> bytes;                         // parts read ahead
    // Source default styles to name on paragraphs and tables that name none (the host's
    // default is another style).
    std::string explicitPStyle, explicitTblStyle;
    std::vector<std::string> copiedStyles;
  };

  explicit Impl(const std::filesystem::path& target) : host(std::make_unique<Package>(target)) {
    doc = &host->xmlPart(host->mainPartName());
    w = Wml(doc->root());
    body = w.child(doc->root(), Tag::Body);
    if (!body) throw EngineError(ErrorCode::DamagedPart, target.string() + ": no body");
    bodySect = w.child(body, Tag::SectPr);
    for (const std::string& name : host->partNames()) {
      bool story = name == host->mainPartName() || name.rfind("word/header", 0) == 0 || name.rfind("word/footer", 0) == 0;
      if (!story || name.find(".rels") != std::string::npos) continue;
      scanIds(host->xmlPart(name).root());
    }
  }

  void scanIds(pugi::xml_node node) {
    for (pugi::xml_node n = node.first_child(); n; n = n.next_sibling()) {
      if (n.type() != pugi::node_element) continue;
      std::string_view l = localOf(n.name());
      if (l == "docPr") nextDocPr = std::max(nextDocPr, toLong(n.attribute("id").value()) + 1);
      if (l == "bookmarkStart") nextBookmark = std::max(nextBookmark, toLong(w.attr(n, "id").value()) + 1);
      scanIds(n);
    }
  }

  // --- namespaces ---

  // Declares on dst's root what src's root declares; a prefix bound to another namespace there
  // is declared on each copied element instead (returned).
  static std::vector<std::pair<std::string, std::string>> mergeNamespaces(pugi::xml_node dst, pugi::xml_node src) {
    std::vector<std::pair<std::string, std::string>> local;
    std::set<std::string> ignorable;
    for (pugi::xml_attribute a : src.attributes()) {
      std::string_view n = a.name();
      if (n.rfind("xmlns", 0) != 0) continue;
      pugi::xml_attribute have = dst.attribute(a.name());
      if (!have)
        dst.append_attribute(a.name()) = a.value();
      else if (std::string_view(have.value()) != a.value())
        local.emplace_back(a.name(), a.value());
    }
    // Prefixes the source may ignore stay ignorable (their namespaces are declared now).
    std::string mc = Wml::prefixFor(src, kMcNamespace), dmc = Wml::prefixFor(dst, kMcNamespace);
    if (!mc.empty() && !dmc.empty()) {
      std::istringstream in(src.attribute((mc + "Ignorable").c_str()).value());
      pugi::xml_attribute dIgn = dst.attribute((dmc + "Ignorable").c_str());
      std::string have = dIgn ? dIgn.value() : "";
      std::set<std::string> present;
      std::istringstream hin(have);
      for (std::string t; hin >> t;) present.insert(t);
      for (std::string t; in >> t;) {
        bool conflicting = std::any_of(local.begin(), local.end(), [&](auto& d) { return d.first == "xmlns:" + t; });
        if (!present.count(t) && !conflicting) have += (have.empty() ? "" : " ") + t;
      }
      if (!have.empty()) (dIgn ? dIgn : dst.append_attribute((dmc + "Ignorable").c_str())) = have.c_str();
    }
    return local;
  }

  // --- reading ahead: everything that can fail is read before the host changes ---

  void readAhead(Source& s, const std::string& part, std::set<std::string>& seen) {
    if (!seen.insert(part).second) return;
    for (const Relationship& r : s.pkg->relationships(part)) {
      if (r.external || documentLevelType(r.type)) continue;
      std::string target = Package::resolveTarget(part, r.target);
      if (!s.pkg->hasPart(target) || s.bytes.count(target)) continue;
      s.bytes[target] = s.pkg->readPart(target);
      std::string ct = s.pkg->contentType(target);
      if (typeEndsWith(ct, "xml")) {
        s.pkg->xmlPart(target);  // parsed now: a damaged one fails here
        readAhead(s, target, seen);
      }
    }
  }

  // --- parts and relationships ---

  std::string freeName(const std::string& wanted) {
    if (!host->hasPart(wanted)) return wanted;
    auto slash = wanted.rfind('/');
    auto dot = wanted.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = wanted.size();
    const std::string stem = wanted.substr(0, dot), ext = wanted.substr(dot);
    for (int k = 2;; ++k) {
      std::string n = stem + "_" + std::to_string(k) + ext;
      if (!host->hasPart(n)) return n;
    }
  }

  void setContentType(const std::string& part, const std::string& type) {
    if (type.empty() || host->contentType(part) == type) return;
    host->setOverrideContentType(part, type);
  }

  std::string copyPart(Source& s, const std::string& srcPart) {
    if (auto it = s.parts.find(srcPart); it != s.parts.end()) return it->second;
    const std::string& bytes = s.bytes.at(srcPart);
    const std::string ct = s.pkg->contentType(srcPart);
    std::string name;
    if (typeEndsWith(ct, "xml")) {
      name = freeName(srcPart);
      s.parts[srcPart] = name;
      XmlPart& part = host->addXmlPart(name, bytes);
      importTree(s, part.root(), srcPart, name, Wml(part.root()));
    } else {
      std::uint64_t fnv = 1469598103934665603ull;
      for (unsigned char c : bytes) fnv = (fnv ^ c) * 1099511628211ull;
      auto key = std::make_tuple(bytes.size(), std::hash<std::string_view>{}(bytes), fnv);
      for (const std::string& existing : media[key])
        if (host->contentType(existing) == ct) name = existing;
      if (name.empty()) {
        name = freeName(srcPart);
        host->addBinaryPart(name, bytes);
        media[key].push_back(name);
      }
      s.parts[srcPart] = name;
    }
    setContentType(name, ct);
    return name;
  }

  std::string mapRelationship(Source& s, const std::string& srcPart, const std::string& dstPart, const std::string& id) {
    auto key = std::make_pair(srcPart, id);
    if (auto it = s.rels.find(key); it != s.rels.end()) return it->second;
    std::string out = id;
    for (const Relationship& r : s.pkg->relationships(srcPart)) {
      if (r.id != id) continue;
      if (r.external) {
        out = host->addRelationship(dstPart, r.type, r.target);
        markExternal(dstPart, out);
      } else {
        std::string target = Package::resolveTarget(srcPart, r.target);
        if (!s.bytes.count(target)) break;  // a document-level part: the host has its own
        std::string copied = copyPart(s, target);
        out = host->addRelationship(dstPart, r.type, Package::relativeTarget(dstPart, copied));
      }
      break;
    }
    s.rels[key] = out;
    return out;
  }

  void markExternal(const std::string& part, const std::string& id) {
    XmlPart& rels = host->xmlPart(Package::relsPartName(part));
    for (pugi::xml_node n : rels.root().children())
      if (std::string_view(n.attribute("Id").value()) == id) n.append_attribute("TargetMode") = "External";
    rels.markDirty();
  }

  // --- the content of a source part made the host's ---

  void importTree(Source& s, pugi::xml_node node, const std::string& srcPart, const std::string& dstPart,
                  const Wml& sw) {
    const std::string relPrefix = Wml::prefixFor(s.pkg->xmlPart(srcPart).root(), kRelNamespace);
    importNode(s, node, srcPart, dstPart, sw, relPrefix);
  }

  void importNode(Source& s, pugi::xml_node node, const std::string& srcPart, const std::string& dstPart,
                  const Wml& sw, const std::string& relPrefix) {
    for (pugi::xml_node n = node; n;) {
      if (n.type() == pugi::node_element) remapElement(s, n, srcPart, dstPart, sw, relPrefix);
      // Depth first without recursion: markup may nest deeply.
      if (pugi::xml_node c = n.first_child()) {
        n = c;
        continue;
      }
      while (n && n != node && !n.next_sibling()) n = n.parent();
      if (!n || n == node) break;
      n = n.next_sibling();
    }
  }

  // A relationship attribute whose prefix is declared on the element or an ancestor rather than
  // on the root (some writers do that).
  static bool locallyRelationship(pugi::xml_node n, std::string_view attr) {
    const auto colon = attr.find(':');
    if (colon == std::string_view::npos || attr.rfind("xmlns", 0) == 0) return false;
    const std::string_view l = attr.substr(colon + 1);
    if (l != "id" && l != "embed" && l != "link" && l != "pict" && l != "href" && l != "dm" && l != "lo" &&
        l != "qs" && l != "cs")
      return false;
    const std::string decl = "xmlns:" + std::string(attr.substr(0, colon));
    for (pugi::xml_node a = n; a; a = a.parent())
      if (pugi::xml_attribute d = a.attribute(decl.c_str())) return std::string_view(d.value()) == kRelNamespace;
    return false;
  }

  void remapElement(Source& s, pugi::xml_node n, const std::string& srcPart, const std::string& dstPart,
                    const Wml& sw, const std::string& relPrefix) {
    std::string_view name = n.name();
    std::string_view l = localOf(name);
    bool main = name.size() == sw.elementPrefix().size() + l.size() && name.rfind(sw.elementPrefix(), 0) == 0;
    for (pugi::xml_attribute a = n.first_attribute(); a;) {
      pugi::xml_attribute next = a.next_attribute();
      std::string_view an = a.name();
      if ((!relPrefix.empty() && an.rfind(relPrefix, 0) == 0) || locallyRelationship(n, an)) {
        a = mapRelationship(s, srcPart, dstPart, a.value()).c_str();
      } else if (localOf(an) == "relid") {
        a = mapRelationship(s, srcPart, dstPart, a.value()).c_str();
      } else if (localOf(an) == "paraId" || localOf(an) == "textId") {
        n.remove_attribute(a);  // Word makes new ones; copies would clash
      }
      a = next;
    }
    if (l == "docPr") {
      if (pugi::xml_attribute id = n.attribute("id")) id = std::to_string(nextDocPr++).c_str();
      return;
    }
    if (!main) return;
    auto remapVal = [&](const char* attr, const std::map<std::string, std::string>& map) {
      pugi::xml_attribute a = sw.attr(n, attr);
      if (!a) return;
      if (auto it = map.find(a.value()); it != map.end()) a = it->second.c_str();
    };
    if (l == "pStyle" || l == "rStyle" || l == "tblStyle") remapVal("val", s.styles);
    else if (l == "numId") remapVal("val", s.nums);
    else if (l == "footnoteReference") remapVal("id", s.notes["footnote"]);
    else if (l == "endnoteReference") remapVal("id", s.notes["endnote"]);
    else if (l == "commentRangeStart" || l == "commentRangeEnd" || l == "commentReference")
      remapVal("id", s.notes["comment"]);
    else if (l == "bookmarkStart" || l == "bookmarkEnd") {
      pugi::xml_attribute a = sw.attr(n, "id");
      if (!a) return;
      auto [it, fresh] = s.bookmarks.try_emplace(a.value(), std::string());
      if (fresh) it->second = std::to_string(nextBookmark++);
      a = it->second.c_str();
    } else if (l == "p" && !s.explicitPStyle.empty()) {
      pugi::xml_node pPr = firstChildNamed(n, sw.name("pPr"));
      if (!pPr.child(sw.name("pStyle").c_str()))
        pPr.prepend_child(sw.name("pStyle").c_str()).append_attribute(sw.attrName("val").c_str()) =
            s.explicitPStyle.c_str();
    } else if (l == "tbl" && !s.explicitTblStyle.empty()) {
      pugi::xml_node tblPr = n.child(sw.name("tblPr").c_str());
      if (tblPr && !tblPr.child(sw.name("tblStyle").c_str()))
        tblPr.prepend_child(sw.name("tblStyle").c_str()).append_attribute(sw.attrName("val").c_str()) =
            s.explicitTblStyle.c_str();
    }
  }

  // --- styles ---

  // New ids for the source styles the host lacks or defines otherwise.
  void planStyles(Source& s) {
    std::string relType;
    const std::string srcName = partOfType(*s.pkg, "/styles", &relType);
    if (srcName.empty()) return;
    XmlPart& src = s.pkg->xmlPart(srcName);
    Wml sw(src.root());
    std::string hostName = partOfType(*host, "/styles");
    if (hostName.empty()) {
      // The host has no styles: the source's become its own, ids unchanged.
      hostName = freeName("word/styles.xml");
      host->addXmlPart(hostName, s.pkg->readPart(srcName));
      host->addRelationship(host->mainPartName(), relType, Package::relativeTarget(host->mainPartName(), hostName));
      setContentType(hostName, s.pkg->contentType(srcName));
      return;
    }
    XmlPart& dst = host->xmlPart(hostName);
    Wml dw(dst.root());
    StyleIndex hi = indexStyles(dst.root(), dw), si = indexStyles(src.root(), sw);
    const std::string defaults = sw.name("docDefaults");
    const bool sameDefaults = canonicalStyle(src.root().child(defaults.c_str())) ==
                              canonicalStyle(dst.root().child(dw.name("docDefaults").c_str()));
    std::set<std::string> ids;
    for (auto& [id, node] : hi.byId) ids.insert(id);

    // Which source styles the host already has as they are, and new ids for the others.
    std::map<std::string, int> state;  // 0 deciding, 1 same, 2 copied
    std::function<bool(const std::string&)> same = [&](const std::string& id) -> bool {
      if (auto it = state.find(id); it != state.end()) return it->second == 1;
      state[id] = 0;
      pugi::xml_node sn = si.byId[id];
      auto h = hi.byId.find(id);
      std::string basedOn = sw.attr(sn.child(sw.name("basedOn").c_str()), "val").value();
      bool ok = sameDefaults && h != hi.byId.end() && canonicalStyle(sn) == canonicalStyle(h->second) &&
                (basedOn.empty() || !si.byId.count(basedOn) || same(basedOn));
      state[id] = ok ? 1 : 2;
      return ok;
    };
    std::vector<std::string>& copied = s.copiedStyles;
    for (auto& [id, node] : si.byId) {
      if (same(id)) {
        s.styles[id] = id;
        continue;
      }
      std::string nid = id;
      for (int k = 2; ids.count(nid); ++k) nid = id + "-" + std::to_string(k);
      ids.insert(nid);
      s.styles[id] = nid;
      copied.push_back(id);
    }
    auto explicitFor = [&](const std::string& srcDefault, const std::string& hostDefault) {
      return srcDefault.empty() || s.styles[srcDefault] == hostDefault ? std::string() : srcDefault;
    };
    s.explicitPStyle = explicitFor(si.defaultParagraph, hi.defaultParagraph);
    s.explicitTblStyle = explicitFor(si.defaultTable, hi.defaultTable);
  }

  // The planned copies go in with their links, lists and names made the host's.
  void copyStyles(Source& s) {
    if (s.copiedStyles.empty()) return;
    const std::string srcName = partOfType(*s.pkg, "/styles"), hostName = partOfType(*host, "/styles");
    XmlPart& src = s.pkg->xmlPart(srcName);
    XmlPart& dst = host->xmlPart(hostName);
    Wml sw(src.root()), dw(dst.root());
    mergeNamespaces(dst.root(), src.root());
    StyleIndex hi = indexStyles(dst.root(), dw), si = indexStyles(src.root(), sw);
    const std::string defaults = sw.name("docDefaults");
    const bool sameDefaults = canonicalStyle(src.root().child(defaults.c_str())) ==
                              canonicalStyle(dst.root().child(dw.name("docDefaults").c_str()));
    const std::string nameName = sw.name("name");
    for (const std::string& id : s.copiedStyles) {
      pugi::xml_node c = dst.root().append_copy(si.byId[id]);
      sw.attr(c, "styleId") = s.styles[id].c_str();
      if (pugi::xml_attribute d = sw.attr(c, "default")) c.remove_attribute(d);
      pugi::xml_node nm = c.child(nameName.c_str());
      std::string base = sw.attr(nm, "val").value(), nn = base;
      for (int k = 2; hi.names.count(lower(nn)); ++k) nn = base + " " + std::to_string(k);
      hi.names.insert(lower(nn));
      if (nm) sw.attr(nm, "val") = nn.c_str();
      for (const char* link : {"basedOn", "next", "link"}) {
        pugi::xml_attribute v = sw.attr(c.child(sw.name(link).c_str()), "val");
        if (auto it = s.styles.find(v.value()); v && it != s.styles.end()) v = it->second.c_str();
      }
      if (!sameDefaults && !c.child(sw.name("basedOn").c_str())) foldDefaults(src.root().child(defaults.c_str()), c, sw);
      importNode(s, c, srcName, hostName, sw, "");
    }
    dst.markDirty();
  }

  // The source's document defaults written into a copied root style, so that it looks there as
  // it did under them; what they leave out is Word's own default, not the host's.
  static void foldDefaults(pugi::xml_node defaults, pugi::xml_node style, const Wml& sw) {
    static const std::vector<std::string_view> styleOrder = {"name", "aliases", "basedOn", "next", "link",
        "autoRedefine", "hidden", "uiPriority", "semiHidden", "unhideWhenUsed", "qFormat", "locked", "personal",
        "personalCompose", "personalReply", "rsid", "pPr", "rPr"};
    static const std::vector<std::string_view> pPrOrder = {"pStyle", "keepNext", "keepLines", "pageBreakBefore",
        "framePr", "widowControl", "numPr", "suppressLineNumbers", "pBdr", "shd", "tabs", "suppressAutoHyphens",
        "kinsoku", "wordWrap", "overflowPunct", "topLinePunct", "autoSpaceDE", "autoSpaceDN", "bidi",
        "adjustRightInd", "snapToGrid", "spacing", "ind", "contextualSpacing", "mirrorIndents", "suppressOverlap",
        "jc", "textDirection", "textAlignment", "textboxTightWrap", "outlineLvl", "divId", "cnfStyle", "rPr",
        "sectPr", "pPrChange"};
    static const std::vector<std::string_view> rPrOrder = {"rStyle", "rFonts", "b", "bCs", "i", "iCs", "caps",
        "smallCaps", "strike", "dstrike", "outline", "shadow", "emboss", "imprint", "noProof", "snapToGrid",
        "vanish", "webHidden", "color", "spacing", "w", "kern", "position", "sz", "szCs", "highlight", "u",
        "effect", "bdr", "shd", "fitText", "vertAlign", "rtl", "cs", "em", "lang", "eastAsianLayout",
        "specVanish", "oMath"};
    auto rank = [](const std::vector<std::string_view>& order, std::string_view local) {
      auto it = std::find(order.begin(), order.end(), local);
      return it == order.end() ? order.size() : static_cast<std::size_t>(it - order.begin());
    };
    // The child of that local name, made in schema order when missing.
    auto ensure = [&](pugi::xml_node parent, std::string_view local, const std::vector<std::string_view>& order) {
      const std::string name = sw.name(local);
      if (pugi::xml_node c = parent.child(name.c_str())) return std::make_pair(c, false);
      const std::size_t r = rank(order, local);
      for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && rank(order, localOf(c.name())) > r)
          return std::make_pair(parent.insert_child_before(name.c_str(), c), true);
      return std::make_pair(parent.append_child(name.c_str()), true);
    };
    auto put = [&](pugi::xml_node parent, pugi::xml_node from, const std::vector<std::string_view>& order) {
      auto [c, made] = ensure(parent, localOf(from.name()), order);
      if (!made) return;
      for (pugi::xml_attribute a : from.attributes()) c.append_attribute(a.name()) = a.value();
      for (pugi::xml_node k : from.children()) c.append_copy(k);
    };
    pugi::xml_document word;  // Word's defaults where a document states none
    word.load_string(("<x xmlns:w=\"w\"><" + sw.name("rPr") + "><" + sw.name("rFonts") + " " + sw.attrName("ascii") +
                      "=\"Times New Roman\" " + sw.attrName("hAnsi") + "=\"Times New Roman\" " + sw.attrName("cs") +
                      "=\"Times New Roman\"/><" + sw.name("sz") + " " + sw.attrName("val") + "=\"20\"/><" +
                      sw.name("szCs") + " " + sw.attrName("val") + "=\"20\"/></" + sw.name("rPr") + "><" + sw.name("pPr") +
                      "><" + sw.name("spacing") + " " + sw.attrName("after") + "=\"0\" " + sw.attrName("line") +
                      "=\"240\" " + sw.attrName("lineRule") + "=\"auto\"/></" + sw.name("pPr") + "></x>")
                         .c_str());
    for (const char* kind : {"pPr", "rPr"}) {
      const bool run = std::string_view(kind) == "rPr";
      const auto& order = run ? rPrOrder : pPrOrder;
      pugi::xml_node to = ensure(style, kind, styleOrder).first;
      pugi::xml_node from = defaults.child(sw.name(run ? "rPrDefault" : "pPrDefault").c_str()).child(sw.name(kind).c_str());
      for (pugi::xml_node c : from.children())
        if (c.type() == pugi::node_element) put(to, c, order);
      for (pugi::xml_node c : word.first_child().child(sw.name(kind).c_str()).children()) put(to, c, order);
    }
  }

  // --- lists ---

  // Own list definitions for each source: its lists restart as they did there.
  void planNumbering(Source& s) {
    const std::string srcName = partOfType(*s.pkg, "/numbering");
    if (srcName.empty()) return;
    XmlPart& src = s.pkg->xmlPart(srcName);
    Wml sw(src.root());
    long maxAbs = -1, maxNum = 0;
    if (std::string hostName = partOfType(*host, "/numbering"); !hostName.empty()) {
      XmlPart& dst = host->xmlPart(hostName);
      Wml dw(dst.root());
      for (pugi::xml_node n : dst.root().children()) {
        std::string_view l = localOf(n.name());
        if (l == "abstractNum") maxAbs = std::max(maxAbs, toLong(dw.attr(n, "abstractNumId").value()));
        if (l == "num") maxNum = std::max(maxNum, toLong(dw.attr(n, "numId").value()));
      }
    }
    const std::string absName = sw.name("abstractNum"), numName = sw.name("num");
    for (pugi::xml_node n = src.root().child(absName.c_str()); n; n = n.next_sibling(absName.c_str()))
      s.abstracts[sw.attr(n, "abstractNumId").value()] = std::to_string(++maxAbs);
    for (pugi::xml_node n = src.root().child(numName.c_str()); n; n = n.next_sibling(numName.c_str()))
      s.nums[sw.attr(n, "numId").value()] = std::to_string(++maxNum);
  }

  void copyNumbering(Source& s) {
    std::string relType;
    const std::string srcName = partOfType(*s.pkg, "/numbering", &relType);
    if (srcName.empty()) return;
    XmlPart& src = s.pkg->xmlPart(srcName);
    Wml sw(src.root());
    std::string hostName = partOfType(*host, "/numbering");
    if (hostName.empty()) {
      hostName = freeName("word/numbering.xml");
      std::string root = std::string(kProlog) + "<" + src.root().name();
      for (pugi::xml_attribute a : src.root().attributes())
        root += std::string(" ") + a.name() + "=\"" + a.value() + "\"";
      host->addXmlPart(hostName, root + "/>");
      host->addRelationship(host->mainPartName(), relType, Package::relativeTarget(host->mainPartName(), hostName));
      setContentType(hostName, s.pkg->contentType(srcName));
    }
    XmlPart& dst = host->xmlPart(hostName);
    Wml dw(dst.root());
    mergeNamespaces(dst.root(), src.root());
    const std::string absName = sw.name("abstractNum"), numName = sw.name("num");
    pugi::xml_node firstNum;
    for (pugi::xml_node n : dst.root().children())
      if (localOf(n.name()) == "num") {
        firstNum = n;
        break;
      }
    unsigned listNo = 0;
    for (pugi::xml_node n = src.root().child(absName.c_str()); n; n = n.next_sibling(absName.c_str())) {
      pugi::xml_node c = firstNum ? dst.root().insert_copy_before(n, firstNum) : dst.root().append_copy(n);
      sw.attr(c, "abstractNumId") = s.abstracts[sw.attr(n, "abstractNumId").value()].c_str();
      if (pugi::xml_attribute nsid = sw.attr(c.child(sw.name("nsid").c_str()), "val")) {
        char buf[9];
        std::snprintf(buf, sizeof buf, "%08X", 0x5A000000u + static_cast<unsigned>(sources) * 4096u + listNo++);
        nsid = buf;
      }
      for (const char* link : {"styleLink", "numStyleLink"}) {
        pugi::xml_attribute v = sw.attr(c.child(sw.name(link).c_str()), "val");
        if (auto it = s.styles.find(v.value()); v && it != s.styles.end()) v = it->second.c_str();
      }
      importNode(s, c, srcName, hostName, sw, "");
    }
    for (pugi::xml_node n = src.root().child(numName.c_str()); n; n = n.next_sibling(numName.c_str())) {
      pugi::xml_node c = dst.root().append_copy(n);
      sw.attr(c, "numId") = s.nums[sw.attr(n, "numId").value()].c_str();
      pugi::xml_attribute a = sw.attr(c.child(sw.name("abstractNumId").c_str()), "val");
      if (auto it = s.abstracts.find(a.value()); a && it != s.abstracts.end()) a = it->second.c_str();
    }
    dst.markDirty();
  }

  // --- footnotes, endnotes, comments ---

  void mergeNotes(Source& s, const char* relSuffix, const char* local) {
    std::string relType;
    const std::string srcName = partOfType(*s.pkg, relSuffix, &relType);
    if (srcName.empty()) return;
    XmlPart& src = s.pkg->xmlPart(srcName);
    Wml sw(src.root());
    const std::string noteName = sw.name(local);
    auto special = [&](pugi::xml_node n) {
      std::string_view t = sw.attr(n, "type").value();
      return !t.empty() && t != "normal";
    };
    std::string hostName = partOfType(*host, relSuffix);
    if (hostName.empty()) {
      // The source's part without its notes (separators stay) becomes the host's.
      hostName = freeName(srcName);
      XmlPart& made = host->addXmlPart(hostName, s.pkg->readPart(srcName));
      for (pugi::xml_node n = made.root().child(noteName.c_str()); n;) {
        pugi::xml_node next = n.next_sibling(noteName.c_str());
        if (!special(n)) made.root().remove_child(n);
        n = next;
      }
      host->addRelationship(host->mainPartName(), relType, Package::relativeTarget(host->mainPartName(), hostName));
      setContentType(hostName, s.pkg->contentType(srcName));
    }
    XmlPart& dst = host->xmlPart(hostName);
    Wml dw(dst.root());
    auto local_decls = mergeNamespaces(dst.root(), src.root());
    long& next = nextNote[hostName];
    for (pugi::xml_node n : dst.root().children())
      if (localOf(n.name()) == local) next = std::max(next, toLong(dw.attr(n, "id").value()) + 1);
    next = std::max(next, 1L);
    auto& map = s.notes[local];
    const std::string relPrefix = Wml::prefixFor(src.root(), kRelNamespace);
    for (pugi::xml_node n = src.root().child(noteName.c_str()); n; n = n.next_sibling(noteName.c_str())) {
      if (special(n)) continue;
      std::string id = std::to_string(next++);
      map[sw.attr(n, "id").value()] = id;
      pugi::xml_node c = dst.root().append_copy(n);
      sw.attr(c, "id") = id.c_str();
      for (auto& [k, v] : local_decls) c.append_attribute(k.c_str()) = v.c_str();
      importNode(s, c, srcName, hostName, sw, relPrefix);
    }
    dst.markDirty();
  }

  // --- the body ---

  pugi::xml_node insertBlock(pugi::xml_node block) {
    if (pugi::xml_node before = anchor ? anchor : bodySect) return body.insert_copy_before(block, before);
    return body.append_copy(block);
  }
  pugi::xml_node insertNewBlock(const char* name) {
    if (pugi::xml_node before = anchor ? anchor : bodySect) return body.insert_child_before(name, before);
    return body.append_child(name);
  }

  // The section properties sp placed at the end of block (a paragraph; a new empty one when it
  // is not one).
  pugi::xml_node closeSection(pugi::xml_node last, pugi::xml_node sp, const Wml& sw) {
    if (!last || localOf(last.name()) != "p" || last.child(sw.name("pPr").c_str()).child(sw.name("sectPr").c_str()))
      last = insertNewBlock(sw.name("p").c_str());
    pugi::xml_node pPr = firstChildNamed(last, sw.name("pPr"));
    pugi::xml_node change = pPr.child(sw.name("pPrChange").c_str());
    return change ? pPr.insert_copy_before(sp, change) : pPr.append_copy(sp);
  }

  static void makeContinuous(pugi::xml_node sp, const Wml& sw) {
    pugi::xml_node type = sp.child(sw.name("type").c_str());
    if (!type) {
      pugi::xml_node after;
      for (pugi::xml_node c : sp.children()) {
        std::string_view l = localOf(c.name());
        if (l == "headerReference" || l == "footerReference" || l == "footnotePr" || l == "endnotePr") after = c;
      }
      type = after ? sp.insert_child_after(sw.name("type").c_str(), after) : sp.prepend_child(sw.name("type").c_str());
    }
    pugi::xml_attribute v = sw.attr(type, "val");
    (v ? v : type.append_attribute(sw.attrName("val").c_str())) = "continuous";
  }

  // Before the first document: a host that holds one empty paragraph only gives way; the text
  // of any other host follows what is inserted, in its own section that goes on where the
  // inserted text ends.
  void start() {
    if (started) return;
    started = true;
    std::vector<pugi::xml_node> blocks;
    for (pugi::xml_node c : body.children())
      if (c.type() == pugi::node_element && c != bodySect) blocks.push_back(c);
    if (blocks.empty()) return;
    pugi::xml_node only = blocks.front();
    bool emptyPara = blocks.size() == 1 && localOf(only.name()) == "p" &&
                     std::none_of(only.children().begin(), only.children().end(), [&](pugi::xml_node c) {
                       return c.type() == pugi::node_element && localOf(c.name()) != "pPr";
                     });
    if (emptyPara) {
      if (bodySect) body.remove_child(only);
      return;
    }
    anchor = blocks.front();
    if (bodySect) makeContinuous(bodySect, w);
  }

  void append(const std::filesystem::path& path) {
    Source s;
    s.pkg = std::make_unique<Package>(path, false);
    s.main = s.pkg->mainPartName();
    XmlPart& srcDoc = s.pkg->xmlPart(s.main);
    Wml sw(srcDoc.root());
    pugi::xml_node srcBody = sw.child(srcDoc.root(), Tag::Body);
    if (!srcBody) throw EngineError(ErrorCode::DamagedPart, path.string() + ": no body");
    for (const char* t : {"/styles", "/numbering", "/footnotes", "/endnotes", "/comments"}) {
      std::string part = partOfType(*s.pkg, t);
      if (!part.empty()) s.pkg->xmlPart(part);
    }
    std::set<std::string> seen;
    for (const char* t : {"", "/footnotes", "/endnotes", "/comments"}) {
      std::string part = *t ? partOfType(*s.pkg, t) : s.main;
      if (!part.empty()) readAhead(s, part, seen);
    }
    // From here on nothing reads the file: the host changes only in memory.
    ++sources;
    start();
    auto localDecls = mergeNamespaces(doc->root(), srcDoc.root());
    planStyles(s);
    planNumbering(s);
    copyStyles(s);
    copyNumbering(s);
    mergeNotes(s, "/footnotes", "footnote");
    mergeNotes(s, "/endnotes", "endnote");
    mergeNotes(s, "/comments", "comment");
    const std::string relPrefix = Wml::prefixFor(srcDoc.root(), kRelNamespace);
    pugi::xml_node last, srcSect;
    for (pugi::xml_node c : srcBody.children()) {
      if (c.type() != pugi::node_element) continue;
      if (sw.tag(c) == Tag::SectPr) {
        srcSect = c;
        continue;
      }
      last = insertBlock(c);
      for (auto& [k, v] : localDecls) last.append_attribute(k.c_str()) = v.c_str();
      importNode(s, last, s.main, host->mainPartName(), sw, relPrefix);
    }
    if (srcSect) {
      // Its page setup, headers and footers as a section of its own that follows the text
      // before it on the same page: page breaks alone start new pages.
      lastSect = closeSection(last, srcSect, sw);
      makeContinuous(lastSect, sw);
      for (auto& [k, v] : localDecls) lastSect.append_attribute(k.c_str()) = v.c_str();
      importNode(s, lastSect, s.main, host->mainPartName(), sw, relPrefix);
    }
    endsWithBreak = false;
    doc->markDirty();
  }

  void pageBreak() {
    start();
    pugi::xml_node p = insertNewBlock(w.name("p").c_str());
    pugi::xml_node br = p.append_child(w.name("r").c_str()).append_child(w.name("br").c_str());
    br.append_attribute(w.attrName("type").c_str()) = "page";
    endsWithBreak = true;
    doc->markDirty();
  }

  // The last section's properties become the body's: what follows it (page breaks) stays in
  // that section, and no empty section trails. Behind the host's text they stay where they are.
  void finish() {
    if (endsWithBreak && !anchor) {
      // Measured: the office drops a page break that ends the document (it moves a break onto
      // the paragraph after it); an empty paragraph behind it keeps the page, in Word too.
      insertNewBlock(w.name("p").c_str());
      endsWithBreak = false;
      doc->markDirty();
    }
    if (!lastSect || !bodySect || anchor) return;
    pugi::xml_node fresh = body.insert_copy_after(lastSect, bodySect);
    body.remove_child(bodySect);
    bodySect = fresh;
    pugi::xml_node pPr = lastSect.parent();
    pPr.remove_child(lastSect);
    if (!pPr.first_child()) pPr.parent().remove_child(pPr);
    lastSect = {};
    doc->markDirty();
  }
};

Composer::Composer(const std::filesystem::path& target) : impl_(std::make_unique<Impl>(target)) {}
Composer::~Composer() = default;

void Composer::append(const std::filesystem::path& other) { impl_->append(other); }
void Composer::appendPageBreak() { impl_->pageBreak(); }

void Composer::save(const std::filesystem::path& path) {
  impl_->finish();
  impl_->host->save(path);
}

}  // namespace vm::word::docx
