#include "dialogs/messageboxprompter.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace vm {

namespace {

void showMessage(QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("vmInformBox"));
  box.setDefaultButton(QMessageBox::Ok);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace

void MessageBoxPrompter::inform(const QString& title, const QString& text) {
  showMessage(QMessageBox::Information, title, text, parent_.data());
}

void MessageBoxPrompter::warn(const QString& title, const QString& text) {
  showMessage(QMessageBox::Warning, title, text, parent_.data());
}

bool MessageBoxPrompter::ask(const QString& title, const QString& text) {
  if (beforeQuestion_) beforeQuestion_();
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent_.data());
  box.setObjectName(QStringLiteral("vmAskBox"));
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
  return box.exec() == QMessageBox::Ok;
}

}  // namespace vm
