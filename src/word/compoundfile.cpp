#include "word/compoundfile.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace vm::word {

namespace {

constexpr std::uint32_t kLastRegular = 0xFFFFFFFA;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

struct Reader {
  std::string_view file;
  std::size_t sectorSize = 512;
  std::vector<std::uint32_t> fat;

  std::uint32_t u32(std::size_t at) const {
    std::uint32_t v = 0;
    if (at + 4 <= file.size()) std::memcpy(&v, file.data() + at, 4);  // little endian hosts only
    return v;
  }
  std::uint16_t u16(std::size_t at) const {
    std::uint16_t v = 0;
    if (at + 2 <= file.size()) std::memcpy(&v, file.data() + at, 2);
    return v;
  }
  std::size_t sectorCount() const { return file.size() / sectorSize; }
  // nullopt: past the end of the file.
  std::optional<std::string_view> sector(std::uint32_t n) const {
    const std::size_t at = (static_cast<std::size_t>(n) + 1) * sectorSize;
    if (n > kLastRegular || at + sectorSize > file.size()) return std::nullopt;
    return file.substr(at, sectorSize);
  }
  // A chain of regular sectors, its length bounded by the file's (a loop ends it).
  std::optional<std::string> chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                   std::size_t unit, const std::string_view* base) const {
    std::string out;
    for (std::size_t steps = 0; start <= kLastRegular; ++steps) {
      if (steps > table.size()) return std::nullopt;
      if (base) {
        const std::size_t at = static_cast<std::size_t>(start) * unit;
        if (at + unit > base->size()) return std::nullopt;
        out.append(base->substr(at, unit));
      } else {
        auto s = sector(start);
        if (!s) return std::nullopt;
        out.append(*s);
      }
      if (start >= table.size()) return std::nullopt;
      start = table[start];
    }
    return out;
  }
};

bool sameName(std::string_view entry, std::string_view name) {
  // UTF-16LE, its byte count with the final NUL in the entry.
  if (entry.size() != (name.size() + 1) * 2) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char a = entry[2 * i], b = name[i];
    if (entry[2 * i + 1] != 0) return false;
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> compoundStream(std::string_view file, std::string_view name) {
  if (file.size() < 512 || file.substr(0, 8) != std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
    return std::nullopt;
  Reader r{file, 512, {}};
  const std::uint16_t shift = r.u16(0x1E);
  if (shift != 9 && shift != 12) return std::nullopt;
  r.sectorSize = std::size_t{1} << shift;
  const std::size_t perSector = r.sectorSize / 4;

  // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fatSectors;
  const std::uint32_t fatCount = r.u32(0x2C);
  if (fatCount > r.sectorCount()) return std::nullopt;
  for (std::size_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) fatSectors.push_back(r.u32(0x4C + 4 * i));
  std::uint32_t difat = r.u32(0x44);
  for (std::size_t steps = 0; fatSectors.size() < fatCount && difat <= kLastRegular; ++steps) {
    auto s = r.sector(difat);
    if (!s || steps > r.sectorCount()) return std::nullopt;
    const std::size_t base = (static_cast<std::size_t>(difat) + 1) * r.sectorSize;
    for (std::size_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i) fatSectors.push_back(r.u32(base + 4 * i));
    difat = r.u32(base + 4 * (perSector - 1));
  }
  for (std::uint32_t f : fatSectors) {
    auto s = r.sector(f);
    if (!s) return std::nullopt;
    for (std::size_t i = 0; i < perSector; ++i) r.fat.push_back(r.u32((static_cast<std::size_t>(f) + 1) * r.sectorSize + 4 * i));
  }

  const auto dir = r.chain(r.u32(0x30), r.fat, r.sectorSize, nullptr);
  if (!dir || dir->size() < 128) return std::nullopt;
  const std::string_view entries(*dir);
  const std::size_t entryCount = entries.size() / 128;
  auto field32 = [&](std::size_t e, std::size_t off) {
    std::uint32_t v;
    std::memcpy(&v, entries.data() + e * 128 + off, 4);
    return v;
  };

  // The root's children: a tree through the left and right sibling links.
  std::optional<std::size_t> found;
  std::vector<std::uint32_t> pending{field32(0, 0x4C)};
  std::vector<bool> seen(entryCount, false);
  while (!pending.empty() && !found) {
    const std::uint32_t e = pending.back();
    pending.pop_back();
    if (e == kNoStream || e >= entryCount || seen[e]) continue;
    seen[e] = true;
    std::uint16_t nameBytes;
    std::memcpy(&nameBytes, entries.data() + e * 128 + 0x40, 2);
    const auto type = static_cast<unsigned char>(entries[e * 128 + 0x42]);
    if (type == 2 && nameBytes <= 64 && sameName(entries.substr(e * 128, nameBytes), name)) found = e;
    pending.push_back(field32(e, 0x44));
    pending.push_back(field32(e, 0x48));
  }
  if (!found) return std::nullopt;

  const std::uint64_t size = field32(*found, 0x78) | (r.u16(0x1A) == 4 ? std::uint64_t{field32(*found, 0x7C)} << 32 : 0);
  if (size > file.size()) return std::nullopt;
  const std::uint32_t start = field32(*found, 0x74);
  std::optional<std::string> data;
  if (size < r.u32(0x38)) {
    // In the mini stream: 64-byte sectors within the root entry's stream, chained by the mini FAT.
    const auto miniFatBytes = r.chain(r.u32(0x3C), r.fat, r.sectorSize, nullptr);
    const auto mini = r.chain(field32(0, 0x74), r.fat, r.sectorSize, nullptr);
    if (!miniFatBytes || !mini) return std::nullopt;
    std::vector<std::uint32_t> miniFat(miniFatBytes->size() / 4);
    std::memcpy(miniFat.data(), miniFatBytes->data(), miniFat.size() * 4);
    const std::string_view miniView(*mini);
    data = r.chain(start, miniFat, 64, &miniView);
  } else {
    data = r.chain(start, r.fat, r.sectorSize, nullptr);
  }
  if (!data || data->size() < size) return std::nullopt;
  data->resize(static_cast<std::size_t>(size));
  return data;
}

}  // namespace vm::word
