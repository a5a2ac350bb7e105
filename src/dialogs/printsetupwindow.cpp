#include "dialogs/printsetupwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/windowpart.h"
#include "ops/print.h"
#include "print/printers.h"

namespace vm {

PrintSetupWindow::PrintSetupWindow(ops::PrintSettings& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), settings_(settings), prompter_(prompter) {
  setObjectName(QStringLiteral("frmPrintSetup"));
  setWindowTitle(QStringLiteral("打印参数设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("参数设置"), this);
  auto* grid = new QGridLayout(frame);

  grid->addWidget(new QLabel(QStringLiteral("打印机:"), this), 0, 0);
  cboPrinter = new QComboBox(this);
  cboPrinter->setObjectName(QStringLiteral("cboPrinter"));
  grid->addWidget(cboPrinter, 0, 1, 1, 3);

  grid->addWidget(new QLabel(QStringLiteral("打印份数:"), this), 1, 0);
  txtP = new QLineEdit(this);
  txtP->setObjectName(QStringLiteral("txtP"));
  grid->addWidget(txtP, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("(单位:份)"), this), 1, 2);

  grid->addWidget(new QLabel(QStringLiteral("页面打印方向:"), this), 2, 0);
  auto* direction = new QHBoxLayout;
  optPD[1] = new QRadioButton(QStringLiteral("纵向"), this);
  optPD[0] = new QRadioButton(QStringLiteral("横向"), this);
  for (int i : {1, 0}) {
    optPD[i]->setObjectName(QStringLiteral("optPD_%1").arg(i));
    direction->addWidget(optPD[i]);
  }
  direction->addStretch();
  grid->addLayout(direction, 2, 1, 1, 3);

  grid->addWidget(new QLabel(QStringLiteral("页边距设置:"), this), 3, 0);
  auto* pair = new QHBoxLayout;
  chkybj[0] = new QCheckBox(QStringLiteral("保持默认"), this);
  chkybj[1] = new QCheckBox(QStringLiteral("自定义"), this);
  for (int i : {0, 1}) {
    chkybj[i]->setObjectName(QStringLiteral("chkybj_%1").arg(i));
    pair->addWidget(chkybj[i]);
    connect(chkybj[i], &QCheckBox::clicked, this, [this, i] { marginPairClicked(i); });
  }
  pair->addWidget(new QLabel(QStringLiteral("(单位:毫米)"), this));
  pair->addStretch();
  grid->addLayout(pair, 3, 1, 1, 3);

  auto* margins = new QGridLayout;
  auto margin = [&](const char* name, const QString& label, const QString& side, int row, int col) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaximumWidth(80);
    margins->addWidget(new QLabel(label, this), row, col * 2);
    margins->addWidget(e, row, col * 2 + 1);
    // said while typing; the text stays as typed
    connect(e, &QLineEdit::textEdited, this, [this, side](const QString& text) {
      if (const QString p = ops::marginTypingProblem(text, side); !p.isEmpty()) prompter_.inform(msg::titleError(), p);
    });
    return e;
  };
  txtS = margin("txtS", QStringLiteral("上:"), QStringLiteral("上"), 0, 0);
  txtX = margin("txtX", QStringLiteral("下:"), QStringLiteral("下"), 0, 1);
  txtZ = margin("txtZ", QStringLiteral("左:"), QStringLiteral("左"), 1, 0);
  txtY = margin("txtY", QStringLiteral("右:"), QStringLiteral("右"), 1, 1);
  grid->addLayout(margins, 4, 1, 1, 3);

  cmdSavePrintSetup = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSavePrintSetup->setObjectName(QStringLiteral("cmdSavePrintSetup"));
  cmdSavePrintSetup->setDefault(true);
  connect(cmdSavePrintSetup, &QPushButton::clicked, this, &PrintSetupWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSavePrintSetup, 0, Qt::AlignRight);
  load();
}

void PrintSetupWindow::load() {
  txtP->setText(settings_.copies);
  optPD[0]->setChecked(settings_.landscape);
  optPD[1]->setChecked(!settings_.landscape);
  chkybj[1]->setChecked(settings_.customMargins);
  chkybj[0]->setChecked(!settings_.customMargins);
  txtS->setText(settings_.top);
  txtX->setText(settings_.bottom);
  txtZ->setText(settings_.left);
  txtY->setText(settings_.right);
  for (QLineEdit* e : {txtS, txtX, txtZ, txtY}) e->setEnabled(settings_.customMargins);

  cboPrinter->clear();
  const QList<print::Printer> all = print::printers();
  for (const print::Printer& p : all) {
    QString text = p.name;
    if (!p.description.isEmpty() && p.description != p.name) text += QStringLiteral("（%1）").arg(p.description);
    if (p.isDefault) text += QStringLiteral(" — 默认");
    cboPrinter->addItem(text, p.name);
  }
  cboPrinter->setEnabled(!all.isEmpty());
  if (all.isEmpty()) {
    cboPrinter->addItem(QStringLiteral("（未找到打印机）"), QString());
    return;
  }
  const auto chosen = print::choosePrinter(all, settings_.printer);
  const int at = cboPrinter->findData(chosen ? chosen->name : settings_.printer);
  cboPrinter->setCurrentIndex(at < 0 ? 0 : at);
}

// The two boxes act as one choice: exactly one is ticked, and the margins are open while
// "自定义" is.
void PrintSetupWindow::marginPairClicked(int index) {
  chkybj[1 - index]->setChecked(!chkybj[index]->isChecked());
  for (QLineEdit* e : {txtS, txtX, txtZ, txtY}) e->setEnabled(chkybj[1]->isChecked());
}

bool PrintSetupWindow::save() {
  ops::PrintSettings typed;
  typed.copies = txtP->text();
  typed.landscape = optPD[0]->isChecked();
  typed.customMargins = chkybj[1]->isChecked();
  typed.top = txtS->text();
  typed.bottom = txtX->text();
  typed.left = txtZ->text();
  typed.right = txtY->text();
  // the default printer is remembered as "the default", so that a later default is followed
  const QString picked = cboPrinter->currentData().toString();
  const auto fallback = print::choosePrinter(print::printers());
  typed.printer = fallback && fallback->name == picked ? QString() : picked;
  if (auto r = ops::checkPrintSettings(typed)) {
    prompter_.inform(r->title, r->text);
    return false;
  }
  settings_ = typed;
  accept();
  return true;
}

}  // namespace vm

// 打印 → 打印参数设置: created once, hidden after saving.
VM_WINDOW_PART(printSettings) {
  using namespace vm;
  auto* w = new PrintSetupWindow(window.app().store<ops::PrintSettings>(), window.prompter(), &window);
  window.bindWindowCommand(QStringLiteral("m_print_setup"), [w] {
    w->load();
    w->exec();
  });
}
