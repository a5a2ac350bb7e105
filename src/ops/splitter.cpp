// The splitter: one source document walked page by page into new documents of P pages, in
// page order (each page after the ones before it), each with the before-document ahead of every
// page, the after-document at its end and page breaks up to the budget, saved under its
// numbered name in the source's format.

#include <QFileInfo>
#include <QTemporaryDir>

#include "ops/split.h"
#include "word/error.h"
#include "word/layout.h"

namespace vm::ops {

namespace {

namespace fs = std::filesystem;

fs::path toPath(const QString& s) { return fs::path(s.toStdU16String()); }

// The new documents are written in the format their extension names.
word::SaveFormat formatFor(const QString& outputName) {
  const QString ext = QFileInfo(outputName).suffix().toLower();
  if (ext == QLatin1String("doc") || ext == QLatin1String("dot")) return word::SaveFormat::Doc;
  if (ext == QLatin1String("rtf")) return word::SaveFormat::Rtf;
  return word::SaveFormat::Docx;
}

word::LayoutDocument& laid(word::Document& d) {
  word::LayoutDocument* l = word::layout(d);
  if (!l) throw word::EngineError(word::ErrorCode::Unsupported, d.path().string() + ": no page layout");
  return *l;
}

// Pages first..last as a new document. With a before-document every page gets it ahead of it:
// the pages after the first go through a scratch copy that is inserted at the end.
std::unique_ptr<word::Document> partPages(word::LayoutDocument& source, int first, int last, const SplitPlan& plan,
                                          const QString& scratch) {
  if (plan.before.isEmpty()) return source.copyPages(first, last);
  auto part = source.copyPages(first, first);
  laid(*part).insertDocument(toPath(plan.before), true);
  for (int page = first + 1; page <= last; ++page) {
    auto one = source.copyPages(page, page);
    laid(*one).insertDocument(toPath(plan.before), true);
    const fs::path copy = toPath(scratch) / ("page" + std::to_string(page) + ".odt");
    one->saveAs(copy, word::SaveFormat::Same);
    one->close();
    laid(*part).insertDocument(copy);
    fs::remove(copy);
  }
  return part;
}

}  // namespace

QString splitDocument(const QString& sourcePath, const SplitPlan& plan) {
  word::OpenOptions options;
  options.features = {word::Feature::Layout};
  options.readOnly = true;  // only read
  auto source = word::open(toPath(sourcePath), options);
  word::LayoutDocument& pages = laid(*source);
  const auto parts = splitParts(pages.pageCount(), plan.perPage);
  std::unique_ptr<QTemporaryDir> scratch;
  if (!plan.before.isEmpty() && plan.perPage > 1) {
    scratch = std::make_unique<QTemporaryDir>();
    if (!scratch->isValid()) throw std::runtime_error("无法创建临时文件夹，文档未拆分");
  }
  QStringList written;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto [first, last] = parts[i];
    const QString target = splitOutputName(plan.folder, sourcePath, static_cast<int>(i) + 1);
    try {
      auto part = partPages(pages, first, last, plan, scratch ? scratch->path() : QString());
      word::LayoutDocument& l = laid(*part);
      if (!plan.after.isEmpty()) l.insertDocument(toPath(plan.after));
      for (int n = plan.maxPages - l.pageCount(); n > 0; --n) l.insertPageBreak();
      part->saveAs(toPath(target), formatFor(target));
      part->close();
    } catch (const word::EngineError& e) {
      QString text = QStringLiteral("第 %1 个新文档（第 %2–%3 页）未能生成：%4")
                         .arg(i + 1)
                         .arg(first)
                         .arg(last)
                         .arg(QString::fromStdString(e.userMessage()));
      if (!written.isEmpty()) text += QStringLiteral("；已生成 %1").arg(written.join(QStringLiteral("、")));
      throw std::runtime_error(text.toStdString());
    }
    written << QFileInfo(target).fileName();
  }
  source->close();
  const int pageCount = parts.empty() ? 0 : parts.back().second;
  return QStringLiteral("%1 页，拆分为 %2 个文档：%3")
      .arg(pageCount)
      .arg(written.size())
      .arg(written.size() > 1 ? written.front() + QStringLiteral(" 至 ") + written.back() : written.value(0));
}

}  // namespace vm::ops
