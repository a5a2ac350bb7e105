#include "dialogs/previewdialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

#include "app/documentlist.h"

namespace vm {

bool confirmPreview(QWidget* parent, const DocumentList& documents, const QString& title,
                    const DocumentRoutine& preview) {
  const QStringList paths = documents.tickedPaths();
  QProgressDialog progress(QStringLiteral("正在生成预览，请稍后..."), QStringLiteral("取消"), 0,
                           static_cast<int>(paths.size()), parent);
  progress.setWindowTitle(title);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  QStringList lines;
  for (qsizetype i = 0; i < paths.size(); ++i) {
    progress.setValue(static_cast<int>(i));
    QApplication::processEvents();
    if (progress.wasCanceled()) return false;
    const QString& path = paths[i];
    if (!QFileInfo::exists(path)) continue;  // passed over by the run too
    try {
      lines << QStringLiteral("%1 → %2").arg(path, preview(path));
    } catch (const std::exception& e) {
      lines << QStringLiteral("%1 → 失败：%2").arg(path, QString::fromUtf8(e.what()));
    } catch (...) {
      lines << QStringLiteral("%1 → 失败：未知错误").arg(path);
    }
  }
  progress.setValue(static_cast<int>(paths.size()));

  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("frmPreview"));
  dialog.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("请核对下面的结果，点确定开始操作，点取消不做任何改动。"), &dialog));
  auto* list = new QListWidget(&dialog);
  list->setObjectName(QStringLiteral("lstPreview"));
  list->addItems(lines);
  layout->addWidget(list, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);  // Enter
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(760, 420);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace vm
