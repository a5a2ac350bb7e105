#include "rules/replacerules.h"

#include <QFile>
#include <QMutexLocker>
#include <QSaveFile>
#include <QStringConverter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "app/messages.h"

namespace vm::rules {

namespace {

Refusal refusal(const QString& text) { return {msg::titleError(), text}; }

}  // namespace

bool isPictureReference(const QString& value) {
  return value.contains(kImgOpen) && value.contains(kImgClose);
}

QString picturePath(const QString& value) {
  QString path = value;
  path.remove(kImgOpen);
  path.remove(kImgClose);
  return path;
}

QString pictureReference(const QString& path) { return kImgOpen + path + kImgClose; }

QString trimBlanks(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  return text.mid(begin, end - begin);
}

std::optional<Refusal> checkDiffer(const QString& find, const QString& replacement) {
  if (trimBlanks(replacement) == trimBlanks(find)) return refusal(QStringLiteral("要替换的和被替换为内容不允许相同！"));
  return std::nullopt;
}

// --- ReplaceRules ---------------------------------------------------------------------------

ReplaceRules::ReplaceRules(QObject* parent) : QObject(parent) {}

int ReplaceRules::count() const {
  QMutexLocker lock(&mutex_);
  return static_cast<int>(rules_.size());
}

int ReplaceRules::tickedCount() const {
  QMutexLocker lock(&mutex_);
  return static_cast<int>(std::count_if(rules_.begin(), rules_.end(), [](const Rule& r) { return r.ticked; }));
}

Rule ReplaceRules::at(int index) const {
  QMutexLocker lock(&mutex_);
  return rules_.at(index);
}

QList<Rule> ReplaceRules::rules() const {
  QMutexLocker lock(&mutex_);
  return rules_;
}

int ReplaceRules::indexOf(const QString& find) const {
  QMutexLocker lock(&mutex_);
  for (qsizetype i = 0; i < rules_.size(); ++i)
    if (rules_[i].find == find) return static_cast<int>(i);
  return -1;
}

std::optional<Refusal> ReplaceRules::checkAdd(const QString& find, const QString& replacement) const {
  const QString f = trimBlanks(find);
  const QString t = trimBlanks(replacement);
  if (f.isEmpty()) return refusal(QStringLiteral("请输入要替换的内容！"));
  if (auto r = checkDiffer(f, t)) return r;
  if (indexOf(f) >= 0) return refusal(QStringLiteral("该规则已被添加过，请不要重复添加！"));
  return std::nullopt;
}

std::optional<Refusal> ReplaceRules::add(const QString& find, const QString& replacement) {
  if (auto r = checkAdd(find, replacement)) return r;
  {
    QMutexLocker lock(&mutex_);
    rules_.append({trimBlanks(find), trimBlanks(replacement), true});
  }
  emit changed();
  return std::nullopt;
}

std::optional<Refusal> ReplaceRules::checkModify(int index, const QString& replacement) const {
  return checkDiffer(at(index).find, replacement);
}

std::optional<Refusal> ReplaceRules::modify(int index, const QString& replacement) {
  if (auto r = checkModify(index, replacement)) return r;
  {
    QMutexLocker lock(&mutex_);
    rules_[index].replacement = trimBlanks(replacement);
  }
  emit changed();
  return std::nullopt;
}

void ReplaceRules::setTicked(int index, bool ticked) {
  {
    QMutexLocker lock(&mutex_);
    if (rules_.at(index).ticked == ticked) return;
    rules_[index].ticked = ticked;
  }
  emit changed();
}

void ReplaceRules::setAllTicked(bool ticked) {
  {
    QMutexLocker lock(&mutex_);
    for (Rule& r : rules_) r.ticked = ticked;
  }
  emit changed();
}

void ReplaceRules::invertTicks() {
  {
    QMutexLocker lock(&mutex_);
    for (Rule& r : rules_) r.ticked = !r.ticked;
  }
  emit changed();
}

int ReplaceRules::removeTicked() {
  qsizetype removed = 0;
  {
    QMutexLocker lock(&mutex_);
    removed = rules_.removeIf([](const Rule& r) { return r.ticked; });
  }
  if (removed > 0) emit changed();
  return static_cast<int>(removed);
}

void ReplaceRules::clear() { setRules({}); }

void ReplaceRules::setRules(const QList<Rule>& rules) {
  {
    QMutexLocker lock(&mutex_);
    rules_ = rules;
  }
  emit changed();
}

// --- The rule file --------------------------------------------------------------------------

QString RuleFileError::text() const {
  return line > 0 ? refusal.text + QStringLiteral("（第 %1 行）").arg(line) : refusal.text;
}

QString RuleFileError::toString() const { return refusal.title + QStringLiteral(": ") + text(); }

std::optional<RuleFileError> importRules(const QString& text, ReplaceRules& into, QStringList* skipped) {
  // Validate against a scratch list that starts as a copy, so that duplicates within the
  // file and against the existing rules are both refused, and into changes only at the end.
  ReplaceRules scratch;
  scratch.setRules(into.rules());
  QString body = text;
  if (body.startsWith(QChar(0xFEFF))) body.remove(0, 1);
  const QStringList lines = body.split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i) + 1;
    QString line = lines[i];
    if (line.endsWith(u'\r')) line.chop(1);
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    const QStringList cols = line.split(u'\t');
    if (cols.size() < 2)
      return RuleFileError{lineNo, refusal(QStringLiteral("缺少制表符：要替换的内容和被替换为之间须以制表符分隔。"))};
    if (cols.size() > 3) return RuleFileError{lineNo, refusal(QStringLiteral("列数过多：每行最多三列。"))};
    bool ticked = true;
    if (cols.size() == 3) {
      const QString flag = cols[2].trimmed();
      if (flag == u"0")
        ticked = false;
      else if (!flag.isEmpty() && flag != u"1")
        return RuleFileError{lineNo, refusal(QStringLiteral("第三列只能是 0 或 1。"))};
    }
    // A rule already there (in the list or earlier in the file): skipped and told, where the
    // caller takes such a report.
    if (skipped && scratch.indexOf(trimBlanks(cols[0])) >= 0) {
      *skipped << QStringLiteral("第 %1 行“%2”与已有规则重复，已跳过").arg(lineNo).arg(trimBlanks(cols[0]));
      continue;
    }
    // into's own checks first: a stricter list (the filename rules) refuses what it must.
    if (auto r = into.checkAdd(cols[0], cols[1])) return RuleFileError{lineNo, *r};
    if (auto r = scratch.add(cols[0], cols[1])) return RuleFileError{lineNo, *r};
    if (!ticked) scratch.setTicked(scratch.count() - 1, false);
  }
  into.setRules(scratch.rules());
  return std::nullopt;
}

