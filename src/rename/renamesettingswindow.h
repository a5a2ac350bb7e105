#pragma once
// frmWordNameR "文件名更改设置": the rename settings (rename/namesettings.h). The pattern
// txtRName with the tag labels lblKindName_0 .. _5 (inserted at the caret), the folder
// txtSavePath with lblChooseFolder, the title frame fra_bt (enabled only when the pattern holds
// the title tag, updated when txtRName loses focus, which also appends ".doc"), the box pairs
// chkFile_0/_1 and chkZfkswz_0/_1 with txtH, txtS, txtE, and cmdSave, which checks and hides.
// The controls write through to the settings struct, which the operation reads.

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vm {
class LinkLabel;
class MessageBoxPrompter;
class Prompter;
}  // namespace vm

namespace vm::rename {

struct RenameSettings;

class RenameSettingsWindow : public QDialog {
  Q_OBJECT
 public:
  using FolderChooser = std::function<QString(QWidget* parent)>;

  explicit RenameSettingsWindow(RenameSettings& settings, QWidget* parent = nullptr);
  ~RenameSettingsWindow() override;

  void setPrompter(Prompter* prompter);  // nullptr: message boxes
  void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }

  // Shows the struct's values (the command runs this before showing the window).
  void load();
  void insertTag(int index);    // lblKindName_i
  void patternLeft();           // txtRName lost focus
  void chooseFolder();          // lblChooseFolder
  void clickFile(int box);      // chkFile_i clicked (after Qt toggled it)
  void clickRange(int box);     // chkZfkswz_i clicked (after Qt toggled it)
  bool save();                  // cmdSave; true when the window hid

  QLineEdit* txtRName = nullptr;
  std::array<LinkLabel*, 6> lblKindName{};
  QLineEdit* txtSavePath = nullptr;
  LinkLabel* lblChooseFolder = nullptr;
  QGroupBox* fra_bt = nullptr;
  std::array<QCheckBox*, 2> chkFile{};
  std::array<QCheckBox*, 2> chkZfkswz{};
  QLineEdit* txtH = nullptr;
  QLineEdit* txtS = nullptr;
  QLineEdit* txtE = nullptr;
  QPushButton* cmdSave = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void store();
  void setTitleFrameEnabled(bool on);

  RenameSettings& settings_;
  std::unique_ptr<MessageBoxPrompter> ownPrompter_;
  Prompter* prompter_ = nullptr;
  FolderChooser chooser_;
  std::array<QLabel*, 4> titleLabels_{};
  bool loading_ = false;
};

}  // namespace vm::rename
