#include "word/docx/editor.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace vm::word::docx {

namespace {

constexpr unsigned kFragmentParse = pugi::parse_minimal;

struct Atom {
  pugi::xml_node node;  // the text node for text, else the element (w:tab, w:br, ...)
  std::uint32_t off = 0, len = 0;
  bool text = false;
};

struct Hit {
  Atom atom;
  bool mark = false;
  pugi::xml_node para;
};

struct Edit {
  std::uint32_t lo, hi;
  const std::string* raw;  // escaped replacement, shared by the matches of one piece list
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isPropertyElement(pugi::xml_node n) {
  std::string_view name = n.name();
  return n.type() == pugi::node_element && name.size() > 2 && name.substr(name.size() - 2) == "Pr";
}

class Editor {
 public:
  Editor(const StoryText& text, const Wml& w, Revision* rev) : text_(text), w_(w), rev_(rev) {}

  void run(const std::vector<Replacement>& reps) {
    pending_.reserve(reps.size());
    for (auto it = reps.rbegin(); it != reps.rend(); ++it) {
      if (rev_) applyTracked(*it);
      else applyOne(*it);
    }
    std::vector<pugi::xml_node_struct*> nodes;
    nodes.reserve(pending_.size());
    for (auto& [n, e] : pending_) nodes.push_back(n);
    for (auto* n : nodes) flush(pugi::xml_node(n));
    cleanup();
  }

 private:
  // The segments of a paragraph, as found when the story text was built (the XML nodes they
  // name stay valid while matches are applied from the last to the first).
  struct Segments {
    const Segment* begin;
    const Segment* end;
  };
  Segments segmentsOf(std::size_t para) const {
    const ParaRecord& rec = text_.paras[para];
    return {text_.segments.data() + rec.segBegin, text_.segments.data() + rec.segEnd};
  }

  // Byte offsets of each character of a text node (and its end), computed once per node.
  const std::vector<std::uint32_t>& offsetsOf(const Segment& seg) {
    auto it = offsets_.find(seg.node.internal_object());
    if (it != offsets_.end()) return it->second;
    std::vector<std::uint32_t>& offs = offsets_[seg.node.internal_object()];
    offs.reserve(seg.count + 1);
    std::size_t end = 0;
    decodeRawText(seg.node.value(), seg.cdata, [&](char32_t, std::size_t off, std::size_t len) {
      offs.push_back(static_cast<std::uint32_t>(off));
      end = off + len;
    });
    offs.push_back(static_cast<std::uint32_t>(end));
    return offs;
  }

  Atom atomAt(Segments segs, std::uint32_t i) {
    auto it = std::upper_bound(segs.begin, segs.end, i,
                               [](std::uint32_t v, const Segment& s) { return v < s.first; });
    const Segment& seg = *(it - 1);
    if (!seg.text) return {seg.node, 0, 0, false};
    const auto& offs = offsetsOf(seg);
    std::uint32_t k = i - seg.first;
    return {seg.node, offs[k], offs[k + 1] - offs[k], true};
  }

  pugi::xml_node insertAt(pugi::xml_node parent, pugi::xml_node before, const std::string& name) {
    return before ? parent.insert_child_before(name.c_str(), before) : parent.append_child(name.c_str());
  }

  void touchText(pugi::xml_node t) { touchedText_.push_back(t); }
  void touchRun(pugi::xml_node r) { touchedRuns_.push_back(r); }

  void ensurePreserve(pugi::xml_node t) {
    std::string value;
    for (auto c = t.first_child(); c; c = c.next_sibling()) value += c.value();
    if (value.empty()) return;
    if ((isSpace(value.front()) || isSpace(value.back()) || value.find("  ") != std::string::npos) &&
        !t.attribute("xml:space"))
      t.append_attribute("xml:space") = "preserve";
  }

  void flush(pugi::xml_node node) {
    auto it = pending_.find(node.internal_object());
    if (it == pending_.end()) return;
    std::vector<Edit> edits = std::move(it->second);
    pending_.erase(it);
    std::string_view raw = node.value();
    std::string out;
    out.reserve(raw.size());
    std::size_t cur = 0;
    for (auto e = edits.rbegin(); e != edits.rend(); ++e) {  // collected last first
      out.append(raw.substr(cur, e->lo - cur));
      out += *e->raw;
      cur = e->hi;
    }
    out.append(raw.substr(cur));
    node.set_value(out.c_str(), out.size());
    pugi::xml_node t = node.parent();
    touchText(t);
    touchRun(t.parent());
  }

