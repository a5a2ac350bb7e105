#include "dialogs/datasourcewindow.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "data/datasource.h"
#include "dialogs/filedialogs.h"
#include "dialogs/messageboxprompter.h"
#include "ops/generate.h"

namespace vm {

namespace {

// Qt draws a line break as "\n" (the old report and help text used CR LF).
const QString kCrLf = QStringLiteral("\n");

QString chooseSource(QWidget* parent) {
  return chooseOpenFileDialog(parent, QStringLiteral("选择数据库"),
                              QStringLiteral("数据库(*.mdb *.accdb *.sqlite *.db *.csv *.xlsx);;Access数据库(*.mdb *.accdb);;"
                                             "SQLite数据库(*.sqlite *.db);;表格(*.csv *.xlsx);;所有文件(*)"));
}

}  // namespace

DataSourceWindow::DataSourceWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), chooser_(chooseSource), onConfigMissing_([] { QApplication::exit(1); }) {
  setObjectName(QStringLiteral("frmDataSetup"));
  setWindowTitle(QStringLiteral("数据库参数设置-支持Access数据库（以及SQLite数据库、CSV和Excel表格）"));
  setModal(true);
  auto* grid = new QGridLayout;
  txtDPath = new QLineEdit(this);
  txtDPath->setObjectName(QStringLiteral("txtDPath"));
  lbl = new LinkLabel(QStringLiteral("选择文件"), this);
  lbl->setObjectName(QStringLiteral("lbl"));
  connect(lbl, &LinkLabel::clicked, this, [this] {
    const QString path = chooser_(this);
    if (!path.isEmpty()) txtDPath->setText(path);
  });
  txtDPwd = new QLineEdit(this);
  txtDPwd->setObjectName(QStringLiteral("txtDPwd"));
  txtDPwd->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  txtSql = new QPlainTextEdit(this);
  txtSql->setObjectName(QStringLiteral("txtSql"));
  txtSql->setTabChangesFocus(true);
  txtSql->setFixedHeight(70);
  grid->addWidget(new QLabel(QStringLiteral("数据库地址:"), this), 0, 0);
  grid->addWidget(txtDPath, 0, 1);
  grid->addWidget(lbl, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("数据库密码:"), this), 1, 0);
  grid->addWidget(txtDPwd, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("SQL语句:"), this), 2, 0, Qt::AlignTop);
  grid->addWidget(txtSql, 2, 1, 1, 2);

  frm_Data = new QGroupBox(QStringLiteral("数据库检测信息"), this);
  frm_Data->setObjectName(QStringLiteral("frm_Data"));
  lbl_DataTestInfo = new LinkLabel(QStringLiteral("检测信息"), frm_Data);
  lbl_DataTestInfo->setObjectName(QStringLiteral("lbl_DataTestInfo"));
  lbl_DataTestInfo->setWordWrap(true);
  lbl_DataTestInfo->setToolTip(QStringLiteral("单击关闭检测信息"));
  (new QVBoxLayout(frm_Data))->addWidget(lbl_DataTestInfo);
  connect(lbl_DataTestInfo, &LinkLabel::clicked, this, [this] {
    frm_Data->hide();
    cmdSaveSetup->setEnabled(false);
  });

  fra_cLoad = new QGroupBox(QStringLiteral("参数调用说明"), this);
  fra_cLoad->setObjectName(QStringLiteral("fra_cLoad"));
  lbl_d = new QLabel(QStringLiteral("此功能主要是通过连接数据库来批量获取数据。") + kCrLf +
                         QStringLiteral("操作步骤：需设置好数据库配置、替换规则。") + kCrLf +
                         QStringLiteral("如何引用数据：$[WDCon_1]$表示引用数据库查询的第一条数据，以此类推。") + kCrLf +
                         QStringLiteral("比如替换“我爱中国”为数据库查询第三条数据。那么被替换为就是$[WDCon_3]$") + kCrLf,
                     fra_cLoad);
  lbl_d->setObjectName(QStringLiteral("lbl_d"));
  lbl_d->setWordWrap(true);
  lbl_d->setTextInteractionFlags(Qt::TextSelectableByMouse);
  (new QVBoxLayout(fra_cLoad))->addWidget(lbl_d);

  cmdCheckDataCon = new QPushButton(QStringLiteral("验证数据库"), this);
  cmdCheckDataCon->setObjectName(QStringLiteral("cmdCheckDataCon"));
  cmdSaveSetup = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSaveSetup->setObjectName(QStringLiteral("cmdSaveSetup"));
  cmdCancel = new QPushButton(QStringLiteral("取消保存"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCheckDataCon->setDefault(true);  // Enter tests; saving needs a test first
  connect(cmdCheckDataCon, &QPushButton::clicked, this, &DataSourceWindow::test);
  connect(cmdSaveSetup, &QPushButton::clicked, this, &DataSourceWindow::save);
  connect(cmdCancel, &QPushButton::clicked, this, &DataSourceWindow::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdCheckDataCon);
  buttons->addWidget(cmdSaveSetup);
  buttons->addWidget(cmdCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(frm_Data);
  layout->addWidget(fra_cLoad);
  layout->addLayout(buttons);
  load();
  resetForMenu();
}

DataSourceWindow::~DataSourceWindow() = default;

void DataSourceWindow::load() {
  const ops::GenerateSettings& s = ops::generateSettings(app_);
  txtDPath->setText(s.dbPath);
  txtDPwd->setText(s.dbPwd);
  txtSql->setPlainText(s.dbSql);
}

void DataSourceWindow::resetForMenu() {
  cmdSaveSetup->setEnabled(false);
  frm_Data->hide();
}

void DataSourceWindow::test() {
  const QString path = txtDPath->text().trimmed();
  const QString password = txtDPwd->text().trimmed();
  const QString sql = txtSql->toPlainText().trimmed();
  if (path.isEmpty()) {
    prompter_->inform(QStringLiteral("出错了"), QStringLiteral("数据库地址不能为空！"));
    return;
  }
  if (sql.isEmpty()) {
    prompter_->inform(QStringLiteral("出错了"), QStringLiteral("SQL语句不能为空！"));
    txtSql->setFocus();
    return;
  }
  frm_Data->show();
  QString error, report;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The connection is closed as soon as the report is written.
  if (auto source = data::DataSource::open(path, password, &error)) {
    report = QStringLiteral("数据库连接成功！") + kCrLf;
    if (auto result = source->query(sql, &error)) {
      report += QStringLiteral("数据库操作成功！") + kCrLf +
                (result->rows.isEmpty() ? QStringLiteral("检索数据为空！") : QStringLiteral("检索数据非空！")) + kCrLf;
      cmdSaveSetup->setEnabled(true);
    } else {
      report += QStringLiteral("数据库操作失败！") + kCrLf + error + kCrLf;
    }
    report += QStringLiteral("如果数据库连接成功、操作成功、数据库数据非空，就可以进行数据库操作了。");
  } else {
    report = kCrLf + error;
  }
  QApplication::restoreOverrideCursor();
  lbl_DataTestInfo->setText(report);
}

bool DataSourceWindow::save() {
  if (!app_.checkConfigIni(*prompter_)) {
    onConfigMissing_();
    return false;
  }
  ops::GenerateSettings& s = ops::generateSettings(app_);
  s.dbPath = txtDPath->text().trimmed();
  s.dbPwd = txtDPwd->text().trimmed();
  s.dbSql = txtSql->toPlainText().trimmed();
  s.saveDataSource(app_.ini());
  load();
  accept();
  return true;
}

void DataSourceWindow::done(int result) {
  keepTyped();
  QDialog::done(result);
}

void DataSourceWindow::keepTyped() {
  ops::GenerateSettings& s = ops::generateSettings(app_);
  s.dbPath = txtDPath->text();
  s.dbPwd = txtDPwd->text();
  s.dbSql = txtSql->toPlainText();
}

}  // namespace vm
