#pragma once
// Summary properties and write passwords: document metadata that both back ends build. A
// document whose back end offers them also implements MetadataDocument, found with metadata().
// The write password is set or removed through Document::saveAs (SaveOptions::writePassword).

#include <string>

#include "word/document.h"

namespace vm::word {

// Word's built-in title, subject, author and company (BuiltInDocumentProperties 1, 2, 3, 21).
struct SummaryProperties {
  std::string title, subject, author, company;
  bool operator==(const SummaryProperties&) const = default;
};

class MetadataDocument {
 public:
  virtual ~MetadataDocument() = default;

  virtual SummaryProperties properties() = 0;
  // Sets all four; an empty text makes the property empty. The parts that hold them are
  // created when missing.
  virtual void setProperties(const SummaryProperties& properties) = 0;

  // Whether the document asks for a password before it may be changed.
  virtual bool hasWritePassword() = 0;
  // Word's WritePasswordDocument at open: whether password lifts the write password (any
  // password does when there is none). A hash form the engine cannot compute is Unsupported.
  virtual bool writePasswordMatches(const std::string& password) = 0;
};

// The document's metadata; Unsupported when its back end has not built them.
MetadataDocument& metadata(Document& doc);

}  // namespace vm::word
