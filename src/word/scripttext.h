#pragma once
// Rewriting the text of every story piece by piece (Chinese script conversion). A document
// whose back end offers it also implements ScriptTextDocument, found with scriptText().

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "word/document.h"

namespace vm::word {

// One piece of a text and what it becomes; the pieces of a text, joined, give it back.
struct TextSegment {
  std::u32string from, to;
};
// Cuts a run of text (code points, no paragraph marks, tabs or breaks) into pieces and converts
// each. Code points, as the engine holds text: a conversion run passes millions of characters.
using TextConverter = std::function<std::vector<TextSegment>(std::u32string_view text)>;

class ScriptTextDocument {
 public:
  virtual ~ScriptTextDocument() = default;
  // Converts the text of every story: main text, headers, footers, text boxes, footnotes,
  // endnotes and comments. The converter sees a paragraph's text across its runs at once; a
  // piece that keeps its length keeps each character's formatting, one that changes length
  // takes the formatting of its first character. Field codes and deleted tracked text are
  // left alone. Returns the number of pieces changed.
  virtual int convertText(const TextConverter& convert) = 0;
};

ScriptTextDocument& scriptText(Document& doc);

}  // namespace vm::word
