#pragma once
// One object holding what both front ends share: the data folder, config.ini and the
// settings, the document list, the error log, the run frame and the engine status. The GUI
// main and the command line each create one at start-up.
//
//   QString home = vm::takeHomeOption(argc, argv);          // before QApplication
//   auto app = vm::AppContext::create(home, prompter);      // refusal shown when it fails
//   if (!app) return 1;
//   app->checkEngines();                                    // start-up step 9 (may block ~0.2 s)

#include <QObject>
#include <QString>

#include <memory>

#include "app/datafolder.h"
#include "app/documentlist.h"
#include "app/engines.h"
#include "app/errorlog.h"
#include "app/inifile.h"
#include "app/runframe.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "rules/replacerules.h"

namespace vm {

class Prompter;

class AppContext : public QObject {
  Q_OBJECT
 public:
  // Start-up steps 3, 5 and 8: resolves the data folder (homeOption > $VELLUMARK_HOME >
  // ~/.local/share/vellumark), creates it on first start, reads the five config.ini values,
  // clears the run flags. When the folder cannot be created or read: "config.ini配置文档不存在，
  // 请重新安装！" ("出错！") through the prompter and nullptr (the caller exits).
  static std::unique_ptr<AppContext> create(const QString& homeOption, Prompter& prompter);

  explicit AppContext(DataFolder folder, QObject* parent = nullptr);
  ~AppContext() override;

  const DataFolder& dataFolder() const { return folder_; }
  IniFile& ini() { return ini_; }
  Settings& settings() { return settings_; }
  DocumentList& documents() { return list_; }
  ErrorLog& errorLog() { return log_; }
  RunFrame& runFrame() { return frame_; }
  // The content replace rules, kept for the program's run (rule window, replace, generation, tasks).
  rules::ReplaceRules& replaceRules() { return replaceRules_; }
  // The operations' settings structs (see app/operation.h), one of each type.
  template <class T>
  T& store() {
    return store_.get<T>();
  }

  // The desktop program keeps the kept settings (settingsstore.h), the content rules and what
  // else registers with keepAlso() in settings.json of the data folder. Reads it (from now on
  // every kept item takes its saved values); a damaged file is set aside and the text saying
  // so is returned, else empty.
  QString keepSettings();
  void keepAlso(const QString& key, std::function<void(SettingsFields&)> visit) { store_.keepAlso(key, std::move(visit)); }
  // Writes them (at exit); false with the reason.
  bool saveKeptSettings(QString* error = nullptr) const;

  // The engine check (start-up step 9). Until it ran, engines() says the office is unusable.
  const EngineStatus& checkEngines(int timeoutMs = 15000);
  void setEngines(const EngineStatus& status) { engines_ = status; enginesChecked_ = true; }
  const EngineStatus& engines() const { return engines_; }
  bool enginesChecked() const { return enginesChecked_; }

  // The check callers make before using config.ini (print settings, data source settings): false after
  // the refusal when the file is missing (the caller ends the program).
  bool checkConfigIni(Prompter& prompter) const;
  // Reads the five values again / writes them.
  void reloadSettings();
  bool saveSettings() const;

 private:
  DataFolder folder_;
  IniFile ini_;
  Settings settings_;
  DocumentList list_;
  ErrorLog log_;
  rules::ReplaceRules replaceRules_;
  SettingsStore store_;
  EngineStatus engines_;
  bool enginesChecked_ = false;
  // Last, so that it goes first: its destructor stops and joins the worker while everything
  // the worker reads still stands.
  RunFrame frame_;
};

}  // namespace vm
