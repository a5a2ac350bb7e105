#pragma once
// Qt's own texts (the standard file, folder and colour dialogs, the buttons of message boxes,
// the context menus of text fields) in Simplified Chinese, whatever the system's language.

#include <QString>

namespace vm {

// Sets the default locale to Chinese (China) and installs Qt's zh_CN translations on the
// application. Returns false, with the reason in *detail (for the log), when they are missing.
bool installQtTranslations(QString* detail = nullptr);

// Before QApplication: dates and sizes that Qt formats by the system's locale (the file
// dialog's columns: "7 Dec", "0 bytes" under an English one) follow Chinese (China) instead,
// unless the user's own locale is Chinese already. Messages and character set are left alone.
void preferChineseSystemFormats();

}  // namespace vm
