#include "dialogs/summarywindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/windowpart.h"
#include "ops/summary.h"

namespace vm {

SummaryWindow::SummaryWindow(ops::SummarySettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
  setObjectName(QStringLiteral("frmWordModifyDet"));
  setWindowTitle(QStringLiteral("文件摘要信息设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_wDet"));
  auto* grid = new QGridLayout(frame);
  auto field = [&](const char* name, const QString& label, int row) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaxLength(50);
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(e, row, 1);
    return e;
  };
  txtBt = field("txtBt", QStringLiteral("文档标题:"), 0);
  txtZt = field("txtZt", QStringLiteral("文档主题:"), 1);
  txtZz = field("txtZz", QStringLiteral("文档作者:"), 2);
  txtGs = field("txtGs", QStringLiteral("公    司:"), 3);
  auto* notice = new QLabel(QStringLiteral("批量修改摘要后将根据此处摘要信息设置修改文件的摘要。不支持数据库调用。"), this);
  notice->setWordWrap(true);
  grid->addWidget(notice, 4, 0, 1, 2);
  cmdSave = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSave->setDefault(true);  // Enter
  cmdSave->setObjectName(QStringLiteral("cmdSave"));
  connect(cmdSave, &QPushButton::clicked, this, &SummaryWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSave, 0, Qt::AlignRight);
  load();
}

void SummaryWindow::load() {
  txtBt->setText(settings_.title);
  txtZt->setText(settings_.subject);
  txtZz->setText(settings_.author);
  txtGs->setText(settings_.company);
}

void SummaryWindow::save() {
  settings_ = {txtBt->text(), txtZt->text(), txtZz->text(), txtGs->text()};
  accept();
}

}  // namespace vm

// 其他 → 摘要信息设置: created once.
VM_WINDOW_PART(summarySettings) {
  using namespace vm;
  auto* w = new SummaryWindow(window.app().store<ops::SummarySettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_modify_info"), [w] {
    w->load();
    w->exec();
  });
}
