#include "dialogs/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vm {

void preferChineseSystemFormats() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const QByteArray v = qgetenv(var);
    if (v.isEmpty()) continue;
    if (v.startsWith("zh")) return;
    break;
  }
  // LC_ALL would override the two below: it becomes LANG, which still gives the rest.
  if (const QByteArray all = qgetenv("LC_ALL"); !all.isEmpty()) {
    qputenv("LANG", all);
    qunsetenv("LC_ALL");
  }
  qputenv("LC_TIME", "zh_CN.UTF-8");
  qputenv("LC_NUMERIC", "zh_CN.UTF-8");
}

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
