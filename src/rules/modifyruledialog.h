#pragma once
// frmModifyR "替换规则修改": changes the replacement of one rule. The hidden txtKey holds the
// rule's number (from 1); txtF shows the find text, which cannot be changed here. cmdModify
// "修  改" (both texts trimmed) refuses a replacement equal to the find text and empties both
// fields; otherwise the rule numbered txtKey gets the new replacement (find text and tick stay)
// and the dialog hides.

#include "rules/ruleeditordialog.h"

namespace vm::rules {

class ModifyRuleDialog : public RuleEditorDialog {
  Q_OBJECT
 public:
  explicit ModifyRuleDialog(ReplaceRules& rules, QWidget* parent = nullptr);

  // Fills the dialog with rule number (from 1): txtKey, txtF, txtT. byDoubleClick on a
  // picture rule switches the replacement type to picture first; through the menu the type
  // boxes stay as they were.
  void load(int number, bool byDoubleClick);
  // load() and show the dialog modally.
  int openOn(int number, bool byDoubleClick);
  // cmdModify; true when the rule was changed.
  bool modify();

  QLineEdit* txtKey = nullptr;
  QPushButton* cmdModify = nullptr;
};

}  // namespace vm::rules
