#pragma once
// frmPwdSetup (其他 → 密码设置): the old write password, the new one and its repetition, masked,
// at most 20 characters each.

#include <QDialog>

#include <memory>

class QLineEdit;
class QPushButton;

namespace vm {
class Prompter;
namespace ops {
struct PasswordSettings;
}

class PasswordWindow : public QDialog {
  Q_OBJECT
 public:
  explicit PasswordWindow(ops::PasswordSettings& settings, QWidget* parent = nullptr);
  ~PasswordWindow() override;

  void load();
  // cmdSubmit: "两次输入Word不符。" ("密码不符！") when the repetition differs from a new password.
  bool save();
  void setPrompter(Prompter* p) { prompter_ = p; }

  QLineEdit* txtO;
  QLineEdit* txtN;
  QLineEdit* txtN2;
  QPushButton* cmdSubmit;

 private:
  ops::PasswordSettings& settings_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
};

}  // namespace vm
