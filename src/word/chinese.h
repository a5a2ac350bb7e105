#pragma once
// Chinese script conversion with OpenCC, for the text of documents and for file names. Text is
// cut into phrases by OpenCC's segmentation and each phrase converted as one (软件 → 軟件, or
// 軟體 with Taiwan phrases), never character by character.

#include <memory>
#include <string>
#include <vector>

#include "word/scripttext.h"

namespace vm::word {

class ChineseConverter {
 public:
  // An OpenCC configuration by name: "s2t", "s2tw", "s2twp", "s2hk" (to Traditional), "t2s" (to
  // Simplified). An unknown or unreadable one is InvalidArgument. Loaded once per process.
  explicit ChineseConverter(const std::string& config);

  std::string convert(const std::string& text) const;
  // The text's phrases, each with its conversion; joined, the phrases give the text.
  std::vector<TextSegment> segments(std::u32string_view text) const;
  // segments() as the engine's converter (shares this converter).
  TextConverter converter() const;

  struct Impl;

 private:
  std::shared_ptr<const Impl> impl_;
};

// The configurations offered, in order.
const std::vector<std::string>& chineseConfigurations();

}  // namespace vm::word
