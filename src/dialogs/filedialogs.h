#pragma once
// The standard file and folder dialogs, each opened in the folder the user last chose a file
// or folder in (any of these dialogs, during this run of the program), as an office user
// expects of a desktop program.

#include <QString>

class QWidget;

namespace vm {

// The folder the next dialog opens in; empty at start (the dialog's own default).
QString lastDialogFolder();
void setLastDialogFolder(const QString& folder);

// A folder, or empty when cancelled.
QString chooseFolderDialog(QWidget* parent, const QString& caption);
// A file to open (filter as QFileDialog takes it), or empty when cancelled.
QString chooseOpenFileDialog(QWidget* parent, const QString& caption = {}, const QString& filter = {});
// A file to save to, or empty when cancelled.
QString chooseSaveFileDialog(QWidget* parent, const QString& caption = {}, const QString& filter = {});

}  // namespace vm
