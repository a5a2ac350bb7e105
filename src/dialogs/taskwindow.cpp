#include "dialogs/taskwindow.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QComboBox>
#include <QCoreApplication>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "app/windowpart.h"
#include "tasks/tasks.h"
#include "tasks/taskstore.h"

namespace vm {

namespace {

QTreeWidget* taskList(const char* name, QWidget* parent) {
  auto* l = new QTreeWidget(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setColumnCount(3);
  l->setHeaderLabels({QStringLiteral("任务名"), QStringLiteral("任务类型"), QStringLiteral("任务标识")});
  l->setRootIsDecorated(false);
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  l->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  return l;
}

QTreeWidgetItem* taskItem(const QString& name, const QString& word, const QString& id) {
  auto* item = new QTreeWidgetItem({name, word, id});
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Unchecked);
  return item;
}

bool ticked(const QTreeWidgetItem* item) { return item->checkState(0) == Qt::Checked; }

void tickAll(QTreeWidget* l, int how) {  // 1 tick, 0 untick, -1 invert
  for (int i = 0; i < l->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = l->topLevelItem(i);
    const bool on = how < 0 ? !ticked(item) : how > 0;
    item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
  }
}

QTreeWidgetItem* firstTicked(QTreeWidget* l) {
  for (int i = 0; i < l->topLevelItemCount(); ++i)
    if (ticked(l->topLevelItem(i))) return l->topLevelItem(i);
  return nullptr;
}

}  // namespace

TaskWindow::TaskWindow(const QString& storePath, Prompter& prompter, QWidget* parent)
    : QDialog(parent), store_(std::make_unique<tasks::TaskStore>(storePath)), prompter_(prompter) {
  setObjectName(QStringLiteral("frmTask"));
  setWindowTitle(QStringLiteral("任务管理"));
  auto* root = new QVBoxLayout(this);
  auto* bar = new QMenuBar(this);
  m_t_do = bar->addMenu(QStringLiteral("操作"));
  m_t_do->setObjectName(QStringLiteral("m_t_do"));
  m_c_data = m_t_do->addAction(QStringLiteral("压缩数据库"));
  m_c_data->setObjectName(QStringLiteral("m_c_data"));
  root->setMenuBar(bar);

  static const char* const captions[8] = {"全 选", "全不选", "反 选", "删 除", "删 除", "反 选", "全不选", "全 选"};
  for (int i = 0; i < 8; ++i) {
    lvw_select[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
    lvw_select[i]->setObjectName(QStringLiteral("lvw_select_%1").arg(i));
    lvw_select[i]->setAutoDefault(false);
    connect(lvw_select[i], &QPushButton::clicked, this, [this, i] { select(i); });
  }
  auto* lists = new QHBoxLayout;
  auto column = [&](const QString& label, const char* labelName, QTreeWidget* list, std::initializer_list<int> buttons) {
    auto* box = new QVBoxLayout;
    auto* l = new QLabel(label, this);
    l->setObjectName(QString::fromLatin1(labelName));
    box->addWidget(l);
    box->addWidget(list, 1);
    auto* row = new QHBoxLayout;
    for (int b : buttons) row->addWidget(lvw_select[b]);
    box->addLayout(row);
    lists->addLayout(box, 1);
  };
  lvw_t = taskList("lvw_t", this);
  lvw_n = taskList("lvw_n", this);
  column(QStringLiteral("当前任务列表"), "lbl_t", lvw_t, {7, 6, 5, 4});
  column(QStringLiteral("批量任务列表"), "lbl_n", lvw_n, {0, 1, 2, 3});
  root->addLayout(lists, 1);

  fra_delTask = new QGroupBox(this);
  fra_delTask->setObjectName(QStringLiteral("fra_delTask"));
  auto* wait = new QHBoxLayout(fra_delTask);
  lbl_task = new QLabel(QStringLiteral("正在操作，请稍后..."), fra_delTask);
  lbl_task->setObjectName(QStringLiteral("lbl_task"));
  wait->addWidget(lbl_task);
  fra_delTask->hide();
  root->addWidget(fra_delTask);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cmd_clear = new QPushButton(QStringLiteral("清除所选"), this);
  cmd_clear->setObjectName(QStringLiteral("cmd_clear"));
  cmd_clear->setAutoDefault(false);
  cmdSave = new QPushButton(QStringLiteral("保存任务"), this);
  cmdSave->setObjectName(QStringLiteral("cmdSave"));
  cmdSave->setDefault(true);
  buttons->addWidget(cmd_clear);
  buttons->addWidget(cmdSave);
  root->addLayout(buttons);

  connect(cmd_clear, &QPushButton::clicked, this, [this] { select(3); });
  connect(cmdSave, &QPushButton::clicked, this, &QDialog::hide);
  connect(m_c_data, &QAction::triggered, this, &TaskWindow::compact);
  connect(lvw_t, &QTreeWidget::itemDoubleClicked, this, [this] { addCurrentToBatch(); });
  resize(760, 420);
  reload();
}

TaskWindow::~TaskWindow() = default;

void TaskWindow::reload() {
  lvw_t->clear();
  QString why;
  const QList<tasks::TaskEntry> entries = store_->list(&why);
  if (!why.isEmpty()) {
    prompter_.inform(tasks::titleStore(), QStringLiteral("任务数据库无法读取：%1").arg(why));
    return;
  }
  for (const tasks::TaskEntry& e : entries) lvw_t->addTopLevelItem(taskItem(e.name, tasks::kindWord(e.letter), e.id));
}

void TaskWindow::addCurrentToBatch() {
  QTreeWidgetItem* item = lvw_t->currentItem();
  if (!item) return;
  lvw_n->addTopLevelItem(taskItem(item->text(0), item->text(1), item->text(2)));
}

void TaskWindow::select(int index) {
  switch (index) {
    case 0: tickAll(lvw_n, 1); break;
    case 1: tickAll(lvw_n, 0); break;
    case 2: tickAll(lvw_n, -1); break;
    case 3:
      while (QTreeWidgetItem* item = firstTicked(lvw_n)) delete item;
      break;
    case 4: deleteStored(); break;
    case 5: tickAll(lvw_t, -1); break;
    case 6: tickAll(lvw_t, 0); break;
    case 7: tickAll(lvw_t, 1); break;
    default: break;
  }
}

void TaskWindow::busy(bool on) {
  fra_delTask->setVisible(on);
  for (QPushButton* b : lvw_select) b->setEnabled(!on);
  m_c_data->setEnabled(!on);
  if (on) QCoreApplication::processEvents();
}

void TaskWindow::deleteStored() {
  if (!firstTicked(lvw_t)) return;
  if (!prompter_.ask(tasks::titleTask(), tasks::deleteQuestion())) return;
  busy(true);
  while (QTreeWidgetItem* item = firstTicked(lvw_t)) {
    QString why;
    // The kind letter of a word no operation has is unknown: only its task row goes.
    const QString word = item->text(1);
    const QString letter = word == QLatin1String("replace") ? QStringLiteral("r")
                           : word == QLatin1String("create") ? QStringLiteral("c")
                           : word == QLatin1String("print")  ? QStringLiteral("p")
                                                             : QString();
    if (!store_->remove(item->text(2), letter, &why)) {
      prompter_.inform(tasks::titleStore(), QStringLiteral("任务删除失败：%1").arg(why));
      break;
    }
    delete item;
  }
  busy(false);
}

void TaskWindow::compact() {
  busy(true);
  QString why;
  const bool ok = store_->compact(&why);
  busy(false);
  if (ok)
    prompter_.inform(tasks::titleStore(), tasks::compacted());
  else
    prompter_.inform(tasks::titleStore(), QStringLiteral("数据库压缩失败：%1").arg(why));
}

QList<BatchItem> TaskWindow::batch() const {
  QList<BatchItem> items;
  for (int i = 0; i < lvw_n->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lvw_n->topLevelItem(i);
    items.push_back({item->text(0), item->text(1), item->text(2), ticked(item)});
  }
  return items;
}

namespace {

// The batch runner (任务 → 开始批量任务): each ticked batch item in order, the next one started when
// the run of the one before has ended. A stopped run or a failed run check ends the batch.
class BatchRun : public QObject {
 public:
  BatchRun(MainWindow& window, QList<BatchItem> items)
      : QObject(&window), window_(window), items_(std::move(items)), label_(window.lblLoadN->text()) {
    connect(&window.frame(), &RunFrame::runFinished, this, [this](const RunSummary& s) {
      if (s.stopped) return finish();
      QTimer::singleShot(0, this, [this] { next(); });
    });
  }
  void next() {
    while (n_ < items_.size()) {
      const BatchItem item = items_[n_++];
      if (!item.ticked) continue;
      window_.lblLoadN->setText(tasks::batchItemLabel(static_cast<int>(n_)));
      OperationEnv env{window_.app(), window_.prompter(), [this](const QString& menuItem) { window_.runCommand(menuItem); }};
      tasks::TaskStore store(window_.app().dataFolder().database());
      const tasks::TaskOutcome outcome =
          tasks::startTask(item.word, item.id, env, store, window_.features());
      if (outcome == tasks::TaskOutcome::Started) return;  // runFinished goes on
      if (outcome == tasks::TaskOutcome::EndBatch) break;
    }
    finish();
  }

 private:
  void finish() {
    window_.lblLoadN->setText(label_);
    window_.app().errorLog().write(QString());
    deleteLater();
  }
  MainWindow& window_;
  QList<BatchItem> items_;
  qsizetype n_ = 0;
  QString label_;
};

}  // namespace

}  // namespace vm

VM_WINDOW_PART(tasks) {
  using namespace vm;
  auto* taskWindow = new TaskWindow(window.app().dataFolder().database(), window.prompter(), &window);
  MainWindow* w = &window;
  auto env = [w] {
    OperationEnv e{w->app(), w->prompter(), [w](const QString& item) {
                     if (item == QLatin1String("txtTaskF")) w->txtTaskF->setFocus();
                     else w->runCommand(item);
                   }};
    e.taskName = w->txtTaskF->text();
    return e;
  };
  for (const auto& decl : operations().all()) {
    if (decl->task.saveItem.isEmpty()) continue;
    window.bindCommand(decl->task.saveItem, [w, env, d = decl.get()] {
      w->leaveFront();
      OperationEnv e = env();
      tasks::TaskStore store(w->app().dataFolder().database());
      tasks::saveTask(*d, e, store);
    });
  }
  window.bindCommand(QStringLiteral("cmdSaveTask"), [w] {
    const QString title = QStringLiteral("保存任务出错！");
    if (w->txtTaskF->text().isEmpty()) return w->prompter().inform(title, QStringLiteral("请输入任务名称！"));
    const QString kind = w->combTaskKind->currentText();
    if (kind.isEmpty()) return w->prompter().inform(title, QStringLiteral("请选择任务类型！"));
    for (const auto& decl : operations().all())
      if (!decl->task.caption.isEmpty() && decl->task.caption == kind) return w->runCommand(decl->task.saveItem);
  });
  window.bindWindowCommand(QStringLiteral("m_task_add"), [taskWindow] {
    taskWindow->reload();
    taskWindow->exec();
  });
  window.bindCommand(QStringLiteral("m_task_start"), [w, taskWindow] {
    const QList<BatchItem> items = taskWindow->batch();
    if (items.isEmpty()) {
      w->leaveFront();
      w->prompter().inform(msg::titleError(), tasks::noBatch());
      taskWindow->exec();
      return;
    }
    if (w->frame().refuseIfBusy(w->prompter())) return;
    (new BatchRun(*w, items))->next();
  });
}
