#include "data/accesssql.h"

#include <QDate>
#include <QList>
#include <QRegularExpression>
#include <QTime>

#include <sqlite3.h>

#include <cmath>

#include "data/dataerror.h"

namespace vm::data {

namespace {

struct Token {
  enum Kind { Space, Text, Name, Word, Number, Date, Symbol } kind;
  QString text;
};

bool wordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

QList<Token> tokenize(const QString& sql) {
  QList<Token> out;
  qsizetype i = 0;
  const qsizetype n = sql.size();
  auto until = [&](QChar close, const QString& what) {
    const qsizetype end = sql.indexOf(close, i + 1);
    if (end < 0) throw DataError{QStringLiteral("SQL 语句中的%1没有结束：%2").arg(what, sql.mid(i, 20))};
    return end;
  };
  while (i < n) {
    const QChar c = sql[i];
    qsizetype end = i + 1;
    Token::Kind kind = Token::Symbol;
    if (c.isSpace()) {
      while (end < n && sql[end].isSpace()) ++end;
      kind = Token::Space;
    } else if (c == u'\'' || c == u'"') {
      // a doubled quote stays inside
      for (end = i + 1;; end += 2) {
        end = sql.indexOf(c, end);
        if (end < 0) throw DataError{QStringLiteral("SQL 语句中的引号没有结束：%1").arg(sql.mid(i, 20))};
        if (end + 1 >= n || sql[end + 1] != c) break;
      }
      ++end;
      kind = Token::Text;
    } else if (c == u'[') {
      end = until(u']', QStringLiteral("方括号")) + 1;
      kind = Token::Name;
    } else if (c == u'#') {
      end = until(u'#', QStringLiteral("日期（#…#）")) + 1;
      kind = Token::Date;
    } else if (c.isDigit()) {
      while (end < n && (sql[end].isDigit() || sql[end] == u'.')) ++end;
      kind = Token::Number;
    } else if (wordChar(c)) {
      while (end < n && wordChar(sql[end])) ++end;
      kind = Token::Word;
    } else if (end < n && QStringList{"<>", "<=", ">=", "||", "!="}.contains(sql.mid(i, 2))) {
      end = i + 2;
    }
    out.append({kind, sql.mid(i, end - i)});
    i = end;
  }
  return out;
}

// #...# as SQLite text: Access reads month/day/year, and year-month-day.
QString dateLiteral(const QString& token) {
  const QString body = token.mid(1, token.size() - 2).trimmed();
  static const QRegularExpression form(
      QStringLiteral("^(?:(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})|(\\d{1,2})[-/](\\d{1,2})[-/](\\d{4}))?"
                     "\\s*(?:(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp][Mm])?)?$"));
  const auto m = form.match(body);
  QDate date;
  if (m.hasMatch() && !m.captured(1).isEmpty())
    date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  else if (m.hasMatch() && !m.captured(6).isEmpty())
    date = QDate(m.captured(6).toInt(), m.captured(4).toInt(), m.captured(5).toInt());
  QTime time;
  if (m.hasMatch() && !m.captured(7).isEmpty()) {
    int hour = m.captured(7).toInt();
    const QString half = m.captured(10).toLower();
    if (!half.isEmpty() && (hour < 1 || hour > 12)) hour = -1;
    else if (half == QLatin1String("pm") && hour < 12) hour += 12;
    else if (half == QLatin1String("am") && hour == 12) hour = 0;
    time = QTime(hour, m.captured(8).toInt(), m.captured(9).toInt());
  }
  const bool hasDate = m.hasMatch() && (!m.captured(1).isEmpty() || !m.captured(6).isEmpty());
  if (body.isEmpty() || !m.hasMatch() || (hasDate && !date.isValid()) ||
      (!m.captured(7).isEmpty() && !time.isValid()))
    throw DataError{QStringLiteral("无法识别的日期 %1（请写成 #2026-12-07# 或 #12/7/2026#，可带时间 #2026-12-07 9:30#）")
                        .arg(token)};
  QString text = hasDate ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
  if (time.isValid()) text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + time.toString(QStringLiteral("HH:mm:ss"));
  return u'\'' + text + u'\'';
}

QString quoted(const QString& text) {
  QString q = text;
  q.replace(u'\'', QStringLiteral("''"));
  return u'\'' + q + u'\'';
}

// The text of a quoted token.
QString unquoted(const QString& token) {
  const QChar q = token[0];
  QString text = token.mid(1, token.size() - 2);
  text.replace(QString(2, q), QString(q));
  return text;
}

// An Access LIKE pattern in SQLite's wildcards: * and ? as in Access's own queries, % and _ as
// its data connections took them.
QString likePattern(const QString& pattern) {
  if (pattern.contains(u'['))
    throw DataError{QStringLiteral("LIKE 模式“%1”中的 [ ] 通配符不能使用，请只用 * 和 ?（或 % 和 _）").arg(pattern)};
  QString out = pattern;
  out.replace(u'*', u'%').replace(u'?', u'_');
  return out;
}

// Whether a token can stand beside an operator (a value, a name, a bracket), not a keyword.
bool operand(Token::Kind kind, const QString& text) {
  static const QStringList keywords = {"select", "from", "where", "and", "or", "not", "by", "on", "as", "having",
                                       "group", "order", "distinct", "union", "join", "in", "like", "between", "is"};
  if (kind == Token::Word) return !keywords.contains(text.toLower());
  if (kind == Token::Symbol) return text == QLatin1String("(") || text == QLatin1String(")");
  return kind == Token::Number || kind == Token::Name || kind == Token::Text || kind == Token::Date;
}

const QStringList kRefused = {"datediff", "dateadd", "datepart", "datevalue", "format", "dlookup", "dcount",
                              "dsum", "switch", "choose", "strconv", "val", "instrrev", "weekday", "dateserial"};

}  // namespace

QString accessToSqlite(const QString& sql) {
  const QList<Token> tokens = tokenize(sql);
  auto next = [&](qsizetype i) {
    for (++i; i < tokens.size() && tokens[i].kind == Token::Space;) ++i;
    return i;
  };
  auto word = [&](qsizetype i, const char* w) {
    return i < tokens.size() && tokens[i].kind == Token::Word && tokens[i].text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
  };
  auto symbol = [&](qsizetype i, const char* s) {
    return i < tokens.size() && tokens[i].kind == Token::Symbol && tokens[i].text == QLatin1String(s);
  };
  QString out;
  QList<QString> limits{QString()};  // per bracket depth, the LIMIT its select takes
  Token::Kind previous = Token::Space;  // of the last token written that was not space
  QString previousText;
  for (qsizetype i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    QString text = t.text;
    if (t.kind == Token::Date) {
      text = dateLiteral(t.text);
    } else if (t.kind == Token::Symbol && t.text == QLatin1String("&")) {
      text = QStringLiteral("||");
    } else if (t.kind == Token::Symbol && t.text == QLatin1String("(")) {
      limits.append(QString());
    } else if (t.kind == Token::Symbol && t.text == QLatin1String(")")) {
      if (limits.size() > 1) out += limits.takeLast();
    } else if (t.kind == Token::Word) {
      const QString w = t.text.toLower();
      const qsizetype after = next(i);
      const bool call = symbol(after, "(");
      if (w == QLatin1String("select")) {
        qsizetype k = after;
        if (word(k, "distinct") || word(k, "distinctrow") || word(k, "all")) k = next(k);
        if (word(k, "top")) {
          const qsizetype count = next(k);
          if (count >= tokens.size() || tokens[count].kind != Token::Number || tokens[count].text.contains(u'.'))
            throw DataError{QStringLiteral("TOP 后面应是一个整数（如 SELECT TOP 10 …）")};
          if (word(next(count), "percent"))
            throw DataError{QStringLiteral("不支持 TOP … PERCENT，请改用 TOP 加行数")};
          if (!limits.last().isEmpty()) throw DataError{QStringLiteral("一个查询中只能有一个 TOP")};
          limits.last() = QStringLiteral(" LIMIT ") + tokens[count].text;
          // SELECT [DISTINCT] is written, TOP n left out
          out += text;
          for (qsizetype j = i + 1; j < k; ++j) out += tokens[j].kind == Token::Word && word(j, "distinctrow") ? QStringLiteral("DISTINCT") : tokens[j].text;
          i = count;
          previous = Token::Number;
          continue;
        }
      } else if (w == QLatin1String("distinctrow")) {
        text = QStringLiteral("DISTINCT");
      } else if (w == QLatin1String("mod") && !call && operand(previous, previousText) && after < tokens.size() &&
                 operand(tokens[after].kind, tokens[after].text)) {
        text = QStringLiteral("%");
      } else if (w == QLatin1String("like") && after < tokens.size() && tokens[after].kind == Token::Text) {
        out += text;
        for (qsizetype j = i + 1; j < after; ++j) out += tokens[j].text;
        out += quoted(likePattern(unquoted(tokens[after].text)));
        i = after;
        previous = Token::Text;
        continue;
      } else if (call) {
        const qsizetype close = next(after);
        const bool empty = symbol(close, ")");
        if ((w == QLatin1String("now") || w == QLatin1String("date") || w == QLatin1String("time")) && empty) {
          out += w == QLatin1String("now")    ? QStringLiteral("datetime('now', 'localtime')")
                 : w == QLatin1String("date") ? QStringLiteral("date('now', 'localtime')")
                                              : QStringLiteral("time('now', 'localtime')");
          i = close;
          previous = Token::Symbol;
          previousText = QStringLiteral(")");
          continue;
        }
        if (kRefused.contains(w))
          throw DataError{QStringLiteral("不支持 Access 函数 %1，请改用其他写法").arg(t.text)};
        if (w == QLatin1String("ucase")) text = QStringLiteral("upper");
        else if (w == QLatin1String("lcase")) text = QStringLiteral("lower");
        else if (w == QLatin1String("len")) text = QStringLiteral("length");
        else if (w == QLatin1String("mid")) text = QStringLiteral("substr");
        else if (w == QLatin1String("left") || w == QLatin1String("right") || w == QLatin1String("isnull"))
          text = QStringLiteral("access_") + w;
      }
    }
    out += text;
    if (t.kind != Token::Space) {
      previous = t.kind;
      previousText = t.text;
    }
  }
  while (limits.size() > 1) out += limits.takeLast();  // brackets left open: SQLite says so
  out += limits.first();
  return out;
}

namespace {

QString textOf(sqlite3_value* v) {
  return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
}

void resultText(sqlite3_context* ctx, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool anyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

void nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) sqlite3_result_value(ctx, argv[0]);
  else if (argc > 1) sqlite3_result_value(ctx, argv[1]);
  else sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

void isNull(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_int(ctx, sqlite3_value_type(argv[0]) == SQLITE_NULL ? 1 : 0);
}

void leftRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  const QString s = textOf(argv[0]);
  const auto count = std::max<sqlite3_int64>(0, sqlite3_value_int64(argv[1]));
  resultText(ctx, sqlite3_user_data(ctx) ? s.right(count) : s.left(count));
}

void cstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double d = sqlite3_value_double(argv[0]);
  if (sqlite3_value_type(argv[0]) == SQLITE_FLOAT && d == std::floor(d) && std::fabs(d) < 1e15)
    return resultText(ctx, QString::number(qint64(d)));
  resultText(ctx, textOf(argv[0]));
}

