#include "data/serialdate.h"

#include <cmath>

namespace vm::data {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civil(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = (long long)yoe + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

}  // namespace

QString serialDateText(double serial) {
  if (!std::isfinite(serial) || std::fabs(serial) > 3e6) return QString::number(serial);
  double dayPart = std::trunc(serial);
  long long seconds = std::llround(std::fabs(serial - dayPart) * 86400.0);
  if (seconds >= 86400) {  // rounding reached the next day
    seconds -= 86400;
    dayPart += serial < 0 ? -1 : 1;
  }
  const long long days = (long long)dayPart - 25569;  // 1899-12-30 is 25569 days before 1970-01-01
  long long y;
  unsigned m, d;
  civil(days, y, m, d);
  const QString time = QStringLiteral("%1:%2:%3")
                           .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                           .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(seconds % 60, 2, 10, QLatin1Char('0'));
  if (dayPart == 0 && seconds != 0) return time;
  const QString date = QStringLiteral("%1-%2-%3")
                           .arg(y, 4, 10, QLatin1Char('0'))
                           .arg(m, 2, 10, QLatin1Char('0'))
                           .arg(d, 2, 10, QLatin1Char('0'));
  return seconds == 0 ? date : date + u' ' + time;
}

}  // namespace vm::data
