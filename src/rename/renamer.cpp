#include "rename/renamer.h"

#include <QFileInfo>

#include <unistd.h>

#include <filesystem>
#include <memory>

#include "rename/filecopy.h"
#include "word/document.h"

namespace vm::rename {

namespace {

// The first n UTF-16 units, one less when the cut would split a surrogate pair.
QString leftChars(const QString& s, qsizetype n) {
  if (n >= s.size()) return s;
  if (n <= 0) return {};
  if (s[n - 1].isHighSurrogate()) --n;
  return s.left(n);
}

// The longest prefix of whole characters within maxBytes of UTF-8.
QString leftBytes(const QString& s, qsizetype maxBytes) {
  qsizetype bytes = 0;
  qsizetype i = 0;
  while (i < s.size()) {
    const char32_t c = s[i].isHighSurrogate() && i + 1 < s.size() ? QChar::surrogateToUcs4(s[i], s[i + 1]) : s[i].unicode();
    const int units = c > 0xFFFF ? 2 : 1;
    const int width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (bytes + width > maxBytes) break;
    bytes += width;
    i += units;
  }
  return s.left(i);
}

qsizetype utf8Size(const QString& s) { return s.toUtf8().size(); }

QString joinPath(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

QString applyRules(QString text, const QList<rules::Rule>& rules) {
  for (const rules::Rule& r : rules)
    if (r.ticked && !r.find.isEmpty()) text.replace(r.find, r.replacement, Qt::CaseSensitive);
  return text;
}

QString titleSource(word::Story& story, const RenameSettings& s) {
  const std::vector<word::Paragraph> paragraphs = story.paragraphs();
  long long number = 1;
  if (s.numberedParagraph()) number = fieldNumber(s.h).value_or(0);
  if (number < 1 || number > static_cast<long long>(paragraphs.size())) return {};
  const word::Paragraph& p = paragraphs[static_cast<size_t>(number - 1)];
  std::int64_t start = p.start;
  std::int64_t end = p.end;
  if (s.byOffsets()) {
    start = p.start + fieldNumber(s.s).value_or(0);
    end = p.start + fieldNumber(s.e).value_or(0);
  }
  const std::int64_t storyEnd = paragraphs.back().end;
  if (start < 0 || end > storyEnd || start > end) return {};
  return QString::fromStdString(story.text(start, end));
}

QString makeTitle(QString text, const QList<rules::Rule>& rules, const RenameSettings& s) {
  text.remove(QStringLiteral("\r\n"));
  text.remove(QLatin1Char('\n'));
  text.remove(QLatin1Char('\r'));
  text = applyRules(text, rules);
  if (text.isEmpty()) text = kNoTitle;
  text = leftChars(text, kTitleMaxLength);
  if (s.byOffsets()) text = leftChars(text, fieldNumber(s.e).value_or(0) - fieldNumber(s.s).value_or(0) + 1);
  return text;
}

QString safeName(QString name) {
  for (QChar& c : name)
    if (c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7F) c = u'_';
  return name;
}

QString fitName(const QString& base, int k, const QString& ext, int limitBytes) {
  const QString number = k >= 2 ? QString::number(k) : QString();
  const qsizetype room = limitBytes - utf8Size(number) - 1;  // the "."
  QString e = ext;
  QString b = base;
  if (utf8Size(b) + utf8Size(e) > room) {
    // The extension keeps at most half the room, the base what is left.
    if (utf8Size(e) > room / 2) e = leftBytes(e, room / 2);
    b = leftBytes(b, room - utf8Size(e));
  }
  QString name = b + number + QLatin1Char('.') + e;
  if (name == QLatin1String(".") || name == QLatin1String("..")) name.prepend(QLatin1Char('_'));
  return name;
}

int nameLimit(const QString& folder) {
  const long n = ::pathconf(folder.toUtf8().constData(), _PC_NAME_MAX);
  return n > 0 && n < 100000 ? static_cast<int>(n) : 255;
}

// --- Renamer ---------------------------------------------------------------------------------

Renamer::Renamer(RenameSettings settings, QList<rules::Rule> rules, bool write)
    : settings_(std::move(settings)), write_(write) {
  settings_.pattern = settings_.pattern.trimmed();
  folder_ = settings_.folder.trimmed();
  for (const rules::Rule& r : rules)
    if (r.ticked) rules_.push_back(r);
  limit_ = nameLimit(folder_);
}

QString Renamer::fillPattern(const QString& source) {
  QString filled = settings_.pattern;
  filled.replace(kTagYear, QString::number(today_().year()));
  filled.replace(kTagMonth, QString::number(today_().month()));
  filled.replace(kTagDay, QString::number(today_().day()));
  if (filled.contains(kTagNumber)) filled.replace(kTagNumber, QString::number(number_++));
  filled.replace(kTagOldName, QFileInfo(source).completeBaseName());
  return filled;
}

QString Renamer::rename(const QString& source) {
  const QString filled = fillPattern(source);
  const qsizetype dot = filled.lastIndexOf(QLatin1Char('.'));
  QString base = dot < 0 ? filled : filled.left(dot);
  // A pattern without an extension keeps the source's.
  const QString ext = dot < 0 ? QFileInfo(source).suffix() : filled.mid(dot + 1);

  word::OpenOptions options;
  options.readOnly = true;
  auto doc = word::open(std::filesystem::path(source.toStdU16String()), options);
  if (base.contains(kTagTitle)) {
    const QString title = makeTitle(titleSource(doc->mainStory(), settings_), rules_, settings_);
    base.replace(kTagTitle, title);
  } else {
    base = applyRules(base, rules_);
  }
  QString target;
  if (write_) {
    // Word's SaveAs without a format keeps the document's own: the copy is the same document,
    // so the file is copied as it is rather than written anew.
    PendingCopy copy(source, folder_);
    for (int k = 1;; ++k) {
      target = joinPath(folder_, fitName(safeName(base), k, safeName(ext), limit_));
      if (reserved_.contains(target)) continue;
      if (copy.place(target)) break;
    }
  } else {
    for (int k = 1;; ++k) {
      target = joinPath(folder_, fitName(safeName(base), k, safeName(ext), limit_));
      std::error_code ec;
      if (reserved_.contains(target) || std::filesystem::symlink_status(target.toStdU16String(), ec).type() !=
                                            std::filesystem::file_type::not_found)
        continue;
      break;
    }
  }
  reserved_.insert(target);
  doc->close();
  return target;
}

}  // namespace vm::rename
