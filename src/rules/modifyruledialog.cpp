#include "rules/modifyruledialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "rules/replacerules.h"

namespace vm::rules {

ModifyRuleDialog::ModifyRuleDialog(ReplaceRules& rules, QWidget* parent)
    : RuleEditorDialog(rules, QStringLiteral("frmModifyR"), QStringLiteral("替换规则修改"),
                       QStringLiteral("要替换的内容不可以修改。你可以删除该规则，然后重新添加。"), parent) {
  txtF->setReadOnly(true);
  txtKey = new QLineEdit(this);
  txtKey->setObjectName(QStringLiteral("txtKey"));
  txtKey->hide();
  cmdModify = new QPushButton(QStringLiteral("修  改"), this);
  cmdModify->setDefault(true);  // Enter
  cmdModify->setObjectName(QStringLiteral("cmdModify"));
  addButtons({cmdModify});
  connect(cmdModify, &QPushButton::clicked, this, [this] { modify(); });
}

void ModifyRuleDialog::load(int number, bool byDoubleClick) {
  const Rule rule = rules_.at(number - 1);
  if (byDoubleClick && isPictureReference(rule.replacement)) setPicture(ReplacementSide, true);
  txtKey->setText(QString::number(number));
  showText(FindSide, rule.find);
  showText(ReplacementSide, rule.replacement);
}

int ModifyRuleDialog::openOn(int number, bool byDoubleClick) {
  load(number, byDoubleClick);
  return exec();
}

bool ModifyRuleDialog::modify() {
  bool isNumber = false;
  const int number = txtKey->text().toInt(&isNumber);
  const bool known = isNumber && number >= 1 && number <= rules_.count();
  // A known rule is checked against its own find text (what txtF shows until a refusal
  // empties it); otherwise the fields are compared and nothing changes.
  const auto refusal = known ? rules_.modify(number - 1, txtT->text()) : checkDiffer(txtF->text(), txtT->text());
  if (refusal) {
    refuse(*refusal);
    // An empty replacement (refused by the filename rules) gets the focus; a sameness empties both.
    if (trimBlanks(txtT->text()).isEmpty() && refusal->text == QStringLiteral("请输入被替换为的内容！")) {
      txtT->setFocus();
    } else {
      txtF->clear();
      txtT->clear();
    }
    return false;
  }
  accept();
  return known;
}

}  // namespace vm::rules
