#include "word/passwordhash.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <memory>
#include <random>

#include "word/error.h"

namespace vm::word {

namespace {

char32_t nextCodePoint(std::string_view s, std::size_t& i) {
  auto b = static_cast<unsigned char>(s[i++]);
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  char32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
  for (; extra > 0 && i < s.size(); --extra) c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  return c;
}

std::u16string toUtf16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = nextCodePoint(utf8, i);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> digestForName(std::string_view name) {
  if (name == "SHA-512") return "SHA512";
  if (name == "SHA-384") return "SHA384";
  if (name == "SHA-256") return "SHA256";
  if (name == "SHA-1") return "SHA1";
  if (name == "MD5") return "MD5";
  return std::nullopt;
}

std::optional<std::string> digestForSid(int sid) {
  switch (sid) {
    case 3: return "MD5";
    case 4: return "SHA1";
    case 12: return "SHA256";
    case 13: return "SHA384";
    case 14: return "SHA512";
    default: return std::nullopt;
  }
}

std::string spinHash(const std::string& digest, std::string_view salt, std::string_view input, std::uint32_t spinCount) {
  const EVP_MD* md = EVP_get_digestbyname(digest.c_str());
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!md || !ctx) throw EngineError(ErrorCode::Unsupported, "password hash " + digest);
  std::array<unsigned char, EVP_MAX_MD_SIZE> h{};
  unsigned int len = 0;
  auto round = [&](std::string_view a, std::string_view b) {
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    EVP_DigestUpdate(ctx.get(), a.data(), a.size());
    EVP_DigestUpdate(ctx.get(), b.data(), b.size());
    EVP_DigestFinal_ex(ctx.get(), h.data(), &len);
  };
  round(salt, input);
  for (std::uint32_t i = 0; i < spinCount; ++i) {
    const char counter[4] = {static_cast<char>(i & 0xFF), static_cast<char>((i >> 8) & 0xFF),
                             static_cast<char>((i >> 16) & 0xFF), static_cast<char>((i >> 24) & 0xFF)};
    const std::string previous(reinterpret_cast<const char*>(h.data()), len);
    round(previous, std::string_view(counter, 4));
  }
  return std::string(reinterpret_cast<const char*>(h.data()), len);
}

std::string utf16le(std::string_view utf8) {
  std::string out;
  for (char16_t u : toUtf16(utf8)) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

std::uint32_t legacyPasswordKey(std::string_view utf8) {
  static constexpr std::uint16_t kInitial[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
                                                 0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
  static constexpr std::uint16_t kMatrix[15][7] = {
      {0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09}, {0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF},
      {0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0}, {0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40},
      {0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5}, {0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A},
      {0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9}, {0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0},
      {0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC}, {0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10},
      {0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168}, {0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C},
      {0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD}, {0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC},
      {0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4}};
  std::u16string chars = toUtf16(utf8);
  if (chars.empty()) return 0;
  if (chars.size() > 15) chars.resize(15);
  // Each character as one byte: its low byte, or its high byte when the low one is zero.
  std::string bytes;
  for (char16_t c : chars) bytes += static_cast<char>((c & 0xFF) ? (c & 0xFF) : (c >> 8));
  const std::size_t n = bytes.size();
  std::uint16_t high = kInitial[n - 1];
  for (std::size_t i = 0; i < n; ++i) {
    auto ch = static_cast<unsigned char>(bytes[i]);
    for (int bit = 0; bit < 7; ++bit)
      if (ch & (1u << bit)) high ^= kMatrix[15 - n + i][bit];
  }
  std::uint16_t low = 0;
  for (std::size_t i = n; i-- > 0;)
    low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ static_cast<unsigned char>(bytes[i]));
  low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ n ^ 0xCE4B);
  return (static_cast<std::uint32_t>(high) << 16) | low;
}

std::string base64Encode(std::string_view bytes) {
  static const char* const kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kChars[(v >> 18) & 63];
    out += kChars[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kChars[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kChars[v & 63] : '=';
  }
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  std::string out;
  std::uint32_t v = 0;
  int bits = 0;
  for (char c : text) {
    int d = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52
          : c == '+' ? 62 : c == '/' ? 63 : -1;
    if (c == '=' || c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (d < 0) return std::nullopt;
    v = (v << 6) | static_cast<std::uint32_t>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  return out;
}

std::string randomBytes(std::size_t n) {
  std::string out(n, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(n)) != 1) {
    std::random_device rd;
    for (char& c : out) c = static_cast<char>(rd() & 0xFF);
  }
  return out;
}

}  // namespace vm::word
