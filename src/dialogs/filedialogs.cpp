#include "dialogs/filedialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace vm {

namespace {

QString& folder() {
  static QString f;
  return f;
}

QString remember(const QString& chosen, bool isFolder) {
  if (!chosen.isEmpty()) setLastDialogFolder(isFolder ? chosen : QFileInfo(chosen).absolutePath());
  return chosen;
}

}  // namespace

QString lastDialogFolder() { return folder(); }

void setLastDialogFolder(const QString& f) { folder() = f; }

QString chooseFolderDialog(QWidget* parent, const QString& caption) {
  return remember(QFileDialog::getExistingDirectory(parent, caption, folder()), true);
}

QString chooseOpenFileDialog(QWidget* parent, const QString& caption, const QString& filter) {
  return remember(QFileDialog::getOpenFileName(parent, caption, folder(), filter), false);
}

QString chooseSaveFileDialog(QWidget* parent, const QString& caption, const QString& filter) {
  return remember(QFileDialog::getSaveFileName(parent, caption, folder(), filter), false);
}

}  // namespace vm
