#include "word/chinese.h"

#include <opencc/Config.hpp>
#include <opencc/ConversionChain.hpp>
#include <opencc/Converter.hpp>
#include <opencc/Exception.hpp>
#include <opencc/Segmentation.hpp>
#include <opencc/Segments.hpp>

#include <algorithm>
#include <map>
#include <mutex>

#include "word/docx/unicase.h"
#include "word/error.h"

namespace vm::word {

struct ChineseConverter::Impl {
  opencc::ConverterPtr converter;
};

namespace {

using docx::toU32;
using docx::toUtf8;

// OpenCC's segmentation only cuts out the phrases of its first dictionary; the later ones (Taiwan
// phrases, ...) rewrite inside a segment, and a rewrite may change the length (内存 → 記憶體).
// The segment is aligned with its conversion so that each character that maps to one character
// stays a piece of its own (and keeps its run), and only what was rewritten becomes one piece.
void alignSegment(const opencc::Converter& converter, const std::string& from, const std::string& to,
                  std::vector<TextSegment>& out) {
  const std::u32string f = toU32(from), t = toU32(to);
  const std::size_t n = f.size(), m = t.size();
  if (n == 0 || m == 0 || n * m > 4'000'000) {
    out.push_back({from, to});
    return;
  }
  std::u32string single(n, U'\0');
  for (std::size_t i = 0; i < n; ++i) {
    const std::u32string c = toU32(converter.Convert(toUtf8(f.substr(i, 1))));
    if (c.size() == 1) single[i] = c[0];
  }
  auto same = [&](std::size_t i, std::size_t j) { return t[j] == f[i] || t[j] == single[i]; };
  // Longest common subsequence under that equality, from the ends.
  std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return lcs[i * (m + 1) + j]; };
  for (std::size_t i = n; i-- > 0;)
    for (std::size_t j = m; j-- > 0;)
      at(i, j) = same(i, j) ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
  std::size_t i = 0, j = 0, gapI = 0, gapJ = 0;
  const std::size_t first = out.size();
  auto flushGap = [&] {
    if (gapI == i && gapJ == j) return;
    std::string gf = toUtf8(std::u32string_view(f).substr(gapI, i - gapI));
    std::string gt = toUtf8(std::u32string_view(t).substr(gapJ, j - gapJ));
    if (gf.empty() && out.size() > first) out.back().to += gt;  // an insertion joins the piece before it
    else out.push_back({std::move(gf), std::move(gt)});
  };
  while (i < n && j < m) {
    if (same(i, j) && at(i, j) == at(i + 1, j + 1) + 1) {
      flushGap();
      out.push_back({toUtf8(f.substr(i, 1)), toUtf8(t.substr(j, 1))});
      gapI = ++i;
      gapJ = ++j;
    } else if (at(i + 1, j) >= at(i, j + 1)) {
      ++i;
    } else {
      ++j;
    }
  }
  i = n;
  j = m;
  flushGap();
  // An insertion before the first character joins the piece after it.
  if (out.size() > first + 1 && out[first].from.empty()) {
    out[first + 1].to = out[first].to + out[first + 1].to;
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(first));
  }
}

}  // namespace

const std::vector<std::string>& chineseConfigurations() {
  static const std::vector<std::string> names = {"s2t", "s2tw", "s2twp", "s2hk", "t2s"};
  return names;
}

ChineseConverter::ChineseConverter(const std::string& config) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const Impl>> loaded;
  const auto& names = chineseConfigurations();
  if (std::find(names.begin(), names.end(), config) == names.end())
    throw EngineError(ErrorCode::InvalidArgument, "unknown Chinese conversion " + config);
  std::lock_guard lock(mutex);
  auto& slot = loaded[config];
  if (!slot) {
    try {
      opencc::Config reader;
      auto impl = std::make_shared<Impl>();
      impl->converter = reader.NewFromFile(config + ".json");
      slot = std::move(impl);
    } catch (const std::exception& e) {
      loaded.erase(config);
      throw EngineError(ErrorCode::InvalidArgument, "OpenCC " + config + ": " + e.what());
    }
  }
  impl_ = slot;
}

std::string ChineseConverter::convert(const std::string& text) const {
  return text.empty() ? text : impl_->converter->Convert(text);
}

std::vector<TextSegment> ChineseConverter::segments(const std::string& text) const {
  std::vector<TextSegment> out;
  if (text.empty()) return out;
  const opencc::SegmentsPtr phrases = impl_->converter->GetSegmentation()->Segment(text);
  const opencc::SegmentsPtr converted = impl_->converter->GetConversionChain()->Convert(phrases);
  // Every conversion of the chain maps one phrase to one phrase.
  if (converted->Length() != phrases->Length())
    throw EngineError(ErrorCode::InvalidArgument, "OpenCC changed the number of phrases");
  out.reserve(phrases->Length());
  for (std::size_t i = 0; i < phrases->Length(); ++i) {
    std::string from = phrases->At(i), to = converted->At(i);
    if (from == to || toU32(from).size() == toU32(to).size()) out.push_back({std::move(from), std::move(to)});
    else alignSegment(*impl_->converter, from, to, out);
  }
  return out;
}

TextConverter ChineseConverter::converter() const {
  return [self = *this](const std::string& text) { return self.segments(text); };
}

}  // namespace vm::word
