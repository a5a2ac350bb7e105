#include "ops/stats.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <memory>
#include <stdexcept>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "word/document.h"

namespace vm::ops {

QString statsReportPath(const QString& dataFolder) { return dataFolder + QStringLiteral("/wordStauts.txt"); }

QStringList statsRecord(const QString& templateText, const QString& path, qint64 characters) {
  QString record = templateText;
  record.replace(QStringLiteral("[WDM]"), QFileInfo(path).fileName());
  record.replace(QStringLiteral("[WDLJ]"), path);
  record.replace(QStringLiteral("[ZFZS]"), QString::number(characters));
  static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
  return record.split(lineBreak);
}

}  // namespace vm::ops

VM_OPERATION(stats) {
  using namespace vm;
  OperationDecl d;
  d.id = ops::kStatsOperationId;
  d.title = QStringLiteral("文档统计");
  d.settingsItems = {QStringLiteral("m_wdtj")};
  d.features = {word::Feature::MainText};
  d.independent = false;  // one report in list order
  // Continuing a paused report goes on writing into the same open file.
  d.checks = {
      [](OperationEnv& env) -> std::optional<Refusal> {
        const DocumentList& list = env.app.documents();
        if (list.entryCount() < 1 || list.tickedCount() < 1) return Refusal{msg::titleRefused(), msg::noDocuments(), {}};
        return std::nullopt;
      },
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.store<ops::StatsSettings>().templateText.isEmpty())
          return Refusal{QStringLiteral("出错"), QStringLiteral("导出格式不能为空！"), {}};
        return std::nullopt;
      },
  };
  d.prepare = [](OperationEnv& env) {
    const ops::StatsSettings& s = env.app.store<ops::StatsSettings>();
    const QString report = s.reportPath.isEmpty() ? ops::statsReportPath(env.app.dataFolder().root()) : s.reportPath;
    auto file = std::make_shared<QFile>(report);
    RunSteps steps;
    steps.begin = [file] {
      if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error(QStringLiteral("无法写入 %1：%2").arg(file->fileName(), file->errorString()).toStdString());
    };
    steps.perDocument = [file, templ = s.templateText](const QString& path) {
      auto doc = word::open(std::filesystem::path(path.toStdU16String()));
      const qint64 count = doc->mainStory().characterCount();
      doc->close();
      QByteArray bytes;
      for (const QString& line : ops::statsRecord(templ, path, count)) bytes += line.toUtf8() + '\n';
      if (file->write(bytes) != bytes.size())
        throw std::runtime_error(QStringLiteral("无法写入 %1：%2").arg(file->fileName(), file->errorString()).toStdString());
      return QString();
    };
    steps.finish = [file, announce = s.announce](bool) {
      const bool ok = file->flush();
      file->close();
      if (!ok) throw std::runtime_error(QStringLiteral("无法写入 %1").arg(file->fileName()).toStdString());
      return announce ? QStringLiteral("统计已写入 %1").arg(file->fileName()) : QString();
    };
    return steps;
  };
  d.cli.name = QStringLiteral("stats");
  d.cli.synopsis = QStringLiteral("--template TEXT [--out FILE] PATH...");
  d.cli.summary = QStringLiteral("write one record per document to wordStauts.txt in the data folder (文档统计)");
  d.cli.options = {
      {QStringLiteral("template"), true, QStringLiteral("TEXT"),
       QStringLiteral("the record: [WDM] file name, [WDLJ] path, [ZFZS] character count; \\n starts a line"), true},
      {QStringLiteral("out"), true, QStringLiteral("FILE"), QStringLiteral("write the report here instead")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::StatsSettings& s = env.app.store<ops::StatsSettings>();
    s.templateText = values.value(QStringLiteral("template")).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    const QString out = values.value(QStringLiteral("out"));
    s.reportPath = out.isEmpty() ? out : QFileInfo(out).absoluteFilePath();
    s.announce = true;
    return std::nullopt;
  };
  return d;
}
