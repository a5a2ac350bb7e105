// The converter's own dictionary tables against OpenCC's converter on text made to stress the
// matching: whole keys, cut keys and single characters of every dictionary side by side, so
// that longest matches overlap. The output and every changed phrase must be OpenCC's.

#include <gtest/gtest.h>
#include <opencc/Config.hpp>
#include <opencc/ConversionChain.hpp>
#include <opencc/Converter.hpp>
#include <opencc/DictGroup.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MaxMatchSegmentation.hpp>
#include <opencc/Segments.hpp>

#include <map>
#include <random>

#include "word/chinese.h"
#include "word/docx/unicase.h"

using namespace vm::word;
using vm::word::docx::toU32;
using vm::word::docx::toUtf8;

namespace {

void keysOf(const opencc::DictPtr& dict, std::vector<std::string>& keys) {
  if (auto group = std::dynamic_pointer_cast<opencc::DictGroup>(dict)) {
    for (const auto& d : group->GetDicts()) keysOf(d, keys);
    return;
  }
  for (const auto& e : *dict->GetLexicon()) keys.push_back(e->Key());
}

std::string stressText(const opencc::Converter& cc, unsigned seed) {
  std::vector<std::string> keys;
  keysOf(std::dynamic_pointer_cast<opencc::MaxMatchSegmentation>(cc.GetSegmentation())->GetDict(), keys);
  for (const auto& c : cc.GetConversionChain()->GetConversions()) keysOf(c->GetDict(), keys);
  std::mt19937 rng(seed);
  std::string text;
  for (int i = 0; i < 40000; ++i) {
    const std::u32string key = toU32(keys[rng() % keys.size()]);
    switch (rng() % 4) {
      case 0: case 1: text += toUtf8(key); break;
      case 2: text += toUtf8(key.substr(0, 1 + rng() % key.size())); break;
      default: text += " ab1，"[rng() % 4]; break;
    }
  }
  return text;
}

}  // namespace

TEST(ChineseTables, EveryStandardConvertsAndCutsAsOpencc) {
  for (const std::string& config : chineseConfigurations()) {
    SCOPED_TRACE(config);
    opencc::Config reader;
    const opencc::ConverterPtr cc = reader.NewFromFile(config + ".json");
    const ChineseConverter ours(config);
    const std::string text = stressText(*cc, 7);
    EXPECT_EQ(ours.convert(text), cc->Convert(text));

    // OpenCC's changed phrases that keep their length, by offset, are ours exactly.
    std::map<std::size_t, std::pair<std::u32string, std::u32string>> theirs, mine;
    const opencc::SegmentsPtr phrases = cc->GetSegmentation()->Segment(text);
    const opencc::SegmentsPtr converted = cc->GetConversionChain()->Convert(phrases);
    std::vector<bool> resized;  // per character: in a phrase whose length changes (aligned apart)
    for (std::size_t i = 0; i < phrases->Length(); ++i) {
      const std::u32string f = toU32(phrases->At(i)), t = toU32(converted->At(i));
      if (f != t && f.size() == t.size()) theirs[resized.size()] = {f, t};
      resized.resize(resized.size() + f.size(), f.size() != t.size());
    }
    std::size_t at = 0;
    for (const TextSegment& s : ours.segments(toU32(text))) {
      if (s.from != s.to && s.from.size() == s.to.size() && !resized.at(at)) mine[at] = {s.from, s.to};
      at += s.from.size();
    }
    EXPECT_GT(theirs.size(), 1000u);
    EXPECT_TRUE(mine == theirs) << mine.size() << " changed phrases against OpenCC's " << theirs.size();
  }
}
