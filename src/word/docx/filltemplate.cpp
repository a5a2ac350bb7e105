#include "word/docx/filltemplate.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "word/docx/databinding.h"
#include "word/docx/deflate.h"
#include "word/docx/editor.h"
#include "word/docx/findpattern.h"
#include "word/docx/package.h"
#include "word/docx/revisions.h"
#include "word/docx/storytext.h"
#include "word/docx/unicase.h"
#include "word/docx/wml.h"
#include "word/error.h"
#include "word/safesave.h"
#include "word/wordcodes.h"

namespace vm::word::docx {

namespace {

// Placeholder characters: plane 15's private use area, which no find text here may hold.
constexpr char32_t kSlotBase = 0xF0000;
constexpr std::size_t kMaxSlots = 0xFFFFD - kSlotBase;

bool isSlot(char32_t c) { return c >= kSlotBase && c < kSlotBase + kMaxSlots; }

// One zip entry as the template holds it, compressed.
struct Entry {
  std::string name, data;
  std::uint16_t method = 0, flags = 0, time = 0, date = 0, madeBy = 20;
  std::uint32_t crc = 0, compressedSize = 0, size = 0, attributes = 0;
};

void put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// The template's entries in their order, with their compressed bytes; nullopt for what this
// writer does not copy (encryption, zip64 sizes).
std::optional<std::vector<Entry>> readEntries(const std::string& bytes) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
  zip_error_fini(&err);
  if (!src) return std::nullopt;
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, nullptr);
  if (!za) {
    zip_source_free(src);
    return std::nullopt;
  }
  std::vector<Entry> entries;
  bool ok = true;
  const zip_int64_t n = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < n && ok && n < 0xFFFF; ++i) {
    zip_stat_t st;
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
        !(st.valid & ZIP_STAT_COMP_SIZE) || !(st.valid & ZIP_STAT_CRC) || st.encryption_method != ZIP_EM_NONE ||
        st.size >= 0xFFFFFFFFu || st.comp_size >= 0xFFFFFFFFu) {
      ok = false;
      break;
    }
    Entry e;
    e.name = st.name;
    e.method = static_cast<std::uint16_t>(st.comp_method);
    e.crc = st.crc;
    e.size = static_cast<std::uint32_t>(st.size);
    e.compressedSize = static_cast<std::uint32_t>(st.comp_size);
    e.flags = std::any_of(e.name.begin(), e.name.end(), [](char c) { return c & 0x80; }) ? 0x0800 : 0;
    // libzip read the DOS time as local time: back the same way.
    std::tm tm{};
    const std::time_t t = st.valid & ZIP_STAT_MTIME ? st.mtime : 0;
    if (localtime_r(&t, &tm) && tm.tm_year >= 80) {
      e.time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
      e.date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    } else {
      e.time = 0;
      e.date = (1 << 5) | 1;
    }
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, static_cast<zip_uint64_t>(i), 0, &opsys, &attributes) == 0) {
      e.madeBy = static_cast<std::uint16_t>((opsys << 8) | 20);
      e.attributes = attributes;
    }
    e.data.resize(e.compressedSize);
    if (zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED)) {
      ok = zip_fread(f, e.data.data(), e.data.size()) == static_cast<zip_int64_t>(e.data.size());
      zip_fclose(f);
    } else {
      ok = e.data.empty();
    }
    entries.push_back(std::move(e));
  }
  zip_discard(za);  // frees the source too
  if (!ok || n >= 0xFFFF) return std::nullopt;
  return entries;
}

void appendEntry(std::string& out, std::string& directory, const Entry& e) {
  const auto offset = static_cast<std::uint32_t>(out.size());
  put32(out, 0x04034b50);
  put16(out, 20);
  put16(out, e.flags);
  put16(out, e.method);
  put16(out, e.time);
  put16(out, e.date);
  put32(out, e.crc);
  put32(out, e.compressedSize);
  put32(out, e.size);
  put16(out, static_cast<std::uint32_t>(e.name.size()));
  put16(out, 0);
  out += e.name;
  out += e.data;
  put32(directory, 0x02014b50);
  put16(directory, e.madeBy);
  put16(directory, 20);
  put16(directory, e.flags);
  put16(directory, e.method);
  put16(directory, e.time);
  put16(directory, e.date);
  put32(directory, e.crc);
  put32(directory, e.compressedSize);
  put32(directory, e.size);
  put16(directory, static_cast<std::uint32_t>(e.name.size()));
  put32(directory, 0);  // extra and comment lengths
  put32(directory, 0);  // disk, internal attributes
  put32(directory, e.attributes);
  put32(directory, offset);
  directory += e.name;
}

