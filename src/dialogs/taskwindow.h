#pragma once
// frmTask (任务 → 添加批量任务, "任务管理"): the stored tasks (lvw_t) and the batch (lvw_n), each
// with its four lvw_select buttons; a double-click on a stored task appends it to the batch.
// Deleting stored tasks asks first and never touches the batch; 操作 → 压缩数据库 compacts the
// store. The window is hidden, not closed, so the batch lasts for the program's run.

#include <QDialog>

#include <array>
#include <memory>

class QGroupBox;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vm {

class Prompter;

namespace tasks {
class TaskStore;
}

// A batch entry as the runner reads it.
struct BatchItem {
  QString name;
  QString word;  // "replace", "create", "print"; empty for a kind no operation has
  QString id;
  bool ticked = false;
};

class TaskWindow : public QDialog {
  Q_OBJECT
 public:
  TaskWindow(const QString& storePath, Prompter& prompter, QWidget* parent = nullptr);
  ~TaskWindow() override;

  // Form_Load: lvw_t from the store, newest first.
  void reload();
  // lvw_select(index), 0 to 7; cmd_clear is index 3.
  void select(int index);
  // Double-click on lvw_t: the current stored task appended to the batch, unticked.
  void addCurrentToBatch();
  void compact();
  QList<BatchItem> batch() const;

  QTreeWidget* lvw_t;
  QTreeWidget* lvw_n;
  std::array<QPushButton*, 8> lvw_select{};
  QPushButton* cmd_clear;
  QPushButton* cmdSave;
  QMenu* m_t_do;
  QAction* m_c_data;
  QGroupBox* fra_delTask;
  QLabel* lbl_task;

 private:
  void deleteStored();
  void busy(bool on);

  std::unique_ptr<tasks::TaskStore> store_;
  Prompter& prompter_;
};

}  // namespace vm
