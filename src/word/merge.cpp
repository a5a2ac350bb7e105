#include "word/merge.h"

#include <vector>

#include "word/docx/compose.h"
#include "word/docx/package.h"
#include "word/document.h"
#include "word/layout.h"
#include "word/safesave.h"

namespace vm::word {

namespace fs = std::filesystem;

namespace {

// The native merge measures in the office what Word's page numbers would say: since the last
// page break it keeps the target open there with what was inserted since (a document that
// starts on a page that other text begins spans more than its own pages when it spills).
class NativeMerge final : public MergedDocument {
 public:
  NativeMerge(const fs::path& target, bool writesTarget)
      : target_(target), lock_(writesTarget ? DocumentLock::acquire(target) : nullptr), composer_(target) {}
  ~NativeMerge() override { closeMirror(); }
  int insert(const fs::path& document, bool measure) override {
    // Measured first: a document the office cannot read fails before the merge changes.
    int span = 0;
    if (measure) {
      LayoutDocument& l = mirror();
      const int before = l.pageAtPoint();
      l.insertDocumentAtPoint(document);
      span = l.pageAtPoint() - before;
    } else if (mirror_) {
      layout(*mirror_)->insertDocumentAtPoint(document);
    }
    composer_.append(document);
    sinceBreak_.push_back(document);
    return span;
  }
  void insertPageBreak() override {
    composer_.appendPageBreak();
    sinceBreak_.clear();
    closeMirror();  // what follows starts a page: measured afresh
  }
  void saveAs(const fs::path& path) override { composer_.save(path); }
  void close() override {
    closeMirror();
    lock_.reset();
  }

 private:
  LayoutDocument& mirror() {
    if (!mirror_) {
      OpenOptions options;
      options.features = {Feature::Layout, Feature::InsertFile};
      options.readOnly = true;
      mirror_ = word::open(target_, options);
      for (const fs::path& p : sinceBreak_) layout(*mirror_)->insertDocumentAtPoint(p);
    }
    return *layout(*mirror_);
  }
  void closeMirror() {
    if (mirror_) mirror_->close();
    mirror_.reset();
  }
  fs::path target_;
  std::unique_ptr<DocumentLock> lock_;  // before the composer reads the target
  docx::Composer composer_;
  std::unique_ptr<Document> mirror_;  // the office's copy since the last page break
  std::vector<fs::path> sinceBreak_;
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