  // Splits the paragraph holding `run` before `before` (a child of run, or null for its end):
  // everything before that point moves into a new paragraph inserted before.
  pugi::xml_node split(pugi::xml_node run, pugi::xml_node before) {
    pugi::xml_node p = run;
    while (p && w_.tag(p) != Tag::P) p = p.parent();
    if (!p) return {};
    pugi::xml_node left = p.parent().insert_child_before(p.name(), p);
    if (auto pPr = w_.child(p, Tag::PPr)) {
      auto copy = left.append_copy(pPr);
      if (auto sect = w_.child(copy, Tag::SectPr)) copy.remove_child(sect);
    }
    std::vector<pugi::xml_node> path;
    for (auto n = run; n != p; n = n.parent()) path.push_back(n);
    std::reverse(path.begin(), path.end());
    pugi::xml_node leftParent = left, parent = p;
    std::vector<pugi::xml_node> copies;
    for (auto node : path) {
      moveBefore(parent, node, leftParent);
      pugi::xml_node copy = leftParent.append_child(node.name());
      for (auto a : node.attributes()) copy.append_attribute(a.name()) = a.value();
      if (rev_ && (w_.tag(node) == Tag::Ins || w_.tag(node) == Tag::Del)) newId(copy);  // ids stay unique
      for (auto c = node.first_child(); c; c = c.next_sibling()) {
        if (!isPropertyElement(c)) continue;
        auto pc = copy.append_copy(c);
        if (w_.tag(node) == Tag::Sdt)
          if (auto id = pc.child(w_.name("id").c_str())) pc.remove_child(id);
      }
      copies.push_back(copy);
      leftParent = copy;
      parent = node;
    }
    moveBefore(run, before, leftParent);
    // Copies that received no content are dropped (innermost first).
    for (auto c = copies.rbegin(); c != copies.rend(); ++c) {
      bool content = false;
      for (auto k = c->first_child(); k && !content; k = k.next_sibling())
        content = k.type() == pugi::node_element && !isPropertyElement(k);
      if (!content) c->parent().remove_child(*c);
    }
    return left;
  }

  void moveBefore(pugi::xml_node parent, pugi::xml_node stop, pugi::xml_node dest) {
    for (auto c = parent.first_child(); c && c != stop;) {
      auto next = c.next_sibling();
      if (!isPropertyElement(c)) dest.append_move(c);
      c = next;
    }
  }

  // Joins paragraph p with the next paragraph: p's content goes to the front of the next one.
  void mergeIntoNext(pugi::xml_node p) {
    pugi::xml_node next = p.next_sibling();
    while (next && !(next.type() == pugi::node_element && w_.tag(next) == Tag::P)) next = next.next_sibling();
    if (!next) return;
    pugi::xml_node anchor = w_.child(next, Tag::PPr);
    for (auto c = p.first_child(); c;) {
      auto following = c.next_sibling();
      if (!(c.type() == pugi::node_element && w_.tag(c) == Tag::PPr))
        anchor = anchor ? next.insert_move_after(c, anchor) : next.prepend_move(c);
      c = following;
    }
    p.parent().remove_child(p);
  }

  // The common case: the match lies in one text node and the replacement is plain text. The
  // edit is collected and written with the node's other edits in one pass.
  bool fastPath(const Replacement& rep) {
    std::size_t pi = text_.paraOf(rep.begin);
    const ParaRecord& rec = text_.paras[pi];
    if (rep.end > rec.mark || rec.kind == MarkKind::Row) return false;
    auto plain = plain_.find(rep.pieces);
    if (plain == plain_.end()) {
      std::string raw;
      bool ok = plainText(*rep.pieces);
      if (ok)
        for (const Piece& p : *rep.pieces) raw += escapeText(p.text);
      plain = plain_.emplace(rep.pieces, std::make_pair(ok, std::move(raw))).first;
    }
    if (!plain->second.first) return false;
    Segments segs = segmentsOf(pi);
    auto first = static_cast<std::uint32_t>(rep.begin - rec.begin), last = static_cast<std::uint32_t>(rep.end - 1 - rec.begin);
    auto it = std::upper_bound(segs.begin, segs.end, first,
                               [](std::uint32_t v, const Segment& s) { return v < s.first; });
    const Segment& seg = *(it - 1);
    if (!seg.text || seg.cdata || last >= seg.first + seg.count) return false;
    const auto& offs = offsetsOf(seg);
    pending_[seg.node.internal_object()].push_back(
        {offs[first - seg.first], offs[last - seg.first + 1], &plain->second.second});
    return true;
  }

