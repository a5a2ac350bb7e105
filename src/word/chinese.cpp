#include "word/chinese.h"

#include <opencc/Config.hpp>
#include <opencc/ConversionChain.hpp>
#include <opencc/Converter.hpp>
#include <opencc/DictGroup.hpp>
#include <opencc/Exception.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MaxMatchSegmentation.hpp>

#include <algorithm>
#include <map>
#include <mutex>

#include "word/docx/unicase.h"
#include "word/error.h"
#include "word/phrasedict.h"

namespace vm::word {

struct ChineseConverter::Impl {
  std::unique_ptr<PhraseChain> chain;
};

namespace {

using docx::toU32;
using docx::toUtf8;

// OpenCC's segmentation only cuts out the phrases of its first dictionary; the later ones (Taiwan
// phrases, ...) rewrite inside a segment, and a rewrite may change the length (内存 → 記憶體).
// The segment is aligned with its conversion so that each character that maps to one character
// stays a piece of its own (and keeps its run), and only what was rewritten becomes one piece.
void alignSegment(const PhraseChain& chain, std::u32string_view f, std::u32string_view t,
                  std::vector<TextSegment>& out) {
  const std::size_t n = f.size(), m = t.size();
  if (n == 0 || m == 0 || n * m > 4'000'000) {
    out.push_back({std::u32string(f), std::u32string(t)});
    return;
  }
  std::u32string single(n, U'\0');
  for (std::size_t i = 0; i < n; ++i) {
    const std::u32string c = chain.convert(f.substr(i, 1));
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
    std::u32string gf(f.substr(gapI, i - gapI)), gt(t.substr(gapJ, j - gapJ));
    if (gf.empty() && out.size() > first) out.back().to += gt;  // an insertion joins the piece before it
    else out.push_back({std::move(gf), std::move(gt)});
  };
  while (i < n && j < m) {
    if (same(i, j) && at(i, j) == at(i + 1, j + 1) + 1) {
      flushGap();
      out.push_back({std::u32string(f.substr(i, 1)), std::u32string(t.substr(j, 1))});
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

// A dictionary that several steps share (s2t's phrases segment and convert) is built once.
using Built = std::map<const opencc::Dict*, std::shared_ptr<const PhraseDict>>;

void addDict(const opencc::DictPtr& dict, PhraseChain::Group& group, Built& built) {
  if (auto members = std::dynamic_pointer_cast<opencc::DictGroup>(dict)) {
    for (const opencc::DictPtr& d : members->GetDicts()) addDict(d, group, built);
    return;
  }
  auto& table = built[dict.get()];
  if (!table) {
    auto made = std::make_shared<PhraseDict>();
    for (const auto& entry : *dict->GetLexicon()) made->add(toU32(entry->Key()), toU32(entry->GetDefault()));
    table = std::move(made);
  }
  group.push_back(table);
}

std::unique_ptr<PhraseChain> tablesOf(const opencc::Converter& converter) {
  auto mmseg = std::dynamic_pointer_cast<opencc::MaxMatchSegmentation>(converter.GetSegmentation());
  if (!mmseg) throw std::runtime_error("only maximum-matching segmentation is supported");
  Built built;
  PhraseChain::Group segmentation;
  addDict(mmseg->GetDict(), segmentation, built);
  std::vector<PhraseChain::Group> conversions;
  for (const opencc::ConversionPtr& c : converter.GetConversionChain()->GetConversions())
    addDict(c->GetDict(), conversions.emplace_back(), built);
  return std::make_unique<PhraseChain>(std::move(segmentation), std::move(conversions));
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
      impl->chain = tablesOf(*reader.NewFromFile(config + ".json"));
      slot = std::move(impl);
    } catch (const std::exception& e) {
      loaded.erase(config);
      throw EngineError(ErrorCode::InvalidArgument, "OpenCC " + config + ": " + e.what());
    }
  }
  impl_ = slot;
}

std::string ChineseConverter::convert(const std::string& text) const {
  return text.empty() ? text : toUtf8(impl_->chain->convert(toU32(text)));
}

std::vector<TextSegment> ChineseConverter::segments(std::u32string_view text) const {
  std::vector<TextSegment> out;
  if (text.empty()) return out;
  const PhraseChain& chain = *impl_->chain;
  if (!chain.mayChange(text)) {
    out.push_back({std::u32string(text), std::u32string(text)});
    return out;
  }
  std::vector<PhraseChain::Phrase> phrases;
  chain.segment(text, phrases);
  // Phrases that stay as they are join into one piece; each changed phrase is a piece of its own.
  std::size_t same = 0, begin = 0;
  auto flushSame = [&] {
    if (same < begin) {
      std::u32string piece(text.substr(same, begin - same));
      out.push_back({piece, piece});
    }
  };
  for (const PhraseChain::Phrase& phrase : phrases) {
    const std::u32string_view from = text.substr(begin, phrase.end - begin);
    std::u32string to = chain.convertPhrase(from, phrase);
    if (to != from) {
      flushSame();
      if (to.size() == from.size()) out.push_back({std::u32string(from), std::move(to)});
      else alignSegment(chain, from, to, out);
      same = phrase.end;
    }
    begin = phrase.end;
  }
  flushSame();
  return out;
}

TextConverter ChineseConverter::converter() const {
  return [self = *this](std::u32string_view text) { return self.segments(text); };
}

}  // namespace vm::word
