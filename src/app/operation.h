#pragma once
// The operation registry: every batch operation is one declaration, and the window, the command
// line and the task runner all start it through startOperation().
//
// An operation lives in one source file under src/ops/ (plus its settings dialog):
//
//   // src/ops/cleanup.cpp
//   VM_OPERATION(cleanup) {
//     OperationDecl d;
//     d.id = "docQlDel"; d.title = "文档清理"; d.menuItems = {"m_wdql"}; ...
//     d.prepare = [](OperationEnv& env) { RunSteps s; s.perDocument = ...; return s; };
//     return d;
//   }
//
// The build collects every VM_OPERATION of src/ops/ into the registry; nothing else names it.
// Settings live in the context's settings store (AppContext::store<T>()): the dialog edits the
// struct, the command-line options fill the same struct, and prepare() copies what the run needs.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/runframe.h"
#include "word/document.h"

namespace vm {

class AppContext;
class Prompter;

// A failed check of a start command: a message box, then (in the window) the settings window
// that fixes it opens when openItem names its menu item.
struct Refusal {
  QString title;
  QString text;
  QString openItem;
};

// What the steps of an operation see. openWindow opens a settings window by the objectName of
// the menu item that opens it; it does nothing on the command line.
struct OperationEnv {
  AppContext& app;
  Prompter& prompter;
  std::function<void(const QString& menuItem)> openWindow = {};
  // The window shows an operation's preview before its question: runs the preview steps over the
  // ticked documents and lets the user confirm the list; false: cancelled. Empty: no preview.
  std::function<bool(const QString& title, const DocumentRoutine& preview)> confirmPreview = {};
  // The name typed for "保存为任务" (txtTaskF, or task save NAME), as typed.
  QString taskName = {};
};

using Check = std::function<std::optional<Refusal>(OperationEnv&)>;

struct Question {
  QString title;
  QString text;
};

// What one run works with, made at the start from the settings of that moment.
struct RunSteps {
  QString title;                               // the run's title; empty: the operation's
  std::function<void()> begin;                 // on the worker, once, before the first document
  DocumentRoutine perDocument;                 // on the worker, per ticked document
  std::function<QString(bool stopped)> finish; // on the worker, once, when the run ends
  // A second pass when this one ends unstopped (see Operation::next): replace, then print.
  std::function<std::shared_ptr<Operation>()> next;
  // A run over items that are no documents (see Operation::perItem): generation's rows.
  QStringList items;
  std::function<QString(int item)> perItem;
};

// How a paused run goes on (the pause button's "继续操作").
enum class Resume {
  FromNext,             // the ticked count as run size, from the entry after the last one handled
  FromNextSameRunSize,  // the same, with the run size the run started with
  Never,                // continuing ends the paused run
};

// A stored task (tasks/taskstore.h): what "保存为任务" writes and a task run loads back.
struct TaskRule {
  QString find;
  QString replacement;
  bool operator==(const TaskRule&) const = default;
};
struct StoredTask {
  QString id;              // the task identifier: year, month, day without leading zeros + 1..99999
  QString name;
  QString letter;          // the kind letter: "r", "p", "c"
  QStringList documents;   // the ticked documents in list order (a generate task: its template)
  QList<TaskRule> rules;   // the ticked rules in list order (replace and generate)
  // The kind's settings row by column name as the store spells it ("tPrintCopies", "d_sql").
  QMap<QString, QString> settings;
};

// How an operation is kept as a stored task. The saver adds the ticked documents and the name;
// the loader puts the documents back into the list (when there are any) after load().
struct TaskPart {
  QString letter;   // the kind letter in config.db; empty: the operation is not kept as a task
  QString word;     // the kind word of the task lists and of "task save --kind"
  QString caption;  // its entry in the main window's combTaskKind, e.g. "替换任务"
  QString saveItem; // its menu item "保存为任务", e.g. "m_rep_task"
  bool trimName = true;  // false: the name is stored as typed
  // The checks of its "保存为任务", in the written order (env.taskName is the name typed).
  std::vector<Check> saveChecks;
  // Fills the rules and the settings row of what is stored from the current settings.
  std::function<void(OperationEnv&, StoredTask&)> save;
  // Puts a loaded task's rules and settings back, before its documents; a refusal skips the task
  // (the document list stays as it was).
  std::function<std::optional<Refusal>(OperationEnv&, const StoredTask&)> load;
  // After loading, before the run: a refusal ends the whole batch (no printer, a failing data source).
  std::vector<Check> runChecks;
};

// A command-line option of an operation's command.
struct CliOptionSpec {
  QString name;  // without the dashes
  bool takesValue = false;
  QString valueName;
  QString help;
  bool required = false;  // missing: a usage error
  int values = 1;         // with takesValue: how many arguments follow ("--range S E")
};

// The options given to a command: name -> values in order ("" for a flag).
struct CliValues {
  QMap<QString, QStringList> options;
  bool has(const QString& name) const { return options.contains(name); }
  QString value(const QString& name, const QString& fallback = {}) const {
    auto it = options.find(name);
    return it == options.end() || it->isEmpty() ? fallback : it->back();
  }
};

struct CliSpec {
  QString name;      // "replace"; empty: no command
  QString synopsis;  // after the name
  QString summary;
  QList<CliOptionSpec> options;
  int minPaths = 1;
  // Fills the operation's settings from the options before its checks run. A refusal with a
  // title is shown as one (exit 1); without a title its text is a usage error (exit 2).
  std::function<std::optional<Refusal>(OperationEnv&, const CliValues& values)> apply;
};

struct OperationDecl {
  QString id;                 // operation identifier, e.g. "docR"
  QString title;              // summary title, e.g. "文档替换"
  QStringList menuItems;      // the menu items that start it
  QStringList settingsItems;  // the menu items that open its settings
  word::FeatureSet features;  // what the engine must offer
  int initialCount = 0;
  // Documents do not depend on each other: perDocument may then run for several documents at
  // once, on several threads, and must not change anything they share (names chosen from
  // what earlier documents wrote, running numbers, one open target: false).
  bool independent = true;
  // Each document's routine ends in saving that document and reads back nothing a save wrote
  // (of this or another document): the saves of an independent run may then be flushed to the
  // disk many at a time, which on a disk costs about one flush for all.
  bool groupSaves = false;
  Resume resume = Resume::FromNext;
  std::vector<Check> checks;  // in the written order; the first failure refuses
  std::function<Question(OperationEnv&)> question;  // empty: no question
  std::function<RunSteps(OperationEnv&)> prepare;
  // What a run would do, written nowhere: each document's line says it (command line --preview;
  // the window shows it before the question). Empty: the operation has no preview.
  std::function<RunSteps(OperationEnv&)> preview;
  CliSpec cli;
  TaskPart task;              // how it is kept as a stored task (empty letter: never)
};

class OperationRegistry {
 public:
  void add(OperationDecl decl);
  const OperationDecl* find(const QString& id) const;
  const OperationDecl* forMenuItem(const QString& objectName) const;
  const OperationDecl* forCommand(const QString& cliName) const;
  // By the task's kind letter ("r") or kind word ("replace").
  const OperationDecl* forTaskKind(const QString& letterOrWord) const;
  const std::vector<std::shared_ptr<const OperationDecl>>& all() const { return decls_; }

