#include "dialogs/watermarkwindow.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/windowpart.h"
#include "dialogs/filedialogs.h"
#include "dialogs/messageboxprompter.h"
#include "ops/watermark.h"
#include "rules/replacerules.h"

namespace vm {

namespace {

QString chooseJpg(QWidget* parent) {
  return chooseOpenFileDialog(parent, QString(), QStringLiteral("Jpg图像文档(*.jpg)"));
}

std::optional<unsigned> chooseColour(QWidget* parent) {
  const QColor c = QColorDialog::getColor(Qt::white, parent);
  if (!c.isValid()) return std::nullopt;
  // The colour number: red in the lowest byte.
  return static_cast<unsigned>(c.red() | (c.green() << 8) | (c.blue() << 16));
}

}  // namespace

WatermarkWindow::WatermarkWindow(ops::WatermarkSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), own_(std::make_unique<MessageBoxPrompter>(this)), prompter_(own_.get()),
      pictureChooser_(chooseJpg), colourChooser_(vm::chooseColour) {
  setObjectName(QStringLiteral("frmSySetup"));
  setWindowTitle(QStringLiteral("水印设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_sy"));
  auto* grid = new QGridLayout(frame);
  auto named = [](auto* w, const QString& name) {
    w->setObjectName(name);
    return w;
  };
  grid->addWidget(new QLabel(QStringLiteral("水印的类型:"), frame), 0, 0);
  for (int box = 0; box < 2; ++box) {
    chkSylx[box] = named(new QCheckBox(box == 0 ? QStringLiteral("文 字") : QStringLiteral("图  片"), frame),
                         QStringLiteral("chkSylx_%1").arg(box));
    chkSylx[box]->setChecked(box == 0);
    connect(chkSylx[box], &QCheckBox::clicked, this, [this, box] { typeClicked(box); });
    grid->addWidget(chkSylx[box], 0, 1 + box);
  }
  grid->addWidget(new QLabel(QStringLiteral("水印的内容:"), frame), 1, 0);
  txtF = named(new QLineEdit(frame), QStringLiteral("txtF"));
  txtF->setMaxLength(30);
  grid->addWidget(txtF, 1, 1, 1, 2);
  lblImg = named(new LinkLabel(QStringLiteral("选择"), frame), QStringLiteral("lblImg"));
  lblImg->setEnabled(false);
  connect(lblImg, &LinkLabel::clicked, this, &WatermarkWindow::choosePicture);
  grid->addWidget(lblImg, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("水印的颜色:"), frame), 2, 0);
  txtSyColor = named(new QLineEdit(frame), QStringLiteral("txtSyColor"));
  txtSyColor->setEnabled(false);
  grid->addWidget(txtSyColor, 2, 1, 1, 2);
  lblImgColor = named(new LinkLabel(QStringLiteral("选择"), frame), QStringLiteral("lblImgColor"));
  connect(lblImgColor, &LinkLabel::clicked, this, &WatermarkWindow::chooseColour);
  grid->addWidget(lblImgColor, 2, 3);
  grid->addWidget(new QLabel(QStringLiteral("水印的透明度:"), frame), 3, 0);
  slid_sytmd = named(new QSlider(Qt::Horizontal, frame), QStringLiteral("slid_sytmd"));
  slid_sytmd->setRange(0, 10);
  grid->addWidget(slid_sytmd, 3, 1, 1, 2);
  lbl_sytmd = named(new QLabel(QStringLiteral("0%"), frame), QStringLiteral("lbl_sytmd"));
  grid->addWidget(lbl_sytmd, 3, 3);
  connect(slid_sytmd, &QSlider::valueChanged, this, [this](int v) {
    lbl_sytmd->setText(QString::number(v * 10.0, 'f', 2) + QLatin1Char('%'));
    store();
  });
  txtSyk = named(new QLineEdit(frame), QStringLiteral("txtSyk"));
  txtSyg = named(new QLineEdit(frame), QStringLiteral("txtSyg"));
  grid->addWidget(new QLabel(QStringLiteral("水印的宽度:"), frame), 4, 0);
  grid->addWidget(txtSyk, 4, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("(单位:毫米)"), frame), 4, 3);
  grid->addWidget(new QLabel(QStringLiteral("水印的高度:"), frame), 5, 0);
  grid->addWidget(txtSyg, 5, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("(单位:毫米)"), frame), 5, 3);
  connect(txtSyk, &QLineEdit::textChanged, this, [this] { sizeChanged(txtSyk, ops::WatermarkProblem::Width); });
  connect(txtSyg, &QLineEdit::textChanged, this, [this] { sizeChanged(txtSyg, ops::WatermarkProblem::Height); });
  grid->addWidget(new QLabel(QStringLiteral("水印的位置:"), frame), 6, 0);
  for (int box = 0; box < 2; ++box) {
    chkSywz[box] = named(new QCheckBox(box == 0 ? QStringLiteral("水平居中") : QStringLiteral("垂直居中"), frame),
                         QStringLiteral("chkSywz_%1").arg(box));
    chkSywz[box]->setChecked(true);
    connect(chkSywz[box], &QCheckBox::toggled, this, &WatermarkWindow::store);
    grid->addWidget(chkSywz[box], 6, 1 + box);
  }
  connect(txtF, &QLineEdit::textChanged, this, &WatermarkWindow::store);
  connect(txtSyColor, &QLineEdit::textChanged, this, &WatermarkWindow::store);
  cmdSaveSy = named(new QPushButton(QStringLiteral("保存设置"), this), QStringLiteral("cmdSaveSy"));
  cmdSaveSy->setDefault(true);  // Enter
  connect(cmdSaveSy, &QPushButton::clicked, this, &WatermarkWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSaveSy);
  store();
}

