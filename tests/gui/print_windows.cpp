// The print settings window offscreen: the margin pair, the save checks in their order, and the
// values kept.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "app/prompter.h"
#include "dialogs/printsetupwindow.h"
#include "ops/print.h"

using namespace vm;

class TestPrintWindows : public QObject {
  Q_OBJECT

 private slots:
  void marginPairIsOneChoice() {
    RecordingPrompter prompter;
    ops::PrintSettings s;
    PrintSetupWindow w(s, prompter);
    QCOMPARE(w.objectName(), QStringLiteral("frmPrintSetup"));
    QVERIFY(w.chkybj[0]->isChecked() && !w.chkybj[1]->isChecked() && !w.txtS->isEnabled());
    QVERIFY(w.optPD[1]->isChecked());
    w.chkybj[1]->click();  // 自定义 on: 保持默认 off, margins open
    QVERIFY(w.chkybj[1]->isChecked() && !w.chkybj[0]->isChecked() && w.txtY->isEnabled());
    w.chkybj[1]->click();  // and off again
    QVERIFY(!w.chkybj[1]->isChecked() && w.chkybj[0]->isChecked() && !w.txtY->isEnabled());
    w.chkybj[0]->click();  // unticking 保持默认 ticks 自定义
    QVERIFY(w.chkybj[1]->isChecked() && w.txtZ->isEnabled());
    QTest::keyClicks(w.txtS, "a");
    QCOMPARE(prompter.last().text, QStringLiteral("上边距必须为数字类型！"));
    QCOMPARE(w.txtS->text(), QStringLiteral("0a"));  // left as typed
  }

  void saveChecksInOrderAndKeepsTheValues() {
    RecordingPrompter prompter;
    ops::PrintSettings s;
    PrintSetupWindow w(s, prompter);
    const struct {
      const char* copies;
      bool custom;
      const char *top, *bottom, *left, *right;
      const char* title;
      const char* text;
    } cases[] = {
        {" ", false, "", "", "", "", "打印出错！", "打印份数不能为空！"},
        {"x", false, "", "", "", "", "打印出错！", "打印份数必须输入数字！"},
        {"0", false, "", "", "", "", "打印出错！", "打印份数必须大于0！"},
        {"2", true, "1", "", "", "", "出错！", "下边距不能为空！"},
        {"2", true, "1", "1", "a", "b", "出错！", "右边距必须为数字类型！"},  // right is tested before left
        {"2", true, "1", "1", "a", "1", "出错！", "左边距必须为数字类型！"},
    };
    for (const auto& c : cases) {
      w.txtP->setText(QString::fromUtf8(c.copies));
      w.chkybj[1]->setChecked(c.custom);
      w.chkybj[0]->setChecked(!c.custom);
      w.txtS->setText(QString::fromUtf8(c.top));
      w.txtX->setText(QString::fromUtf8(c.bottom));
      w.txtZ->setText(QString::fromUtf8(c.left));
      w.txtY->setText(QString::fromUtf8(c.right));
      QVERIFY2(!w.save(), c.text);
      QCOMPARE(prompter.last().title, QString::fromUtf8(c.title));
      QCOMPARE(prompter.last().text, QString::fromUtf8(c.text));
    }
    // 保持默认 with empty margins saves: they are not tested
    w.txtP->setText("3");
    w.chkybj[0]->setChecked(true);
    w.chkybj[1]->setChecked(false);
    w.optPD[0]->setChecked(true);
    QVERIFY(w.save());
    QCOMPARE(s.copies, QStringLiteral("3"));
    QVERIFY(s.landscape && !s.customMargins);
  }
};

QTEST_MAIN(TestPrintWindows)
#include "print_windows.moc"
