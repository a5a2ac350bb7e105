#include "ops/replace.h"

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "rules/replacerules.h"
#include "tasks/tasks.h"
#include "word/document.h"
#include "word/error.h"

namespace vm::ops {

namespace {

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdU16String()); }

}  // namespace

int replaceInDocument(const QString& path, const QList<rules::Rule>& rules, bool save, bool allStories,
                      QStringList* notReached) {
  // The search settings are fixed: the FindOptions defaults (case-insensitive, not whole
  // words, no wildcards, full-width and half-width distinguished, no formatting).
  const word::FindOptions options;
  auto doc = word::open(toPath(path));
  std::vector<word::Story*> stories{&doc->mainStory()};
  if (allStories) {
    using K = word::StoryKind;
    const std::pair<K, const char*> kinds[] = {{K::Header, "页眉"},   {K::Footer, "页脚"},     {K::TextFrames, "文本框"},
                                               {K::Footnotes, "脚注"}, {K::Endnotes, "尾注"}};
    for (const auto& [kind, name] : kinds) {
      try {
        for (word::Story* s : doc->stories(kind)) stories.push_back(s);
      } catch (const word::EngineError& e) {
        if (e.code() != word::ErrorCode::Unsupported) throw;
        if (notReached) *notReached << QString::fromUtf8(name);
      }
    }
  }
  int total = 0;
  for (const rules::Rule& rule : rules) {
    if (!rule.ticked) continue;
    const std::string find = rule.find.toStdString();
    for (word::Story* story : stories) {
      if (rules::isPictureReference(rule.replacement))
        total += story->replaceWithPicture(find, toPath(rules::picturePath(rule.replacement)), options);
      else
        total += story->replaceAll(find, rule.replacement.toStdString(), options);
    }
  }
  if (save) doc->save();
  doc->close();
  return total;
}

std::vector<Check> ruleChecks(const QString& ruleWindow, const QString& noRules, const QString& noneTicked) {
  return {
      [=](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.replaceRules().count() < 1) return Refusal{msg::titleRefused(), noRules, ruleWindow};
        return std::nullopt;
      },
      [=](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.replaceRules().tickedCount() < 1) return Refusal{msg::titleRefused(), noneTicked, ruleWindow};
        return std::nullopt;
      },
  };
}

QString replacementLine(int count) { return QStringLiteral("替换 %1 处").arg(count); }

Operation replaceOperation(const rules::ReplaceRules& rules, bool save, bool allStories) {
  Operation op;
  op.id = kReplaceOperationId;
  op.title = save ? QStringLiteral("文档替换") : QStringLiteral("文档替换（试运行，未保存）");
  op.initialCount = 0;
  // A copy: rules edited while the run is paused must not change the rest of that run.
  op.perDocument = [rules = rules.rules(), save, allStories](const QString& path) {
    QStringList notReached;
    QString line = replacementLine(replaceInDocument(path, rules, save, allStories, &notReached));
    if (!notReached.isEmpty())
      line += QStringLiteral("（%1未替换：该文档的引擎不支持）").arg(notReached.join(QStringLiteral("、")));
    return line;
  };
  return op;
}

}  // namespace vm::ops

VM_OPERATION(replace) {
  using namespace vm;
  OperationDecl d;
  d.id = ops::kReplaceOperationId;
  d.title = QStringLiteral("文档替换");
  d.menuItems = {QStringLiteral("m_startDocRep")};
  d.settingsItems = {QStringLiteral("m_replaceSetup")};
  d.features = {word::Feature::MainText};
  d.initialCount = 0;
  d.resume = Resume::FromNextSameRunSize;
  d.groupSaves = true;  // open, change, save once, close
  const QString ruleWindow = QStringLiteral("m_replaceSetup");
  d.checks = ops::ruleChecks(ruleWindow);
  d.checks.push_back(requireTickedDocuments());
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("文档替换"),
                    QStringLiteral("你确认开始按照规则替换文档了吗？\n\n"
                                   "你可以点确认按钮开始替换所有文档,也可以点取消按钮取消替换！")};
  };
  d.prepare = [](OperationEnv& env) {
    const ops::ReplaceSettings& settings = env.app.store<ops::ReplaceSettings>();
    const Operation op = ops::replaceOperation(env.app.replaceRules(), settings.save, settings.allStories);
    RunSteps s;
    s.title = op.title;
    s.perDocument = op.perDocument;
    return s;
  };
  d.cli.name = QStringLiteral("replace");
  d.cli.synopsis = QStringLiteral("--rules FILE [--dry-run] [--scope main|all] PATH...");
  d.cli.summary = QStringLiteral("replace by rules in the documents (开始替换)");
  d.cli.options = {
      {QStringLiteral("rules"), true, QStringLiteral("FILE"),
       QStringLiteral("UTF-8 rule file: FIND<TAB>REPLACEMENT[<TAB>0 to untick] a line, # comments, "
                      "[img]path[/img] for pictures"),
       true},
      {QStringLiteral("dry-run"), false, {}, QStringLiteral("count the replacements without saving any document")},
      {QStringLiteral("scope"), true, QStringLiteral("main|all"),
       QStringLiteral("main: the main text only (default); all: headers, footers, text boxes and notes too")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    rules::ReplaceRules& rules = env.app.replaceRules();
    rules.clear();
    QStringList skipped;
    if (auto error = rules::importRuleFile(values.value(QStringLiteral("rules")), rules, &skipped))
      return Refusal{error->refusal.title, error->text(), {}};
    for (const QString& line : skipped) env.prompter.inform(QStringLiteral("规则文件"), line);
    ops::ReplaceSettings& settings = env.app.store<ops::ReplaceSettings>();
    settings.save = !values.has(QStringLiteral("dry-run"));
    const QString scope = values.value(QStringLiteral("scope"), QStringLiteral("main"));
    if (scope != QLatin1String("main") && scope != QLatin1String("all"))
      return Refusal{{}, QStringLiteral("--scope takes main or all"), {}};
    settings.allStories = scope == QLatin1String("all");
    return std::nullopt;
  };
  d.task.letter = QStringLiteral("r");
  d.task.word = QStringLiteral("replace");
  d.task.caption = QStringLiteral("替换任务");
  d.task.saveItem = QStringLiteral("m_rep_task");
  d.task.trimName = false;  // a replace task keeps its name exactly as typed
  d.task.saveChecks = {
      tasks::requireTaskName(QStringLiteral("请输入任务名称！"), msg::titleRefused()),
      [ruleWindow](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.replaceRules().count() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请配置好文档替换规则！"), ruleWindow};
        return std::nullopt;
      },
      tasks::requireTaskStore(msg::titleRefused()),
      requireTickedDocuments(),
  };
  d.task.save = [](OperationEnv& env, StoredTask& task) { task.rules = tasks::tickedRules(env); };
  d.task.load = [](OperationEnv& env, const StoredTask& task) -> std::optional<Refusal> {
    tasks::restoreRules(env, task);
    return std::nullopt;
  };
  return d;
}
