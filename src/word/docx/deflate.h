#pragma once
// Whole-buffer deflate (ISA-L), inflate and CRC-32 (libdeflate) for package entries, and a libzip source
// that hands an entry over already compressed, so that libzip copies it as it is.
//
// A part is held whole in memory anyway, so the whole-buffer codec costs nothing in memory and
// is several times faster than zlib's streaming one, which was most of a replace's work.

#include <zip.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vm::word::docx {

// Raw deflate (no zlib header), as a zip entry holds it.
std::string deflateRaw(std::string_view data);

// Inflates a raw deflate stream that must give exactly `size` bytes. False when the stream is
// damaged or its length differs.
bool inflateRaw(std::string_view compressed, std::size_t size, std::string& out);

std::uint32_t crc32(std::string_view data);

// An entry that is compressed already. Its bytes must stay alive until zip_close has read them.
struct Deflated {
  std::string compressed;
  std::uint64_t size = 0;  // uncompressed
  std::uint32_t crc = 0;
};
Deflated deflateEntry(std::string_view data);

// A libzip source that reads as a deflated entry with known sizes and CRC: zip_close writes it
// without decompressing or recompressing. Null on failure (libzip's error is set on za).
zip_source_t* deflatedSource(zip_t* za, const Deflated& entry);

}  // namespace vm::word::docx
