// The desktop program: the start-up sequence.
//
//   vellumark [--home DIR]
//
// 1. The data folder (--home DIR, else $VELLUMARK_HOME, else ~/.local/share/vellumark) is
//    created on first start with config.ini and log/; when it cannot be created or read:
//    "config.ini配置文档不存在，请重新安装！" (title "出错！") and the program ends.
// 2. The check window frmWordLoad is shown; the main window frmPrint is built (caption,
//    counters, status bar, settings, task kinds, m_windowFront unticked, run flags cleared).
// 3. 300 ms later the engine check runs on a worker thread (the check window keeps
//    answering); its result adapts the suffix boxes and the menus.
// 4. The check window closes and the main window is shown.

#include <QApplication>
#include <QIcon>
#include <QScreen>

#include <cstdio>
#include <functional>
#include <memory>

#include "app/appcontext.h"
#include "app/datafolder.h"
#include "app/engines.h"
#include "app/loadwindow.h"
#include "app/mainwindow.h"
#include "dialogs/messageboxprompter.h"
#include "dialogs/qttranslations.h"
#include "word/processtuning.h"
#ifdef VM_HAVE_OFFICE
#include "word/office/office.h"
#endif

int main(int argc, char** argv) {
  vm::word::tuneForBatches();
  QString homeError;
  const QString home = vm::takeHomeOption(argc, argv, &homeError);
  if (!homeError.isEmpty()) {
    std::fprintf(stderr, "%s\nusage: vellumark [--home DIR]\n", homeError.toLocal8Bit().constData());
    return 2;
  }

  vm::preferChineseSystemFormats();
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vellumark"));
  QApplication::setOrganizationName(QStringLiteral("Vellumark"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/vellumark.png")));
  QGuiApplication::setDesktopFileName(QStringLiteral("vellumark"));  // the installed .desktop entry

  // Before the first window, so that even the data folder's refusal speaks Chinese.
  QString translationProblem;
  vm::installQtTranslations(&translationProblem);

  vm::MessageBoxPrompter prompter;
  std::unique_ptr<vm::AppContext> app = vm::AppContext::create(home, prompter);
  if (!app) return 1;  // the refusal has been shown
  // Missing translations leave the standard dialogs in English: worth a line in the log.
  if (!translationProblem.isEmpty()) app->errorLog().writeEntry(translationProblem, QStringLiteral("启动"));

  // Settings, rule lists and the window's place come back from the last start.
  const QString keptProblem = app->keepSettings();
  if (!keptProblem.isEmpty()) app->errorLog().writeEntry(keptProblem, QStringLiteral("启动"));

  vm::LoadWindow load;
  load.show();

  vm::MainWindow window(*app, prompter);
  prompter.setParent(&window);
  prompter.setBeforeQuestion([&window] { window.leaveFront(); });
  bool placed = false;
  app->keepAlso(QStringLiteral("window"), [&window, &placed](vm::SettingsFields& f) {
    QString geometry = QString::fromLatin1(window.saveGeometry().toBase64());
    const QString now = geometry;
    f("geometry", geometry);
    if (geometry != now) placed = window.restoreGeometry(QByteArray::fromBase64(geometry.toLatin1()));
  });

  auto status = std::make_shared<vm::EngineStatus>();
  auto staleCloser = std::make_shared<std::function<void()>>();
  QObject::connect(&load, &vm::LoadWindow::finished, &window, [&, status, staleCloser] {
    if (*staleCloser) app->runFrame().setStaleOfficeCloser(*staleCloser);
    app->setEngines(*status);
    window.applyEngines();
    load.close();
    if (QScreen* screen = QGuiApplication::primaryScreen(); screen && !placed)
      window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    if (!keptProblem.isEmpty()) prompter.inform(QStringLiteral("设置"), keptProblem);
  });
  const std::string root = app->dataFolder().root().toStdString();
  load.start([status, staleCloser, root] {
#ifdef VM_HAVE_OFFICE
    // Ends offices a previous run left behind and installs the back end for .doc and layout.
    *staleCloser = vm::word::office::installForProgram(root);
#else
    (void)root;
#endif
    *status = vm::checkEngines();
  });

  const int rc = qapp.exec();
  QString keptError;
  if (!app->saveKeptSettings(&keptError)) app->errorLog().writeEntry(keptError, QStringLiteral("退出"));
  return rc;
}
