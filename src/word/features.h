#pragma once
// What a back end of the document engine can do. An operation names the features it needs; the
// router opens a document with a back end that offers them, and the model disables or refuses
// an operation whose features no installed back end offers.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vm::word {

enum class Feature : std::uint8_t {
  MainText,       // find, replace, pictures, counts and paragraphs of the main story
  HeaderFooter,   // header and footer stories by identity, ensureStory, clear
  Comments,       // deleting comments (comment stories where a back end lists them)
  Notes,          // footnote and endnote stories
  TextBoxes,      // text box stories
  Layout,         // page counts and page ranges (word/layout.h)
  InsertFile,     // inserting another document
  Convert,        // saving in another format
  WritePassword,  // saving with a write password
  Properties,     // summary properties
  Render,         // rendering to PDF for printing
  Cleanup,        // removing hyperlinks and blank paragraphs, watermarks, header style borders
};
inline constexpr int kFeatureCount = 12;

class FeatureSet {
 public:
  constexpr FeatureSet() = default;
  constexpr FeatureSet(std::initializer_list<Feature> features) {
    for (Feature f : features) bits_ |= bit(f);
  }
  constexpr bool has(Feature f) const { return (bits_ & bit(f)) != 0; }
  constexpr bool covers(const FeatureSet& other) const { return (other.bits_ & ~bits_) == 0; }
  constexpr bool empty() const { return bits_ == 0; }
  // What needed asks for that this set lacks.
  constexpr FeatureSet missing(const FeatureSet& needed) const { return FeatureSet(needed.bits_ & ~bits_); }
  constexpr FeatureSet operator|(const FeatureSet& o) const { return FeatureSet(bits_ | o.bits_); }
  constexpr bool operator==(const FeatureSet&) const = default;
  std::vector<Feature> list() const {
    std::vector<Feature> r;
    for (int i = 0; i < kFeatureCount; ++i)
      if (bits_ & (1u << i)) r.push_back(static_cast<Feature>(i));
    return r;
  }

 private:
  constexpr explicit FeatureSet(std::uint32_t bits) : bits_(bits) {}
  static constexpr std::uint32_t bit(Feature f) { return 1u << static_cast<unsigned>(f); }
  std::uint32_t bits_ = 0;
};

// A short Chinese name for messages ("页眉页脚", "页面排版", ...).
std::string featureName(Feature f);

// What the docx back end offers (always installed).
FeatureSet docxFeatures();
// The union over the installed, available back ends.
FeatureSet installedFeatures();

}  // namespace vm::word
