#include "app/datafolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/inifile.h"
#include "app/messages.h"
#include "app/settings.h"
#include "tasks/taskstore.h"

namespace vm {

HomeOption takeHomeOption(const QStringList& args) {
  HomeOption r;
  const QString opt = QString::fromLatin1(kHomeOption);
  const QString optEq = opt + QLatin1Char('=');
  bool endOfOptions = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (i == 0 || endOfOptions) {
      r.rest << a;
      continue;
    }
    if (a == QLatin1String("--")) {
      endOfOptions = true;
      r.rest << a;
    } else if (a == opt) {
      if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
        r.error = QStringLiteral("--home needs a folder");
        continue;
      }
      r.home = args[++i];
    } else if (a.startsWith(optEq)) {
      r.home = a.mid(optEq.size());
      if (r.home.isEmpty()) r.error = QStringLiteral("--home needs a folder");
    } else {
      r.rest << a;
    }
  }
  return r;
}

QString takeHomeOption(int& argc, char** argv, QString* error) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const HomeOption h = takeHomeOption(args);
  if (error) *error = h.error;
  // Rebuild argv in place: keep the pointers of the arguments that stay, in order.
  const QString opt = QString::fromLatin1(kHomeOption);
  int out = argc > 0 ? 1 : 0;
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    const QString a = QString::fromLocal8Bit(argv[i]);
    if (!endOfOptions) {
      if (a == QLatin1String("--")) {
        endOfOptions = true;
      } else if (a == opt) {
        if (i + 1 < argc && argv[i + 1][0] != '\0') ++i;
        continue;
      } else if (a.startsWith(opt + QLatin1Char('='))) {
        continue;
      }
    }
    argv[out++] = argv[i];
  }
  if (out < argc) argv[out] = nullptr;
  argc = out;
  return h.home;
}

DataFolder::DataFolder(QString root) : root_(std::move(root)) {}

QString DataFolder::resolve(const QString& homeOption) {
  QString root = homeOption.trimmed();
  if (root.isEmpty()) root = qEnvironmentVariable("VELLUMARK_HOME").trimmed();
  if (root.isEmpty()) root = QDir::homePath() + QStringLiteral("/.local/share/vellumark");
  root = QDir::cleanPath(QDir::fromNativeSeparators(QDir::current().absoluteFilePath(root)));
  while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) root.chop(1);
  return root;
}

QString DataFolder::filePath(const QString& name) const { return root_ + QLatin1Char('/') + name; }
QString DataFolder::configIni() const { return filePath(QStringLiteral("config.ini")); }
QString DataFolder::logDir() const { return filePath(QStringLiteral("log")); }
QString DataFolder::logFile() const { return filePath(QStringLiteral("log/log.txt")); }
QString DataFolder::database() const { return filePath(QStringLiteral("config.db")); }
QString DataFolder::refusalTitle() { return msg::titleError(); }
QString DataFolder::refusalText() { return msg::configMissing(); }

bool DataFolder::ensure(QString* reason) const {
  auto fail = [&](const QString& why) {
    if (reason) *reason = why;
    return false;
  };
  if (root_.isEmpty()) return fail(msg::configMissing());
  const QFileInfo given(root_);
  if (given.exists() && !given.isDir())
    return fail(QStringLiteral("数据文件夹“%1”是一个文件，不是文件夹，请用 --home 指定一个文件夹！").arg(root_));
  QDir dir(root_);
  if (!dir.exists() && !QDir().mkpath(root_)) return fail(QStringLiteral("无法创建数据文件夹“%1”，请检查权限！").arg(root_));
  const QFileInfo rootInfo(root_);
  if (!rootInfo.isDir() || !rootInfo.isReadable() || !rootInfo.isExecutable())
    return fail(QStringLiteral("无法读取数据文件夹“%1”，请检查权限！").arg(root_));
  const QString ini = configIni();
  if (!QFileInfo::exists(ini)) {
    // First start: [config] with the five keys, empty.
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return fail(msg::configMissing());
    QByteArray text = QByteArrayLiteral("[config]\n");
    for (const char* const* k = Settings::keys(); *k; ++k) text += QByteArray(*k) + "=\n";
    if (f.write(text) != text.size() || !f.flush()) {
      f.close();
      QFile::remove(ini);
      return fail(msg::configMissing());
    }
    f.close();
  }
  {
    QFile f(ini);
    if (!QFileInfo(ini).isFile() || !f.open(QIODevice::ReadOnly)) return fail(msg::configMissing());
  }
  if (!QFileInfo::exists(logDir())) QDir().mkpath(logDir());  // a missing log folder only loses the log
  // The task store with its schema; one that cannot be made is reported when a task is saved.
  if (!QFileInfo::exists(database())) tasks::TaskStore(database()).ensure();
  return true;
}

}  // namespace vm
