#pragma once
// Driving modal dialogs in offscreen window tests.

#include <QCoreApplication>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

namespace vm::guitest {

// Runs body while dialog is shown modally by trigger, then closes the dialog if body left it
// open. *shown tells whether trigger showed it at all. Returns after the check ran, so that
// no check is left over for a later dialog.
inline void whileModal(QDialog* dialog, const std::function<void()>& trigger, const std::function<void()>& body,
                       bool* shown = nullptr) {
  auto fired = std::make_shared<bool>(false);
  QTimer::singleShot(0, dialog, [dialog, body, shown, fired] {
    *fired = true;
    if (shown) *shown = dialog->isVisible();
    if (dialog->isVisible()) body();
    if (dialog->isVisible()) dialog->reject();
  });
  trigger();
  while (!*fired) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace vm::guitest
