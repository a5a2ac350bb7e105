#include "word/docx/deflate.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <vector>
#include <new>

namespace vm::word::docx {

namespace {

// Changed parts are compressed by ISA-L's level 1: about as small as libdeflate's fastest level
// (a few per cent larger than zlib's default) at well over twice its speed, since compressing
// the main part was the largest single cost of a replace. libdeflate inflates, sums and stands
// in should ISA-L ever need more room than the bound.
constexpr int kLevel = 1;

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One of each per thread: documents on different threads share nothing.
libdeflate_compressor* compressor() {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> c(libdeflate_alloc_compressor(kLevel));
  if (!c) throw std::bad_alloc();
  return c.get();
}

libdeflate_decompressor* decompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
  if (!d) throw std::bad_alloc();
  return d.get();
}

struct SourceState {
  const Deflated* entry;
  zip_uint64_t pos = 0;
  zip_error_t error;
};

zip_int64_t readSource(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* s = static_cast<SourceState*>(userdata);
  const std::string& bytes = s->entry->compressed;
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      s->pos = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      zip_uint64_t n = std::min<zip_uint64_t>(len, bytes.size() - s->pos);
      std::memcpy(data, bytes.data() + s->pos, n);
      s->pos += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                  ZIP_STAT_ENCRYPTION_METHOD;
      st->size = s->entry->size;
      st->comp_size = bytes.size();
      st->comp_method = ZIP_CM_DEFLATE;  // tells libzip the bytes are compressed already
      st->encryption_method = ZIP_EM_NONE;
      st->crc = s->entry->crc;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&s->error);
      delete s;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

std::string deflateRaw(std::string_view data) {
  libdeflate_compressor* c = compressor();
  std::string out;
  out.resize(libdeflate_deflate_compress_bound(c, data.size()));
  if (data.size() <= 0xffffffffu) {
    thread_local std::vector<std::uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    isal_zstream s;
    isal_deflate_stateless_init(&s);
    s.level = 1;
    s.level_buf = levelBuffer.data();
    s.level_buf_size = static_cast<std::uint32_t>(levelBuffer.size());
    s.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<std::uint32_t>(data.size());
    s.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    s.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), 0xffffffffu));
    s.end_of_stream = 1;
    s.flush = NO_FLUSH;
    if (isal_deflate_stateless(&s) == COMP_OK) {
      out.resize(s.total_out);
      return out;
    }
  }
  std::size_t n = libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size());
  if (n == 0) throw std::bad_alloc();  // cannot happen with the bound's room
  out.resize(n);
  return out;
}

bool inflateRaw(std::string_view compressed, std::size_t size, std::string& out) {
  out.resize(size);
  std::size_t actual = 0;
  libdeflate_result r =
      libdeflate_deflate_decompress(decompressor(), compressed.data(), compressed.size(), out.data(), size, &actual);
  if (r != LIBDEFLATE_SUCCESS || actual != size) {
    out.clear();
    return false;
  }
  return true;
}

std::uint32_t crc32(std::string_view data) {
  return libdeflate_crc32(0, data.data(), data.size());
}

Deflated deflateEntry(std::string_view data) {
  Deflated d;
  d.compressed = deflateRaw(data);
  d.size = data.size();
  d.crc = crc32(data);
  return d;
}

zip_source_t* deflatedSource(zip_t* za, const Deflated& entry) {
  auto* state = new SourceState{&entry, 0, {}};
  zip_error_init(&state->error);
  zip_source_t* src = zip_source_function(za, readSource, state);
  if (!src) {
    zip_error_fini(&state->error);
    delete state;
  }
  return src;
}

}  // namespace vm::word::docx
