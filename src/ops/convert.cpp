#include "ops/convert.h"

#include <QFileInfo>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "ops/outputnames.h"

namespace vm::ops {

namespace {

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdU16String()); }

const QString kFolderWindow = QStringLiteral("m_htmlFileSetup");

const ConvertFormat* formatByItem(const QString& item) {
  for (const ConvertFormat& f : convertFormats())
    if (f.menuItem == item) return &f;
  return nullptr;
}


RunSteps convertSteps(OperationEnv& env, const ConvertFormat& f) {
  RunSteps s;
  const QString folder = outputFolder(env.app.store<ConvertSettings>().folder);
  s.perDocument = [folder, f](const QString& path) { return convertDocument(path, folder, f.format, f.extension); };
  return s;
}

OperationDecl convertDecl(const QString& id, const QString& item) {
  OperationDecl d;
  d.id = id;
  d.title = QStringLiteral("格式转换");
  if (!item.isEmpty()) d.menuItems = {item};
  // The folder window serves the Chinese script conversion too, which needs no office: it
  // stays with that operation, so that it is not disabled with these.
  d.features = {word::Feature::Convert};
  d.initialCount = 0;
  d.independent = false;  // free names depend on the copies written before
  d.checks = outputFolderChecks();
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("信息提示"),
                    QStringLiteral("你确认开始转换文档了吗？\n"
                                   "你可以点确认按钮开始转换所有文档,也可以点取消按钮取消转换文档！")};
  };
  if (const ConvertFormat* f = formatByItem(item)) {
    d.prepare = [f = *f](OperationEnv& env) { return convertSteps(env, f); };
  }
  return d;
}

}  // namespace

std::vector<Check> outputFolderChecks() {
  const QString folderWindow = kFolderWindow;
  return {
      [](OperationEnv& env) -> std::optional<Refusal> {
        const DocumentList& list = env.app.documents();
        if (list.entryCount() < 1 || list.tickedCount() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请先添加文档，并勾选你要转化的文档！"), {}};
        return std::nullopt;
      },
      [folderWindow](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.store<ConvertSettings>().folder.trimmed().isEmpty())
          return Refusal{msg::titleRefused(), QStringLiteral("请选择文档保存路径！"), folderWindow};
        return std::nullopt;
      },
      [folderWindow](OperationEnv& env) -> std::optional<Refusal> {
        if (!QFileInfo(env.app.store<ConvertSettings>().folder.trimmed()).isDir())
          return Refusal{msg::titleRefused(), QStringLiteral("文档保存路径不存在！"), folderWindow};
        return std::nullopt;
      },
  };
}


const QList<ConvertFormat>& convertFormats() {
  static const QList<ConvertFormat> formats = {
      {QStringLiteral("m_convDoc"), QStringLiteral("doc"), word::SaveFormat::Doc, QStringLiteral("doc")},
      {QStringLiteral("m_convRtf"), QStringLiteral("rtf"), word::SaveFormat::Rtf, QStringLiteral("rtf")},
      {QStringLiteral("m_convTxt"), QStringLiteral("txt"), word::SaveFormat::Text, QStringLiteral("txt")},
      {QStringLiteral("m_convUni"), QStringLiteral("unicode"), word::SaveFormat::UnicodeText, QStringLiteral("txt")},
      {QStringLiteral("m_convHtml"), QStringLiteral("html"), word::SaveFormat::Html, QStringLiteral("html")},
      {QStringLiteral("m_convPdf"), QStringLiteral("pdf"), word::SaveFormat::Pdf, QStringLiteral("pdf")},
  };
  return formats;
}

QString convertDocument(const QString& path, const QString& folder, word::SaveFormat format, const QString& extension) {
  const QString target = freeTarget(folder, withExtension(QFileInfo(path).fileName(), extension));
  word::OpenOptions options;
  options.features = {word::Feature::Convert};
  options.readOnly = true;  // the source is only read
  auto doc = word::open(toPath(path), options);
  doc->saveAs(toPath(target), format);
  doc->close();
  return QStringLiteral("已保存为 %1").arg(target);
}

}  // namespace vm::ops

VM_OPERATION(convertDoc) { return vm::ops::convertDecl(QStringLiteral("docFormat.doc"), QStringLiteral("m_convDoc")); }
VM_OPERATION(convertRtf) { return vm::ops::convertDecl(QStringLiteral("docFormat.rtf"), QStringLiteral("m_convRtf")); }
VM_OPERATION(convertTxt) { return vm::ops::convertDecl(QStringLiteral("docFormat.txt"), QStringLiteral("m_convTxt")); }
VM_OPERATION(convertUni) { return vm::ops::convertDecl(QStringLiteral("docFormat.uni"), QStringLiteral("m_convUni")); }
VM_OPERATION(convertHtml) { return vm::ops::convertDecl(QStringLiteral("docFormat.html"), QStringLiteral("m_convHtml")); }
VM_OPERATION(convertPdf) { return vm::ops::convertDecl(QStringLiteral("docFormat.pdf"), QStringLiteral("m_convPdf")); }

// The command line's conversion: one command, the format from --to.
VM_OPERATION(convert) {
  using namespace vm;
  OperationDecl d = ops::convertDecl(QStringLiteral("docFormat"), {});
  d.prepare = [](OperationEnv& env) {
    const word::SaveFormat format = env.app.store<ops::ConvertSettings>().format;
    for (const ops::ConvertFormat& f : ops::convertFormats())
      if (f.format == format) return ops::convertSteps(env, f);
    return RunSteps{};
  };
  d.cli.name = QStringLiteral("convert");
  d.cli.synopsis = QStringLiteral("--to doc|rtf|txt|unicode|html|pdf --out DIR PATH...");
  d.cli.summary = QStringLiteral("save a copy of each document in another format into DIR (转换)");
  d.cli.options = {
      {QStringLiteral("to"), true, QStringLiteral("FORMAT"),
       QStringLiteral("doc, rtf, txt (UTF-8), unicode (UTF-16 text), html or pdf"), true},
      {QStringLiteral("out"), true, QStringLiteral("DIR"),
       QStringLiteral("the output folder; a taken name gets 2, 3, ... before its extension"), true},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    const QString to = values.value(QStringLiteral("to")).toLower();
    ops::ConvertSettings& s = env.app.store<ops::ConvertSettings>();
    bool known = false;
    for (const ops::ConvertFormat& f : ops::convertFormats())
      if (f.cliName == to) {
        s.format = f.format;
        known = true;
      }
    if (!known) return Refusal{{}, QStringLiteral("--to must be doc, rtf, txt, unicode, html or pdf"), {}};
    const QString out = values.value(QStringLiteral("out"));
    s.folder = out.isEmpty() ? out : QFileInfo(out).absoluteFilePath();
    return std::nullopt;
  };
  return d;
}
