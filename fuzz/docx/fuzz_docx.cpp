// libFuzzer target: arbitrary bytes as a .docx, opened, replaced, pictured, saved and closed.
//
// Each input is written to a temporary .docx (on tmpfs when there is one: the engine flushes
// every save), then: open; the main story's paragraphs, character count and a text range;
// replaceAll of a word, of a tab by a paragraph mark (joins and splits) and with ^& in the
// replacement; replaceWithPicture with a small valid PNG; save; close; and the saved file is
// opened again (the engine must read what it wrote). vm::word::EngineError is the expected
// failure; any other exception, a crash, a sanitizer report or a leak is a finding.
//
// A custom mutator keeps inputs that are zip packages structurally valid half of the time: it
// unzips, mutates one entry's bytes (mostly the main part) and zips again with stored entries;
// now and then it nests a paragraph or run of the main part deep (around the depth limit) or
// adds an entry that readers take for an existing one.
//
//   vm_fuzz_docx -dict=fuzz/docx/docx.dict CORPUS_DIR SEED_DIR   (see fuzz/docx/run.sh)

#include <stdlib.h>
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "word/document.h"
#include "word/error.h"

namespace fs = std::filesystem;

namespace {

// A 4 x 2 pixel RGB PNG.
const unsigned char kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xf0, 0xca, 0xea, 0x34, 0x00, 0x00, 0x00,
    0x1f, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x05, 0xc1, 0x01, 0x01, 0x00, 0x00, 0x08, 0x83, 0x30, 0x82, 0x19,
    0x8c, 0x60, 0x0f, 0x41, 0x2c, 0x37, 0xa0, 0x23, 0x69, 0x04, 0x76, 0xa6, 0xcd, 0x1e, 0x77, 0xa2, 0x0a, 0xf1,
    0xc1, 0xed, 0xed, 0xcb, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

struct Workspace {
  fs::path dir, doc, png;
  Workspace() {
    std::string base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    if (const char* t = getenv("VM_FUZZ_TMP")) base = t;
    std::string templ = base + "/vm-fuzz-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) abort();
    dir = buf.data();
    doc = dir / "input.docx";
    png = dir / "picture.png";
    std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(kPng), sizeof kPng);
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Workspace& workspace() {
  static Workspace w;
  return w;
}

void writeInput(const fs::path& p, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(p.c_str(), "wb");
  if (!f) abort();
  if (size && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  workspace();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Workspace& w = workspace();
  // Remove what the previous input left (a failed save must not, but be independent of it).
  std::error_code ec;
  for (auto& e : fs::directory_iterator(w.dir, ec))
    if (e.path() != w.png) fs::remove_all(e.path(), ec);
  writeInput(w.doc, data, size);

  bool saved = false;
  try {
    auto doc = vm::word::open(w.doc);
    auto& main = doc->mainStory();
    auto paras = main.paragraphs();
    std::int64_t chars = main.characterCount();
    if (chars > 0) (void)main.text(0, std::min<std::int64_t>(chars, 40));
    if (!paras.empty()) (void)main.text(paras.back().start, paras.back().end);
    main.replaceAll("the", "\xCE\x98\xCE\x95 ^& ^l");  // ΘΕ, the found text, a line break
    main.replaceAll("^t", "^p");                        // splits paragraphs
    main.replaceAll("a^pb", "^&^&");                    // a match that joins paragraphs
    main.replaceWithPicture("e", w.png);
    (void)main.characterCount();
    doc->save();
    saved = true;
    doc->close();
  } catch (const vm::word::EngineError& e) {
    if (e.userMessage().empty()) {
      std::fprintf(stderr, "EngineError without a user message: %s\n", e.what());
      abort();
    }
  }
  if (saved) {
    // The engine must open what it saved.
    try {
      auto again = vm::word::open(w.doc);
      (void)again->mainStory().paragraphs();
      again->close();
    } catch (const vm::word::EngineError& e) {
      std::fprintf(stderr, "the engine cannot open its own output: %s\n", e.what());
      abort();
    }
  }
  return 0;
}

// --- structure-aware mutation -----------------------------------------------------------------

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

struct Entry {
  std::string name, data;
};

bool unzipAll(const uint8_t* data, size_t size, std::vector<Entry>& out) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(data, size, 0, &err);
  if (!src) return false;
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &err);
  if (!z) {
    zip_source_free(src);
    return false;
  }
  zip_int64_t n = zip_get_num_entries(z, 0);
  bool ok = n > 0 && n < 200;
  for (zip_int64_t i = 0; ok && i < n; ++i) {
    zip_stat_t st;
    if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0 || st.size > (1u << 22)) {
      ok = false;
      break;
    }
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    if (!f) {
      ok = false;
      break;
    }
    Entry e;
    e.name = st.name;
    e.data.resize(st.size);
    zip_int64_t got = st.size ? zip_fread(f, e.data.data(), st.size) : 0;
    zip_fclose(f);
    if (got != static_cast<zip_int64_t>(st.size)) ok = false;
    out.push_back(std::move(e));
  }
  zip_discard(z);
  return ok;
}

