#pragma once
// Format conversion (menu 转换): a copy of every ticked document in another format, written
// into the output folder under the source's name with the format's extension (a free name when
// it is taken); the source stays as it was. One start command per format, and the command
// `convert --to FORMAT --out DIR`.

#include <QList>
#include <QString>

#include <vector>

#include "app/operation.h"
#include "word/document.h"
#include "app/settingsstore.h"

namespace vm::ops {

// The output folder window's setting (txtSavePath), shared with the Chinese script conversion.
struct ConvertSettings {
  QString folder;
  word::SaveFormat format = word::SaveFormat::Doc;  // the command line's --to

  static constexpr const char* kKeepAs = "convert";
  void keep(SettingsFields& f) { f("folder", folder); }
};

struct ConvertFormat {
  QString menuItem;   // the start command, e.g. "m_convDoc"
  QString cliName;    // --to value, e.g. "doc"
  word::SaveFormat format;
  QString extension;  // without its "."
};
const QList<ConvertFormat>& convertFormats();

// The start checks of every command that writes copies into the output folder (conversions and
// the Chinese script), in their order: ticked documents, a folder given, the folder there.
std::vector<Check> outputFolderChecks();

// Saves a copy of path in format into folder (ending in "/"); returns the summary line.
QString convertDocument(const QString& path, const QString& folder, word::SaveFormat format, const QString& extension);

}  // namespace vm::ops
