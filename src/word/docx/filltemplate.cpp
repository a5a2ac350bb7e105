#include "word/docx/filltemplate.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
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

// A rule as it met the story: the text it searched (with the slots of the rules before it).
struct Step {
  FindPattern pattern;
  std::size_t length;
  std::u32string text;
  std::vector<std::pair<std::size_t, std::size_t>> slots;  // position in text, slot
};

class Prepared final : public FilledTemplate {
 public:
  bool write(const std::vector<std::string>& values, const std::filesystem::path& target) override {
    if (!fill(values)) return false;
    zip_.clear();
    directory_.clear();
    if (chunks_.empty()) {
      zip_ = original_;  // no rule matched: the template as it is
    } else {
      part_.assign(chunks_[0]);
      for (std::size_t k = 0; k < order_.size(); ++k) {
        part_ += raw_[order_[k]];
        part_ += chunks_[k + 1];
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

  std::vector<FillRule> rules_;
  std::vector<Slot> slots_;
  std::vector<Step> steps_;
  std::vector<std::string> chunks_;  // the main part around the slots, in its order
  std::vector<std::size_t> order_;   // the slot between chunks k and k+1
  std::vector<Entry> entries_;
  std::size_t main_ = 0;
  std::string original_;
  bool sync_ = true;

 private:
  // Each slot's replacement for these values; false when the document path could differ.
  bool fill(const std::vector<std::string>& values) {
    text_.assign(slots_.size(), {});
    raw_.assign(slots_.size(), {});
    std::vector<std::optional<std::vector<Piece>>> pieces(rules_.size());
    for (std::size_t s = 0; s < slots_.size(); ++s) {
      const Slot& slot = slots_[s];
      auto& parsed = pieces[slot.rule];
      try {
        if (!parsed) parsed = parseReplacement(filledReplacement(rules_[slot.rule], values));
      } catch (const EngineError&) {
        return false;  // the document path reports it
      }
      std::vector<Piece> out = expandReplacement(*parsed, slot.found, slot.form);
      if (out.size() != 1 || out[0].kind != Piece::Text) return false;
      // A text element's xml:space follows its spaces at its ends and doubled ones, and an
      // emptied one goes: a value that could change either takes the document path.
      const std::u32string& t = out[0].text;
      if (t.front() == U' ' || t.back() == U' ' || t.find(U"  ") != std::u32string::npos) return false;
      raw_[s] = escapeText(t);
      text_[s] = std::move(out[0].text);
    }
    return !runsIntoValue();
  }

  // Whether a rule would find text that overlaps a value put in by an earlier rule: then its
  // matches differ from those found in the template.
  bool runsIntoValue() {
    for (const Step& step : steps_) {
      const std::size_t reach = step.length - 1;
      for (auto [at, slot] : step.slots) {
        const std::u32string& value = text_[slot];
        std::u32string before;
        for (std::size_t k = at; k > 0 && before.size() < reach;) {
          const char32_t c = step.text[--k];
          if (isSlot(c)) before.append(text_[c - kSlotBase].rbegin(), text_[c - kSlotBase].rend());
          else before += c;
        }
        if (before.size() > reach) before.resize(reach);
        window_.assign(before.rbegin(), before.rend());
        const std::size_t left = window_.size();
        window_ += value;
        std::size_t after = 0;
        for (std::size_t k = at + 1; k < step.text.size() && after < reach; ++k) {
          const char32_t c = step.text[k];
          if (isSlot(c)) {
            window_ += text_[c - kSlotBase];
            after += text_[c - kSlotBase].size();
          } else {
            window_ += c;
            ++after;
          }
        }
        for (std::size_t s = 0; s < left + value.size(); ++s)
          if (s + step.length > left && step.pattern.matchesAt(window_, s)) return true;
      }
    }
    return false;
  }

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
  Package package(path, syncOnSave);
  if (tracksRevisions(package)) return nullptr;
  const std::string& mainName = package.mainPartName();
  if (holdsSlotBytes(package.readPart(mainName))) return nullptr;
  auto entries = readEntries(t->original_);
  if (!entries) return nullptr;
  t->entries_ = std::move(*entries);
  auto mainEntry = std::find_if(t->entries_.begin(), t->entries_.end(), [&](const Entry& e) { return e.name == mainName; });
  if (mainEntry == t->entries_.end() || mainEntry->crc != crc32(package.readPart(mainName))) return nullptr;
  t->main_ = static_cast<std::size_t>(mainEntry - t->entries_.begin());

  XmlPart& part = package.xmlPart(mainName);
  const Wml w(part.root());
  const pugi::xml_node body = w.child(part.root(), Tag::Body);
  if (!body) return nullptr;
  for (std::size_t r = 0; r < rules.size(); ++r) {
    const FillRule& rule = rules[r];
    if (rule.picture) return nullptr;
    for (const WordToken& token : readFindText(rule.find, {}))
      if (token.kind == WordToken::Char && (token.c < 0x20 || token.c >= kSlotBase)) return nullptr;
    for (const Piece& p : parseReplacement(filledReplacement(rule, {})))
      if (p.kind != Piece::Text && p.kind != Piece::Found) return nullptr;
    FindPattern pattern(rule.find, {});
    const std::size_t length = pattern.fixedLength();
    if (length == 0) return nullptr;

    const StoryText st = buildStoryText(body, w);
    Step step{pattern, length, st.text, {}};
    for (std::size_t i = 0; i < st.text.size(); ++i)
      if (isSlot(st.text[i])) {
        if (st.text[i] - kSlotBase >= t->slots_.size()) return nullptr;  // the template's own
        step.slots.emplace_back(i, st.text[i] - kSlotBase);
      }
    const auto matches = pattern.findAll(st.text);
    BoundControls bound(w);
    std::vector<std::vector<Piece>> pieces;
    pieces.reserve(matches.size());
    std::vector<Replacement> reps;
    for (auto [b, e] : matches) {
      bound.addMatch(st, b, e, body);
      std::u32string_view found(st.text.data() + b, e - b);
      if (std::any_of(found.begin(), found.end(), isSlot) || t->slots_.size() >= kMaxSlots) return nullptr;
      pieces.push_back({Piece{Piece::Text, std::u32string(1, kSlotBase + static_cast<char32_t>(t->slots_.size())), {}}});
      t->slots_.push_back({r, std::u32string(found), caseFormOf(found)});
    }
    if (!bound.empty()) return nullptr;
    for (std::size_t k = 0; k < matches.size(); ++k) reps.push_back({matches[k].first, matches[k].second, &pieces[k]});
    if (!reps.empty()) {
      applyReplacements(st, w, reps, nullptr);
      part.markDirty();
    }
    if (!step.slots.empty()) t->steps_.push_back(std::move(step));
  }
  if (t->slots_.empty()) return t;

  // The part's bytes cut at the slots, each of which must come out once.
  const std::string xml = part.serialize();
  std::vector<int> seen(t->slots_.size(), 0);
  std::size_t from = 0;
  for (std::size_t i = xml.find('\xF3'); i != std::string::npos; i = xml.find('\xF3', i + 1)) {
    std::size_t next = i;
    const char32_t c = decodeUtf8(xml, next);
    if (!isSlot(c)) continue;
    const std::size_t slot = c - kSlotBase;
    if (slot >= seen.size() || seen[slot]++) return nullptr;
    t->chunks_.push_back(xml.substr(from, i - from));
    t->order_.push_back(slot);
    from = next;
  }
  t->chunks_.push_back(xml.substr(from));
  if (std::count(seen.begin(), seen.end(), 1) != static_cast<std::ptrdiff_t>(seen.size())) return nullptr;
  return t;
} catch (const EngineError&) {
  return nullptr;  // the document path meets it again and reports it
}

}  // namespace vm::word::docx
