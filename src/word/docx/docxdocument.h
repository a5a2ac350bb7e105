#pragma once
// The docx back end: a .docx/.docm/.dotx/.dotm package edited natively.

#include <filesystem>
#include <memory>

#include "word/document.h"

namespace vm::word::docx {

// Opens a Word package (throws EngineError; the file is never changed by a failed open).
std::unique_ptr<Document> open(const std::filesystem::path& path, const OpenOptions& options = {});

}  // namespace vm::word::docx
