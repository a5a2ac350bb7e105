#include "rename/namesettings.h"

#include <cmath>

#include "app/messages.h"

namespace vm::rename {

const std::array<QString, 6>& tags() {
  static const std::array<QString, 6> t{kTagYear, kTagMonth, kTagDay, kTagNumber, kTagTitle, kTagOldName};
  return t;
}

const std::array<QString, 6>& tagCaptions() {
  static const std::array<QString, 6> c{QStringLiteral("年"),   QStringLiteral("月"),       QStringLiteral("日"),
                                        QStringLiteral("序号"), QStringLiteral("文章标题"), QStringLiteral("保持不变")};
  return c;
}

bool hasForbiddenCharacter(const QString& text) {
  for (QChar c : text)
    if (QStringLiteral("*><?|\"/").contains(c)) return true;
  return false;
}

TagInsertion insertTag(const QString& text, int caret, const QString& tag) {
  QString out;
  if (text.trimmed().isEmpty()) out = tag;
  else if (caret < 1) out = tag + text;
  else out = text.left(caret) + tag + text.mid(caret);
  const int end = std::max(0, caret) + static_cast<int>(tag.size());
  return {out, std::min(end, static_cast<int>(out.size()))};
}

QString withDocSuffix(const QString& pattern) {
  const QString t = pattern.trimmed();
  if (t.isEmpty() || t.toLower().contains(QStringLiteral(".doc"))) return pattern;
  return pattern + QStringLiteral(".doc");
}

std::optional<long long> fieldNumber(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  // Beyond any document's length anyway; keeps the arithmetic on offsets safe.
  if (!ok || !std::isfinite(v) || std::fabs(v) > 1e15) return std::nullopt;
  return std::llround(v);
}

std::optional<FieldRefusal> checkTitleSettings(const RenameSettings& s) {
  if (s.chkFile[1]) {
    if (s.h.trimmed().isEmpty()) return FieldRefusal{QStringLiteral("文章行数不能为空！"), QStringLiteral("txtH")};
    if (!fieldNumber(s.h)) return FieldRefusal{QStringLiteral("文章行数应为数字！"), QStringLiteral("txtH")};
  }
  if (s.chkZfkswz[1]) {
    if (s.s.trimmed().isEmpty())
      return FieldRefusal{QStringLiteral("标题开始字符位置不能为空！"), QStringLiteral("txtS")};
    if (s.e.trimmed().isEmpty())
      return FieldRefusal{QStringLiteral("标题结束字符位置不能为空！"), QStringLiteral("txtE")};
    const auto start = fieldNumber(s.s);
    if (!start) return FieldRefusal{QStringLiteral("标题开始字符位置应为数字！"), QStringLiteral("txtS")};
    const auto end = fieldNumber(s.e);
    if (!end) return FieldRefusal{QStringLiteral("标题结束字符位置应为数字！"), QStringLiteral("txtE")};
    if (*start > *end)
      return FieldRefusal{QStringLiteral("标题开始字符位置不能大于结束字符位置！"), QStringLiteral("txtS")};
  }
  return std::nullopt;
}

std::optional<FieldRefusal> checkSettings(const RenameSettings& s) {
  if (s.folder.trimmed().isEmpty()) return FieldRefusal{QStringLiteral("请选择文档保存路径！"), QStringLiteral("txtSavePath")};
  const QString pattern = s.pattern.trimmed();
  if (pattern.isEmpty()) return FieldRefusal{QStringLiteral("请输入文档名！"), QStringLiteral("txtRName")};
  if (hasForbiddenCharacter(pattern))
    return FieldRefusal{QStringLiteral("文档名包含非法字符，请重新输入！"), QStringLiteral("txtRName")};
  if (s.wantsTitle()) return checkTitleSettings(s);
  return std::nullopt;
}

// --- NameRules -------------------------------------------------------------------------------

std::optional<rules::Refusal> NameRules::checkAdd(const QString& find, const QString& replacement) const {
  const QString f = rules::trimBlanks(find);
  const QString t = rules::trimBlanks(replacement);
  if (f.isEmpty()) return rules::Refusal{titleFillIn(), QStringLiteral("请输入要替换的内容！")};
  if (t.isEmpty()) return rules::Refusal{titleFillIn(), QStringLiteral("请输入被替换为的内容！")};
  if (f == t) return rules::Refusal{titleFillIn(), QStringLiteral("要替换的和被替换为内容不允许相同！")};
  if (hasForbiddenCharacter(f)) return rules::Refusal{msg::titleError(), QStringLiteral("被替换内容包含非法字符，请重新输入！")};
  if (hasForbiddenCharacter(t)) return rules::Refusal{msg::titleError(), QStringLiteral("替换内容包含非法字符，请重新输入！")};
  if (indexOf(f) >= 0) return rules::Refusal{msg::titleError(), QStringLiteral("该规则已被添加过，请不要重复添加！")};
  return std::nullopt;
}

std::optional<rules::Refusal> NameRules::checkModify(int index, const QString& replacement) const {
  const QString t = rules::trimBlanks(replacement);
  if (t.isEmpty()) return rules::Refusal{titleFillIn(), QStringLiteral("请输入被替换为的内容！")};
  if (t == at(index).find) return rules::Refusal{titleFillIn(), QStringLiteral("要替换的和被替换为内容不允许相同！")};
  return std::nullopt;
}

}  // namespace vm::rename
