#pragma once
// The statistics report (其他 → 文档统计, command `stats`): one record per ticked document,
// the template with [WDM] (file name), [WDLJ] (full path) and [ZFZS] (Word's character count)
// filled in, written in list order to wordStauts.txt in the data folder (UTF-8), replaced
// whole by each run.

#include <QString>
#include <QStringList>

#include "app/settingsstore.h"

namespace vm::ops {

inline const QString kStatsOperationId = QStringLiteral("docWdtj");

struct StatsSettings {
  QString templateText;  // txtWdgs
  QString reportPath;    // empty: wordStauts.txt in the data folder
  bool announce = false; // the summary names the report (the window asks to open it instead)

  static constexpr const char* kKeepAs = "stats";
  void keep(SettingsFields& f) { f("template", templateText); }
};

QString statsReportPath(const QString& dataFolder);

// The template with its tags filled, cut into its lines (at CR LF, LF or CR).
QStringList statsRecord(const QString& templateText, const QString& path, qint64 characters);

}  // namespace vm::ops
