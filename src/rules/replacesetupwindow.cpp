#include "rules/replacesetupwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/windowpart.h"
#include "dialogs/filedialogs.h"
#include "dialogs/messageboxprompter.h"
#include "ops/replace.h"
#include "rules/addruledialog.h"
#include "rules/modifyruledialog.h"
#include "rules/replacerules.h"

namespace vm::rules {

namespace {

const QString kNoRules = QStringLiteral("请先添加替换规则！");

QString defaultRuleFileChooser(QWidget* parent, bool save) {
  const QString filter = QStringLiteral("规则文件(*.txt);;所有文件(*)");
  return save ? chooseSaveFileDialog(parent, QStringLiteral("导出规则"), filter)
              : chooseOpenFileDialog(parent, QStringLiteral("导入规则"), filter);
}

}  // namespace

ReplaceSetupWindow::ReplaceSetupWindow(ReplaceRules& rules, QWidget* parent)
    : QDialog(parent), rules_(rules), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      ruleFileChooser_(defaultRuleFileChooser) {
  setObjectName(QStringLiteral("frmReplaceSetup"));
  setWindowTitle(QStringLiteral("WORD批量替换规则设置"));
  setModal(true);

  menuBar = new QMenuBar(this);
  menuBar->setObjectName(QStringLiteral("menuBar"));
  m_do = menuBar->addMenu(QStringLiteral("操作"));
  m_do->setObjectName(QStringLiteral("m_do"));
  auto item = [this](const char* name, const QString& caption, void (ReplaceSetupWindow::*slot)()) {
    QAction* a = m_do->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  m_add = item("m_add", QStringLiteral("添加"), &ReplaceSetupWindow::addRule);
  m_modify = item("m_modify", QStringLiteral("修改"), &ReplaceSetupWindow::modifyRule);
  m_del = m_do->addAction(QStringLiteral("删除"));
  m_del->setObjectName(QStringLiteral("m_del"));
  connect(m_del, &QAction::triggered, this, [this] { selectLink(3); });
  m_clear = item("m_clear", QStringLiteral("清空"), &ReplaceSetupWindow::clearRules);
  m_do->addSeparator();
  m_import = item("m_import", QStringLiteral("导入规则..."), &ReplaceSetupWindow::importRules);
  m_export = item("m_export", QStringLiteral("导出规则..."), &ReplaceSetupWindow::exportRules);

  lblNotice[0] = new QLabel(
      QStringLiteral("替换功能中替换规则不支持数据库调用，生成功能中替换规则支持数据库调用。只有选中的替换规则才起作用。"), this);
  lblNotice[1] = new QLabel(QStringLiteral("请选择好规则后再点删除。"), this);
  for (int i = 0; i < 2; ++i) lblNotice[i]->setObjectName(QStringLiteral("lblNotice_%1").arg(i));
  lblNotice[0]->setWordWrap(true);

  lvwReplace = new QTreeWidget(this);
  lvwReplace->setObjectName(QStringLiteral("lvwReplace"));
  lvwReplace->setColumnCount(2);
  lvwReplace->setHeaderLabels({QStringLiteral("要替换的内容"), QStringLiteral("被替换为")});
  lvwReplace->setRootIsDecorated(false);
  lvwReplace->setUniformRowHeights(true);
  lvwReplace->header()->setSectionResizeMode(QHeaderView::Stretch);
  connect(lvwReplace, &QTreeWidget::itemChanged, this, &ReplaceSetupWindow::onItemChanged);
  connect(lvwReplace, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* it, int) { onItemDoubleClicked(it); });

  auto* links = new QHBoxLayout;
  const std::array<QString, 4> captions{QStringLiteral("全 选"), QStringLiteral("全不选"), QStringLiteral("反 选"),
                                        QStringLiteral("删 除")};
  for (int i = 0; i < 4; ++i) {
    lvw_select[i] = new LinkLabel(captions[i], this);
    lvw_select[i]->setObjectName(QStringLiteral("lvw_select_%1").arg(i));
    links->addWidget(lvw_select[i]);
    connect(lvw_select[i], &LinkLabel::clicked, this, [this, i] { selectLink(i); });
  }
  links->addStretch();
  links->addWidget(lblNotice[1]);

  cmdSave = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSave->setDefault(true);  // Enter
  cmdSave->setObjectName(QStringLiteral("cmdSave"));
  cmdSave->setAutoDefault(false);
  connect(cmdSave, &QPushButton::clicked, this, &ReplaceSetupWindow::saveSettings);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdSave);

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menuBar);
  layout->addWidget(lblNotice[0]);
  layout->addWidget(lvwReplace, 1);
  layout->addLayout(links);
  layout->addLayout(buttons);
  resize(640, 420);

  addDialog_ = new AddRuleDialog(rules_, this);
  modifyDialog_ = new ModifyRuleDialog(rules_, this);
  setPrompter(nullptr);

  connect(&rules_, &ReplaceRules::changed, this, &ReplaceSetupWindow::refresh);
  refresh();
}

ReplaceSetupWindow::~ReplaceSetupWindow() = default;

void ReplaceSetupWindow::showAsFileNameRules() {
  setObjectName(QStringLiteral("frmNameReplaceSetup"));
  setWindowTitle(QStringLiteral("文件名替换规则设置"));
  lvwReplace->setHeaderLabels({QStringLiteral("要替换的"), QStringLiteral("被替换为")});
  lblNotice[0]->hide();
  lblNotice[1]->setObjectName(QStringLiteral("lbl_notice"));
  m_import->setVisible(false);
  m_export->setVisible(false);
  addDialog_->setObjectName(QStringLiteral("frmNameAddR"));
  addDialog_->setWindowTitle(QStringLiteral("文件名替换规则添加"));
  modifyDialog_->setObjectName(QStringLiteral("frmNameModifyR"));
  modifyDialog_->setWindowTitle(QStringLiteral("文件名替换规则修改"));
  addDialog_->setPlainText();
  modifyDialog_->setPlainText();
}

