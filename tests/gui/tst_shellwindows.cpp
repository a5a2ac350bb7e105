// The check window frmWordLoad and the message box Prompter, offscreen.

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>

#include "app/loadwindow.h"
#include "dialogs/messageboxprompter.h"
#include "dialogs/qttranslations.h"

namespace {

// Runs check(box) on the next message box that opens, then presses the button named.
void onNextBox(std::function<void(QMessageBox*)> check, QMessageBox::StandardButton press) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, check, press] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer->stop();
    timer->deleteLater();
    check(box);
    box->button(press)->click();
  });
  timer->start();
}

}  // namespace

class TestShellWindows : public QObject {
  Q_OBJECT
 private slots:
  void loadWindowCaptions() {
    vm::LoadWindow load;
    QCOMPARE(load.objectName(), QStringLiteral("frmWordLoad"));
    QCOMPARE(load.windowTitle(), QStringLiteral("检测系统安装环境"));
    QCOMPARE(load.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("请稍后......"));
    auto* lblLoad = load.findChild<QLabel*>(QStringLiteral("lblLoad"));
    QVERIFY(lblLoad);
    QVERIFY(load.findChild<QTimer*>(QStringLiteral("Timer1")));
    QCOMPARE(load.Timer1->interval(), 300);
    QVERIFY(load.Timer1->isSingleShot());
    QVERIFY(!load.Timer1->isActive());  // disabled until the load handler
    load.show();
    load.start([] {});
    QCOMPARE(lblLoad->text(), QStringLiteral("正在检测系统安装环境..."));
    QVERIFY(load.Timer1->isActive());
    QSignalSpy done(&load, &vm::LoadWindow::finished);
    QVERIFY(done.wait(5000));
  }

  void checkRunsOffTheGuiThread() {
    vm::LoadWindow load;
    load.show();
    std::atomic<bool> release{false};
    std::atomic<bool> onGuiThread{true};
    QThread* gui = QThread::currentThread();
    load.start([&] {
      onGuiThread = QThread::currentThread() == gui;
      QElapsedTimer t;
      t.start();
      while (!release && t.elapsed() < 10000) QThread::msleep(5);
    });
    QSignalSpy done(&load, &vm::LoadWindow::finished);
    // While the check blocks, the GUI thread keeps handling events: a timer fires.
    bool ticked = false;
    QTimer::singleShot(500, [&] { ticked = true; });
    QTRY_VERIFY_WITH_TIMEOUT(ticked, 3000);
    QVERIFY(load.isChecking());
    QCOMPARE(done.count(), 0);
    release = true;
    QVERIFY(done.count() == 1 || done.wait(5000));
    QVERIFY(!onGuiThread);
    QVERIFY(!load.isChecking());
  }

  void checkThatThrowsStillFinishes() {
    vm::LoadWindow load;
    load.start([] { throw std::runtime_error("no office"); });
    QSignalSpy done(&load, &vm::LoadWindow::finished);
    QVERIFY(done.wait(5000));
  }

  void informAndWarnAreOkOnly() {
    vm::MessageBoxPrompter p;
    QList<QMessageBox::Icon> icons;
    auto check = [&icons](QMessageBox* box) {
      icons << box->icon();
      QCOMPARE(box->windowTitle(), QStringLiteral("出错了！"));
      QCOMPARE(box->text(), QStringLiteral("请先选择文档后缀名！"));
      QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
      QCOMPARE(box->escapeButton(), box->button(QMessageBox::Ok));
    };
    onNextBox(check, QMessageBox::Ok);
    p.inform(QStringLiteral("出错了！"), QStringLiteral("请先选择文档后缀名！"));
    onNextBox(check, QMessageBox::Ok);
    p.warn(QStringLiteral("出错了！"), QStringLiteral("请先选择文档后缀名！"));
    QCOMPARE(icons, (QList<QMessageBox::Icon>{QMessageBox::Information, QMessageBox::Warning}));
  }

  // Qt's own texts in Chinese, also under an English system locale.
  void qtTranslationsAreChinese() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QString detail;
    QVERIFY2(vm::installQtTranslations(&detail), qPrintable(detail));
    QCOMPARE(QLocale().language(), QLocale::Chinese);
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
  }

  void askHasOkCancelAndTheQuestionIcon() {
    vm::MessageBoxPrompter p;
    int before = 0;
    p.setBeforeQuestion([&before] { ++before; });
    const QString text = QStringLiteral("你确认开始按照规则替换文档了吗？\n\n点击确定开始，点击取消则取消。");
    auto check = [&text](QMessageBox* box) {
      QCOMPARE(box->windowTitle(), QStringLiteral("替换"));
      QCOMPARE(box->text(), text);
      QCOMPARE(box->icon(), QMessageBox::Question);
      QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
      QCOMPARE(box->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
      QCOMPARE(box->button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    };
    onNextBox(check, QMessageBox::Ok);
    QVERIFY(p.ask(QStringLiteral("替换"), text));
    onNextBox(check, QMessageBox::Cancel);
    QVERIFY(!p.ask(QStringLiteral("替换"), text));
    QCOMPARE(before, 2);  // the main window leaves the topmost band before each question
  }
};

QTEST_MAIN(TestShellWindows)
#include "tst_shellwindows.moc"
