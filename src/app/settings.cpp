#include "app/settings.h"

#include "app/inifile.h"

namespace vm {

const char* const* Settings::keys() {
  static const char* const k[] = {"fileBatchName", "fileSavePath", "dbPath", "dbPwd", "dbSql", nullptr};
  return k;
}

Settings Settings::load(const IniFile& ini) {
  const QString s = QString::fromLatin1(kSection);
  Settings r;
  r.fileBatchName = ini.readIni(s, QStringLiteral("fileBatchName"));
  r.fileSavePath = ini.readIni(s, QStringLiteral("fileSavePath"));
  r.dbPath = ini.readIni(s, QStringLiteral("dbPath"));
  r.dbPwd = ini.readIni(s, QStringLiteral("dbPwd"));
  r.dbSql = ini.readIni(s, QStringLiteral("dbSql"));
  return r;
}

bool Settings::saveNaming(const IniFile& ini) const {
  const QString s = QString::fromLatin1(kSection);
  bool ok = ini.writeIni(s, QStringLiteral("fileBatchName"), fileBatchName);
  ok = ini.writeIni(s, QStringLiteral("fileSavePath"), fileSavePath) && ok;
  return ok;
}

bool Settings::saveDataSource(const IniFile& ini) const {
  const QString s = QString::fromLatin1(kSection);
  bool ok = ini.writeIni(s, QStringLiteral("dbPath"), dbPath);
  ok = ini.writeIni(s, QStringLiteral("dbPwd"), dbPwd) && ok;
  ok = ini.writeIni(s, QStringLiteral("dbSql"), dbSql) && ok;
  return ok;
}

bool Settings::save(const IniFile& ini) const {
  const bool a = saveNaming(ini);
  const bool b = saveDataSource(ini);
  return a && b;
}

}  // namespace vm