  // The matched characters one by one, each with the atom or paragraph mark it is.
  std::vector<Hit> hitsOf(const Replacement& rep) {
    std::size_t pi = text_.paraOf(rep.begin), pj = text_.paraOf(rep.end - 1);
    std::vector<Hit> hits;
    hits.reserve(rep.end - rep.begin);
    for (std::size_t k = pi; k <= pj; ++k) {
      const ParaRecord& rec = text_.paras[k];
      Segments segs = segmentsOf(k);
      std::size_t from = std::max(rep.begin, rec.begin), to = std::min(rep.end, rec.mark + 1);
      for (std::size_t i = from; i < to; ++i) {
        if (i == rec.mark) hits.push_back({{}, true, rec.node});
        else hits.push_back({atomAt(segs, static_cast<std::uint32_t>(i - rec.begin)), false, rec.node});
      }
    }
    return hits;
  }

  void applyOne(const Replacement& rep) {
    if (fastPath(rep)) return;
    std::vector<Hit> hits = hitsOf(rep);
    if (hits.empty()) return;
    const Hit& h0 = hits.front();

    for (const Hit& h : hits)
      if (!h.mark && h.atom.text) flush(h.atom.node);

    // Where the replacement goes.
    pugi::xml_node run, before, suffixT;
    std::vector<pugi::xml_node> texts;  // prefix, inserted and suffix text elements, in order
    std::size_t skip = 0;  // leading hits already handled by the anchor
    if (h0.mark) {
      pugi::xml_node para = h0.para;
      run = para.append_child(w_.name("r").c_str());
      if (auto pPr = w_.child(h0.para, Tag::PPr)) {
        if (auto markProps = w_.child(pPr, Tag::RPr)) {
          auto rPr = run.append_copy(markProps);
          for (auto c = rPr.first_child(); c;) {
            auto next = c.next_sibling();
            std::string_view n = c.name();
            auto colon = n.find(':');
            std::string_view local = colon == std::string_view::npos ? n : n.substr(colon + 1);
            if (local == "ins" || local == "del" || local == "moveFrom" || local == "moveTo" || local == "rPrChange")
              rPr.remove_child(c);
            c = next;
          }
        }
      }
      touchRun(run);
    } else if (h0.atom.text) {
      pugi::xml_node tn = h0.atom.node;
      pugi::xml_node t = tn.parent();
      run = t.parent();
      std::uint32_t lo = h0.atom.off, hi = lo;
      while (skip < hits.size() && !hits[skip].mark && hits[skip].atom.node == tn) {
        hi = hits[skip].atom.off + hits[skip].atom.len;
        ++skip;
      }
      std::string raw = tn.value();
      std::string suffix = raw.substr(hi);
      raw.resize(lo);
      tn.set_value(raw.c_str(), raw.size());
      if (!suffix.empty() || tn.next_sibling()) {
        pugi::xml_node t2 = run.insert_child_after(t.name(), t);
        for (auto a : t.attributes()) t2.append_attribute(a.name()) = a.value();
        if (!suffix.empty()) t2.append_child(tn.type()).set_value(suffix.c_str(), suffix.size());
        for (auto c = tn.next_sibling(); c;) {
          auto next = c.next_sibling();
          t2.append_move(c);
          c = next;
        }
        touchText(t2);
        before = t2;
        suffixT = t2;
      } else {
        before = t.next_sibling();
      }
      texts.push_back(t);
      touchText(t);
      touchRun(run);
    } else {
      run = h0.atom.node.parent();
      before = h0.atom.node;
    }

    // The replacement.
    for (const Piece& piece : *rep.pieces) {
      switch (piece.kind) {
        case Piece::Text: {
          pugi::xml_node t = insertAt(run, before, w_.name("t"));
          std::string raw = escapeText(piece.text);
          t.append_child(pugi::node_pcdata).set_value(raw.c_str(), raw.size());
          touchText(t);
          texts.push_back(t);
          break;
        }
        case Piece::Tab: insertAt(run, before, w_.name("tab")); break;
        case Piece::LineBreak: insertAt(run, before, w_.name("br")); break;
        case Piece::PageBreak:
          insertAt(run, before, w_.name("br")).append_attribute(w_.attrName("type").c_str()) = "page";
          break;
        case Piece::ColumnBreak:
          insertAt(run, before, w_.name("br")).append_attribute(w_.attrName("type").c_str()) = "column";
          break;
        case Piece::NoBreakHyphen: insertAt(run, before, w_.name("noBreakHyphen")); break;
        case Piece::SoftHyphen: insertAt(run, before, w_.name("softHyphen")); break;
        case Piece::Object: {
          pugi::xml_node last = run.last_child();
          run.append_buffer(piece.xml.data(), piece.xml.size(), kFragmentParse);
          pugi::xml_node added = last ? last.next_sibling() : run.first_child();
          while (added) {
            auto next = added.next_sibling();
            if (before) run.insert_move_before(added, before);
            added = next;
          }
          break;
        }
        case Piece::Mark: split(run, before); break;
        case Piece::Found: break;  // expanded before
      }
    }

    // The rest of the match goes.
    std::vector<pugi::xml_node> marks;
    for (std::size_t k = skip; k < hits.size();) {
      const Hit& h = hits[k];
      if (h.mark) {
        marks.push_back(h.para);
        ++k;
      } else if (h.atom.text) {
        pugi::xml_node tn = h.atom.node;
        std::uint32_t lo = h.atom.off, hi = lo;
        while (k < hits.size() && !hits[k].mark && hits[k].atom.node == tn) {
          hi = hits[k].atom.off + hits[k].atom.len;
          ++k;
        }
        std::string raw = tn.value();
        raw.erase(lo, hi - lo);
        tn.set_value(raw.c_str(), raw.size());
        touchText(tn.parent());
        touchRun(tn.parent().parent());
      } else {
        pugi::xml_node parent = h.atom.node.parent();
        parent.remove_child(h.atom.node);
        touchRun(parent);
        ++k;
      }
    }
    if (suffixT) texts.push_back(suffixT);
    coalesce(texts);
    for (auto p : marks) mergeIntoNext(p);
    cleanup();
  }

