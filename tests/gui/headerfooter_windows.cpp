// The header and footer, watermark and clean-up settings windows, offscreen: the type pairs,
// the size fields' messages on every change, "保存设置" and the settings the runs read; the
// header and footer rule editors where they differ from the content rule editors.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "app/mainwindow.h"
#include "app/prompter.h"
#include "dialogs/cleanupwindow.h"
#include "dialogs/headerfooterwindow.h"
#include "dialogs/watermarkwindow.h"
#include "ops/cleanup.h"
#include "ops/headerfooter.h"
#include "ops/watermark.h"
#include "gui/mainwindowtest.h"
#include "rules/addruledialog.h"
#include "rules/modifyruledialog.h"
#include "rules/replacerules.h"
#include "rules/replacesetupwindow.h"

using namespace vm;

namespace {
void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, w->height() / 2)); }
}  // namespace

class TestHeaderFooterWindows : public guitest::MainWindowTest {
  Q_OBJECT
 private slots:
  // The main window's rule list for headers and footers, against the content rules' editors.
  void headerFooterRuleEditorsDiffer() {
    startWindow();
    auto* list = w().findChild<rules::ReplaceSetupWindow*>(QStringLiteral("frmWordYmYjReplaceSetup"));
    auto* content = w().findChild<rules::ReplaceSetupWindow*>(QStringLiteral("frmReplaceSetup"));
    QVERIFY(list && content);
    rules::AddRuleDialog* add = list->addDialog();
    rules::ModifyRuleDialog* modify = list->modifyDialog();
    RecordingPrompter said;
    add->setPrompter(&said);
    // 30 characters as typed on both sides; a picture reference up to 200.
    QCOMPARE(add->txtF->maxLength(), 30);
    QCOMPARE(add->txtT->maxLength(), 30);
    QCOMPARE(content->addDialog()->txtT->maxLength(), 32767);
    add->setPicture(rules::RuleEditorDialog::ReplacementSide, true);
    QCOMPARE(add->txtT->maxLength(), 200);
    // 添加 opens the add dialog with a text replacement again.
    QTimer::singleShot(0, add, [add] {
      QVERIFY(add->chkThwWzTp[0]->isChecked() && add->txtT->isEnabled());
      add->reject();
    });
    list->m_add->trigger();
    // Its messages carry the title 请填写相关内容.
    add->txtF->setText(QStringLiteral("甲"));
    add->txtT->setText(QStringLiteral("甲"));
    QVERIFY(!add->add());
    QCOMPARE(said.last().title, QStringLiteral("请填写相关内容"));
    QCOMPARE(said.last().text, QStringLiteral("要替换的和被替换为内容不允许相同！"));
    // Unticking the ticked find-type box of the modify dialog ticks the other one (the content
    // editors keep it ticked).
    click(modify->chkThWztp[0]);
    QVERIFY(modify->chkThWztp[1]->isChecked() && !modify->chkThWztp[0]->isChecked());
    click(content->modifyDialog()->chkThWztp[0]);
    QVERIFY(content->modifyDialog()->chkThWztp[0]->isChecked());
    stopWindow();
  }

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
