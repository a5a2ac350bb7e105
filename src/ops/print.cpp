#include "ops/print.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <stdexcept>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/messages.h"
#include "print/printers.h"
#include "tasks/tasks.h"
#include "word/document.h"
#include "word/error.h"
#include "word/layout.h"

namespace vm::ops {

namespace {

const QString kSettingsItem = QStringLiteral("m_print_setup");

bool numeric(const QString& text, double* value = nullptr) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (value) *value = v;
  return ok && std::isfinite(v);
}

// Whole units as the settings are read: to the nearest, a half to the even neighbour.
long wholeNumber(const QString& text) {
  double v = 0;
  numeric(text, &v);
  return std::lround(std::nearbyint(v));
}

int copiesOf(const PrintSettings& s) { return static_cast<int>(wholeNumber(s.copies)); }

// A millimetre margin in points, as the margins are converted for the page setup.
double marginPoints(const QString& millimetres) { return static_cast<double>(wholeNumber(millimetres)) / 0.3528; }

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdU16String()); }

QString printDocument(const QString& path, const PrintSettings& s, const QString& printer) {
  if (const QString problem = copiesProblem(s.copies); !problem.isEmpty()) throw std::runtime_error(problem.toStdString());
  if (printer.isEmpty()) throw std::runtime_error(msg::noPrinter().toStdString());
  word::OpenOptions options;
  options.features = {word::Feature::Render};
  options.readOnly = true;  // the page setup is for this print only
  auto doc = word::open(toPath(path), options);
  word::LayoutDocument* layout = word::layout(*doc);
  if (!layout) throw word::EngineError(word::ErrorCode::Unsupported, "rendering");
  word::PageSetup setup;
  setup.landscape = s.landscape;
  if (s.customMargins)
    setup.margins = word::PageSetup::Margins{marginPoints(s.top), marginPoints(s.bottom), marginPoints(s.left),
                                             marginPoints(s.right)};
  layout->setPageSetup(setup);
  QTemporaryDir scratch;
  if (!scratch.isValid()) throw std::runtime_error("无法创建临时文件夹，文档未打印");
  const QString pdf = scratch.filePath(QStringLiteral("print.pdf"));
  layout->exportPdf(toPath(pdf));
  doc->close();
  const int copies = copiesOf(s);
  print::submit({printer, pdf, QFileInfo(path).fileName(), copies, true});
  return QStringLiteral("已发送到打印机“%1”，%2 份").arg(printer).arg(copies);
}

}  // namespace

QString copiesProblem(const QString& copies) {
  const QString t = copies.trimmed();
  double v = 0;
  if (t.isEmpty()) return QStringLiteral("打印份数不能为空！");
  if (!numeric(t, &v)) return QStringLiteral("打印份数必须输入数字！");
  if (v <= 0 || wholeNumber(t) < 1) return QStringLiteral("打印份数必须大于0！");
  if (wholeNumber(t) > 32767) return QStringLiteral("打印份数不能大于32767！");
  return {};
}

QString marginTypingProblem(const QString& text, const QString& side) {
  const QString t = text.trimmed();
  if (!t.isEmpty() && !numeric(t)) return side + QStringLiteral("边距必须为数字类型！");
  return {};
}

std::optional<Refusal> checkPrintSettings(const PrintSettings& s) {
  if (const QString p = copiesProblem(s.copies); !p.isEmpty()) return Refusal{QStringLiteral("打印出错！"), p, {}};
  if (!s.customMargins) return std::nullopt;
  const std::pair<QString, QString> empties[] = {{QStringLiteral("上"), s.top}, {QStringLiteral("下"), s.bottom},
                                                 {QStringLiteral("左"), s.left}, {QStringLiteral("右"), s.right}};
  for (const auto& [side, text] : empties)
    if (text.trimmed().isEmpty()) return Refusal{msg::titleError(), side + QStringLiteral("边距不能为空！"), {}};
  // the second test walks top, bottom, right, left
  const std::pair<QString, QString> types[] = {{QStringLiteral("上"), s.top}, {QStringLiteral("下"), s.bottom},
                                               {QStringLiteral("右"), s.right}, {QStringLiteral("左"), s.left}};
  for (const auto& [side, text] : types)
    if (!numeric(text)) return Refusal{msg::titleError(), side + QStringLiteral("边距必须为数字类型！"), {}};
  // the office takes no negative margin, and 16 bits hold the millimetres
  for (const auto& [side, text] : empties) {
    const long mm = wholeNumber(text);
    if (mm < 0 || mm > 32767)
      return Refusal{msg::titleError(), side + QStringLiteral("边距必须在0到32767毫米之间！"), {}};
  }
  return std::nullopt;
}

Check requirePrinter() {
  return [](OperationEnv& env) -> std::optional<Refusal> {
    const PrintSettings& s = env.app.store<PrintSettings>();
    const QList<print::Printer> all = print::printers();
    if (print::choosePrinter(all, s.printer)) return std::nullopt;
    if (!s.printer.isEmpty() && !all.isEmpty())
      return Refusal{msg::titleRefused(), QStringLiteral("找不到打印机“%1”，请在打印参数设置中重新选择！").arg(s.printer),
                     kSettingsItem};
    return Refusal{msg::titleRefused(), msg::noPrinter(), {}};
  };
}

