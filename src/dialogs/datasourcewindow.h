#pragma once
// frmDataSetup (生成 → 数据库设置): the data source of generation (path, password, query), its
// test report, and saving to config.ini. The boxes are the live settings: what is typed stays
// and is used by the next generation even when the window is left without saving.

#include <QDialog>

#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vm {
class AppContext;
class LinkLabel;
class Prompter;

class DataSourceWindow : public QDialog {
  Q_OBJECT
 public:
  explicit DataSourceWindow(AppContext& app, QWidget* parent = nullptr);
  ~DataSourceWindow() override;

  // The boxes from the settings.
  void load();
  // What m_createSetup does before showing the window: 保存设置 disabled, the report hidden.
  void resetForMenu();
  // cmdCheckDataCon: the checks, then the report of the connection and the query.
  void test();
  // cmdSaveSetup: config.ini written (dbPath, dbPwd, dbSql), the window hidden. False when
  // config.ini is missing (the program then ends).
  bool save();
  // Test seams.
  void setPrompter(Prompter* p) { prompter_ = p; }
  void setFileChooser(std::function<QString(QWidget*)> c) { chooser_ = std::move(c); }
  void setOnConfigMissing(std::function<void()> f) { onConfigMissing_ = std::move(f); }

  QLineEdit* txtDPath;
  QLineEdit* txtDPwd;
  QPlainTextEdit* txtSql;
  LinkLabel* lbl;
  QPushButton* cmdCheckDataCon;
  QGroupBox* frm_Data;
  LinkLabel* lbl_DataTestInfo;
  QGroupBox* fra_cLoad;
  QLabel* lbl_d;
  QPushButton* cmdSaveSetup;
  QPushButton* cmdCancel;

 protected:
  void done(int result) override;

 private:
  void keepTyped();  // the boxes into the live settings
  AppContext& app_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  std::function<QString(QWidget*)> chooser_;
  std::function<void()> onConfigMissing_;
};

}  // namespace vm
