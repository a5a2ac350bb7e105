#include "word/docx/databinding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <utility>

#include "word/docx/unicase.h"
#include "word/error.h"

namespace vm::word::docx {

namespace {

constexpr const char* kCustomXmlRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml";
constexpr const char* kCustomXmlRelStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships/customXml";
constexpr const char* kCustomXmlPropsRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXmlProps";
constexpr const char* kCustomXmlPropsRelStrict =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/customXmlProps";
constexpr const char* kCoreRel = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
constexpr const char* kExtendedRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
constexpr const char* kExtendedRelStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties";
// The fixed store item ids Word gives the document properties.
constexpr const char* kCorePropertiesId = "6C3C8BC8-F283-45AE-878A-BAB7291924A1";
constexpr const char* kExtendedPropertiesId = "6668398D-A668-4E3E-A5EB-62B293D839F1";
constexpr const char* kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

std::string_view localOf(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view prefixOf(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

// Raw (undecoded) attribute or text value to UTF-8 text.
std::string decodeXml(std::string_view raw) {
  if (raw.find('&') == std::string_view::npos) return std::string(raw);
  std::string out;
  decodeRawText(raw, false, [&](char32_t c, std::size_t, std::size_t) { appendUtf8(out, c); });
  return out;
}

// "{6c3c8bc8-...}" and "6C3C8BC8-..." are the same id.
std::string normalizeId(std::string_view id) {
  std::string out;
  for (char c : id)
    if (c != '{' && c != '}' && c != ' ' && c != '\t' && c != '\r' && c != '\n')
      out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  return out;
}

pugi::xml_attribute attrByLocal(pugi::xml_node node, std::string_view local) {
  for (auto a : node.attributes())
    if (localOf(a.name()) == local) return a;
  return {};
}

// The namespace URI a prefix ("" for the default namespace) has at an element.
std::optional<std::string> namespaceAt(pugi::xml_node element, std::string_view prefix) {
  if (prefix == "xml") return std::string(kXmlNamespace);
  std::string attr = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
  for (auto n = element; n && n.type() == pugi::node_element; n = n.parent())
    if (auto a = n.attribute(attr.c_str())) return decodeXml(a.value());
  if (prefix.empty()) return std::string();
  return std::nullopt;  // an unbound prefix
}

// --- XPath --------------------------------------------------------------------------------

struct Step {
  bool attribute = false, text = false;
  bool anyNamespace = false;  // a bare "*"
  std::string uri, local;     // local "*" matches any name
  std::vector<long> positions;
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// "xmlns:ns0='uri' xmlns:ns1=\"uri\"" -> prefix/URI pairs.
std::vector<std::pair<std::string, std::string>> parseMappings(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  for (std::size_t at = text.find("xmlns:"); at != std::string_view::npos; at = text.find("xmlns:", at)) {
    std::size_t eq = text.find('=', at);
    if (eq == std::string_view::npos) break;
    std::string prefix(trim(text.substr(at + 6, eq - at - 6)));
    std::size_t q = eq + 1;
    while (q < text.size() && (text[q] == ' ' || text[q] == '\t')) ++q;
    if (q >= text.size() || (text[q] != '\'' && text[q] != '"')) {
      at = eq;
      continue;
    }
    std::size_t close = text.find(text[q], q + 1);
    if (close == std::string_view::npos) break;
    out.emplace_back(std::move(prefix), std::string(text.substr(q + 1, close - q - 1)));
    at = close + 1;
  }
  return out;
}

std::optional<std::vector<Step>> parsePath(std::string_view path,
                                           const std::vector<std::pair<std::string, std::string>>& mappings) {
  path = trim(path);
  if (path.empty() || path.front() != '/') return std::nullopt;
  std::vector<Step> steps;
  std::size_t at = 0;
  while (at < path.size()) {
    if (path[at] != '/') return std::nullopt;
    std::size_t next = path.find('/', at + 1);
    std::string_view s = trim(path.substr(at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1));
    at = next == std::string_view::npos ? path.size() : next;
    if (s.empty()) return std::nullopt;  // "//": the descendant axis
    if (!steps.empty() && (steps.back().attribute || steps.back().text)) return std::nullopt;
    Step step;
    if (s == "text()") {
      if (steps.empty()) return std::nullopt;
      step.text = true;
      steps.push_back(std::move(step));
      continue;
    }
    if (s.front() == '@') {
      step.attribute = true;
      s.remove_prefix(1);
    }
    std::size_t bracket = s.find('[');
    std::string_view name = trim(s.substr(0, bracket));
    for (std::string_view rest = bracket == std::string_view::npos ? std::string_view() : s.substr(bracket);
         !rest.empty();) {
      if (step.attribute || rest.front() != '[') return std::nullopt;
      std::size_t close = rest.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      std::string_view digits = trim(rest.substr(1, close - 1));
      if (digits.empty() || digits.size() > 9 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
      step.positions.push_back(std::stol(std::string(digits)));
      rest = trim(rest.substr(close + 1));
    }
    if (name.empty() || name.front() == ':' || name.find_first_of("()=\"' ") != std::string_view::npos)
      return std::nullopt;
    std::string_view prefix = prefixOf(name);
    step.local = std::string(localOf(name));
    step.anyNamespace = name == "*";
    if (step.local.empty()) return std::nullopt;
    if (!prefix.empty()) {
      auto it = std::find_if(mappings.begin(), mappings.end(), [&](const auto& m) { return m.first == prefix; });
      if (it == mappings.end()) {
        if (prefix != "xml") return std::nullopt;
        step.uri = kXmlNamespace;
      } else {
        step.uri = it->second;
      }
    }
    steps.push_back(std::move(step));
  }
  if (steps.empty() || steps.front().attribute || steps.front().text) return std::nullopt;
  return steps;
}

bool declaresNamespaces(pugi::xml_node e) {
  for (auto a : e.attributes())
    if (std::strncmp(a.name(), "xmlns", 5) == 0) return true;
  return false;
}

// Matches the children of one element against a step. The prefixes the children do not
// declare themselves resolve as at their parent, once per prefix.
class ChildMatcher {
 public:
  ChildMatcher(pugi::xml_node parent, const Step& step) : parent_(parent), step_(step) {}

  bool operator()(pugi::xml_node e) {
    std::string_view name = e.name();
    if (step_.local != "*" && localOf(name) != step_.local) return false;
    if (step_.anyNamespace) return true;
    std::string_view prefix = prefixOf(name);
    if (declaresNamespaces(e)) {
      std::optional<std::string> uri = namespaceAt(e, prefix);
      return uri && *uri == step_.uri;
    }
    auto it = std::find_if(known_.begin(), known_.end(), [&](const auto& k) { return k.first == prefix; });
    if (it == known_.end()) {
      std::optional<std::string> uri = parent_.type() == pugi::node_element ? namespaceAt(parent_, prefix)
                                       : prefix.empty()                     ? std::optional<std::string>("")
                                       : prefix == "xml" ? std::optional<std::string>(kXmlNamespace)
                                                         : std::nullopt;
      it = known_.insert(known_.end(), {std::string(prefix), uri && *uri == step_.uri});
    }
    return it->second;
  }

 private:
  pugi::xml_node parent_;
  const Step& step_;
  std::vector<std::pair<std::string, bool>> known_;
};

// Resolves paths in the parts of one write. The elements that match a step under one parent
// are listed once, so that many paths into one long list of siblings (a control per row of a
// table) cost one pass over it. Writes change only text and attribute values, never which
// elements there are, so the lists stay right.
class PathResolver {
 public:
  BoundNode select(pugi::xml_node document, std::string_view xpath, std::string_view prefixMappings) {
    auto steps = parsePath(decodeXml(xpath), parseMappings(decodeXml(prefixMappings)));
    if (!steps) return {};
    pugi::xml_node current = document;
    for (const Step& step : *steps) {
      if (step.text) break;  // the element's text: the element itself here
      if (step.attribute) {
        pugi::xml_attribute a = attribute(current, step);
        return a ? BoundNode{current, a} : BoundNode{};
      }
      // Positions count the elements that match the step, in document order; without one, the
      // first is taken (Word binds to the first node a path selects).
      const std::vector<pugi::xml_node>& list = children(current, step);
      long want = step.positions.empty() ? 1 : step.positions.front();
      pugi::xml_node found = want >= 1 && static_cast<std::size_t>(want) <= list.size() ? list[want - 1] : pugi::xml_node();
      // A further [n] filters the one node left: only [1] keeps it.
      for (std::size_t k = 1; found && k < step.positions.size(); ++k)
        if (step.positions[k] != 1) found = {};
      if (!found) return {};
      current = found;
    }
    return {current, {}};
  }

 private:
  static pugi::xml_attribute attribute(pugi::xml_node element, const Step& step) {
    for (auto a : element.attributes()) {
      std::string_view name = a.name();
      if (name == "xmlns" || name.rfind("xmlns:", 0) == 0) continue;
      if (step.local != "*" && localOf(name) != step.local) continue;
      std::string_view prefix = prefixOf(name);
      if (step.anyNamespace || (prefix.empty() ? step.uri.empty() : namespaceAt(element, prefix) == step.uri))
        return a;
    }
    return {};
  }

  const std::vector<pugi::xml_node>& children(pugi::xml_node parent, const Step& step) {
    std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(parent.internal_object())) + ' ' +
                      (step.anyNamespace ? "*" : step.uri) + ' ' + step.local;
    auto [it, added] = lists_.try_emplace(std::move(key));
    if (added) {
      ChildMatcher matches(parent, step);
      for (auto c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && matches(c)) it->second.push_back(c);
    }
    return it->second;
  }

  std::unordered_map<std::string, std::vector<pugi::xml_node>> lists_;
};

}  // namespace

BoundNode selectBoundNode(pugi::xml_node document, std::string_view xpath, std::string_view prefixMappings) {
  return PathResolver().select(document, xpath, prefixMappings);
}

// --- the control's text ---------------------------------------------------------------------

namespace {

struct PlainText {
  std::string out;
  void text(pugi::xml_node node, bool cdata) {
    decodeRawText(node.value(), cdata, [&](char32_t c, std::size_t, std::size_t) { appendUtf8(out, c); });
  }
  void atom(char32_t c, pugi::xml_node) {
    switch (c) {
      case U'\t': out += '\t'; break;
      case U'\v': case U'\f': case 0x0E: out += '\n'; break;
      case 0x1E: appendUtf8(out, 0x2011); break;
      default: break;  // soft hyphens, pictures, symbols, note and comment marks
    }
  }
};

class ControlText {
 public:
  explicit ControlText(const Wml& w) : w_(w) {}

  std::string of(pugi::xml_node sdt) {
    pugi::xml_node content = w_.child(sdt, Tag::SdtContent);
    if (isBlock(content)) block(content);
    else walkInline(content, w_, fields_, text_);
    return std::move(text_.out);
  }

 private:
  bool isBlock(pugi::xml_node content) const {
    return !walkNested(content, [&](pugi::xml_node c, bool& stop) -> pugi::xml_node {
      if (c.type() != pugi::node_element) return {};
      switch (w_.tag(c)) {
        case Tag::P: case Tag::Tbl: case Tag::Tr: case Tag::Tc: stop = true; return {};
        case Tag::Sdt: return w_.child(c, Tag::SdtContent);
        case Tag::CustomXml: return c;
        default: return {};
      }
    });
  }

  // Paragraphs in order (table cells included), a newline between two.
  void block(pugi::xml_node container) {
    walkNested(container, [&](pugi::xml_node c, bool&) -> pugi::xml_node {
      if (c.type() != pugi::node_element) return {};
      switch (w_.tag(c)) {
        case Tag::P:
          if (!first_ && !runsOn_) text_.out += '\n';
          first_ = false;
          walkInline(c, w_, fields_, text_);
          runsOn_ = markRunsOn(c, w_);  // its mark is deleted: Word shows one paragraph
          return {};
        case Tag::Tbl: case Tag::Tr: case Tag::Tc: case Tag::CustomXml: return c;
        case Tag::Sdt: return w_.child(c, Tag::SdtContent);
        default: return {};
      }
    });
  }

  const Wml& w_;
  PlainText text_;
  FieldState fields_;
  bool first_ = true;
  bool runsOn_ = false;
};

}  // namespace

std::string controlText(pugi::xml_node sdt, const Wml& w) { return ControlText(w).of(sdt); }

// --- the controls of one replace --------------------------------------------------------------

BoundControls::BoundControls(const Wml& w) : w_(w), sdtPr_(w.name("sdtPr")), dataBinding_(w.name("dataBinding")) {}

bool BoundControls::bound(pugi::xml_node sdt) const {
  return static_cast<bool>(sdt.child(sdtPr_.c_str()).child(dataBinding_.c_str()));
}

void BoundControls::addEnclosing(pugi::xml_node from, pugi::xml_node stop) {
  for (auto n = from; n && n != stop; n = n.parent()) {
    if (n.type() != pugi::node_element || w_.tag(n) != Tag::Sdt || !bound(n)) continue;
    if (seen_.insert(n.internal_object()).second) controls_.push_back({n, controlText(n, w_)});
  }
}

// The w:p holding an inline node (the record's paragraph when none is found).
pugi::xml_node BoundControls::paragraphOf(pugi::xml_node n, pugi::xml_node fallback) const {
  for (; n; n = n.parent())
    if (n.type() == pugi::node_element && w_.tag(n) == Tag::P) return n;
  return fallback;
}

// Whether a paragraph holds a content control among its inline content (runs hold none).
bool BoundControls::holdsControl(pugi::xml_node parent) const {
  return !walkNested(parent, [&](pugi::xml_node c, bool& stop) -> pugi::xml_node {
    if (c.type() != pugi::node_element) return {};
    const Tag t = w_.tag(c);
    if (t == Tag::Sdt) stop = true;
    return t != Tag::R && t != Tag::PPr ? c : pugi::xml_node();
  });
}

void BoundControls::addMatch(const StoryText& text, std::size_t begin, std::size_t end, pugi::xml_node stop) {
  if (begin >= end || text.paras.empty()) return;
  // Matches come in order: the paragraph of the last one is where to look on from.
  std::size_t k = cursor_ < text.paras.size() && text.paras[cursor_].begin <= begin ? cursor_ : text.paraOf(begin);
  while (k + 1 < text.paras.size() && text.paras[k + 1].begin <= begin) ++k;
  cursor_ = k;
  for (; k < text.paras.size(); ++k) {
    const ParaRecord& rec = text.paras[k];
    if (rec.begin >= end) break;
    // The controls around the paragraph, and whether it holds any: once for all its matches.
    if (rec.node != lastPara_) {
      lastPara_ = rec.node;
      addEnclosing(rec.node, stop);
      inlineControls_ = false;
      if (rec.kind != MarkKind::Row)  // every w:p of the record (earlier ones run in when their marks are deleted)
        for (auto p = rec.head ? rec.head : rec.node; p && !inlineControls_; p = p == rec.node ? pugi::xml_node() : p.next_sibling())
          inlineControls_ = p.type() == pugi::node_element && holdsControl(p);
    }
    if (!inlineControls_) continue;
    // The controls inside it, around the matched characters.
    std::size_t from = std::max(begin, rec.begin), to = std::min(end, rec.mark + 1);
    auto lo = static_cast<std::uint32_t>(from - rec.begin), hi = static_cast<std::uint32_t>(to - rec.begin);
    const Segment* first = text.segments.data() + rec.segBegin;
    const Segment* last = text.segments.data() + rec.segEnd;
    const Segment* s = std::upper_bound(first, last, lo, [](std::uint32_t v, const Segment& x) { return v < x.first; });
    if (s != first) --s;
    for (; s != last && s->first < hi; ++s)
      if (s->first + s->count > lo) addEnclosing(s->node, paragraphOf(s->node, rec.node));
  }
}

bool BoundControls::inInlinePlainText(const StoryText& text, std::size_t i) const {
  if (i >= text.text.size()) return false;
  const ParaRecord& rec = text.paras[text.paraOf(i)];
  if (i >= rec.mark) return false;
  auto at = static_cast<std::uint32_t>(i - rec.begin);
  const Segment* first = text.segments.data() + rec.segBegin;
  const Segment* last = text.segments.data() + rec.segEnd;
  const Segment* s = std::upper_bound(first, last, at, [](std::uint32_t v, const Segment& x) { return v < x.first; });
  if (s == first) return false;
  std::string plain = w_.name("text");
  for (auto n = (s - 1)->node, p = paragraphOf(n, rec.node); n && n != p; n = n.parent())
    if (n.type() == pugi::node_element && w_.tag(n) == Tag::Sdt && bound(n) &&
        n.child(sdtPr_.c_str()).child(plain.c_str()))
      return true;
  return false;
}

namespace {

// The parts that hold the store items, by normalised id: custom XML parts first (those the
// main part relates to, then any other under customXml/), then the document properties.
class Stores {
 public:
  explicit Stores(Package& package) : pkg_(package) {}

  XmlPart* find(std::string_view storeItemId) {
    std::string id = normalizeId(storeItemId);
    if (id.empty()) return nullptr;
    if (!loaded_) load();
    for (auto& [itemId, name] : items_) {
      if (itemId != id) continue;
      try {
        return &pkg_.xmlPart(name);
      } catch (const EngineError&) {
        return nullptr;  // a damaged store part is left as it is
      }
    }
    return nullptr;
  }

 private:
  void load() {
    loaded_ = true;
    std::vector<std::string> candidates;
    try {
      for (const auto& r : pkg_.relationships(pkg_.mainPartName()))
        if (!r.external && (r.type == kCustomXmlRel || r.type == kCustomXmlRelStrict))
          candidates.push_back(Package::resolveTarget(pkg_.mainPartName(), r.target));
    } catch (const EngineError&) {
    }
    for (const auto& name : pkg_.partNames()) {
      std::string lower = asciiLower(name);
      if (lower.rfind("customxml/", 0) == 0 && lower.find("/_rels/") == std::string::npos &&
          lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".xml") == 0 &&
          std::none_of(candidates.begin(), candidates.end(), [&](const std::string& c) { return asciiLower(c) == lower; }))
        candidates.push_back(name);
    }
    for (const auto& item : candidates) {
      try {
        if (!pkg_.hasPart(item)) continue;
        for (const auto& r : pkg_.relationships(item)) {
          if (r.external || (r.type != kCustomXmlPropsRel && r.type != kCustomXmlPropsRelStrict)) continue;
          std::string props = Package::resolveTarget(item, r.target);
          if (!pkg_.hasPart(props)) continue;
          std::string id = normalizeId(decodeXml(attrByLocal(pkg_.xmlPart(props).root(), "itemID").value()));
          if (!id.empty()) items_.emplace_back(std::move(id), item);
        }
      } catch (const EngineError&) {
        // an item whose relationships or properties cannot be read binds nothing
      }
    }
    try {
      for (const auto& r : pkg_.relationships("")) {
        if (r.external) continue;
        const char* id = r.type == kCoreRel ? kCorePropertiesId
                         : r.type == kExtendedRel || r.type == kExtendedRelStrict ? kExtendedPropertiesId
                                                                                   : nullptr;
        std::string part = Package::resolveTarget("", r.target);
        if (id && pkg_.hasPart(part)) items_.emplace_back(id, part);
      }
    } catch (const EngineError&) {
    }
  }

  Package& pkg_;
  bool loaded_ = false;
  std::vector<std::pair<std::string, std::string>> items_;
};

// The value a list control stores for the text it shows: its item's value, else the text.
std::string listValue(pugi::xml_node list, const Wml& w, const std::string& text) {
  std::string item = w.name("listItem");
  for (auto li = list.child(item.c_str()); li; li = li.next_sibling(item.c_str())) {
    pugi::xml_attribute display = w.attr(li, "displayText"), value = w.attr(li, "value");
    std::string shown = decodeXml(display ? display.value() : value.value());
    if (shown == text) return decodeXml(value ? value.value() : display.value());
  }
  return text;
}

// --- date pickers ---------------------------------------------------------------------------

struct Date {
  int year = 0, month = 0, day = 0;
  std::string iso() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
  }
};

bool validDate(const Date& d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return d.day <= days[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
}

// The date a picker's text shows, read with its display format (Word's letters: yyyy, yy,
// M, MM, MMM, MMMM with English month names, d, dd, ddd and dddd for the weekday, 'quoted'
// literals); nothing when the text does not follow the format or the format shows a time.
std::optional<Date> readDate(std::string_view text, std::string_view format) {
  static const char* months[] = {"january", "february", "march",     "april",   "may",      "june",
                                 "july",    "august",   "september", "october", "november", "december"};
  Date d;
  std::size_t t = 0;
  auto number = [&](std::size_t minDigits, std::size_t maxDigits, int& out) {
    std::size_t start = t;
    out = 0;
    while (t < text.size() && t - start < maxDigits && text[t] >= '0' && text[t] <= '9') out = out * 10 + (text[t++] - '0');
    return t - start >= minDigits;
  };
  auto letters = [&] {
    std::size_t start = t;
    while (t < text.size() && ((text[t] | 0x20) >= 'a' && (text[t] | 0x20) <= 'z')) ++t;
    return asciiLower(text.substr(start, t - start));
  };
  for (std::size_t f = 0; f < format.size();) {
    char c = format[f];
    if (c == '\'') {
      std::size_t close = format.find('\'', f + 1);
      if (close == std::string_view::npos) return std::nullopt;
      std::string_view lit = close == f + 1 ? std::string_view("'") : format.substr(f + 1, close - f - 1);
      if (text.substr(t, lit.size()) != lit) return std::nullopt;
      t += lit.size();
      f = close + 1;
      continue;
    }
    std::size_t n = 1;
    while (f + n < format.size() && format[f + n] == c) ++n;
    bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
    if (!letter) {
      if (text.substr(t, n) != format.substr(f, n)) return std::nullopt;
      t += n;
    } else if (c == 'y') {
      if (!number(n >= 3 ? 4 : 2, n >= 3 ? 4 : 2, d.year)) return std::nullopt;
      if (n < 3) d.year += d.year < 30 ? 2000 : 1900;
    } else if (c == 'M' && n <= 2) {
      if (!number(1, 2, d.month)) return std::nullopt;
    } else if (c == 'M') {
      std::string name = letters();
      d.month = 0;
      for (int k = 0; k < 12 && !d.month; ++k)
        if (n == 3 ? name.size() == 3 && std::string_view(months[k]).substr(0, 3) == name : name == months[k]) d.month = k + 1;
      if (!d.month) return std::nullopt;
    } else if (c == 'd' && n <= 2) {
      if (!number(1, 2, d.day)) return std::nullopt;
    } else if (c == 'd') {
      if (letters().empty()) return std::nullopt;  // the weekday follows from the date
    } else {
      return std::nullopt;  // times, eras and other calendars
    }
    f += n;
  }
  if (t != text.size() || !validDate(d)) return std::nullopt;
  return d;
}

// What a date picker stores for its new text: the date in the form the data has it
// ("2027-01-05", "2027-01-05T00:00:00"), else as the picker says (w:storeMappedDataAs); the
// text itself when it is no date of the picker's format. `full` gets the date for w:fullDate.
std::string dateValue(pugi::xml_node date, const Wml& w, const std::string& text, const std::string& current,
                      std::string& full) {
  pugi::xml_node format = date.child(w.name("dateFormat").c_str());
  std::optional<Date> d = readDate(text, decodeXml(w.attr(format, "val").value()));
  std::string as = w.attr(date.child(w.name("storeMappedDataAs").c_str()), "val").value();
  if (!d) return text;
  std::string iso = d->iso();
  full = iso + "T00:00:00Z";
  if (as == "text") return text;
  bool isoNow = current.size() >= 10 && current[4] == '-' && current[7] == '-' &&
                std::all_of(current.begin(), current.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
  if (isoNow) return iso + current.substr(10);
  return as == "date" ? iso : iso + "T00:00:00";
}

enum class Stored { Written, Already, Refused };

// The text a node holds now.
std::string valueOf(BoundNode node) {
  if (node.attribute) return decodeXml(node.attribute.value());
  std::string raw;
  for (auto c = node.element.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_pcdata) raw += decodeXml(c.value());
    else if (c.type() == pugi::node_cdata) raw += c.value();
  return raw;
}

// Writes value into the node unless it holds it already or cannot hold text.
Stored store(BoundNode node, const std::string& value) {
  if (node.attribute) {
    std::string raw = escapeXml(value, true);
    if (raw == node.attribute.value()) return Stored::Already;
    node.attribute.set_value(raw.c_str(), raw.size());
    return Stored::Written;
  }
  pugi::xml_node e = node.element;
  if (e.type() != pugi::node_element) return Stored::Refused;
  std::string current;
  for (auto c = e.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element) return Stored::Refused;  // not a leaf
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) current += c.value();
  }
  if (current.find("pkg:package") != std::string::npos) return Stored::Refused;  // a rich text binding
  std::string raw = escapeXml(value, false);
  pugi::xml_node only = e.first_child();
  if (raw.empty() ? !only : only && !only.next_sibling() && only.type() == pugi::node_pcdata && raw == only.value())
    return Stored::Already;
  while (e.first_child()) e.remove_child(e.first_child());
  if (!raw.empty()) e.append_child(pugi::node_pcdata).set_value(raw.c_str(), raw.size());
  return Stored::Written;
}

}  // namespace

int BoundControls::write(Package& package) {
  Stores stores(package);
  PathResolver paths;
  int written = 0;
  for (const Control& c : controls_) {
    std::string text = controlText(c.sdt, w_);
    if (text == c.before) continue;
    pugi::xml_node pr = c.sdt.child(sdtPr_.c_str());
    pugi::xml_node binding = pr.child(dataBinding_.c_str());
    bool notText = false;
    pugi::xml_node list, date;
    for (auto k = pr.first_child(); k; k = k.next_sibling()) {
      std::string_view local = localOf(k.name());
      if (local == "picture" || local == "checkbox") notText = true;
      if (local == "dropDownList" || local == "comboBox") list = k;
      if (k.name() == w_.name("date")) date = k;
    }
    if (notText) continue;
    XmlPart* part = stores.find(decodeXml(w_.attr(binding, "storeItemID").value()));
    if (!part) continue;
    BoundNode node = paths.select(part->doc(), w_.attr(binding, "xpath").value(),
                                  w_.attr(binding, "prefixMappings").value());
    if (!node) continue;
    std::string fullDate;
    std::string value = list   ? listValue(list, w_, text)
                        : date ? dateValue(date, w_, text, valueOf(node), fullDate)
                               : text;
    Stored result = store(node, value);
    if (result == Stored::Refused) continue;
    if (pugi::xml_attribute full = w_.attr(date, "fullDate"); full && !fullDate.empty())
      full.set_value(fullDate.c_str());
    if (result == Stored::Written) {
      part->markDirty();
      ++written;
    }
    // The control now shows the replaced text, not its placeholder.
    if (auto placeholder = pr.child(w_.name("showingPlcHdr").c_str())) pr.remove_child(placeholder);
  }
  return written;
}

}  // namespace vm::word::docx
