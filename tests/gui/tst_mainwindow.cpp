// The main window frmPrint offscreen: caption, the complete menu, the suffix boxes, keep in
// front, the filter panel, the list commands through their real code paths, the status bar,
// and the progress area during runs of a test operation. Controls are found by objectName.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <stdexcept>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/engines.h"
#include "app/mainwindow.h"
#include "gui/mainwindowtest.h"
#include "app/prompter.h"
#include "app/runframe.h"

using vm::MainWindow;

namespace {

struct Item {
  const char* name;
  const char* caption;  // nullptr: a separator (name may be "" for any)
};
struct Menu {
  const char* name;
  const char* caption;
  QList<Item> items;  // the items, in order (separators not listed)
};

// The menu table.
QList<Menu> expectedMenus() {
  return {
      {"m_file_do", "文件",
       {{"m_choosefile", "选择单个文档"}, {"m_choosefolder", "选择文件夹"}, {"m_choosefolder2", "选择文件夹(包含子文件夹)"},
        {"m_clearDocList", "清空所有文档"}, {"m_selAll", "选择所有文档"}, {"m_delSelList", "删除已选文档"},
        {"m_clearSame", "清理重复文档"}, {"m_windowFront", "窗口置前"}, {"m_exit", "退出"}}},
      {"m_replace", "替换",
       {{"m_replaceSetup", "替换规则设置"}, {"m_rep_task", "保存为任务"}, {"m_startDocRep", "开始替换"},
        {"m_rep_print", "开始替换并打印"}}},
      {"m_create", "生成",
       {{"m_fNameSetup", "文档名设置"}, {"m_createSetup", "数据库设置"}, {"m_createRep", "替换规则设置"},
        {"m_cre_task", "保存为任务"}, {"m_startCreate", "开始生成"}, {"m_create_print", "开始生成并打印"}}},
      {"m_print", "打印", {{"m_print_setup", "打印参数设置"}, {"m_print_task", "保存为任务"}, {"m_startPrint", "开始打印"}}},
      {"m_task", "任务", {{"m_task_add", "添加批量任务"}, {"m_task_start", "开始批量任务"}}},
      {"m_hbfg", "合并拆分",
       {{"m_hbsz", "文档合并设置"}, {"m_hbsz_start", "批量合并文档"}, {"m_fgSetup", "文档拆分设置"},
        {"m_fg_start", "批量拆分文档"}}},
      {"m_conv", "转换",
       {{"m_htmlFileSetup", "保存路径"}, {"m_convDoc", "转换为Word(Doc)"}, {"m_convRtf", "转化为Rtf文档"},
        {"m_convTxt", "转换为文本(Txt)"}, {"m_convUni", "转换为Unicode文本"}, {"m_convHtml", "转换成网页(Html)"},
        {"m_convPdf", "转换为PDF"}, {"m_jtzft", "简体转繁体"}, {"m_ftzjt", "繁体转简体"}}},
      {"m_name", "更名", {{"m_rName", "文档名更改设置"}, {"m_nameRep", "替换规则设置"}, {"m_StartRName", "开始批量更名"}}},
      {"m_ymyj", "页眉页脚",
       {{"m_ymyjAddRuler", "页眉页脚增加设置"}, {"m_ymAdd", "批量增加页眉"}, {"m_yjAdd", "批量增加页脚"},
        {"m_ymDel", "批量删除页眉以及水印"}, {"m_yjDel", "批量删除页脚"}, {"m_ymyjRepRuler", "页眉页脚替换规则"},
        {"m_ymRepStart", "页眉批量替换"}, {"m_yjRepStart", "页脚批量替换"}}},
      {"m_other", "其他",
       {{"m_sy_setup", "水印参数设置"}, {"m_start_sy_add", "批量添加水印"}, {"m_start_sy_del", "批量删除水印以及页眉"},
        {"m_pwd_setup", "密码设置"}, {"m_pwd_start", "批量修改密码"}, {"m_modify_info", "摘要信息设置"},
        {"m_start_modify_info", "批量修改摘要"}, {"m_start_del_pz", "批量删除批注"}, {"m_wdqlSetup", "文档清理设置"},
        {"m_wdql", "批量清理文档"}, {"m_wdtj", "文档统计"}}},
      {"m_help", "帮助", {{"m_about", "关于作者"}, {"m_updateOnl", "在线更新"}, {"m_softDown", "软件下载"}}},
  };
}

// Items whose operations need the office or a printer, which the test's engines lack: disabled;
// every other item is enabled.
const QStringList kNeedAMissingEngine = {"m_rep_print", "m_create_print", "m_print_setup", "m_startPrint",
                                      "m_fgSetup",   "m_fg_start",     "m_convDoc",      "m_convRtf",
                                      "m_convTxt",   "m_convUni",      "m_convHtml",     "m_convPdf"};

void touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
  f.write("x");
}

