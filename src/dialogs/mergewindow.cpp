#include "dialogs/mergewindow.h"

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
#include "ops/merge.h"

namespace vm {

namespace {

// The filter names .docx too: on Windows "*.doc" matched them by their short names.
QString chooseWordFile(QWidget* parent) {
  return chooseOpenFileDialog(parent, {}, QStringLiteral("Word文档(*.doc *.docx)"));
}

bool isNumber(const QString& text) {
  bool ok = false;
  text.trimmed().toDouble(&ok);
  return ok;
}

}  // namespace

MergeWindow::MergeWindow(ops::MergeSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), chooser_(chooseWordFile) {
  setObjectName(QStringLiteral("frmHbsetup"));
  setWindowTitle(QStringLiteral("文档合并设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_hbsetup"));
  auto* grid = new QGridLayout(frame);
  auto named = [](QWidget* w, const QString& name) {
    w->setObjectName(name);
    return w;
  };
  auto choose = [this] { return chooser_(this); };
  int row = 0;
  const ChooserRow targetRow = makeChooserRow(this, QStringLiteral("txtHbSave"), QStringLiteral("lblCF"), choose);
  txtHbSave = targetRow.field;
  lblCF = targetRow.link;
  grid->addWidget(new QLabel(QStringLiteral("合并后保存文档："), this), row, 0);
  grid->addWidget(txtHbSave, row, 1, 1, 2);
  grid->addWidget(lblCF, row++, 3);

  grid->addWidget(new QLabel(QStringLiteral("文档合并方式："), this), row++, 0, 1, 4);
  const QString modes[2] = {QStringLiteral("合并成一个文档"), QStringLiteral("合并成多个文档")};
  for (int box = 0; box < 2; ++box) {
    chkFileHb[box] = new QCheckBox(modes[box], this);
    chkFileHb[box]->setObjectName(QStringLiteral("chkFileHb_%1").arg(box));
    connect(chkFileHb[box], &QCheckBox::clicked, this, [this, box] { modeClicked(box); });
  }
  grid->addWidget(chkFileHb[0], row++, 0, 1, 4);
  grid->addWidget(chkFileHb[1], row, 0);
  lblPHb[0] = static_cast<QLabel*>(named(new QLabel(QStringLiteral("每"), this), QStringLiteral("lblPHb_0")));
  txtPHb = static_cast<QLineEdit*>(named(new QLineEdit(this), QStringLiteral("txtPHb")));
  lblPHb[1] = static_cast<QLabel*>(
      named(new QLabel(QStringLiteral("个文档合并一个文档"), this), QStringLiteral("lblPHb_1")));
  auto* per = new QHBoxLayout;
  per->addWidget(lblPHb[0]);
  per->addWidget(txtPHb);
  per->addWidget(lblPHb[1]);
  grid->addLayout(per, row++, 1, 1, 3);
  connect(txtPHb, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (!text.trimmed().isEmpty() && !isNumber(text))
      prompter_->inform(msg::titleError(), QStringLiteral("合并文档数目必须为数字！"));
  });