  // --- tracked changes ---------------------------------------------------------------------

  // Gives a revision element (w:ins, w:del) its id, author and date, replacing any it had.
  void stamp(pugi::xml_node el) {
    for (const char* local : {"id", "author", "date"}) el.remove_attribute(w_.attrName(local).c_str());
    el.append_attribute(w_.attrName("id").c_str()) = std::to_string(rev_->nextId++).c_str();
    el.append_attribute(w_.attrName("author").c_str()) = rev_->author.c_str();
    el.append_attribute(w_.attrName("date").c_str()) = rev_->date.c_str();
  }

  // A copied revision element's own id (its author and date stay).
  void newId(pugi::xml_node el) {
    pugi::xml_attribute id = el.attribute(w_.attrName("id").c_str());
    if (!id) id = el.append_attribute(w_.attrName("id").c_str());
    id = std::to_string(rev_->nextId++).c_str();
  }

  static std::string_view localName(pugi::xml_node n) {
    std::string_view name = n.name();
    auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
  }

  // Drops the revision marks from copied run properties (their ids would repeat).
  static void stripRevisionMarks(pugi::xml_node rPr) {
    for (auto c = rPr.first_child(); c;) {
      auto next = c.next_sibling();
      std::string_view local = localName(c);
      if (local == "ins" || local == "del" || local == "moveFrom" || local == "moveTo" || local == "rPrChange")
        rPr.remove_child(c);
      c = next;
    }
  }

  // The paragraph mark's properties (w:pPr/w:rPr), created where the schema puts them.
  pugi::xml_node markProperties(pugi::xml_node p) {
    pugi::xml_node pPr = w_.child(p, Tag::PPr);
    if (!pPr) pPr = p.prepend_child(w_.name("pPr").c_str());
    pugi::xml_node rPr = w_.child(pPr, Tag::RPr);
    if (rPr) return rPr;
    for (auto c = pPr.first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element && (w_.tag(c) == Tag::SectPr || localName(c) == "pPrChange"))
        return pPr.insert_child_before(w_.name("rPr").c_str(), c);
    return pPr.append_child(w_.name("rPr").c_str());
  }

