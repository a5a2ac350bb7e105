#pragma once
// frmSySetup "水印设置" (其他 → 水印参数设置): the watermark type chkSylx ("文 字", "图  片"),
// its content txtF with the picture chooser lblImg, the colour txtSyColor with its chooser
// lblImgColor (QColorDialog), the transparency slider slid_sytmd with lbl_sytmd, the width
// txtSyk and height txtSyg in millimetres (checked on every change), the position boxes chkSywz
// ("水平居中", "垂直居中") and cmdSaveSy "保存设置", which checks and hides. The fields are the
// watermark run's settings as soon as they change.

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vm {
class LinkLabel;
class MessageBoxPrompter;
class Prompter;
namespace ops {
struct WatermarkSettings;
}

class WatermarkWindow : public QDialog {
  Q_OBJECT
 public:
  using PictureChooser = std::function<QString(QWidget* parent)>;
  using ColourChooser = std::function<std::optional<unsigned>(QWidget* parent)>;  // none: cancelled

  explicit WatermarkWindow(ops::WatermarkSettings& settings, QWidget* parent = nullptr);
  ~WatermarkWindow() override;
  void setPrompter(Prompter* prompter) { prompter_ = prompter; }
  void setPictureChooser(PictureChooser c) { pictureChooser_ = std::move(c); }
  void setColourChooser(ColourChooser c) { colourChooser_ = std::move(c); }

  void typeClicked(int box);
  void choosePicture();
  void chooseColour();
  void save();

  std::array<QCheckBox*, 2> chkSylx{};
  QLineEdit* txtF = nullptr;
  LinkLabel* lblImg = nullptr;
  QLineEdit* txtSyColor = nullptr;
  LinkLabel* lblImgColor = nullptr;
  QSlider* slid_sytmd = nullptr;
  QLabel* lbl_sytmd = nullptr;
  QLineEdit* txtSyk = nullptr;
  QLineEdit* txtSyg = nullptr;
  std::array<QCheckBox*, 2> chkSywz{};
  QPushButton* cmdSaveSy = nullptr;

 private:
  void store();
  void sizeChanged(QLineEdit* field, int which);

  ops::WatermarkSettings& settings_;
  std::unique_ptr<MessageBoxPrompter> own_;
  Prompter* prompter_;
  PictureChooser pictureChooser_;
  ColourChooser colourChooser_;
};

}  // namespace vm
