#pragma once
// frmAddR "替换规则添加": adds one rule to the list. cmdAdd "添  加" validates (both texts
// trimmed): empty find text (focus back to txtF), replacement equal to the find text, find
// text already in the list (the last two empty both fields); on success the rule is appended,
// ticked, and the dialog hides. cmdCancel "取  消" hides it.

#include "rules/ruleeditordialog.h"

namespace vm::rules {

class AddRuleDialog : public RuleEditorDialog {
  Q_OBJECT
 public:
  explicit AddRuleDialog(ReplaceRules& rules, QWidget* parent = nullptr);

  // m_add: empties txtF and txtT (the type boxes stay; the header and footer editor turns the
  // replacement back to text) and shows the dialog modally.
  int openEmpty();
  // cmdAdd; true when the rule was added.
  bool add();

  QPushButton* cmdAdd = nullptr;
  QPushButton* cmdCancel = nullptr;
};

}  // namespace vm::rules
