#include "dialogs/conversionfolderwindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/windowpart.h"
#include "dialogs/chooserrow.h"
#include "dialogs/messageboxprompter.h"
#include "ops/chinese.h"
#include "ops/convert.h"

namespace vm {

namespace {

// The OpenCC configurations of the traditional text and their captions.
const QList<QPair<QString, QString>>& standards() {
  static const QList<QPair<QString, QString>> list = {
      {QStringLiteral("s2t"), QStringLiteral("繁体（通用）")},
      {QStringLiteral("s2tw"), QStringLiteral("繁体（台湾字形）")},
      {QStringLiteral("s2twp"), QStringLiteral("繁体（台湾字形及用语）")},
      {QStringLiteral("s2hk"), QStringLiteral("繁体（香港字形）")},
  };
  return list;
}

}  // namespace

ConversionFolderWindow::ConversionFolderWindow(ops::ConvertSettings& folder, ops::ChineseSettings& chinese,
                                               QWidget* parent)
    : QDialog(parent), folder_(folder), chinese_(chinese), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()), chooser_(chooseFolderWithSeparator) {
  setObjectName(QStringLiteral("frmHtmlFNameSetup"));
  setWindowTitle(QStringLiteral("文件转换后保存路径"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_fName"));
  auto* grid = new QGridLayout(frame);
  const ChooserRow folderRow = makeChooserRow(this, QStringLiteral("txtSavePath"), QStringLiteral("lblChooseFolder"),
                                              [this] { return chooser_(this); }, nullptr, QStringLiteral("选择文件夹"));
  txtSavePath = folderRow.field;
  lblChooseFolder = folderRow.link;
  grid->addWidget(new QLabel(QStringLiteral("文件保存路径:"), this), 0, 0);
  grid->addWidget(txtSavePath, 0, 1);
  grid->addWidget(lblChooseFolder, 0, 2);
  cboStandard = new QComboBox(this);
  cboStandard->setObjectName(QStringLiteral("cboStandard"));
  for (const auto& [config, caption] : standards()) cboStandard->addItem(caption, config);
  grid->addWidget(new QLabel(QStringLiteral("简体转繁体标准:"), this), 1, 0);
  grid->addWidget(cboStandard, 1, 1);
  auto* note = new QLabel(QStringLiteral("Word转换后的文件名和word文件名一致，只是文件格式改变。"), this);
  note->setObjectName(QStringLiteral("lblN"));
  note->setWordWrap(true);
  grid->addWidget(note, 2, 0, 1, 3);
  cmdSaveFName = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSaveFName->setDefault(true);  // Enter
  cmdSaveFName->setObjectName(QStringLiteral("cmdSaveFName"));
  connect(cmdSaveFName, &QPushButton::clicked, this, &ConversionFolderWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSaveFName, 0, Qt::AlignRight);
  load();
}

ConversionFolderWindow::~ConversionFolderWindow() = default;

void ConversionFolderWindow::load() {
  txtSavePath->setText(folder_.folder);
  const int i = cboStandard->findData(chinese_.standard);
  cboStandard->setCurrentIndex(i < 0 ? 0 : i);
}

bool ConversionFolderWindow::save() {
  if (txtSavePath->text().trimmed().isEmpty()) {
    prompter_->inform(msg::titleError(), QStringLiteral("请输入文档保存路径！"));
    return false;
  }
  folder_.folder = txtSavePath->text();
  chinese_.standard = cboStandard->currentData().toString();
  accept();
  return true;
}

}  // namespace vm

// 转换 → 保存路径: created once; the conversions' refusals open it too.
VM_WINDOW_PART(conversionFolder) {
  using namespace vm;
  auto* w = new ConversionFolderWindow(window.app().store<ops::ConvertSettings>(), window.app().store<ops::ChineseSettings>(),
                                       &window);
  window.bindWindowCommand(QStringLiteral("m_htmlFileSetup"), [w] {
    w->load();
    w->exec();
  });
}
