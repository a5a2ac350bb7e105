#pragma once
// The data folder: where Vellumark keeps config.ini, log/log.txt, config.db and the pid files
// of the offices it started. $VELLUMARK_HOME, else ~/.local/share/vellumark; --home DIR on
// both executables overrides both.

#include <QString>
#include <QStringList>

namespace vm {

// The option name both executables accept: "--home DIR" or "--home=DIR".
inline constexpr const char* kHomeOption = "--home";

struct HomeOption {
  QString home;       // the value of --home, empty when not given
  QStringList rest;   // the arguments without --home and its value (argv[0] kept)
  QString error;      // non-empty when --home lacks its value
};

// Takes --home DIR / --home=DIR out of an argument list (the first element is the program).
// The last occurrence wins. Arguments after "--" are left alone.
HomeOption takeHomeOption(const QStringList& args);
// The same on argc/argv, before QApplication sees them: removes the option from argv in
// place and adjusts argc. *error (when given) receives the usage error, if any.
QString takeHomeOption(int& argc, char** argv, QString* error = nullptr);

class DataFolder {
 public:
  DataFolder() = default;
  explicit DataFolder(QString root);

  // --home value (may be empty) > $VELLUMARK_HOME (when not empty) > ~/.local/share/vellumark.
  // The result is absolute and uses "/"; it has no trailing "/".
  static QString resolve(const QString& homeOption = {});

  // Creates the folder, config.ini ([config] with the five keys, empty) and log/ when they
  // are missing, and checks that the folder and config.ini can be read. False (and the reason
  // in *reason, the Chinese text to show) when that fails: the caller refuses to start.
  bool ensure(QString* reason = nullptr) const;

  const QString& root() const { return root_; }
  QString configIni() const;  // <root>/config.ini
  QString logDir() const;     // <root>/log
  QString logFile() const;    // <root>/log/log.txt
  QString database() const;   // <root>/config.db
  QString filePath(const QString& name) const;  // <root>/<name>

  static QString refusalTitle();  // "出错！"
  static QString refusalText();   // "config.ini配置文档不存在，请重新安装！"

 private:
  QString root_;
};

}  // namespace vm
