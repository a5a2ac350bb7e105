#include "rename/renamesettingswindow.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/windowpart.h"
#include "dialogs/filedialogs.h"
#include "dialogs/messageboxprompter.h"
#include "rename/namesettings.h"
#include "rules/replacesetupwindow.h"

namespace vm::rename {

namespace {

QString defaultFolderChooser(QWidget* parent) {
  QString dir = chooseFolderDialog(parent, msg::browseTitle());
  if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir;
}

}  // namespace

RenameSettingsWindow::RenameSettingsWindow(RenameSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), chooser_(defaultFolderChooser) {
  setObjectName(QStringLiteral("frmWordNameR"));
  setWindowTitle(QStringLiteral("文件名更改设置"));
  setModal(true);

  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_nameR"));
  auto* grid = new QGridLayout(frame);
  txtRName = new QLineEdit(this);
  txtRName->setObjectName(QStringLiteral("txtRName"));
  txtRName->installEventFilter(this);
  grid->addWidget(new QLabel(QStringLiteral("文件更名为:"), this), 0, 0);
  grid->addWidget(txtRName, 0, 1);
  auto* tagRow = new QHBoxLayout;
  tagRow->addWidget(new QLabel(QStringLiteral("标签:"), this));
  for (int i = 0; i < 6; ++i) {
    lblKindName[i] = new LinkLabel(tagCaptions()[i], this);
    lblKindName[i]->setObjectName(QStringLiteral("lblKindName_%1").arg(i));
    connect(lblKindName[i], &LinkLabel::clicked, this, [this, i] { insertTag(i); });
    tagRow->addWidget(lblKindName[i]);
  }
  tagRow->addWidget(new QLabel(QStringLiteral("点下面标签添加对应参数"), this));
  tagRow->addStretch();
  grid->addLayout(tagRow, 1, 1);
  txtSavePath = new QLineEdit(this);
  txtSavePath->setObjectName(QStringLiteral("txtSavePath"));
  lblChooseFolder = new LinkLabel(QStringLiteral("选择文件夹"), this);
  lblChooseFolder->setObjectName(QStringLiteral("lblChooseFolder"));
  connect(lblChooseFolder, &LinkLabel::clicked, this, &RenameSettingsWindow::chooseFolder);
  grid->addWidget(new QLabel(QStringLiteral("保存路径:"), this), 2, 0);
  grid->addWidget(txtSavePath, 2, 1);
  grid->addWidget(lblChooseFolder, 2, 2);

  fra_bt = new QGroupBox(QStringLiteral("文章标题截取设置"), this);
  fra_bt->setObjectName(QStringLiteral("fra_bt"));
  auto* tgrid = new QGridLayout(fra_bt);
  tgrid->addWidget(new QLabel(QStringLiteral("插入“文章标题”标签后，请在下面进行相关设置。"), this), 0, 0, 1, 4);
  const std::array<QString, 2> fileCaptions{QStringLiteral("截取文章首行"), QStringLiteral("截取文章行数:")};
  const std::array<QString, 2> rangeCaptions{QStringLiteral("从行数头截取到行数尾"), QStringLiteral("指定截取位置以及长度")};
  for (int i = 0; i < 2; ++i) {
    chkFile[i] = new QCheckBox(fileCaptions[i], this);
    chkFile[i]->setObjectName(QStringLiteral("chkFile_%1").arg(i));
    connect(chkFile[i], &QCheckBox::clicked, this, [this, i] { clickFile(i); });
    chkZfkswz[i] = new QCheckBox(rangeCaptions[i], this);
    chkZfkswz[i]->setObjectName(QStringLiteral("chkZfkswz_%1").arg(i));
    connect(chkZfkswz[i], &QCheckBox::clicked, this, [this, i] { clickRange(i); });
  }
  auto field = [this](const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    connect(e, &QLineEdit::textChanged, this, &RenameSettingsWindow::store);
    return e;
  };
  txtH = field("txtH");
  txtS = field("txtS");
  txtE = field("txtE");
  const std::array<QString, 4> labels{QStringLiteral("文章标题截取行数:"), QStringLiteral("文章标题截取长度:"),
                                      QStringLiteral("标题开始字符位置:"), QStringLiteral("标题结束字符位置:")};
  for (int i = 0; i < 4; ++i) titleLabels_[i] = new QLabel(labels[i], this);
  tgrid->addWidget(titleLabels_[0], 1, 0);
  tgrid->addWidget(chkFile[0], 1, 1);
  tgrid->addWidget(chkFile[1], 1, 2);
  tgrid->addWidget(txtH, 1, 3);
  tgrid->addWidget(titleLabels_[1], 2, 0);
  tgrid->addWidget(chkZfkswz[0], 2, 1);
  tgrid->addWidget(chkZfkswz[1], 2, 2);
  tgrid->addWidget(titleLabels_[2], 3, 0);
  tgrid->addWidget(txtS, 3, 1);
  tgrid->addWidget(titleLabels_[3], 3, 2);
  tgrid->addWidget(txtE, 3, 3);

  cmdSave = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSave->setDefault(true);  // Enter
  cmdSave->setObjectName(QStringLiteral("cmdSave"));
  cmdSave->setAutoDefault(false);
  connect(cmdSave, &QPushButton::clicked, this, [this] { save(); });
  connect(txtRName, &QLineEdit::textChanged, this, &RenameSettingsWindow::store);
  connect(txtSavePath, &QLineEdit::textChanged, this, &RenameSettingsWindow::store);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(fra_bt);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdSave);
  layout->addLayout(buttons);
  resize(600, sizeHint().height());
  load();
}

