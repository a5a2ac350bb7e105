#include "ops/generate.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <memory>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "data/datasource.h"
#include "ops/outputnames.h"
#include "ops/replace.h"
#include "rules/replacerules.h"
#include "tasks/tasks.h"
#include "word/document.h"
#include "word/error.h"
#include "word/templatewriter.h"

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

namespace {

// Text and placeholders in their order: the column counted from 1 (0 for a number no row has),
// or -1 for text.
struct Token {
  QStringView text;
  int column = -1;
};

QList<Token> tokens(const QString& text) {
  QList<Token> out;
  qsizetype from = 0, kept = 0;
  for (;;) {
    const qsizetype open = text.indexOf(kOpen, from);
    if (open < 0) break;
    const qsizetype digits = open + kOpen.size();
    qsizetype end = digits;
    while (end < text.size() && text[end].isDigit() && text[end].unicode() < 0x80) ++end;
    if (end == digits || !QStringView(text).mid(end).startsWith(kClose)) {
      from = digits;  // not a placeholder: kept as typed
      continue;
    }
    bool ok = false;
    const int n = QStringView(text).mid(digits, end - digits).toInt(&ok);
    if (open > kept) out.append({QStringView(text).mid(kept, open - kept)});
    out.append({{}, ok && n >= 1 ? n : 0});
    from = kept = end + kClose.size();
  }
  if (kept < text.size()) out.append({QStringView(text).mid(kept)});
  return out;
}

}  // namespace

QString fillPlaceholders(const QString& text, const QStringList& row, bool fileName) {
  QString out;
  for (const Token& t : tokens(text)) {
    if (t.column < 0) {
      out += t.text;
      continue;
    }
    const QString value = t.column >= 1 && t.column <= row.size() ? row[t.column - 1] : QString();
    out += fileName ? safeForFileName(value) : value;
  }
  return out;
}

namespace {

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdU16String()); }

const QString kNamingTitle = QStringLiteral("文档名设置");
const QString kDataTitle = QStringLiteral("数据库设置");

// The rows the start checks read, kept for the run that follows them (the query runs once).
struct CheckedRows {
  QString path, password, sql;
  std::optional<data::QueryResult> result;
};

// The numbers of the placeholders in text.
QList<int> placeholderColumns(const QString& text) {
  QList<int> columns;
  qsizetype at = 0;
  while ((at = text.indexOf(kOpen, at)) >= 0) {
    at += kOpen.size();
    qsizetype end = at;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9') ++end;
    if (end > at && QStringView(text).mid(end).startsWith(kClose)) columns << QStringView(text).mid(at, end - at).toInt();
  }
  return columns;
}

QString templatePath(AppContext& app) {
  const QStringList ticked = app.documents().tickedPaths();
  return ticked.value(0);
}

Check naming(std::function<std::optional<Refusal>(const QString& pattern, const QString& folder)> test) {
  return [test = std::move(test)](OperationEnv& env) {
    const GenerateSettings& s = generateSettings(env.app);
    return test(s.fileBatchName.trimmed(), s.fileSavePath.trimmed());
  };
}

// The rule as the engine fills it: its replacement's text and placeholders (column n is field
// n-1), a picture rule giving the picture's file from the filled replacement.
word::FillRule fillRule(const rules::Rule& rule) {
  word::FillRule out;
  out.find = rule.find.toStdString();
  for (const Token& t : tokens(rule.replacement))
    out.replacement.push_back(t.column < 0 ? word::FillPart{t.text.toString().toStdString(), -1}
                                           : word::FillPart{{}, t.column >= 1 ? t.column - 1 : INT_MAX});
  if (rules::isPictureReference(rule.replacement))
    out.picture = [](const std::string& filled) {
      return toPath(rules::picturePath(QString::fromStdString(filled)));
    };
  return out;
}

// One row's document: the template with the rules filled from the row, saved under the
// pattern's name in the folder (a free name when it is taken). The template is read once.
class Generator {
 public:
  Generator(QString templ, QList<rules::Rule> rules, QString pattern, QString folder, QList<QStringList> rows)
      : template_(std::move(templ)), rules_(std::move(rules)), pattern_(std::move(pattern)), folder_(std::move(folder)),
        rows_(std::move(rows)) {}

  void begin() {
    std::vector<word::FillRule> fill;
    for (const rules::Rule& rule : rules_) fill.push_back(fillRule(rule));
    writer_ = word::openTemplate(toPath(template_), std::move(fill));
  }

