#pragma once
// Small valid pictures made in memory (grey, one colour), for picture tests:
//   writeFile(dir.file("a.png"), png(100, 50));            // 96 dpi: no pHYs chunk
//   writeFile(dir.file("b.png"), png(300, 150, 300));      // pHYs at 300 dpi
// Every reader (LibreOffice, browsers) accepts them.

#include <cstdint>
#include <string>

namespace vm::test {

// dpi 0: no resolution in the file.
std::string png(std::uint32_t width, std::uint32_t height, double dpi = 0);
// JFIF density in dots per inch (0: aspect-ratio only, i.e. no resolution).
std::string jpeg(std::uint16_t width, std::uint16_t height, std::uint16_t dpi = 0);
std::string gif(std::uint16_t width, std::uint16_t height);
std::string bmp(std::uint32_t width, std::uint32_t height, double dpi = 0);

}  // namespace vm::test
