#pragma once
// The main window frmPrint: the full menu, the document list with its suffix
// boxes, selection links and filter panel, the task box, the progress area of the run frame
// and the status bar.
//
// Every control named in the design carries its name as objectName and as the member that holds
// it; control arrays (chkHzm, lbl_select, the status panels) are member arrays whose items are
// named NAME_0, NAME_1, ...
//
// Commands: every menu item exists from the start; an item is enabled only once its command
// is bound with bindCommand(objectName, handler). The window binds the list commands, every
// declared operation's menu items (app/operation.h) and the window parts (app/windowpart.h).
// Every handler runs through runCommand, which catches what the handler throws and ends with
// the error log writer.

#include <QLabel>
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <map>

#include "app/runframe.h"
#include "word/document.h"

class QAction;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vm {

class AppContext;
class DocumentList;
class ErrorLog;
class FolderScan;
class Prompter;

// A label used as a link button (the lbl_select array): emits clicked() on a left click, or
// on Space or Enter when it has the focus (Tab reaches it). Disabled, it takes no clicks.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  void restyle();
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Start-up steps 2 to 4, 6 and 7 (the context did 3, 5 and 8). The window
  // does not own its arguments; both outlive it.
  MainWindow(AppContext& app, Prompter& prompter, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- command registry ------------------------------------------------------------------
  // Binds the command of the menu item (or button, e.g. cmdSaveTask) named objectName and
  // enables it. Returns false when no such item exists.
  bool bindCommand(const QString& objectName, std::function<void()> handler);
  // The same for a command that opens another window (a settings or rule window): the
  // window leaves the topmost band (leaveFront) before the handler runs.
  bool bindWindowCommand(const QString& objectName, std::function<void()> handler);
  bool isBound(const QString& objectName) const;
  // Runs the bound command of objectName as a click would (for the task runner and tests).
  void runCommand(const QString& objectName);
  // Every menu item, in menu order (separators included), and one by name.
  QList<QAction*> menuItems() const;
  QAction* menuItem(const QString& objectName) const;

  // --- start-up -------------------------------------------------------------------------
  // The engine check at start-up: with the office usable, both suffix boxes are ticked;
  // without, the "doc" box is unticked and hidden. Every operation whose engine features are
  // not installed is disabled (menu items and settings items), its tip naming what is missing.
  void applyEngineCheck(bool officeUsable);
  // The same from the context's engine status (its features too).
  void applyEngines();
  // The engine features the operations are checked against (tests).
  const word::FeatureSet& features() const { return features_; }
  void setFeatures(const word::FeatureSet& features) {
    features_ = features;
    applyFeatures();
  }

  // --- keep in front ----------------------------------------------------------------------
  // Unticks m_windowFront and takes the window out of the topmost band. Every command that
  // opens another window or asks a question calls it first.
  void leaveFront();
  bool isFront() const;

  // --- document list ---------------------------------------------------------------------
  // The suffix list of the ticked suffix boxes ("doc,docx,").
  QString suffixList() const;
  // TickedCount and EntryCount (kept from the list's countsChanged signal).
  int tickedCount() const { return tickedCount_; }
  int entryCount() const { return entryCount_; }
  // The refusal of the start commands when the counts are below 1: returns false after
  // "请先添加文档，并勾选你要操作的文档！" (title "出错了！").
  bool requireDocuments();
  // Whether the list is locked (a run or a list-building scan is in progress).
  bool isLocked() const { return runLocked_ || scanLocked_; }
  bool isScanning() const;

  // Test hooks and seams: the folder and file choosers (defaults: QFileDialog; a chosen
  // folder ends with "/"; an empty text is a cancel), and what shows a run summary (default:
  // a message box through the Prompter for short texts, a read-only dialog for long lists).
  void setFolderChooser(std::function<QString()> f) { chooseFolder_ = std::move(f); }
  void setFileChooser(std::function<QString()> f) { chooseFile_ = std::move(f); }
  // Opens a document of the list (a double-click): by default with the desktop's own program.
  void setDocumentOpener(std::function<void(const QString&)> f) { openDocument_ = std::move(f); }
  void setSummaryViewer(std::function<void(const RunSummary&)> f) { showSummary_ = std::move(f); }

  AppContext& app() { return app_; }
  DocumentList& documents() { return list_; }
  RunFrame& frame() { return frame_; }
  Prompter& prompter() { return prompter_; }

  // The current date and time as status panel 2 shows them.
  static QString clockText();

 signals:
  // A list-building scan has ended and its entries are in the list.
  void scanFinished(int added);

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildMenus();
  void buildCentral();
  void buildStatusBar();
  void connectFrame();
  void bindListCommands();
  void bindOperations();
  void applyFeatures();
  void setFront(bool front);
  void updateLockedSet();
  void updateCounts(int ticked, int entries);
  void updateClock();

  // List commands.
  void chooseFileCommand();
  void chooseFolderCommand(bool tree);
  void startScan(const QString& folder, bool tree);
  void dropPaths(const QStringList& files, const QStringList& folders);
  void finishScan(const QStringList& paths, const QStringList& problems, bool cancelled);
  // 撤销本次操作 in the summary: takes the run back and reports each file.
  void undoLastRun(const QString& runId);
  void filterCommand();
  void selectLink(int index);

  // Progress area.
  void applyRunView(const RunView& view);
  void onRunFinished(const RunSummary& summary);
  void defaultShowSummary(const RunSummary& summary);

  AppContext& app_;
  DocumentList& list_;
  RunFrame& frame_;
  Prompter& prompter_;
  ErrorLog& log_;

  std::map<QString, std::function<void()>> commands_;
  QList<QAction*> items_;  // every menu item and separator, in menu order
  int tickedCount_ = 0;
  int entryCount_ = 0;
  bool runLocked_ = false;
  bool scanLocked_ = false;
  bool closing_ = false;
  word::FeatureSet features_;

  std::function<QString()> chooseFolder_;
  std::function<QString()> chooseFile_;
  std::function<void(const QString&)> openDocument_;
  std::function<void(const RunSummary&)> showSummary_;

  FolderScan* scan_ = nullptr;

 public:
  // --- menus, in order ----------------------------------------------------------------
  QMenu* m_file_do = nullptr;
  QAction* m_choosefile = nullptr;
  QAction* m_choosefolder = nullptr;
  QAction* m_choosefolder2 = nullptr;
  QAction* m_clearDocList = nullptr;
  QAction* m_selAll = nullptr;
  QAction* m_delSelList = nullptr;
  QAction* m_clearSame = nullptr;
  QAction* m_windowFront = nullptr;
  QAction* m_exit = nullptr;

  QMenu* m_replace = nullptr;
  QAction* m_replaceSetup = nullptr;
  QAction* m_rep_task = nullptr;
  QAction* m_startDocRep = nullptr;
  QAction* m_rep_print = nullptr;

  QMenu* m_create = nullptr;
  QAction* m_fNameSetup = nullptr;
  QAction* m_createSetup = nullptr;
  QAction* m_createRep = nullptr;
  QAction* m_cre_task = nullptr;
  QAction* m_startCreate = nullptr;
  QAction* m_create_print = nullptr;

  QMenu* m_print = nullptr;
  QAction* m_print_setup = nullptr;
  QAction* m_print_task = nullptr;
  QAction* m_startPrint = nullptr;

  QMenu* m_task = nullptr;
  QAction* m_task_add = nullptr;
  QAction* m_task_start = nullptr;

  QMenu* m_hbfg = nullptr;
  QAction* m_hbsz = nullptr;
  QAction* m_hbsz_start = nullptr;
  QAction* m_fgSetup = nullptr;
  QAction* m_fg_start = nullptr;

  QMenu* m_conv = nullptr;
  QAction* m_htmlFileSetup = nullptr;
  QAction* m_blank2 = nullptr;  // the separator before m_convDoc
  QAction* m_convDoc = nullptr;
  QAction* m_convRtf = nullptr;
  QAction* m_convTxt = nullptr;
  QAction* m_convUni = nullptr;
  QAction* m_convHtml = nullptr;
  QAction* m_convPdf = nullptr;
  QAction* m_jtzft = nullptr;
  QAction* m_ftzjt = nullptr;

  QMenu* m_name = nullptr;
  QAction* m_rName = nullptr;
  QAction* m_nameRep = nullptr;
  QAction* m_StartRName = nullptr;

  QMenu* m_ymyj = nullptr;
  QAction* m_ymyjAddRuler = nullptr;
  QAction* m_ymAdd = nullptr;
  QAction* m_yjAdd = nullptr;
  QAction* m_ymDel = nullptr;
  QAction* m_yjDel = nullptr;
  QAction* m_ymyjRepRuler = nullptr;
  QAction* m_ymRepStart = nullptr;
  QAction* m_yjRepStart = nullptr;

  QMenu* m_other = nullptr;
  QAction* m_sy_setup = nullptr;
  QAction* m_start_sy_add = nullptr;
  QAction* m_start_sy_del = nullptr;
  QAction* m_pwd_setup = nullptr;
  QAction* m_pwd_start = nullptr;
  QAction* m_modify_info = nullptr;
  QAction* m_start_modify_info = nullptr;
  QAction* m_start_del_pz = nullptr;
  QAction* m_wdqlSetup = nullptr;
  QAction* m_wdql = nullptr;
  QAction* m_wdtj = nullptr;

  QMenu* m_help = nullptr;
  QAction* m_about = nullptr;
  QAction* m_updateOnl = nullptr;
  QAction* m_softDown = nullptr;

  // --- document list --------------------------------------------------------------------
  QGroupBox* fraDoc = nullptr;
  QListView* lst_DocList = nullptr;
  std::array<QCheckBox*, 2> chkHzm{};        // chkHzm_0 "doc", chkHzm_1 "docx"
  std::array<LinkLabel*, 5> lbl_select{};    // lbl_select_0 .. lbl_select_4
  QLabel* lbl_notice = nullptr;

  // Filter panel.
  QGroupBox* fra_zdy = nullptr;
  QLineEdit* txtBh = nullptr;
  QLineEdit* txtBbh = nullptr;
  QCheckBox* chkQfdxx = nullptr;
  QPushButton* cmdSxStart = nullptr;
  QPushButton* cmdSxExit = nullptr;

  // Task box.
  QLineEdit* txtTaskF = nullptr;
  QComboBox* combTaskKind = nullptr;
  QPushButton* cmdSaveTask = nullptr;

  // Progress area.
  QGroupBox* frmLoadDocList = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* lblDqwj = nullptr;
  QProgressBar* proBFiles = nullptr;
  QLabel* lblNow = nullptr;
  QLabel* lblAll = nullptr;
  QLabel* lblPer = nullptr;
  QLabel* lblLoadN = nullptr;
  QLabel* lbl = nullptr;
  QPushButton* cmdPauseDo = nullptr;
  QPushButton* cmdStopDo = nullptr;

  // Status bar: stb_print with its panels stb_print_0 (notice), _1 (clock), _2 (counts).
  QStatusBar* stb_print = nullptr;
  std::array<QLabel*, 3> stb_panel{};
  QTimer* tim_sta = nullptr;
};

}  // namespace vm
