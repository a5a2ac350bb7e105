#include "app/listcommands.h"

#include <QFileInfo>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/prompter.h"

namespace vm::listcmd {

bool canChangeList(AppContext& app, Prompter& prompter) { return !app.runFrame().refuseIfBusy(prompter); }

int chooseFile(AppContext& app, Prompter& prompter, const QString& file, const QString& suffixList) {
  ErrorLog::Scope scope(app.errorLog());
  if (file.trimmed().isEmpty() || !QFileInfo::exists(file)) return 0;
  if (!canChangeList(app, prompter)) return 0;
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
  if (recursive) return app.documents().showAllFile(path, suffixList);
  return app.documents().addFiles(path, suffixList, true);
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