RunSteps printSteps(AppContext& app) {
  const PrintSettings s = app.store<PrintSettings>();
  const auto chosen = print::choosePrinter(print::printers(), s.printer);
  RunSteps steps;
  steps.title = QStringLiteral("文档打印");
  steps.perDocument = [s, printer = chosen ? chosen->name : QString()](const QString& path) {
    return printDocument(path, s, printer);
  };
  return steps;
}

std::shared_ptr<Operation> printPass(AppContext& app) {
  const OperationDecl* decl = operations().find(kPrintOperationId);
  if (!decl) return nullptr;
  return std::make_shared<Operation>(passOf(*decl, printSteps(app)));
}

}  // namespace vm::ops

VM_OPERATION(print) {
  using namespace vm;
  OperationDecl d;
  d.id = ops::kPrintOperationId;
  d.title = QStringLiteral("文档打印");
  d.menuItems = {QStringLiteral("m_startPrint")};
  d.settingsItems = {QStringLiteral("m_print_setup")};
  d.features = {word::Feature::Render};
  d.initialCount = 0;
  d.independent = false;  // the printer takes the documents in list order
  d.checks = {
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.documents().tickedCount() < 1)
          return Refusal{msg::titleRefused(),
                         QStringLiteral("没有可以打印的文档！\n\n请先添加文档,然后勾选你要打印的文档！"), {}};
        return std::nullopt;
      },
      ops::requirePrinter(),
  };
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("开始打印"),
                    QStringLiteral("你确认开始打印所有文档了吗？\n\n"
                                   "你可以点确认按钮开始打印所有文档,也可以点取消按钮取消打印！")};
  };
  d.prepare = [](OperationEnv& env) { return ops::printSteps(env.app); };
  d.cli.name = QStringLiteral("print");
  d.cli.synopsis = QStringLiteral("[--copies N] [--landscape] [--margins T B L R] [--printer NAME] PATH...");
  d.cli.summary = QStringLiteral("print the documents on a printer of the print server (开始打印)");
  d.cli.options = {
      {QStringLiteral("copies"), true, QStringLiteral("N"), QStringLiteral("copies of each document, collated (default 1)")},
      {QStringLiteral("landscape"), false, {}, QStringLiteral("print every page in landscape")},
      {QStringLiteral("margins"), true, QStringLiteral("T B L R"),
       QStringLiteral("top, bottom, left and right margins in whole millimetres"), false, 4},
      {QStringLiteral("printer"), true, QStringLiteral("NAME"),
       QStringLiteral("a destination of the print server (default: the default destination)")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::PrintSettings& s = env.app.store<ops::PrintSettings>();
    s = ops::PrintSettings{};
    s.copies = values.value(QStringLiteral("copies"), QStringLiteral("1"));
    s.landscape = values.has(QStringLiteral("landscape"));
    if (values.has(QStringLiteral("margins"))) {
      const QStringList m = values.options.value(QStringLiteral("margins"));
      s.customMargins = true;
      s.top = m.value(0);
      s.bottom = m.value(1);
      s.left = m.value(2);
      s.right = m.value(3);
    }
    s.printer = values.value(QStringLiteral("printer"));
    return ops::checkPrintSettings(s);
  };
  d.task.letter = QStringLiteral("p");
  d.task.word = QStringLiteral("print");
  d.task.caption = QStringLiteral("打印任务");
  d.task.saveItem = QStringLiteral("m_print_task");
  const QString settingsItem = QStringLiteral("m_print_setup");
  d.task.saveChecks = {
      [settingsItem](OperationEnv& env) -> std::optional<Refusal> {
        const QString copies = env.app.store<ops::PrintSettings>().copies.trimmed();
        if (copies.isEmpty()) return Refusal{msg::titleRefused(), QStringLiteral("请设置打印份数！"), settingsItem};
        bool ok = false;
        copies.toDouble(&ok);
        if (!ok) return Refusal{msg::titleRefused(), QStringLiteral("打印份数设置类型错误！"), settingsItem};
        return std::nullopt;
      },
      tasks::requireTaskName(QStringLiteral("请输入要保存的任务名称！"), msg::titleError()),
      requireTickedDocuments(),
      tasks::requireTaskStore(msg::titleError()),
  };
  // Only the copies are kept: orientation and margins stay as the print settings hold them.
  d.task.save = [](OperationEnv& env, StoredTask& task) {
    task.settings.insert(QStringLiteral("tPrintCopies"), env.app.store<ops::PrintSettings>().copies.trimmed());
  };
  d.task.load = [](OperationEnv& env, const StoredTask& task) -> std::optional<Refusal> {
    if (task.settings.contains(QStringLiteral("tPrintCopies")))
      env.app.store<ops::PrintSettings>().copies = task.settings.value(QStringLiteral("tPrintCopies"));
    return std::nullopt;
  };
  d.task.runChecks = {ops::requirePrinter()};
  return d;
}
