#include "word/docx/storytext.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace vm::word::docx {

namespace {

struct Appender {
  std::u32string& out;
  std::vector<Segment>& segments;
  std::size_t paraBegin = 0;
  bool supplementary = false;  // any character outside the BMP so far
  void text(pugi::xml_node node, bool cdata) {
    std::size_t before = out.size();
    const char* raw = node.value();
    std::size_t len = std::strlen(raw);
    if (!cdata && std::memchr(raw, '&', len)) {
      decodeRawText(std::string_view(raw, len), cdata, [&](char32_t c, std::size_t, std::size_t) {
        if (c >= 0x10000) supplementary = true;
        out.push_back(c);
      });
    } else {
      decodePlain(std::string_view(raw, len));
    }
    if (out.size() > before)
      segments.push_back({node, static_cast<std::uint32_t>(before - paraBegin),
                          static_cast<std::uint32_t>(out.size() - before), true, cdata});
  }
  void atom(char32_t c, pugi::xml_node e) {
    segments.push_back({e, static_cast<std::uint32_t>(out.size() - paraBegin), 1, false, false});
    out.push_back(c);
  }

 private:
  // decodeRawText for text without references, in one pass: most of a story's characters are
  // ASCII or three-byte (CJK) sequences.
  void decodePlain(std::string_view s) {
    std::size_t at = out.size();
    out.resize(at + s.size());  // no more characters than bytes
    char32_t* d = out.data() + at;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* e = p + s.size();
    while (p < e) {
      unsigned b = *p;
      if (b < 0x80) {
        *d++ = b < 0x20 ? U' ' : b;
        ++p;
      } else if ((b & 0xF0) == 0xE0 && e - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
        *d++ = ((b & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
        p += 3;
      } else {
        std::size_t i = static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(s.data()));
        char32_t c = decodeUtf8Multi(s, i);
        if (c >= 0x10000) supplementary = true;
        *d++ = c < 0x20 ? U' ' : c;
        p = reinterpret_cast<const unsigned char*>(s.data()) + i;
      }
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
  }
};

class Builder {
 public:
  Builder(StoryText& out, const Wml& w) : out_(out), w_(w), appender_{out.text, out.segments} {}

  bool supplementary() const { return appender_.supplementary; }

  // Walks the body with its tables and content controls. A loop over an explicit stack: a part
  // may nest controls or tables as deep as it likes.
  void body(pugi::xml_node body) {
    std::vector<Frame> stack;
    stack.push_back({Frame::Block, body.first_child(), {}, nextContainer_++, false, false, npos});
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (!f.next) {
        Frame done = f;
        stack.pop_back();
        if (done.kind == Frame::Cells && done.row) endRow(done.row);
        if (done.kind != Frame::Block || stack.empty()) continue;
        if (done.cell) {
          if (done.last != npos && done.last + 1 == out_.paras.size()) out_.paras[done.last].kind = MarkKind::Cell;
        } else {
          stack.back().last = done.last;  // a control's last paragraph is its container's
        }
        continue;
      }
      pugi::xml_node c = f.next;
      f.next = c.next_sibling();
      if (c.type() != pugi::node_element) continue;
      Tag t = w_.tag(c);
      Frame::Kind kind = f.kind;
      bool inTable = f.inTable;
      // Content controls and custom XML are transparent around paragraphs, rows and cells.
      pugi::xml_node wrapped = t == Tag::Sdt ? w_.child(c, Tag::SdtContent) : t == Tag::CustomXml ? c : pugi::xml_node();
      if (kind == Frame::Block) {
        if (t == Tag::P) {
          f.last = paragraph(c, f.id, inTable);
        } else if (t == Tag::Tbl) {
          f.last = npos;
          stack.push_back({Frame::Rows, c.first_child(), {}, 0, true, false, npos});
        } else if (wrapped) {
          stack.push_back({Frame::Block, wrapped.first_child(), {}, nextContainer_++, inTable, false, npos});
        }
      } else if (kind == Frame::Rows) {
        if (t == Tag::Tr) stack.push_back({Frame::Cells, c.first_child(), c, 0, true, false, npos});
        else if (wrapped) stack.push_back({Frame::Rows, wrapped.first_child(), {}, 0, true, false, npos});
      } else {
        if (t == Tag::Tc) stack.push_back({Frame::Block, c.first_child(), {}, nextContainer_++, true, true, npos});
        else if (wrapped) stack.push_back({Frame::Cells, wrapped.first_child(), {}, 0, true, false, npos});
      }
    }
  }

 private:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  std::size_t paragraph(pugi::xml_node p, std::uint32_t container, bool inTable) {
    // A paragraph whose mark is a tracked deletion runs on into the next one, as Word shows it.
    if (!open_) {
      open_ = ParaRecord{};
      open_->head = p;
      open_->begin = out_.text.size();
      open_->container = container;
      open_->inTable = inTable;
      open_->segBegin = out_.segments.size();
      appender_.paraBegin = open_->begin;
    }
    walkInline(p, w_, fields_, appender_);
    if (markRunsOn(p, w_)) return npos;
    auto pPr = w_.child(p, Tag::PPr);
    bool section = pPr && w_.child(pPr, Tag::SectPr);
    ParaRecord rec = *open_;
    open_.reset();
    rec.node = p;
    if (rec.head == p) rec.head = {};
    rec.segEnd = out_.segments.size();
    rec.mark = out_.text.size();
    out_.text.push_back(code::kMark);
    rec.kind = section ? MarkKind::Section : MarkKind::Paragraph;
    out_.paras.push_back(rec);
    return out_.paras.size() - 1;
  }

  void endRow(pugi::xml_node tr) {
    ParaRecord row;
    row.node = tr;
    row.begin = row.mark = out_.text.size();
    row.segBegin = row.segEnd = out_.segments.size();
    row.container = nextContainer_++;
    row.kind = MarkKind::Row;
    row.inTable = true;
    out_.text.push_back(code::kCellMark);
    out_.paras.push_back(row);
  }

  // One level of the walk: the children of a block container (the body, a control, a cell),
  // of a table (its rows) or of a row (its cells).
  struct Frame {
    enum Kind { Block, Rows, Cells } kind;
    pugi::xml_node next;  // the next child to look at
    pugi::xml_node row;   // Cells: the w:tr whose end-of-row mark follows its cells
    std::uint32_t id;     // Block: the container's id
    bool inTable;
    bool cell;            // Block: a table cell (its last paragraph's mark ends the cell)
    std::size_t last;     // Block: the last record added for a paragraph directly in it, or npos
  };

  StoryText& out_;
  const Wml& w_;
  Appender appender_;
  FieldState fields_;
  std::uint32_t nextContainer_ = 0;
  std::optional<ParaRecord> open_;  // a record whose paragraph mark is deleted, still open
};

}  // namespace

bool markRunsOn(pugi::xml_node p, const Wml& w) {
  auto pPr = w.child(p, Tag::PPr);
  auto rPr = pPr ? w.child(pPr, Tag::RPr) : pugi::xml_node();
  if (!rPr || w.child(pPr, Tag::SectPr) || !(w.child(rPr, Tag::Del) || w.child(rPr, Tag::MoveFrom))) return false;
  // Only into a paragraph beside it (bookmarks and the like between them are passed over).
  for (auto c = p.next_sibling(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    Tag t = w.tag(c);
    if (t == Tag::P) return true;
    if (t != Tag::Other) return false;
  }
  return false;
}

StoryText buildStoryText(pugi::xml_node body, const Wml& w) {
  StoryText out;
  Builder builder(out, w);
  builder.body(body);
  out.supplementary = builder.supplementary();
  // Word's story always ends with a paragraph mark: a body with no paragraph, or one that ends
  // with a table, gets the empty final paragraph Word adds when it opens the document.
  if (out.paras.empty() || out.paras.back().kind == MarkKind::Row) {
    ParaRecord last;
    last.begin = last.mark = out.text.size();
    last.segBegin = last.segEnd = out.segments.size();
    last.container = static_cast<std::uint32_t>(-1);
    last.kind = MarkKind::Fixed;
    out.text.push_back(code::kFixedMark);
    out.paras.push_back(last);
  }
  std::int64_t pos = 0;
  std::size_t n = out.paras.size();
  for (std::size_t k = 0; k < n; ++k) {
    ParaRecord& rec = out.paras[k];
    if (rec.kind == MarkKind::Paragraph) {
      bool joinable = k + 1 < n && out.paras[k + 1].container == rec.container &&
                      out.paras[k + 1].kind != MarkKind::Row;
      if (!joinable) rec.kind = MarkKind::Fixed;
    }
    switch (rec.kind) {
      case MarkKind::Paragraph: out.text[rec.mark] = code::kMark; break;
      case MarkKind::Fixed: out.text[rec.mark] = code::kFixedMark; break;
      case MarkKind::Section: out.text[rec.mark] = code::kSectionMark; break;
      case MarkKind::Cell: case MarkKind::Row: out.text[rec.mark] = code::kCellMark; break;
    }
    rec.position = pos;
    if (!out.supplementary) {
      pos += static_cast<std::int64_t>(rec.mark - rec.begin + 1);  // one position each
      continue;
    }
    for (std::size_t i = rec.begin; i <= rec.mark; ++i) pos += utf16Length(out.text[i]);
  }
  out.length = pos;
  return out;
}

std::size_t StoryText::paraOf(std::size_t i) const {
  auto it = std::upper_bound(paras.begin(), paras.end(), i,
                             [](std::size_t v, const ParaRecord& r) { return v < r.begin; });
  return it == paras.begin() ? 0 : static_cast<std::size_t>(it - paras.begin()) - 1;
}

std::size_t StoryText::indexOf(std::int64_t position) const {
  if (position <= 0) return 0;
  if (position >= length) return text.size();
  if (!supplementary) return static_cast<std::size_t>(position);
  auto it = std::upper_bound(paras.begin(), paras.end(), position,
                             [](std::int64_t v, const ParaRecord& r) { return v < r.position; });
  const ParaRecord& rec = *(it - 1);
  std::int64_t pos = rec.position;
  std::size_t i = rec.begin;
  while (i < text.size() && pos < position) pos += utf16Length(text[i++]);
  return i;
}

void renderCode(std::string& out, char32_t c) {
  if (c < code::kNoMatch) {
    appendUtf8(out, c);
  } else if (c == code::kCellMark) {
    out += "\r\a";
  } else {
    out += static_cast<char>(c - code::kNoMatch);
  }
}

std::string StoryText::render(std::size_t from, std::size_t to) const {
  std::string out;
  to = std::min(to, text.size());
  for (std::size_t i = from; i < to; ++i) renderCode(out, text[i]);
  return out;
}

}  // namespace vm::word::docx
