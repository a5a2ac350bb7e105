#pragma once
// The main window on a fresh data folder and document folder, for window tests: derived test
// classes call startWindow() in init() and stopWindow() in cleanup().

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/appcontext.h"
#include "app/engines.h"
#include "app/mainwindow.h"
#include "app/prompter.h"

namespace vm::guitest {

class MainWindowTest : public QObject {
 protected:
  std::unique_ptr<QTemporaryDir> home_;
  std::unique_ptr<QTemporaryDir> docs_;
  std::unique_ptr<vm::RecordingPrompter> prompter_;
  std::unique_ptr<vm::AppContext> app_;
  std::unique_ptr<vm::MainWindow> w_;

  vm::MainWindow& w() { return *w_; }

  // Shown, with every engine available; QtTest failures on the way.
  void startWindow() {
    home_ = std::make_unique<QTemporaryDir>();
    docs_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid() && docs_->isValid());
    prompter_ = std::make_unique<vm::RecordingPrompter>();
    app_ = vm::AppContext::create(home_->path(), *prompter_);
    QVERIFY(app_);
    w_ = std::make_unique<vm::MainWindow>(*app_, *prompter_);
    w_->applyEngineCheck(true);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
  }

  // Stops a run still going, then drops everything in the order it depends on.
  void stopWindow() {
    if (app_ && app_->runFrame().isBusy()) {
      app_->runFrame().stop();
      app_->runFrame().waitUntilSettled(10000);
    }
    w_.reset();
    app_.reset();
    prompter_.reset();
    docs_.reset();
    home_.reset();
  }
};

}  // namespace vm::guitest