struct Slot {
  std::size_t rule;
  std::u32string found;
  CaseForm form;
};

// A slot as a later rule met it: the text on each side, up to the rule's length less one
// character (other slots in it stand for their values, none of which is empty).
struct Probe {
  std::size_t slot;
  std::u32string before, after;
};

struct Step {
  FindPattern pattern;
  std::size_t length;
  std::vector<Probe> probes;
};

// The main part with the rules applied once: fixed bytes around the slots. Rules whose
// replacement is empty for a copy are applied as they are (no slot), since an emptied text
// element goes and its neighbours' spaces may change how they are written.
struct Layout {
  std::vector<Slot> slots;
  std::vector<Step> steps;
  std::vector<std::string> chunks;  // in the part's order, a slot between chunks k and k+1
  std::vector<std::size_t> order;
};

// Applies the rules to the main part of package (a copy of the template's); rules in `empty`
// put nothing. Null when a match meets a slot or a bound control, or a slot does not come out
// once.
std::unique_ptr<Layout> layOut(Package& package, const std::vector<FillRule>& rules, std::uint64_t empty) {
  auto layout = std::make_unique<Layout>();
  XmlPart& part = package.xmlPart(package.mainPartName());
  const Wml w(part.root());
  const pugi::xml_node body = w.child(part.root(), Tag::Body);
  if (!body) return nullptr;
  for (std::size_t r = 0; r < rules.size(); ++r) {
    const bool none = r < 64 && (empty >> r & 1);
    FindPattern pattern(rules[r].find, {});
    const std::size_t length = pattern.fixedLength();
    const StoryText st = buildStoryText(body, w);
    Step step{pattern, length, {}};
    for (std::size_t i = 0; i < st.text.size(); ++i) {
      if (!isSlot(st.text[i])) continue;
      if (st.text[i] - kSlotBase >= layout->slots.size()) return nullptr;  // the template's own
      const std::size_t from = i >= length - 1 ? i - (length - 1) : 0;
      step.probes.push_back({st.text[i] - kSlotBase, st.text.substr(from, i - from), st.text.substr(i + 1, length - 1)});
    }
    const auto matches = pattern.findAll(st.text);
    BoundControls bound(w);
    std::vector<std::vector<Piece>> pieces;
    pieces.reserve(matches.size());
    std::vector<Replacement> reps;
    for (auto [b, e] : matches) {
      bound.addMatch(st, b, e, body);
      std::u32string_view found(st.text.data() + b, e - b);
      if (std::any_of(found.begin(), found.end(), isSlot) || layout->slots.size() >= kMaxSlots) return nullptr;
      if (none) {
        pieces.emplace_back();
        continue;
      }
      pieces.push_back({Piece{Piece::Text, std::u32string(1, kSlotBase + static_cast<char32_t>(layout->slots.size())), {}}});
      layout->slots.push_back({r, std::u32string(found), caseFormOf(found)});
    }
    if (!bound.empty()) return nullptr;
    for (std::size_t k = 0; k < matches.size(); ++k) reps.push_back({matches[k].first, matches[k].second, &pieces[k]});
    if (!reps.empty()) {
      applyReplacements(st, w, reps, nullptr);
      part.markDirty();
    }
    if (!step.probes.empty()) layout->steps.push_back(std::move(step));
  }
  if (!part.dirty()) return layout;  // nothing matched: the template as it is

  // The part's bytes cut at the slots, each of which must come out once.
  const std::string xml = part.serialize();
  std::vector<int> seen(layout->slots.size(), 0);
  std::size_t from = 0;
  for (std::size_t i = xml.find('\xF3'); i != std::string::npos; i = xml.find('\xF3', i + 1)) {
    std::size_t next = i;
    const char32_t c = decodeUtf8(xml, next);
    if (!isSlot(c)) continue;
    const std::size_t slot = c - kSlotBase;
    if (slot >= seen.size() || seen[slot]++) return nullptr;
    layout->chunks.push_back(xml.substr(from, i - from));
    layout->order.push_back(slot);
    from = next;
  }
  layout->chunks.push_back(xml.substr(from));
  if (std::count(seen.begin(), seen.end(), 1) != static_cast<std::ptrdiff_t>(seen.size())) return nullptr;
  return layout;
}

