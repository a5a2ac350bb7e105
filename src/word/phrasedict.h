#pragma once
// OpenCC's dictionaries held as in-memory tables: the same longest-prefix matching as OpenCC's
// tries, segmentation and conversion chain, without a trie walk and allocations per lookup
// (those were most of a conversion run). Built once per standard, then only read.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vm::word {

// One dictionary: keys and their values, looked up by the longest key a text starts with.
class PhraseDict {
 public:
  PhraseDict();
  // A key that is already there keeps its first value.
  void add(std::u32string_view key, std::u32string_view value);
  // The length of the longest key that text starts with (0: none) and that key's value.
  std::size_t matchPrefix(std::u32string_view text, std::u32string_view& value) const;
  // Every character that starts a key.
  const std::u32string& firstChars() const { return firstChars_; }

 private:
  std::uint32_t child(std::uint32_t node, char32_t c) const;
  std::uint32_t addChild(std::uint32_t node, char32_t c);
  void grow();

  struct Edge {
    std::uint64_t key = 0;  // (node << 21 | code point) + 1; 0: empty
    std::uint32_t child = 0;
  };
  std::vector<std::uint32_t> first_;   // root's children for the Basic Multilingual Plane
  std::vector<Edge> edges_;            // open addressing
  std::size_t edgeCount_ = 0;
  std::vector<std::uint64_t> edgeBits_;  // a filter over the edges: most lookups miss, and miss here
  struct Node {
    std::int32_t value = -1;  // index into values_, -1 when no key ends here
    bool inner = false;       // a longer key goes on from here
  };
  std::vector<Node> nodes_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> values_;  // offset and length in text_
  std::u32string text_;
  std::u32string firstChars_;
};

// A configuration: a segmentation dictionary and a chain of conversions, each a group of
// dictionaries in which the first that matches decides (as OpenCC's groups do). A dictionary
// may serve several of them.
class PhraseChain {
 public:
  using Group = std::vector<std::shared_ptr<const PhraseDict>>;
  struct Phrase {
    std::size_t end;
    bool key;  // a key of the segmentation dictionary (else characters no key starts at)
    std::u32string_view value;
  };

  PhraseChain(Group segmentation, std::vector<Group> conversions);

  // False when no character of text starts any key: the text converts to itself.
  bool mayChange(std::u32string_view text) const;
  // Maximum matching: each longest key is a phrase, what lies between keys one phrase too.
  void segment(std::u32string_view text, std::vector<Phrase>& phrases) const;
  // A phrase of segment() through every conversion in turn; a match never crosses its ends.
  std::u32string convertPhrase(std::u32string_view text, const Phrase& phrase) const;
  // Segmented and converted, joined.
  std::u32string convert(std::u32string_view text) const;

 private:
  static std::size_t match(const Group& group, std::size_t from, std::u32string_view text,
                           std::u32string_view& value);
  static void apply(const Group& group, std::size_t from, std::u32string_view text, std::u32string& out);

  Group segmentation_;
  std::vector<Group> conversions_;
  // The first conversion starts with the segmentation's dictionary: a key phrase becomes its
  // value, and in the others only the group's later dictionaries can match.
  bool segmentedFirst_ = false;
  std::vector<std::uint64_t> starters_;  // a bit per code point that starts a key anywhere
};

}  // namespace vm::word
