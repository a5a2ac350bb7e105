#pragma once
// The text of a story as Word counts it, built once from the XML and kept until the story
// changes. Each character of the story is one code in `text`:
//
//  - the characters of w:t (control characters in them read as spaces);
//  - w:tab/w:ptab "\t", w:br "\v" (a line break), w:br type=page "\f", type=column U+000E,
//    w:cr "\v", w:noBreakHyphen U+001E, w:softHyphen U+001F: these match Word's ^ codes;
//  - inline pictures and objects (w:drawing with wp:inline, w:pict, w:object), symbols
//    (w:sym), footnote/endnote and comment reference marks: one character each that no find
//    text matches (codes at or above kNoMatch);
//  - the paragraph mark ending every paragraph: "\r" when a find text may match it (^p), or
//    a code that nothing matches when the paragraph ends its container (before a table, at the
//    end of the body or of a content control), ends a section (a section break, "\f" in
//    Word's text) or ends a table cell (Word's end-of-cell mark); and each table row's
//    end-of-row mark.
//
// A paragraph whose mark is a tracked deletion has no mark: its text runs on into the next
// paragraph's record, as Word shows it.
//
// Not in the text: deleted tracked text (w:del, w:moveFrom), field codes (between a field's
// begin and separate characters, and w:instrText), floating (anchored) shapes, and what lies in
// other stories: text boxes (w:txbxContent inside drawings), footnotes, endnotes, comments,
// headers and footers. Field results are in the text.
//
// Positions (Word's Range.Start/End) count UTF-16 code units, each code above one position.

#include <cstddef>
#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "word/docx/unicase.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

namespace code {
inline constexpr char32_t kMark = 0x0D;
inline constexpr char32_t kNoMatch = 0x110000;  // kNoMatch + c: shows as c, matches nothing
inline constexpr char32_t kFixedMark = kNoMatch + 0x0D;
inline constexpr char32_t kSectionMark = kNoMatch + 0x0C;
inline constexpr char32_t kCellMark = kNoMatch + 0x07;  // shows as "\r\a", as in Word
inline constexpr char32_t kObject = kNoMatch + 0x01;
inline constexpr char32_t kNoteRef = kNoMatch + 0x02;
inline constexpr char32_t kCommentRef = kNoMatch + 0x05;
inline constexpr char32_t kSymbol = kNoMatch + '(';
}  // namespace code

// Open complex fields while walking: a depth and, per level, whether the walk is in its code.
struct FieldState {
  std::uint32_t depth = 0;
  std::uint64_t codeBits = 0;
  bool hidden() const { return codeBits != 0; }
  void begin() {
    ++depth;
    if (depth <= 64) codeBits |= std::uint64_t{1} << (depth - 1);
  }
  void separate() {
    if (depth && depth <= 64) codeBits &= ~(std::uint64_t{1} << (depth - 1));
  }
  void end() {
    if (!depth) return;
    if (depth <= 64) codeBits &= ~(std::uint64_t{1} << (depth - 1));
    --depth;
  }
};

