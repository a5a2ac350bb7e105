#pragma once
// frmReplaceSetup "WORD批量替换规则设置": the content replace rules in the list view lvwReplace
// (columns "要替换的内容" and "被替换为", a tick per rule), the menu m_do "操作" (m_add "添加",
// m_modify "修改", m_del "删除", m_clear "清空", then m_import and m_export for rule files),
// the links lvw_select_0 .. _3 ("全 选", "全不选", "反 选", "删 除"), double-click on a rule
// to modify it, and cmdSave "保存设置", which hides the window.
//
// The window only shows the shared rule list: hiding it, saving, or closing it through its
// close box all keep every rule.
//
// The window part in the .cpp binds m_replaceSetup and m_createRep of the main window to this
// window (after keep-in-front is switched off); 开始替换 is the replace operation's own.

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vm {
class LinkLabel;
class MainWindow;
class MessageBoxPrompter;
class Prompter;
}  // namespace vm

namespace vm::rules {

class AddRuleDialog;
class ModifyRuleDialog;
class ReplaceRules;

class ReplaceSetupWindow : public QDialog {
  Q_OBJECT
 public:
  // The rule file chooser: open (save false) or save (save true); an empty text is a cancel.
  using RuleFileChooser = std::function<QString(QWidget* parent, bool save)>;

  explicit ReplaceSetupWindow(ReplaceRules& rules, QWidget* parent = nullptr);
  ~ReplaceSetupWindow() override;

  // Messages of this window and of both editors (nullptr: message boxes). Not owned.
  void setPrompter(Prompter* prompter);
  void setRuleFileChooser(RuleFileChooser chooser) { ruleFileChooser_ = std::move(chooser); }

  // The same window over the filename rules (rename/namesettings.h): frmNameReplaceSetup
  // "文件名替换规则设置" with the editors frmNameAddR and frmNameModifyR, plain text only, no
  // rule files. Called once, right after construction.
  void showAsFileNameRules();

  AddRuleDialog* addDialog() const { return addDialog_; }
  ModifyRuleDialog* modifyDialog() const { return modifyDialog_; }
  ReplaceRules& rules() const { return rules_; }

  // The commands, as the menu items and links run them.
  void addRule();                // m_add
  void modifyRule();             // m_modify
  void selectLink(int index);    // lvw_select_0 .. _3 (m_del runs link 3)
  void clearRules();             // m_clear
  void importRules();            // m_import
  void exportRules();            // m_export
  void saveSettings();           // cmdSave

  QMenuBar* menuBar = nullptr;
  QMenu* m_do = nullptr;
  QAction* m_add = nullptr;
  QAction* m_modify = nullptr;
  QAction* m_del = nullptr;
  QAction* m_clear = nullptr;
  QAction* m_import = nullptr;
  QAction* m_export = nullptr;
  QTreeWidget* lvwReplace = nullptr;
  std::array<LinkLabel*, 4> lvw_select{};
  std::array<QLabel*, 2> lblNotice{};
  QPushButton* cmdSave = nullptr;
  // "同时替换页眉页脚、文本框和脚注" (content rules only; unticked: the main text, as written).
  QCheckBox* chkAllStories = nullptr;

 private:
  void refresh();
  void onItemChanged(QTreeWidgetItem* item, int column);
  void onItemDoubleClicked(QTreeWidgetItem* item);
  Prompter& prompter() const;

  ReplaceRules& rules_;
  AddRuleDialog* addDialog_ = nullptr;
  ModifyRuleDialog* modifyDialog_ = nullptr;
  std::unique_ptr<MessageBoxPrompter> ownPrompter_;
  Prompter* prompter_ = nullptr;
  RuleFileChooser ruleFileChooser_;
  bool refreshing_ = false;
};

}  // namespace vm::rules
