// Replace by rules through the main window, offscreen: add a folder of documents, add a rule
// in the rule window's add dialog, start "开始替换", confirm, and check the files and the
// summary. Also: the start command without rules opens the rule window.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

#include "app/appcontext.h"
#include "app/engines.h"
#include "app/mainwindow.h"
#include "app/prompter.h"
#include "gui/mainwindowtest.h"
#include "gui/modaltestutil.h"
#include "rules/addruledialog.h"
#include "rules/replacerules.h"
#include "rules/replacesetupwindow.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"

using vm::MainWindow;
using vm::rules::ReplaceSetupWindow;

using vm::guitest::whileModal;

namespace {

std::string bodyText(const QString& path) {
  return vm::test::partText(vm::test::readPart(path.toStdString(), "word/document.xml"));
}

}  // namespace

class TestReplaceEndToEnd : public vm::guitest::MainWindowTest {
  Q_OBJECT

 private:
  QList<vm::RunSummary> summaries_;

  QString doc(const QString& name) { return docs_->filePath(name); }
  ReplaceSetupWindow* setup() { return w().findChild<ReplaceSetupWindow*>(QStringLiteral("frmReplaceSetup")); }

 private slots:
  void init() {
    startWindow();
    if (QTest::currentTestFailed()) return;
    summaries_.clear();
    w_->setSummaryViewer([this](const vm::RunSummary& s) { summaries_ << s; });
    QVERIFY(setup());
    setup()->setPrompter(prompter_.get());
  }

  void cleanup() { stopWindow(); }

  void addRuleStartConfirmAndCheckTheFiles() {
    using namespace vm::test;
    DocxBuilder().body(p(r("Hello world")) + p(r("WORLD peace"))).write(doc("a.docx").toStdString());
    DocxBuilder().body(p(r("nothing here"))).write(doc("b.docx").toStdString());
    const std::string untouched = readFile(doc("b.docx").toStdString());

    // Fill the list through the File menu.
    w().setFolderChooser([this] { return docs_->path() + QLatin1Char('/'); });
    QSignalSpy scanned(&w(), &MainWindow::scanFinished);
    w().menuItem(QStringLiteral("m_choosefolder"))->trigger();
    if (w().isScanning()) QVERIFY(scanned.wait(10000));
    QCOMPARE(app_->documents().tickedCount(), 2);

    // Open the rule window (keep-in-front is switched off first) and add a rule in the dialog.
    w().menuItem(QStringLiteral("m_windowFront"))->trigger();
    QVERIFY(w().isFront());
    bool shown = false;
    bool frontWhileShown = true;
    whileModal(setup(), [this] { w().menuItem(QStringLiteral("m_replaceSetup"))->trigger(); }, [&] {
      frontWhileShown = w().isFront();
      auto* add = setup()->addDialog();
      whileModal(add, [this] { setup()->m_add->trigger(); }, [add] {
        add->findChild<QLineEdit*>(QStringLiteral("txtF"))->setText(QStringLiteral("world"));
        add->findChild<QLineEdit*>(QStringLiteral("txtT"))->setText(QStringLiteral("地球"));
        QTest::mouseClick(add->findChild<QPushButton*>(QStringLiteral("cmdAdd")), Qt::LeftButton);
      });
      QTest::mouseClick(setup()->findChild<QPushButton*>(QStringLiteral("cmdSave")), Qt::LeftButton);
    }, &shown);
    QVERIFY(shown);
    QVERIFY(!frontWhileShown);
    QVERIFY(!setup()->isVisible());
    QCOMPARE(app_->replaceRules().count(), 1);
    QVERIFY(prompter_->empty());

    // Start, confirm, wait for the run.
    w().menuItem(QStringLiteral("m_startDocRep"))->trigger();
    QCOMPARE(prompter_->entries.size(), 1);
    QVERIFY(prompter_->last().question);
    QCOMPARE(prompter_->last().title, QStringLiteral("文档替换"));
    QVERIFY(app_->runFrame().waitUntilSettled(60000));
    QTRY_COMPARE(summaries_.size(), 1);
    QVERIFY(!w().isLocked());

    QCOMPARE(bodyText(doc("a.docx")), std::string("Hello 地球\n地球 peace"));
    QCOMPARE(readFile(doc("b.docx").toStdString()), untouched);
    const vm::RunSummary& s = summaries_.front();
    QCOMPARE(s.operationId, QStringLiteral("docR"));
    QCOMPARE(s.failures(), 0);
    QVERIFY(s.text().contains(doc("a.docx") + QStringLiteral("：替换 2 处")));
    QVERIFY(s.text().contains(doc("b.docx") + QStringLiteral("：替换 0 处")));
  }

  void startWithoutRulesOpensTheRuleWindow() {
    bool shown = false;
    whileModal(setup(), [this] { w().menuItem(QStringLiteral("m_startDocRep"))->trigger(); },
               [this] { setup()->close(); }, &shown);
    QVERIFY(shown);
    QCOMPARE(prompter_->entries.size(), 1);
    QCOMPARE(prompter_->last().title, QStringLiteral("出错了！"));
    QCOMPARE(prompter_->last().text, QStringLiteral("请先配置替换规则！"));
    QCOMPARE(app_->runFrame().state(), vm::RunFrame::State::Idle);
  }
};

QTEST_MAIN(TestReplaceEndToEnd)
#include "replace_endtoend.moc"
