#pragma once
// The start-up check window frmWordLoad: caption "检测系统安装环境",
// "请稍后......" and lblLoad "正在检测系统安装环境...". Its timer Timer1 (300 ms, once)
// starts the engine check, which runs on a worker thread so that the window keeps
// answering; finished() comes on the GUI thread when the check has returned.

#include <QWidget>

#include <functional>
#include <thread>

class QLabel;
class QProgressBar;
class QTimer;

namespace vm {

class LoadWindow : public QWidget {
  Q_OBJECT
 public:
  explicit LoadWindow(QWidget* parent = nullptr);
  ~LoadWindow() override;  // waits for a running check

  // Arms Timer1: 300 ms later, work() runs on a worker thread; then finished() is emitted.
  void start(std::function<void()> work);
  bool isChecking() const { return running_; }

  QLabel* Label1 = nullptr;  // "请稍后......"
  QLabel* lblLoad = nullptr;
  QProgressBar* proLoad = nullptr;  // a busy indicator: the window is alive
  QTimer* Timer1 = nullptr;

 signals:
  void finished();

 private:
  void runWork();
  std::function<void()> work_;
  std::thread thread_;
  bool running_ = false;
};

}  // namespace vm
