#include "dialogs/chooserrow.h"

#include <QCheckBox>
#include <QLineEdit>

#include "app/mainwindow.h"
#include "app/messages.h"
#include "dialogs/filedialogs.h"

namespace vm {

ChooserRow makeChooserRow(QWidget* parent, const QString& fieldName, const QString& linkName,
                          std::function<QString()> choose, QCheckBox* enabledBy, const QString& linkText) {
  ChooserRow row;
  row.field = new QLineEdit(parent);
  row.field->setObjectName(fieldName);
  row.link = new LinkLabel(linkText, parent);
  row.link->setObjectName(linkName);
  QObject::connect(row.link, &LinkLabel::clicked, row.field, [field = row.field, choose = std::move(choose)] {
    const QString path = choose();
    if (!path.isEmpty()) field->setText(path);
  });
  if (enabledBy) {
    row.link->setEnabled(enabledBy->isChecked());
    QObject::connect(enabledBy, &QCheckBox::toggled, row.link, &QWidget::setEnabled);
  }
  return row;
}

QString chooseFolderWithSeparator(QWidget* parent) {
  QString dir = chooseFolderDialog(parent, msg::browseTitle());
  if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir;
}

}  // namespace vm
