#pragma once
// Every engine failure is an EngineError: a code and a detail (file, part, library message)
// for the log. What the user reads comes from one table by code (userText), the same for
// every back end, so an English library message never reaches the user.

#include <stdexcept>
#include <string>

namespace vm::word {

enum class ErrorCode {
  FileNotFound,       // the document does not exist
  Unreadable,         // it exists but cannot be read (permissions, not a regular file)
  NotAZip,            // a .docx that is not a zip package (empty, truncated)
  WrongExtension,     // another format under a Word package's name (.doc, RTF, HTML ...)
  PasswordRequired,   // the document needs an open password
  Encrypted = PasswordRequired,  // old name, still used by the office back end
  NoMainPart,         // the package has no main document part
  DamagedPart,        // a part that cannot be parsed
  UnsupportedFormat,  // no back end reads this file
  Unsupported,        // a story kind or operation this back end has not built; the detail says which
  PictureUnreadable,  // a picture file that is missing or not an image we read
  WriteFailed,        // writing the result failed (permissions, no folder); the original is untouched
  DiskFull,           // writing the result failed for lack of space; the original is untouched
  ReadOnly,           // the document was opened read-only or may not be written
  BadFindText,        // an empty find text or a bad ^ code in the find or replacement text
  InvalidArgument,    // a call the engine cannot honour (closed document, bad index)
  PageOutOfRange,     // a page range outside the document
  OfficeUnavailable,  // the office back end is not installed or cannot be started
  OfficeFailed,       // the office process crashed, hung or refused the call
  LossyRoundTrip,     // the office would write the file without content the operation left alone
  TooLarge,           // beyond the engine's size limits (docx/limits.h): a zip bomb, a huge picture
  TooDeep,            // markup nested beyond the engine's depth limit (docx/limits.h)
  ConcurrentEdit,     // the file changed on disk between opening and saving; not saved
  OpenElsewhere,      // another program (or run) has the document open; not changed
};

// The user's text for a code: Simplified Chinese, one short sentence.
const std::string& userText(ErrorCode code);

class EngineError : public std::runtime_error {
 public:
  EngineError(ErrorCode code, std::string detail)
      : std::runtime_error(userText(code) + (detail.empty() ? "" : ": " + detail)),
        code_(code), detail_(std::move(detail)) {}

  // Legacy form (the office back end until it moves to the one above): the given text is
  // not shown, it joins the detail.
  EngineError(ErrorCode code, const std::string& oldUserText, const std::string& detail)
      : EngineError(code, detail.empty() ? oldUserText : oldUserText + ": " + detail) {}

  // A refusal that names its particulars (LossyRoundTrip: what would be lost): the user reads
  // the given Chinese sentence in place of the table's text.
  static EngineError withParticulars(ErrorCode code, std::string sentence, std::string detail) {
    EngineError e(code, std::move(detail));
    e.user_ = std::move(sentence);
    return e;
  }

  ErrorCode code() const noexcept { return code_; }
  // What the user reads: the table's text for the code (or the particular sentence).
  const std::string& userMessage() const noexcept { return user_.empty() ? userText(code_) : user_; }
  // Technical detail for the log only (path, part name, library message); may be empty.
  const std::string& detail() const noexcept { return detail_; }

 private:
  ErrorCode code_;
  std::string detail_;
  std::string user_;
};

}  // namespace vm::word