// Decodes the raw (entity-encoded unless cdata) text of a text node: f(code, byteOffset, byteLength).
template <class F>
void decodeRawText(std::string_view s, bool cdata, F&& f) {
  for (std::size_t i = 0; i < s.size();) {
    std::size_t start = i;
    char32_t c = 0;
    if (!cdata && s[i] == '&') {
      auto semi = s.find(';', i);
      std::string_view ent = semi == std::string_view::npos || semi - i > 12 ? std::string_view()
                                                                             : s.substr(i + 1, semi - i - 1);
      if (ent == "amp") c = '&';
      else if (ent == "lt") c = '<';
      else if (ent == "gt") c = '>';
      else if (ent == "quot") c = '"';
      else if (ent == "apos") c = '\'';
      else if (ent.size() > 1 && ent[0] == '#') {
        bool hex = ent[1] == 'x' || ent[1] == 'X';
        char32_t v = 0;
        bool ok = ent.size() > (hex ? 2u : 1u);
        for (std::size_t k = hex ? 2 : 1; k < ent.size() && ok; ++k) {
          char d = ent[k];
          int digit = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                    : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
          if (digit < 0 || v > 0x10FFFF) ok = false;
          else v = v * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (ok && v <= 0x10FFFF) c = v;
      }
      if (c) {
        i = semi + 1;
      } else {
        c = '&';
        ++i;
      }
    } else {
      c = decodeUtf8(s, i);
    }
    if (c < 0x20) c = ' ';
    f(c, start, i - start);
  }
}

// Walks the inline content of a paragraph in text order, calling
//   v.text(pugi::xml_node textNode, bool cdata)  for each text node of a visible w:t
//   v.atom(char32_t code, pugi::xml_node element) for each other character.
template <class V>
void walkRun(pugi::xml_node run, const Wml& w, FieldState& fs, V& v);

// Visits the children of parent in document order without recursion (a part may nest
// controls, tables or hyperlinks as deep as it likes). visit(c) returns the node whose children
// come next, before c's following siblings, or a null node to go on with c's next sibling; it
// sets stop to end the walk. Returns false when the walk was stopped.
template <class Visit>
bool walkNested(pugi::xml_node parent, Visit&& visit) {
  std::vector<pugi::xml_node> resume;  // where each enclosing level goes on
  bool stop = false;
  for (auto c = parent.first_child();;) {
    if (!c) {
      if (resume.empty()) return true;
      c = resume.back();
      resume.pop_back();
      continue;
    }
    const pugi::xml_node into = visit(c, stop);
    if (stop) return false;
    if (into) {
      resume.push_back(c.next_sibling());
      c = into.first_child();
    } else {
      c = c.next_sibling();
    }
  }
}

template <class V>
void walkInline(pugi::xml_node parent, const Wml& w, FieldState& fs, V& v) {
  walkNested(parent, [&](pugi::xml_node c, bool&) -> pugi::xml_node {
    if (c.type() != pugi::node_element) return {};
    switch (w.tag(c)) {
      case Tag::R: walkRun(c, w, fs, v); return {};
      case Tag::Hyperlink: case Tag::SmartTag: case Tag::CustomXml: case Tag::Ins: case Tag::MoveTo:
      case Tag::FldSimple: case Tag::Dir: case Tag::Bdo:
        return c;
      case Tag::Sdt: return w.child(c, Tag::SdtContent);
      case Tag::AlternateContent: return w.child(c, Tag::Choice);
      default: return {};  // properties, deleted text, bookmarks, proofing marks, math
    }
  });
}

// An inline picture or object counts as one character; a floating one as none.
inline bool isInlineObject(pugi::xml_node element, const Wml& w) {
  // Alternate content stands for its first choice's first element (followed by a loop).
  while (element && w.tag(element) == Tag::AlternateContent) {
    pugi::xml_node first;
    for (auto c = w.child(element, Tag::Choice).first_child(); c && !first; c = c.next_sibling())
      if (c.type() == pugi::node_element) first = c;
    element = first;
  }
  if (!element) return false;
  Tag t = w.tag(element);
  if (t == Tag::Drawing) {
    for (auto c = element.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      std::string_view n = c.name();
      auto colon = n.find(':');
      return (colon == std::string_view::npos ? n : n.substr(colon + 1)) == "inline";
    }
    return false;
  }
  if (t == Tag::Pict || t == Tag::Object) {
    for (auto c = element.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (std::string_view(c.attribute("style").value()).find("position:absolute") != std::string_view::npos)
        return false;
    }
    return true;
  }
  return false;
}

template <class V>
void walkRun(pugi::xml_node run, const Wml& w, FieldState& fs, V& v) {
  for (auto c = run.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    Tag t = w.tag(c);
    if (t == Tag::FldChar) {
      std::string_view type = w.attr(c, "fldCharType").value();
      if (type == "begin") fs.begin();
      else if (type == "separate") fs.separate();
      else if (type == "end") fs.end();
      continue;
    }
    if (fs.hidden()) continue;
    switch (t) {
      case Tag::T:
        for (auto tn = c.first_child(); tn; tn = tn.next_sibling())
          if (tn.type() == pugi::node_pcdata || tn.type() == pugi::node_cdata)
            v.text(tn, tn.type() == pugi::node_cdata);
        break;
      case Tag::Tab: case Tag::PTab: v.atom(U'\t', c); break;
      case Tag::Br: {
        std::string_view type = w.attr(c, "type").value();
        v.atom(type == "page" ? U'\f' : type == "column" ? char32_t{0x0E} : U'\v', c);
        break;
      }
      case Tag::Cr: v.atom(U'\v', c); break;
      case Tag::NoBreakHyphen: v.atom(0x1E, c); break;
      case Tag::SoftHyphen: v.atom(0x1F, c); break;
      case Tag::Sym: v.atom(code::kSymbol, c); break;
      case Tag::Drawing: case Tag::Pict: case Tag::Object: case Tag::AlternateContent:
        if (isInlineObject(c, w)) v.atom(code::kObject, c);
        break;
      case Tag::FootnoteReference: case Tag::EndnoteReference: v.atom(code::kNoteRef, c); break;
      case Tag::CommentReference: v.atom(code::kCommentRef, c); break;
      default: break;  // w:rPr, w:delText, w:instrText, w:lastRenderedPageBreak, ...
    }
  }
}

enum class MarkKind : std::uint8_t {
  Paragraph,  // "\r", may be matched
  Fixed,      // "\r", ends its container
  Section,    // section break
  Cell,       // end of a table cell
  Row,        // end of a table row (a record of its own, without a paragraph)
};

// A paragraph's characters as runs of one node each: a text node's characters, or one element.
struct Segment {
  pugi::xml_node node;
  std::uint32_t first = 0, count = 0;  // character indexes within the paragraph
  bool text = false, cdata = false;
};

struct ParaRecord {
  pugi::xml_node node;       // the w:p (the w:tr for a row end; none for Word's implied final mark)
  pugi::xml_node head;       // the first w:p when earlier ones run into node (their marks deleted)
  std::size_t segBegin = 0, segEnd = 0;  // its segments in StoryText::segments
  std::size_t begin = 0;     // index in StoryText::text of the first character
  std::size_t mark = 0;      // index of the paragraph mark: characters are [begin, mark]
  std::int64_t position = 0; // Word position of the first character
  std::uint32_t container = 0;
  MarkKind kind = MarkKind::Paragraph;
  bool inTable = false;
};

struct StoryText {
  std::u32string text;
  std::vector<ParaRecord> paras;
  std::vector<Segment> segments;  // where each character of each paragraph is in the XML
  std::int64_t length = 0;  // in positions
  bool supplementary = false;  // any character outside the BMP (positions differ from indexes)

  // The record holding text index i (i < text.size()).
  std::size_t paraOf(std::size_t i) const;
  // Text index of a position (the first character at or after it); text.size() past the end.
  std::size_t indexOf(std::int64_t position) const;
  // Word's text of [from, to) (indexes): marks "\r", cell and row ends "\r\a", objects "\x01".
  std::string render(std::size_t from, std::size_t to) const;
};

// Whether a paragraph's mark is a tracked deletion that Word shows joined to the next paragraph.
bool markRunsOn(pugi::xml_node p, const Wml& w);

// The main story of a document part: w:body with its tables and content controls.
StoryText buildStoryText(pugi::xml_node body, const Wml& w);

// Word's character for a code in rendered text (appends to out).
void renderCode(std::string& out, char32_t c);

}  // namespace vm::word::docx