// CInt and CLng round halves to even, as Access does.
void cint(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(std::nearbyint(sqlite3_value_double(argv[0]))));
}

void cdbl(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
}

// Year, Month, Day of a date as the data source writes it (2026-12-07[ 09:30:00]).
void datePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  const QDate date = QDate::fromString(textOf(argv[0]).left(10), QStringLiteral("yyyy-MM-dd"));
  if (!date.isValid()) return sqlite3_result_null(ctx);
  const auto part = reinterpret_cast<qintptr>(sqlite3_user_data(ctx));
  sqlite3_result_int(ctx, part == 0 ? date.year() : part == 1 ? date.month() : date.day());
}

// InStr(start, text, find): the position from start, 0 when not there.
void instr3(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  const auto start = std::max<sqlite3_int64>(1, sqlite3_value_int64(argv[0]));
  const QString text = textOf(argv[1]);
  if (start > text.size() + 1) return sqlite3_result_int(ctx, 0);
  sqlite3_result_int64(ctx, text.indexOf(textOf(argv[2]), start - 1) + 1);
}

}  // namespace

void addAccessFunctions(sqlite3* db) {
  struct Function {
    const char* name;
    int args;
    void (*f)(sqlite3_context*, int, sqlite3_value**);
    qintptr data;
  };
  static const Function functions[] = {
      {"nz", 1, nz, 0},           {"nz", 2, nz, 0},          {"access_isnull", 1, isNull, 0},
      {"access_left", 2, leftRight, 0}, {"access_right", 2, leftRight, 1}, {"cstr", 1, cstr, 0},
      {"cint", 1, cint, 0},       {"clng", 1, cint, 0},      {"cdbl", 1, cdbl, 0},
      {"year", 1, datePart, 0},   {"month", 1, datePart, 1}, {"day", 1, datePart, 2},
      {"instr", 3, instr3, 0},
  };
  for (const Function& f : functions)
    sqlite3_create_function(db, f.name, f.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, reinterpret_cast<void*>(f.data), f.f,
                            nullptr, nullptr);
}

}  // namespace vm::data
