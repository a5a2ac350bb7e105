#include "dialogs/statswindow.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/operation.h"
#include "app/windowpart.h"
#include "dialogs/messageboxprompter.h"
#include "ops/stats.h"
#include "rename/namesettings.h"

namespace vm {

namespace {

struct Tag {
  int index;
  const char* caption;
  const char* tag;
};
constexpr Tag kTags[] = {{0, "字符总数", "[ZFZS]"}, {2, "文档名", "[WDM]"}, {3, "文档路径", "[WDLJ]"}};

}  // namespace

StatsWindow::StatsWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()),
      opener_([](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }) {
  setObjectName(QStringLiteral("frmWdTj"));
  setWindowTitle(QStringLiteral("文档统计"));
  setModal(true);
  fra_tj = new QGroupBox(this);
  fra_tj->setObjectName(QStringLiteral("fra_tj"));
  auto* grid = new QGridLayout(fra_tj);
  txtWdgs = new QPlainTextEdit(this);
  txtWdgs->setObjectName(QStringLiteral("txtWdgs"));
  grid->addWidget(new QLabel(QStringLiteral("导出格式："), this), 0, 0, Qt::AlignTop);
  grid->addWidget(txtWdgs, 0, 1);
  auto* tags = new QHBoxLayout;
  tags->addWidget(new QLabel(QStringLiteral("标签："), this));
  for (const Tag& t : kTags) {
    auto* l = new LinkLabel(QString::fromUtf8(t.caption), this);
    l->setObjectName(QStringLiteral("lblBq_%1").arg(t.index));
    connect(l, &LinkLabel::clicked, this, [this, i = t.index] { insertTag(i); });
    lblBq[t.index] = l;
    tags->addWidget(l);
  }
  tags->addStretch();
  grid->addLayout(tags, 1, 1);
  lbl_3 = new LinkLabel(reportPath(), this);
  lbl_3->setObjectName(QStringLiteral("lbl_3"));
  connect(lbl_3, &LinkLabel::clicked, this, [this] {
    if (QFileInfo::exists(reportPath())) opener_(reportPath());
  });
  grid->addWidget(new QLabel(QStringLiteral("文档保存路径："), this), 2, 0);
  grid->addWidget(lbl_3, 2, 1);
  fra_wait = new QGroupBox(this);
  fra_wait->setObjectName(QStringLiteral("fra_wait"));
  (new QVBoxLayout(fra_wait))->addWidget(new QLabel(QStringLiteral("正在生成请稍后..."), this));
  fra_wait->hide();
  cmdCreate = new QPushButton(QStringLiteral("生成文档统计"), this);
  cmdCreate->setDefault(true);  // Enter
  cmdCreate->setObjectName(QStringLiteral("cmdCreate"));
  connect(cmdCreate, &QPushButton::clicked, this, &StatsWindow::create);
  cmdExit = new QPushButton(QStringLiteral("退  出"), this);
  cmdExit->setObjectName(QStringLiteral("cmdExit"));
  connect(cmdExit, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdCreate);
  buttons->addWidget(cmdExit);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fra_tj);
  layout->addWidget(fra_wait);
  layout->addLayout(buttons);
  connect(&app_.runFrame(), &RunFrame::runFinished, this, &StatsWindow::onRunFinished);
  txtWdgs->setPlainText(app_.store<ops::StatsSettings>().templateText);
}

StatsWindow::~StatsWindow() = default;

QString StatsWindow::reportPath() const { return ops::statsReportPath(app_.dataFolder().root()); }

void StatsWindow::insertTag(int index) {
  for (const Tag& t : kTags) {
    if (t.index != index) continue;
    const rename::TagInsertion r =
        rename::insertTag(txtWdgs->toPlainText(), txtWdgs->textCursor().position(), QString::fromLatin1(t.tag));
    txtWdgs->setPlainText(r.text);
    QTextCursor c = txtWdgs->textCursor();
    c.setPosition(r.caret);
    txtWdgs->setTextCursor(c);
  }
}

void StatsWindow::create() {
  ops::StatsSettings& s = app_.store<ops::StatsSettings>();
  s.templateText = txtWdgs->toPlainText();
  s.reportPath.clear();
  s.announce = false;
  if (s.templateText.isEmpty()) {
    prompter_->inform(QStringLiteral("出错"), QStringLiteral("导出格式不能为空！"));
    return;
  }
  const OperationDecl* decl = operations().find(ops::kStatsOperationId);
  if (!decl) return;
  setWorking(true);
  OperationEnv env{app_, *prompter_, {}};
  waiting_ = startOperation(*decl, env, app_.engines().features()) == StartOutcome::Started;
  if (!waiting_) setWorking(false);
}

void StatsWindow::setWorking(bool working) {
  for (QWidget* w : {static_cast<QWidget*>(cmdCreate), static_cast<QWidget*>(txtWdgs), static_cast<QWidget*>(cmdExit)})
    w->setEnabled(!working);
  for (LinkLabel* l : lblBq)
    if (l) l->setEnabled(!working);
  fra_wait->setVisible(working);
}

void StatsWindow::onRunFinished(const RunSummary& summary) {
  if (!waiting_ || summary.operationId != ops::kStatsOperationId) return;
  waiting_ = false;
  // The controls come back after a failure too, so that the template can be fixed and tried again.
  setWorking(false);
  const QList<DocumentResult> failed = summary.failed();
  if (!failed.isEmpty()) {
    prompter_->inform(QStringLiteral("出错"), QStringLiteral("出错：\n%1：%2").arg(failed.first().path, failed.first().message));
    return;
  }
  if (prompter_->ask(QStringLiteral("信息提示"), QStringLiteral("文档统计生成成功，你是否要立即打开该文件！")) &&
      QFileInfo::exists(reportPath()))
    opener_(reportPath());
}

}  // namespace vm

// 其他 → 文档统计: the window, after the ticked-document check.
VM_WINDOW_PART(statsWindow) {
  using namespace vm;
  auto* w = new StatsWindow(window.app(), &window);
  window.bindWindowCommand(QStringLiteral("m_wdtj"), [&window, w] {
    const DocumentList& list = window.app().documents();
    if (list.entryCount() < 1 || list.tickedCount() < 1) {
      MessageBoxPrompter(&window).inform(msg::titleRefused(), msg::noDocuments());
      return;
    }
    w->exec();
  });
}