  // Marks a paragraph's mark deleted or inserted (revision marks come first in its properties).
  void markParagraph(pugi::xml_node p, const char* local) {
    pugi::xml_node rPr = markProperties(p);
    pugi::xml_node after;
    for (auto c = rPr.first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element && (localName(c) == "ins" || localName(c) == "del")) after = c;
    pugi::xml_node mark = after ? rPr.insert_child_after(w_.name(local).c_str(), after)
                                : rPr.prepend_child(w_.name(local).c_str());
    stamp(mark);
  }

  // A run beside `run` with its attributes and properties and no content.
  pugi::xml_node runShell(pugi::xml_node run, bool before) {
    pugi::xml_node shell = before ? run.parent().insert_child_before(run.name(), run)
                                  : run.parent().insert_child_after(run.name(), run);
    for (auto a : run.attributes()) shell.append_attribute(a.name()) = a.value();
    for (auto c = run.first_child(); c; c = c.next_sibling()) {
      if (!isPropertyElement(c)) continue;
      pugi::xml_node props = shell.append_copy(c);
      for (auto k = props.first_child(); k; k = k.next_sibling())
        if (localName(k) == "rPrChange") newId(k);  // a formatting change recorded there keeps its own id
    }
    return shell;
  }

  // Leaves `child` alone in its run: the content before it and after it go into runs of their own.
  pugi::xml_node isolate(pugi::xml_node child) {
    pugi::xml_node run = child.parent();
    auto content = [](pugi::xml_node c) { return c.type() == pugi::node_element && !isPropertyElement(c); };
    bool before = false, after = false;
    for (auto c = run.first_child(); c != child; c = c.next_sibling()) before = before || content(c);
    for (auto c = child.next_sibling(); c; c = c.next_sibling()) after = after || content(c);
    if (before) moveBefore(run, child, runShell(run, true));
    if (after) {
      pugi::xml_node right = runShell(run, false);
      for (auto c = child.next_sibling(); c;) {
        auto next = c.next_sibling();
        if (!isPropertyElement(c)) right.append_move(c);
        c = next;
      }
    }
    return run;
  }

  // A w:t holding exactly the bytes [lo, hi) of its text node tn; the rest stays in w:t beside it.
  // tn keeps the bytes before lo, so offsets that earlier matches hold in it stay valid.
  pugi::xml_node cutText(pugi::xml_node tn, std::uint32_t lo, std::uint32_t hi) {
    pugi::xml_node t = tn.parent();
    pugi::xml_node run = t.parent();
    std::string raw = tn.value();
    auto copyOf = [&](pugi::xml_node after, const std::string& value) {
      pugi::xml_node n = run.insert_child_after(t.name(), after);
      for (auto a : t.attributes()) n.append_attribute(a.name()) = a.value();
      if (!value.empty()) n.append_child(tn.type()).set_value(value.c_str(), value.size());
      return n;
    };
    if (hi < raw.size() || tn.next_sibling()) {
      pugi::xml_node suffix = copyOf(t, raw.substr(hi));
      for (auto c = tn.next_sibling(); c;) {
        auto next = c.next_sibling();
        suffix.append_move(c);
        c = next;
      }
      ensurePreserve(suffix);
    }
    pugi::xml_node middle = t;
    if (lo > 0 || tn.previous_sibling()) {
      middle = copyOf(t, raw.substr(lo, hi - lo));
      raw.resize(lo);
    } else {
      raw.resize(hi);
    }
    tn.set_value(raw.c_str(), raw.size());
    ensurePreserve(t);
    ensurePreserve(middle);
    return middle;
  }

  // The run `run` made deleted text: into a w:del (the one just after it when it is this
  // replacement's), w:t as w:delText.
  pugi::xml_node deleteRun(pugi::xml_node run, std::vector<pugi::xml_node>& dels) {
    for (auto c = run.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (w_.tag(c) == Tag::T) c.set_name(w_.name("delText").c_str());
      else if (w_.tag(c) == Tag::InstrText) c.set_name(w_.name("delInstrText").c_str());
    }
    pugi::xml_node next = run.next_sibling();
    if (next && std::find(dels.begin(), dels.end(), next) != dels.end()) {
      next.prepend_move(run);
      return next;
    }
    pugi::xml_node del = run.parent().insert_child_before(w_.name("del").c_str(), run);
    stamp(del);
    del.append_move(run);
    dels.push_back(del);
    return del;
  }

