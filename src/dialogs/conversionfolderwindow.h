#pragma once
// frmHtmlFNameSetup (转换 → 保存路径): the output folder of the format and Chinese script
// conversions, and the regional standard of the traditional text.

#include <QDialog>

#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vm {
class LinkLabel;
class Prompter;
namespace ops {
struct ChineseSettings;
struct ConvertSettings;
}  // namespace ops

class ConversionFolderWindow : public QDialog {
  Q_OBJECT
 public:
  ConversionFolderWindow(ops::ConvertSettings& folder, ops::ChineseSettings& chinese, QWidget* parent = nullptr);
  ~ConversionFolderWindow() override;

  void load();
  // cmdSaveFName: refuses an empty folder ("请输入文档保存路径！"), else stores and hides.
  bool save();
  // Test seams.
  void setPrompter(Prompter* p) { prompter_ = p; }
  void setFolderChooser(std::function<QString(QWidget*)> c) { chooser_ = std::move(c); }

  QLineEdit* txtSavePath;
  LinkLabel* lblChooseFolder;
  QComboBox* cboStandard;
  QPushButton* cmdSaveFName;

 private:
  ops::ConvertSettings& folder_;
  ops::ChineseSettings& chinese_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  std::function<QString(QWidget*)> chooser_;
};

}  // namespace vm
