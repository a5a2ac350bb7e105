#include "word/docx/image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "word/docx/limits.h"
#include "word/error.h"

namespace vm::word::docx {

namespace {

constexpr double kDefaultDpi = 96;

std::uint32_t be16(std::string_view s, std::size_t i) {
  return (static_cast<std::uint8_t>(s[i]) << 8) | static_cast<std::uint8_t>(s[i + 1]);
}
std::uint32_t be32(std::string_view s, std::size_t i) { return (be16(s, i) << 16) | be16(s, i + 2); }
std::uint32_t le16(std::string_view s, std::size_t i) {
  return static_cast<std::uint8_t>(s[i]) | (static_cast<std::uint8_t>(s[i + 1]) << 8);
}
std::uint32_t le32(std::string_view s, std::size_t i) { return le16(s, i) | (le16(s, i + 2) << 16); }

// A resolution that is missing or absurd counts as 96 dpi.
double sane(double dpi) { return dpi >= 1 && dpi <= 100000 ? dpi : kDefaultDpi; }

std::optional<ImageInfo> png(std::string_view s) {
  if (s.size() < 33 || s.substr(12, 4) != "IHDR") return std::nullopt;
  ImageInfo info{"png", "image/png", be32(s, 16), be32(s, 20)};
  for (std::size_t i = 8; i + 12 <= s.size();) {
    std::uint32_t len = be32(s, i);
    std::string_view type = s.substr(i + 4, 4);
    if (type == "IDAT" || type == "IEND") break;
    if (type == "pHYs" && len >= 9 && i + 8 + 9 <= s.size()) {
      std::uint32_t x = be32(s, i + 8), y = be32(s, i + 12);
      if (static_cast<std::uint8_t>(s[i + 16]) == 1 && x && y) {  // pixels per metre
        info.dpiX = sane(x * 0.0254);
        info.dpiY = sane(y * 0.0254);
      }
      break;
    }
    if (len > s.size()) break;
    i += 12 + static_cast<std::size_t>(len);
  }
  return info;
}

// EXIF resolution (XResolution, YResolution, ResolutionUnit) from an APP1 segment body.
bool exifResolution(std::string_view seg, double& dx, double& dy) {
  if (seg.size() < 14 || seg.substr(0, 6) != std::string_view("Exif\0\0", 6)) return false;
  std::string_view t = seg.substr(6);
  bool le = t.substr(0, 2) == "II";
  if (!le && t.substr(0, 2) != "MM") return false;
  auto u16 = [&](std::size_t i) { return le ? le16(t, i) : be16(t, i); };
  auto u32 = [&](std::size_t i) { return le ? le32(t, i) : be32(t, i); };
  std::size_t ifd = u32(4);
  if (ifd + 2 > t.size()) return false;
  std::uint32_t n = u16(ifd);
  double x = 0, y = 0;
  std::uint32_t unit = 2;
  for (std::uint32_t k = 0; k < n; ++k) {
    std::size_t e = ifd + 2 + 12 * k;
    if (e + 12 > t.size()) break;
    std::uint32_t tag = u16(e), type = u16(e + 2);
    if ((tag == 0x011A || tag == 0x011B) && type == 5) {
      std::size_t off = u32(e + 8);
      if (off + 8 > t.size()) continue;
      std::uint32_t num = u32(off), den = u32(off + 4);
      if (!den) continue;
      (tag == 0x011A ? x : y) = static_cast<double>(num) / den;
    } else if (tag == 0x0128 && type == 3) {
      unit = u16(e + 8);
    }
  }
  if (x <= 0 || y <= 0 || unit == 1) return false;
  double f = unit == 3 ? 2.54 : 1.0;
  dx = x * f;
  dy = y * f;
  return true;
}

std::optional<ImageInfo> jpeg(std::string_view s) {
  ImageInfo info{"jpeg", "image/jpeg"};
  bool haveDensity = false, haveSize = false;
  double exifX = 0, exifY = 0;
  bool haveExif = false;
  std::size_t i = 2;
  while (i + 4 <= s.size()) {
    if (static_cast<std::uint8_t>(s[i]) != 0xFF) return std::nullopt;
    std::uint8_t marker = static_cast<std::uint8_t>(s[i + 1]);
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      i += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) break;  // end of image, start of scan
    std::uint32_t len = be16(s, i + 2);
    if (len < 2 || i + 2 + len > s.size()) break;
    std::string_view seg = s.substr(i + 4, len - 2);
    if (marker == 0xE0 && seg.size() >= 12 && seg.substr(0, 5) == std::string_view("JFIF\0", 5)) {
      std::uint8_t units = static_cast<std::uint8_t>(seg[7]);
      std::uint32_t x = be16(seg, 8), y = be16(seg, 10);
      if ((units == 1 || units == 2) && x && y) {
        double f = units == 2 ? 2.54 : 1.0;
        info.dpiX = sane(x * f);
        info.dpiY = sane(y * f);
        haveDensity = true;
      }
    } else if (marker == 0xE1 && !haveExif) {
      haveExif = exifResolution(seg, exifX, exifY);
    } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC &&
               seg.size() >= 5) {
      info.height = be16(seg, 1);
      info.width = be16(seg, 3);
      haveSize = true;
    }
    i += 2 + len;
  }
  if (!haveSize) return std::nullopt;
  if (!haveDensity && haveExif) {
    info.dpiX = sane(exifX);
    info.dpiY = sane(exifY);
  }
  return info;
}