  void applyTracked(const Replacement& rep) {
    std::vector<Hit> hits = hitsOf(rep);
    if (hits.empty()) return;
    Hit h0 = hits.front();

    // The formatting of the match's first character, taken before anything moves.
    pugi::xml_document held;
    pugi::xml_node firstProps;
    if (h0.mark) {
      if (auto pPr = w_.child(h0.para, Tag::PPr))
        if (auto rPr = w_.child(pPr, Tag::RPr)) firstProps = held.append_copy(rPr);
    } else {
      pugi::xml_node run = h0.atom.text ? h0.atom.node.parent().parent() : h0.atom.node.parent();
      if (auto rPr = w_.child(run, Tag::RPr)) firstProps = held.append_copy(rPr);
    }
    if (firstProps) stripRevisionMarks(firstProps);

    for (const Hit& h : hits)
      if (h.mark) markParagraph(h.para, "del");

    // The matched content becomes deleted runs, last first (offsets before stay valid). The
    // insertion goes after the last of them in the match's first paragraph.
    std::vector<pugi::xml_node> dels, own;
    pugi::xml_node after;
    for (std::size_t k = hits.size(); k > 0;) {
      const Hit& h = hits[k - 1];
      if (h.mark) {
        --k;
        continue;
      }
      pugi::xml_node child;
      if (h.atom.text) {
        pugi::xml_node tn = h.atom.node;
        std::uint32_t hi = h.atom.off + h.atom.len, lo = h.atom.off;
        while (k > 0 && !hits[k - 1].mark && hits[k - 1].atom.node == tn) lo = hits[--k].atom.off;
        child = cutText(tn, lo, hi);
      } else {
        child = h.atom.node;
        --k;
      }
      pugi::xml_node run = isolate(child);
      // Text this author inserted goes without a trace, as in Word; it leaves once the
      // replacement is in (it marks where that goes).
      pugi::xml_node del = ownInsertion(run) ? own.emplace_back(run) : deleteRun(run, dels);
      if (!after && h.para == h0.para) after = del;
    }

    // The replacement, in a new run inside w:ins; not inside an insertion already there (the
    // schema nests none), which is cut in two around it.
    while (after && (w_.tag(after.parent()) == Tag::Ins || w_.tag(after.parent()) == Tag::MoveTo)) {
      pugi::xml_node outer = after.parent();
      if (after.next_sibling()) {
        pugi::xml_node rest = outer.parent().insert_child_after(outer.name(), outer);
        for (auto a : outer.attributes()) rest.append_attribute(a.name()) = a.value();
        newId(rest);
        while (pugi::xml_node c = after.next_sibling()) rest.append_move(c);
      }
      after = outer;
    }
    pugi::xml_node ins = after ? after.parent().insert_child_after(w_.name("ins").c_str(), after)
                               : h0.para.append_child(w_.name("ins").c_str());
    stamp(ins);
    pugi::xml_node run = ins.append_child(w_.name("r").c_str());
    if (firstProps) run.append_copy(firstProps);
    for (const Piece& piece : *rep.pieces) {
      switch (piece.kind) {
        case Piece::Text: {
          pugi::xml_node t = run.append_child(w_.name("t").c_str());
          std::string raw = escapeText(piece.text);
          t.append_child(pugi::node_pcdata).set_value(raw.c_str(), raw.size());
          ensurePreserve(t);
          break;
        }
        case Piece::Tab: run.append_child(w_.name("tab").c_str()); break;
        case Piece::LineBreak: run.append_child(w_.name("br").c_str()); break;
        case Piece::PageBreak:
          run.append_child(w_.name("br").c_str()).append_attribute(w_.attrName("type").c_str()) = "page";
          break;
        case Piece::ColumnBreak:
          run.append_child(w_.name("br").c_str()).append_attribute(w_.attrName("type").c_str()) = "column";
          break;
        case Piece::NoBreakHyphen: run.append_child(w_.name("noBreakHyphen").c_str()); break;
        case Piece::SoftHyphen: run.append_child(w_.name("softHyphen").c_str()); break;
        case Piece::Object: run.append_buffer(piece.xml.data(), piece.xml.size(), kFragmentParse); break;
        case Piece::Mark:
          // The paragraph before the new mark is the new one: its mark is the inserted one.
          if (pugi::xml_node left = split(run, {})) {
            pugi::xml_node rPr = markProperties(left);
            stripRevisionMarks(rPr);
            markParagraph(left, "ins");
          }
          break;
        case Piece::Found: break;  // expanded before
      }
    }
    bool content = false;
    for (auto c = run.first_child(); c && !content; c = c.next_sibling())
      content = c.type() == pugi::node_element && !isPropertyElement(c);
    if (!content) run.parent().remove_child(run);
    if (!ins.first_child()) ins.parent().remove_child(ins);
    for (pugi::xml_node r : own) {
      pugi::xml_node parent = r.parent();
      parent.remove_child(r);
      bool left = false;
      for (auto c = parent.first_child(); c && !left; c = c.next_sibling()) left = c.type() == pugi::node_element;
      if (!left) parent.parent().remove_child(parent);
    }
  }

