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
    throw EngineError(ErrorCode::FileNotFound, "找不到文档", path.string());
  if (isWordPackage(path))
    throw EngineError(ErrorCode::OfficeUnavailable, "此操作需要 LibreOffice，但没有安装",
                      path.string() + ": layout work needs the office back end");
  throw EngineError(ErrorCode::UnsupportedFormat,
                    "不支持的文档格式：只能处理 .docx 文档（处理 .doc 等格式需要安装 LibreOffice）", path.string());
}

}  // namespace vm::word
