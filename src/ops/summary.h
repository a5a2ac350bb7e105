#pragma once
// The summary run (其他 → 批量修改摘要, command `properties`): title, subject, author and
// company of every ticked document set to the texts of the summary window (empty clears).
// It has an identifier of its own, so that continuing a paused run continues this run.

#include <QString>

#include "app/settingsstore.h"

namespace vm::ops {

inline const QString kSummaryOperationId = QStringLiteral("docZyxg");

// frmWordModifyDet: txtBt, txtZt, txtZz, txtGs (at most 50 characters each), used untrimmed.
struct SummarySettings {
  QString title, subject, author, company;

  static constexpr const char* kKeepAs = "summary";
  void keep(SettingsFields& f) { f("title", title), f("subject", subject), f("author", author), f("company", company); }
};

QString writeSummary(const QString& path, const SummarySettings& s);

}  // namespace vm::ops
