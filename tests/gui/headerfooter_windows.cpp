// The header and footer, watermark and clean-up settings windows, offscreen: the type pairs,
// the size fields' messages on every change, "保存设置" and the settings the runs read.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/mainwindow.h"
#include "app/prompter.h"
#include "dialogs/cleanupwindow.h"
#include "dialogs/headerfooterwindow.h"
#include "dialogs/watermarkwindow.h"
#include "ops/cleanup.h"
#include "ops/headerfooter.h"
#include "ops/watermark.h"

using namespace vm;

namespace {
void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, w->height() / 2)); }
}  // namespace

class TestHeaderFooterWindows : public QObject {
  Q_OBJECT
 private slots:
  void headerTypePairSwitchesTheField() {
    ops::HeaderFooterSettings s;
    HeaderFooterWindow w(s);
    w.setPictureChooser([](QWidget*) { return QStringLiteral("/pics/logo.jpg"); });
    QCOMPARE(w.txtYm->maxLength(), 30);
    w.txtYm->setText(QStringLiteral("页眉"));
    QCOMPARE(s.header, QStringLiteral("页眉"));
    click(w.types[0][0]);  // unticking the ticked text box ticks the picture box
    QVERIFY(w.types[0][1]->isChecked() && !w.types[0][0]->isChecked());
    QVERIFY(!w.txtYm->isEnabled() && w.lblImg[0]->isEnabled());
    QCOMPARE(w.txtYm->text(), QString());
    QCOMPARE(w.txtYm->maxLength(), 200);
    click(w.lblImg[0]);
    QCOMPARE(s.header, QStringLiteral("[img]/pics/logo.jpg[/img]"));
    click(w.types[0][0]);  // back to text
    QVERIFY(w.txtYm->isEnabled() && !w.types[0][1]->isChecked());
    QCOMPARE(w.txtYm->maxLength(), 50);
    QCOMPARE(s.header, QString());
    QVERIFY(w.txtYj->isEnabled());  // the footer's pair is its own
  }

  void watermarkSizeFieldsAndSave() {
    ops::WatermarkSettings s;
    WatermarkWindow w(s);
    RecordingPrompter p;
    w.setPrompter(&p);
    w.setColourChooser([](QWidget*) { return std::optional<unsigned>(255); });
    QTest::keyClicks(w.txtSyg, QStringLiteral("1a"));  // digits then a letter
    QCOMPARE(p.entries.size(), size_t(2));
    QCOMPARE(p.entries[0].text, QStringLiteral("水印高度必须为数字！"));
    QCOMPARE(p.entries[1].text, QStringLiteral("请输入水印高度！"));  // the clearing is a change too
    QCOMPARE(w.txtSyg->text(), QString());
    p.entries.clear();
    w.txtF->setText(QStringLiteral("机密"));
    click(w.cmdSaveSy);
    QCOMPARE(p.entries.back().text, QStringLiteral("水印透明度必须大于0！"));
    w.slid_sytmd->setValue(3);
    QCOMPARE(w.lbl_sytmd->text(), QStringLiteral("30.00%"));
    w.txtSyg->setText(QStringLiteral("20"));
    w.txtSyk->setText(QStringLiteral("50"));
    click(w.cmdSaveSy);
    QCOMPARE(p.entries.back().text, QStringLiteral("请选择水印颜色！"));
    click(w.lblImgColor);
    QCOMPARE(w.txtSyColor->text(), QStringLiteral("255"));
    const auto before = p.entries.size();
    w.show();
    click(w.cmdSaveSy);
    QCOMPARE(p.entries.size(), before);
    QVERIFY(!w.isVisible());
    QCOMPARE(s.transparency, 3);
    click(w.chkSylx[1]);  // picture: no colour, no transparency
    QVERIFY(!w.slid_sytmd->isEnabled() && !w.lblImgColor->isEnabled() && !w.txtF->isEnabled());
    QCOMPARE(s.type, 1);
  }

  void cleanupSaveNeedsAnOption() {
    ops::CleanupSettings s;
    CleanupWindow w(s);
    RecordingPrompter p;
    w.setPrompter(&p);
    QCOMPARE(w.chkDelOpt[0]->text(), QStringLiteral("清理掉多余的空白段路"));
    w.show();
    click(w.cmdSaveWdqj);
    QCOMPARE(p.entries.size(), size_t(1));
    QCOMPARE(p.entries[0].title, QStringLiteral("出错！"));
    QCOMPARE(p.entries[0].text, QStringLiteral("请选择你要清理文档的一项！"));
    QVERIFY(w.isVisible());
    w.chkDelOpt[0]->setChecked(true);
    QVERIFY(s.options[ops::CleanupSettings::BlankParagraphs]);
    click(w.cmdSaveWdqj);
    QVERIFY(!w.isVisible());
  }
};

QTEST_MAIN(TestHeaderFooterWindows)
#include "headerfooter_windows.moc"
