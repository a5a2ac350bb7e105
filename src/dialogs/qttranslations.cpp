#include "dialogs/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vm {

bool installQtTranslations(QString* detail) {
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // Owned by the application: translations stay for the program's life.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
    delete translator;
    if (detail) *detail = QStringLiteral("Qt 的中文翻译 qtbase_zh_CN.qm 不在 %1（Debian 软件包 qt6-translations-l10n）").arg(folder);
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace vm
