#pragma once
// frmPrintSetup (打印 → 打印参数设置): copies, orientation, margins and the printer of the print
// runs. Kept for the program's run; "保存设置" validates and hides it.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vm {
class Prompter;
namespace ops {
struct PrintSettings;
}

class PrintSetupWindow : public QDialog {
  Q_OBJECT
 public:
  PrintSetupWindow(ops::PrintSettings& settings, Prompter& prompter, QWidget* parent = nullptr);

  void load();  // the settings into the controls, the printers listed afresh
  bool save();

  QLineEdit* txtP;
  QRadioButton* optPD[2];  // 0 横向, 1 纵向
  QCheckBox* chkybj[2];    // 0 保持默认, 1 自定义
  QLineEdit* txtS;         // top
  QLineEdit* txtX;         // bottom
  QLineEdit* txtZ;         // left
  QLineEdit* txtY;         // right
  QComboBox* cboPrinter;
  QPushButton* cmdSavePrintSetup;

 private:
  void marginPairClicked(int index);
  ops::PrintSettings& settings_;
  Prompter& prompter_;
};

}  // namespace vm
