#pragma once
// Many documents from one template: the template is read once with its rules, and each copy is
// written with its own values. Each copy is the document that opening the template, replacing
// in its main story rule by rule (Story::replaceAll, replaceWithPicture) and saving it under
// the copy's path would give.
//
// Where the back end can, the rules' matches are found once in the template and a copy only
// writes the template's fixed bytes around its values; a copy whose values could change what
// a rule finds (or that the back end cannot write that way) is edited as a document instead.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "word/document.h"

namespace vm::word {

// A piece of a replacement: text in Word's codes (^p, ^t, ^& ...), or the value of a field,
// which is literal text (a caret in it is a caret).
struct FillPart {
  std::string text;
  int field = -1;  // index into the values; -1: the piece is text
};

struct FillRule {
  std::string find;  // Word's find text
  std::vector<FillPart> replacement;
  // Set for a rule that puts a picture: gives the picture's file from the filled replacement
  // (its fields as they are, no codes read).
  std::function<std::filesystem::path(const std::string& filled)> picture;
};

// The replacement filled with the values: for a text rule in Word's codes (a caret in a value
// doubled, so that it stays a caret), for a picture rule as it is.
std::string filledReplacement(const FillRule& rule, const std::vector<std::string>& values);

class TemplateWriter {
 public:
  virtual ~TemplateWriter() = default;
  // Writes one copy with these values at target (saved as Document::saveAs saves: beside it
  // and renamed over it). A field past the values is empty. Returns true when the copy was
  // written straight from the prepared template, false when it was edited as a document.
  virtual bool write(const std::vector<std::string>& values, const std::filesystem::path& target) = 0;
  // Whether copies can be written straight from the prepared template at all.
  virtual bool direct() const = 0;
};

// Reads the template (as open() does, read-only) and prepares the rules. Throws EngineError as
// open() does; a rule's bad find text or replacement fails each copy as replaceAll does.
std::unique_ptr<TemplateWriter> openTemplate(const std::filesystem::path& path, std::vector<FillRule> rules,
                                             const OpenOptions& options = {});

}  // namespace vm::word
