#pragma once
// frmWdql "文档清理" (其他 → 文档清理设置): the six clean-up options chkDelOpt(0..5) in the
// frame fra_wdql "设置", and cmdSaveWdqj "保存设置", which hides the window when at least one
// option is ticked. The ticks are the clean-up run's settings as soon as they change.

#include <QDialog>

#include <array>
#include <memory>

class QCheckBox;
class QPushButton;

namespace vm {
class MessageBoxPrompter;
class Prompter;
namespace ops {
struct CleanupSettings;
}

class CleanupWindow : public QDialog {
  Q_OBJECT
 public:
  explicit CleanupWindow(ops::CleanupSettings& settings, QWidget* parent = nullptr);
  ~CleanupWindow() override;
  // Messages go there instead of message boxes (tests). Not owned.
  void setPrompter(Prompter* prompter) { prompter_ = prompter; }

  void save();

  std::array<QCheckBox*, 6> chkDelOpt{};
  QPushButton* cmdSaveWdqj = nullptr;

 private:
  ops::CleanupSettings& settings_;
  std::unique_ptr<MessageBoxPrompter> own_;
  Prompter* prompter_;
};

}  // namespace vm
