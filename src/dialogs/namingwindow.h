#pragma once
// frmFNameSetup (生成 → 文档名设置): the name pattern of generated documents (with data
// placeholders) and their folder, saved to config.ini. The boxes are the live settings.

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vm {
class AppContext;
class LinkLabel;
class Prompter;

class NamingWindow : public QDialog {
  Q_OBJECT
 public:
  explicit NamingWindow(AppContext& app, QWidget* parent = nullptr);
  ~NamingWindow() override;

  void load();
  // txtN losing the focus: a name without ".doc" anywhere gets ".doc" appended.
  void completeExtension();
  // cmdSaveFName: the checks titled "文档名设置", then config.ini (fileBatchName, fileSavePath)
  // and hidden. False on a refusal or a missing config.ini (the program then ends).
  bool save();
  // Test seams.
  void setPrompter(Prompter* p) { prompter_ = p; }
  void setFolderChooser(std::function<QString(QWidget*)> c) { chooser_ = std::move(c); }
  void setOnConfigMissing(std::function<void()> f) { onConfigMissing_ = std::move(f); }
  // cmdViewDataSetup: shows the data source window as it is.
  void setDataSourceWindow(std::function<void()> show) { showDataSource_ = std::move(show); }

  QLineEdit* txtN;
  QLineEdit* txtSavePath;
  LinkLabel* lblChooseFolder;
  QLabel* lbl_notice;
  QPushButton* cmdViewDataSetup;
  QPushButton* cmdSaveFName;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

 private:
  AppContext& app_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  std::function<QString(QWidget*)> chooser_;
  std::function<void()> onConfigMissing_;
  std::function<void()> showDataSource_;
};

}  // namespace vm
