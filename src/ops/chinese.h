#pragma once
// Chinese script conversion (转换 → 简体转繁体 / 繁体转简体, command `chinese`): a converted copy
// of every ticked document, every story of it, written into the conversion output folder under
// the converted file name (a free name when it is taken). The traditional text follows the
// regional standard of the setting (OpenCC s2t by default, s2tw, s2twp with Taiwan phrases,
// s2hk).

#include <QString>

#include "app/settingsstore.h"

namespace vm::word {
class ChineseConverter;
}

namespace vm::ops {

struct ChineseSettings {
  QString standard = QStringLiteral("s2t");  // the traditional standard
  bool toTraditional = true;                 // the command line's --to

  static constexpr const char* kKeepAs = "chinese";
  void keep(SettingsFields& f) { f("standard", standard); }
};

QString convertChineseDocument(const QString& path, const QString& folder, const word::ChineseConverter& converter);

}  // namespace vm::ops
