// frmHbsetup offscreen: the mode pair and the count field, the choosers that follow their boxes,
// the page budget ticking the page break, and the save checks in their order.

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "app/mainwindow.h"
#include "app/prompter.h"
#include "dialogs/mergewindow.h"
#include "ops/merge.h"

using namespace vm;

class TestMergeWindow : public QObject {
  Q_OBJECT

 private slots:
  void controlsFollowEachOther() {
    ops::MergeSettings s;
    MergeWindow w(s);
    RecordingPrompter prompter;
    w.setPrompter(&prompter);
    QCOMPARE(w.objectName(), QStringLiteral("frmHbsetup"));
    QTest::mouseClick(w.chkFileHb[1], Qt::LeftButton);
    QVERIFY(w.txtPHb->isEnabled());
    QVERIFY(!w.chkFileHb[0]->isChecked());
    QTest::mouseClick(w.chkFileHb[0], Qt::LeftButton);
    QVERIFY(!w.txtPHb->isEnabled());
    QVERIFY(!w.chkFileHb[1]->isChecked());
    QTest::mouseClick(w.chkFileHb[0], Qt::LeftButton);  // unticking one ticks the other
    QVERIFY(w.chkFileHb[1]->isChecked());

    QVERIFY(!w.lblWdB->isEnabled());
    w.chkWdBChk->setChecked(true);
    QVERIFY(w.lblWdB->isEnabled());
    w.setFileChooser([](QWidget*) { return QStringLiteral("/x/cover.docx"); });
    QTest::mouseClick(w.lblWdB, Qt::LeftButton);
    QCOMPARE(w.txtWdB->text(), QStringLiteral("/x/cover.docx"));

    w.txtMaxPages->clear();
    QTest::keyClicks(w.txtMaxPages, "2");
    QVERIFY(w.chkWdAddNew->isChecked());
    w.txtMaxPages->selectAll();
    QTest::keyClicks(w.txtMaxPages, "0");
    QVERIFY(!w.chkWdAddNew->isChecked());
    QTest::keyClicks(w.txtMaxPages, "a");
    QCOMPARE(prompter.last().text, QStringLiteral("单个文档的最大数目必须为数字！"));
  }

  void saveChecksInOrder() {
    QTemporaryDir dir;
    const QString target = dir.filePath("all.docx");
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    ops::MergeSettings s;
    MergeWindow w(s);
    RecordingPrompter prompter;
    w.setPrompter(&prompter);
    auto refused = [&](const char* text) {
      QVERIFY(!w.save());
      QCOMPARE(prompter.last().title, QStringLiteral("出错！"));
      QCOMPARE(prompter.last().text, QString::fromUtf8(text));
    };
    refused("请选择文档合并后保存文档！");
    w.txtHbSave->setText(dir.filePath("none.docx"));
    refused("文档合并后保存文档路径不正确！");
    w.txtHbSave->setText(target);
    refused("请选择文档合并方式！");
    w.chkFileHb[1]->click();
    refused("请输入合并文档的数目！");
    w.txtPHb->setText("-1");
    refused("合并文档的数目必须不能小于0！");
    w.txtPHb->setText("0");
    refused("合并文档的数目必须大于0！");
    w.txtPHb->setText("2");
    w.txtMaxPages->setText("-1");
    refused("单个文档的最大数目必须不能小于0！");
    w.txtMaxPages->setText("3");
    w.chkWdEChk->setChecked(true);
    refused("请选择要插入新文档后的文档！");
    w.chkWdEChk->setChecked(false);
    QVERIFY(w.save());
    QCOMPARE(s.mode, 1);
    QCOMPARE(s.perText, QStringLiteral("2"));
    QCOMPARE(s.target, target);
  }
};

QTEST_MAIN(TestMergeWindow)
#include "merge_window.moc"
