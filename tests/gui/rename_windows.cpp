// The rename windows offscreen: frmWordNameR (tags at the caret, leaving the pattern field,
// the box pairs, the save checks with the focus) and the filename rule window built from the
// content rule window (names, plain-text editors, the add and modify refusals).

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/mainwindow.h"
#include "app/prompter.h"
#include "rename/namesettings.h"
#include "rename/renamesettingswindow.h"
#include "rules/addruledialog.h"
#include "rules/modifyruledialog.h"
#include "rules/replacesetupwindow.h"

using namespace vm;
using namespace vm::rename;

class TestRenameWindows : public QObject {
  Q_OBJECT

 private slots:
  void settingsWindow() {
    RenameSettings s;
    RecordingPrompter prompter;
    RenameSettingsWindow w(s);
    w.setPrompter(&prompter);
    w.setFolderChooser([](QWidget*) { return QStringLiteral("/tmp/"); });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.objectName(), QStringLiteral("frmWordNameR"));
    QCOMPARE(w.windowTitle(), QStringLiteral("文件名更改设置"));

    // A tag goes in at the caret, the caret behind it; the struct follows the field.
    w.txtRName->setFocus();
    w.txtRName->setText("abcdef");
    w.txtRName->setCursorPosition(3);
    QTest::mouseClick(w.lblKindName[3], Qt::LeftButton);
    QCOMPARE(w.txtRName->text(), QStringLiteral("abc[$ID$]def"));
    QCOMPARE(w.txtRName->cursorPosition(), 9);
    QCOMPARE(s.pattern, QStringLiteral("abc[$ID$]def"));

    // Leaving the field appends ".doc" and sets the title frame by the pattern.
    QVERIFY(!w.fra_bt->isEnabled());
    w.insertTag(4);
    w.patternLeft();
    QVERIFY(w.fra_bt->isEnabled());
    QVERIFY(w.txtRName->text().endsWith(".doc"));

    // chkFile: ticking one unticks the other; unticking leaves both unticked. txtH follows box 0.
    QVERIFY(!w.txtH->isEnabled());
    w.chkFile[1]->click();
    QVERIFY(!w.chkFile[0]->isChecked() && w.chkFile[1]->isChecked() && w.txtH->isEnabled());
    w.chkFile[1]->click();
    QVERIFY(!w.chkFile[0]->isChecked() && !w.chkFile[1]->isChecked());
    // chkZfkswz acts as a radio pair; txtS and txtE follow box 1.
    w.chkZfkswz[1]->click();
    QVERIFY(!w.chkZfkswz[0]->isChecked() && w.txtS->isEnabled() && w.txtE->isEnabled());
    w.chkZfkswz[1]->click();
    QVERIFY(w.chkZfkswz[0]->isChecked() && !w.txtS->isEnabled());
    QCOMPARE(s.chkZfkswz, (std::array<bool, 2>{true, false}));

    // Save: the first failure with its focus, then the window hides.
    w.chkZfkswz[1]->click();
    w.txtS->setText("10");
    w.txtE->setText("9");
    QVERIFY(!w.save());
    QCOMPARE(prompter.last().text, QStringLiteral("请选择文档保存路径！"));
    QCOMPARE(prompter.last().title, QStringLiteral("出错！"));
    QTest::mouseClick(w.lblChooseFolder, Qt::LeftButton);
    QCOMPARE(w.txtSavePath->text(), QStringLiteral("/tmp/"));
    QVERIFY(!w.save());
    QCOMPARE(prompter.last().text, QStringLiteral("标题开始字符位置不能大于结束字符位置！"));
    QCOMPARE(QApplication::focusWidget(), w.txtS);
    w.txtE->setText("12");
    QVERIFY(w.save());
    QVERIFY(!w.isVisible());
  }

  void fileNameRuleWindow() {
    NameRules rules;
    RecordingPrompter prompter;
    rules::ReplaceSetupWindow w(rules);
    w.showAsFileNameRules();
    w.setPrompter(&prompter);
    QCOMPARE(w.objectName(), QStringLiteral("frmNameReplaceSetup"));
    QCOMPARE(w.windowTitle(), QStringLiteral("文件名替换规则设置"));
    QCOMPARE(w.lvwReplace->headerItem()->text(0), QStringLiteral("要替换的"));
    QCOMPARE(w.addDialog()->objectName(), QStringLiteral("frmNameAddR"));
    QCOMPARE(w.modifyDialog()->windowTitle(), QStringLiteral("文件名替换规则修改"));
    QVERIFY(w.addDialog()->chkThwWzTp[1]->isHidden() && w.addDialog()->lblImg[1]->isHidden());

    rules::AddRuleDialog& add = *w.addDialog();
    add.show();
    auto attempt = [&](const QString& f, const QString& t) {
      add.txtF->setText(f);
      add.txtT->setText(t);
      return add.add();
    };
    QVERIFY(!attempt("合同", " "));
    QCOMPARE(prompter.last().text, QStringLiteral("请输入被替换为的内容！"));
    QCOMPARE(add.txtF->text(), QStringLiteral("合同"));  // kept, the empty field to fill
    QVERIFY(!attempt("合同", "协议?"));
    QCOMPARE(prompter.last().text, QStringLiteral("替换内容包含非法字符，请重新输入！"));
    QCOMPARE(add.txtT->text(), QStringLiteral("协议?"));
    QVERIFY(attempt("合同", "协议"));
    QVERIFY(!attempt("合同", "约定"));
    QCOMPARE(prompter.last().text, QStringLiteral("该规则已被添加过，请不要重复添加！"));
    QVERIFY(add.txtF->text().isEmpty());
    QCOMPARE(w.lvwReplace->topLevelItemCount(), 1);

    rules::ModifyRuleDialog& mod = *w.modifyDialog();
    mod.load(1, true);
    mod.txtT->setText(" ");
    QVERIFY(!mod.modify());
    QCOMPARE(prompter.last().text, QStringLiteral("请输入被替换为的内容！"));
    mod.txtT->setText("约定");
    QVERIFY(mod.modify());
    QCOMPARE(rules.at(0).replacement, QStringLiteral("约定"));
  }
};

QTEST_MAIN(TestRenameWindows)
#include "rename_windows.moc"
