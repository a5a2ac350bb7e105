#pragma once
// Replace by rules: the start command "开始替换" (m_startDocRep), the operation "docR" that the
// run frame walks the document list with, and the per-document routine ReplaceInDocument.
// The window's menu, the command line, the combined runs and the task runner all start it
// through startDocRep or replaceOperation.

#include <QList>
#include <QString>

#include <functional>

#include "app/runframe.h"

namespace vm {
class DocumentList;
class Prompter;
namespace rules {
class ReplaceRules;
struct Rule;
}  // namespace rules
}  // namespace vm

namespace vm::ops {

inline const QString kReplaceOperationId = QStringLiteral("docR");

// ReplaceInDocument: opens the document, applies every ticked rule in list order to its main
// text (a text rule with replaceAll, a picture rule with replaceWithPicture), saves it in
// place when save is true (always: a document nothing changed in stays byte for byte as it
// was), and closes it. Returns the number of replacements. Engine failures are thrown; the
// document is closed in any case and the file on disk is never half written.
int replaceInDocument(const QString& path, const QList<rules::Rule>& rules, bool save = true);

// The summary line of one document: "替换 N 处".
QString replacementLine(int count);

// The operation "docR" (title "文档替换", initial count 0). Its per-document routine reads
// the rules anew for every document; with save false (a dry run, titled so) it counts
// without saving anything.
Operation replaceOperation(const rules::ReplaceRules& rules, bool save = true);

// Enters "docR" in the frame's continuation table: a paused replace run continues the same
// operation with the run size it was started with (RunSize), from the entry after the last
// one handled.
void registerReplaceContinuation(RunFrame& frame);

// What the start command needs from its caller.
struct ReplaceCommand {
  rules::ReplaceRules& rules;
  DocumentList& documents;
  RunFrame& frame;
  Prompter& prompter;
  // Opens the rule window (after keep-in-front is switched off); empty on the command line.
  std::function<void()> openRuleWindow;
  bool save = true;  // false: a dry run
};

enum class StartOutcome { NoRules, NoTickedRules, NoDocuments, Cancelled, Refused, Started };

// m_startDocRep: the busy refusal, the checks in their order (no rule, no ticked rule, no
// ticked document), the question, then the run start. Returns at once; the run goes on in
// the frame.
StartOutcome startDocRep(const ReplaceCommand& command);

}  // namespace vm::ops
