#pragma once
// Replace by rules: the operation "docR" (menu item "开始替换", command `replace`) and its
// per-document routine ReplaceInDocument. Declared once (replace.cpp); the window, the command
// line and the task runner start it through the operation registry.

#include <QList>
#include <QString>
#include <QStringList>

#include "app/operation.h"
#include "app/runframe.h"
#include "app/settingsstore.h"

namespace vm::rules {
class ReplaceRules;
struct Rule;
}  // namespace vm::rules

namespace vm::ops {

inline const QString kReplaceOperationId = QStringLiteral("docR");

// The replace settings besides the rule list (AppContext::replaceRules()).
struct ReplaceSettings {
  bool save = true;  // false: a dry run that counts without saving
  // "同时替换页眉页脚、文本框和脚注": the rules reach every story, not the main text only.
  bool allStories = false;

  static constexpr const char* kKeepAs = "replace";
  void keep(SettingsFields& f) { f("allStories", allStories); }
};

// ReplaceInDocument: opens the document, applies every ticked rule in list order to its main
// text (a text rule with replaceAll, a picture rule with replaceWithPicture), saves it in
// place when save is true (a document nothing changed in stays byte for byte as it was), and
// closes it. Returns the number of replacements. Engine failures are thrown; the document is
// closed in any case and the file on disk is never half written.
// With allStories the rules reach every header, footer, text box, footnote and endnote too,
// with the same find settings; the kinds of story the document's back end has not built are
// named in *notReached (empty when all were reached).
int replaceInDocument(const QString& path, const QList<rules::Rule>& rules, bool save = true, bool allStories = false,
                      QStringList* notReached = nullptr);

// The two rule checks of a run by the replace rules, in their order: rules configured, some
// ticked. Each refusal opens the rule window.
std::vector<Check> ruleChecks(const QString& ruleWindow, const QString& noRules = QStringLiteral("请先配置替换规则！"),
                              const QString& noneTicked = QStringLiteral("请勾选你要替换的规则！"));

// The summary line of one document: "替换 N 处".
QString replacementLine(int count);

// The run of "docR" over the frame (title "文档替换", initial count 0). Its per-document routine
// works with the rules as they are now, for the whole run (continuing after a pause
// included); with save false (a dry run, titled so) it counts without saving anything.
Operation replaceOperation(const rules::ReplaceRules& rules, bool save = true, bool allStories = false);

}  // namespace vm::ops
