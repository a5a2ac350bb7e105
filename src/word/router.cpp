#include <mutex>

#include "word/document.h"
#include "word/docx/docxdocument.h"
#include "word/docx/package.h"
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

std::string featureIds(FeatureSet features) {
  static const char* const names[] = {"MainText", "HeaderFooter", "Comments", "Notes", "TextBoxes", "Layout",
                                      "InsertFile", "Convert", "WritePassword", "Properties", "Render", "Cleanup"};
  static_assert(sizeof names / sizeof *names == kFeatureCount);
  std::string out;
  for (Feature f : features.list()) out += (out.empty() ? "" : ", ") + std::string(names[static_cast<int>(f)]);
  return out;
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
  FeatureSet wanted = options.features;
  if (options.need == Need::Layout) wanted = wanted | FeatureSet{Feature::Layout};
  const bool package = isWordPackage(path) || docx::isPackageFile(path);  // also a .docx named .doc
  auto docx = docxBackend();
  if (package && docx->features().covers(wanted)) return docx->open(path, options);
  auto office = officeBackend();
  const bool officeUp = office && office->available();
  if (officeUp && office->features().covers(wanted)) return office->open(path, options);

  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw EngineError(ErrorCode::FileNotFound, path.string());
  if (officeUp) {
    std::string detail = path.string() + ": the office back end lacks " + featureIds(office->features().missing(wanted));
    if (package) detail += "; the docx back end lacks " + featureIds(docx->features().missing(wanted));
    throw EngineError(ErrorCode::Unsupported, detail);
  }
  if (package)
    throw EngineError(ErrorCode::OfficeUnavailable,
                      path.string() + ": " + featureIds(docx->features().missing(wanted)) + " needs the office back end");
  throw EngineError(ErrorCode::UnsupportedFormat, path.string() + ": only Word packages without the office back end");
}

}  // namespace vm::word