class Prepared final : public FilledTemplate {
 public:
  bool write(const std::vector<std::string>& values, const std::filesystem::path& target) override {
    const Layout* layout = fill(values);
    if (!layout) return false;
    zip_.clear();
    directory_.clear();
    if (layout->chunks.empty()) {
      zip_ = original_;  // nothing matched: the template as it is
    } else {
      part_.assign(layout->chunks[0]);
      for (std::size_t k = 0; k < layout->order.size(); ++k) {
        part_ += raw_[layout->order[k]];
        part_ += layout->chunks[k + 1];
      }
      Deflated d = deflateEntry(part_);
      Entry& main = entries_[main_];
      main.data = std::move(d.compressed);
      main.compressedSize = static_cast<std::uint32_t>(main.data.size());
      main.size = static_cast<std::uint32_t>(d.size);
      main.crc = d.crc;
      main.method = ZIP_CM_DEFLATE;
      for (const Entry& e : entries_) appendEntry(zip_, directory_, e);
      const auto at = static_cast<std::uint32_t>(zip_.size());
      zip_ += directory_;
      put32(zip_, 0x06054b50);
      put32(zip_, 0);
      put16(zip_, static_cast<std::uint32_t>(entries_.size()));
      put16(zip_, static_cast<std::uint32_t>(entries_.size()));
      put32(zip_, static_cast<std::uint32_t>(directory_.size()));
      put32(zip_, at);
      put16(zip_, 0);
    }
    writeFileAtomically(target, zip_, sync_);
    return true;
  }

  // The layout where the rules in `empty` put nothing, made on first use; null when that one
  // is beyond slots (or too many were made: each holds a copy of the part).
  const Layout* layout(std::uint64_t empty) {
    auto it = layouts_.find(empty);
    if (it != layouts_.end()) return it->second.get();
    if (layouts_.size() >= kMaxLayouts) return nullptr;
    std::unique_ptr<Layout> made;
    try {
      made = layOut(*package_->clone(), rules_, empty);
    } catch (const EngineError&) {
    }
    return layouts_.emplace(empty, std::move(made)).first->second.get();
  }

  std::vector<FillRule> rules_;
  std::unique_ptr<Package> package_;  // as read, parsed
  std::vector<Entry> entries_;
  std::size_t main_ = 0;
  std::string original_;
  bool sync_ = true;

 private:
  static constexpr std::size_t kMaxLayouts = 16;

  // Each slot's replacement for these values in the layout they need; null when the document
  // path could differ.
  const Layout* fill(const std::vector<std::string>& values) {
    std::vector<std::vector<Piece>> pieces(rules_.size());
    std::uint64_t empty = 0;
    for (std::size_t r = 0; r < rules_.size(); ++r) {
      try {
        pieces[r] = parseReplacement(filledReplacement(rules_[r], values));
      } catch (const EngineError&) {
        return nullptr;  // the document path reports it
      }
      if (pieces[r].empty() && r < 64) empty |= std::uint64_t{1} << r;
    }
    const Layout* layout = this->layout(empty);
    if (!layout) return nullptr;
    text_.assign(layout->slots.size(), {});
    raw_.assign(layout->slots.size(), {});
    for (std::size_t s = 0; s < layout->slots.size(); ++s) {
      const Slot& slot = layout->slots[s];
      std::vector<Piece> out = expandReplacement(pieces[slot.rule], slot.found, slot.form);
      if (out.size() != 1 || out[0].kind != Piece::Text) return nullptr;
      // A text element's xml:space follows the spaces at its ends and doubled ones: a value
      // that could change that takes the document path.
      const std::u32string& t = out[0].text;
      if (t.empty() || t.front() == U' ' || t.back() == U' ' || t.find(U"  ") != std::u32string::npos) return nullptr;
      raw_[s] = escapeText(t);
      text_[s] = std::move(out[0].text);
    }
    return runsIntoValue(*layout) ? nullptr : layout;
  }

