#include "ops/merge.h"

#include <QFileInfo>

#include <cmath>
#include <memory>
#include <stdexcept>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/messages.h"
#include "app/operation.h"
#include "word/features.h"
#include "word/merge.h"

namespace vm::ops {

namespace {

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdU16String()); }

}  // namespace

std::optional<double> mergeBudget(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  return ok ? std::optional<double>(v) : std::nullopt;
}

std::optional<int> mergeGroupSize(const QString& text) {
  const std::optional<double> v = mergeBudget(text);
  if (!v || *v != std::floor(*v) || *v > 32767 || *v < -32768) return std::nullopt;
  return static_cast<int>(*v);
}

std::optional<MergeProblem> mergeSettingsProblem(const MergeSettings& s, bool start) {
  auto inWindow = [](const char* text) { return MergeProblem{QString::fromUtf8(text), true}; };
  const QString target = s.target.trimmed();
  if (target.isEmpty()) return inWindow("请选择文档合并后保存文档！");
  if (!QFileInfo(target).isFile())
    return inWindow(start ? "文档合并后保存文档不存在！" : "文档合并后保存文档路径不正确！");
  if (s.mode != 0 && s.mode != 1) return inWindow("请选择文档合并方式！");
  if (s.mode == 1) {
    if (s.perText.trimmed().isEmpty()) return inWindow("请输入合并文档的数目！");
    const std::optional<int> n = mergeGroupSize(s.perText);
    if (!n) return inWindow("合并文档的数目类型错误！");
    if (*n < 0) return inWindow(start ? "合并文档的数目不能小于0！" : "合并文档的数目必须不能小于0！");
    // Zero documents per merged document would never close a group.
    if (*n == 0) return inWindow("合并文档的数目必须大于0！");
  }
  if (s.maxPagesText.trimmed().isEmpty()) return inWindow("请输入单个文档的最大数目！");
  const std::optional<double> budget = mergeBudget(s.maxPagesText);
  if (!budget) return inWindow("单个文档的最大数目必须为数字！");
  if (*budget < 0) return inWindow(start ? "单个文档的最大数目不能小于0！" : "单个文档的最大数目必须不能小于0！");
  auto side = [start](bool on, const QString& path, const char* empty, const char* missing) -> std::optional<MergeProblem> {
    if (!on) return std::nullopt;
    if (path.trimmed().isEmpty()) return MergeProblem{QString::fromUtf8(empty), !start};
    if (start && !QFileInfo(path.trimmed()).isFile()) return MergeProblem{QString::fromUtf8(missing), false};
    return std::nullopt;
  };
  if (auto p = side(s.before, s.beforePath, "请选择要插入新文档前的文档！", "插入新文档前的文档路径不存在！")) return p;
  if (auto p = side(s.after, s.afterPath, "请选择要插入新文档后的文档！", "插入新文档后的文档路径不存在！")) return p;
  return std::nullopt;
}

QString numberedMergeName(const QString& target, int group) {
  // Only the file name's extension counts: a dot in a folder name is not one.
  const qsizetype slash = target.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = target.lastIndexOf(QLatin1Char('.'));
  const QString n = QStringLiteral("_") + QString::number(group);
  if (dot <= slash + 1) return target + n;
  return target.left(dot) + n + target.mid(dot);
}

int paddingBreaks(double budget, int span) {
  if (budget <= 0) return 0;
  const double k = std::nearbyint(budget - span - 2);  // rounds half to even, as Word's CInt
  return k >= 0 ? static_cast<int>(k) + 1 : 0;
}

namespace {

// One run: the merged document in hand and where the grouping stands.
struct MergeRun {
  MergeSettings s;
  QString target;
  double budget = 0;
  int per = 0;  // 0: one document
  bool native = false;
  QString lastEntryPath;  // the list's last entry: no page break after it
  std::unique_ptr<word::MergedDocument> merged;
  int group = 1, ordinal = 1;
  QStringList written;

  void open() { merged = word::MergedDocument::open(toPath(target), native, per == 0); }
  void saveGroup(word::MergedDocument& m, int n) {
    const QString out = numberedMergeName(target, n);
    m.saveAs(toPath(out));
    written << QFileInfo(out).fileName();
  }
};

}  // namespace

// Whether the docx back end can merge everything natively: the target and each document are
// Word packages.
bool allPackages(const MergeSettings& s, const QVector<DocumentEntry>& entries) {
  auto package = [](const QString& p) { return word::isWordPackage(toPath(p.trimmed())); };
  if (!package(s.target) || (s.before && !package(s.beforePath)) || (s.after && !package(s.afterPath))) return false;
  for (const DocumentEntry& e : entries)
    if (e.ticked && QFileInfo::exists(e.path) && !package(e.path)) return false;
  return true;
}

