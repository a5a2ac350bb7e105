#include "dialogs/splitwindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/windowpart.h"
#include "dialogs/chooserrow.h"
#include "dialogs/filedialogs.h"
#include "dialogs/messageboxprompter.h"
#include "ops/split.h"

namespace vm {

namespace {

// .docx too: the inserted documents are read by the office, whatever their Word format.
QString chooseDocument(QWidget* parent) {
  return chooseOpenFileDialog(parent, QString(), QStringLiteral("Word文档(*.doc *.docx)"));
}

QLineEdit* field(const char* name, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  return e;
}

}  // namespace

SplitWindow::SplitWindow(ops::SplitSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), folderChooser_(chooseFolderWithSeparator), fileChooser_(chooseDocument) {
  setObjectName(QStringLiteral("frmFgsetup"));
  setWindowTitle(QStringLiteral("文档分割设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_hbsetup"));
  auto* grid = new QGridLayout(frame);

  const ChooserRow folderRow = makeChooserRow(this, QStringLiteral("txtHbSave"), QStringLiteral("lblCF"),
                                              [this] { return folderChooser_(this); });
  txtHbSave = folderRow.field;
  lblCF = folderRow.link;
  grid->addWidget(new QLabel(QStringLiteral("分割后保存路径："), this), 0, 0);
  grid->addWidget(txtHbSave, 0, 1);
  grid->addWidget(lblCF, 0, 2);

  const QString tip = QStringLiteral("如果并入文档页数大于该数字，该设置无效。");
  txtPerPage = field("txtPerPage", this);
  txtPerPage->setToolTip(tip);
  auto* perPage = new QHBoxLayout;
  perPage->addWidget(new QLabel(QStringLiteral("每"), this));
  perPage->addWidget(txtPerPage);
  perPage->addWidget(new QLabel(QStringLiteral("页保存一个新文档"), this));
  perPage->addStretch();
  grid->addLayout(perPage, 1, 0, 1, 3);

  txtMaxPages = field("txtMaxPages", this);
  txtMaxPages->setToolTip(tip);
  grid->addWidget(new QLabel(QStringLiteral("单个文档分割成新文档后的最大页数："), this), 2, 0);
  grid->addWidget(txtMaxPages, 2, 1);

  chkWdBChk = new QCheckBox(QStringLiteral("在新文档前插入该文档"), this);
  chkWdBChk->setObjectName(QStringLiteral("chkWdBChk"));
  auto chooseFile = [this] { return fileChooser_(this); };
  const ChooserRow beforeRow = makeChooserRow(this, QStringLiteral("txtWdB"), QStringLiteral("lblWdB"), chooseFile, chkWdBChk);
  txtWdB = beforeRow.field;
  lblWdB = beforeRow.link;
  grid->addWidget(chkWdBChk, 3, 0);
  grid->addWidget(txtWdB, 3, 1);
  grid->addWidget(lblWdB, 3, 2);

  chkWdEChk = new QCheckBox(QStringLiteral("在新文档后插入该文档"), this);
  chkWdEChk->setObjectName(QStringLiteral("chkWdEChk"));
  const ChooserRow afterRow = makeChooserRow(this, QStringLiteral("txtWdE"), QStringLiteral("lblWdE"), chooseFile, chkWdEChk);
  txtWdE = afterRow.field;
  lblWdE = afterRow.link;
  grid->addWidget(chkWdEChk, 4, 0);
  grid->addWidget(txtWdE, 4, 1);
  grid->addWidget(lblWdE, 4, 2);

  connect(txtMaxPages, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (auto problem = ops::maxPagesTypingProblem(text)) prompter_->inform(msg::titleError(), *problem);
  });

  cmdSaveHbSetup = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSaveHbSetup->setObjectName(QStringLiteral("cmdSaveHbSetup"));
  cmdSaveHbSetup->setDefault(true);  // Enter
  connect(cmdSaveHbSetup, &QPushButton::clicked, this, &SplitWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSaveHbSetup, 0, Qt::AlignRight);
  load();
}

SplitWindow::~SplitWindow() = default;

void SplitWindow::load() {
  txtHbSave->setText(settings_.folder);
  txtPerPage->setText(settings_.perPage);
  txtMaxPages->setText(settings_.maxPages);
  chkWdBChk->setChecked(settings_.before);
  txtWdB->setText(settings_.beforePath);
  chkWdEChk->setChecked(settings_.after);
  txtWdE->setText(settings_.afterPath);
  lblWdB->setEnabled(settings_.before);
  lblWdE->setEnabled(settings_.after);
}

bool SplitWindow::save() {
  ops::SplitSettings s;
  s.folder = txtHbSave->text();
  s.perPage = txtPerPage->text();
  s.maxPages = txtMaxPages->text();
  s.before = chkWdBChk->isChecked();
  s.beforePath = txtWdB->text();
  s.after = chkWdEChk->isChecked();
  s.afterPath = txtWdE->text();
  if (auto problem = ops::splitSettingsProblem(s, ops::SplitCheck::Save)) {
    prompter_->inform(msg::titleError(), *problem);
    return false;
  }
  settings_ = s;
  accept();
  return true;
}

}  // namespace vm

// 合并拆分 → 文档拆分设置: created once; the start command's refusals open it too.
VM_WINDOW_PART(splitSettings) {
  using namespace vm;
  auto* w = new SplitWindow(window.app().store<ops::SplitSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_fgSetup"), [w] {
    w->load();
    w->exec();
  });
}
