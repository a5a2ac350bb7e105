#pragma once
// Every engine failure is an EngineError: a short Chinese sentence for the user and a
// detail (file, part, library message) for the log.

#include <stdexcept>
#include <string>

namespace vm::word {

enum class ErrorCode {
  FileNotFound,       // the document does not exist or cannot be read
  NotAZip,            // a .docx that is not a zip package (mislabelled or truncated)
  Encrypted,          // an OLE compound file where a package was expected: password protected
  NoMainPart,         // the package has no main document part
  DamagedPart,        // a part that cannot be parsed
  UnsupportedFormat,  // no back end for this file or operation
  PictureUnreadable,  // a picture file that is missing or not an image we read
  WriteFailed,        // writing the result failed (disk full, permissions); the original is untouched
  InvalidArgument,    // e.g. an empty find text
  OfficeUnavailable,  // the office back end is not installed or cannot be started
  OfficeFailed,       // the office process crashed, hung or refused the call
};

class EngineError : public std::runtime_error {
 public:
  EngineError(ErrorCode code, std::string userMessage, std::string detail)
      : std::runtime_error(userMessage + (detail.empty() ? "" : ": " + detail)),
        code_(code), user_(std::move(userMessage)), detail_(std::move(detail)) {}

  ErrorCode code() const noexcept { return code_; }
  // Simplified Chinese, one short sentence, shown to the user and written to the log.
  const std::string& userMessage() const noexcept { return user_; }
  // Technical detail for the log (path, part name, library message); may be empty.
  const std::string& detail() const noexcept { return detail_; }

 private:
  ErrorCode code_;
  std::string user_;
  std::string detail_;
};

}  // namespace vm::word
