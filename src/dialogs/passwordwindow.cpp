#include "dialogs/passwordwindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/windowpart.h"
#include "dialogs/messageboxprompter.h"
#include "ops/password.h"

namespace vm {

PasswordWindow::PasswordWindow(ops::PasswordSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), ownPrompter_(std::make_unique<MessageBoxPrompter>(this)),
      prompter_(ownPrompter_.get()) {
  setObjectName(QStringLiteral("frmPwdSetup"));
  setWindowTitle(QStringLiteral("Word密码设置"));
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("设置"), this);
  frame->setObjectName(QStringLiteral("fra_pwd"));
  auto* grid = new QGridLayout(frame);
  auto field = [&](const char* name, const QString& label, int row) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setEchoMode(QLineEdit::Password);
    e->setMaxLength(20);
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(e, row, 1);
    return e;
  };
  txtO = field("txtO", QStringLiteral("请输入Word原密码:"), 0);
  txtN = field("txtN", QStringLiteral("请输入Word新密码:"), 1);
  txtN2 = field("txtN2", QStringLiteral("请再次输入新密码:"), 2);
  auto* notice = new QLabel(QStringLiteral("要删除已有的密码，请输入原密码，新密码输入空即可。要添加新密码，请确保原密码输入正确，否则操作无效。"),
                            this);
  notice->setWordWrap(true);
  grid->addWidget(notice, 3, 0, 1, 2);
  cmdSubmit = new QPushButton(QStringLiteral("保存设置"), this);
  cmdSubmit->setDefault(true);  // Enter
  cmdSubmit->setObjectName(QStringLiteral("cmdSubmit"));
  connect(cmdSubmit, &QPushButton::clicked, this, &PasswordWindow::save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(cmdSubmit, 0, Qt::AlignRight);
  load();
}

PasswordWindow::~PasswordWindow() = default;

void PasswordWindow::load() {
  txtO->setText(settings_.oldPassword);
  txtN->setText(settings_.newPassword);
  txtN2->setText(settings_.repeat);
}

bool PasswordWindow::save() {
  const ops::PasswordSettings typed{txtO->text(), txtN->text(), txtN2->text()};
  if (!ops::passwordsAgree(typed)) {
    prompter_->inform(QStringLiteral("密码不符！"), QStringLiteral("两次输入Word不符。"));
    return false;
  }
  settings_ = typed;
  accept();
  return true;
}

}  // namespace vm

// 其他 → 密码设置: created once.
VM_WINDOW_PART(passwordSettings) {
  using namespace vm;
  auto* w = new PasswordWindow(window.app().store<ops::PasswordSettings>(), &window);
  window.bindWindowCommand(QStringLiteral("m_pwd_setup"), [w] {
    w->load();
    w->exec();
  });
}
