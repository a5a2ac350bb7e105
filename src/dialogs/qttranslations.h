#pragma once
// Qt's own texts (the standard file, folder and colour dialogs, the buttons of message boxes,
// the context menus of text fields) in Simplified Chinese, whatever the system's language.

#include <QString>

namespace vm {

// Sets the default locale to Chinese (China) and installs Qt's zh_CN translations on the
// application. Returns false, with the reason in *detail (for the log), when they are missing.
bool installQtTranslations(QString* detail = nullptr);

}  // namespace vm
