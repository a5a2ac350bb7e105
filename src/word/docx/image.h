#pragma once
// Pixel size and resolution of PNG, JPEG, GIF and BMP pictures, read from their headers.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vm::word::docx {

struct ImageInfo {
  std::string extension;    // "png", "jpeg", "gif", "bmp" (as Word names its media parts)
  std::string contentType;  // "image/png", ...
  std::uint32_t width = 0, height = 0;  // pixels
  double dpiX = 96, dpiY = 96;          // 96 when the file gives none
  // Size in EMU (914400 per inch) at the picture's own resolution.
  std::int64_t widthEmu() const;
  std::int64_t heightEmu() const;
};

// Nothing when the bytes are not one of these formats or the header is damaged.
std::optional<ImageInfo> readImageInfo(std::string_view bytes);

// The bytes of a picture file. Only a regular file is read (a FIFO, a device or a folder is
// refused at once, without waiting on it), and no more than limits::kPictureSize bytes.
// Throws EngineError: PictureUnreadable, TooLarge.
std::string readPictureFile(const std::filesystem::path& path);

}  // namespace vm::word::docx
