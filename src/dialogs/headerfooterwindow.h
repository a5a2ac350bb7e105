#pragma once
// frmYmyjSetup "页眉页脚设置" (页眉页脚 → 页眉页脚增加设置): the header content txtYm and the
// footer content txtYj, each with its type pair (chkYmlx, chkYjlx: "文 字", "图 片") and its
// picture chooser lblImg(0), lblImg(1); chkQxhx "去除下划线"; cmdSave "确认保存" hides the
// window. The fields are the add operations' settings as soon as they change.

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vm {
class LinkLabel;
namespace ops {
struct HeaderFooterSettings;
}

class HeaderFooterWindow : public QDialog {
  Q_OBJECT
 public:
  // The picture chooser: a .jpg file name, empty when cancelled.
  using PictureChooser = std::function<QString(QWidget* parent)>;

  explicit HeaderFooterWindow(ops::HeaderFooterSettings& settings, QWidget* parent = nullptr);
  void setPictureChooser(PictureChooser chooser) { chooser_ = std::move(chooser); }

  // A click on box (0 text, 1 picture) of the header (side 0) or footer (side 1) pair, after the
  // box changed its tick: exactly one box stays ticked and the field goes to its mode, emptied.
  void typeClicked(int side, int box);
  void choosePicture(int side);

  std::array<QLineEdit*, 2> fields{};  // txtYm, txtYj
  QLineEdit*& txtYm = fields[0];
  QLineEdit*& txtYj = fields[1];
  std::array<std::array<QCheckBox*, 2>, 2> types{};  // chkYmlx, chkYjlx
  std::array<LinkLabel*, 2> lblImg{};
  QCheckBox* chkQxhx = nullptr;
  QPushButton* cmdSave = nullptr;

 private:
  void store();

  ops::HeaderFooterSettings& settings_;
  PictureChooser chooser_;
};

}  // namespace vm
