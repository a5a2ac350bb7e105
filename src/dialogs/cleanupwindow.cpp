#include "dialogs/cleanupwindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/windowpart.h"
#include "dialogs/messageboxprompter.h"
#include "ops/cleanup.h"

namespace vm {

CleanupWindow::CleanupWindow(ops::CleanupSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), own_(std::make_unique<MessageBoxPrompter>(this)), prompter_(own_.get()) {
  setObjectName(QStringLiteral("frmWdql"));
  setWindowTitle(QStringLiteral("文档清理"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_wdql"));
  auto* grid = new QGridLayout(frame);
  const char* captions[6] = {"清理掉多余的空白段路", "清理掉文字的链接", "清理掉多余的空格",
                             "清理页眉以及水印",     "清理文档的页脚",   "清理文档的批注"};
  // Row and column of each box as laid out: 0 right and 1 left of row 1, then 2 | 3, 4 | 5.
  const int place[6][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
  for (int i = 0; i < 6; ++i) {
    chkDelOpt[i] = new QCheckBox(QString::fromUtf8(captions[i]), frame);
    chkDelOpt[i]->setObjectName(QStringLiteral("chkDelOpt_%1").arg(i));
    chkDelOpt[i]->setChecked(settings_.options[i]);
    grid->addWidget(chkDelOpt[i], place[i][0], place[i][1]);
    connect(chkDelOpt[i], &QCheckBox::toggled, this, [this, i](bool on) { settings_.options[i] = on; });
  }
  cmdSaveWdqj = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSaveWdqj->setDefault(true);  // Enter
  cmdSaveWdqj->setObjectName(QStringLiteral("cmdSaveWdqj"));
  connect(cmdSaveWdqj, &QPushButton::clicked, this, &CleanupWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSaveWdqj);
}

CleanupWindow::~CleanupWindow() = default;

void CleanupWindow::save() {
  if (!settings_.any()) {
    prompter_->inform(msg::titleError(), QStringLiteral("请选择你要清理文档的一项！"));
    return;
  }
  hide();
}

}  // namespace vm

VM_WINDOW_PART(cleanupSettings) {
  using namespace vm;
  auto* w = new CleanupWindow(window.app().store<ops::CleanupSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_wdqlSetup"), [w] { w->exec(); });
}
