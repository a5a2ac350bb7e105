// The rule window frmReplaceSetup and its editors frmAddR and frmModifyR, offscreen: captions,
// the menu and links, the type pairs, the picture links, every validation with its message,
// modify by menu and by double-click, and that closing the window keeps the rules. Controls
// are found by objectName; messages are recorded.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

#include "app/mainwindow.h"
#include "app/prompter.h"
#include "gui/modaltestutil.h"
#include "rules/addruledialog.h"
#include "rules/modifyruledialog.h"
#include "rules/replacerules.h"
#include "rules/replacesetupwindow.h"

using namespace vm::rules;

using vm::guitest::whileModal;

namespace {

template <class T>
T* child(QWidget* w, const QString& name) {
  T* c = w->findChild<T*>(name);
  if (!c) qWarning("no child %s", qPrintable(name));
  return c;
}

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

// A double-click as the window system delivers it: press, release, press, double-click, release.
void doubleClick(QWidget* w, QPoint pos) {
  QTest::mousePress(w, Qt::LeftButton, {}, pos);
  QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
  QTest::mousePress(w, Qt::LeftButton, {}, pos);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, pos, w->mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton, {});
  QApplication::sendEvent(w, &dbl);
  QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
}

}  // namespace

class TestReplaceDialogs : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ReplaceRules> rules_;
  std::unique_ptr<vm::RecordingPrompter> prompter_;
  std::unique_ptr<ReplaceSetupWindow> w_;
  QString chosen_;        // what the picture chooser returns
  QString chosenFilter_;  // the filter it was given

  ReplaceSetupWindow& w() { return *w_; }
  AddRuleDialog* add() { return w_->addDialog(); }
  ModifyRuleDialog* mod() { return w_->modifyDialog(); }
  QTreeWidget* tree() { return child<QTreeWidget>(w_.get(), "lvwReplace"); }

  void addRule(const QString& f, const QString& t) { QVERIFY(!rules_->add(f, t)); }

  // Adds through the dialog as m_add does.
  void addThroughDialog(const QString& f, const QString& t) {
    whileModal(add(), [this] { w().m_add->trigger(); }, [&] {
      add()->txtF->setText(f);
      add()->txtT->setText(t);
      click(child<QPushButton>(add(), "cmdAdd"));
    });
  }

 private slots:
  void init() {
    rules_ = std::make_unique<ReplaceRules>();
    prompter_ = std::make_unique<vm::RecordingPrompter>();
    w_ = std::make_unique<ReplaceSetupWindow>(*rules_);
    w_->setPrompter(prompter_.get());
    chosen_.clear();
    auto chooser = [this](QWidget*, const QString& filter) {
      chosenFilter_ = filter;
      return chosen_;
    };
    add()->setFileChooser(chooser);
    mod()->setFileChooser(chooser);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
  }

  void cleanup() {
    w_.reset();
    prompter_.reset();
    rules_.reset();
  }

  void captionsAndNames() {
    QCOMPARE(w().objectName(), QStringLiteral("frmReplaceSetup"));
    QCOMPARE(w().windowTitle(), QStringLiteral("WORD批量替换规则设置"));
    QTreeWidget* t = tree();
    QVERIFY(t);
    QCOMPARE(t->columnCount(), 2);
    QCOMPARE(t->headerItem()->text(0), QStringLiteral("要替换的内容"));
    QCOMPARE(t->headerItem()->text(1), QStringLiteral("被替换为"));

    auto* menu = child<QMenu>(w_.get(), "m_do");
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("操作"));
    QStringList names, captions;
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) {
        names << a->objectName();
        captions << a->text();
      }
    QCOMPARE(names.mid(0, 4), (QStringList{"m_add", "m_modify", "m_del", "m_clear"}));
    QCOMPARE(captions.mid(0, 4), (QStringList{"添加", "修改", "删除", "清空"}));

    const QStringList links{"全 选", "全不选", "反 选", "删 除"};
    for (int i = 0; i < 4; ++i) QCOMPARE(child<QLabel>(w_.get(), QStringLiteral("lvw_select_%1").arg(i))->text(), links[i]);
    QCOMPARE(child<QPushButton>(w_.get(), "cmdSave")->text(), QStringLiteral("保存设置"));
    QStringList notices;
    for (QLabel* l : w().findChildren<QLabel*>()) notices << l->text();
    QVERIFY(notices.contains(
        QStringLiteral("替换功能中替换规则不支持数据库调用，生成功能中替换规则支持数据库调用。只有选中的替换规则才起作用。")));
    QVERIFY(notices.contains(QStringLiteral("请选择好规则后再点删除。")));

    QCOMPARE(add()->objectName(), QStringLiteral("frmAddR"));
    QCOMPARE(add()->windowTitle(), QStringLiteral("替换规则添加"));
    QCOMPARE(child<QPushButton>(add(), "cmdAdd")->text(), QStringLiteral("添  加"));
    QCOMPARE(child<QPushButton>(add(), "cmdCancel")->text(), QStringLiteral("取  消"));
    QCOMPARE(child<QLabel>(add(), "lblNotice")->text(), QStringLiteral("针对同一要替换的内容进行多次规则添加，视为重复添加。"));
    QCOMPARE(mod()->objectName(), QStringLiteral("frmModifyR"));
    QCOMPARE(mod()->windowTitle(), QStringLiteral("替换规则修改"));
    QCOMPARE(child<QPushButton>(mod(), "cmdModify")->text(), QStringLiteral("修  改"));
    QCOMPARE(child<QLabel>(mod(), "lblNotice")->text(), QStringLiteral("要替换的内容不可以修改。你可以删除该规则，然后重新添加。"));
    auto* key = child<QLineEdit>(mod(), "txtKey");
    QVERIFY(key);
    QVERIFY(key->isHidden());
    QVERIFY(!add()->findChild<QLineEdit*>(QStringLiteral("txtKey")));
    for (QDialog* d : {static_cast<QDialog*>(add()), static_cast<QDialog*>(mod())}) {
      QVERIFY(child<QLineEdit>(d, "txtF"));
      QVERIFY(child<QLineEdit>(d, "txtT"));
      for (const char* pair : {"chkThWztp", "chkThwWzTp"}) {
        QCOMPARE(child<QCheckBox>(d, QStringLiteral("%1_0").arg(pair))->text(), QStringLiteral("文 字"));
        QCOMPARE(child<QCheckBox>(d, QStringLiteral("%1_1").arg(pair))->text(), QStringLiteral("图 片"));
      }
      for (const char* link : {"lblImg_0", "lblImg_1"}) QCOMPARE(child<QLabel>(d, link)->text(), QStringLiteral("选择"));
    }
  }

  void addAppendsATickedRuleAndHides() {
    addThroughDialog(QStringLiteral("  甲 "), QStringLiteral(" 乙"));
    QVERIFY(prompter_->empty());
    QVERIFY(!add()->isVisible());
    QCOMPARE(rules_->count(), 1);
    QCOMPARE(rules_->at(0), (Rule{QStringLiteral("甲"), QStringLiteral("乙"), true}));
    QCOMPARE(tree()->topLevelItemCount(), 1);
    const QTreeWidgetItem* item = tree()->topLevelItem(0);
    QCOMPARE((QStringList{item->text(0), item->text(1)}), (QStringList{"甲", "乙"}));
    QCOMPARE(item->checkState(0), Qt::Checked);
    // m_add empties the fields of the kept dialog.
    whileModal(add(), [this] { w().m_add->trigger(); }, [this] {
      QVERIFY(add()->txtF->text().isEmpty());
      QVERIFY(add()->txtT->text().isEmpty());
      click(child<QPushButton>(add(), "cmdCancel"));
    });
    QVERIFY(!add()->isVisible());
    QCOMPARE(rules_->count(), 1);
  }

  // cmdAdd with a rule "ABC" in the list: accepted (no message) or refused with the dialog open.
  void addValidation_data() {
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("emptied");
    const QString same = QStringLiteral("要替换的和被替换为内容不允许相同！");
    QTest::newRow("empty replacement") << QStringLiteral("删掉我") << QString() << QString() << false;
    QTest::newRow("blank find") << QStringLiteral("   ") << QStringLiteral("x")
                                << QStringLiteral("请输入要替换的内容！") << false;
    QTest::newRow("equal once trimmed") << QStringLiteral("abc") << QStringLiteral("  abc  ") << same << true;
    QTest::newRow("duplicate") << QStringLiteral("ABC") << QStringLiteral("3")
                               << QStringLiteral("该规则已被添加过，请不要重复添加！") << true;
    QTest::newRow("duplicate test is case-sensitive") << QStringLiteral("abc") << QStringLiteral("2") << QString()
                                                      << false;
  }

  void addValidation() {
    QFETCH(QString, find);
    QFETCH(QString, replacement);
    QFETCH(QString, message);
    QFETCH(bool, emptied);
    addRule(QStringLiteral("ABC"), QStringLiteral("1"));
    bool stayed = false;
    whileModal(add(), [this] { w().m_add->trigger(); }, [&] {
      add()->txtF->setText(find);
      add()->txtT->setText(replacement);
      add()->txtT->setFocus();
      click(child<QPushButton>(add(), "cmdAdd"));
      stayed = add()->isVisible();
      if (!stayed) return;
      QCOMPARE(add()->txtF->text().isEmpty(), emptied);
      QCOMPARE(add()->txtT->text(), emptied ? QString() : replacement);
      if (!emptied) QCOMPARE(add()->focusWidget(), add()->txtF);
    });
    QCOMPARE(stayed, !message.isEmpty());
    if (message.isEmpty()) {
      QVERIFY(prompter_->empty());
      QCOMPARE(rules_->count(), 2);
      QCOMPARE(rules_->at(1), (Rule{find.trimmed(), replacement.trimmed(), true}));
    } else {
      QCOMPARE(prompter_->entries.size(), 1);
      QCOMPARE(prompter_->last().title, QStringLiteral("出错！"));
      QCOMPARE(prompter_->last().text, message);
      QCOMPARE(rules_->count(), 1);
    }
  }

  // Both type pairs, each on its own field and link.
  void typePairsSwitch() {
    for (int side = 0; side < 2; ++side) {
      const QString pair = side == 0 ? QStringLiteral("chkThWztp") : QStringLiteral("chkThwWzTp");
      auto* text = child<QCheckBox>(add(), pair + QStringLiteral("_0"));
      auto* picture = child<QCheckBox>(add(), pair + QStringLiteral("_1"));
      auto* link = child<QLabel>(add(), QStringLiteral("lblImg_%1").arg(side));
      QLineEdit* field = side == 0 ? add()->txtF : add()->txtT;
      QVERIFY(text->isChecked() && !picture->isChecked());
      QVERIFY(field->isEnabled() && !link->isEnabled());

      field->setText(QStringLiteral("some text"));
      picture->click();
      QVERIFY(!text->isChecked() && picture->isChecked());
      QVERIFY(field->text().isEmpty());
      QVERIFY(!field->isEnabled() && link->isEnabled());
      QCOMPARE(field->maxLength(), 200);

      // Unticking the ticked box ticks it again and changes nothing else.
      field->setText(QStringLiteral("[img]/a.jpg[/img]"));
      picture->click();
      QVERIFY(picture->isChecked() && !text->isChecked());
      QCOMPARE(field->text(), QStringLiteral("[img]/a.jpg[/img]"));

      text->click();
      QVERIFY(text->isChecked() && !picture->isChecked());
      QVERIFY(field->text().isEmpty());
      QVERIFY(field->isEnabled() && !link->isEnabled());
    }
  }

  void pictureLinks() {
    child<QCheckBox>(add(), "chkThwWzTp_1")->click();
    chosen_ = QStringLiteral("/pics/logo.jpg");
    click(child<QLabel>(add(), "lblImg_1"));
    QCOMPARE(add()->txtT->text(), QStringLiteral("[img]/pics/logo.jpg[/img]"));
    QVERIFY(chosenFilter_.startsWith(QStringLiteral("Jpg图像文档(*.jpg)")));
    for (const char* ext : {"*.png", "*.gif", "*.bmp", "*.jpeg"}) QVERIFY(chosenFilter_.contains(QLatin1String(ext)));
    // A cancel changes nothing.
    chosen_.clear();
    click(child<QLabel>(add(), "lblImg_1"));
    QCOMPARE(add()->txtT->text(), QStringLiteral("[img]/pics/logo.jpg[/img]"));
    // Link 0 puts the plain path into txtF.
    child<QCheckBox>(add(), "chkThWztp_1")->click();
    chosen_ = QStringLiteral("/pics/find.jpg");
    click(child<QLabel>(add(), "lblImg_0"));
    QCOMPARE(add()->txtF->text(), QStringLiteral("/pics/find.jpg"));
    // A reference longer than the field's 200 characters is refused, not cut.
    chosen_ = QLatin1Char('/') + QString(200, QLatin1Char('p')) + QStringLiteral(".jpg");
    click(child<QLabel>(add(), "lblImg_1"));
    QCOMPARE(add()->txtT->text(), QStringLiteral("[img]/pics/logo.jpg[/img]"));
    QCOMPARE(prompter_->last().title, QStringLiteral("出错！"));
    // A picture rule added through the dialog is a picture reference.
    QVERIFY(add()->add());
    QVERIFY(isPictureReference(rules_->at(0).replacement));
    QCOMPARE(picturePath(rules_->at(0).replacement), QStringLiteral("/pics/logo.jpg"));
  }

  // m_modify refuses without rules and with two ticked, and does nothing with none ticked; with
  // one ticked it changes that rule's replacement, refusing one equal to the find text.
  void modifyByMenu() {
    auto refuses = [this](const QString& text) {
      prompter_->clear();
      bool shown = false;
      whileModal(mod(), [this] { w().m_modify->trigger(); }, [] {}, &shown);
      QVERIFY(!shown);
      QCOMPARE(prompter_->empty(), text.isEmpty());
      if (text.isEmpty()) return;
      QCOMPARE(prompter_->last().title, QStringLiteral("出错了！"));
      QCOMPARE(prompter_->last().text, text);
    };
    refuses(QStringLiteral("请先添加替换规则！"));
    addRule(QStringLiteral("a"), QStringLiteral("b"));
    addRule(QStringLiteral("c"), QStringLiteral("d"));
    refuses(QStringLiteral("请不要选择多个规则进行修改！"));
    rules_->setAllTicked(false);
    refuses(QString());

    rules_->setTicked(1, true);
    bool shown = false;
    whileModal(mod(), [this] { w().m_modify->trigger(); }, [this] {
      QCOMPARE(child<QLineEdit>(mod(), "txtKey")->text(), QStringLiteral("2"));
      QCOMPARE(mod()->txtF->text(), QStringLiteral("c"));
      QCOMPARE(mod()->txtT->text(), QStringLiteral("d"));
      // Equal to the find text: refused, both fields emptied, the dialog stays.
      mod()->txtT->setText(QStringLiteral(" c "));
      click(child<QPushButton>(mod(), "cmdModify"));
      QVERIFY(mod()->isVisible());
      QVERIFY(mod()->txtF->text().isEmpty());
      QVERIFY(mod()->txtT->text().isEmpty());
      QCOMPARE(rules_->at(1).replacement, QStringLiteral("d"));
      mod()->txtT->setText(QStringLiteral("  e "));
      click(child<QPushButton>(mod(), "cmdModify"));
    }, &shown);
    QVERIFY(shown);
    QVERIFY(!mod()->isVisible());
    QCOMPARE(prompter_->entries.size(), 1);
    QCOMPARE(prompter_->entries[0].title, QStringLiteral("出错！"));
    QCOMPARE(prompter_->entries[0].text, QStringLiteral("要替换的和被替换为内容不允许相同！"));
    QCOMPARE(rules_->at(1), (Rule{QStringLiteral("c"), QStringLiteral("e"), true}));
    QCOMPARE(rules_->at(0), (Rule{QStringLiteral("a"), QStringLiteral("b"), false}));
    QCOMPARE(tree()->topLevelItem(1)->text(1), QStringLiteral("e"));
  }

  // The picture type's 200-character limit never cuts a rule that is opened for a change.
  void modifyKeepsLongTextsWhole() {
    const QString longText(250, QChar(u'长'));
    const QString longPicture = pictureReference(QStringLiteral("/p/") + QString(230, QLatin1Char('x')) + ".jpg");
    addRule(QStringLiteral("a"), longText);
    addRule(QStringLiteral("b"), longPicture);
    rules_->setTicked(1, false);
    mod()->setPicture(RuleEditorDialog::ReplacementSide, true);  // left from an earlier opening
    bool shown = false;
    whileModal(mod(), [this] { w().m_modify->trigger(); }, [&] {
      QCOMPARE(mod()->txtT->text(), longText);
      click(child<QPushButton>(mod(), "cmdModify"));
    }, &shown);
    QVERIFY(shown);
    QCOMPARE(rules_->at(0).replacement, longText);
    mod()->load(2, true);
    QCOMPARE(mod()->txtT->text(), longPicture);
  }

  void doubleClickOpensModifyOnItemsOnly() {
    addRule(QStringLiteral("text"), QStringLiteral("t"));
    addRule(QStringLiteral("pic"), pictureReference(QStringLiteral("/p/x.jpg")));
    QTreeWidget* t = tree();
    QVERIFY(t);
    t->doItemsLayout();
    QVERIFY(!t->visualItemRect(t->topLevelItem(1)).isEmpty());
    bool shown = false;
    // On the picture rule: the replacement type becomes picture, txtT shows the reference.
    const QRect r1 = t->visualItemRect(t->topLevelItem(1));
    whileModal(mod(), [&] { doubleClick(t->viewport(), r1.center()); }, [this] {
      QCOMPARE(child<QLineEdit>(mod(), "txtKey")->text(), QStringLiteral("2"));
      QCOMPARE(mod()->txtF->text(), QStringLiteral("pic"));
      QCOMPARE(mod()->txtT->text(), QStringLiteral("[img]/p/x.jpg[/img]"));
      QVERIFY(child<QCheckBox>(mod(), "chkThwWzTp_1")->isChecked());
      QCOMPARE(mod()->txtT->maxLength(), 200);
      QVERIFY(child<QLabel>(mod(), "lblImg_1")->isEnabled());
      mod()->reject();
    }, &shown);
    QVERIFY(shown);
    // On empty space: nothing opens.
    const QPoint below(r1.center().x(), r1.bottom() + 3 * r1.height());
    whileModal(mod(), [&] { doubleClick(t->viewport(), below); }, [] {}, &shown);
    QVERIFY(!shown);
    // On a text rule the type boxes stay as they were (picture, from the last opening).
    const QRect r0 = t->visualItemRect(t->topLevelItem(0));
    whileModal(mod(), [&] { doubleClick(t->viewport(), r0.center()); }, [this] {
      QCOMPARE(child<QLineEdit>(mod(), "txtKey")->text(), QStringLiteral("1"));
      QCOMPARE(mod()->txtT->text(), QStringLiteral("t"));
      QVERIFY(child<QCheckBox>(mod(), "chkThwWzTp_1")->isChecked());
      mod()->reject();
    }, &shown);
    QVERIFY(shown);
    QVERIFY(prompter_->empty());
  }

  void selectionLinksAndMenu() {
    for (const char* f : {"r1", "r2", "r3", "r4", "r5"}) addRule(QString::fromLatin1(f), QString());
    click(child<QLabel>(w_.get(), "lvw_select_1"));  // 全不选
    QCOMPARE(rules_->tickedCount(), 0);
    click(child<QLabel>(w_.get(), "lvw_select_0"));  // 全 选
    QCOMPARE(rules_->tickedCount(), 5);
    // Ticks in the list view reach the rules.
    tree()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    tree()->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
    QVERIFY(!rules_->at(1).ticked);
    QCOMPARE(rules_->tickedCount(), 3);
    click(child<QLabel>(w_.get(), "lvw_select_2"));  // 反 选
    QCOMPARE(rules_->tickedCount(), 2);
    QVERIFY(rules_->at(1).ticked && rules_->at(3).ticked);
    click(child<QLabel>(w_.get(), "lvw_select_2"));
    // 删 除 with three ticked rules keeps the order of the rest.
    click(child<QLabel>(w_.get(), "lvw_select_3"));
    QCOMPARE(rules_->count(), 2);
    QCOMPARE(rules_->at(0).find, QStringLiteral("r2"));
    QCOMPARE(rules_->at(1).find, QStringLiteral("r4"));
    QCOMPARE(tree()->topLevelItemCount(), 2);
    QCOMPARE(tree()->topLevelItem(1)->text(0), QStringLiteral("r4"));
    // Nothing ticked: m_del removes nothing.
    w().m_del->trigger();
    QCOMPARE(rules_->count(), 2);
    rules_->setTicked(0, true);
    w().m_del->trigger();
    QCOMPARE(rules_->count(), 1);
    // m_clear removes everything without asking.
    w().m_clear->trigger();
    QCOMPARE(rules_->count(), 0);
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QVERIFY(prompter_->empty());
  }

  void saveAndCloseBoxBothKeepTheRules() {
    addRule(QStringLiteral("a"), QStringLiteral("b"));
    click(child<QPushButton>(w_.get(), "cmdSave"));
    QVERIFY(!w().isVisible());
    QCOMPARE(rules_->count(), 1);
    w().show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    QVERIFY(w().close());  // the close box
    QVERIFY(!w().isVisible());
    QCOMPARE(rules_->count(), 1);
    w().show();
    QCOMPARE(tree()->topLevelItemCount(), 1);
    QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("a"));
  }

  void importAndExport() {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    {
      QFile f(in);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("# set\nx\ty\nold\tnew\t0\n");
    }
    w().setRuleFileChooser([in](QWidget*, bool save) { return save ? QString() : in; });
    w().m_import->trigger();
    QCOMPARE(rules_->count(), 2);
    QVERIFY(!rules_->at(1).ticked);
    QCOMPARE(tree()->topLevelItem(1)->checkState(0), Qt::Unchecked);
    // Importing the same set again adds nothing and says which lines were skipped.
    w().m_import->trigger();
    QCOMPARE(rules_->count(), 2);
    QCOMPARE(prompter_->last().title, QStringLiteral("导入规则"));
    QVERIFY(prompter_->last().text.startsWith(QStringLiteral("已导入 0 条规则。\n第 2 行“x”与已有规则重复，已跳过")));

    const QString out = dir.filePath(QStringLiteral("out.txt"));
    w().setRuleFileChooser([out](QWidget*, bool save) { return save ? out : QString(); });
    w().m_export->trigger();
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("x\ty\nold\tnew\t0\n"));
  }
};

QTEST_MAIN(TestReplaceDialogs)
#include "replace_dialogs.moc"
