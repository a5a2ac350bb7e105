#pragma once
// The Prompter of the desktop program: message boxes over a parent window. inform shows the
// text with an OK button; ask shows it with OK and Cancel and the question icon. Titles and
// texts are shown exactly as passed.

#include <QPointer>
#include <QWidget>

#include <functional>

#include "app/prompter.h"

namespace vm {

class MessageBoxPrompter : public Prompter {
 public:
  explicit MessageBoxPrompter(QWidget* parent = nullptr) : parent_(parent) {}

  void setParent(QWidget* parent) { parent_ = parent; }
  // Called before a question is shown (the main window leaves the topmost band there, so
  // that the question is not hidden behind it).
  void setBeforeQuestion(std::function<void()> f) { beforeQuestion_ = std::move(f); }

  void inform(const QString& title, const QString& text) override;
  bool ask(const QString& title, const QString& text) override;
  void warn(const QString& title, const QString& text) override;

 private:
  QPointer<QWidget> parent_;
  std::function<void()> beforeQuestion_;
};

}  // namespace vm
