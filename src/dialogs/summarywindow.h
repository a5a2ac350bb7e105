#pragma once
// frmWordModifyDet (其他 → 摘要信息设置): title, subject, author and company for the summary
// run, at most 50 characters each; saved without validation.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vm {
namespace ops {
struct SummarySettings;
}

class SummaryWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SummaryWindow(ops::SummarySettings& settings, QWidget* parent = nullptr);

  void load();
  void save();

  QLineEdit* txtBt;
  QLineEdit* txtZt;
  QLineEdit* txtZz;
  QLineEdit* txtGs;
  QPushButton* cmdSave;

 private:
  ops::SummarySettings& settings_;
};

}  // namespace vm
