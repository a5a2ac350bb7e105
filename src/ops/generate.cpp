#include "ops/generate.h"

#include "app/appcontext.h"

namespace vm::ops {

namespace {

const QString kOpen = QStringLiteral("$[WDCon_");
const QString kClose = QStringLiteral("]$");

// A value as part of a file name: nothing in it may separate folders or name one.
QString safeForFileName(QString value) {
  for (QChar& c : value)
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20) c = QLatin1Char('_');
  if (value == QLatin1String(".") || value == QLatin1String("..")) value = QStringLiteral("_");
  return value;
}

}  // namespace

GenerateSettings& generateSettings(AppContext& app) { return app.settings(); }

QString placeholder(int column) { return kOpen + QString::number(column) + kClose; }

QString fillPlaceholders(const QString& text, const QStringList& row, bool fileName) {
  QString out;
  qsizetype from = 0;
  for (;;) {
    const qsizetype open = text.indexOf(kOpen, from);
    if (open < 0) break;
    const qsizetype digits = open + kOpen.size();
    qsizetype end = digits;
    while (end < text.size() && text[end].isDigit() && text[end].unicode() < 0x80) ++end;
    if (end == digits || !QStringView(text).mid(end).startsWith(kClose)) {
      // Not a placeholder: kept as typed.
      out += QStringView(text).mid(from, digits - from);
      from = digits;
      continue;
    }
    bool ok = false;
    const int n = QStringView(text).mid(digits, end - digits).toInt(&ok);
    const QString value = ok && n >= 1 && n <= row.size() ? row[n - 1] : QString();
    out += QStringView(text).mid(from, open - from);
    out += fileName ? safeForFileName(value) : value;
    from = end + kClose.size();
  }
  out += QStringView(text).mid(from);
  return out;
}

}  // namespace vm::ops