 private:
  std::vector<std::shared_ptr<const OperationDecl>> decls_;
};

// Every operation of src/ops/, declared once.
const OperationRegistry& operations();

// Refusal when the installed engines lack a feature of the operation: names what is missing.
std::optional<Refusal> missingFeatures(const OperationDecl& decl, const word::FeatureSet& installed);

enum class StartOutcome { Started, Busy, Unsupported, Refused, Cancelled };
// Preview: the checks, then the preview steps in the frame instead of the question and the run.
// Unasked: the checks, then the run without the question (a stored task of a batch).
enum class StartMode { Run, Preview, Unasked };

// The start command of every operation: the busy refusal, the engine check, the operation's
// checks in order, its question, then the run in the context's frame with the continuation
// the declaration names. busy: more reasons to refuse (the window's folder scan).
StartOutcome startOperation(const OperationDecl& decl, OperationEnv& env, const word::FeatureSet& installed,
                            const std::function<bool()>& busy = {}, StartMode mode = StartMode::Run);

// Enters every declared operation's continuation in the frame.
void registerContinuations(RunFrame& frame);

// The frame's run of a declaration with the steps its prepare made (the first pass of a run, or
// the next pass of a combined one).
Operation passOf(const OperationDecl& decl, RunSteps steps);

// Common checks.
Check requireTickedDocuments();

}  // namespace vm

// Declares an operation in an ops/ source file; the build collects it (see src/CMakeLists.txt).
#define VM_OPERATION(name)                          \
  namespace vm::ops::declared {                     \
  ::vm::OperationDecl name();                       \
  }                                                 \
  ::vm::OperationDecl vm::ops::declared::name()
