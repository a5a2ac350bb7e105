// The split settings: their checks in order, the plan a run reads from them, and the names of
// the new documents.

#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "ops/outputnames.h"
#include "ops/split.h"

namespace vm::ops {

namespace {

// The counts are 16-bit in the window's model; beyond that a run would never end anyway.
constexpr int kMaxCount = 32767;

enum class Number { Empty, NotNumeric, NotWhole, Ok };

// Full-width digits as a Chinese input method types them count as digits.
Number parseCount(const QString& text, double* value) {
  QString t = text.trimmed();
  for (QChar& c : t) {
    const char16_t u = c.unicode();
    if (u >= 0xFF10 && u <= 0xFF19) c = QChar(u - 0xFF10 + '0');
    else if (u == 0xFF0D) c = QLatin1Char('-');
    else if (u == 0xFF0B) c = QLatin1Char('+');
    else if (u == 0xFF0E) c = QLatin1Char('.');
  }
  if (t.isEmpty()) return Number::Empty;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return Number::NotNumeric;
  *value = v;
  return v == std::floor(v) ? Number::Ok : Number::NotWhole;
}

std::optional<QString> maxPagesProblem(const QString& text) {
  double v = 0;
  switch (parseCount(text, &v)) {
    case Number::Empty: return QStringLiteral("请输入单个文档的最大数目！");
    case Number::NotNumeric: return QStringLiteral("单个文档的最大数目必须为数字！");
    case Number::NotWhole: return QStringLiteral("单个文档的最大数目必须为整数！");
    case Number::Ok: break;
  }
  if (v < 0) return QStringLiteral("单个文档的最大数目必须不能小于0！");
  if (v > kMaxCount) return QStringLiteral("单个文档的最大数目不能大于%1！").arg(kMaxCount);
  return std::nullopt;
}

std::optional<QString> perPageProblem(const QString& text) {
  double v = 0;
  switch (parseCount(text, &v)) {
    case Number::Empty: return QStringLiteral("请输入保存新文档的页数！");
    case Number::NotNumeric: return QStringLiteral("保存新文档的页数必须为数字！");
    case Number::NotWhole: return QStringLiteral("保存新文档的页数必须为整数！");
    case Number::Ok: break;
  }
  if (v < 1) return QStringLiteral("保存新文档的页数必须大于0！");
  if (v > kMaxCount) return QStringLiteral("保存新文档的页数不能大于%1！").arg(kMaxCount);
  return std::nullopt;
}

int countOf(const QString& text) {
  double v = 0;
  return parseCount(text, &v) == Number::Ok ? static_cast<int>(v) : 0;
}

}  // namespace

std::optional<QString> maxPagesTypingProblem(const QString& text) {
  double v = 0;
  const Number n = parseCount(text, &v);
  return n == Number::Empty || n == Number::NotNumeric ? maxPagesProblem(text) : std::nullopt;
}

std::optional<QString> splitSettingsProblem(const SplitSettings& s, SplitCheck which) {
  const bool start = which == SplitCheck::Start;
  if (s.folder.trimmed().isEmpty())
    return start ? QStringLiteral("请选择文档拆分后保存文档！") : QStringLiteral("请选择文档分割后保存文档！");
  if (!QFileInfo(s.folder.trimmed()).isDir())
    return start ? QStringLiteral("文档拆分后保存文档路径不正确！") : QStringLiteral("文档分割后保存文档路径不正确！");
  if (auto p = maxPagesProblem(s.maxPages)) return p;
  if (auto p = perPageProblem(s.perPage)) return p;
  if (s.before && s.beforePath.trimmed().isEmpty()) return QStringLiteral("请选择要插入新文档前的文档！");
  if (s.after && s.afterPath.trimmed().isEmpty()) return QStringLiteral("请选择要插入新文档后的文档！");
  // Checked at the start only, so that a missing one is not found again in every document.
  if (start && s.before && !QFileInfo(s.beforePath.trimmed()).isFile())
    return QStringLiteral("要插入新文档前的文档不存在：%1").arg(s.beforePath.trimmed());
  if (start && s.after && !QFileInfo(s.afterPath.trimmed()).isFile())
    return QStringLiteral("要插入新文档后的文档不存在：%1").arg(s.afterPath.trimmed());
  return std::nullopt;
}

SplitPlan splitPlan(const SplitSettings& s) {
  SplitPlan plan;
  plan.folder = outputFolder(s.folder);
  plan.perPage = std::max(1, countOf(s.perPage));
  plan.maxPages = std::max(0, countOf(s.maxPages));
  if (s.before) plan.before = s.beforePath.trimmed();
  if (s.after) plan.after = s.afterPath.trimmed();
  return plan;
}

std::vector<std::pair<int, int>> splitParts(int pages, int perPage) {
  std::vector<std::pair<int, int>> parts;
  if (perPage < 1) perPage = 1;
  for (int first = 1; first <= pages; first += perPage) parts.emplace_back(first, std::min(pages, first + perPage - 1));
  return parts;
}

QString splitOutputName(const QString& folder, const QString& sourcePath, int part) {
  const QString name = QFileInfo(sourcePath).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString base = dot < 0 ? name : name.left(dot);
  const QString ext = dot < 0 ? QString() : name.mid(dot);
  return folder + base + QLatin1Char('_') + QString::number(part) + ext;
}

}  // namespace vm::ops
