#include "ops/outputnames.h"

#include <QFileInfo>

namespace vm::ops {

QString outputFolder(const QString& folderText) {
  QString f = folderText.trimmed();
  if (!f.isEmpty() && !f.endsWith(QLatin1Char('/'))) f += QLatin1Char('/');
  return f;
}

QString withExtension(const QString& fileName, const QString& newExtension) {
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  return (dot < 0 ? fileName : fileName.left(dot)) + QLatin1Char('.') + newExtension;
}

QString freeTarget(const QString& folder, const QString& name) {
  // A dangling symbolic link counts as taken too: writing through it would land elsewhere.
  auto taken = [](const QString& p) { return QFileInfo::exists(p) || QFileInfo(p).isSymLink(); };
  QString target = folder + name;
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot < 0 ? name : name.left(dot), ext = dot < 0 ? QString() : name.mid(dot);
  for (int k = 2; taken(target); ++k) target = folder + stem + QString::number(k) + ext;
  return target;
}

}  // namespace vm::ops