std::string zipStored(const std::vector<Entry>& entries) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* buf = zip_source_buffer_create(nullptr, 0, 0, &err);
  if (!buf) return {};
  zip_source_keep(buf);
  zip_t* za = zip_open_from_source(buf, ZIP_TRUNCATE, &err);
  if (!za) {
    zip_source_free(buf);
    return {};
  }
  for (auto& e : entries) {
    zip_source_t* s = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
    zip_int64_t idx = s ? zip_file_add(za, e.name.c_str(), s, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
    if (idx < 0) {
      if (s) zip_source_free(s);
      continue;
    }
    zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_STORE, 0);
  }
  std::string out;
  if (zip_close(za) < 0) {
    zip_discard(za);
  } else if (zip_source_open(buf) == 0) {
    zip_source_seek(buf, 0, SEEK_END);
    zip_int64_t n = zip_source_tell(buf);
    zip_source_seek(buf, 0, SEEK_SET);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) zip_source_read(buf, out.data(), out.size());
    zip_source_close(buf);
  }
  zip_source_free(buf);
  return out;
}

// Wraps one paragraph (or one run) of the main part in the same element nested up to 1,500
// deep: the walks over a story and the depth limit (1,000) are tried on both sides.
bool nest(std::string& xml, std::minstd_rand& rng) {
  struct Wrapper {
    const char *open, *close;
    bool block;
  };
  static const Wrapper kWrappers[] = {
      {"<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>", true},
      {"<w:customXml w:element=\"x\">", "</w:customXml>", true},
      {"<w:tbl><w:tr><w:tc>", "<w:p/></w:tc></w:tr></w:tbl>", true},
      {"<w:sdt><w:sdtPr><w:dataBinding w:xpath=\"/a[1]\" w:storeItemID=\"{1}\"/></w:sdtPr><w:sdtContent>",
       "</w:sdtContent></w:sdt>", false},
      {"<w:hyperlink w:anchor=\"a\">", "</w:hyperlink>", false},
      {"<w:smartTag w:element=\"x\">", "</w:smartTag>", false},
      {"<w:ins w:id=\"9\" w:author=\"a\">", "</w:ins>", false},
      {"<w:fldSimple w:instr=\"X\">", "</w:fldSimple>", false},
      {"<mc:AlternateContent><mc:Choice Requires=\"w14\">", "</mc:Choice></mc:AlternateContent>", false},
  };
  const Wrapper& w = kWrappers[rng() % (sizeof kWrappers / sizeof kWrappers[0])];
  const char* openTag = w.block ? "<w:p" : "<w:r";
  const char* closeTag = w.block ? "</w:p>" : "</w:r>";
  std::vector<size_t> starts;
  for (size_t at = xml.find(openTag); at != std::string::npos; at = xml.find(openTag, at + 1))
    if (at + 4 < xml.size() && (xml[at + 4] == '>' || xml[at + 4] == ' ')) starts.push_back(at);
  if (starts.empty()) return false;
  size_t from = starts[rng() % starts.size()];
  size_t to = xml.find(closeTag, from);
  if (to == std::string::npos) return false;
  to += std::strlen(closeTag);
  static const size_t kDepths[] = {2, 50, 400, 999, 1000, 1500};
  size_t depth = kDepths[rng() % (sizeof kDepths / sizeof kDepths[0])];
  std::string opens, closes;
  for (size_t i = 0; i < depth; ++i) {
    opens += w.open;
    closes += w.close;
  }
  xml.insert(to, closes);
  xml.insert(from, opens);
  return true;
}

// Entry names a reader takes for another entry's: the same name, its case changed, backslashes,
// a leading slash. zipStored cannot write two entries of one name, so the duplicate is added
// under a placeholder of the same length and renamed in the archive's bytes.
std::string duplicateEntry(std::vector<Entry>& entries, std::minstd_rand& rng) {
  const Entry& original = entries[rng() % entries.size()];
  std::string name = original.name;
  switch (rng() % 4) {
    case 0: break;
    case 1:
      for (char& c : name) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
      break;
    case 2:
      for (char& c : name) c = c == '/' ? '\\' : c;
      break;
    default: name = "/" + name; break;
  }
  std::string placeholder(name.size(), 'Q');
  entries.push_back({placeholder, rng() % 2 ? original.data : std::string("<x/>")});
  std::string out = zipStored(entries);
  for (size_t at; (at = out.find(placeholder)) != std::string::npos;) out.replace(at, name.size(), name);
  return out;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  std::minstd_rand rng(seed);
  std::vector<Entry> entries;
  if (rng() % 2 == 0 || !unzipAll(data, size, entries)) return LLVMFuzzerMutate(data, size, maxSize);
  // Now and then a change of structure: deep nesting in the main part, or a duplicate entry.
  if (unsigned what = rng() % 8; what < 2) {
    std::string out;
    if (what == 0) {
      for (auto& e : entries)
        if (e.name.find("document") != std::string::npos && e.name.find(".rels") == std::string::npos &&
            nest(e.data, rng))
          out = zipStored(entries);
    } else {
      out = duplicateEntry(entries, rng);
    }
    if (!out.empty() && out.size() <= maxSize) {
      std::memcpy(data, out.data(), out.size());
      return out.size();
    }
    return LLVMFuzzerMutate(data, size, maxSize);
  }
  // Mostly the main part (the entry named *document*.xml), else any entry.
  size_t pick = rng() % entries.size();
  if (rng() % 4 != 0)
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].name.find("document") != std::string::npos && entries[i].name.find(".rels") == std::string::npos)
        pick = i;
  std::string& part = entries[pick].data;
  const size_t room = part.size() + 256 + part.size() / 8;
  std::string buf(part);
  buf.resize(room);
  size_t n = LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(buf.data()), part.size(), room);
  buf.resize(n);
  part.swap(buf);
  std::string out = zipStored(entries);
  if (out.empty() || out.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}