std::optional<ImageInfo> gif(std::string_view s) {
  if (s.size() < 10) return std::nullopt;
  return ImageInfo{"gif", "image/gif", le16(s, 6), le16(s, 8)};
}

std::optional<ImageInfo> bmp(std::string_view s) {
  if (s.size() < 26) return std::nullopt;
  std::uint32_t header = le32(s, 14);
  ImageInfo info{"bmp", "image/bmp"};
  if (header == 12) {
    info.width = le16(s, 18);
    info.height = le16(s, 20);
  } else if (header >= 40 && s.size() >= 46) {
    info.width = le32(s, 18);
    auto h = static_cast<std::int32_t>(le32(s, 22));
    info.height = static_cast<std::uint32_t>(h < 0 ? -static_cast<std::int64_t>(h) : h);
    std::uint32_t x = le32(s, 38), y = le32(s, 42);
    if (x && y) {
      info.dpiX = sane(x * 0.0254);
      info.dpiY = sane(y * 0.0254);
    }
  } else {
    return std::nullopt;
  }
  return info;
}

}  // namespace

std::int64_t ImageInfo::widthEmu() const { return std::llround(width * 914400.0 / dpiX); }
std::int64_t ImageInfo::heightEmu() const { return std::llround(height * 914400.0 / dpiY); }

std::optional<ImageInfo> readImageInfo(std::string_view s) {
  std::optional<ImageInfo> info;
  if (s.size() >= 8 && s.substr(0, 8) == "\x89PNG\r\n\x1A\n") info = png(s);
  else if (s.size() >= 3 && s.substr(0, 3) == "\xFF\xD8\xFF") info = jpeg(s);
  else if (s.size() >= 6 && (s.substr(0, 6) == "GIF87a" || s.substr(0, 6) == "GIF89a")) info = gif(s);
  else if (s.size() >= 2 && s.substr(0, 2) == "BM") info = bmp(s);
  if (!info || info->width == 0 || info->height == 0 || info->width > 1000000 || info->height > 1000000)
    return std::nullopt;
  return info;
}

std::string readPictureFile(const std::filesystem::path& path) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; fstat then tells what it is.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EngineError(ErrorCode::PictureUnreadable, path.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EngineError(ErrorCode::PictureUnreadable, path.string() + ": not a regular file");
  }
  auto tooLarge = [&] {
    ::close(fd);
    throw EngineError(ErrorCode::TooLarge, path.string() + ": picture larger than " +
                                               std::to_string(limits::kPictureSize) + " bytes");
  };
  if (static_cast<std::uint64_t>(st.st_size) > limits::kPictureSize) tooLarge();
  std::string bytes(static_cast<std::size_t>(st.st_size) + 1, '\0');  // one more: a file that grew
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (bytes.size() > limits::kPictureSize) tooLarge();
      bytes.resize(std::min<std::size_t>(bytes.size() * 2, limits::kPictureSize + 1));
    }
    ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      throw EngineError(ErrorCode::PictureUnreadable, path.string() + ": " + std::strerror(err));
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got > limits::kPictureSize) tooLarge();
  bytes.resize(got);
  return bytes;
}

}  // namespace vm::word::docx