template <class T>
T* child(QWidget& w, const char* name) {
  T* c = w.findChild<T*>(QString::fromLatin1(name));
  if (!c) qWarning("no child %s", name);
  return c;
}

}  // namespace

class TestMainWindow : public vm::guitest::MainWindowTest {
  Q_OBJECT

 private:

  vm::DocumentList& list() { return app_->documents(); }
  QString docs(const QString& rel = {}) { return docs_->path() + QLatin1Char('/') + rel; }

  // Adds a folder through the real command (the chooser hook instead of the dialog) and waits
  // for the scan to land.
  void addFolder(const QString& folder, bool tree) {
    w().setFolderChooser([folder] { return folder; });
    QSignalSpy spy(&w(), &MainWindow::scanFinished);
    w().menuItem(tree ? "m_choosefolder2" : "m_choosefolder")->trigger();
    if (w().isScanning()) QVERIFY(spy.wait(10000));
    QVERIFY(!w().isLocked());
  }

  QStringList entries() { return list().paths(); }

  // Files of the document folder, made and entered in the list.
  QStringList addDocuments(const QString& stem, int n) {
    QStringList paths;
    for (int i = 0; i < n; ++i) {
      paths << docs(QStringLiteral("%1%2.docx").arg(stem).arg(i));
      touch(paths.back());
    }
    list().append(paths);
    return paths;
  }

  static vm::Operation testOperation(vm::DocumentRoutine perDocument, int initialCount = 0) {
    vm::Operation op;
    op.id = QStringLiteral("docTest");
    op.title = QStringLiteral("测试操作");
    op.initialCount = initialCount;
    op.perDocument = std::move(perDocument);
    return op;
  }

  // A routine's wait for the test to let it go on (at most 20 s).
  static void waitUntil(const std::function<bool()>& go) {
    QElapsedTimer t;
    t.start();
    while (!go() && t.elapsed() < 20000) QThread::msleep(2);
  }

 private slots:
  void init() {
    startWindow();
  }

  void cleanup() { stopWindow(); }

  void captionAndStartUpState() {
    QCOMPARE(w().objectName(), QStringLiteral("frmPrint"));
    QCOMPARE(w().windowTitle(), QStringLiteral("Vellumark V1.2.15"));
    auto* kind = child<QComboBox>(w(), "combTaskKind");
    QVERIFY(kind);
    QStringList kinds;
    for (int i = 0; i < kind->count(); ++i) kinds << kind->itemText(i);
    QCOMPARE(kinds, (QStringList{"替换任务", "生成任务", "打印任务"}));
    QVERIFY(child<QLineEdit>(w(), "txtTaskF"));
    auto* save = child<QPushButton>(w(), "cmdSaveTask");
    QVERIFY(save && save->isVisible());
    QCOMPARE(save->text(), QStringLiteral("保存任务"));
    QVERIFY(save->isEnabled());  // bound by the tasks
    QVERIFY(!w().m_windowFront->isChecked());
    QVERIFY(!child<QGroupBox>(w(), "frmLoadDocList")->isVisible());
    QVERIFY(!child<QGroupBox>(w(), "fra_zdy")->isVisible());
    QCOMPARE(child<QGroupBox>(w(), "fraDoc")->title(), QStringLiteral("文 件 列 表"));
    QCOMPARE(child<QLabel>(w(), "lbl_notice")->text(), QStringLiteral("请先添加文档，再勾选你要操作的文档。"));
    // The labels of the suffix boxes.
    QStringList texts;
    for (QLabel* l : w().findChildren<QLabel*>()) texts << l->text();
    for (const char* t : {"请选择文件后缀名：", "添加文件时会根据所选后缀名添加对应的文件。", "请输入任务名称：", "请输入任务类型："})
      QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
  }

