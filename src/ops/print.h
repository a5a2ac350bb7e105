#pragma once
// Printing (打印 → 开始打印, command `print`): each ticked document is opened as a copy, given
// the orientation and margins of the print settings, rendered to PDF and sent to the printer
// with the copies, collated. The file on disk is never changed.

#include <QString>

#include <memory>
#include <optional>

#include "app/operation.h"
#include "app/settingsstore.h"

namespace vm::ops {

inline const QString kPrintOperationId = QStringLiteral("docP");

// frmPrintSetup: the texts as typed (validated when saved and when a document prints).
struct PrintSettings {
  QString copies = QStringLiteral("1");             // txtP
  bool landscape = false;                           // optPD(0) 横向; else optPD(1) 纵向
  bool customMargins = false;                       // chkybj(1) 自定义; else chkybj(0) 保持默认
  QString top = QStringLiteral("0"), bottom = QStringLiteral("0");  // txtS, txtX (mm)
  QString left = QStringLiteral("0"), right = QStringLiteral("0");  // txtZ, txtY (mm)
  QString printer;                                  // a destination's name; empty: the default

  static constexpr const char* kKeepAs = "print";
  void keep(SettingsFields& f) {
    f("copies", copies), f("landscape", landscape), f("customMargins", customMargins), f("top", top);
    f("bottom", bottom), f("left", left), f("right", right), f("printer", printer);
  }
};

// The copies text's fault, in the written order ("打印份数不能为空！", ...); empty when valid.
QString copiesProblem(const QString& copies);
// What "保存设置" refuses, first failure first (copies, then the margins when custom).
std::optional<Refusal> checkPrintSettings(const PrintSettings& s);
// The margin box's complaint while typing ("上边距必须为数字类型！"); empty when fine.
QString marginTypingProblem(const QString& text, const QString& side);

// CheckPrinter: the start checks' printer test, shared by the combined runs.
Check requirePrinter();

// The print pass of a run over the ticked documents with the settings of that moment.
RunSteps printSteps(AppContext& app);
// The same as the next pass of a combined run.
std::shared_ptr<Operation> printPass(AppContext& app);

}  // namespace vm::ops
