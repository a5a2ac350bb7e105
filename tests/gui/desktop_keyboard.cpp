// The main window and its dialogs by keyboard, the status bar clock, the dialogs' folder.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/documentlist.h"
#include "dialogs/filedialogs.h"
#include "dialogs/qttranslations.h"
#include "mainwindowtest.h"

class TestDesktopKeyboard : public vm::guitest::MainWindowTest {
  Q_OBJECT

  // The widgets Tab visits from w, in order, until it comes back.
  static QStringList tabChain(QWidget* first) {
    QStringList names;
    QWidget* x = first;
    do {
      if (x->isVisible() && x->isEnabled() && (x->focusPolicy() & Qt::TabFocus)) names << x->objectName();
      x = x->nextInFocusChain();
    } while (x != first && names.size() < 100);
    return names;
  }

 private slots:
  void init() { startWindow(); }
  void cleanup() { stopWindow(); }

  void tabFollowsTheScreenAndLinksActOnSpace() {
    QStringList chain = tabChain(w().chkHzm[0]);
    chain = chain.mid(0, chain.indexOf(QStringLiteral("combTaskKind")) + 1);
    QCOMPARE(chain, (QStringList{"chkHzm_0", "chkHzm_1", "lst_DocList", "lbl_select_0", "lbl_select_1",
                                 "lbl_select_2", "lbl_select_3", "lbl_select_4", "txtTaskF", "combTaskKind"}));
    QTemporaryDir d;
    const QString a = d.filePath("a.docx"), b = d.filePath("b.docx");
    for (const QString& p : {a, b}) {
      QFile f(p);
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    w().documents().append(QStringList{a, b});
    QCOMPARE(w().documents().tickedCount(), 2);
    w().lbl_select[1]->setFocus();
    QTest::keyClick(w().lbl_select[1], Qt::Key_Space);  // 全不选
    QCOMPARE(w().documents().tickedCount(), 0);
    QTest::keyClick(w().lbl_select[2], Qt::Key_Return);  // 反 选
    QCOMPARE(w().documents().tickedCount(), 2);
  }

  // Written as a Chinese user writes it, also under an English locale.
  void clockIsChinese() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QRegularExpression form(QStringLiteral("^\\d{4}年\\d{1,2}月\\d{1,2}日 \\d{2}:\\d{2}:\\d{2}$"));
    QTRY_VERIFY(form.match(child<QLabel>(w(), "stb_print_1")->text()).hasMatch());
  }

  // Every settings window and rule dialog: Enter presses its default button, Esc closes it.
  void everyDialogHasADefaultButtonAndEscCloses() {
    const QList<QDialog*> dialogs = w().findChildren<QDialog*>();
    QVERIFY(dialogs.size() >= 8);
    for (QDialog* dlg : dialogs) {
      // Chosen by the window itself, not left to Qt (which takes the first button in Tab order).
      int defaults = 0;
      for (QPushButton* b : dlg->findChildren<QPushButton*>())
        if (b->isDefault() && b->window() == dlg) ++defaults;
      QVERIFY2(defaults == 1, qPrintable(dlg->objectName()));
      dlg->show();
      QVERIFY(QTest::qWaitForWindowExposed(dlg));
      QTest::keyClick(dlg, Qt::Key_Escape);
      QVERIFY2(!dlg->isVisible(), qPrintable(dlg->objectName()));
    }
  }

