#pragma once
// Generation from data: the operation "docCreate" (menu item "开始生成", command `generate`).
// One ticked template document and the rows of the data source's query give one new document
// per row: the ticked replace rules with data placeholders ($[WDCon_n]$, column n of the row,
// counted from 1) filled from the row, saved into the output folder under a name built from
// the name pattern with the row's values.

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

#include "app/operation.h"
#include "app/settings.h"

namespace vm {
class AppContext;
}

namespace vm::ops {

inline const QString kGenerateOperationId = QStringLiteral("docCreate");

// What the two settings windows hold (文档名设置: fileBatchName, fileSavePath; 数据库设置:
// dbPath, dbPwd, dbSql), read from config.ini at start-up and written there when a window is
// saved. The live values are the context's settings (AppContext::settings()); a generate task
// stores and loads these five with the template and the replace rules.
using GenerateSettings = vm::Settings;
GenerateSettings& generateSettings(AppContext& app);

// The menu items of the two windows (the start checks open them on a refusal).
inline const QString kNamingItem = QStringLiteral("m_fNameSetup");
inline const QString kDataSourceItem = QStringLiteral("m_createSetup");
inline const QString kGenerateRulesItem = QStringLiteral("m_createRep");

// The start checks of a generation, in their order (documents, one template, name pattern,
// output folder, data source and query, rules). The combined generate-and-print run uses them
// too.
std::vector<Check> generateChecks();

// The placeholder text of column n (counted from 1): "$[WDCon_n]$".
QString placeholder(int column);

// Every placeholder of text filled from the row ($[WDCon_n]$ → row[n-1]); a placeholder of a
// column the row does not have becomes empty. With fileName set, each value is made safe
// for a file name first ("/" and NUL become "_", "." and ".." whole become "_"), so that a
// value never leads out of the output folder.
QString fillPlaceholders(const QString& text, const QStringList& row, bool fileName = false);

}  // namespace vm::ops