RenameSettingsWindow::~RenameSettingsWindow() = default;

void RenameSettingsWindow::setPrompter(Prompter* prompter) { prompter_ = prompter ? prompter : ownPrompter_.get(); }

void RenameSettingsWindow::load() {
  loading_ = true;
  txtRName->setText(settings_.pattern);
  txtSavePath->setText(settings_.folder);
  txtH->setText(settings_.h);
  txtS->setText(settings_.s);
  txtE->setText(settings_.e);
  for (int i = 0; i < 2; ++i) {
    chkFile[i]->setChecked(settings_.chkFile[i]);
    chkZfkswz[i]->setChecked(settings_.chkZfkswz[i]);
  }
  txtH->setEnabled(!settings_.chkFile[0]);
  txtS->setEnabled(settings_.chkZfkswz[1]);
  txtE->setEnabled(settings_.chkZfkswz[1]);
  setTitleFrameEnabled(settings_.wantsTitle());
  loading_ = false;
}

void RenameSettingsWindow::store() {
  if (loading_) return;
  settings_.pattern = txtRName->text();
  settings_.folder = txtSavePath->text();
  settings_.h = txtH->text();
  settings_.s = txtS->text();
  settings_.e = txtE->text();
  for (int i = 0; i < 2; ++i) {
    settings_.chkFile[i] = chkFile[i]->isChecked();
    settings_.chkZfkswz[i] = chkZfkswz[i]->isChecked();
  }
}

void RenameSettingsWindow::insertTag(int index) {
  const TagInsertion t = rename::insertTag(txtRName->text(), txtRName->cursorPosition(), tags()[index]);
  txtRName->setText(t.text);
  txtRName->setCursorPosition(t.caret);
}

void RenameSettingsWindow::setTitleFrameEnabled(bool on) {
  // The frame's children follow it; the boxes' fields keep their own state inside.
  fra_bt->setEnabled(on);
}

void RenameSettingsWindow::patternLeft() {
  setTitleFrameEnabled(txtRName->text().trimmed().contains(kTagTitle));
  const QString withSuffix = withDocSuffix(txtRName->text());
  if (withSuffix != txtRName->text()) txtRName->setText(withSuffix);
}

bool RenameSettingsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtRName && event->type() == QEvent::FocusOut) patternLeft();
  return QDialog::eventFilter(watched, event);
}

void RenameSettingsWindow::chooseFolder() {
  const QString dir = chooser_ ? chooser_(this) : QString();
  if (!dir.isEmpty()) txtSavePath->setText(dir);
}

// The fields follow the pair as it ends up: set before the other box changes, txtH would stay
// disabled just when box 1 (which needs it) is ticked.
void RenameSettingsWindow::clickFile(int box) {
  if (chkFile[box]->isChecked()) {
    const QSignalBlocker block(chkFile[1 - box]);
    chkFile[1 - box]->setChecked(false);
  }
  txtH->setEnabled(!chkFile[0]->isChecked());
  store();
}

void RenameSettingsWindow::clickRange(int box) {
  {
    const QSignalBlocker block(chkZfkswz[1 - box]);
    chkZfkswz[1 - box]->setChecked(!chkZfkswz[box]->isChecked());
  }
  txtS->setEnabled(chkZfkswz[1]->isChecked());
  txtE->setEnabled(chkZfkswz[1]->isChecked());
  store();
}

bool RenameSettingsWindow::save() {
  store();
  if (auto r = checkSettings(settings_)) {
    prompter_->inform(msg::titleError(), r->text);
    if (auto* w = findChild<QWidget*>(r->field)) w->setFocus();
    return false;
  }
  accept();
  return true;
}

}  // namespace vm::rename

// 更名 → 文档名更改设置 and 替换规则设置: both windows created once and kept.
VM_WINDOW_PART(renameSettings) {
  using namespace vm;
  auto* settings = new rename::RenameSettingsWindow(window.app().store<rename::RenameSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_rName"), [settings] {
    settings->load();
    settings->exec();
  });
  auto* rules = new rules::ReplaceSetupWindow(window.app().store<rename::NameRules>(), &window);
  rules->showAsFileNameRules();
  window.bindWindowCommand(QStringLiteral("m_nameRep"), [rules] { rules->exec(); });
}
