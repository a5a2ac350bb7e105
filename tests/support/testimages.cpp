#include "support/testimages.h"
#include "support/bytes.h"

#include <cmath>

namespace vm::test {

namespace {

void be32(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v >> 24);
  s += static_cast<char>(v >> 16);
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v);
}

std::uint32_t crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void chunk(std::string& out, const char* type, const std::string& data) {
  be32(out, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  be32(out, crc32(body));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlibStored(const std::string& raw) {
  std::string out = "\x78\x01";
  std::size_t pos = 0;
  do {
    std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    le16(out, static_cast<std::uint32_t>(n));
    le16(out, static_cast<std::uint32_t>(~n & 0xFFFF));
    out.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  be32(out, (b << 16) | a);
  return out;
}

}  // namespace

std::string png(std::uint32_t width, std::uint32_t height, double dpi) {
  std::string out = "\x89PNG\r\n\x1A\n";
  std::string ihdr;
  be32(ihdr, width);
  be32(ihdr, height);
  ihdr += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, no interlace
  chunk(out, "IHDR", ihdr);
  if (dpi > 0) {
    std::string phys;
    auto ppm = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
    be32(phys, ppm);
    be32(phys, ppm);
    phys += '\x01';
    chunk(out, "pHYs", phys);
  }
  std::string raw;
  for (std::uint32_t y = 0; y < height; ++y) raw += '\0' + std::string(width, '\x80');
  chunk(out, "IDAT", zlibStored(raw));
  chunk(out, "IEND", "");
  return out;
}

std::string jpeg(std::uint16_t width, std::uint16_t height, std::uint16_t dpi) {
  std::string out = "\xFF\xD8";
  // APP0 JFIF
  out += "\xFF\xE0";
  be16(out, 16);
  out += std::string("JFIF\0\x01\x01", 7);
  out += static_cast<char>(dpi ? 1 : 0);
  be16(out, dpi ? dpi : 1);
  be16(out, dpi ? dpi : 1);
  out += std::string("\0\0", 2);
  // DQT: table 0, all ones
  out += "\xFF\xDB";
  be16(out, 67);
  out += '\0';
  out += std::string(64, '\x01');
  // SOF0: 8-bit, one grey component
  out += "\xFF\xC0";
  be16(out, 11);
  out += '\x08';
  be16(out, height);
  be16(out, width);
  out += std::string("\x01\x01\x11\x00", 4);
  // DHT: DC table 0 and AC table 0, each with one code of length 1 (DC category 0, AC end of block)
  out += "\xFF\xC4";
  be16(out, 2 + 2 * (1 + 16 + 1));
  for (char cls : {'\x00', '\x10'}) {
    out += cls;
    out += '\x01';
    out += std::string(15, '\0');
    out += '\0';  // the symbol: DC category 0 / AC 0x00 (EOB)
  }
  // SOS
  out += "\xFF\xDA";
  be16(out, 8);
  out += std::string("\x01\x01\x00\x00\x3F\x00", 6);
  // Every 8x8 block: DC difference 0 ("0"), end of block ("0"): two zero bits per block.
  std::size_t blocks = static_cast<std::size_t>((width + 7) / 8) * ((height + 7) / 8);
  std::size_t bits = 2 * blocks;
  std::string data(bits / 8, '\0');
  if (bits % 8) data += static_cast<char>((1u << (8 - bits % 8)) - 1);  // padded with ones
  out += data;
  out += "\xFF\xD9";
  return out;
}

std::string gif(std::uint16_t width, std::uint16_t height) {
  std::string out = "GIF89a";
  le16(out, width);
  le16(out, height);
  out += std::string("\x80\x00\x00", 3);                 // global colour table of 2 entries
  out += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
  out += '\x2C';                                          // one 1x1 frame at the origin
  le16(out, 0);
  le16(out, 0);
  le16(out, 1);
  le16(out, 1);
  out += '\0';
  out += std::string("\x02\x02\x44\x01\x00", 5);          // LZW: clear, 0, end
  out += '\x3B';
  return out;
}

std::string bmp(std::uint32_t width, std::uint32_t height, double dpi) {
  std::uint32_t row = (width * 3 + 3) & ~3u;
  std::uint32_t dataSize = row * height;
  std::string out = "BM";
  le32(out, 54 + dataSize);
  le32(out, 0);
  le32(out, 54);
  le32(out, 40);
  le32(out, width);
  le32(out, height);
  le16(out, 1);
  le16(out, 24);
  le32(out, 0);
  le32(out, dataSize);
  auto ppm = dpi > 0 ? static_cast<std::uint32_t>(std::lround(dpi / 0.0254)) : 0u;
  le32(out, ppm);
  le32(out, ppm);
  le32(out, 0);
  le32(out, 0);
  out += std::string(dataSize, '\x80');
  return out;
}

}  // namespace vm::test