  void completeMenu() {
    const QList<Menu> expected = expectedMenus();
    // The menu bar: the eleven menus in order, each found by objectName.
    const QList<QAction*> bar = w().menuBar()->actions();
    QCOMPARE(bar.size(), expected.size());
    for (int m = 0; m < expected.size(); ++m) {
      auto* menu = w().findChild<QMenu*>(QString::fromLatin1(expected[m].name));
      QVERIFY2(menu, expected[m].name);
      QCOMPARE(bar[m]->menu(), menu);
      QCOMPARE(menu->title(), QString::fromUtf8(expected[m].caption));
      // Its items in order, separators aside; no separator at either end or doubled.
      QList<QAction*> items;
      const QList<QAction*> all = menu->actions();
      QVERIFY(!all.first()->isSeparator());
      QVERIFY(!all.last()->isSeparator());
      for (int i = 0; i < all.size(); ++i) {
        if (all[i]->isSeparator()) {
          QVERIFY(!all[i - 1]->isSeparator());
          QVERIFY2(!all[i]->objectName().isEmpty(), "every separator is named");
        } else {
          items << all[i];
        }
      }
      QCOMPARE(items.size(), expected[m].items.size());
      for (int i = 0; i < items.size(); ++i) {
        const Item& it = expected[m].items[i];
        QCOMPARE(items[i]->objectName(), QString::fromLatin1(it.name));
        QCOMPARE(items[i]->text(), QString::fromUtf8(it.caption));
        QCOMPARE(w().menuItem(it.name), items[i]);
        QVERIFY2(items[i]->isEnabled() != kNeedAMissingEngine.contains(QString::fromLatin1(it.name)), it.name);
        QVERIFY(items[i]->isVisible());
      }
    }
    // Members carry the same objects.
    QCOMPARE(w().m_choosefile, w().menuItem("m_choosefile"));
    QCOMPARE(w().m_wdtj, w().menuItem("m_wdtj"));
    QCOMPARE(w().m_StartRName->objectName(), QStringLiteral("m_StartRName"));
    QCOMPARE(w().m_conv->objectName(), QStringLiteral("m_conv"));
    // m_blank2: the separator of the 转换 menu right before m_convDoc.
    QVERIFY(w().m_blank2 && w().m_blank2->isSeparator());
    const QList<QAction*> conv = w().m_conv->actions();
    const int at = conv.indexOf(w().m_convDoc);
    QVERIFY(at > 0);
    QCOMPARE(conv[at - 1], w().m_blank2);
    QCOMPARE(w().m_blank2->objectName(), QStringLiteral("m_blank2"));
    // m_windowFront is a checkable item, unticked.
    QVERIFY(w().m_windowFront->isCheckable());
    QVERIFY(!w().m_windowFront->isChecked());
  }

