#pragma once
// Helpers of the corpus round trips: the manifest of ../shared/corpus, zip entries with their
// raw (compressed) bytes, the main part of a package, and picking words from a document's text.

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "support/tempdir.h"
#include "support/testimages.h"
#include "word/document.h"

namespace vm::corpus {

namespace fs = std::filesystem;
using vm::test::readFile;

inline std::string lowerAscii(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

struct CorpusDoc {
  std::string relPath;  // relative to the corpus folder
  std::string flags;    // "-" when the document is sound
  std::uint64_t bytes = 0;
  bool flagged() const { return flags != "-" && !flags.empty(); }
  fs::path path() const { return fs::path(VM_CORPUS_DIR) / relPath; }
  std::string extension() const { return lowerAscii(fs::path(relPath).extension().string()); }
};

// gtest prints a parameter by its corpus path.
inline void PrintTo(const CorpusDoc& d, std::ostream* os) { *os << d.relPath; }

// Every .docx/.docm/.dotx row of MANIFEST.tsv, in manifest order.
inline std::vector<CorpusDoc> manifestPackages() {
  std::vector<CorpusDoc> out;
  std::ifstream in(fs::path(VM_CORPUS_DIR) / "MANIFEST.tsv");
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (header) { header = false; continue; }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cols;
    std::stringstream ss(line);
    std::string col;
    while (std::getline(ss, col, '\t')) cols.push_back(col);
    if (cols.size() < 8) continue;
    CorpusDoc d{cols[0], cols[7], std::stoull(cols[4])};
    if (d.extension() == ".docx" || d.extension() == ".docm" || d.extension() == ".dotx") out.push_back(d);
  }
  return out;
}

inline std::vector<CorpusDoc> packages(bool flagged) {
  std::vector<CorpusDoc> out;
  for (auto& d : manifestPackages())
    if (d.flagged() == flagged) out.push_back(d);
  return out;
}

// A copy of the document to work on: dir/STEM.EXT, the owner's to read and write.
inline fs::path copyIn(const CorpusDoc& d, const vm::test::TempDir& dir, const std::string& stem = "in") {
  fs::path target = dir.file(stem + d.extension());
  fs::copy_file(d.path(), target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  return target;
}

// A gtest-friendly unique name: the file name's letters and digits, prefixed by the index.
inline std::string testName(std::size_t index, const CorpusDoc& d) {
  std::string stem = fs::path(d.relPath).filename().string();
  std::string name = "d" + std::to_string(index) + "_";
  for (unsigned char c : stem) name += std::isalnum(c) ? static_cast<char>(c) : '_';
  if (name.size() > 60) name.resize(60);
  return name;
}

// --- zip entries ----------------------------------------------------------------------------

struct ZipEntry {
  std::string name;
  std::string data;  // uncompressed
  std::string raw;   // as stored in the archive (compressed bytes)
  int method = 0;
  std::uint32_t crc = 0;
};

inline std::vector<ZipEntry> readZip(const fs::path& package) {
  int code = 0;
  zip_t* z = zip_open(package.c_str(), ZIP_RDONLY, &code);
  if (!z) throw std::runtime_error("zip_open failed (" + std::to_string(code) + "): " + package.string());
  std::unique_ptr<zip_t, void (*)(zip_t*)> guard(z, [](zip_t* p) { zip_discard(p); });
  std::vector<ZipEntry> out;
  zip_int64_t n = zip_get_num_entries(z, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0)
      throw std::runtime_error("zip_stat_index failed in " + package.string());
    ZipEntry e;
    e.name = st.name;
    e.method = st.comp_method;
    e.crc = st.crc;
    for (int pass = 0; pass < 2; ++pass) {
      zip_flags_t fl = pass == 0 ? 0 : ZIP_FL_COMPRESSED;
      std::string& dst = pass == 0 ? e.data : e.raw;
      zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), fl);
      if (!f) throw std::runtime_error("cannot open entry " + e.name + " of " + package.string());
      dst.resize(pass == 0 ? st.size : st.comp_size);
      zip_int64_t got = dst.empty() ? 0 : zip_fread(f, dst.data(), dst.size());
      zip_fclose(f);
      if (got < 0 || static_cast<std::uint64_t>(got) != dst.size())
        throw std::runtime_error("short read of " + e.name + " in " + package.string());
    }
    out.push_back(std::move(e));
  }
  return out;
}

inline const ZipEntry* findEntry(const std::vector<ZipEntry>& es, const std::string& name) {
  for (auto& e : es)
    if (e.name == name) return &e;
  return nullptr;
}