  // Whether a rule would find text that overlaps a value put in by an earlier rule: then its
  // matches differ from those found in the template.
  bool runsIntoValue(const Layout& layout) {
    for (const Step& step : layout.steps) {
      const std::size_t reach = step.length - 1;
      for (const Probe& probe : step.probes) {
        const std::u32string& value = text_[probe.slot];
        std::u32string before;
        for (auto c = probe.before.rbegin(); c != probe.before.rend() && before.size() < reach; ++c)
          if (isSlot(*c)) before.append(text_[*c - kSlotBase].rbegin(), text_[*c - kSlotBase].rend());
          else before += *c;
        if (before.size() > reach) before.resize(reach);
        window_.assign(before.rbegin(), before.rend());
        const std::size_t left = window_.size();
        window_ += value;
        for (char32_t c : probe.after)
          if (isSlot(c)) window_ += text_[c - kSlotBase];
          else window_ += c;
        for (std::size_t s = 0; s < left + value.size(); ++s)
          if (s + step.length > left && step.pattern.matchesAt(window_, s)) return true;
      }
    }
    return false;
  }

  std::map<std::uint64_t, std::unique_ptr<Layout>> layouts_;
  std::vector<std::u32string> text_;
  std::vector<std::string> raw_;
  std::u32string window_;
  std::string part_, zip_, directory_;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether a part's bytes hold a character of the slots' plane (F3 B0..BF ..): then they could
// not be told from the slots.
bool holdsSlotBytes(std::string_view bytes) {
  for (std::size_t i = bytes.find('\xF3'); i != std::string_view::npos; i = bytes.find('\xF3', i + 1))
    if (i + 1 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) >= 0xB0) return true;
  return false;
}

}  // namespace

std::unique_ptr<FilledTemplate> prepareTemplate(const std::filesystem::path& path, const std::vector<FillRule>& rules,
                                                bool syncOnSave) try {
  auto t = std::make_unique<Prepared>();
  t->sync_ = syncOnSave;
  t->rules_ = rules;
  t->original_ = readFile(path);
  t->package_ = std::make_unique<Package>(path, syncOnSave);
  Package& package = *t->package_;
  if (tracksRevisions(package)) return nullptr;
  const std::string& mainName = package.mainPartName();
  if (holdsSlotBytes(package.readPart(mainName))) return nullptr;
  auto entries = readEntries(t->original_);
  if (!entries) return nullptr;
  t->entries_ = std::move(*entries);
  auto mainEntry = std::find_if(t->entries_.begin(), t->entries_.end(), [&](const Entry& e) { return e.name == mainName; });
  if (mainEntry == t->entries_.end() || mainEntry->crc != crc32(package.readPart(mainName))) return nullptr;
  t->main_ = static_cast<std::size_t>(mainEntry - t->entries_.begin());
  for (const FillRule& rule : rules) {
    if (rule.picture) return nullptr;
    for (const WordToken& token : readFindText(rule.find, {}))
      if (token.kind == WordToken::Char && (token.c < 0x20 || token.c >= kSlotBase)) return nullptr;
    for (const Piece& p : parseReplacement(filledReplacement(rule, {})))
      if (p.kind != Piece::Text && p.kind != Piece::Found) return nullptr;
    if (FindPattern(rule.find, {}).fixedLength() == 0) return nullptr;
  }
  if (!t->layout(0)) return nullptr;
  return t;
} catch (const EngineError&) {
  return nullptr;  // the document path meets it again and reports it
}

}  // namespace vm::word::docx
