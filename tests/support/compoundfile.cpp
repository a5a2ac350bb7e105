#include "support/compoundfile.h"
#include "support/bytes.h"

#include <cstdint>

namespace vm::test {

namespace {


constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD;

std::string dirEntry(const std::string& name, std::uint8_t type, std::uint32_t child, std::uint32_t right,
                     std::uint32_t start, std::uint32_t size) {
  std::string e;
  std::string wide;
  for (char c : name) {
    wide += c;
    wide += '\0';
  }
  wide += std::string(2, '\0');
  e += wide;
  e += std::string(64 - wide.size(), '\0');
  le16(e, static_cast<std::uint32_t>(wide.size()));
  e += static_cast<char>(type);
  e += '\x01';  // black
  le32(e, kFree);   // left sibling
  le32(e, right);   // right sibling
  le32(e, child);   // child
  e += std::string(16 + 4 + 16, '\0');  // clsid, state bits, times
  le32(e, start);
  le32(e, size);
  le32(e, 0);
  return e;
}

}  // namespace

std::string compoundFile(const std::vector<std::pair<std::string, std::string>>& input) {
  constexpr std::uint32_t sector = 512;
  std::vector<std::string> data;
  for (const auto& [name, bytes] : input) {
    std::string d = bytes;
    if (d.size() < 4096) d.resize(4096, '\0');
    d.resize((d.size() + sector - 1) / sector * sector, '\0');
    data.push_back(d);
  }
  // Sector 0: FAT; sector 1: directory; then the streams.
  std::vector<std::uint32_t> fat = {kFatSect, kEnd};
  std::vector<std::uint32_t> starts;
  for (const auto& d : data) {
    std::uint32_t n = static_cast<std::uint32_t>(d.size() / sector);
    starts.push_back(static_cast<std::uint32_t>(fat.size()));
    for (std::uint32_t k = 0; k < n; ++k)
      fat.push_back(k + 1 < n ? static_cast<std::uint32_t>(fat.size()) + 1 : kEnd);
  }
  fat.resize(sector / 4, kFree);

  std::string out = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
  out += std::string(16, '\0');  // clsid
  le16(out, 0x3E);               // minor version
  le16(out, 3);                  // major version 3: 512-byte sectors
  le16(out, 0xFFFE);             // little endian
  le16(out, 9);                  // sector shift
  le16(out, 6);                  // mini sector shift
  out += std::string(6, '\0');
  le32(out, 0);                  // directory sectors (v3: 0)
  le32(out, 1);                  // FAT sectors
  le32(out, 1);                  // first directory sector
  le32(out, 0);                  // transaction
  le32(out, 4096);               // mini stream cutoff
  le32(out, kEnd);               // first mini FAT sector
  le32(out, 0);
  le32(out, kEnd);               // first DIFAT sector
  le32(out, 0);
  le32(out, 0);                  // DIFAT[0] = sector 0
  for (int k = 1; k < 109; ++k) le32(out, kFree);

  for (std::uint32_t v : fat) le32(out, v);

  std::string dir = dirEntry("Root Entry", 5, input.empty() ? kFree : 1, kFree, kEnd, 0);
  for (std::size_t k = 0; k < input.size(); ++k)
    dir += dirEntry(input[k].first, 2, kFree, k + 1 < input.size() ? static_cast<std::uint32_t>(k + 2) : kFree,
                    starts[k], static_cast<std::uint32_t>(input[k].second.size() < 4096 ? 4096 : input[k].second.size()));
  while (dir.size() % sector) dir += dirEntry("", 0, kFree, kFree, kFree, 0);
  out += dir.substr(0, sector);  // one directory sector holds four entries
  for (const auto& d : data) out += d;
  return out;
}

}  // namespace vm::test