namespace {

RunSteps mergeSteps(OperationEnv& env) {
  auto run = std::make_shared<MergeRun>();
  run->s = env.app.store<MergeSettings>();
  run->target = QFileInfo(run->s.target.trimmed()).absoluteFilePath();
  run->budget = mergeBudget(run->s.maxPagesText).value_or(0);
  run->per = run->s.mode == 1 ? mergeGroupSize(run->s.perText).value_or(1) : 0;
  const QVector<DocumentEntry> entries = env.app.documents().snapshot();
  run->native = allPackages(run->s, entries);
  if (!entries.isEmpty()) run->lastEntryPath = entries.back().path;
  RunSteps steps;
  steps.begin = [run] { run->open(); };
  steps.perDocument = [run](const QString& path) {
    MergeRun& r = *run;
    if (!r.merged) r.open();  // the last group's save failed: a fresh target
    if (r.s.before) r.merged->insert(toPath(r.s.beforePath.trimmed()), false);
    const int span = r.merged->insert(toPath(path), r.budget > 0);
    for (int k = paddingBreaks(r.budget, span); k > 0; --k) r.merged->insertPageBreak();
    if (r.s.pageBreak && path != r.lastEntryPath) r.merged->insertPageBreak();
    if (r.s.after) r.merged->insert(toPath(r.s.afterPath.trimmed()), false);
    QString line = r.per == 0 ? QStringLiteral("已并入 %1").arg(QFileInfo(r.target).fileName())
                              : QStringLiteral("已并入 %1").arg(QFileInfo(numberedMergeName(r.target, r.group)).fileName());
    const bool groupDone = r.per > 0 && r.ordinal % r.per == 0;
    ++r.ordinal;
    if (groupDone) {
      // Handed over first: after a failed save the next document starts the next group afresh.
      auto merged = std::move(r.merged);
      r.saveGroup(*merged, r.group++);
      merged->close();
      r.open();
    }
    return line;
  };
  steps.finish = [run](bool) {
    MergeRun& r = *run;
    if (!r.merged) r.open();
    if (r.per == 0)
      r.merged->saveAs(toPath(r.target));
    else
      r.saveGroup(*r.merged, r.group);
    r.merged->close();
    r.merged.reset();
    if (r.per == 0) return QStringLiteral("合并结果已保存到 %1").arg(r.target);
    return QStringLiteral("合并结果：%1").arg(r.written.join(QStringLiteral("、")));
  };
  return steps;
}

}  // namespace

}  // namespace vm::ops

VM_OPERATION(merge) {
  using namespace vm;
  OperationDecl d;
  d.id = QString::fromLatin1(ops::kMergeOperationId);
  d.title = QStringLiteral("文档合并");
  d.menuItems = {QStringLiteral("m_hbsz_start")};
  d.settingsItems = {QStringLiteral("m_hbsz")};
  // The docx back end merges Word packages alone; what needs the office is checked at the start.
  d.features = {word::Feature::MainText};
  d.initialCount = 0;
  d.independent = false;  // one target, in list order
  d.resume = Resume::FromNext;
  const QString window = QStringLiteral("m_hbsz");
  d.checks = {
      requireTickedDocuments(),
      [window](OperationEnv& env) -> std::optional<Refusal> {
        if (auto p = ops::mergeSettingsProblem(env.app.store<ops::MergeSettings>(), true))
          return Refusal{msg::titleError(), p->text, p->fixInWindow ? window : QString()};
        return std::nullopt;
      },
      // Page counts, and documents other than Word packages, need the office.
      [](OperationEnv& env) -> std::optional<Refusal> {
        const ops::MergeSettings& s = env.app.store<ops::MergeSettings>();
        const bool layout = word::installedFeatures().has(word::Feature::Layout);
        if (layout) return std::nullopt;
        if (ops::mergeBudget(s.maxPagesText).value_or(0) > 0)
          return Refusal{msg::titleRefused(),
                         QStringLiteral("按最大页数补足页面需要 LibreOffice 计算页数，当前没有安装。请安装 LibreOffice，"
                                        "或把单个文档的最大页数设为0。"),
                         {}};
        if (!ops::allPackages(s, env.app.documents().snapshot()))
          return Refusal{msg::titleRefused(),
                         QStringLiteral("合并 .doc 等非 .docx 文档需要 LibreOffice，当前没有安装。"), {}};
        return std::nullopt;
      },
  };
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("文档操作"),
                    QStringLiteral("你确认开始批量合并文档了吗？\n"
                                   "你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
  };
  d.prepare = [](OperationEnv& env) { return ops::mergeSteps(env); };
  d.cli.name = QStringLiteral("merge");
  d.cli.synopsis =
      QStringLiteral("--target FILE [--per N] [--max-pages B] [--before FILE] [--after FILE] [--page-break] PATH...");
  d.cli.summary = QStringLiteral("merge the documents into FILE, or into FILE_1, FILE_2 ... of N each (批量合并文档)");
  d.cli.options = {
      {QStringLiteral("target"), true, QStringLiteral("FILE"),
       QStringLiteral("the merge target (an existing document); without --per the result replaces it"), true},
      {QStringLiteral("per"), true, QStringLiteral("N"),
       QStringLiteral("N documents per result, written beside FILE as NAME_1.EXT, NAME_2.EXT, ...; FILE stays")},
      {QStringLiteral("max-pages"), true, QStringLiteral("B"),
       QStringLiteral("pad each document with page breaks to B pages (0: off, the default; needs LibreOffice)")},
      {QStringLiteral("before"), true, QStringLiteral("FILE"), QStringLiteral("insert FILE before every document")},
      {QStringLiteral("after"), true, QStringLiteral("FILE"), QStringLiteral("insert FILE after every document")},
      {QStringLiteral("page-break"), false, {},
       QStringLiteral("a page break after every document but the list's last")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::MergeSettings& s = env.app.store<ops::MergeSettings>();
    auto absolute = [](const QString& p) { return p.isEmpty() ? p : QFileInfo(p).absoluteFilePath(); };
    s.target = absolute(values.value(QStringLiteral("target")));
    s.mode = values.has(QStringLiteral("per")) ? 1 : 0;
    s.perText = values.value(QStringLiteral("per"));
    s.maxPagesText = values.value(QStringLiteral("max-pages"), QStringLiteral("0"));
    s.before = values.has(QStringLiteral("before"));
    s.beforePath = absolute(values.value(QStringLiteral("before")));
    s.after = values.has(QStringLiteral("after"));
    s.afterPath = absolute(values.value(QStringLiteral("after")));
    s.pageBreak = values.has(QStringLiteral("page-break"));
    return std::nullopt;
  };
  return d;
}
