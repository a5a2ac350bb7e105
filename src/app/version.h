#pragma once
#include <QString>

namespace vm {
// The main window caption: product name, " V", major.minor.revision.
inline QString productCaption() {
  return QStringLiteral("Vellumark V%1.%2.%3").arg(VM_VERSION_MAJOR).arg(VM_VERSION_MINOR).arg(VM_VERSION_PATCH);
}
}  // namespace vm