  void bindCommandEnablesItem() {
    QVERIFY(!w().m_rep_print->isEnabled());
    int calls = 0;
    QVERIFY(w().bindCommand("m_rep_print", [&calls] { ++calls; }));
    QVERIFY(w().m_rep_print->isEnabled());
    w().m_rep_print->trigger();
    QCOMPARE(calls, 1);
    QVERIFY(!w().bindCommand("m_noSuchItem", [] {}));
    QVERIFY(!w().bindCommand("m_blank2", [] {}));
    // A throwing handler does not escape; its error lands in the log.
    QVERIFY(w().bindCommand("m_wdtj", [] { throw std::runtime_error("boom"); }));
    w().m_wdtj->trigger();
    QFile logFile(app_->dataFolder().logFile());
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(logFile.readAll()).contains(QStringLiteral("boom")));
    // The task button, bound, is enabled (it is in the locked set).
    QVERIFY(w().bindCommand("cmdSaveTask", [&calls] { ++calls; }));
    QVERIFY(w().cmdSaveTask->isEnabled());
    QTest::mouseClick(w().cmdSaveTask, Qt::LeftButton);
    QCOMPARE(calls, 2);
  }

  void suffixBoxesAndEngines() {
    auto* doc = child<QCheckBox>(w(), "chkHzm_0");
    auto* docx = child<QCheckBox>(w(), "chkHzm_1");
    QVERIFY(doc && docx);
    QCOMPARE(w().chkHzm[0], doc);
    QCOMPARE(w().chkHzm[1], docx);
    QCOMPARE(doc->text(), QStringLiteral("doc"));
    QCOMPARE(docx->text(), QStringLiteral("docx"));
    QVERIFY(doc->isChecked() && docx->isChecked());
    QCOMPARE(w().suffixList(), QStringLiteral("doc,docx,"));

    // Without a usable office: "doc" unticked and hidden; every menu item stays.
    w().applyEngineCheck(false);
    QVERIFY(!doc->isChecked());
    QVERIFY(doc->isHidden());
    QVERIFY(docx->isChecked() && !docx->isHidden());
    QCOMPARE(w().suffixList(), QStringLiteral("docx,"));
    for (QAction* a : w().menuItems()) QVERIFY(a->isVisible());
    w().applyEngineCheck(true);
    QVERIFY(doc->isChecked() && !doc->isHidden());

    // An operation whose engine features are not installed is disabled, its tip naming why,
    // with its settings item; the list commands stay.
    w().setFeatures({});
    QVERIFY(!w().m_startDocRep->isEnabled());
    QVERIFY(!w().m_replaceSetup->isEnabled());
    QVERIFY(w().m_startDocRep->statusTip().contains(QStringLiteral("文档替换")));
    QVERIFY(w().m_choosefile->isEnabled());
    w().setFeatures(vm::word::installedFeatures());
    QVERIFY(w().m_startDocRep->isEnabled() && w().m_replaceSetup->isEnabled());
    QVERIFY(w().m_startDocRep->statusTip().isEmpty());
  }

  void keepInFront() {
    QVERIFY(!w().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    w().m_windowFront->trigger();
    QVERIFY(w().m_windowFront->isChecked());
    QVERIFY(w().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w().isVisible());
    w().m_windowFront->trigger();
    QVERIFY(!w().m_windowFront->isChecked());
    QVERIFY(!w().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w().isVisible());
    // Every command that opens another window leaves the front first.
    bool frontInHandler = true;
    QVERIFY(w().bindWindowCommand("m_replaceSetup", [&] { frontInHandler = w().isFront(); }));
    w().m_windowFront->trigger();
    QVERIFY(w().isFront());
    w().m_replaceSetup->trigger();
    QVERIFY(!frontInHandler);
    QVERIFY(!w().m_windowFront->isChecked());
    QVERIFY(!w().isFront());
    QVERIFY(w().isVisible());
  }

  void selectionLinks() {
    const char* captions[5] = {"全 选", "全不选", "反 选", "删 除", "筛 选"};
    for (int i = 0; i < 5; ++i) {
      auto* l = child<QLabel>(w(), qPrintable(QStringLiteral("lbl_select_%1").arg(i)));
      QVERIFY(l);
      QCOMPARE(static_cast<QLabel*>(w().lbl_select[i]), l);
      QCOMPARE(l->text(), QString::fromUtf8(captions[i]));
    }
    list().append(QStringList{"/x/1.docx", "/x/2.docx", "/x/3.docx"});
    QTest::mouseClick(w().lbl_select[1], Qt::LeftButton);
    QCOMPARE(list().tickedCount(), 0);
    QTest::mouseClick(w().lbl_select[0], Qt::LeftButton);
    QCOMPARE(list().tickedCount(), 3);
    list().setTicked(1, false);
    QTest::mouseClick(w().lbl_select[2], Qt::LeftButton);
    QCOMPARE(list().tickedCount(), 1);
    QVERIFY(list().isTicked(1));
    QTest::mouseClick(w().lbl_select[3], Qt::LeftButton);
    QCOMPARE(entries(), (QStringList{"/x/1.docx", "/x/3.docx"}));
    // m_selAll and m_delSelList act as links 0 and 3.
    w().m_selAll->trigger();
    QCOMPARE(list().tickedCount(), 2);
    w().m_delSelList->trigger();
    QCOMPARE(list().entryCount(), 0);
    QVERIFY(prompter_->entries.isEmpty());
  }

  void filterPanel() {
    auto* panel = child<QGroupBox>(w(), "fra_zdy");
    QCOMPARE(panel->title(), QStringLiteral("文档批量筛选"));
    QVERIFY(!panel->isVisible());
    QTest::mouseClick(w().lbl_select[4], Qt::LeftButton);
    QVERIFY(panel->isVisible());
    auto* bh = child<QLineEdit>(w(), "txtBh");
    auto* bbh = child<QLineEdit>(w(), "txtBbh");
    auto* qf = child<QCheckBox>(w(), "chkQfdxx");
    auto* start = child<QPushButton>(w(), "cmdSxStart");
    auto* exit = child<QPushButton>(w(), "cmdSxExit");
    QVERIFY(bh && bbh && qf && start && exit);
    QCOMPARE(qf->text(), QStringLiteral("文档路径区分大小写"));
    QCOMPARE(start->text(), QStringLiteral("进行筛选"));
    QCOMPARE(exit->text(), QStringLiteral("退出筛选"));
    QStringList texts;
    for (QLabel* l : panel->findChildren<QLabel*>()) texts << l->text();
    QVERIFY(texts.contains(QStringLiteral("文档路径必须包含：")));
    QVERIFY(texts.contains(QStringLiteral("文档路径不得含有：")));

    // Both fields blank (blanks only): the refusal.
    bh->setText(QStringLiteral("  "));
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(prompter_->entries.size(), 1);
    QCOMPARE(prompter_->entries[0].question, false);
    QCOMPARE(prompter_->entries[0].title, QStringLiteral("出错！"));
    QCOMPARE(prompter_->entries[0].text, QStringLiteral("文档路径包含与不包含必须输入一项！"));

    // The filter example on real files, plus a missing file that survives.
    touch(docs("2010/old.docx"));
    touch(docs("2010/final.docx"));
    touch(docs("2009/final.docx"));
    list().append(QStringList{docs("2010/old.docx"), docs("2010/final.docx"), docs("2009/final.docx"),
                              docs("gone/2009.docx")});
    bh->setText(QStringLiteral("2010"));
    bbh->setText(QStringLiteral("old"));
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(prompter_->entries.size(), 2);
    QCOMPARE(prompter_->entries[1].title, QStringLiteral("筛选"));
    QCOMPARE(prompter_->entries[1].text, QStringLiteral("文档筛选成功！"));
    QCOMPARE(entries(), (QStringList{docs("2010/final.docx"), docs("gone/2009.docx")}));
    QVERIFY(panel->isVisible());  // stays open
    QTest::mouseClick(exit, Qt::LeftButton);
    QVERIFY(!panel->isVisible());
  }

  void folderAddsThroughTheCommands() {
    // Long folder names are entered too.
    for (const char* f : {"a.doc", "b.docx", "c.ocx", "REPORT.DOC", "sub/d.docx", "abcdefghijklmnopqrst/e.docx",
                          "abcdefghijklmnopqrstu/f.docx"})
      touch(docs(f));
    const QString folder = docs_->path();  // without "/": the command appends it

    // Only docx ticked.
    w().chkHzm[0]->setChecked(false);
    addFolder(folder, false);
    QCOMPARE(entries(), QStringList{docs("b.docx")});
    // Both ticked, the same folder again: every document again.
    w().chkHzm[0]->setChecked(true);
    addFolder(folder, false);
    QCOMPARE(entries(), (QStringList{docs("b.docx"), docs("REPORT.DOC"), docs("a.doc"), docs("b.docx")}));
    w().m_clearSame->trigger();
    QCOMPARE(entries(), (QStringList{docs("b.docx"), docs("REPORT.DOC"), docs("a.doc")}));
    w().m_clearDocList->trigger();
    QCOMPARE(list().entryCount(), 0);

    // The tree add.
    addFolder(folder + QLatin1Char('/'), true);
    QStringList got = entries();
    for (const char* f : {"a.doc", "b.docx", "sub/d.docx", "abcdefghijklmnopqrst/e.docx", "abcdefghijklmnopqrstu/f.docx",
                          "REPORT.DOC"})
      QVERIFY2(got.contains(docs(f)), f);
    QCOMPARE(got.size(), 6);  // not c.ocx
    QVERIFY(prompter_->entries.isEmpty());

    // No suffix ticked: the refusal, and the chooser is not even asked.
    w().chkHzm[0]->setChecked(false);
    w().chkHzm[1]->setChecked(false);
    bool asked = false;
    w().setFolderChooser([&asked] {
      asked = true;
      return QString();
    });
    w().m_choosefolder->trigger();
    w().m_choosefolder2->trigger();
    QVERIFY(!asked);
    QCOMPARE(prompter_->entries.size(), 2);
    for (const auto& e : prompter_->entries) {
      QCOMPARE(e.title, QStringLiteral("出错了！"));
      QCOMPARE(e.text, QStringLiteral("请先选择文档后缀名！"));
    }
    // A cancelled chooser adds nothing.
    w().chkHzm[1]->setChecked(true);
    w().m_choosefolder->trigger();
    QVERIFY(asked);
    QVERIFY(!w().isScanning());
    QCOMPARE(list().entryCount(), 6);
  }

  void singleFileAdd() {
    touch(docs("b.docx"));
    touch(docs("REPORT.DOC"));
    touch(docs("note.txt"));
    QString chosen;
    w().setFileChooser([&chosen] { return chosen; });
    w().chkHzm[0]->setChecked(false);  // docx only
    w().chkHzm[1]->setChecked(true);
    // Not a chosen suffix (says why), not a document (says why), missing, cancelled.
    for (const QString& c : {docs("REPORT.DOC"), docs("note.txt"), docs("missing.docx"), QString()}) {
      chosen = c;
      w().m_choosefile->trigger();
    }
    QCOMPARE(list().entryCount(), 0);
    chosen = docs("b.docx");
    w().m_choosefile->trigger();
    QCOMPARE(entries(), QStringList{docs("b.docx")});
    QVERIFY(list().isTicked(0));
    QCOMPARE(prompter_->entries.size(), 2);  // REPORT.DOC and note.txt; a missing file or a cancel says nothing
    QVERIFY(prompter_->entries[0].text.contains(QStringLiteral("文件后缀名不是所选的文档后缀名（docx）")));
  }

  void treeScanLocksTheList() {
    // Enough files that the scan is still running when the command returns.
    for (int d = 0; d < 20; ++d)
      for (int i = 0; i < 100; ++i) touch(docs(QStringLiteral("d%1/f%2.docx").arg(d).arg(i)));
    w().setFolderChooser([this] { return docs(); });
    QSignalSpy spy(&w(), &MainWindow::scanFinished);
    w().m_choosefolder2->trigger();
    // Locked at once: the scan result comes through the event loop.
    QVERIFY(w().isLocked());
    QVERIFY(!w().lst_DocList->isEnabled());
    QVERIFY(!w().chkHzm[0]->isEnabled());
    QVERIFY(!w().lbl_select[0]->isEnabled());
    QVERIFY(!w().m_clearDocList->isEnabled());
    QVERIFY(spy.count() == 1 || spy.wait(20000));
    QCOMPARE(spy.first().first().toInt(), 2000);
    QCOMPARE(list().entryCount(), 2000);
    QVERIFY(!w().isLocked());
    QVERIFY(w().lst_DocList->isEnabled());
    QVERIFY(w().lbl_select[0]->isEnabled());
    QVERIFY(w().m_clearDocList->isEnabled());
    QCOMPARE(w().stb_panel[2]->text(), QStringLiteral("2000|2000"));
  }

  void statusBar() {
    auto* bar = child<QStatusBar>(w(), "stb_print");
    QVERIFY(bar);
    QLabel* p[3];
    for (int i = 0; i < 3; ++i) {
      p[i] = child<QLabel>(w(), qPrintable(QStringLiteral("stb_print_%1").arg(i)));
      QVERIFY(p[i]);
      QCOMPARE(w().stb_panel[i], p[i]);
    }
    QVERIFY(!p[0]->text().isEmpty());
    QCOMPARE(p[1]->toolTip(), QStringLiteral("当前电脑时间"));
    QCOMPARE(p[2]->toolTip(), QStringLiteral("已勾选文档数|所有文档数"));
    QCOMPARE(p[2]->text(), QStringLiteral("0|0"));
    QCOMPARE(p[1]->text(), MainWindow::clockText());
    // Widths 62/23/15.
    const double total = p[0]->width() + p[1]->width() + p[2]->width(), share[3] = {0.62, 0.23, 0.15};
    for (int i = 0; i < 3; ++i) QVERIFY2(qAbs(p[i]->width() / total - share[i]) < 0.03, qPrintable(QString::number(i)));
    auto* tim = w().findChild<QTimer*>(QStringLiteral("tim_sta"));
    QVERIFY(tim && tim->isActive());

    QStringList ten;
    for (int i = 0; i < 10; ++i) ten << QStringLiteral("/x/%1.docx").arg(i);
    list().append(ten);
    for (int i = 3; i < 10; ++i) list().setTicked(i, false);
    QCOMPARE(p[2]->text(), QStringLiteral("3|10"));
    QCOMPARE(w().tickedCount(), 3);
    QCOMPARE(w().entryCount(), 10);
    // The list's tool tip: the path of the entry under the pointer.
    QListView* view = w().lst_DocList;
    const QRect r = view->visualRect(list().index(2));
    QHelpEvent he(QEvent::ToolTip, r.center(), view->viewport()->mapToGlobal(r.center()));
    QApplication::sendEvent(view->viewport(), &he);
    QCOMPARE(view->toolTip(), QStringLiteral("/x/2.docx"));
  }

  void requireDocumentsRefusal() {
    QVERIFY(!w().requireDocuments());
    QCOMPARE(prompter_->entries.size(), 1);
    QCOMPARE(prompter_->entries[0].title, QStringLiteral("出错了！"));
    QCOMPARE(prompter_->entries[0].text, QStringLiteral("请先添加文档，并勾选你要操作的文档！"));
    list().append(QStringList{"/x/a.docx"});
    QVERIFY(w().requireDocuments());
  }

  void hundredThousandEntries() {
    QListView* view = w().lst_DocList;
    QVERIFY(view->uniformItemSizes());
    QStringList many;
    many.reserve(100000);
    for (int i = 0; i < 100000; ++i) many << QStringLiteral("/data/docs/folder%1/document%2.docx").arg(i / 100).arg(i);
    list().append(many);  // its speed: bench/doclist
    QCoreApplication::processEvents();
    view->scrollToBottom();
    QCoreApplication::processEvents();
    view->scrollToTop();
    QCoreApplication::processEvents();
    QCOMPARE(view->model()->rowCount(), 100000);
    QCOMPARE(w().stb_panel[2]->text(), QStringLiteral("100000|100000"));
  }

  // --- the progress area during runs --------------------------------------------------------

  void runLocksAndButtons() {
    addDocuments("r", 3);
    auto gate = std::make_shared<std::atomic<int>>(0);  // documents allowed to finish
    auto started = std::make_shared<std::atomic<int>>(0);
    vm::Operation op = testOperation([gate, started](const QString&) -> QString {
      const int mine = ++*started;
      waitUntil([&] { return gate->load() >= mine; });
      return {};
    });
    vm::RunFrame& frame = app_->runFrame();
    QVERIFY(frame.start(op));
    QCoreApplication::processEvents();

    auto* area = child<QGroupBox>(w(), "frmLoadDocList");
    auto* pause = child<QPushButton>(w(), "cmdPauseDo");
    auto* stop = child<QPushButton>(w(), "cmdStopDo");
    QTRY_VERIFY(area->isVisible());
    QCOMPARE(child<QLabel>(w(), "Label1")->text(), QStringLiteral("当前处理文档:"));
    QCOMPARE(child<QLabel>(w(), "lblLoadN")->text(), QStringLiteral("进度条显示文档处理进程..."));
    QCOMPARE(child<QLabel>(w(), "lbl")->text(), QStringLiteral("正在启动文档引擎……"));
    QCOMPARE(child<QLabel>(w(), "lblAll")->text(), QStringLiteral("3"));
    QCOMPARE(child<QLabel>(w(), "lblNow")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLabel>(w(), "lblPer")->text(), QStringLiteral("0%"));
    QVERIFY(child<QLineEdit>(w(), "lblDqwj")->isReadOnly());
    QCOMPARE(child<QProgressBar>(w(), "proBFiles")->maximum(), 3);
    QCOMPARE(pause->text(), QStringLiteral("暂停操作"));
    QCOMPARE(stop->text(), QStringLiteral("停止操作"));
    QVERIFY(pause->isEnabled() && stop->isEnabled());

    // The locked set.
    auto lockedSetEnabled = [this]() {
      QList<QWidget*> set = {w().lst_DocList, w().txtTaskF, w().combTaskKind, w().chkHzm[0], w().chkHzm[1]};
      for (auto* l : w().lbl_select) set << l;
      int enabled = 0;
      for (QWidget* x : set) enabled += x->isEnabled() ? 1 : 0;
      return enabled;
    };
    QCOMPARE(lockedSetEnabled(), 0);
    QVERIFY(!w().cmdSaveTask->isEnabled());
    QVERIFY(w().isLocked());
    // The menus stay enabled (start commands refuse), list editing is off meanwhile.
    QVERIFY(w().m_exit->isEnabled());
    QVERIFY(!w().m_clearDocList->isEnabled());

    // Pause while the first document is in its routine.
    QTRY_COMPARE(started->load(), 1);
    QTest::mouseClick(pause, Qt::LeftButton);
    QTRY_COMPARE(pause->text(), QStringLiteral("继续操作"));
    QVERIFY(pause->isEnabled());
    QVERIFY(stop->isEnabled());  // a paused run may still be stopped
    gate->store(1);
    QVERIFY(frame.waitUntilSettled(20000));
    QTRY_COMPARE(frame.paused(), 1);
    QVERIFY(child<QLabel>(w(), "lbl")->text().startsWith(QStringLiteral("操作已暂停")));
    QCOMPARE(child<QLabel>(w(), "lblNow")->text(), QStringLiteral("1"));
    QCOMPARE(child<QLineEdit>(w(), "lblDqwj")->text(), docs("r0.docx"));
    QCOMPARE(child<QLineEdit>(w(), "lblDqwj")->cursorPosition(), docs("r0.docx").size());
    QVERIFY(area->isVisible());
    QCOMPARE(lockedSetEnabled(), 0);  // paused: still locked

    // Continue.
    QTest::mouseClick(pause, Qt::LeftButton);
    QTRY_COMPARE(pause->text(), QStringLiteral("暂停操作"));
    QTRY_VERIFY(stop->isEnabled());
    QCOMPARE(child<QLabel>(w(), "lbl")->text(), QStringLiteral("正在操作中，请稍后..."));
    gate->store(3);
    QVERIFY(frame.waitUntilSettled(20000));
    QTRY_VERIFY(!area->isVisible());
    QCOMPARE(child<QLabel>(w(), "lblNow")->text(), QStringLiteral("3"));
    QCOMPARE(lockedSetEnabled(), 10);
    QVERIFY(!w().isLocked());
    QVERIFY(w().m_clearDocList->isEnabled());
    QVERIFY(prompter_->entries.isEmpty());  // nothing to report
  }

  void stopButton() {
    addDocuments("s", 3);
    auto gate = std::make_shared<std::atomic<bool>>(false);
    auto calls = std::make_shared<std::atomic<int>>(0);
    vm::Operation op = testOperation(
        [gate, calls](const QString&) -> QString {
          ++*calls;
          waitUntil([&] { return gate->load(); });
          return {};
        },
        1);
    vm::RunFrame& frame = app_->runFrame();
    QVERIFY(frame.start(op));
    auto* area = child<QGroupBox>(w(), "frmLoadDocList");
    auto* pause = child<QPushButton>(w(), "cmdPauseDo");
    auto* stop = child<QPushButton>(w(), "cmdStopDo");
    QTRY_VERIFY(area->isVisible());
    QCOMPARE(child<QLabel>(w(), "lblNow")->text(), QStringLiteral("1"));  // initial count 1
    // A second start during the run is refused.
    QString refusal;
    QVERIFY(!frame.start(op, &refusal));
    QVERIFY(!refusal.isEmpty());

    QTRY_COMPARE(calls->load(), 1);  // stop while the first document is in its routine
    QTest::mouseClick(stop, Qt::LeftButton);
    QTRY_COMPARE(stop->text(), QStringLiteral("正在停止中,请稍后..."));
    QVERIFY(!stop->isEnabled());
    QVERIFY(!pause->isVisible());
    QVERIFY(!pause->isEnabled());
    QVERIFY(w().isLocked());
    gate->store(true);
    QVERIFY(frame.waitUntilSettled(20000));
    QTRY_VERIFY(!area->isVisible());
    QVERIFY(!w().isLocked());
    QVERIFY(w().lst_DocList->isEnabled());
    QCOMPARE(calls->load(), 1);
    // A new run resets the buttons.
    gate->store(true);
    QVERIFY(frame.start(op));
    QTRY_VERIFY(area->isVisible() || !frame.isBusy());
    QVERIFY(frame.waitUntilSettled(20000));
    QCOMPARE(stop->text(), QStringLiteral("停止操作"));
    QCOMPARE(pause->text(), QStringLiteral("暂停操作"));
  }

  // The summary box at the end of a run: for a failure (listing the missing files too), never
  // for missing files alone.
  void summaryAtTheEnd_data() {
    QTest::addColumn<bool>("failing");
    QTest::newRow("a failure") << true;
    QTest::newRow("a missing file alone") << false;
  }

  void summaryAtTheEnd() {
    QFETCH(bool, failing);
    addDocuments("f", 2);
    list().append(QStringList{docs("gone.docx")});
    vm::Operation op = testOperation([failing](const QString& path) -> QString {
      if (failing && path.endsWith(QLatin1String("f1.docx"))) throw std::runtime_error("坏文档");
      return {};
    });
    QVERIFY(app_->runFrame().start(op));
    QVERIFY(app_->runFrame().waitUntilSettled(20000));
    QTest::qWait(50);
    if (!failing) {
      QVERIFY(prompter_->entries.isEmpty());
      return;
    }
    QTRY_COMPARE(prompter_->entries.size(), 1);
    QCOMPARE(prompter_->entries[0].title, QStringLiteral("测试操作"));
    for (const QString& part : {docs("f1.docx"), QStringLiteral("坏文档"), docs("gone.docx")})
      QVERIFY2(prompter_->entries[0].text.contains(part), qPrintable(part));
  }

  void longSummaryInADialog() {
    const QStringList paths = addDocuments("bad", 30);
    vm::Operation op = testOperation([](const QString&) -> QString { throw std::runtime_error("坏文档"); });
    QString title, text;
    bool readOnly = false;
    auto* timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [&, timer] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal->objectName() != QStringLiteral("frmRunSummary")) return;
      timer->stop();
      title = modal->windowTitle();
      auto* edit = modal->findChild<QPlainTextEdit*>(QStringLiteral("txtSummary"));
      if (edit) {
        text = edit->toPlainText();
        readOnly = edit->isReadOnly();
      }
      static_cast<QDialog*>(modal)->accept();
    });
    timer->start();
    QVERIFY(app_->runFrame().start(op));
    QVERIFY(app_->runFrame().waitUntilSettled(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!title.isEmpty(), 10000);
    QCOMPARE(title, QStringLiteral("测试操作"));
    QVERIFY(readOnly);
    for (const QString& p : paths) QVERIFY(text.contains(p));
    QVERIFY(prompter_->entries.isEmpty());
  }

  // Exit during a paused run asks first: Cancel keeps the run; OK ends it and shows what was done.
  void exitDuringARunAsksThenStopsAndShowsTheSummary() {
    addDocuments("x", 2);
    auto gate = std::make_shared<std::atomic<bool>>(false);
    auto started = std::make_shared<std::atomic<int>>(0);
    vm::Operation op = testOperation([gate, started](const QString&) -> QString {
      ++*started;
      waitUntil([&] { return gate->load(); });
      throw std::runtime_error("坏文档");
    });
    vm::RunFrame& frame = app_->runFrame();
    QVERIFY(frame.start(op));
    QTRY_COMPARE(started->load(), 1);
    frame.pauseOrContinue();
    gate->store(true);
    QVERIFY(frame.waitUntilSettled(20000));
    QCOMPARE(frame.state(), vm::RunFrame::State::Paused);
    QVERIFY(w().m_exit->isEnabled());
    prompter_->answer = false;
    w().m_exit->trigger();
    QVERIFY(w().isVisible());
    QCOMPARE(frame.state(), vm::RunFrame::State::Paused);
    QCOMPARE(prompter_->entries.size(), 1);
    QVERIFY(prompter_->last().question);
    prompter_->answer = true;
    w().m_exit->trigger();
    QVERIFY(!w().isVisible());
    QCOMPARE(frame.state(), vm::RunFrame::State::Idle);
    QCOMPARE(prompter_->entries.size(), 3);
    QVERIFY(!prompter_->last().question);
    QVERIFY(prompter_->last().warning);  // a document failed
    QVERIFY(prompter_->last().text.contains(docs("x0.docx") + QStringLiteral("：坏文档")));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
