#pragma once
// frmWdTj (其他 → 文档统计): the record template with its tags, and the report. The report is
// written by the statistics operation in the run frame; the window waits for it, then offers to
// open the report with the desktop's program for text files.

#include <QDialog>

#include <functional>
#include <memory>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace vm {
class AppContext;
class LinkLabel;
class Prompter;
struct RunSummary;

class StatsWindow : public QDialog {
  Q_OBJECT
 public:
  explicit StatsWindow(AppContext& app, QWidget* parent = nullptr);
  ~StatsWindow() override;

  QString reportPath() const;
  void insertTag(int index);
  // cmdCreate: refuses an empty template, else starts the report with the controls disabled.
  void create();
  // Test seams.
  void setPrompter(Prompter* p) { prompter_ = p; }
  void setOpener(std::function<void(const QString&)> o) { opener_ = std::move(o); }

  QPlainTextEdit* txtWdgs;
  LinkLabel* lblBq[4] = {};  // 0, 2 and 3 as in the original window
  LinkLabel* lbl_3;
  QPushButton* cmdCreate;
  QPushButton* cmdExit;
  QGroupBox* fra_tj;
  QGroupBox* fra_wait;

 private:
  void setWorking(bool working);
  void onRunFinished(const RunSummary& summary);

  AppContext& app_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  std::function<void(const QString&)> opener_;
  bool waiting_ = false;
};

}  // namespace vm
