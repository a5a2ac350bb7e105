#pragma once
// The rename settings (window frmWordNameR) and the filename rules (frmNameReplaceSetup), with
// the checks both windows and the start command make. The window edits these structs; the
// command line fills the same ones; a run copies them when it starts.

#include <QString>

#include <array>
#include <optional>

#include "rules/replacerules.h"
#include "app/settingsstore.h"

namespace vm::rename {

// The name tags, by the index of the label that inserts them.
inline const QString kTagYear = QStringLiteral("[$YY$]");
inline const QString kTagMonth = QStringLiteral("[$MM$]");
inline const QString kTagDay = QStringLiteral("[$DD$]");
inline const QString kTagNumber = QStringLiteral("[$ID$]");
inline const QString kTagTitle = QStringLiteral("[$Titile$]");
inline const QString kTagOldName = QStringLiteral("[$UnCha$]");
const std::array<QString, 6>& tags();
const std::array<QString, 6>& tagCaptions();  // "年" ... "保持不变"

// The characters a pattern or a filename rule may not hold: * > < ? | " /
bool hasForbiddenCharacter(const QString& text);

struct RenameSettings {
  QString pattern;  // txtRName
  QString folder;   // txtSavePath
  // chkFile: 0 the first paragraph, 1 the paragraph numbered in h. Both unticked: the first.
  std::array<bool, 2> chkFile{true, false};
  // chkZfkswz: 0 the whole paragraph, 1 from offset s to offset e (always one ticked).
  std::array<bool, 2> chkZfkswz{true, false};
  QString h, s, e;  // txtH, txtS, txtE as typed

  bool wantsTitle() const { return pattern.trimmed().contains(kTagTitle); }
  bool numberedParagraph() const { return chkFile[1]; }
  bool byOffsets() const { return chkZfkswz[1]; }

  static constexpr const char* kKeepAs = "rename";
  void keep(SettingsFields& f) {
    f("pattern", pattern), f("folder", folder), f("firstParagraph", chkFile[0]), f("numberedParagraph", chkFile[1]);
    f("wholeParagraph", chkZfkswz[0]), f("byOffsets", chkZfkswz[1]), f("h", h), f("s", s), f("e", e);
  }
};

// Inserting a tag at the caret: the new text and the new caret.
struct TagInsertion {
  QString text;
  int caret = 0;
};
TagInsertion insertTag(const QString& text, int caret, const QString& tag);

// The pattern field losing focus: ".doc" appended to a non-empty pattern that holds no ".doc"
// (any case).
QString withDocSuffix(const QString& pattern);

// A failed check: its message and the control that receives the focus (its objectName).
struct FieldRefusal {
  QString text;
  QString field;
};

// "保存设置": the checks in order (title "出错！"); the folder's existence is not checked here.
std::optional<FieldRefusal> checkSettings(const RenameSettings& s);
// The title checks alone (only when the pattern holds the title tag).
std::optional<FieldRefusal> checkTitleSettings(const RenameSettings& s);

// A number as the fields take it (digits, a sign, a decimal point), rounded to an integer.
std::optional<long long> fieldNumber(const QString& text);

// The filename rules: plain text only; find and replacement both non-empty, different, free
// of the forbidden characters; the find text unique. Otherwise the content rule list: add,
// modify and the rule file reader (rules::importRuleFile) go through these checks.
class NameRules : public rules::ReplaceRules {
 public:
  // The add editor's checks in order.
  std::optional<rules::Refusal> checkAdd(const QString& find, const QString& replacement) const override;
  // The modify editor checks only the replacement: not empty, not the find text.
  std::optional<rules::Refusal> checkModify(int index, const QString& replacement) const override;

  static constexpr const char* kKeepAs = "nameRules";
  void keep(SettingsFields& f) { f("rules", *this); }
};

// The editors' titles.
inline QString titleFillIn() { return QStringLiteral("请填写相关内容"); }

}  // namespace vm::rename
