#include "app/mainwindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QToolTip>
#include <QVBoxLayout>

#include <exception>

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/engines.h"
#include "app/errorlog.h"
#include "app/folderscan.h"
#include "app/listcommands.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/runjournal.h"
#include "app/version.h"
#include "app/operation.h"
#include "app/windowpart.h"
#include "dialogs/filedialogs.h"
#include "dialogs/previewdialog.h"

namespace vm {

namespace {

// Twips of the original layout to pixels (96 dpi: 15 twips a pixel).
constexpr int twips(int t) { return t / 15; }

// A summary longer than this many lines is shown in a read-only dialog instead of a message box.
constexpr int kSummaryBoxLines = 15;

// Status panel 1: the fixed notice text .
const char* const kNotice = "勾选要处理的文档，再从菜单选择批量操作。";

// The list-editing commands: disabled while the list is locked, like the locked set, so
// that nothing edits the list under a running worker or scan.
const char* const kListCommands[] = {"m_choosefile", "m_choosefolder", "m_choosefolder2", "m_clearDocList",
                                     "m_selAll",     "m_delSelList",   "m_clearSame"};

struct ItemSpec {
  QAction* MainWindow::*member;  // null for an unnamed separator
  const char* name;              // objectName; separators too
  const char* caption;           // null for a separator
};

struct MenuSpec {
  QMenu* MainWindow::*member;
  const char* name;
  const char* caption;
  std::vector<ItemSpec> items;
};

#define VM_ITEM(n, c) ItemSpec{&MainWindow::n, #n, c}
#define VM_SEP(n) ItemSpec{nullptr, n, nullptr}

// The menu table, in order, with separators between groups of related items.
std::vector<MenuSpec> menuTable() {
  return {
      {&MainWindow::m_file_do, "m_file_do", "文件",
       {VM_ITEM(m_choosefile, "选择单个文档"), VM_ITEM(m_choosefolder, "选择文件夹"),
        VM_ITEM(m_choosefolder2, "选择文件夹(包含子文件夹)"), VM_SEP("m_blankFile1"),
        VM_ITEM(m_clearDocList, "清空所有文档"), VM_ITEM(m_selAll, "选择所有文档"),
        VM_ITEM(m_delSelList, "删除已选文档"), VM_ITEM(m_clearSame, "清理重复文档"), VM_SEP("m_blankFile2"),
        VM_ITEM(m_windowFront, "窗口置前"), VM_SEP("m_blankFile3"), VM_ITEM(m_exit, "退出")}},
      {&MainWindow::m_replace, "m_replace", "替换",
       {VM_ITEM(m_replaceSetup, "替换规则设置"), VM_SEP("m_blankRep1"), VM_ITEM(m_rep_task, "保存为任务"),
        VM_SEP("m_blankRep2"), VM_ITEM(m_startDocRep, "开始替换"), VM_ITEM(m_rep_print, "开始替换并打印")}},
      {&MainWindow::m_create, "m_create", "生成",
       {VM_ITEM(m_fNameSetup, "文档名设置"), VM_ITEM(m_createSetup, "数据库设置"),
        VM_ITEM(m_createRep, "替换规则设置"), VM_SEP("m_blankCre1"), VM_ITEM(m_cre_task, "保存为任务"),
        VM_SEP("m_blankCre2"), VM_ITEM(m_startCreate, "开始生成"), VM_ITEM(m_create_print, "开始生成并打印")}},
      {&MainWindow::m_print, "m_print", "打印",
       {VM_ITEM(m_print_setup, "打印参数设置"), VM_SEP("m_blankPrint1"), VM_ITEM(m_print_task, "保存为任务"),
        VM_SEP("m_blankPrint2"), VM_ITEM(m_startPrint, "开始打印")}},
      {&MainWindow::m_task, "m_task", "任务",
       {VM_ITEM(m_task_add, "添加批量任务"), VM_SEP("m_blankTask1"), VM_ITEM(m_task_start, "开始批量任务")}},
      {&MainWindow::m_hbfg, "m_hbfg", "合并拆分",
       {VM_ITEM(m_hbsz, "文档合并设置"), VM_ITEM(m_hbsz_start, "批量合并文档"), VM_SEP("m_blankHbfg1"),
        VM_ITEM(m_fgSetup, "文档拆分设置"), VM_ITEM(m_fg_start, "批量拆分文档")}},
      {&MainWindow::m_conv, "m_conv", "转换",
       {VM_ITEM(m_htmlFileSetup, "保存路径"), ItemSpec{&MainWindow::m_blank2, "m_blank2", nullptr},
        VM_ITEM(m_convDoc, "转换为Word(Doc)"), VM_ITEM(m_convRtf, "转化为Rtf文档"),
        VM_ITEM(m_convTxt, "转换为文本(Txt)"), VM_ITEM(m_convUni, "转换为Unicode文本"),
        VM_ITEM(m_convHtml, "转换成网页(Html)"), VM_ITEM(m_convPdf, "转换为PDF"), VM_SEP("m_blank3"),
        VM_ITEM(m_jtzft, "简体转繁体"), VM_ITEM(m_ftzjt, "繁体转简体")}},
      {&MainWindow::m_name, "m_name", "更名",
       {VM_ITEM(m_rName, "文档名更改设置"), VM_ITEM(m_nameRep, "替换规则设置"), VM_SEP("m_blankName1"),
        VM_ITEM(m_StartRName, "开始批量更名")}},
      {&MainWindow::m_ymyj, "m_ymyj", "页眉页脚",
       {VM_ITEM(m_ymyjAddRuler, "页眉页脚增加设置"), VM_ITEM(m_ymAdd, "批量增加页眉"),
        VM_ITEM(m_yjAdd, "批量增加页脚"), VM_SEP("m_blankYmyj1"), VM_ITEM(m_ymDel, "批量删除页眉以及水印"),
        VM_ITEM(m_yjDel, "批量删除页脚"), VM_SEP("m_blankYmyj2"), VM_ITEM(m_ymyjRepRuler, "页眉页脚替换规则"),
        VM_ITEM(m_ymRepStart, "页眉批量替换"), VM_ITEM(m_yjRepStart, "页脚批量替换")}},
      {&MainWindow::m_other, "m_other", "其他",
       {VM_ITEM(m_sy_setup, "水印参数设置"), VM_ITEM(m_start_sy_add, "批量添加水印"),
        VM_ITEM(m_start_sy_del, "批量删除水印以及页眉"), VM_SEP("m_blankOther1"),
        VM_ITEM(m_pwd_setup, "密码设置"), VM_ITEM(m_pwd_start, "批量修改密码"), VM_SEP("m_blankOther2"),
        VM_ITEM(m_modify_info, "摘要信息设置"), VM_ITEM(m_start_modify_info, "批量修改摘要"),
        VM_SEP("m_blankOther3"), VM_ITEM(m_start_del_pz, "批量删除批注"), VM_ITEM(m_wdqlSetup, "文档清理设置"),
        VM_ITEM(m_wdql, "批量清理文档"), VM_SEP("m_blankOther4"), VM_ITEM(m_wdtj, "文档统计")}},
      {&MainWindow::m_help, "m_help", "帮助",
       {VM_ITEM(m_about, "关于作者"), VM_SEP("m_blankHelp1"), VM_ITEM(m_updateOnl, "在线更新"),
        VM_ITEM(m_softDown, "软件下载")}},
  };
}

#undef VM_ITEM
#undef VM_SEP

QLabel* makeLabel(const QString& text, QWidget* parent, const char* name = nullptr) {
  auto* l = new QLabel(text, parent);
  if (name) l->setObjectName(QString::fromLatin1(name));
  return l;
}

// The run summary for long lists: a read-only text in a small dialog. With undo, a button
// "撤销本次操作" beside 确定; returns whether it was pressed.
bool showSummaryDialog(QWidget* parent, const QString& title, const QString& text, bool undo = false,
                       bool failed = false) {
  QDialog dlg(parent);
  dlg.setObjectName(QStringLiteral("frmRunSummary"));
  dlg.setWindowTitle(title);
  auto* lay = new QVBoxLayout(&dlg);
  if (failed) {
    auto* icon = new QLabel(&dlg);
    icon->setObjectName(QStringLiteral("imgWarning"));
    icon->setPixmap(dlg.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    lay->addWidget(icon);
  }
  auto* edit = new QPlainTextEdit(&dlg);
  edit->setObjectName(QStringLiteral("txtSummary"));
  edit->setReadOnly(true);
  edit->setPlainText(text);
  edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  lay->addWidget(edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dlg);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  // A long summary (a thousand documents) is worth keeping.
  QPushButton* save = buttons->addButton(QStringLiteral("保存为文本…"), QDialogButtonBox::ActionRole);
  save->setObjectName(QStringLiteral("cmdSaveSummary"));
  QObject::connect(save, &QPushButton::clicked, &dlg, [&dlg, title, text] {
    const QString file = chooseSaveFileDialog(&dlg, QStringLiteral("保存结果"), QStringLiteral("文本文件 (*.txt)"));
    if (file.isEmpty()) return;
    QSaveFile out(file);
    const QByteArray bytes = (title + QStringLiteral("\n\n") + text + QLatin1Char('\n')).toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
      QMessageBox::warning(&dlg, msg::titleError(), QStringLiteral("无法保存到 %1：%2").arg(file, out.errorString()));
  });
  bool undoPressed = false;
  if (undo) {
    QPushButton* b = buttons->addButton(QStringLiteral("撤销本次操作"), QDialogButtonBox::ActionRole);
    b->setObjectName(QStringLiteral("cmdUndoRun"));
    QObject::connect(b, &QPushButton::clicked, &dlg, [&] {
      undoPressed = true;
      dlg.accept();
    });
  }
  lay->addWidget(buttons);
  dlg.resize(640, 420);
  dlg.exec();
  return undoPressed;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// LinkLabel

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setCursor(Qt::PointingHandCursor);
  // Reachable with Tab and acts on Space or Enter, as a button does; a click leaves the focus
  // where it was (a tag link inserts at the caret of the field that has it).
  setFocusPolicy(Qt::TabFocus);
  restyle();
}

void LinkLabel::keyPressEvent(QKeyEvent* e) {
  const int k = e->key();
  if (isEnabled() && !e->isAutoRepeat() && (k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter)) {
    emit clicked();
    e->accept();
    return;
  }
  QLabel::keyPressEvent(e);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* e) {
  QLabel::mouseReleaseEvent(e);
  if (e->button() == Qt::LeftButton && isEnabled() && rect().contains(e->position().toPoint())) emit clicked();
}

void LinkLabel::changeEvent(QEvent* e) {
  QLabel::changeEvent(e);
  if (e->type() == QEvent::EnabledChange) restyle();
}

void LinkLabel::restyle() {
  // The dotted frame shows which link has the keyboard focus.
  setStyleSheet(isEnabled() ? QStringLiteral("QLabel { color: #1a5fb4; text-decoration: underline; "
                                             "border: 1px solid transparent; }"
                                             "QLabel:focus { border: 1px dotted #1a5fb4; }")
                            : QStringLiteral("QLabel { color: palette(mid); border: 1px solid transparent; }"));
}

// ---------------------------------------------------------------------------------------------
// MainWindow

MainWindow::MainWindow(AppContext& app, Prompter& prompter, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      list_(app.documents()),
      frame_(app.runFrame()),
      prompter_(prompter),
      log_(app.errorLog()) {
  setObjectName(QStringLiteral("frmPrint"));
  // The caption.
  setWindowTitle(productCaption());

  chooseFolder_ = [this]() -> QString {
    leaveFront();
    QString dir = chooseFolderDialog(this, msg::browseTitle());
    dir = dir.trimmed();
    if (dir.isEmpty()) return {};
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
  };
  chooseFile_ = [this]() -> QString {
    leaveFront();
    return chooseOpenFileDialog(this);
  };
  showSummary_ = [this](const RunSummary& s) { defaultShowSummary(s); };

  buildMenus();
  buildCentral();
  buildStatusBar();  // step 4
  connectFrame();
  bindListCommands();
  features_ = app_.engines().features();
  installWindowParts(*this);  // settings windows and rule lists
  bindOperations();           // every declared operation's menu items

  // Step 3: the counters (from the list as it is: empty at start-up).
  updateCounts(list_.tickedCount(), list_.entryCount());
  connect(&list_, &DocumentList::countsChanged, this, &MainWindow::updateCounts);

  // Step 6: the task type box.
  combTaskKind->addItems({QStringLiteral("替换任务"), QStringLiteral("生成任务"), QStringLiteral("打印任务")});
  combTaskKind->setCurrentIndex(-1);
  // Step 7.
  m_windowFront->setChecked(false);

  updateLockedSet();
  resize(860, 640);
}

MainWindow::~MainWindow() {
  // The scan (a child) cancels and joins its thread when it is destroyed.
  if (scan_) scan_->cancel();
}

bool MainWindow::isScanning() const { return scan_ && scan_->isRunning(); }

// --- menus -------------------------------------------------------------------------------

void MainWindow::buildMenus() {
  for (const MenuSpec& ms : menuTable()) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(ms.caption));
    menu->setObjectName(QString::fromLatin1(ms.name));
    menu->setSeparatorsCollapsible(true);
    this->*(ms.member) = menu;
    for (const ItemSpec& is : ms.items) {
      QAction* a = nullptr;
      if (is.caption) {
        a = menu->addAction(QString::fromUtf8(is.caption));
        a->setEnabled(false);  // until an operation binds its command
        const QString name = QString::fromLatin1(is.name);
        connect(a, &QAction::triggered, this, [this, name] { runCommand(name); });
      } else {
        a = menu->addSeparator();
      }
      a->setObjectName(QString::fromLatin1(is.name));
      if (is.member) this->*(is.member) = a;
      items_.push_back(a);
    }
  }
  m_windowFront->setCheckable(true);
  m_windowFront->setChecked(false);
}

QList<QAction*> MainWindow::menuItems() const { return items_; }

QAction* MainWindow::menuItem(const QString& objectName) const {
  for (QAction* a : items_)
    if (a->objectName() == objectName) return a;
  return nullptr;
}

bool MainWindow::bindCommand(const QString& objectName, std::function<void()> handler) {
  QAction* a = menuItem(objectName);
  if (a && a->isSeparator()) return false;
  QAbstractButton* b = nullptr;
  if (!a) {
    b = findChild<QAbstractButton*>(objectName);
    if (!b) return false;
    const bool known = commands_.count(objectName) > 0;
    if (!known) connect(b, &QAbstractButton::clicked, this, [this, objectName] { runCommand(objectName); });
  }
  commands_[objectName] = std::move(handler);
  if (a) a->setEnabled(true);
  updateLockedSet();
  return true;
}

bool MainWindow::bindWindowCommand(const QString& objectName, std::function<void()> handler) {
  return bindCommand(objectName, [this, handler = std::move(handler)] {
    leaveFront();
    handler();
  });
}

bool MainWindow::isBound(const QString& objectName) const { return commands_.count(objectName) > 0; }

void MainWindow::runCommand(const QString& objectName) {
  auto it = commands_.find(objectName);
  if (it == commands_.end()) return;
  // Keep a copy: a handler may rebind its own command.
  auto handler = it->second;
  try {
    handler();
  } catch (const std::exception& e) {
    log_.record(QString::fromUtf8(e.what()));
  } catch (...) {
    log_.record(QStringLiteral("未知错误"));
  }
  // Every command handler ends with the error log writer, empty context.
  log_.write(QString());
}

void MainWindow::bindOperations() {
  for (const auto& decl : operations().all()) {
    for (const QString& item : decl->menuItems) {
      bindCommand(item, [this, d = decl.get()] {
        OperationEnv env{app_, prompter_, [this](const QString& settingsItem) { runCommand(settingsItem); },
                         [this](const QString& title, const DocumentRoutine& preview) {
                           return confirmPreview(this, app_.documents(), title, preview);
                         }};
        startOperation(*d, env, features_, [this] { return isScanning() || scanLocked_; });
      });
    }
  }
  applyFeatures();
}

void MainWindow::applyFeatures() {
  // An operation the installed engines cannot do is disabled; its tip says what is missing.
  for (const auto& decl : operations().all()) {
    const std::optional<Refusal> missing = missingFeatures(*decl, features_);
    for (const QString& item : decl->menuItems + decl->settingsItems) {
      QAction* a = menuItem(item);
      if (!a || !isBound(item)) continue;
      a->setEnabled(!missing);
      a->setStatusTip(missing ? missing->text : QString());
      a->setToolTip(missing ? missing->text : a->text());
    }
  }
}

void MainWindow::applyEngines() {
  features_ = app_.engines().features();
  applyEngineCheck(app_.engines().officeUsable());
}

void MainWindow::applyEngineCheck(bool officeUsable) {
  // Without the office, .doc files cannot be opened: the "doc" box is unticked and hidden.
  chkHzm[0]->setChecked(officeUsable);
  chkHzm[0]->setVisible(officeUsable);
  chkHzm[1]->setChecked(true);
  applyFeatures();
}

// --- keep in front -------------------------------------------------------------------------

void MainWindow::setFront(bool front) {
  if (front == isFront()) return;
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, front);
  // Changing the flags of a shown window hides it; show it again where it was.
  if (shown) show();
}

bool MainWindow::isFront() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void MainWindow::leaveFront() {
  m_windowFront->setChecked(false);
  setFront(false);
}

// --- central area ---------------------------------------------------------------------------

void MainWindow::buildCentral() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("centralWidget"));
  auto* root = new QVBoxLayout(central);
  root->setContentsMargins(8, 8, 8, 4);
  root->setSpacing(6);

  // The document list frame.
  fraDoc = new QGroupBox(QStringLiteral("文 件 列 表"), central);
  fraDoc->setObjectName(QStringLiteral("fraDoc"));
  auto* docLay = new QVBoxLayout(fraDoc);
  docLay->setSpacing(6);

  auto* suffixRow = new QHBoxLayout;
  suffixRow->addWidget(makeLabel(QStringLiteral("请选择文件后缀名："), fraDoc, "lblHzm"));
  const char* suffixCaptions[2] = {"doc", "docx"};
  for (int i = 0; i < 2; ++i) {
    chkHzm[i] = new QCheckBox(QString::fromLatin1(suffixCaptions[i]), fraDoc);
    chkHzm[i]->setObjectName(QStringLiteral("chkHzm_%1").arg(i));
    chkHzm[i]->setChecked(true);
    connect(chkHzm[i], &QCheckBox::toggled, this, [this] { list_.setChosenSuffixes(suffixList()); });
    suffixRow->addWidget(chkHzm[i]);
  }
  suffixRow->addSpacing(12);
  auto* hint = makeLabel(QStringLiteral("添加文件时会根据所选后缀名添加对应的文件。"), fraDoc, "lblHzmTip");
  hint->setStyleSheet(QStringLiteral("color: palette(dark);"));
  suffixRow->addWidget(hint);
  suffixRow->addStretch(1);
  docLay->addLayout(suffixRow);

  lst_DocList = new QListView(fraDoc);
  lst_DocList->setObjectName(QStringLiteral("lst_DocList"));
  lst_DocList->setModel(&list_);
  lst_DocList->setUniformItemSizes(true);  // 100,000 entries and more scroll smoothly
  lst_DocList->setLayoutMode(QListView::SinglePass);
  lst_DocList->setSelectionMode(QAbstractItemView::SingleSelection);
  lst_DocList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lst_DocList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  lst_DocList->setMouseTracking(true);
  lst_DocList->viewport()->installEventFilter(this);
  // Files and folders dropped from the file manager join the list.
  lst_DocList->setAcceptDrops(true);
  lst_DocList->viewport()->setAcceptDrops(true);
  connect(lst_DocList, &QListView::doubleClicked, this, [this](const QModelIndex& idx) {
    if (!idx.isValid()) return;
    const QString path = list_.at(idx.row()).path;
    if (!QFileInfo(path).isFile()) {
      prompter_.inform(msg::titleError(), QStringLiteral("文档不存在：%1").arg(path));
      return;
    }
    if (openDocument_)
      openDocument_(path);
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
      prompter_.inform(msg::titleError(), QStringLiteral("没有可以打开该文档的程序：%1").arg(path));
  });
  docLay->addWidget(lst_DocList, 1);

  auto* linkRow = new QHBoxLayout;
  lbl_notice = makeLabel(msg::listNotice(), fraDoc, "lbl_notice");
  lbl_notice->setStyleSheet(QStringLiteral("color: #a51d2d;"));
  linkRow->addWidget(lbl_notice);
  linkRow->addStretch(1);
  const char* linkCaptions[5] = {"全 选", "全不选", "反 选", "删 除", "筛 选"};
  for (int i = 0; i < 5; ++i) {
    lbl_select[i] = new LinkLabel(QString::fromUtf8(linkCaptions[i]), fraDoc);
    lbl_select[i]->setObjectName(QStringLiteral("lbl_select_%1").arg(i));
    connect(lbl_select[i], &LinkLabel::clicked, this, [this, i] {
      selectLink(i);
      log_.write(QString());
    });
    linkRow->addSpacing(10);
    linkRow->addWidget(lbl_select[i]);
  }
  docLay->addLayout(linkRow);

  // The filter panel, hidden until "筛 选".
  fra_zdy = new QGroupBox(QStringLiteral("文档批量筛选"), fraDoc);
  fra_zdy->setObjectName(QStringLiteral("fra_zdy"));
  auto* fl = new QGridLayout(fra_zdy);
  txtBh = new QLineEdit(fra_zdy);
  txtBh->setObjectName(QStringLiteral("txtBh"));
  txtBbh = new QLineEdit(fra_zdy);
  txtBbh->setObjectName(QStringLiteral("txtBbh"));
  chkQfdxx = new QCheckBox(QStringLiteral("文档路径区分大小写"), fra_zdy);
  chkQfdxx->setObjectName(QStringLiteral("chkQfdxx"));
  cmdSxStart = new QPushButton(QStringLiteral("进行筛选"), fra_zdy);
  cmdSxStart->setObjectName(QStringLiteral("cmdSxStart"));
  cmdSxExit = new QPushButton(QStringLiteral("退出筛选"), fra_zdy);
  cmdSxExit->setObjectName(QStringLiteral("cmdSxExit"));
  fl->addWidget(makeLabel(QStringLiteral("文档路径必须包含："), fra_zdy, "lblBh"), 0, 0);
  fl->addWidget(txtBh, 0, 1);
  fl->addWidget(makeLabel(QStringLiteral("文档路径不得含有："), fra_zdy, "lblBbh"), 1, 0);
  fl->addWidget(txtBbh, 1, 1);
  fl->addWidget(chkQfdxx, 2, 1);
  auto* fbuttons = new QVBoxLayout;
  fbuttons->addWidget(cmdSxStart);
  fbuttons->addWidget(cmdSxExit);
  fbuttons->addStretch(1);
  fl->addLayout(fbuttons, 0, 2, 3, 1);
  fl->setColumnStretch(1, 1);
  fra_zdy->setVisible(false);
  connect(cmdSxStart, &QPushButton::clicked, this, [this] {
    filterCommand();
    log_.write(QString());
  });
  connect(cmdSxExit, &QPushButton::clicked, fra_zdy, &QWidget::hide);
  docLay->addWidget(fra_zdy);

  root->addWidget(fraDoc, 1);

  // The progress area of the run frame, hidden until a run starts.
  frmLoadDocList = new QGroupBox(central);
  frmLoadDocList->setObjectName(QStringLiteral("frmLoadDocList"));
  auto* pl = new QGridLayout(frmLoadDocList);
  Label1 = makeLabel(QStringLiteral("当前处理文档:"), frmLoadDocList, "Label1");
  lblDqwj = new QLineEdit(frmLoadDocList);
  lblDqwj->setObjectName(QStringLiteral("lblDqwj"));
  lblDqwj->setReadOnly(true);
  proBFiles = new QProgressBar(frmLoadDocList);
  proBFiles->setObjectName(QStringLiteral("proBFiles"));
  proBFiles->setTextVisible(false);
  proBFiles->setRange(0, 0);
  proBFiles->setMinimum(0);
  proBFiles->setMaximum(1);
  proBFiles->setValue(0);
  lblNow = makeLabel(QStringLiteral("0"), frmLoadDocList, "lblNow");
  lblAll = makeLabel(QStringLiteral("0"), frmLoadDocList, "lblAll");
  lblPer = makeLabel(QStringLiteral("0%"), frmLoadDocList, "lblPer");
  lblLoadN = makeLabel(QStringLiteral("进度条显示文档处理进程..."), frmLoadDocList, "lblLoadN");
  lbl = makeLabel(QStringLiteral("正在操作中，请稍后..."), frmLoadDocList, "lbl");
  lbl->setStyleSheet(QStringLiteral("color: #a51d2d;"));
  cmdPauseDo = new QPushButton(QStringLiteral("暂停操作"), frmLoadDocList);
  cmdPauseDo->setObjectName(QStringLiteral("cmdPauseDo"));
  cmdStopDo = new QPushButton(QStringLiteral("停止操作"), frmLoadDocList);
  cmdStopDo->setObjectName(QStringLiteral("cmdStopDo"));
  cmdStopDo->setMinimumWidth(twips(1215));
  pl->addWidget(Label1, 0, 0);
  pl->addWidget(lblDqwj, 0, 1, 1, 5);
  pl->addWidget(lblLoadN, 1, 0);
  pl->addWidget(proBFiles, 1, 1);
  auto* counts = new QHBoxLayout;
  counts->setSpacing(2);
  counts->addWidget(lblNow);
  counts->addWidget(makeLabel(QStringLiteral("/"), frmLoadDocList, "lblSlash"));
  counts->addWidget(lblAll);
  counts->addSpacing(8);
  counts->addWidget(lblPer);
  pl->addLayout(counts, 1, 2);
  pl->addWidget(lbl, 2, 0, 1, 2);
  auto* runButtons = new QHBoxLayout;
  runButtons->addStretch(1);
  runButtons->addWidget(cmdPauseDo);
  runButtons->addWidget(cmdStopDo);
  pl->addLayout(runButtons, 2, 2, 1, 4);
  pl->setColumnStretch(1, 1);
  frmLoadDocList->setVisible(false);
  root->addWidget(frmLoadDocList);

  // The task box (its commands come with the tasks).
  auto* taskBox = new QGroupBox(QStringLiteral("任务"), central);
  taskBox->setObjectName(QStringLiteral("fraTask"));
  auto* tl = new QHBoxLayout(taskBox);
  tl->addWidget(makeLabel(QStringLiteral("请输入任务名称："), taskBox, "lblTaskF"));
  txtTaskF = new QLineEdit(taskBox);
  txtTaskF->setObjectName(QStringLiteral("txtTaskF"));
  txtTaskF->setToolTip(QStringLiteral("在保存任务时会用到这里的任务名称。"));
  tl->addWidget(txtTaskF, 2);
  tl->addSpacing(10);
  tl->addWidget(makeLabel(QStringLiteral("请输入任务类型："), taskBox, "lblTaskKind"));
  combTaskKind = new QComboBox(taskBox);
  combTaskKind->setObjectName(QStringLiteral("combTaskKind"));
  combTaskKind->setPlaceholderText(QStringLiteral("请选择任务类型"));
  combTaskKind->setMinimumWidth(130);
  tl->addWidget(combTaskKind, 1);
  tl->addSpacing(10);
  cmdSaveTask = new QPushButton(QStringLiteral("保存任务"), taskBox);
  cmdSaveTask->setObjectName(QStringLiteral("cmdSaveTask"));
  tl->addWidget(cmdSaveTask);
  root->addWidget(taskBox);

  setCentralWidget(central);

  // Tab follows the screen: top to bottom, left to right.
  QList<QWidget*> chain = {chkHzm[0], chkHzm[1], lst_DocList};
  for (LinkLabel* l : lbl_select) chain << l;
  chain << txtBh << txtBbh << chkQfdxx << cmdSxStart << cmdSxExit << lblDqwj << cmdPauseDo << cmdStopDo << txtTaskF
        << combTaskKind << cmdSaveTask;
  for (qsizetype i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (lst_DocList && watched == lst_DocList->viewport() &&
      (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove || e->type() == QEvent::Drop)) {
    auto* de = static_cast<QDropEvent*>(e);
    QStringList files, folders;
    for (const QUrl& url : de->mimeData()->urls()) {
      if (!url.isLocalFile()) continue;
      const QString path = url.toLocalFile();
      (QFileInfo(path).isDir() ? folders : files) << path;
    }
    if ((files.isEmpty() && folders.isEmpty()) || isLocked()) {
      e->ignore();
      return true;
    }
    de->acceptProposedAction();
    if (e->type() == QEvent::Drop) dropPaths(files, folders);
    return true;
  }
  if (lst_DocList && watched == lst_DocList->viewport() && e->type() == QEvent::ToolTip) {
    // The list's tool tip: the path of the entry under the pointer.
    auto* he = static_cast<QHelpEvent*>(e);
    const QModelIndex idx = lst_DocList->indexAt(he->pos());
    if (idx.isValid()) {
      const QString path = list_.at(idx.row()).path;
      lst_DocList->setToolTip(path);
      QToolTip::showText(he->globalPos(), path, lst_DocList->viewport());
    } else {
      lst_DocList->setToolTip(QString());
      QToolTip::hideText();
      e->ignore();
    }
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

// --- status bar ----------------------------------------------------------------------------

void MainWindow::buildStatusBar() {
  stb_print = statusBar();
  stb_print->setObjectName(QStringLiteral("stb_print"));
  stb_print->setSizeGripEnabled(false);
  // Widths 62 %, 23 % and 15 % of 99 % of the window: stretch factors over ignored size hints.
  const int stretch[3] = {62, 23, 15};
  for (int i = 0; i < 3; ++i) {
    auto* p = new QLabel(stb_print);
    p->setObjectName(QStringLiteral("stb_print_%1").arg(i));
    p->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    p->setFrameShape(QFrame::NoFrame);
    p->setContentsMargins(4, 0, 4, 0);
    stb_print->addWidget(p, stretch[i]);
    stb_panel[i] = p;
  }
  stb_panel[0]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  stb_panel[0]->setText(QString::fromUtf8(kNotice));
  for (int i = 1; i < 3; ++i)
    stb_panel[i]->setStyleSheet(QStringLiteral("QLabel { border-left: 1px solid #a8a8a8; }"));
  stb_panel[1]->setAlignment(Qt::AlignCenter);
  stb_panel[1]->setToolTip(QStringLiteral("当前电脑时间"));
  stb_panel[2]->setAlignment(Qt::AlignCenter);
  stb_panel[2]->setToolTip(QStringLiteral("已勾选文档数|所有文档数"));
  stb_print->setMinimumHeight(stb_print->sizeHint().height());

  // tim_sta: the original recounted the list every 10 ms; here the counts follow the list's
  // countsChanged signal and the timer only refreshes the clock, once a second.
  tim_sta = new QTimer(this);
  tim_sta->setObjectName(QStringLiteral("tim_sta"));
  tim_sta->setInterval(1000);
  connect(tim_sta, &QTimer::timeout, this, &MainWindow::updateClock);
  tim_sta->start();
  updateClock();
}

QString MainWindow::clockText() {
  // As a Chinese user writes it, whatever the system locale (an English one gives "12/7/26").
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy年M月d日 HH:mm:ss"));
}

void MainWindow::updateClock() { stb_panel[1]->setText(clockText()); }

void MainWindow::updateCounts(int ticked, int entries) {
  tickedCount_ = ticked;
  entryCount_ = entries;
  stb_panel[2]->setText(QStringLiteral("%1|%2").arg(ticked).arg(entries));
}

bool MainWindow::requireDocuments() {
  if (tickedCount_ < 1 || entryCount_ < 1) {
    prompter_.inform(msg::titleRefused(), msg::noDocuments());
    return false;
  }
  return true;
}

// --- locking ---------------------------------------------------------------------------------

void MainWindow::updateLockedSet() {
  const bool locked = isLocked();
  // The locked set.
  lst_DocList->setEnabled(!locked);
  txtTaskF->setEnabled(!locked);
  for (LinkLabel* l : lbl_select) l->setEnabled(!locked);
  for (QCheckBox* c : chkHzm) c->setEnabled(!locked);
  combTaskKind->setEnabled(!locked);
  // cmdSaveTask is in the set, and has no command until the tasks bind it.
  cmdSaveTask->setEnabled(!locked && isBound(QStringLiteral("cmdSaveTask")));
  // Beyond the set: nothing edits the list under a worker or a scan.
  for (const char* name : kListCommands) {
    QAction* a = menuItem(QString::fromLatin1(name));
    if (a) a->setEnabled(!locked && isBound(a->objectName()));
  }
  cmdSxStart->setEnabled(!locked);
}

// --- list commands --------------------------------------------------------------------------

QString MainWindow::suffixList() const {
  return DocumentList::suffixList(chkHzm[0]->isChecked(), chkHzm[1]->isChecked());
}

void MainWindow::bindListCommands() {
  bindCommand(QStringLiteral("m_choosefile"), [this] { chooseFileCommand(); });
  bindCommand(QStringLiteral("m_choosefolder"), [this] { chooseFolderCommand(false); });
  bindCommand(QStringLiteral("m_choosefolder2"), [this] { chooseFolderCommand(true); });
  bindCommand(QStringLiteral("m_clearDocList"), [this] {
    if (!isLocked()) listcmd::clearList(app_, prompter_);
  });
  bindCommand(QStringLiteral("m_selAll"), [this] { selectLink(0); });
  bindCommand(QStringLiteral("m_delSelList"), [this] { selectLink(3); });
  bindCommand(QStringLiteral("m_clearSame"), [this] {
    if (!isLocked()) listcmd::clearSame(app_, prompter_);
  });
  bindCommand(QStringLiteral("m_windowFront"), [this] { setFront(m_windowFront->isChecked()); });
  bindCommand(QStringLiteral("m_exit"), [this] { close(); });

  scan_ = new FolderScan(this);
  scan_->setObjectName(QStringLiteral("vmFolderScan"));
  connect(scan_, &FolderScan::finished, this, &MainWindow::finishScan);
  connect(scan_, &FolderScan::progress, this, [this](int found, const QString& folder) {
    stb_panel[0]->setText(QStringLiteral("正在读取文件夹（已找到 %1 个文档）：%2").arg(found).arg(folder));
  });
}

void MainWindow::chooseFileCommand() {
  if (isLocked()) return;
  const QString name = chooseFile_ ? chooseFile_() : QString();
  // The single-file add locks around its work too; it is short.
  scanLocked_ = true;
  updateLockedSet();
  listcmd::chooseFile(app_, prompter_, name, suffixList());
  scanLocked_ = false;
  updateLockedSet();
}

void MainWindow::chooseFolderCommand(bool tree) {
  if (isLocked()) return;
  if (!listcmd::canChangeList(app_, prompter_)) return;
  const QString suffixes = suffixList();
  if (!listcmd::checkSuffixChosen(prompter_, suffixes)) return;
  QString folder = chooseFolder_ ? chooseFolder_() : QString();
  folder = folder.trimmed();
  if (folder.isEmpty()) return;
  folder = DocumentList::folderWithSlash(folder);
  if (!QFileInfo(folder).isDir()) return;
  startScan(folder, tree);
}

// Dropped files are added as "选择单个文档" adds them (with the reason for one that does not
// qualify); dropped folders with their subfolders, one scan after the other.
void MainWindow::dropPaths(const QStringList& files, const QStringList& folders) {
  if (!listcmd::canChangeList(app_, prompter_)) return;
  const QString suffixes = suffixList();
  if (!listcmd::checkSuffixChosen(prompter_, suffixes)) return;
  for (const QString& f : files) listcmd::chooseFile(app_, prompter_, f, suffixes);
  if (folders.isEmpty()) return;
  const QStringList rest = folders.mid(1);
  if (!rest.isEmpty())
    connect(this, &MainWindow::scanFinished, this, [this, rest] { dropPaths({}, rest); }, Qt::SingleShotConnection);
  startScan(DocumentList::folderWithSlash(folders.first()), true);
}

void MainWindow::startScan(const QString& folder, bool tree) {
  // The scan runs off the GUI thread, so that the window keeps answering; the list is locked
  // meanwhile and receives the entries in one append at the end.
  scanLocked_ = true;
  updateLockedSet();
  stb_panel[0]->setText(QStringLiteral("正在读取文件夹，请稍后..."));
  if (!scan_->start(folder, suffixList(), tree)) {
    scanLocked_ = false;
    updateLockedSet();
    stb_panel[0]->setText(QString::fromUtf8(kNotice));
  }
}

void MainWindow::finishScan(const QStringList& paths, const QStringList& problems, bool /*cancelled*/) {
  int added = 0;
  if (!closing_) {
    list_.append(paths);
    added = static_cast<int>(paths.size());
  }
  scanLocked_ = false;
  updateLockedSet();
  stb_panel[0]->setText(QString::fromUtf8(kNotice));
  if (!problems.isEmpty()) log_.record(msg::notListed(problems));
  log_.write(QString());
  if (!problems.isEmpty() && !closing_) prompter_.inform(msg::titleNotListed(), msg::notListed(problems));
  emit scanFinished(added);
}

void MainWindow::selectLink(int index) {
  if (isLocked()) return;
  switch (index) {
    case 0:
      listcmd::selectAll(app_);
      break;
    case 1:
      listcmd::selectNone(app_);
      break;
    case 2:
      listcmd::invertSelection(app_);
      break;
    case 3:
      listcmd::deleteTicked(app_, prompter_);
      break;
    case 4:
      fra_zdy->setVisible(true);
      txtBh->setFocus();
      break;
    default:
      break;
  }
}

void MainWindow::filterCommand() {
  if (isLocked()) return;
  listcmd::filter(app_, prompter_, txtBh->text(), txtBbh->text(), chkQfdxx->isChecked());
}

void MainWindow::closeEvent(QCloseEvent* e) {
  // During a run: ask first; on OK the run stops after the documents in hand and its
  // summary shows what was done before the program ends.
  if (frame_.isBusy() && !closing_) {
    if (!prompter_.ask(msg::closeDuringRunTitle(), msg::closeDuringRun())) {
      e->ignore();
      return;
    }
    closing_ = true;
    if (scan_) scan_->cancel();
    frame_.stop();
    frame_.waitUntilSettled();
  }
  // m_exit and closing the window end the program; nothing is saved.
  closing_ = true;
  if (scan_) scan_->cancel();
  // The run ends with the window, without a summary box from inside the close (a paused run
  // ends at once; a running worker leaves before its next document and is joined at exit).
  disconnect(&frame_, &RunFrame::runFinished, this, &MainWindow::onRunFinished);
  if (frame_.isBusy()) frame_.stop();
  e->accept();
  QMainWindow::closeEvent(e);
  QCoreApplication::quit();
}

// --- progress area -----------------------------------------------------------------------

void MainWindow::connectFrame() {
  connect(&frame_, &RunFrame::viewChanged, this, &MainWindow::applyRunView);
  connect(&frame_, &RunFrame::lockChanged, this, [this](bool locked) {
    runLocked_ = locked;
    updateLockedSet();
  });
  connect(&frame_, &RunFrame::runFinished, this, &MainWindow::onRunFinished);
  connect(cmdPauseDo, &QPushButton::clicked, this, [this] {
    frame_.pauseOrContinue();
    log_.write(QString());
  });
  connect(cmdStopDo, &QPushButton::clicked, this, [this] {
    frame_.stop();
    log_.write(QString());
  });
  applyRunView(frame_.view());
}

void MainWindow::applyRunView(const RunView& v) {
  frmLoadDocList->setVisible(v.areaVisible);
  if (!v.statusText.isEmpty()) lbl->setText(v.statusText);
  if (lblDqwj->text() != v.currentPath) {
    lblDqwj->setText(v.currentPath);
    lblDqwj->setCursorPosition(static_cast<int>(v.currentPath.size()));  // caret at the end
  }
  lblNow->setText(QString::number(v.now));
  lblAll->setText(QString::number(v.all));
  proBFiles->setRange(qMin(v.min, v.all), qMax(v.all, 1));
  proBFiles->setValue(qBound(proBFiles->minimum(), v.now, proBFiles->maximum()));
  lblPer->setText(v.percent.isEmpty() ? QStringLiteral("0%") : v.percent);
  if (!v.pauseCaption.isEmpty()) cmdPauseDo->setText(v.pauseCaption);
  cmdPauseDo->setEnabled(v.pauseEnabled);
  cmdPauseDo->setVisible(v.pauseVisible);
  if (!v.stopCaption.isEmpty()) cmdStopDo->setText(v.stopCaption);
  cmdStopDo->setEnabled(v.stopEnabled);
  cmdStopDo->setVisible(v.stopVisible);
  cmdStopDo->setMinimumWidth(twips(v.stopWidth));
  if (runLocked_ != v.locked) {
    runLocked_ = v.locked;
    updateLockedSet();
  }
}

void MainWindow::onRunFinished(const RunSummary& summary) {
  if (showSummary_) showSummary_(summary);
}

void MainWindow::defaultShowSummary(const RunSummary& summary) {
  // Shown when a document failed or reported a line. Missing files alone are passed over
  // without a message; when there is a summary, it lists them too.
  bool news = summary.failures() > 0 || closing_;
  for (const DocumentResult& r : summary.results) news = news || !r.message.isEmpty();
  if (!news) return;
  const QString text = summary.text();
  if (text.trimmed().isEmpty()) return;
  const QString title = summary.title.isEmpty() ? productCaption() : summary.title;
  bool undo = false;
  const bool failed = summary.failures() > 0;
  if (summary.runId.isEmpty() && text.count(QLatin1Char('\n')) < kSummaryBoxLines) {
    if (failed)
      prompter_.warn(title, text);
    else
      prompter_.inform(title, text);
  } else if (summary.runId.isEmpty()) {
    leaveFront();
    showSummaryDialog(this, title, text, false, failed);
  } else if (text.count(QLatin1Char('\n')) < kSummaryBoxLines) {
    QMessageBox box(failed ? QMessageBox::Warning : QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("vmSummaryBox"));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    QPushButton* undoButton = box.addButton(QStringLiteral("撤销本次操作"), QMessageBox::ActionRole);
    undoButton->setObjectName(QStringLiteral("cmdUndoRun"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    undo = box.clickedButton() == undoButton;
  } else {
    leaveFront();
    undo = showSummaryDialog(this, title, text, true, failed);
  }
  if (undo) undoLastRun(summary.runId);
}

void MainWindow::undoLastRun(const QString& runId) {
  QList<UndoResult> results;
  QString error;
  if (!undoRun(app_.dataFolder().root() + QStringLiteral("/runs"), runId, &results, &error)) {
    prompter_.inform(QStringLiteral("撤销本次操作"), error);
    return;
  }
  QString text = QStringLiteral("撤销完成：共 %1 个文件。").arg(results.size());
  for (const UndoResult& r : results) text += QLatin1Char('\n') + r.path + QStringLiteral("：") + r.message;
  prompter_.inform(QStringLiteral("撤销本次操作"), text);
}

}  // namespace vm
