#include "dialogs/headerfooterwindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/windowpart.h"
#include "dialogs/filedialogs.h"
#include "ops/headerfooter.h"
#include "rules/addruledialog.h"
#include "rules/modifyruledialog.h"
#include "rules/replacerules.h"
#include "rules/replacesetupwindow.h"

namespace vm {

namespace {
QString chooseJpg(QWidget* parent) {
  return chooseOpenFileDialog(parent, QString(), QStringLiteral("Jpg图像文档(*.jpg)"));
}
}  // namespace

HeaderFooterWindow::HeaderFooterWindow(ops::HeaderFooterSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), chooser_(chooseJpg) {
  setObjectName(QStringLiteral("frmYmyjSetup"));
  setWindowTitle(QStringLiteral("页眉页脚设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fraSetup"));
  auto* grid = new QGridLayout(frame);
  const QString names[2] = {QStringLiteral("Ym"), QStringLiteral("Yj")};
  const QString labels[2][2] = {{QStringLiteral("页眉内容:"), QStringLiteral("请选择页眉内容的类型:")},
                                {QStringLiteral("页脚内容:"), QStringLiteral("请选择页脚内容的类型:")}};
  for (int side = 0; side < 2; ++side) {
    QLineEdit* f = fields[side] = new QLineEdit(frame);
    f->setObjectName(QStringLiteral("txt") + names[side]);
    f->setMaxLength(30);  // until the first click on a type box
    f->setText(side == 0 ? settings_.header : settings_.footer);
    connect(f, &QLineEdit::textChanged, this, &HeaderFooterWindow::store);
    lblImg[side] = new LinkLabel(QStringLiteral("选择"), frame);
    lblImg[side]->setObjectName(QStringLiteral("lblImg_%1").arg(side));
    lblImg[side]->setEnabled(false);
    connect(lblImg[side], &LinkLabel::clicked, this, [this, side] { choosePicture(side); });
    const int row = side * 2;
    grid->addWidget(new QLabel(labels[side][0], frame), row, 0);
    grid->addWidget(f, row, 1, 1, 2);
    grid->addWidget(lblImg[side], row, 3);
    grid->addWidget(new QLabel(labels[side][1], frame), row + 1, 0);
    for (int box = 0; box < 2; ++box) {
      QCheckBox* c = types[side][box] = new QCheckBox(box == 0 ? QStringLiteral("文 字") : QStringLiteral("图 片"), frame);
      c->setObjectName(QStringLiteral("chk%1lx_%2").arg(names[side]).arg(box));
      c->setChecked(box == 0);
      connect(c, &QCheckBox::clicked, this, [this, side, box] { typeClicked(side, box); });
      grid->addWidget(c, row + 1, 1 + box);
    }
  }
  chkQxhx = new QCheckBox(QStringLiteral("去除下划线"), frame);
  chkQxhx->setObjectName(QStringLiteral("chkQxhx"));
  chkQxhx->setChecked(settings_.removeUnderline);
  connect(chkQxhx, &QCheckBox::toggled, this, &HeaderFooterWindow::store);
  grid->addWidget(chkQxhx, 4, 0, 1, 2);
  cmdSave = new QPushButton(QStringLiteral("确认保存"), this);
  cmdSave->setDefault(true);  // Enter
  cmdSave->setObjectName(QStringLiteral("cmdSave"));
  connect(cmdSave, &QPushButton::clicked, this, &QDialog::hide);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSave);
}

void HeaderFooterWindow::typeClicked(int side, int box) {
  // The box has its new tick; unticking the only ticked box ticks the other one.
  const bool picture = types[side][box]->isChecked() ? box == 1 : box == 0;
  types[side][0]->setChecked(!picture);
  types[side][1]->setChecked(picture);
  QLineEdit* f = fields[side];
  f->clear();
  f->setEnabled(!picture);  // a picture is chosen, never typed
  f->setMaxLength(picture ? 200 : 50);
  lblImg[side]->setEnabled(picture);
}

void HeaderFooterWindow::choosePicture(int side) {
  const QString file = chooser_(this);
  if (!file.isEmpty()) fields[side]->setText(rules::pictureReference(file));
}

void HeaderFooterWindow::store() {
  settings_.header = txtYm->text();
  settings_.footer = txtYj->text();
  settings_.removeUnderline = chkQxhx->isChecked();
}

}  // namespace vm

VM_WINDOW_PART(headerFooterSettings) {
  using namespace vm;
  auto* w = new HeaderFooterWindow(window.app().store<ops::HeaderFooterSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_ymyjAddRuler"), [w] { w->exec(); });
}

// The header and footer rule list is the content rule list's window over a list of its own.
VM_WINDOW_PART(headerFooterRules) {
  using namespace vm;
  auto* w = new rules::ReplaceSetupWindow(window.app().store<ops::HeaderFooterRules>().list, &window);
  w->setObjectName(QStringLiteral("frmWordYmYjReplaceSetup"));
  w->setWindowTitle(QStringLiteral("页眉页脚替换规则设置"));
  w->lvwReplace->setHeaderLabels({QStringLiteral("要替换的"), QStringLiteral("被替换为")});
  w->m_import->setVisible(false);
  w->m_export->setVisible(false);
  w->addDialog()->setHeaderFooter();
  w->modifyDialog()->setHeaderFooter();
  w->addDialog()->setObjectName(QStringLiteral("frmYmyjAddR"));
  w->addDialog()->setWindowTitle(QStringLiteral("页眉页脚替换规则添加"));
  w->modifyDialog()->setObjectName(QStringLiteral("frmYmyjModifyR"));
  w->modifyDialog()->setWindowTitle(QStringLiteral("替换规则修改"));
  window.bindWindowCommand(QStringLiteral("m_ymyjRepRuler"), [w] { w->exec(); });
}
