#pragma once
// frmFgsetup (合并拆分 → 文档拆分设置): the output folder, pages per new document, the page
// budget, and the documents inserted before every page and at the end of every new document.

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vm {
class LinkLabel;
class Prompter;
namespace ops {
struct SplitSettings;
}

class SplitWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SplitWindow(ops::SplitSettings& settings, QWidget* parent = nullptr);
  ~SplitWindow() override;

  void load();
  // cmdSaveHbSetup: the checks in their order ("出错！"); stores and hides when they pass.
  bool save();
  // Test seams.
  void setPrompter(Prompter* p) { prompter_ = p; }
  void setFolderChooser(std::function<QString(QWidget*)> c) { folderChooser_ = std::move(c); }
  void setFileChooser(std::function<QString(QWidget*)> c) { fileChooser_ = std::move(c); }

  QLineEdit* txtHbSave;
  LinkLabel* lblCF;
  QLineEdit* txtPerPage;
  QLineEdit* txtMaxPages;
  QCheckBox* chkWdBChk;
  QLineEdit* txtWdB;
  LinkLabel* lblWdB;
  QCheckBox* chkWdEChk;
  QLineEdit* txtWdE;
  LinkLabel* lblWdE;
  QPushButton* cmdSaveHbSetup;

 private:
  ops::SplitSettings& settings_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  std::function<QString(QWidget*)> folderChooser_;
  std::function<QString(QWidget*)> fileChooser_;
};

}  // namespace vm
