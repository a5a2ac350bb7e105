#pragma once
// A path box with its chooser link, as the settings windows have them: what the chooser returns
// replaces the box's text, a cancelled chooser (empty) changes nothing; a row under a check box
// has its link usable exactly while the box is ticked.

#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace vm {

class LinkLabel;

struct ChooserRow {
  QLineEdit* field = nullptr;
  LinkLabel* link = nullptr;
};

// choose is called at each click (a window's chooser may be replaced after the row is made).
ChooserRow makeChooserRow(QWidget* parent, const QString& fieldName, const QString& linkName,
                          std::function<QString()> choose, QCheckBox* enabledBy = nullptr,
                          const QString& linkText = QStringLiteral("选 择"));

// The folder dialog whose result ends with the separator: the folder is a prefix of the names.
QString chooseFolderWithSeparator(QWidget* parent);

}  // namespace vm
