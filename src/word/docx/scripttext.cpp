#include "word/docx/scripttext.h"

#include <algorithm>
#include <deque>

#include "word/docx/editor.h"
#include "word/docx/package.h"
#include "word/docx/storytext.h"
#include "word/docx/unicase.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

namespace {

std::string_view localName(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The block containers of a part: the body, a header or footer, each note or comment, and
// every text box (the story text of its container leaves text boxes out).
std::vector<pugi::xml_node> containers(XmlPart& part, const Wml& w) {
  std::vector<pugi::xml_node> out;
  pugi::xml_node root = part.root();
  std::string_view rootName = localName(root.name());
  if (rootName == "document") {
    if (auto body = w.child(root, Tag::Body)) out.push_back(body);
  } else if (rootName == "hdr" || rootName == "ftr") {
    out.push_back(root);
  } else {  // footnotes, endnotes, comments
    for (auto c = root.first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element) out.push_back(c);
  }
  walkNested(root, [&](pugi::xml_node c, bool&) -> pugi::xml_node {
    if (c.type() != pugi::node_element) return {};
    if (localName(c.name()) == "txbxContent") out.push_back(c);
    return c;
  });
  return out;
}

// Text a phrase may span: no marks, breaks, tabs, objects or other stories' references.
bool convertible(char32_t c) { return c >= 0x20 && c < code::kNoMatch; }

// Per character of the story text, the text node it is in when that node's XML text is written
// as it reads (no entities, no control characters); null elsewhere. Edits in one such node can
// join with the unchanged text between them and give the same XML: a conversion changes every
// few characters, and one edit per node is far faster than one per character.
bool readsAsWritten(std::u32string_view chars, std::string_view raw) {
  std::size_t at = 0;
  for (char32_t c : chars) {
    if (c == '&' || c == '<' || c == '>' || c == '\r') return false;  // escaped when written
    unsigned char b[4];
    std::size_t n;
    if (c < 0x80) b[0] = static_cast<unsigned char>(c), n = 1;
    else if (c < 0x800) b[0] = static_cast<unsigned char>(0xC0 | c >> 6), b[1] = static_cast<unsigned char>(0x80 | (c & 0x3F)), n = 2;
    else if (c < 0x10000)
      b[0] = static_cast<unsigned char>(0xE0 | c >> 12), b[1] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F)),
      b[2] = static_cast<unsigned char>(0x80 | (c & 0x3F)), n = 3;
    else
      b[0] = static_cast<unsigned char>(0xF0 | c >> 18), b[1] = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F)),
      b[2] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F)), b[3] = static_cast<unsigned char>(0x80 | (c & 0x3F)), n = 4;
    if (at + n > raw.size()) return false;
    for (std::size_t k = 0; k < n; ++k)
      if (static_cast<unsigned char>(raw[at + k]) != b[k]) return false;
    at += n;
  }
  return at == raw.size();
}

std::vector<const void*> verbatimNodes(const StoryText& st) {
  std::vector<const void*> out(st.text.size(), nullptr);
  for (const ParaRecord& rec : st.paras)
    for (std::size_t s = rec.segBegin; s < rec.segEnd; ++s) {
      const Segment& seg = st.segments[s];
      if (!seg.text || seg.cdata) continue;
      const std::size_t first = rec.begin + seg.first;
      if (!readsAsWritten(std::u32string_view(st.text).substr(first, seg.count), seg.node.value())) continue;
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(first), seg.count, seg.node.internal_object());
    }
  return out;
}

int convertContainer(pugi::xml_node container, const Wml& w, const TextConverter& convert) {
  const StoryText st = buildStoryText(container, w);
  std::deque<std::vector<Piece>> pieces;
  std::vector<Replacement> reps;
  std::vector<const void*> nodes;
  int changed = 0;
  auto piece = [&](std::u32string text) -> const std::vector<Piece>* {
    return &pieces.emplace_back(std::vector<Piece>{Piece{Piece::Text, std::move(text), {}}});
  };
  const std::u32string& text = st.text;
  for (std::size_t i = 0; i < text.size();) {
    if (!convertible(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && convertible(text[end])) ++end;
    std::size_t at = i;
    for (const TextSegment& seg : convert(std::u32string_view(text).substr(i, end - i))) {
      const std::u32string& from = seg.from;
      const std::u32string& to = seg.to;
      if (at + from.size() > end || std::u32string_view(text).substr(at, from.size()) != from)
        throw EngineError(ErrorCode::InvalidArgument, "the converter's pieces do not give back the text");
      if (from != to) {
        ++changed;
        if (from.size() == to.size()) {
          // Character by character, so that each keeps the run it is in.
          if (nodes.empty()) nodes = verbatimNodes(st);
          for (std::size_t k = 0; k < from.size(); ++k) {
            if (from[k] == to[k]) continue;
            std::size_t e = k + 1;
            while (e < from.size() && from[e] != to[e] && nodes[at + k] && nodes[at + e] == nodes[at + k]) ++e;
            reps.push_back({at + k, at + e, piece(to.substr(k, e - k))});
            k = e - 1;
          }
        } else {
          reps.push_back({at, at + from.size(), piece(to)});
        }
      }
      at += from.size();
    }
    if (at != end) throw EngineError(ErrorCode::InvalidArgument, "the converter's pieces do not give back the text");
    i = end;
  }
  if (reps.empty()) return changed;
  if (nodes.empty()) nodes = verbatimNodes(st);
  std::vector<Replacement> joined;
  for (std::size_t r = 0; r < reps.size();) {
    const void* node = nodes[reps[r].begin];
    auto inNode = [&](const Replacement& x) { return node && nodes[x.begin] == node && nodes[x.end - 1] == node; };
    std::size_t e = r + 1;
    if (inNode(reps[r]))
      while (e < reps.size() && inNode(reps[e])) ++e;
    if (e == r + 1) {
      joined.push_back(reps[r++]);
      continue;
    }
    std::u32string all;
    for (std::size_t k = r; k < e; ++k) {
      if (k > r) all.append(text, reps[k - 1].end, reps[k].begin - reps[k - 1].end);
      all += reps[k].pieces->front().text;
    }
    joined.push_back({reps[r].begin, reps[e - 1].end, piece(std::move(all))});
    r = e;
  }
  applyReplacements(st, w, joined);
  return changed;
}

}  // namespace

int convertPackageText(Package& package, const TextConverter& convert) {
  std::vector<std::string> names{package.mainPartName()};
  for (const Relationship& r : package.relationships(package.mainPartName())) {
    if (r.external) continue;
    if (endsWith(r.type, "/header") || endsWith(r.type, "/footer") || endsWith(r.type, "/footnotes") ||
        endsWith(r.type, "/endnotes") || endsWith(r.type, "/comments")) {
      std::string name = Package::resolveTarget(package.mainPartName(), r.target);
      if (package.hasPart(name) && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  int total = 0;
  for (const std::string& name : names) {
    XmlPart& part = package.xmlPart(name);
    const Wml w(part.root());
    int n = 0;
    for (pugi::xml_node c : containers(part, w)) n += convertContainer(c, w, convert);
    if (n) part.markDirty();
    total += n;
  }
  return total;
}

}  // namespace vm::word::docx
