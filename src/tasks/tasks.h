#pragma once
// Saving, loading and running stored tasks through the operations' declarations (the TaskPart
// of app/operation.h): the window's "保存为任务", the task window's batch and the command line's
// `task` commands all go through here.

#include <QString>

#include <optional>

#include "app/operation.h"

namespace vm::tasks {

class TaskStore;

inline QString titleSaved() { return QStringLiteral("成功！"); }
inline QString taskSaved() { return QStringLiteral("任务保存成功！"); }
inline QString storeMissing() { return QStringLiteral("任务数据库不存在，请重新安装！"); }
inline QString titleStore() { return QStringLiteral("数据库操作"); }
inline QString compacted() { return QStringLiteral("数据库压缩成功！"); }
inline QString titleTask() { return QStringLiteral("任务"); }
inline QString deleteQuestion() {
  return QStringLiteral("你确认删除该任务吗？\n\n你可以点确认按钮开始操作,也可以点取消按钮取消操作！");
}
inline QString noBatch() { return QStringLiteral("请先添加批量任务！"); }
inline QString batchItemLabel(int n) { return QStringLiteral("当前正在处理第%1项任务...").arg(n); }

// The checks a TaskPart's saveChecks are made of.
// The trimmed name is empty: text with title; the window puts the focus into txtTaskF.
Check requireTaskName(const QString& text, const QString& title);
// The store at the context's data folder cannot be opened or created: storeMissing() with title.
Check requireTaskStore(const QString& title);

// The ticked content rules in list order, as a task stores them; and a loaded task's rules put
// back: the rule list is cleared and each stored rule becomes a new last rule, ticked.
QList<TaskRule> tickedRules(OperationEnv& env);
void restoreRules(OperationEnv& env, const StoredTask& task);

// "保存为任务" of decl: its saveChecks in order, then the ticked documents, its save() and the
// name (trimmed when the part says so) written to the store; "任务保存成功！" ("成功！"). The
// refusal or the store's failure is shown through the prompter. True when the task was saved.
bool saveTask(const OperationDecl& decl, OperationEnv& env, TaskStore& store, QString* savedId = nullptr);

// Loads the stored task id into the models: its part's load(), then its documents (the list
// is replaced, every entry ticked, when the task has any). A refusal is returned, not shown.
std::optional<Refusal> loadTask(const OperationDecl& decl, OperationEnv& env, TaskStore& store, const QString& id);

enum class TaskOutcome {
  Started,   // the operation runs in the frame
  Skipped,   // refused or nothing to run: the batch goes on with the next task
  EndBatch,  // a run check failed (no printer, a failing data source): the batch ends here
};
// One task of a batch: looks up the operation by the kind word (or letter), loads the task,
// runs its part's runChecks, then starts the operation through startOperation without its
// question. Every refusal is shown through the prompter.
TaskOutcome startTask(const QString& kind, const QString& id, OperationEnv& env, TaskStore& store,
                      const word::FeatureSet& installed);

}  // namespace vm::tasks
