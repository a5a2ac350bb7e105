// frmFgsetup offscreen: its controls by name, the choosers that follow their boxes, the budget
// checked while typed, the save checks, and its two menu items bound.

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "dialogs/splitwindow.h"
#include "mainwindowtest.h"
#include "ops/split.h"

using namespace vm;

class TestSplitWindow : public guitest::MainWindowTest {
  Q_OBJECT

 private slots:
  void settingsWindow() {
    QTemporaryDir dir;
    ops::SplitSettings s;
    SplitWindow w(s);
    RecordingPrompter prompter;
    w.setPrompter(&prompter);
    QCOMPARE(w.objectName(), QStringLiteral("frmFgsetup"));
    QCOMPARE(w.windowTitle(), QStringLiteral("文档分割设置"));
    QVERIFY(!w.lblWdB->isEnabled() && !w.lblWdE->isEnabled());
    w.chkWdEChk->setChecked(true);
    QVERIFY(w.lblWdE->isEnabled() && !w.lblWdB->isEnabled());
    w.setFileChooser([](QWidget*) { return QStringLiteral("/x/end.docx"); });
    QTest::mouseClick(w.lblWdE, Qt::LeftButton);
    QCOMPARE(w.txtWdE->text(), QStringLiteral("/x/end.docx"));
    w.setFolderChooser([&](QWidget*) { return dir.path() + "/"; });

    w.txtMaxPages->selectAll();
    QTest::keyClick(w.txtMaxPages, Qt::Key_Backspace);
    QCOMPARE(prompter.last().title, QStringLiteral("出错！"));
    QCOMPARE(prompter.last().text, QStringLiteral("请输入单个文档的最大数目！"));
    QTest::keyClicks(w.txtMaxPages, "3");
    QVERIFY(!w.save());
    QCOMPARE(prompter.last().text, QStringLiteral("请选择文档分割后保存文档！"));
    QTest::mouseClick(w.lblCF, Qt::LeftButton);
    w.txtPerPage->setText("0");
    QVERIFY(!w.save());
    QCOMPARE(prompter.last().text, QStringLiteral("保存新文档的页数必须大于0！"));
    w.txtPerPage->setText("2");
    QVERIFY(w.save());
    QCOMPARE(s.folder, dir.path() + "/");
    QCOMPARE(s.perPage, QStringLiteral("2"));
    QCOMPARE(s.maxPages, QStringLiteral("3"));
    QVERIFY(s.after && !s.before);
    QCOMPARE(s.afterPath, QStringLiteral("/x/end.docx"));
  }

  void menuItemsBound() {
    startWindow();
    QVERIFY(w().isBound(QStringLiteral("m_fgSetup")));
    QVERIFY(w().isBound(QStringLiteral("m_fg_start")));
    stopWindow();
  }
};

QTEST_MAIN(TestSplitWindow)
#include "split_window.moc"