namespace {
constexpr qint64 kMaxRuleFileBytes = 16 * 1024 * 1024;
}  // namespace

std::optional<RuleFileError> importRuleFile(const QString& path, ReplaceRules& into, QStringList* skipped) {
  // Only a regular file, opened without blocking (a FIFO would hang) and read within a cap (a
  // device such as /dev/zero never ends).
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    return RuleFileError{0, refusal(QStringLiteral("无法读取规则文件（不存在或不是普通文件）：%1").arg(path))};
  }
  QFile file;
  if (st.st_size > kMaxRuleFileBytes || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (!file.isOpen()) ::close(fd);
    return RuleFileError{0, refusal(QStringLiteral("规则文件过大（超过 16 MB）：%1").arg(path))};
  }
  const QByteArray bytes = file.read(kMaxRuleFileBytes + 1);
  if (bytes.size() > kMaxRuleFileBytes)
    return RuleFileError{0, refusal(QStringLiteral("规则文件过大（超过 16 MB）：%1").arg(path))};
  auto decode = QStringDecoder(QStringDecoder::Utf8);
  QString text = decode(bytes);
  if (decode.hasError()) {
    // What Notepad on a Chinese desktop saves as "ANSI".
    auto gb = QStringDecoder("GB18030");
    text = gb.isValid() ? gb(bytes) : QString();
    if (!gb.isValid() || gb.hasError())
      return RuleFileError{0, refusal(QStringLiteral("规则文件不是 UTF-8 或 GB18030 文本：%1").arg(path))};
  }
  return importRules(text, into, skipped);
}

std::optional<QString> exportRules(const QList<Rule>& rules, Refusal* problem) {
  QString out;
  for (const Rule& r : rules) {
    auto unfit = [](const QString& s) { return s.contains(u'\t') || s.contains(u'\n') || s.contains(u'\r'); };
    QString why;
    if (r.find.startsWith(u'#'))
      why = QStringLiteral("要替换的内容以 # 开头");
    else if (unfit(r.find) || unfit(r.replacement))
      why = QStringLiteral("含有制表符或换行符");
    if (!why.isEmpty()) {
      if (problem) *problem = refusal(QStringLiteral("规则“%1”无法导出：%2。").arg(r.find, why));
      return std::nullopt;
    }
    out += r.find + u'\t' + r.replacement;
    if (!r.ticked) out += QStringLiteral("\t0");
    out += u'\n';
  }
  return out;
}

bool exportRuleFile(const QString& path, const QList<Rule>& rules, Refusal* problem) {
  const auto text = exportRules(rules, problem);
  if (!text) return false;
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(text->toUtf8());
    if (file.commit()) return true;
  }
  if (problem) *problem = refusal(QStringLiteral("无法写入规则文件：%1").arg(path));
  return false;
}

}  // namespace vm::rules
