#include "ops/replace.h"

#include "app/documentlist.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "rules/replacerules.h"
#include "word/document.h"

namespace vm::ops {

namespace {

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdU16String()); }

}  // namespace

int replaceInDocument(const QString& path, const QList<rules::Rule>& rules, bool save) {
  // The search settings are fixed: the FindOptions defaults (case-insensitive, not whole
  // words, no wildcards, full-width and half-width distinguished, no formatting).
  const word::FindOptions options;
  auto doc = word::open(toPath(path));
  word::Story& story = doc->mainStory();
  int total = 0;
  for (const rules::Rule& rule : rules) {
    if (!rule.ticked) continue;
    const std::string find = rule.find.toStdString();
    if (rules::isPictureReference(rule.replacement))
      total += story.replaceWithPicture(find, toPath(rules::picturePath(rule.replacement)), options);
    else
      total += story.replaceAll(find, rule.replacement.toStdString(), options);
  }
  if (save) doc->save();
  doc->close();
  return total;
}

QString replacementLine(int count) { return QStringLiteral("替换 %1 处").arg(count); }

Operation replaceOperation(const rules::ReplaceRules& rules, bool save) {
  Operation op;
  op.id = kReplaceOperationId;
  op.title = save ? QStringLiteral("文档替换") : QStringLiteral("文档替换（试运行，未保存）");
  op.initialCount = 0;
  op.perDocument = [&rules, save](const QString& path) {
    return replacementLine(replaceInDocument(path, rules.rules(), save));
  };
  return op;
}

void registerReplaceContinuation(RunFrame& frame) {
  frame.registerContinuation(kReplaceOperationId, [](RunFrame& f) {
    f.resume(f.operation(), f.runSize(), f.currentIndex() + 1);
  });
}

StartOutcome startDocRep(const ReplaceCommand& c) {
  if (c.frame.refuseIfBusy(c.prompter)) return StartOutcome::Refused;
  if (c.rules.count() < 1) {
    c.prompter.inform(msg::titleRefused(), QStringLiteral("请先配置替换规则！"));
    if (c.openRuleWindow) c.openRuleWindow();
    return StartOutcome::NoRules;
  }
  if (c.rules.tickedCount() < 1) {
    c.prompter.inform(msg::titleRefused(), QStringLiteral("请勾选你要替换的规则！"));
    if (c.openRuleWindow) c.openRuleWindow();
    return StartOutcome::NoTickedRules;
  }
  if (c.documents.entryCount() < 1 || c.documents.tickedCount() < 1) {
    c.prompter.inform(msg::titleRefused(), msg::noDocuments());
    return StartOutcome::NoDocuments;
  }
  if (!c.prompter.ask(QStringLiteral("文档替换"),
                      QStringLiteral("你确认开始按照规则替换文档了吗？\n\n"
                                     "你可以点确认按钮开始替换所有文档,也可以点取消按钮取消替换！")))
    return StartOutcome::Cancelled;
  QString refusal;
  if (!c.frame.start(replaceOperation(c.rules, c.save), &refusal)) {
    c.prompter.inform(msg::titleRefused(), refusal);
    return StartOutcome::Refused;
  }
  return StartOutcome::Started;
}

}  // namespace vm::ops
