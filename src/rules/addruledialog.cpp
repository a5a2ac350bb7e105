#include "rules/addruledialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "rules/replacerules.h"

namespace vm::rules {

AddRuleDialog::AddRuleDialog(ReplaceRules& rules, QWidget* parent)
    : RuleEditorDialog(rules, QStringLiteral("frmAddR"), QStringLiteral("替换规则添加"),
                       QStringLiteral("针对同一要替换的内容进行多次规则添加，视为重复添加。"), parent) {
  cmdAdd = new QPushButton(QStringLiteral("添  加"), this);
  cmdAdd->setDefault(true);  // Enter
  cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
  cmdCancel = new QPushButton(QStringLiteral("取  消"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  addButtons({cmdAdd, cmdCancel});
  connect(cmdAdd, &QPushButton::clicked, this, [this] { add(); });
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int AddRuleDialog::openEmpty() {
  if (headerFooter_) setPicture(ReplacementSide, false);
  txtF->clear();
  txtT->clear();
  return exec();
}

bool AddRuleDialog::add() {
  if (auto refusal = rules_.add(txtF->text(), txtT->text())) {
    refuse(*refusal);
    // An empty field gets the focus; a sameness or a duplicate empties both; a character
    // refusal (filename rules) leaves them for correcting.
    const QString& why = refusal->text;
    if (trimBlanks(txtF->text()).isEmpty()) {
      txtF->setFocus();
    } else if (why == QStringLiteral("请输入被替换为的内容！")) {
      txtT->setFocus();
    } else if (why == QStringLiteral("要替换的和被替换为内容不允许相同！") ||
               why == QStringLiteral("该规则已被添加过，请不要重复添加！")) {
      txtF->clear();
      txtT->clear();
    }
    return false;
  }
  accept();
  return true;
}

}  // namespace vm::rules