  txtMaxPages = static_cast<QLineEdit*>(named(new QLineEdit(this), QStringLiteral("txtMaxPages")));
  txtMaxPages->setToolTip(QStringLiteral("如果并入文档页数大于该数字，该设置无效。"));
  grid->addWidget(new QLabel(QStringLiteral("单个文档并入新文档后的最大页数："), this), row, 0, 1, 2);
  grid->addWidget(txtMaxPages, row++, 2);
  connect(txtMaxPages, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (text.trimmed().isEmpty())
      prompter_->inform(msg::titleError(), QStringLiteral("请输入单个文档的最大数目！"));
    else if (!isNumber(text))
      prompter_->inform(msg::titleError(), QStringLiteral("单个文档的最大数目必须为数字！"));
    else
      chkWdAddNew->setChecked(text.trimmed().toDouble() > 0);
  });

  auto side = [&](QCheckBox*& box, QLineEdit*& field, LinkLabel*& chooser, const QString& caption, const char* boxName,
                  const char* fieldName, const char* linkName) {
    box = static_cast<QCheckBox*>(named(new QCheckBox(caption, this), QString::fromLatin1(boxName)));
    const ChooserRow r = makeChooserRow(this, QString::fromLatin1(fieldName), QString::fromLatin1(linkName), choose, box);
    field = r.field;
    chooser = r.link;
    grid->addWidget(box, row++, 0, 1, 4);
    grid->addWidget(field, row, 0, 1, 3);
    grid->addWidget(chooser, row++, 3);
  };
  side(chkWdBChk, txtWdB, lblWdB, QStringLiteral("在插入新文档前插入该文档"), "chkWdBChk", "txtWdB", "lblWdB");
  side(chkWdEChk, txtWdE, lblWdE, QStringLiteral("在插入新文档后插入该文档"), "chkWdEChk", "txtWdE", "lblWdE");
  chkWdAddNew = static_cast<QCheckBox*>(
      named(new QCheckBox(QStringLiteral("在新的一页插入新文档"), this), QStringLiteral("chkWdAddNew")));
  grid->addWidget(chkWdAddNew, row++, 0, 1, 4);

  cmdSaveHbSetup = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSaveHbSetup->setObjectName(QStringLiteral("cmdSaveHbSetup"));
  cmdSaveHbSetup->setDefault(true);  // Enter
  connect(cmdSaveHbSetup, &QPushButton::clicked, this, &MergeWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSaveHbSetup, 0, Qt::AlignRight);
  load();
}

MergeWindow::~MergeWindow() = default;

void MergeWindow::modeClicked(int box) {
  // The count field follows the box clicked; then the pair acts as radio buttons.
  if (chkFileHb[0]->isChecked() || chkFileHb[1]->isChecked()) {
    const bool several = chkFileHb[1]->isChecked() && (box == 1 || !chkFileHb[0]->isChecked());
    txtPHb->setEnabled(several);
    for (QLabel* l : lblPHb) l->setEnabled(several);
  }
  chkFileHb[1 - box]->setChecked(!chkFileHb[box]->isChecked());
}

void MergeWindow::load() {
  const ops::MergeSettings& s = settings_;
  txtHbSave->setText(s.target);
  chkFileHb[0]->setChecked(s.mode == 0);
  chkFileHb[1]->setChecked(s.mode == 1);
  txtPHb->setText(s.perText);
  txtPHb->setEnabled(s.mode != 0);
  for (QLabel* l : lblPHb) l->setEnabled(s.mode != 0);
  txtMaxPages->setText(s.maxPagesText);
  chkWdBChk->setChecked(s.before);
  txtWdB->setText(s.beforePath);
  chkWdEChk->setChecked(s.after);
  txtWdE->setText(s.afterPath);
  chkWdAddNew->setChecked(s.pageBreak);
}

bool MergeWindow::save() {
  ops::MergeSettings s;
  s.target = txtHbSave->text();
  s.mode = chkFileHb[0]->isChecked() ? 0 : chkFileHb[1]->isChecked() ? 1 : -1;
  s.perText = txtPHb->text();
  s.maxPagesText = txtMaxPages->text();
  s.before = chkWdBChk->isChecked();
  s.beforePath = txtWdB->text();
  s.after = chkWdEChk->isChecked();
  s.afterPath = txtWdE->text();
  s.pageBreak = chkWdAddNew->isChecked();
  if (auto problem = ops::mergeSettingsProblem(s, false)) {
    prompter_->inform(msg::titleError(), problem->text);
    return false;
  }
  settings_ = s;
  accept();
  return true;
}

}  // namespace vm

// 合并拆分 → 文档合并设置: created once; the merge's refusals open it too.
VM_WINDOW_PART(mergeSettings) {
  using namespace vm;
  auto* w = new MergeWindow(window.app().store<ops::MergeSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_hbsz"), [w] {
    w->load();
    w->exec();
  });
}
