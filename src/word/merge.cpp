#include "word/merge.h"

#include "word/docx/compose.h"
#include "word/docx/package.h"
#include "word/document.h"
#include "word/layout.h"
#include "word/safesave.h"

namespace vm::word {

namespace fs = std::filesystem;

namespace {

// The office's page count of a document on its own.
int pagesOf(const fs::path& document) {
  OpenOptions options;
  options.features = {Feature::Layout};
  options.readOnly = true;
  auto doc = word::open(document, options);
  int n = layout(*doc)->pageCount();
  doc->close();
  return n;
}

class NativeMerge final : public MergedDocument {
 public:
  NativeMerge(const fs::path& target, bool writesTarget)
      : lock_(writesTarget ? DocumentLock::acquire(target) : nullptr), composer_(target) {}
  int insert(const fs::path& document, bool measure) override {
    // Measured first: a document the office cannot read fails before the merge changes.
    // The text before it ends a page (page breaks do that), so it spans its own pages.
    int span = measure ? pagesOf(document) - 1 : 0;
    composer_.append(document);
    return span;
  }
  void insertPageBreak() override { composer_.appendPageBreak(); }
  void saveAs(const fs::path& path) override { composer_.save(path); }
  void close() override { lock_.reset(); }

 private:
  std::unique_ptr<DocumentLock> lock_;  // before the composer reads the target
  docx::Composer composer_;
};

class OfficeMerge final : public MergedDocument {
 public:
  OfficeMerge(const fs::path& target, bool writesTarget) : target_(target) {
    OpenOptions options;
    options.features = {Feature::MainText, Feature::Layout, Feature::InsertFile};
    options.readOnly = !writesTarget;
    doc_ = word::open(target, options);
    layout_ = layout(*doc_);
    if (!layout_) throw EngineError(ErrorCode::Unsupported, target.string() + ": inserting documents");
  }
  ~OfficeMerge() override { close(); }
  int insert(const fs::path& document, bool measure) override {
    int before = measure ? layout_->pageAtPoint() : 0;
    layout_->insertDocumentAtPoint(document);
    return measure ? layout_->pageAtPoint() - before : 0;
  }
  void insertPageBreak() override { layout_->insertPageBreakAtPoint(); }
  void saveAs(const fs::path& path) override {
    std::error_code ec;
    if (fs::equivalent(path, target_, ec))
      doc_->save();
    else
      doc_->saveAs(path);
  }
  void close() override {
    if (doc_) doc_->close();
  }

 private:
  fs::path target_;
  std::unique_ptr<Document> doc_;
  LayoutDocument* layout_ = nullptr;
};

}  // namespace

bool isWordPackage(const fs::path& path) { return docx::isPackageFile(path); }

std::unique_ptr<MergedDocument> MergedDocument::open(const fs::path& target, bool native, bool writesTarget) {
  if (native) return std::make_unique<NativeMerge>(target, writesTarget);
  return std::make_unique<OfficeMerge>(target, writesTarget);
}

}  // namespace vm::word
