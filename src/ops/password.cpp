#include "ops/password.h"

#include <stdexcept>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "word/metadata.h"

namespace vm::ops {

bool passwordsAgree(const PasswordSettings& s) {
  return s.newPassword.trimmed().isEmpty() || s.newPassword.trimmed() == s.repeat.trimmed();
}

QString changeWritePassword(const QString& path, const QString& oldPassword, const QString& newPassword) {
  word::OpenOptions options;
  options.features = {word::Feature::WritePassword};
  auto doc = word::open(std::filesystem::path(path.toStdU16String()), options);
  if (!word::metadata(*doc).writePasswordMatches(oldPassword.toStdString()))
    throw std::runtime_error("原密码不正确，文档未修改");
  word::SaveOptions save;
  save.writePassword = newPassword.toStdString();
  doc->saveAs(doc->path(), save);
  doc->close();
  return newPassword.isEmpty() ? QStringLiteral("已删除写密码") : QStringLiteral("已设置写密码");
}

}  // namespace vm::ops

VM_OPERATION(password) {
  using namespace vm;
  OperationDecl d;
  d.id = QStringLiteral("docmpwd");
  d.title = QStringLiteral("修改密码");
  d.menuItems = {QStringLiteral("m_pwd_start")};
  d.settingsItems = {QStringLiteral("m_pwd_setup")};
  d.features = {word::Feature::WritePassword};
  d.initialCount = 1;
  d.checks = {[](OperationEnv& env) -> std::optional<Refusal> {
    const DocumentList& list = env.app.documents();
    if (list.entryCount() < 1 || list.tickedCount() < 1)
      return Refusal{msg::titleRefused(), QStringLiteral("请先添加文档，并勾选你要修改密码的文档！"), {}};
    return std::nullopt;
  }};
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("修改密码"),
                    QStringLiteral("你确认开始修改文档密码了吗？\n\n"
                                   "你可以点确认按钮开始修改所有文档密码,也可以点取消按钮取消修改文档密码！")};
  };
  d.prepare = [](OperationEnv& env) {
    const ops::PasswordSettings& s = env.app.store<ops::PasswordSettings>();
    RunSteps steps;
    steps.perDocument = [oldPassword = s.oldPassword.trimmed(), newPassword = s.newPassword.trimmed()](const QString& path) {
      return ops::changeWritePassword(path, oldPassword, newPassword);
    };
    return steps;
  };
  d.cli.name = QStringLiteral("password");
  d.cli.synopsis = QStringLiteral("[--old X] [--new Y] PATH...");
  d.cli.summary = QStringLiteral("set, change or remove the write password (批量修改密码)");
  d.cli.options = {
      {QStringLiteral("old"), true, QStringLiteral("X"), QStringLiteral("the present write password (none: empty)")},
      {QStringLiteral("new"), true, QStringLiteral("Y"), QStringLiteral("the new write password; empty or missing removes it")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::PasswordSettings& s = env.app.store<ops::PasswordSettings>();
    s.oldPassword = values.value(QStringLiteral("old"));
    s.newPassword = s.repeat = values.value(QStringLiteral("new"));
    if (s.oldPassword.trimmed().size() > 20 || s.newPassword.trimmed().size() > 20)
      return Refusal{{}, QStringLiteral("a password has at most 20 characters"), {}};
    return std::nullopt;
  };
  return d;
}
