// The bare baseline: what any lossless docx editor must do at least for one replacement, and
// nothing else. It reads the file, opens the zip from memory (libzip), parses
// [Content_Types].xml, _rels/.rels and the main part found through them (pugixml, in place,
// the flags an editor that keeps entities and line ends as written needs), serialises the main
// part again, builds the new package in memory with every other entry copied as its compressed
// bytes, and writes it beside the target, flushed (fsync of the file and its folder) and
// renamed, as the engine does. No text is searched. Entries are inflated and deflated with the
// engine's codec (word/docx/deflate.h), so that the comparison weighs the engine's own work.
//
//   vm_bench_baseline --list FILES.txt --out DIR [--threads N]

#include <fcntl.h>
#include <zip.h>

#include <pugixml.hpp>
#include <stdexcept>

#include "measure.h"
#include "word/docx/deflate.h"

namespace {

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readEntry(zip_t* z, const std::string& name) {
  zip_stat_t st;
  if (zip_stat(z, name.c_str(), 0, &st) != 0) throw std::runtime_error("no entry " + name);
  bool deflated = st.comp_method == ZIP_CM_DEFLATE;
  zip_file_t* f = zip_fopen(z, name.c_str(), deflated ? ZIP_FL_COMPRESSED : 0);
  if (!f) throw std::runtime_error("cannot open " + name);
  std::string data(deflated ? st.comp_size : st.size, '\0');
  zip_int64_t got = data.empty() ? 0 : zip_fread(f, data.data(), data.size());
  zip_fclose(f);
  if (got != static_cast<zip_int64_t>(data.size())) throw std::runtime_error("short read " + name);
  if (!deflated) return data;
  std::string out;
  if (!vm::word::docx::inflateRaw(data, st.size, out) || vm::word::docx::crc32(out) != st.crc)
    throw std::runtime_error("damaged " + name);
  return out;
}

constexpr unsigned kParse = pugi::parse_default & ~pugi::parse_escapes & ~pugi::parse_eol;

struct Parsed {
  std::string buffer;
  pugi::xml_document doc;
  explicit Parsed(std::string bytes) : buffer(std::move(bytes)) {
    if (!doc.load_buffer_inplace(buffer.data(), buffer.size(), kParse | pugi::parse_ws_pcdata | pugi::parse_declaration))
      throw std::runtime_error("XML parse error");
  }
};

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void writeAtomically(const std::filesystem::path& target, const std::string& bytes) {
  std::filesystem::path tmp = target;
  tmp += ".vmtmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("open " + tmp.string());
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left) {
    ssize_t w = ::write(fd, p, left);
    if (w <= 0) { ::close(fd); throw std::runtime_error("write"); }
    p += w;
    left -= static_cast<std::size_t>(w);
  }
  if (::fsync(fd) != 0) { ::close(fd); throw std::runtime_error("fsync"); }
  ::close(fd);
  if (::rename(tmp.c_str(), target.c_str()) != 0) throw std::runtime_error("rename");
  int dfd = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) { ::fsync(dfd); ::close(dfd); }
}

int processOne(const std::filesystem::path& in, const std::filesystem::path& out) {
  std::string file = slurp(in);
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(file.data(), file.size(), 0, &err);
  if (!src) throw std::runtime_error("zip source");
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &err);
  if (!z) { zip_source_free(src); throw std::runtime_error("not a zip"); }

  Parsed types(readEntry(z, "[Content_Types].xml"));
  Parsed rels(readEntry(z, "_rels/.rels"));
  std::string main;
  for (auto r : rels.doc.document_element().children()) {
    std::string type = r.attribute("Type").value();
    if (type.size() > 15 && type.compare(type.size() - 15, 15, "/officeDocument") == 0) main = r.attribute("Target").value();
  }
  if (!main.empty() && main[0] == '/') main.erase(0, 1);
  if (main.empty()) { zip_discard(z); throw std::runtime_error("no main part"); }
  Parsed doc(readEntry(z, main));
  StringWriter w;
  doc.doc.save(w, "", pugi::format_raw | pugi::format_no_escapes | pugi::format_no_declaration, pugi::encoding_utf8);
  std::string xml = w.out;  // the prolog is written back verbatim by an editor; here the tree is enough
  zip_discard(z);

  // The new package: the original archive with the main part replaced; libzip copies the other
  // entries' compressed bytes.
  // libzip (1.7) may hand the source's original bytes over to the new archive and free them,
  // so the writable source gets a malloc'd copy it owns (as the engine does).
  zip_error_init(&err);
  void* copy = std::malloc(file.size());
  if (!copy) throw std::runtime_error("out of memory");
  std::memcpy(copy, file.data(), file.size());
  zip_source_t* buf = zip_source_buffer_create(copy, file.size(), 1, &err);
  if (!buf) { std::free(copy); throw std::runtime_error("zip source"); }
  zip_t* za = zip_open_from_source(buf, 0, &err);
  if (!za) { zip_source_free(buf); throw std::runtime_error("reopen"); }
  zip_source_keep(buf);
  zip_int64_t idx = zip_name_locate(za, main.c_str(), 0);
  vm::word::docx::Deflated entry = vm::word::docx::deflateEntry(xml);
  zip_source_t* s = vm::word::docx::deflatedSource(za, entry);
  if (idx < 0 || !s || zip_file_replace(za, static_cast<zip_uint64_t>(idx), s, 0) < 0) {
    if (s) zip_source_free(s);
    zip_discard(za);
    zip_source_free(buf);
    throw std::runtime_error("replace entry");
  }
  zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFAULT, 0);
  if (zip_close(za) < 0) { zip_discard(za); zip_source_free(buf); throw std::runtime_error("zip_close"); }
  std::string bytes;
  if (zip_source_open(buf) == 0) {
    zip_source_seek(buf, 0, SEEK_END);
    zip_int64_t size = zip_source_tell(buf);
    zip_source_seek(buf, 0, SEEK_SET);
    bytes.resize(static_cast<std::size_t>(size));
    zip_source_read(buf, bytes.data(), bytes.size());
    zip_source_close(buf);
  }
  zip_source_free(buf);
  writeAtomically(out, bytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  auto args = vm::bench::parseArgs(argc, argv, "baseline");
  return vm::bench::run(args, processOne);
}
