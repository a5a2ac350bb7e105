#include "dialogs/namingwindow.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
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
#include "dialogs/datasourcewindow.h"
#include "dialogs/messageboxprompter.h"
#include "ops/generate.h"

namespace vm {

namespace {

const QString kTitle = QStringLiteral("文档名设置");

}  // namespace

NamingWindow::NamingWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), chooser_(chooseFolderWithSeparator), onConfigMissing_([] { QApplication::exit(1); }) {
  setObjectName(QStringLiteral("frmFNameSetup"));
  setWindowTitle(QStringLiteral("文件名设置"));
  setModal(true);
  txtN = new QLineEdit(this);
  txtN->setObjectName(QStringLiteral("txtN"));
  txtN->installEventFilter(this);
  const ChooserRow folderRow = makeChooserRow(this, QStringLiteral("txtSavePath"), QStringLiteral("lblChooseFolder"),
                                              [this] { return chooser_(this); }, nullptr, QStringLiteral("选择文件夹"));
  txtSavePath = folderRow.field;
  lblChooseFolder = folderRow.link;
  lbl_notice = new QLabel(QStringLiteral("该功能只有在生成文件时才起作用，文件名必须输入后缀名。支持调用数据库的参数。"), this);
  lbl_notice->setObjectName(QStringLiteral("lbl_notice"));
  lbl_notice->setWordWrap(true);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("批量文件名:"), this), 0, 0);
  grid->addWidget(txtN, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("文件保存路径:"), this), 1, 0);
  grid->addWidget(txtSavePath, 1, 1);
  grid->addWidget(lblChooseFolder, 1, 2);
  grid->addWidget(lbl_notice, 2, 0, 1, 3);
  cmdViewDataSetup = new QPushButton(QStringLiteral("数据库设置"), this);
  cmdViewDataSetup->setObjectName(QStringLiteral("cmdViewDataSetup"));
  connect(cmdViewDataSetup, &QPushButton::clicked, this, [this] {
    if (showDataSource_) showDataSource_();
  });
  cmdSaveFName = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSaveFName->setObjectName(QStringLiteral("cmdSaveFName"));
  cmdSaveFName->setDefault(true);
  connect(cmdSaveFName, &QPushButton::clicked, this, &NamingWindow::save);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdViewDataSetup);
  buttons->addStretch();
  buttons->addWidget(cmdSaveFName);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  load();
}

NamingWindow::~NamingWindow() = default;

void NamingWindow::load() {
  const ops::GenerateSettings& s = ops::generateSettings(app_);
  txtN->setText(s.fileBatchName);
  txtSavePath->setText(s.fileSavePath);
}

void NamingWindow::completeExtension() {
  const QString name = txtN->text().trimmed();
  if (!name.isEmpty() && !name.contains(QLatin1String(".doc"))) txtN->setText(name + QStringLiteral(".doc"));
}

bool NamingWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtN && event->type() == QEvent::FocusOut) completeExtension();
  return QDialog::eventFilter(watched, event);
}

bool NamingWindow::save() {
  const QString name = txtN->text().trimmed(), folder = txtSavePath->text().trimmed();
  const QString refusal = name.isEmpty()             ? QStringLiteral("请输入批量文档名！")
                          : !name.contains(u'.')     ? QStringLiteral("请输入批量文档后缀名！")
                          : folder.isEmpty()         ? QStringLiteral("请输入文档保存路径！")
                                                     : QString();
  if (!refusal.isEmpty()) {
    prompter_->inform(kTitle, refusal);
    return false;
  }
  if (!app_.checkConfigIni(*prompter_)) {
    onConfigMissing_();
    return false;
  }
  ops::GenerateSettings& s = ops::generateSettings(app_);
  s.fileBatchName = name;
  s.fileSavePath = folder;
  s.saveNaming(app_.ini());
  load();
  accept();
  return true;
}

void NamingWindow::done(int result) {
  ops::GenerateSettings& s = ops::generateSettings(app_);
  s.fileBatchName = txtN->text();
  s.fileSavePath = txtSavePath->text();
  QDialog::done(result);
}

}  // namespace vm

// 生成 → 文档名设置 and 数据库设置: created once; the generation's refusals open them too.
VM_WINDOW_PART(generateSettings) {
  using namespace vm;
  auto* data = new DataSourceWindow(window.app(), &window);
  auto* naming = new NamingWindow(window.app(), &window);
  naming->setDataSourceWindow([data] {
    data->load();
    data->exec();
  });
  window.bindWindowCommand(ops::kDataSourceItem, [data] {
    data->load();
    data->resetForMenu();
    data->exec();
  });
  window.bindWindowCommand(ops::kNamingItem, [naming] {
    naming->load();
    naming->exec();
  });
}
