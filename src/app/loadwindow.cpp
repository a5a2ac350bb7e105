#include "app/loadwindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "app/messages.h"

namespace vm {

LoadWindow::LoadWindow(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("frmWordLoad"));
  setWindowTitle(msg::checkCaption());
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(24, 18, 24, 18);
  lay->setSpacing(10);
  Label1 = new QLabel(msg::checkWait(), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  lblLoad = new QLabel(this);
  lblLoad->setObjectName(QStringLiteral("lblLoad"));
  proLoad = new QProgressBar(this);
  proLoad->setObjectName(QStringLiteral("proLoad"));
  proLoad->setRange(0, 0);  // busy
  proLoad->setTextVisible(false);
  proLoad->setMaximumHeight(12);
  lay->addWidget(Label1);
  lay->addWidget(lblLoad);
  lay->addWidget(proLoad);
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(300);
  Timer1->setSingleShot(true);
  connect(Timer1, &QTimer::timeout, this, &LoadWindow::runWork);
  setFixedSize(sizeHint().expandedTo(QSize(340, 0)));
  // Centred on the screen, like the original start-up form.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

LoadWindow::~LoadWindow() {
  if (thread_.joinable()) thread_.join();
}

void LoadWindow::start(std::function<void()> work) {
  work_ = std::move(work);
  // The load handler: Timer1 enabled, lblLoad set.
  lblLoad->setText(msg::checkLoading());
  running_ = true;
  Timer1->start();
}

void LoadWindow::runWork() {
  Timer1->stop();  // fires once
  if (thread_.joinable()) thread_.join();
  auto work = work_;
  thread_ = std::thread([work, this] {
    try {
      if (work) work();
    } catch (...) {
      // "with all errors ignored"
    }
    // The window outlives the thread (its destructor joins), so `this` is valid here; a
    // window destroyed before the call is made drops it.
    QMetaObject::invokeMethod(this, [this] {
      if (thread_.joinable()) thread_.join();
      running_ = false;
      emit finished();
    }, Qt::QueuedConnection);
  });
}

}  // namespace vm
