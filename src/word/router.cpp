#include <mutex>

#include "word/document.h"
#include "word/docx/docxdocument.h"
#include "word/docx/unicase.h"

namespace vm::word {

namespace {
std::mutex g_officeMutex;
std::shared_ptr<Backend> g_office;

// Word packages by extension; their content is checked when they are opened.
bool isWordPackage(const std::filesystem::path& path) {
  std::string ext = docx::asciiLower(path.extension().string());
  return ext == ".docx" || ext == ".docm" || ext == ".dotx" || ext == ".dotm";
}
}  // namespace

void setOfficeBackend(std::shared_ptr<Backend> backend) {
  std::lock_guard lock(g_officeMutex);
  g_office = std::move(backend);
}

std::shared_ptr<Backend> officeBackend() {
  std::lock_guard lock(g_officeMutex);
  return g_office;
}

std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options) {
  if (options.need == Need::Content && isWordPackage(path)) return docx::open(path, options);
  auto office = officeBackend();
  if (office && office->available()) return office->open(path, options);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw EngineError(ErrorCode::FileNotFound, path.string());
  if (isWordPackage(path))
    throw EngineError(ErrorCode::OfficeUnavailable, path.string() + ": layout work needs the office back end");
  throw EngineError(ErrorCode::UnsupportedFormat, path.string() + ": only Word packages without the office back end");
}

}  // namespace vm::word