void ReplaceSetupWindow::setPrompter(Prompter* prompter) {
  prompter_ = prompter ? prompter : ownPrompter_.get();
  addDialog_->setPrompter(prompter);
  modifyDialog_->setPrompter(prompter);
}

Prompter& ReplaceSetupWindow::prompter() const { return *prompter_; }

void ReplaceSetupWindow::refresh() {
  const QList<Rule> list = rules_.rules();
  refreshing_ = true;
  while (lvwReplace->topLevelItemCount() > list.size()) delete lvwReplace->takeTopLevelItem(lvwReplace->topLevelItemCount() - 1);
  for (qsizetype i = 0; i < list.size(); ++i) {
    QTreeWidgetItem* it = lvwReplace->topLevelItem(static_cast<int>(i));
    if (!it) {
      it = new QTreeWidgetItem(lvwReplace);
      it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
    }
    it->setText(0, list[i].find);
    it->setText(1, list[i].replacement);
    it->setCheckState(0, list[i].ticked ? Qt::Checked : Qt::Unchecked);
  }
  refreshing_ = false;
}

void ReplaceSetupWindow::onItemChanged(QTreeWidgetItem* item, int column) {
  if (refreshing_ || column != 0) return;
  const int index = lvwReplace->indexOfTopLevelItem(item);
  if (index >= 0 && index < rules_.count()) rules_.setTicked(index, item->checkState(0) == Qt::Checked);
}

void ReplaceSetupWindow::onItemDoubleClicked(QTreeWidgetItem* item) {
  const int index = lvwReplace->indexOfTopLevelItem(item);
  if (index >= 0) modifyDialog_->openOn(index + 1, true);
}

void ReplaceSetupWindow::addRule() { addDialog_->openEmpty(); }

void ReplaceSetupWindow::modifyRule() {
  const QList<Rule> list = rules_.rules();
  if (list.isEmpty()) {
    prompter().inform(msg::titleRefused(), kNoRules);
    return;
  }
  int ticked = -1;
  for (qsizetype i = 0; i < list.size(); ++i) {
    if (!list[i].ticked) continue;
    if (ticked >= 0) {
      prompter().inform(msg::titleRefused(), QStringLiteral("请不要选择多个规则进行修改！"));
      return;
    }
    ticked = static_cast<int>(i);
  }
  if (ticked >= 0) modifyDialog_->openOn(ticked + 1, false);
}

void ReplaceSetupWindow::selectLink(int index) {
  switch (index) {
    case 0: rules_.setAllTicked(true); break;
    case 1: rules_.setAllTicked(false); break;
    case 2: rules_.invertTicks(); break;
    case 3: rules_.removeTicked(); break;
    default: break;
  }
}

void ReplaceSetupWindow::clearRules() { rules_.clear(); }

void ReplaceSetupWindow::importRules() {
  const QString path = ruleFileChooser_ ? ruleFileChooser_(this, false) : QString();
  if (path.isEmpty()) return;
  const int before = rules_.count();
  QStringList skipped;
  if (auto error = importRuleFile(path, rules_, &skipped)) {
    prompter().inform(error->refusal.title, error->text());
    return;
  }
  QString text = QStringLiteral("已导入 %1 条规则。").arg(rules_.count() - before);
  if (!skipped.isEmpty()) text += QLatin1Char('\n') + skipped.join(QLatin1Char('\n'));
  prompter().inform(QStringLiteral("导入规则"), text);
}

void ReplaceSetupWindow::exportRules() {
  const QList<Rule> list = rules_.rules();
  if (list.isEmpty()) {
    prompter().inform(msg::titleRefused(), kNoRules);
    return;
  }
  const QString path = ruleFileChooser_ ? ruleFileChooser_(this, true) : QString();
  if (path.isEmpty()) return;
  Refusal problem;
  if (!exportRuleFile(path, list, &problem)) {
    prompter().inform(problem.title, problem.text);
    return;
  }
  prompter().inform(QStringLiteral("导出规则"), QStringLiteral("已导出 %1 条规则。").arg(list.size()));
}

void ReplaceSetupWindow::saveSettings() { accept(); }

// --- The main window's commands ------------------------------------------------------------

}  // namespace vm::rules

// 替换规则设置 (and 生成's 替换规则设置, the same list): the rule window, created once.
VM_WINDOW_PART(replaceRules) {
  auto* setup = new vm::rules::ReplaceSetupWindow(window.app().replaceRules(), &window);
  auto* scope = setup->chkAllStories = new QCheckBox(QStringLiteral("同时替换页眉页脚、文本框和脚注"), setup);
  scope->setObjectName(QStringLiteral("chkAllStories"));
  static_cast<QBoxLayout*>(setup->layout())->insertWidget(setup->layout()->count() - 1, scope);
  vm::ops::ReplaceSettings& settings = window.app().store<vm::ops::ReplaceSettings>();
  scope->setChecked(settings.allStories);
  QObject::connect(scope, &QCheckBox::toggled, setup, [&settings](bool on) { settings.allStories = on; });
  auto showRuleWindow = [setup] { setup->exec(); };
  window.bindWindowCommand(QStringLiteral("m_replaceSetup"), showRuleWindow);
  window.bindWindowCommand(QStringLiteral("m_createRep"), showRuleWindow);
}