  // A run right inside a w:ins of this revision's author.
  bool ownInsertion(pugi::xml_node run) const {
    pugi::xml_node parent = run.parent();
    return w_.tag(parent) == Tag::Ins && rev_->author == w_.attr(parent, "author").value();
  }

  // Joins neighbouring plain text elements among the ones this replacement wrote, so that a
  // replacement inside one run stays one w:t. Later elements are appended to earlier ones, which
  // keeps the byte offsets that earlier matches hold in them.
  void coalesce(std::vector<pugi::xml_node>& texts) {
    auto plain = [](pugi::xml_node t) {
      for (auto c = t.first_child(); c; c = c.next_sibling())
        if (c.type() != pugi::node_pcdata) return false;
      return !t.first_child() || !t.first_child().next_sibling();
    };
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
      pugi::xml_node cur = texts[i];
      if (!plain(cur)) continue;
      while (i + 1 < texts.size() && cur.next_sibling() == texts[i + 1] && plain(texts[i + 1])) {
        pugi::xml_node next = texts[i + 1];
        pugi::xml_node target = cur.first_child() ? cur.first_child() : cur.append_child(pugi::node_pcdata);
        std::string joined = std::string(target.value()) + next.first_child().value();
        target.set_value(joined.c_str(), joined.size());
        touchedText_.erase(std::remove(touchedText_.begin(), touchedText_.end(), next), touchedText_.end());
        next.parent().remove_child(next);
        texts.erase(texts.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      }
    }
  }

  // Removes the text elements and runs the edits left empty.
  void cleanup() {
    dedupe(touchedText_);
    dedupe(touchedRuns_);
    for (auto t : touchedText_) {
      if (!t || !t.parent()) continue;
      bool empty = true;
      for (auto c = t.first_child(); c && empty; c = c.next_sibling())
        empty = (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) && !*c.value();
      if (empty) {
        t.parent().remove_child(t);
      } else {
        ensurePreserve(t);
      }
    }
    touchedText_.clear();
    for (auto r : touchedRuns_) {
      if (!r || !r.parent()) continue;
      bool content = false;
      for (auto c = r.first_child(); c && !content; c = c.next_sibling())
        content = c.type() == pugi::node_element && !isPropertyElement(c);
      if (!content && w_.tag(r) == Tag::R) r.parent().remove_child(r);
    }
    touchedRuns_.clear();
  }

  static void dedupe(std::vector<pugi::xml_node>& nodes) {
    std::sort(nodes.begin(), nodes.end(), [](pugi::xml_node a, pugi::xml_node b) {
      return a.internal_object() < b.internal_object();
    });
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  }

  const StoryText& text_;
  const Wml& w_;
  Revision* rev_;
  std::unordered_map<pugi::xml_node_struct*, std::vector<std::uint32_t>> offsets_;
  std::unordered_map<const std::vector<Piece>*, std::pair<bool, std::string>> plain_;  // plain text? escaped
  std::unordered_map<pugi::xml_node_struct*, std::vector<Edit>> pending_;
  std::vector<pugi::xml_node> touchedText_, touchedRuns_;
};

}  // namespace

std::string escapeText(std::u32string_view text) { return escapeXml(toUtf8(text), false); }

void applyReplacements(const StoryText& text, const Wml& w, const std::vector<Replacement>& replacements,
                       Revision* revision) {
  Editor(text, w, revision).run(replacements);
}

}  // namespace vm::word::docx
