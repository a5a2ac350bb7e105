#include "app/listcommands.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/prompter.h"

namespace vm::listcmd {

QString missingPathText(const QString& path) {
  // Qt reads a name that is not UTF-8 with replacement characters: it names nothing then.
  if (path.contains(QChar(0xFFFD)))
    return QStringLiteral("文件名不是有效的 UTF-8 编码，无法处理：%1").arg(path);
  const QByteArray native = QFile::encodeName(path);
  struct stat st {};
  if (::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0)
    return (errno == ELOOP ? QStringLiteral("链接形成循环：%1") : QStringLiteral("链接指向的文件不存在：%1")).arg(path);
  return QStringLiteral("文档或文件夹不存在：%1").arg(path);
}

bool canChangeList(AppContext& app, Prompter& prompter) { return !app.runFrame().refuseIfBusy(prompter); }

int chooseFile(AppContext& app, Prompter& prompter, const QString& file, const QString& suffixList) {
  ErrorLog::Scope scope(app.errorLog());
  if (file.trimmed().isEmpty() || !QFileInfo::exists(file)) return 0;
  if (!canChangeList(app, prompter)) return 0;
  const QString why = DocumentList::whyNotListed(file, suffixList);
  if (!why.isEmpty() && !QFileInfo(file).isDir()) {
    prompter.inform(msg::titleNotListed(), QStringLiteral("%1：%2").arg(file, why));
    return 0;
  }
  return app.documents().addFiles(file, suffixList, false);
}

bool checkSuffixChosen(Prompter& prompter, const QString& suffixList) {
  if (!suffixList.isEmpty() && suffixList != QLatin1String(",")) return true;
  prompter.inform(msg::titleRefused(), msg::noSuffix());
  return false;
}

int chooseFolder(AppContext& app, Prompter& prompter, const QString& folder, const QString& suffixList,
                 bool recursive) {
  ErrorLog::Scope scope(app.errorLog());
  if (!checkSuffixChosen(prompter, suffixList)) return -1;
  if (!canChangeList(app, prompter)) return -1;
  const QString path = DocumentList::folderWithSlash(folder);
  if (path.isEmpty() || !QFileInfo(path).isDir()) return 0;
  QStringList problems;
  const int added = recursive ? app.documents().showAllFile(path, suffixList, &problems)
                              : app.documents().addFiles(path, suffixList, true, &problems);
  if (!problems.isEmpty()) {
    app.errorLog().record(msg::notListed(problems));
    prompter.inform(msg::titleNotListed(), msg::notListed(problems));
  }
  return added;
}

void clearList(AppContext& app, Prompter& prompter) {
  ErrorLog::Scope scope(app.errorLog());
  if (!canChangeList(app, prompter)) return;
  app.documents().clear();
}

void selectAll(AppContext& app) {
  ErrorLog::Scope scope(app.errorLog());
  app.documents().setAllTicked(true);
}

void selectNone(AppContext& app) {
  ErrorLog::Scope scope(app.errorLog());
  app.documents().setAllTicked(false);
}

void invertSelection(AppContext& app) {
  ErrorLog::Scope scope(app.errorLog());
  app.documents().invertTicks();
}

int deleteTicked(AppContext& app, Prompter& prompter) {
  ErrorLog::Scope scope(app.errorLog());
  if (app.documents().tickedCount() == 0) return 0;  // nothing ticked: nothing happens
  if (!canChangeList(app, prompter)) return 0;
  return app.documents().deleteTicked();
}

int clearSame(AppContext& app, Prompter& prompter) {
  ErrorLog::Scope scope(app.errorLog());
  if (!canChangeList(app, prompter)) return 0;
  return app.documents().clearSame();
}

bool filter(AppContext& app, Prompter& prompter, const QString& mustContain, const QString& mustNotContain,
            bool caseSensitive, int* removed) {
  ErrorLog::Scope scope(app.errorLog());
  if (removed) *removed = 0;
  if (mustContain.trimmed().isEmpty() && mustNotContain.trimmed().isEmpty()) {
    prompter.inform(msg::titleError(), msg::filterEmpty());
    return false;
  }
  if (!canChangeList(app, prompter)) return false;
  const int n = app.documents().filter(mustContain, mustNotContain, caseSensitive);
  if (removed) *removed = n;
  prompter.inform(msg::titleFilter(), msg::filterDone());
  return true;
}

}  // namespace vm::listcmd
