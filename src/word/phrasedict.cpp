#include "word/phrasedict.h"

namespace vm::word {

namespace {

constexpr std::uint32_t kBmp = 0x10000;

std::uint64_t edgeKey(std::uint32_t node, char32_t c) {
  return ((static_cast<std::uint64_t>(node) << 21) | static_cast<std::uint64_t>(c)) + 1;
}

std::size_t slotOf(std::uint64_t key, std::size_t mask) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
}

// 8 filter bits per table slot, 16 or more per edge: a lookup that misses touches only the filter.
std::size_t bitOf(std::uint64_t key, std::size_t slots) {
  return static_cast<std::size_t>((key * 0xC2B2AE3D27D4EB4Full) >> 17) & (slots * 8 - 1);
}

}  // namespace

PhraseDict::PhraseDict() : first_(kBmp, 0), edges_(1024), edgeBits_(1024 * 8 / 64, 0), nodes_(1) {}

std::uint32_t PhraseDict::child(std::uint32_t node, char32_t c) const {
  if (node == 0 && c < kBmp) return first_[c];
  const std::uint64_t key = edgeKey(node, c);
  const std::size_t bit = bitOf(key, edges_.size());
  if (!(edgeBits_[bit / 64] >> (bit % 64) & 1)) return 0;
  const std::size_t mask = edges_.size() - 1;
  for (std::size_t i = slotOf(key, mask);; i = (i + 1) & mask) {
    if (edges_[i].key == key) return edges_[i].child;
    if (edges_[i].key == 0) return 0;
  }
}

void PhraseDict::grow() {
  std::vector<Edge> edges(edges_.size() * 2);
  const std::size_t mask = edges.size() - 1;
  for (const Edge& e : edges_) {
    if (!e.key) continue;
    std::size_t j = slotOf(e.key, mask);
    while (edges[j].key) j = (j + 1) & mask;
    edges[j] = e;
  }
  edges_ = std::move(edges);
  edgeBits_.assign(edges_.size() * 8 / 64, 0);
  for (const Edge& e : edges_)
    if (e.key) {
      const std::size_t bit = bitOf(e.key, edges_.size());
      edgeBits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
}

std::uint32_t PhraseDict::addChild(std::uint32_t node, char32_t c) {
  if (std::uint32_t found = child(node, c)) return found;
  const auto made = static_cast<std::uint32_t>(nodes_.size());
  nodes_.emplace_back();
  nodes_[node].inner = true;
  if (node == 0) firstChars_.push_back(c);
  if (node == 0 && c < kBmp) {
    first_[c] = made;
    return made;
  }
  if ((edgeCount_ + 1) * 2 > edges_.size()) grow();
  const std::uint64_t key = edgeKey(node, c);
  const std::size_t mask = edges_.size() - 1;
  std::size_t i = slotOf(key, mask);
  while (edges_[i].key) i = (i + 1) & mask;
  edges_[i] = {key, made};
  const std::size_t bit = bitOf(key, edges_.size());
  edgeBits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
  ++edgeCount_;
  return made;
}

void PhraseDict::add(std::u32string_view key, std::u32string_view value) {
  if (key.empty()) return;
  std::uint32_t node = 0;
  for (char32_t c : key) node = addChild(node, c);
  if (nodes_[node].value >= 0) return;
  nodes_[node].value = static_cast<std::int32_t>(values_.size());
  values_.emplace_back(static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(value.size()));
  text_ += value;
}

std::size_t PhraseDict::matchPrefix(std::u32string_view text, std::u32string_view& value) const {
  std::size_t best = 0;
  std::uint32_t node = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    node = child(node, text[i]);
    if (!node) break;
    const Node& n = nodes_[node];
    if (n.value >= 0) {
      best = i + 1;
      const auto& [offset, length] = values_[static_cast<std::size_t>(n.value)];
      value = std::u32string_view(text_).substr(offset, length);
    }
    if (!n.inner) break;
  }
  return best;
}

PhraseChain::PhraseChain(Group segmentation, std::vector<Group> conversions)
    : segmentation_(std::move(segmentation)), conversions_(std::move(conversions)), starters_(0x110000 / 64, 0) {
  auto mark = [&](const Group& group) {
    for (const auto& dict : group)
      for (char32_t c : dict->firstChars()) starters_[c / 64] |= std::uint64_t{1} << (c % 64);
  };
  mark(segmentation_);
  for (const Group& g : conversions_) mark(g);
  segmentedFirst_ = segmentation_.size() == 1 && !conversions_.empty() && !conversions_[0].empty() &&
                    conversions_[0][0] == segmentation_[0];
}

bool PhraseChain::mayChange(std::u32string_view text) const {
  for (char32_t c : text)
    if (c < 0x110000 && (starters_[c / 64] >> (c % 64) & 1)) return true;
  return false;
}

std::size_t PhraseChain::match(const Group& group, std::size_t from, std::u32string_view text,
                               std::u32string_view& value) {
  for (std::size_t i = from; i < group.size(); ++i)
    if (std::size_t n = group[i]->matchPrefix(text, value)) return n;
  return 0;
}

void PhraseChain::apply(const Group& group, std::size_t from, std::u32string_view text, std::u32string& out) {
  std::u32string_view value;
  for (std::size_t at = 0; at < text.size();) {
    if (const std::size_t n = match(group, from, text.substr(at), value)) {
      out += value;
      at += n;
    } else {
      out += text[at++];
    }
  }
}

void PhraseChain::segment(std::u32string_view text, std::vector<Phrase>& phrases) const {
  std::u32string_view value;
  bool pending = false;  // characters matched by no key since the last cut
  for (std::size_t at = 0; at < text.size();) {
    if (const std::size_t n = match(segmentation_, 0, text.substr(at), value)) {
      if (pending) phrases.push_back({at, false, {}});
      pending = false;
      at += n;
      phrases.push_back({at, true, value});
    } else {
      pending = true;
      ++at;
    }
  }
  if (pending) phrases.push_back({text.size(), false, {}});
}

std::u32string PhraseChain::convertPhrase(std::u32string_view text, const Phrase& phrase) const {
  std::u32string now, next;
  std::size_t step = 0;
  if (segmentedFirst_) {
    if (phrase.key) now = phrase.value;
    else apply(conversions_[0], 1, text, now);
    step = 1;
  } else {
    now = text;
  }
  for (; step < conversions_.size(); ++step) {
    next.clear();
    apply(conversions_[step], 0, now, next);
    now.swap(next);
  }
  return now;
}

std::u32string PhraseChain::convert(std::u32string_view text) const {
  if (!mayChange(text)) return std::u32string(text);
  std::vector<Phrase> phrases;
  segment(text, phrases);
  std::u32string out;
  std::size_t begin = 0;
  for (const Phrase& p : phrases) {
    out += convertPhrase(text.substr(begin, p.end - begin), p);
    begin = p.end;
  }
  return out;
}

}  // namespace vm::word
