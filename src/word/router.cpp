#include <mutex>

#include "word/document.h"

namespace vm::word {

namespace {
std::mutex g_officeMutex;
std::shared_ptr<Backend> g_office;
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
  auto office = officeBackend();
  if (office && office->available()) return office->open(path, options);
  throw EngineError(ErrorCode::UnsupportedFormat, "不支持的文档格式", path.string());
}

}  // namespace vm::word