  QString row(int index) {
    const QStringList& row = rows_[index];
    const QString target = freeTarget(folder_, fillPlaceholders(pattern_, row, true));
    std::vector<std::string> values;
    values.reserve(row.size());
    for (const QString& v : row) values.push_back(v.toStdString());
    writer_->write(values, toPath(target));
    return QStringLiteral("已生成 %1").arg(target);
  }

  void finish() { writer_.reset(); }

 private:
  QString template_;
  QList<rules::Rule> rules_;
  QString pattern_, folder_;
  QList<QStringList> rows_;
  std::unique_ptr<word::TemplateWriter> writer_;
};

RunSteps generateSteps(OperationEnv& env) {
  const GenerateSettings& s = generateSettings(env.app);
  CheckedRows& checked = env.app.store<CheckedRows>();
  std::optional<data::QueryResult> result;
  if (checked.result && checked.path == s.dbPath.trimmed() && checked.password == s.dbPwd.trimmed() &&
      checked.sql == s.dbSql.trimmed())
    result = std::move(checked.result);
  checked = CheckedRows{};
  if (!result) {
    QString error;
    auto source = data::DataSource::open(s.dbPath.trimmed(), s.dbPwd.trimmed(), &error);
    if (source) result = source->query(s.dbSql.trimmed(), &error);
  }
  QList<rules::Rule> ticked;
  for (const rules::Rule& r : env.app.replaceRules().rules())
    if (r.ticked) ticked << r;
  const QList<QStringList> rows = result ? result->rows : QList<QStringList>{};
  auto generator = std::make_shared<Generator>(templatePath(env.app), ticked, s.fileBatchName.trimmed(),
                                               outputFolder(s.fileSavePath), rows);
  RunSteps steps;
  for (qsizetype i = 0; i < rows.size(); ++i) steps.items << QStringLiteral("第 %1 行").arg(i + 1);
  steps.begin = [generator] { generator->begin(); };
  steps.perItem = [generator](int i) { return generator->row(i); };
  steps.finish = [generator](bool) {
    generator->finish();
    return QString();
  };
  return steps;
}

}  // namespace

std::vector<Check> generateChecks() {
  std::vector<Check> checks = {
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.documents().entryCount() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请先添加文档，并勾选你要操作的模板文档！"), {}};
        return std::nullopt;
      },
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.documents().tickedCount() != 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请选择你要操作的模板文档，只能选中一个模板文档！"), {}};
        return std::nullopt;
      },
      naming([](const QString& pattern, const QString&) -> std::optional<Refusal> {
        if (pattern.isEmpty()) return Refusal{kNamingTitle, QStringLiteral("请输入批量文档名（包含后缀名）！"), kNamingItem};
        if (!pattern.contains(u'.')) return Refusal{kNamingTitle, QStringLiteral("请输入批量文档后缀名！"), kNamingItem};
        // A name that holds no value would be the same for every row.
        if (placeholderColumns(pattern).isEmpty())
          return Refusal{msg::titleError(), QStringLiteral("文档名命名规则不符合要求！"), kNamingItem};
        if (pattern.contains(u'/') || pattern.contains(u'\\'))
          return Refusal{kNamingTitle, QStringLiteral("批量文档名不能包含“/”或“\\”，文档只生成在保存目录中！"), kNamingItem};
        return std::nullopt;
      }),
      naming([](const QString&, const QString& folder) -> std::optional<Refusal> {
        if (folder.isEmpty()) return Refusal{msg::titleError(), QStringLiteral("请选择文档保存目录！"), kNamingItem};
        if (!QFileInfo(folder).isDir()) return Refusal{msg::titleError(), QStringLiteral("文档保存目录不存在！"), kNamingItem};
        return std::nullopt;
      }),
      [](OperationEnv& env) -> std::optional<Refusal> {
        const GenerateSettings& s = generateSettings(env.app);
        CheckedRows& checked = env.app.store<CheckedRows>();
        checked = CheckedRows{s.dbPath.trimmed(), s.dbPwd.trimmed(), s.dbSql.trimmed(), std::nullopt};
        QString error;
        // The connection is closed when this check returns, whatever happened.
        auto source = data::DataSource::open(checked.path, checked.password, &error);
        if (!source)
          return Refusal{kDataTitle, QStringLiteral("数据库连接错误，请检查数据库地址以及数据库密码！\n\n%1").arg(error),
                         kDataSourceItem};
        auto result = source->query(checked.sql, &error);
        if (!result)
          return Refusal{kDataTitle, QStringLiteral("SQL语句执行错误，请检查SQL语句！\n\n%1").arg(error), kDataSourceItem};
        if (result->rows.isEmpty())
          return Refusal{kDataTitle, QStringLiteral("数据库数据为空，请添加好数据！"), kDataSourceItem};
        checked.result = std::move(result);
        return std::nullopt;
      },
  };
  for (Check& c : ruleChecks(kGenerateRulesItem, QStringLiteral("请配置好文档替换规则！"),
                             QStringLiteral("请选中好你要替换的规则！")))
    checks.push_back(std::move(c));
  const std::vector<Check> rest = {
      // Every placeholder must name a column of the result: otherwise its text would vanish.
      [](OperationEnv& env) -> std::optional<Refusal> {
        const CheckedRows& checked = env.app.store<CheckedRows>();
        const int width = checked.result ? int(checked.result->columns.size()) : 0;
        QList<int> used = placeholderColumns(generateSettings(env.app).fileBatchName);
        for (const rules::Rule& r : env.app.replaceRules().rules())
          if (r.ticked) used << placeholderColumns(r.replacement);
        for (int n : used)
          if (n < 1 || n > width)
            return Refusal{kDataTitle,
                           QStringLiteral("%1 超出了查询结果的列数（共 %2 列），请检查文档名、替换规则或SQL语句！")
                               .arg(placeholder(n))
                               .arg(width),
                           {}};
        return std::nullopt;
      },
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (!QFileInfo(templatePath(env.app)).isFile())
          return Refusal{msg::titleError(), QStringLiteral("选中文档不存在，请检查文档目录！"), {}};
        return std::nullopt;
      },
  };
  checks.insert(checks.end(), rest.begin(), rest.end());
  return checks;
}

}  // namespace vm::ops

