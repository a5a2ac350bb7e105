#pragma once
// frmHbsetup (合并拆分 → 文档合并设置): the merge target, one or several results, the page
// budget, the before- and after-documents and the page break between documents.

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vm {
class LinkLabel;
class Prompter;
namespace ops {
struct MergeSettings;
}

class MergeWindow : public QDialog {
  Q_OBJECT
 public:
  explicit MergeWindow(ops::MergeSettings& settings, QWidget* parent = nullptr);
  ~MergeWindow() override;

  void load();
  // cmdSaveHbSetup: the checks in their order; the first failure is shown and the window stays.
  bool save();
  // Test seams.
  void setPrompter(Prompter* p) { prompter_ = p; }
  void setFileChooser(std::function<QString(QWidget*)> c) { chooser_ = std::move(c); }

  QLineEdit* txtHbSave;
  LinkLabel* lblCF;
  QCheckBox* chkFileHb[2];
  QLineEdit* txtPHb;
  QLabel* lblPHb[2];
  QLineEdit* txtMaxPages;
  QCheckBox* chkWdBChk;
  QLineEdit* txtWdB;
  LinkLabel* lblWdB;
  QCheckBox* chkWdEChk;
  QLineEdit* txtWdE;
  LinkLabel* lblWdE;
  QCheckBox* chkWdAddNew;
  QPushButton* cmdSaveHbSetup;

 private:
  void modeClicked(int box);
  ops::MergeSettings& settings_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  std::function<QString(QWidget*)> chooser_;
};

}  // namespace vm
