// Tasks in the window, offscreen: 保存为任务 and cmdSaveTask with their refusals, frmTask's two
// lists (double-click, lvw_select, deleting stored tasks leaves the batch alone) and the batch
// runner (only ticked items run, lblLoadN names the item).

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "dialogs/taskwindow.h"
#include "gui/mainwindowtest.h"
#include "gui/modaltestutil.h"
#include "support/docxbuilder.h"
#include "support/tempdir.h"
#include "tasks/taskstore.h"

using vm::TaskWindow;

class TestTaskWindows : public vm::guitest::MainWindowTest {
  Q_OBJECT

 private:
  TaskWindow* tasks() { return w().findChild<TaskWindow*>(QStringLiteral("frmTask")); }
  QString doc(const QString& name, const std::string& text) {
    vm::test::DocxBuilder().body(vm::test::p(vm::test::r(text))).write(docs_->filePath(name).toStdString());
    return docs_->filePath(name);
  }
  QString lastText() { return prompter_->entries.isEmpty() ? QString() : prompter_->last().text; }
  // Saves a replace task of one document through the menu item.
  void saveReplace(const QString& name, const QString& path, const QString& find, const QString& replacement) {
    app_->documents().clear();
    app_->documents().append(QStringList{path});
    app_->replaceRules().setRules({{find, replacement, true}});
    w().txtTaskF->setText(name);
    w().menuItem(QStringLiteral("m_rep_task"))->trigger();
  }

 private slots:
  void init() {
    startWindow();
    if (QTest::currentTestFailed()) return;
    w().setSummaryViewer([](const vm::RunSummary&) {});
    QVERIFY(tasks());
  }
  void cleanup() { stopWindow(); }

  void saveChecksInOrder() {
    w().txtTaskF->setText(QString());
    w().runCommand(QStringLiteral("cmdSaveTask"));
    QCOMPARE(prompter_->last().title, QStringLiteral("保存任务出错！"));
    QCOMPARE(lastText(), QStringLiteral("请输入任务名称！"));
    w().txtTaskF->setText(QStringLiteral("  "));
    w().runCommand(QStringLiteral("cmdSaveTask"));
    QCOMPARE(lastText(), QStringLiteral("请选择任务类型！"));
    // Through the box to the replace task's checks: the blank name is refused there.
    w().combTaskKind->setCurrentIndex(0);
    w().runCommand(QStringLiteral("cmdSaveTask"));
    QCOMPARE(prompter_->last().title, QStringLiteral("出错了！"));
    QCOMPARE(lastText(), QStringLiteral("请输入任务名称！"));
    w().txtTaskF->setText(QStringLiteral("n"));
    app_->replaceRules().setRules({{QStringLiteral("a"), QStringLiteral("b"), true}});
    w().runCommand(QStringLiteral("cmdSaveTask"));
    QCOMPARE(lastText(), QStringLiteral("请先添加文档，并勾选你要操作的文档！"));
    QVERIFY(vm::tasks::TaskStore(app_->dataFolder().database()).list().isEmpty());
  }

  void batchRunsOnlyTickedItemsAndDeletingKeepsTheBatch() {
    const QString a = doc(QStringLiteral("a.docx"), "alpha"), b = doc(QStringLiteral("b.docx"), "beta");
    saveReplace(QStringLiteral("first"), a, QStringLiteral("alpha"), QStringLiteral("A"));
    QCOMPARE(lastText(), QStringLiteral("任务保存成功！"));
    saveReplace(QStringLiteral("second"), b, QStringLiteral("beta"), QStringLiteral("B"));
    app_->documents().clear();

    bool shown = false;  // an empty batch: refused, and frmTask opens
    vm::guitest::whileModal(tasks(), [&] { w().runCommand(QStringLiteral("m_task_start")); }, [] {}, &shown);
    QVERIFY(shown);
    QCOMPARE(lastText(), QStringLiteral("请先添加批量任务！"));

    TaskWindow* t = tasks();
    t->reload();
    QCOMPARE(t->lvw_t->topLevelItemCount(), 2);
    QCOMPARE(t->lvw_t->topLevelItem(0)->text(0), QStringLiteral("second"));  // newest first
    QCOMPARE(t->lvw_t->topLevelItem(0)->text(1), QStringLiteral("replace"));
    for (int row : {1, 0, 1}) {
      t->lvw_t->setCurrentItem(t->lvw_t->topLevelItem(row));
      t->addCurrentToBatch();
    }
    QCOMPARE(t->lvw_n->topLevelItemCount(), 3);
    t->select(2);  // invert: all ticked
    t->lvw_n->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    t->lvw_n->topLevelItem(2)->setCheckState(0, Qt::Unchecked);

    // Deleting the stored "first" asks, and leaves the batch as it is.
    t->select(6);
    t->lvw_t->topLevelItem(1)->setCheckState(0, Qt::Checked);
    prompter_->answer = true;
    t->select(4);
    QCOMPARE(prompter_->last().text, QStringLiteral("你确认删除该任务吗？\n\n你可以点确认按钮开始操作,也可以点取消按钮取消操作！"));
    QCOMPARE(t->lvw_t->topLevelItemCount(), 1);
    QCOMPARE(t->lvw_n->topLevelItemCount(), 3);

    QString label;
    app_->runFrame().setEntryHook([&](int) {});
    QObject::connect(&app_->runFrame(), &vm::RunFrame::runFinished, &w(), [&] { label = w().lblLoadN->text(); });
    w().runCommand(QStringLiteral("m_task_start"));
    QTRY_VERIFY_WITH_TIMEOUT(!label.isEmpty(), 10000);
    QCOMPARE(label, QStringLiteral("当前正在处理第2项任务..."));
    QVERIFY(app_->runFrame().waitUntilSettled(10000));
    QCOMPARE(vm::test::partText(vm::test::readPart(a.toStdString(), "word/document.xml")), std::string("alpha"));
    QCOMPARE(vm::test::partText(vm::test::readPart(b.toStdString(), "word/document.xml")), std::string("B"));
    QCOMPARE(app_->documents().paths(), QStringList{b});  // the task's documents stay in the list

    t->select(3);  // the ticked batch item goes; the others stay
    QCOMPARE(t->lvw_n->topLevelItemCount(), 2);
  }

  void compactionSaysSo() {
    tasks()->compact();
    QCOMPARE(prompter_->last().title, QStringLiteral("数据库操作"));
    QCOMPARE(lastText(), QStringLiteral("数据库压缩成功！"));
  }
};

QTEST_MAIN(TestTaskWindows)
#include "task_windows.moc"