  void fileDialogsOpenInTheLastFolderUsed() {
    QTemporaryDir d;
    QDir(d.path()).mkdir("sub");
    QFile f(d.filePath("sub/x.docx"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    vm::setLastDialogFolder(d.path());
    QString seen;
    // The dialog opened by the next chooser: note its folder, pick sub/x.docx.
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
      auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dlg) return;
      poll.stop();
      seen = dlg->directory().absolutePath();
      // Typed as a user would: a selection made through the dialog is dropped while it is still
      // reading the folder in the background, and accept() checks against that folder too.
      auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (edit) edit->setText(d.filePath("sub/x.docx"));
      static_cast<QDialog*>(dlg)->done(QDialog::Accepted);
    });
    poll.start();
    QCOMPARE(vm::chooseOpenFileDialog(&w()), d.filePath("sub/x.docx"));
    QCOMPARE(seen, QDir(d.path()).absolutePath());
    QCOMPARE(vm::lastDialogFolder(), d.filePath("sub"));
  }

  // Files and folders dropped on the list join it (a folder with its subfolders; a file that
  // does not qualify says why); a double-click opens the entry, a vanished one says so.
  void dropAddsAndDoubleClickOpens() {
    QDir d(docs_->path());
    QVERIFY(d.mkpath("tree/sub"));
    for (const char* name : {"a.docx", "notes.txt", "tree/b.doc", "tree/sub/c.docx"}) {
      QFile f(d.filePath(QString::fromLatin1(name)));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(d.filePath("a.docx")), QUrl::fromLocalFile(d.filePath("notes.txt")),
                  QUrl::fromLocalFile(d.filePath("tree"))});
    QWidget* viewport = w().lst_DocList->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    QTRY_COMPARE(w().documents().entryCount(), 3);
    QCOMPARE(w().documents().at(0).path, d.filePath("a.docx"));
    QVERIFY(prompter_->entries.first().text.contains("notes.txt"));

    QString opened;
    w().setDocumentOpener([&](const QString& path) { opened = path; });
    const QModelIndex first = w().lst_DocList->model()->index(0, 0);
    emit w().lst_DocList->doubleClicked(first);
    QCOMPARE(opened, d.filePath("a.docx"));
    QFile::remove(d.filePath("a.docx"));
    opened.clear();
    emit w().lst_DocList->doubleClicked(first);
    QVERIFY(opened.isEmpty());
    QCOMPARE(prompter_->last().text, "文档不存在：" + d.filePath("a.docx"));
  }

  // Run by hand under Xvfb (VM_SCREENSHOT_DIR=DIR xvfb-run ... desktop_keyboard screenshots):
  // the main window, the replace rule window and the file dialog as PNG files, to look at.
  void screenshots() {
    const QString out = qEnvironmentVariable("VM_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("VM_SCREENSHOT_DIR not set");
    vm::installQtTranslations();  // as the program does at start
    QStringList paths;
    for (const char* name : {"合同-甲方-2024.docx", "报价单.doc", "会议纪要（三月）.docx"}) {
      QFile f(QDir(docs_->path()).filePath(QString::fromUtf8(name)));
      QVERIFY(f.open(QIODevice::WriteOnly));
      paths << f.fileName();
    }
    w().documents().append(paths);
    w().resize(900, 620);
    QTest::qWait(1200);
    QVERIFY(w().grab().save(out + "/main.png"));
    app_->replaceRules().add(QStringLiteral("甲方"), QStringLiteral("委托方"));
    app_->replaceRules().add(QStringLiteral("乙方"), QStringLiteral("受托方"));
    auto* rules = w().findChild<QDialog*>(QStringLiteral("frmReplaceSetup"));
    QVERIFY(rules);
    rules->show();
    QTest::qWait(500);
    QVERIFY(rules->grab().save(out + "/rules.png"));
    rules->hide();
    for (const char* name : {"frmPrintSetup", "frmHbsetup", "frmFgsetup", "frmTask", "frmDataSetup"}) {
      auto* dlg = w().findChild<QDialog*>(QString::fromLatin1(name));
      if (!dlg) continue;
      dlg->show();
      QTest::qWait(300);
      QVERIFY(dlg->grab().save(out + "/" + name + ".png"));
      dlg->hide();
    }
    QTimer poll;
    poll.setInterval(300);
    connect(&poll, &QTimer::timeout, [&] {
      auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dlg) return;
      poll.stop();
      dlg->grab().save(out + "/filedialog.png");
      dlg->reject();
    });
    poll.start();
    vm::setLastDialogFolder(docs_->path());
    vm::chooseOpenFileDialog(&w(), QStringLiteral("选择文档"));
  }

 private:
  template <typename T>
  static T* child(QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
  }
};

QTEST_MAIN(TestDesktopKeyboard)
#include "desktop_keyboard.moc"
