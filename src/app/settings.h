#pragma once
// The five config.ini values (section "config"): read at start-up, written by the data
// source and naming settings. Operations read them from here.

#include <QString>

namespace vm {

class IniFile;

struct Settings {
  static constexpr const char* kSection = "config";

  QString fileBatchName;  // name pattern of generated documents (frmFNameSetup.txtN)
  QString fileSavePath;   // folder for generated documents (frmFNameSetup.txtSavePath)
  QString dbPath;         // data source path (frmDataSetup.txtDPath)
  QString dbPwd;          // its password (frmDataSetup.txtDPwd)
  QString dbSql;          // its query (frmDataSetup.txtSql)

  // The five keys in file order.
  static const char* const* keys();  // {"fileBatchName", "fileSavePath", "dbPath", "dbPwd", "dbSql", nullptr}

  static Settings load(const IniFile& ini);
  // Writes all five keys; false when a write fails (callers do not report it).
  bool save(const IniFile& ini) const;
  // Writes only the naming keys (fileBatchName, fileSavePath) or only the data source keys.
  bool saveNaming(const IniFile& ini) const;
  bool saveDataSource(const IniFile& ini) const;

  friend bool operator==(const Settings&, const Settings&) = default;
};

}  // namespace vm
