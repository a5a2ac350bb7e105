#pragma once
// What the two rule editors frmAddR and frmModifyR share: the fields txtF (find text) and txtT
// (replacement), the type pairs chkThWztp (find text) and chkThwWzTp (replacement), each
// item 0 "文 字" and item 1 "图 片", and the picture links lblImg_0 (find side) and lblImg_1
// (replacement side), captioned "选择".
//
// A type pair always has exactly one box ticked: ticking one unticks the other, unticking the
// ticked one ticks it again. Switching a side's type empties its field; the picture type
// disables the field, enables the side's link and limits the field to 200 characters; the
// text type enables the field (without a limit) and disables the link.
//
// The dialogs are loaded once and kept: their type boxes keep their state between openings.
// Messages go through an injectable Prompter; the picture chooser can be replaced (tests).

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace vm {
class LinkLabel;
class MessageBoxPrompter;
class Prompter;
namespace rules {
class ReplaceRules;
struct Refusal;
}  // namespace rules
}  // namespace vm

namespace vm::rules {

class RuleEditorDialog : public QDialog {
  Q_OBJECT
 public:
  enum Side { FindSide = 0, ReplacementSide = 1 };
  static constexpr int kPictureMaxLength = 200;

  // The picture chooser returns the chosen file's path, or an empty text for a cancel.
  using FileChooser = std::function<QString(QWidget* parent, const QString& filter)>;

  ~RuleEditorDialog() override;

  // Messages of the dialog (default: message boxes over the dialog). Not owned.
  void setPrompter(Prompter* prompter);
  void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

  // The open-file filter of the picture links: "Jpg图像文档(*.jpg)" first, then the other
  // picture types the engine reads.
  static QString pictureFilter();

  // Plain text only (the filename rules): the type pairs and picture links are hidden and both
  // sides stay text.
  void setPlainText();
  // The header and footer rule editors: refusals titled "请填写相关内容", both fields limited to
  // 30 characters as typed (a picture reference to 200), unticking the ticked type box ticks the
  // other type, and the add dialog opens with a text replacement.
  void setHeaderFooter();

  // As ticking the side's box for the type (a switch empties the field).
  void setPicture(Side side, bool picture);
  // The picture link of a side: choose a file; link 1 sets txtT to "[img]path[/img]", link 0
  // sets txtF to the path. A cancel changes nothing.
  void choosePicture(Side side);

  QLineEdit* txtF = nullptr;
  QLineEdit* txtT = nullptr;
  std::array<QCheckBox*, 2> chkThWztp{};   // find text type: _0 "文 字", _1 "图 片"
  std::array<QCheckBox*, 2> chkThwWzTp{};  // replacement type: _0 "文 字", _1 "图 片"
  std::array<LinkLabel*, 2> lblImg{};      // _0 find side, _1 replacement side
  QLabel* lblNotice = nullptr;

 protected:
  RuleEditorDialog(ReplaceRules& rules, const QString& objectName, const QString& caption,
                   const QString& notice, QWidget* parent);
  // Adds a row of buttons under the fields.
  void addButtons(const QList<QPushButton*>& buttons);
  // Shows a refusal through the prompter.
  void refuse(const Refusal& refusal);
  // The field of a side.
  QLineEdit* field(Side side) const { return side == FindSide ? txtF : txtT; }
  // Shows a rule's text whole, above the field's limit if need be.
  void showText(Side side, const QString& text);

  ReplaceRules& rules_;
  bool headerFooter_ = false;

 private:
  std::array<QCheckBox*, 2>& pair(Side side) { return side == FindSide ? chkThWztp : chkThwWzTp; }
  void onBoxToggled(Side side, int item, bool checked);
  void applyType(Side side, bool picture);

  std::unique_ptr<MessageBoxPrompter> ownPrompter_;
  Prompter* prompter_ = nullptr;
  FileChooser chooser_;
  QVBoxLayout* layout_ = nullptr;
};

}  // namespace vm::rules
