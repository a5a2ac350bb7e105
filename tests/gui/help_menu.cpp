// The Help menu offscreen: the about box names the version and the components; the update
// command without its updater says so.
#include <QAction>
#include <QTest>

#include "app/version.h"
#include "mainwindowtest.h"

class TestHelpMenu : public vm::guitest::MainWindowTest {
  Q_OBJECT
 private slots:
  void init() { startWindow(); }
  void cleanup() { stopWindow(); }

  void aboutAndUpdate() {
    w().menuItem(QStringLiteral("m_about"))->trigger();
    QCOMPARE(prompter_->entries.size(), 1);
    QCOMPARE(prompter_->entries[0].title, QStringLiteral("关于作者"));
    QVERIFY(prompter_->entries[0].text.startsWith(vm::productCaption()));
    QVERIFY(prompter_->entries[0].text.contains(QStringLiteral("LibreOffice（MPL 2.0）")));
    w().menuItem(QStringLiteral("m_updateOnl"))->trigger();  // no updater beside the test program
    QCOMPARE(prompter_->entries.size(), 2);
    QCOMPARE(prompter_->entries[1].text, QStringLiteral("在线更新程序不存在，请重新安装！"));
  }
};

QTEST_MAIN(TestHelpMenu)
#include "help_menu.moc"
