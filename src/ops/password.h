#pragma once
// The write password run "docmpwd" (其他 → 批量修改密码, command `password`): each ticked
// document's write password is checked against the old one and replaced by the new one (an empty
// new password removes it). A wrong old password fails the document and leaves it unchanged.

#include <QString>

namespace vm::ops {

// frmPwdSetup: txtO, txtN, txtN2 (masked, at most 20 characters).
struct PasswordSettings {
  QString oldPassword, newPassword, repeat;
};

// "两次输入Word不符。" when the trimmed new password is set and the trimmed repetition differs.
bool passwordsAgree(const PasswordSettings& s);

QString changeWritePassword(const QString& path, const QString& oldPassword, const QString& newPassword);

}  // namespace vm::ops
