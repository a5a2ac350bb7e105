// vellumark-cli task list|show|delete|compact|import|save|run: the task store and the batch
// runner without a window. "task save NAME --kind K" takes the options and PATHs of K's own
// command and stores what the window's "保存为任务" stores; "task run" runs stored tasks one
// after the other as the task window's batch does.

#include <QFileInfo>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "cli/commands.h"
#include "cli/registry.h"
#include "cli/runner.h"
#include "tasks/mdbimport.h"
#include "tasks/tasks.h"
#include "tasks/taskstore.h"
#include "word/document.h"

namespace vm::cli {

namespace {

tasks::TaskStore storeOf(CliContext& ctx) { return tasks::TaskStore(ctx.app.dataFolder().database()); }

int refuseStore(CliContext& ctx, const QString& why) {
  ctx.prompter.inform(tasks::titleStore(), why);
  return kExitRefused;
}

bool listTasks(CliContext& ctx, QList<tasks::TaskEntry>* entries) {
  QString why;
  tasks::TaskStore store = storeOf(ctx);
  *entries = store.list(&why);
  if (why.isEmpty()) return true;
  refuseStore(ctx, QStringLiteral("任务数据库无法读取：%1").arg(why));
  return false;
}

int runList(CliContext& ctx) {
  QList<tasks::TaskEntry> entries;
  if (!listTasks(ctx, &entries)) return kExitRefused;
  if (entries.isEmpty()) ctx.err << QStringLiteral("没有保存的任务") << Qt::endl;
  for (const tasks::TaskEntry& e : entries) ctx.out << e.id << '\t' << tasks::kindWord(e.letter) << '\t' << e.name << '\n';
  return kExitOk;
}

// A task by its identifier, else by its name when exactly one task has it.
bool resolve(CliContext& ctx, const QList<tasks::TaskEntry>& entries, const QString& key, tasks::TaskEntry* found) {
  QList<tasks::TaskEntry> byName;
  for (const tasks::TaskEntry& e : entries) {
    if (e.id == key) {
      *found = e;
      return true;
    }
    if (e.name == key) byName << e;
  }
  if (byName.size() == 1) {
    *found = byName.front();
    return true;
  }
  if (byName.isEmpty()) {
    ctx.prompter.inform(tasks::titleTask(), QStringLiteral("任务不存在：%1").arg(key));
  } else {
    QStringList ids;
    for (const tasks::TaskEntry& e : byName) ids << e.id;
    ctx.prompter.inform(tasks::titleTask(), QStringLiteral("有 %1 个任务名为“%2”，请用任务标识指定：%3")
                                                .arg(byName.size())
                                                .arg(key, ids.join(QStringLiteral("、"))));
  }
  return false;
}

int runShow(CliContext& ctx) {
  QList<tasks::TaskEntry> entries;
  if (!listTasks(ctx, &entries)) return kExitRefused;
  tasks::TaskEntry e;
  if (!resolve(ctx, entries, ctx.args.paths.front(), &e)) return kExitRefused;
  QString why;
  const std::optional<StoredTask> t = storeOf(ctx).load(e.id, &why);
  if (!t) return refuseStore(ctx, QStringLiteral("任务读取失败：%1").arg(why));
  QTextStream& o = ctx.out;
  o << QStringLiteral("任务标识\t") << t->id << '\n'
    << QStringLiteral("任务名\t") << t->name << '\n'
    << QStringLiteral("任务类型\t") << tasks::kindWord(t->letter) << '\n';
  for (const QString& d : t->documents) o << QStringLiteral("文档\t") << d << '\n';
  for (const TaskRule& r : t->rules) o << QStringLiteral("规则\t") << r.find << '\t' << r.replacement << '\n';
  for (auto it = t->settings.begin(); it != t->settings.end(); ++it) {
    if (it.key() == QLatin1String("t_in_data")) continue;  // never written, never used
    const bool secret = it.key() == QLatin1String("d_dataPwd") && !it->isEmpty();
    o << it.key() << '\t' << (secret ? QStringLiteral("******") : *it) << '\n';
  }
  return kExitOk;
}

int runDelete(CliContext& ctx) {
  QList<tasks::TaskEntry> entries;
  if (!listTasks(ctx, &entries)) return kExitRefused;
  QList<tasks::TaskEntry> chosen;
  for (const QString& key : ctx.args.paths) {
    tasks::TaskEntry e;
    if (!resolve(ctx, entries, key, &e)) return kExitRefused;
    chosen << e;
  }
  if (!ctx.prompter.ask(tasks::titleTask(), tasks::deleteQuestion())) return kExitRefused;
  tasks::TaskStore store = storeOf(ctx);
  for (const tasks::TaskEntry& e : chosen) {
    QString why;
    if (!store.remove(e.id, e.letter, &why))
      return refuseStore(ctx, QStringLiteral("任务删除失败：%1").arg(why));
    ctx.out << QStringLiteral("已删除：") << e.id << '\t' << e.name << '\n';
  }
  return kExitOk;
}

int runCompact(CliContext& ctx) {
  QString why;
  if (!storeOf(ctx).compact(&why)) return refuseStore(ctx, QStringLiteral("数据库压缩失败：%1").arg(why));
  ctx.out << tasks::compacted() << Qt::endl;
  return kExitOk;
}

int runImport(CliContext& ctx) {
  tasks::TaskStore store = storeOf(ctx);
  QString why;
  const std::optional<tasks::ImportCounts> n = tasks::importMdb(ctx.args.paths.front(), store, &why);
  if (!n) return refuseStore(ctx, why);
  ctx.out << QStringLiteral("导入完成：%1 个任务，%2 个文档，%3 条规则。").arg(n->tasks).arg(n->documents).arg(n->rules)
          << Qt::endl;
  return kExitOk;
}

// The union of the options of every operation kept as a task, so that the parser takes any of
// them; runSave then refuses those that the chosen kind's command does not have.
QList<CliOption> saveOptions() {
  QList<CliOption> options{{QStringLiteral("kind"), true, QStringLiteral("KIND"),
                            QStringLiteral("the operation whose settings are stored: replace, print or generate (create)")}};
  QStringList seen{QStringLiteral("kind")};
  for (const auto& d : operations().all()) {
    if (d->task.letter.isEmpty()) continue;
    for (const CliOptionSpec& o : d->cli.options) {
      if (seen.contains(o.name)) continue;
      seen << o.name;
      options.push_back({o.name, o.takesValue, o.valueName, QStringLiteral("(%1) %2").arg(d->cli.name, o.help), o.values});
    }
  }
  return options;
}

int runSave(CliContext& ctx) {
  const QString kind = ctx.args.value(QStringLiteral("kind"));
  const OperationDecl* decl = operations().forTaskKind(kind);
  if (!decl && !kind.isEmpty()) decl = operations().forCommand(kind);  // "generate" for "create"
  if (!decl || decl->task.letter.isEmpty()) {
    ctx.err << QStringLiteral("task save: --kind takes replace, print or generate (not \"%1\")").arg(kind) << Qt::endl;
    return kExitUsage;
  }
  for (auto it = ctx.args.options.begin(); it != ctx.args.options.end(); ++it) {
    if (it.key() == QLatin1String("kind")) continue;
    const bool known = std::any_of(decl->cli.options.begin(), decl->cli.options.end(),
                                   [&](const CliOptionSpec& o) { return o.name == it.key(); });
    if (!known) {
      ctx.err << QStringLiteral("task save: --%1 is not an option of %2").arg(it.key(), decl->cli.name) << Qt::endl;
      return kExitUsage;
    }
  }
  for (const CliOptionSpec& o : decl->cli.options) {
    if (o.required && !ctx.args.has(o.name)) {
      ctx.err << QStringLiteral("task save: --%1 %2 is required").arg(o.name, o.valueName) << Qt::endl;
      return kExitUsage;
    }
  }
  CliContext docs = ctx;
  docs.args.paths = ctx.args.paths.mid(1);
  if (docs.args.paths.size() < decl->cli.minPaths) {
    ctx.err << QStringLiteral("task save: %1 needs PATH").arg(decl->cli.name) << Qt::endl;
    return kExitUsage;
  }
  OperationEnv env{ctx.app, ctx.prompter, {}};
  env.taskName = ctx.args.paths.front();
  if (decl->cli.apply) {
    if (auto refusal = decl->cli.apply(env, CliValues{ctx.args.options})) {
      if (refusal->title.isEmpty()) {
        ctx.err << "task save: " << refusal->text << Qt::endl;
        return kExitUsage;
      }
      ctx.prompter.inform(refusal->title, refusal->text);
      return kExitRefused;
    }
  }
  if (!docs.args.paths.isEmpty()) {
    if (int code = fillList(docs)) return code;
    tickAll(docs);
  }
  tasks::TaskStore store = storeOf(ctx);
  QString id;
  if (!tasks::saveTask(*decl, env, store, &id)) return kExitRefused;
  ctx.out << id << Qt::endl;
  return kExitOk;
}

int runTasks(CliContext& ctx) {
  QList<tasks::TaskEntry> entries;
  if (!listTasks(ctx, &entries)) return kExitRefused;
  QList<tasks::TaskEntry> batch;
  for (const QString& key : ctx.args.paths) {
    tasks::TaskEntry e;
    if (!resolve(ctx, entries, key, &e)) return kExitRefused;
    batch << e;
  }
  useOffice(ctx);
  tasks::TaskStore store = storeOf(ctx);
  OperationEnv env{ctx.app, ctx.prompter, {}};
  int code = kExitOk;
  for (int n = 0; n < batch.size(); ++n) {
    const tasks::TaskEntry& e = batch[n];
    ctx.err << tasks::batchItemLabel(n + 1) << QStringLiteral("（%1 %2）").arg(e.name, e.id) << Qt::endl;
    const tasks::TaskOutcome outcome =
        tasks::startTask(tasks::kindWord(e.letter), e.id, env, store, word::installedFeatures());
    if (outcome == tasks::TaskOutcome::EndBatch) return kExitRefused;
    if (outcome == tasks::TaskOutcome::Skipped) {
      code = std::max(code, kExitRefused);
      continue;
    }
    const int ran = waitAndReport(ctx);
    if (ran == kExitRefused && ctx.app.runFrame().lastSummary().stopped) return kExitRefused;  // Ctrl-C ends the batch
    code = std::max(code, ran);
  }
  return code;
}

}  // namespace

void registerTaskCommands(CliRegistry& registry) {
  registry.add({QStringLiteral("task list"), QString(), QStringLiteral("list the stored tasks, newest first: ID, kind, name"),
                {}, 0, runList});
  registry.add({QStringLiteral("task show"), QStringLiteral("TASK"),
                QStringLiteral("print a stored task (TASK: its identifier, or its name when no other task has it)"), {}, 1,
                runShow});
  registry.add({QStringLiteral("task save"), QStringLiteral("NAME --kind replace|print|generate [options] PATH..."),
                QStringLiteral("store NAME as the window's 保存为任务 does, from the options and PATHs of that kind's "
                               "own command; prints the new task's identifier"),
                saveOptions(), 1, runSave});
  registry.add({QStringLiteral("task run"), QStringLiteral("TASK..."),
                QStringLiteral("run stored tasks one after the other (a batch), without questions"), {}, 1, runTasks});
  registry.add({QStringLiteral("task delete"), QStringLiteral("TASK..."), QStringLiteral("delete stored tasks"), {}, 1,
                runDelete});
  registry.add({QStringLiteral("task compact"), QString(),
                QStringLiteral("compact the task store (the copy before is kept as backup.db)"), {}, 0, runCompact});
  registry.add({QStringLiteral("task import"), QStringLiteral("config.mdb"),
                QStringLiteral("import the tasks of an Access task database into the task store"), {}, 1, runImport});
}

}  // namespace vm::cli