WatermarkWindow::~WatermarkWindow() = default;

void WatermarkWindow::typeClicked(int box) {
  const bool picture = chkSylx[box]->isChecked() ? box == 1 : box == 0;
  chkSylx[0]->setChecked(!picture);
  chkSylx[1]->setChecked(picture);
  txtF->clear();
  txtF->setEnabled(!picture);
  if (picture) txtF->setMaxLength(200);  // text keeps the length it has
  lblImg->setEnabled(picture);
  slid_sytmd->setEnabled(!picture);
  lblImgColor->setEnabled(!picture);
  store();
}

void WatermarkWindow::choosePicture() {
  const QString file = pictureChooser_(this);
  if (!file.isEmpty()) txtF->setText(rules::pictureReference(file));
}

void WatermarkWindow::chooseColour() {
  if (auto c = colourChooser_(this)) txtSyColor->setText(QString::number(*c));
}

void WatermarkWindow::sizeChanged(QLineEdit* field, int which) {
  store();
  if (auto p = ops::checkSizeField(field->text(), static_cast<ops::WatermarkProblem::Field>(which))) {
    prompter_->inform(msg::titleError(), p->text);
    if (p->clears != ops::WatermarkProblem::None) field->clear();  // its own change: the empty message follows
  }
}

void WatermarkWindow::save() {
  if (auto p = ops::checkWatermark(settings_)) {
    prompter_->inform(msg::titleError(), p->text);
    if (p->clears == ops::WatermarkProblem::Height) txtSyg->clear();
    if (p->clears == ops::WatermarkProblem::Width) txtSyk->clear();
    return;
  }
  hide();
}

void WatermarkWindow::store() {
  settings_.type = chkSylx[1] && chkSylx[1]->isChecked() ? 1 : 0;
  settings_.content = txtF->text();
  settings_.colour = txtSyColor ? txtSyColor->text() : QString();
  settings_.transparency = slid_sytmd ? slid_sytmd->value() : 0;
  settings_.width = txtSyk ? txtSyk->text() : QString();
  settings_.height = txtSyg ? txtSyg->text() : QString();
  settings_.centreHorizontally = !chkSywz[0] || chkSywz[0]->isChecked();
  settings_.centreVertically = !chkSywz[1] || chkSywz[1]->isChecked();
}

}  // namespace vm

VM_WINDOW_PART(watermarkSettings) {
  using namespace vm;
  auto* w = new WatermarkWindow(window.app().store<ops::WatermarkSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_sy_setup"), [w] { w->exec(); });
}
