#include "ops/chinese.h"

#include <QFileInfo>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "ops/convert.h"
#include "ops/outputnames.h"
#include "word/chinese.h"

namespace vm::ops {

namespace {

const QString kFolderWindow = QStringLiteral("m_htmlFileSetup");

OperationDecl chineseDecl(const QString& id, const QString& item, std::optional<bool> toTraditional) {
  OperationDecl d;
  d.id = id;
  d.title = QStringLiteral("简繁转换");
  if (!item.isEmpty()) d.menuItems = {item};
  d.settingsItems = {kFolderWindow};
  d.features = {word::Feature::MainText};
  d.initialCount = 0;
  d.independent = false;  // free names depend on the copies written before
  d.checks = outputFolderChecks();

  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("信息提示"),
                    QStringLiteral("你确认开始转换文档了吗？\n\n"
                                   "你可以点确认按钮开始转换所有文档,也可以点取消按钮取消转换文档！")};
  };
  d.prepare = [toTraditional](OperationEnv& env) {
    const ChineseSettings& s = env.app.store<ChineseSettings>();
    const bool traditional = toTraditional.value_or(s.toTraditional);
    RunSteps steps;
    // Loaded on the worker: a missing OpenCC configuration fails each document with its reason.
    steps.perDocument = [folder = outputFolder(env.app.store<ConvertSettings>().folder),
                         config = traditional ? s.standard.toStdString() : std::string("t2s")](const QString& path) {
      return convertChineseDocument(path, folder, word::ChineseConverter(config));
    };
    return steps;
  };
  return d;
}

}  // namespace

QString convertChineseDocument(const QString& path, const QString& folder, const word::ChineseConverter& converter) {
  const QString name = QString::fromStdString(converter.convert(QFileInfo(path).fileName().toStdString()));
  const QString target = freeTarget(folder, name);
  word::OpenOptions options;
  options.readOnly = true;  // the source is only read
  auto doc = word::open(std::filesystem::path(path.toStdU16String()), options);
  const int pieces = word::scriptText(*doc).convertText(converter.converter());
  doc->saveAs(std::filesystem::path(target.toStdU16String()));
  doc->close();
  return QStringLiteral("转换 %1 处，已保存为 %2").arg(pieces).arg(target);
}

}  // namespace vm::ops

VM_OPERATION(chineseToTraditional) {
  return vm::ops::chineseDecl(QStringLiteral("docJtzft"), QStringLiteral("m_jtzft"), true);
}
VM_OPERATION(chineseToSimplified) {
  return vm::ops::chineseDecl(QStringLiteral("docFtzjt"), QStringLiteral("m_ftzjt"), false);
}

VM_OPERATION(chinese) {
  using namespace vm;
  OperationDecl d = ops::chineseDecl(QStringLiteral("docJtFt"), {}, std::nullopt);
  d.cli.name = QStringLiteral("chinese");
  d.cli.synopsis = QStringLiteral("--to traditional|simplified [--standard s2t|s2tw|s2twp|s2hk] --out DIR PATH...");
  d.cli.summary = QStringLiteral("write a copy converted to Traditional or Simplified Chinese into DIR (简体转繁体/繁体转简体)");
  d.cli.options = {
      {QStringLiteral("to"), true, QStringLiteral("SCRIPT"), QStringLiteral("traditional or simplified"), true},
      {QStringLiteral("standard"), true, QStringLiteral("NAME"),
       QStringLiteral("the traditional standard: s2t (default), s2tw (Taiwan), s2twp (Taiwan phrases), s2hk (Hong Kong)")},
      {QStringLiteral("out"), true, QStringLiteral("DIR"), QStringLiteral("the output folder"), true},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::ChineseSettings& s = env.app.store<ops::ChineseSettings>();
    const QString to = values.value(QStringLiteral("to")).toLower();
    if (to != QLatin1String("traditional") && to != QLatin1String("simplified"))
      return Refusal{{}, QStringLiteral("--to must be traditional or simplified"), {}};
    s.toTraditional = to == QLatin1String("traditional");
    s.standard = values.value(QStringLiteral("standard"), QStringLiteral("s2t")).toLower();
    if (!QStringList{"s2t", "s2tw", "s2twp", "s2hk"}.contains(s.standard))
      return Refusal{{}, QStringLiteral("--standard must be s2t, s2tw, s2twp or s2hk"), {}};
    const QString out = values.value(QStringLiteral("out"));
    env.app.store<ops::ConvertSettings>().folder = out.isEmpty() ? out : QFileInfo(out).absoluteFilePath();
    return std::nullopt;
  };
  return d;
}