VM_OPERATION(generate) {
  using namespace vm;
  OperationDecl d;
  d.id = ops::kGenerateOperationId;
  d.title = QStringLiteral("文档生成");
  d.menuItems = {QStringLiteral("m_startCreate")};
  d.settingsItems = {ops::kNamingItem, ops::kDataSourceItem, ops::kGenerateRulesItem};
  d.features = {word::Feature::MainText};
  d.initialCount = 0;
  // Free names depend on the documents written before.
  d.independent = false;
  // A generation is not continued after a pause: it ends, and a new start begins with row 1.
  d.resume = Resume::Never;
  d.checks = ops::generateChecks();
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("信息提示"),
                    QStringLiteral("你确认开始生成文档了吗？\n\n"
                                   "你可以点确认按钮开始生成所有文档,也可以点取消按钮取消生成文档！")};
  };
  d.prepare = [](OperationEnv& env) { return ops::generateSteps(env); };
  d.cli.name = QStringLiteral("generate");
  d.cli.synopsis =
      QStringLiteral("--template FILE --source DB [--password X] --sql \"...\" --name PATTERN --out DIR --rules FILE");
  d.cli.summary = QStringLiteral("one document per row of a query, from a template (开始生成)");
  d.cli.minPaths = 0;
  d.cli.options = {
      {QStringLiteral("template"), true, QStringLiteral("FILE"), QStringLiteral("the template document"), true},
      {QStringLiteral("source"), true, QStringLiteral("DB"),
       QStringLiteral("the data: an Access .mdb/.accdb, an SQLite .sqlite/.db, a .csv or an .xlsx (one table named after "
                      "the file, also Sheet1)"),
       true},
      {QStringLiteral("password"), true, QStringLiteral("X"), QStringLiteral("the Access database password")},
      {QStringLiteral("sql"), true, QStringLiteral("QUERY"), QStringLiteral("the select statement whose rows are used"),
       true},
      {QStringLiteral("name"), true, QStringLiteral("PATTERN"),
       QStringLiteral("the name of each document with its extension and placeholders, e.g. \"$[WDCon_2]$.docx\" "
                      "($[WDCon_n]$ is column n of the row)"),
       true},
      {QStringLiteral("out"), true, QStringLiteral("DIR"), QStringLiteral("existing folder the documents go into"), true},
      {QStringLiteral("rules"), true, QStringLiteral("FILE"),
       QStringLiteral("replace rules, FIND<TAB>REPLACEMENT[<TAB>0] a line; placeholders in the replacement"), true},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    auto absolute = [](const QString& p) {
      return p.trimmed().isEmpty() ? p : QDir::cleanPath(QDir::current().absoluteFilePath(p.trimmed()));
    };
    ops::GenerateSettings& s = ops::generateSettings(env.app);
    s.dbPath = absolute(values.value(QStringLiteral("source")));
    s.dbPwd = values.value(QStringLiteral("password"));
    s.dbSql = values.value(QStringLiteral("sql"));
    s.fileBatchName = values.value(QStringLiteral("name"));
    s.fileSavePath = absolute(values.value(QStringLiteral("out")));
    rules::ReplaceRules& rules = env.app.replaceRules();
    rules.clear();
    QStringList skipped;
    if (auto error = rules::importRuleFile(values.value(QStringLiteral("rules")), rules, &skipped))
      return Refusal{error->refusal.title, error->text(), {}};
    for (const QString& line : skipped) env.prompter.inform(QStringLiteral("规则文件"), line);
    env.app.documents().append(QStringList{absolute(values.value(QStringLiteral("template")))});
    return std::nullopt;
  };
  // Kept as a task: the template, the ticked rules and the five naming and data source values.
  const auto dataSource = [](OperationEnv& env) -> std::optional<Refusal> {
    const GenerateSettings& s = ops::generateSettings(env.app);
    QString error;
    auto source = data::DataSource::open(s.dbPath.trimmed(), s.dbPwd.trimmed(), &error);
    if (!source)
      return Refusal{ops::kDataTitle, QStringLiteral("数据库连接错误，请检查数据库地址以及数据库密码！\n\n%1").arg(error),
                     ops::kDataSourceItem};
    auto result = source->query(s.dbSql.trimmed(), &error);
    if (!result)
      return Refusal{ops::kDataTitle, QStringLiteral("SQL语句执行错误，请检查SQL语句！\n\n%1").arg(error), ops::kDataSourceItem};
    if (result->rows.isEmpty())
      return Refusal{ops::kDataTitle, QStringLiteral("数据库数据为空，请添加好数据！"), ops::kDataSourceItem};
    return std::nullopt;
  };
  d.task.letter = QStringLiteral("c");
  d.task.word = QStringLiteral("create");
  d.task.caption = QStringLiteral("生成任务");
  d.task.saveItem = QStringLiteral("m_cre_task");
  d.task.saveChecks = {
      tasks::requireTaskName(QStringLiteral("请输入任务名称！"), msg::titleRefused()),
      [](OperationEnv& env) -> std::optional<Refusal> {
        const QString pattern = ops::generateSettings(env.app).fileBatchName.trimmed();
        if (pattern.isEmpty()) return Refusal{ops::kNamingTitle, QStringLiteral("请输入批量文档名！"), ops::kNamingItem};
        if (!pattern.contains(u'.')) return Refusal{ops::kNamingTitle, QStringLiteral("请输入批量文档后缀名！"), ops::kNamingItem};
        return std::nullopt;
      },
      requireTickedDocuments(),
      dataSource,
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.replaceRules().count() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请配置好文档替换规则！"), ops::kGenerateRulesItem};
        if (env.app.documents().tickedCount() != 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请勾选一个文档进行操作！"), {}};
        return std::nullopt;
      },
      tasks::requireTaskStore(msg::titleRefused()),
  };
  d.task.save = [](OperationEnv& env, StoredTask& task) {
    const GenerateSettings& s = ops::generateSettings(env.app);
    task.rules = tasks::tickedRules(env);
    task.settings = {{QStringLiteral("t_filename"), s.fileBatchName},
                     {QStringLiteral("t_fileSave"), s.fileSavePath},
                     {QStringLiteral("d_dataPath"), s.dbPath.trimmed()},
                     {QStringLiteral("d_dataPwd"), s.dbPwd.trimmed()},
                     {QStringLiteral("d_sql"), s.dbSql.trimmed()}};
  };
  d.task.load = [](OperationEnv& env, const StoredTask& task) -> std::optional<Refusal> {
    if (task.settings.contains(QStringLiteral("t_filename"))) {
      GenerateSettings& s = ops::generateSettings(env.app);
      s.fileSavePath = task.settings.value(QStringLiteral("t_fileSave"));
      s.fileBatchName = task.settings.value(QStringLiteral("t_filename"));
      s.dbPath = task.settings.value(QStringLiteral("d_dataPath"));
      s.dbPwd = task.settings.value(QStringLiteral("d_dataPwd"));
      s.dbSql = task.settings.value(QStringLiteral("d_sql"));
    }
    tasks::restoreRules(env, task);
    // One template only; the task is skipped rather than run with whatever the list holds.
    if (task.documents.size() > 1) return Refusal{msg::titleError(), QStringLiteral("多个模板文档！"), {}};
    return std::nullopt;
  };
  d.task.runChecks = {dataSource};  // the data source the task itself brought
  return d;
}
