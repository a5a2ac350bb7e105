#pragma once
// A window part binds the main window's commands of one feature that are not operation starts:
// its settings windows and rule lists. Declared once in the window's own source file; the build
// collects every VM_WINDOW_PART into installWindowParts(), which the main window calls.
//
//   VM_WINDOW_PART(cleanupSettings) {
//     auto* dialog = new CleanupDialog(window.app().store<CleanupSettings>(), &window);
//     window.bindWindowCommand("m_wdqlSetup", [dialog] { dialog->exec(); });
//   }

namespace vm {
class MainWindow;
void installWindowParts(MainWindow& window);
}  // namespace vm

#define VM_WINDOW_PART(name)                        \
  namespace vm::windowparts {                       \
  void name(::vm::MainWindow& window);              \
  }                                                 \
  void vm::windowparts::name(::vm::MainWindow& window)