// The main part through the package relationships (transitional or strict), without a leading /.
inline std::string mainPartName(const std::vector<ZipEntry>& es) {
  const ZipEntry* rels = findEntry(es, "_rels/.rels");
  if (!rels) return {};
  pugi::xml_document doc;
  if (!doc.load_buffer(rels->data.data(), rels->data.size())) return {};
  for (auto rel : doc.document_element().children()) {
    std::string type = rel.attribute("Type").value();
    const std::string suffix = "/officeDocument";
    if (type.size() >= suffix.size() && type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0) {
      std::string target = rel.attribute("Target").value();
      if (!target.empty() && target[0] == '/') target.erase(0, 1);
      return target;
    }
  }
  return {};
}

inline std::string relsNameOf(const std::string& part) {
  auto slash = part.rfind('/');
  std::string dir = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
  return dir + "_rels/" + file + ".rels";
}

// --- text -----------------------------------------------------------------------------------

inline std::vector<char32_t> decodeUtf8(const std::string& s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
    for (int k = 1; k < len && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
    out.push_back(cp);
    i += len;
  }
  return out;
}

inline std::int64_t utf16Length(const std::string& s) {
  std::int64_t n = 0;
  for (char32_t c : decodeUtf8(s)) n += c >= 0x10000 ? 2 : 1;
  return n;
}

inline bool hasChinese(const std::string& s) {
  for (char32_t c : decodeUtf8(s))
    if (c >= 0x4E00 && c <= 0x9FFF) return true;
  return false;
}

inline std::size_t countOccurrencesCaseless(const std::string& hay, const std::string& needle) {
  std::string h = lowerAscii(hay), n = lowerAscii(needle);
  std::size_t count = 0;
  for (auto pos = h.find(n); pos != std::string::npos; pos = h.find(n, pos + n.size())) ++count;
  return count;
}

// The replacement text of the round trips: letters the picked words never contain, so that a
// replacement can neither create nor hide a match.
inline const std::string& replacementText() {
  static const std::string r = "qzxjv";
  return r;
}

// Picks a word of the main text to replace: the most frequent ASCII word of 4+ letters that has
// none of the replacement's letters (ties: first seen), else the most frequent pair of Han
// characters. Words in `avoid` (and words containing one of them or contained in one) are skipped.
inline std::string pickWord(const std::vector<vm::word::Paragraph>& paragraphs,
                            const std::vector<std::string>& avoid = {}) {
  auto clashes = [&](const std::string& w) {
    std::string lw = lowerAscii(w);
    for (auto& a : avoid) {
      std::string la = lowerAscii(a);
      if (lw.find(la) != std::string::npos || la.find(lw) != std::string::npos) return true;
    }
    return false;
  };
  std::map<std::string, std::pair<int, int>> latin;  // word -> (count, -first)
  std::map<std::u32string, std::pair<int, int>> han;
  int order = 0;
  for (auto& p : paragraphs) {
    auto cps = decodeUtf8(p.text);
    std::string word;
    auto flush = [&] {
      if (word.size() >= 4 && word.size() <= 20 && word.find_first_of("qzxjvQZXJV") == std::string::npos &&
          !clashes(word)) {
        auto& slot = latin[word];
        if (slot.first == 0) slot.second = -(order++);
        ++slot.first;
      }
      word.clear();
    };
    for (std::size_t i = 0; i < cps.size(); ++i) {
      char32_t c = cps[i];
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        word += static_cast<char>(c);
      } else {
        flush();
      }
      auto isHan = [](char32_t x) { return x >= 0x4E00 && x <= 0x9FFF; };
      if (i + 1 < cps.size() && isHan(c) && isHan(cps[i + 1])) {
        auto& slot = han[std::u32string{c, cps[i + 1]}];
        if (slot.first == 0) slot.second = -(order++);
        ++slot.first;
      }
    }
    flush();
  }
  std::string best;
  std::pair<int, int> bestKey{0, 0};
  for (auto& [w, key] : latin)
    if (key > bestKey) { bestKey = key; best = w; }
  if (!best.empty()) return best;
  std::u32string bestHan;
  for (auto& [w, key] : han) {
    if (key > bestKey) {
      std::string utf8;
      for (char32_t c : w) {
        utf8 += static_cast<char>(0xE0 | (c >> 12));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        utf8 += static_cast<char>(0x80 | (c & 0x3f));
      }
      if (clashes(utf8)) continue;
      bestKey = key;
      best = utf8;
    }
  }
  return best;
}

}  // namespace vm::corpus
