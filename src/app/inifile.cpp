#include "app/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace vm {

namespace {

// Splits the file into lines (LF or CR LF), dropping a UTF-8 byte-order mark.
QStringList readLines(const QString& path, bool* ok) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    *ok = false;
    return {};
  }
  *ok = true;
  QByteArray data = f.readAll();
  if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
  QString text = QString::fromUtf8(data);
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& l : lines)
    if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

bool isSection(const QString& trimmed, QString* name) {
  if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
    *name = trimmed.mid(1, trimmed.size() - 2).trimmed();
    return true;
  }
  return false;
}

bool isComment(const QString& trimmed) {
  return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

// "key=value" -> key (trimmed) and the raw value (trimmed).
bool splitKey(const QString& line, QString* key, QString* value) {
  const int eq = line.indexOf(QLatin1Char('='));
  if (eq < 0) return false;
  *key = line.left(eq).trimmed();
  *value = line.mid(eq + 1).trimmed();
  return true;
}

bool needsQuotes(const QString& v) {
  if (v.isEmpty()) return false;
  if (v.contains(QLatin1Char('\n')) || v.contains(QLatin1Char('\r'))) return true;
  if (v.front().isSpace() || v.back().isSpace()) return true;
  if (v.size() >= 2 && v.front() == QLatin1Char('"') && v.back() == QLatin1Char('"')) return true;
  if (v == QLatin1String("\"")) return true;
  return false;
}

QString encodeValue(const QString& v) {
  if (!needsQuotes(v)) return v;
  QString out = QStringLiteral("\"");
  for (QChar c : v) {
    switch (c.unicode()) {
      case '\\': out += QLatin1String("\\\\"); break;
      case '"': out += QLatin1String("\\\""); break;
      case '\n': out += QLatin1String("\\n"); break;
      case '\r': out += QLatin1String("\\r"); break;
      default: out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

QString decodeValue(const QString& raw) {
  if (raw.size() < 2 || raw.front() != QLatin1Char('"') || raw.back() != QLatin1Char('"')) return raw;
  QString out;
  const QString body = raw.mid(1, raw.size() - 2);
  for (int i = 0; i < body.size(); ++i) {
    QChar c = body[i];
    if (c == QLatin1Char('\\') && i + 1 < body.size()) {
      const QChar n = body[++i];
      if (n == QLatin1Char('n')) out += QLatin1Char('\n');
      else if (n == QLatin1Char('r')) out += QLatin1Char('\r');
      else out += n;  // \\ and \" (and any other escaped character)
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void IniFile::setIniFile(const QString& path) { path_ = path.trimmed(); }

bool IniFile::exists() const { return !path_.isEmpty() && QFileInfo(path_).isFile(); }

QString IniFile::readIni(const QString& section, const QString& key) const {
  if (path_.isEmpty()) return {};
  bool ok = false;
  const QStringList lines = readLines(path_, &ok);
  if (!ok) return {};
  bool inSection = false;
  for (const QString& line : lines) {
    const QString t = line.trimmed();
    QString name;
    if (isSection(t, &name)) {
      inSection = name.compare(section, Qt::CaseInsensitive) == 0;
      continue;
    }
    if (!inSection || isComment(t)) continue;
    QString k, v;
    if (splitKey(line, &k, &v) && k.compare(key, Qt::CaseInsensitive) == 0) return decodeValue(v);
  }
  return {};
}

bool IniFile::writeIni(const QString& section, const QString& key, const QString& value) const {
  if (path_.isEmpty() || section.trimmed().isEmpty() || key.trimmed().isEmpty()) return false;
  if (key.contains(QLatin1Char('=')) || key.contains(QLatin1Char('\n'))) return false;
  bool ok = false;
  QStringList lines = readLines(path_, &ok);
  if (!ok) {
    if (QFileInfo::exists(path_)) return false;  // there but unreadable: leave it alone
    lines.clear();
  }
  const QString newLine = key.trimmed() + QLatin1Char('=') + encodeValue(value);
  int sectionStart = -1, sectionEnd = -1, keyLine = -1;
  bool inSection = false;
  for (int i = 0; i < lines.size(); ++i) {
    const QString t = lines[i].trimmed();
    QString name;
    if (isSection(t, &name)) {
      if (inSection) {  // the next section ends ours
        inSection = false;
        if (sectionEnd < 0) sectionEnd = i;
      }
      if (sectionStart < 0 && name.compare(section, Qt::CaseInsensitive) == 0) {
        inSection = true;
        sectionStart = i;
      }
      continue;
    }
    if (!inSection || isComment(t)) continue;
    QString k, v;
    if (keyLine < 0 && splitKey(lines[i], &k, &v) && k.compare(key.trimmed(), Qt::CaseInsensitive) == 0) keyLine = i;
  }
  if (keyLine >= 0) {
    lines[keyLine] = newLine;
  } else if (sectionStart >= 0) {
    int at = sectionEnd >= 0 ? sectionEnd : lines.size();
    while (at > sectionStart + 1 && lines[at - 1].trimmed().isEmpty()) --at;  // before trailing blank lines
    lines.insert(at, newLine);
  } else {
    if (!lines.isEmpty() && !lines.back().trimmed().isEmpty()) lines << QString();
    lines << QLatin1Char('[') + section.trimmed() + QLatin1Char(']') << newLine;
  }
  QSaveFile f(path_);
  if (!f.open(QIODevice::WriteOnly)) return false;
  const QByteArray data = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
  if (f.write(data) != data.size()) {
    f.cancelWriting();
    return false;
  }
  return f.commit();
}

}  // namespace vm
