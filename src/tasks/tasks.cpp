#include "tasks/tasks.h"

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "tasks/taskstore.h"

namespace vm::tasks {

Check requireTaskName(const QString& text, const QString& title) {
  return [text, title](OperationEnv& env) -> std::optional<Refusal> {
    if (env.taskName.trimmed().isEmpty()) return Refusal{title, text, QStringLiteral("txtTaskF")};
    return std::nullopt;
  };
}

Check requireTaskStore(const QString& title) {
  return [title](OperationEnv& env) -> std::optional<Refusal> {
    QString why;
    if (TaskStore(env.app.dataFolder().database()).ensure(&why)) return std::nullopt;
    env.app.errorLog().record(why);
    return Refusal{title, storeMissing(), {}};
  };
}

QList<TaskRule> tickedRules(OperationEnv& env) {
  QList<TaskRule> out;
  for (const rules::Rule& r : env.app.replaceRules().rules())
    if (r.ticked) out.push_back({r.find, r.replacement});
  return out;
}

void restoreRules(OperationEnv& env, const StoredTask& task) {
  QList<rules::Rule> list;
  for (const TaskRule& r : task.rules) list.push_back({r.find, r.replacement, true});
  env.app.replaceRules().setRules(list);
}

bool saveTask(const OperationDecl& decl, OperationEnv& env, TaskStore& store, QString* savedId) {
  auto refuse = [&](const Refusal& r) {
    env.prompter.inform(r.title, r.text);
    if (!r.openItem.isEmpty() && env.openWindow) env.openWindow(r.openItem);
    return false;
  };
  for (const Check& check : decl.task.saveChecks)
    if (auto r = check(env)) return refuse(*r);
  StoredTask task;
  task.name = decl.task.trimName ? env.taskName.trimmed() : env.taskName;
  task.letter = decl.task.letter;
  task.documents = env.app.documents().tickedPaths();
  if (decl.task.save) decl.task.save(env, task);
  QString why;
  if (!store.save(task, &why))
    return refuse({msg::titleRefused(), QStringLiteral("任务保存失败：%1").arg(why), {}});
  if (savedId) *savedId = task.id;
  env.prompter.inform(titleSaved(), taskSaved());
  return true;
}

std::optional<Refusal> loadTask(const OperationDecl& decl, OperationEnv& env, TaskStore& store, const QString& id) {
  QString why;
  const std::optional<StoredTask> task = store.load(id, &why);
  if (!task) return Refusal{msg::titleRefused(), QStringLiteral("任务读取失败：%1").arg(why), {}};
  if (decl.task.load)
    if (auto r = decl.task.load(env, *task)) return r;
  if (!task->documents.isEmpty()) {
    DocumentList& list = env.app.documents();
    list.clear();
    list.append(task->documents);
  }
  return std::nullopt;
}

TaskOutcome startTask(const QString& kind, const QString& id, OperationEnv& env, TaskStore& store,
                      const word::FeatureSet& installed) {
  const OperationDecl* decl = operations().forTaskKind(kind);
  if (!decl) return TaskOutcome::Skipped;  // a kind no operation is stored as
  if (env.app.runFrame().refuseIfBusy(env.prompter)) return TaskOutcome::EndBatch;
  if (auto r = loadTask(*decl, env, store, id)) {
    env.prompter.inform(r->title, r->text);
    return TaskOutcome::Skipped;
  }
  for (const Check& check : decl->task.runChecks) {
    if (auto r = check(env)) {
      env.prompter.inform(r->title, r->text);
      if (!r->openItem.isEmpty() && env.openWindow) env.openWindow(r->openItem);
      return TaskOutcome::EndBatch;
    }
  }
  return startOperation(*decl, env, installed, {}, StartMode::Unasked) == StartOutcome::Started ? TaskOutcome::Started
                                                                                                : TaskOutcome::Skipped;
}

}  // namespace vm::tasks
