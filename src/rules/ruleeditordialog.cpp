#include "rules/ruleeditordialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/mainwindow.h"
#include "app/messages.h"
#include "dialogs/filedialogs.h"
#include "dialogs/messageboxprompter.h"
#include "rules/replacerules.h"

namespace vm::rules {

namespace {

QString defaultChooser(QWidget* parent, const QString& filter) {
  return chooseOpenFileDialog(parent, QStringLiteral("选择图片"), filter);
}

}  // namespace

RuleEditorDialog::RuleEditorDialog(ReplaceRules& rules, const QString& objectName, const QString& caption,
                                   const QString& notice, QWidget* parent)
    : QDialog(parent), rules_(rules), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), chooser_(defaultChooser) {
  setObjectName(objectName);
  setWindowTitle(caption);
  setModal(true);

  auto* grid = new QGridLayout;
  const std::array<QString, 2> labels{QStringLiteral("要替换的内容："), QStringLiteral("被替换为：")};
  const std::array<QString, 2> pairNames{QStringLiteral("chkThWztp"), QStringLiteral("chkThwWzTp")};
  for (int s = 0; s < 2; ++s) {
    const Side side = static_cast<Side>(s);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(side == FindSide ? QStringLiteral("txtF") : QStringLiteral("txtT"));
    (side == FindSide ? txtF : txtT) = edit;
    grid->addWidget(new QLabel(labels[s], this), s, 0);
    grid->addWidget(edit, s, 1);
    auto& boxes = pair(side);
    for (int i = 0; i < 2; ++i) {
      boxes[i] = new QCheckBox(i == 0 ? QStringLiteral("文 字") : QStringLiteral("图 片"), this);
      boxes[i]->setObjectName(QStringLiteral("%1_%2").arg(pairNames[s]).arg(i));
      grid->addWidget(boxes[i], s, 2 + i);
      connect(boxes[i], &QCheckBox::toggled, this, [this, side, i](bool on) { onBoxToggled(side, i, on); });
    }
    lblImg[s] = new LinkLabel(QStringLiteral("选择"), this);
    lblImg[s]->setObjectName(QStringLiteral("lblImg_%1").arg(s));
    grid->addWidget(lblImg[s], s, 4);
    connect(lblImg[s], &LinkLabel::clicked, this, [this, side] { choosePicture(side); });
    boxes[0]->setChecked(true);
    applyType(side, false);
  }
  grid->setColumnStretch(1, 1);

  lblNotice = new QLabel(notice, this);
  lblNotice->setObjectName(QStringLiteral("lblNotice"));
  lblNotice->setWordWrap(true);

  layout_ = new QVBoxLayout(this);
  layout_->addLayout(grid);
  layout_->addWidget(lblNotice);
  resize(560, sizeHint().height());
}

RuleEditorDialog::~RuleEditorDialog() = default;

void RuleEditorDialog::setPrompter(Prompter* prompter) { prompter_ = prompter ? prompter : ownPrompter_.get(); }

QString RuleEditorDialog::pictureFilter() {
  return QStringLiteral(
      "Jpg图像文档(*.jpg);;Jpeg图像文档(*.jpeg);;Png图像文档(*.png);;Gif图像文档(*.gif);;Bmp图像文档(*.bmp)");
}

void RuleEditorDialog::setPlainText() {
  for (int s = 0; s < 2; ++s) {
    setPicture(static_cast<Side>(s), false);
    for (QCheckBox* box : pair(static_cast<Side>(s))) box->hide();
    lblImg[s]->hide();
  }
}

void RuleEditorDialog::setHeaderFooter() {
  headerFooter_ = true;
  for (int s = 0; s < 2; ++s) applyType(static_cast<Side>(s), pair(static_cast<Side>(s))[1]->isChecked());
}

void RuleEditorDialog::setPicture(Side side, bool picture) { pair(side)[picture ? 1 : 0]->setChecked(true); }

void RuleEditorDialog::addButtons(const QList<QPushButton*>& buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QPushButton* b : buttons) {
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  row->addStretch();
  layout_->addLayout(row);
}

void RuleEditorDialog::refuse(const Refusal& refusal) {
  prompter_->inform(headerFooter_ ? QStringLiteral("请填写相关内容") : refusal.title, refusal.text);
}

void RuleEditorDialog::onBoxToggled(Side side, int item, bool checked) {
  auto& boxes = pair(side);
  QCheckBox* other = boxes[1 - item];
  if (checked) {
    if (!other->isChecked()) return;  // already this type (set up in the constructor)
    const QSignalBlocker block(other);
    other->setChecked(false);
    field(side)->clear();
    applyType(side, item == 1);
  } else if (!other->isChecked() && headerFooter_) {
    // The header and footer editors switch to the other type.
    const QSignalBlocker block(other);
    other->setChecked(true);
    field(side)->clear();
    applyType(side, item == 0);
  } else if (!other->isChecked()) {
    // Unticking the ticked box ticks it again: one box of a pair is always ticked.
    const QSignalBlocker block(boxes[item]);
    boxes[item]->setChecked(true);
  }
}

void RuleEditorDialog::applyType(Side side, bool picture) {
  QLineEdit* edit = field(side);
  edit->setEnabled(!picture);
  edit->setMaxLength(picture ? kPictureMaxLength : headerFooter_ ? 30 : 32767);
  lblImg[side]->setEnabled(picture);
}

void RuleEditorDialog::showText(Side side, const QString& text) {
  // The limit is for what is typed or chosen: a rule cut on display would be saved cut.
  QLineEdit* edit = field(side);
  if (text.size() > edit->maxLength()) edit->setMaxLength(static_cast<int>(text.size()));
  edit->setText(text);
}

void RuleEditorDialog::choosePicture(Side side) {
  if (!lblImg[side]->isEnabled()) return;
  const QString path = chooser_ ? chooser_(this, pictureFilter()) : QString();
  if (path.isEmpty()) return;
  const QString value = side == ReplacementSide ? pictureReference(path) : path;
  if (value.size() > kPictureMaxLength) {
    // The field takes at most 200 characters; a cut path would name no file.
    prompter_->inform(msg::titleError(),
                      QStringLiteral("图片路径过长，请选择路径较短的图片！"));
    return;
  }
  field(side)->setText(value);
}

}  // namespace vm::rules
