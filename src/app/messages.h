#pragma once
// The texts and titles of the shell, exactly as the user must see them.
// One place, so that the window, the command line and the tests use the same strings.

#include <QString>
#include <QStringList>

namespace vm::msg {

// Titles.
inline QString titleError() { return QStringLiteral("出错！"); }        // settings, start-up, filter
inline QString titleRefused() { return QStringLiteral("出错了！"); }    // refusals of start commands
inline QString titleFilter() { return QStringLiteral("筛选"); }

// Start-up.
inline QString configMissing() { return QStringLiteral("config.ini配置文档不存在，请重新安装！"); }
inline QString checkCaption() { return QStringLiteral("检测系统安装环境"); }
inline QString checkWait() { return QStringLiteral("请稍后......"); }
inline QString checkLoading() { return QStringLiteral("正在检测系统安装环境..."); }

// Document list.
inline QString noDocuments() { return QStringLiteral("请先添加文档，并勾选你要操作的文档！"); }
inline QString noSuffix() { return QStringLiteral("请先选择文档后缀名！"); }
inline QString filterEmpty() { return QStringLiteral("文档路径包含与不包含必须输入一项！"); }
inline QString filterDone() { return QStringLiteral("文档筛选成功！"); }
inline QString listNotice() { return QStringLiteral("请先添加文档，再勾选你要操作的文档。"); }
inline QString browseTitle() { return QStringLiteral("请选择路径："); }
inline QString titleNotListed() { return QStringLiteral("部分文件未加入列表"); }
// The files a scan could not list, one "path：reason" a line (the first 20, then a count).
inline QString notListed(const QStringList& problems) {
  QString text = QStringLiteral("以下 %1 个文件无法加入文档列表：\n").arg(problems.size());
  for (qsizetype i = 0; i < problems.size() && i < 20; ++i) text += QLatin1Char('\n') + problems[i];
  if (problems.size() > 20) text += QStringLiteral("\n……另有 %1 个").arg(problems.size() - 20);
  return text;
}

// Run frame.
inline QString runBusy() {
  return QStringLiteral("当前有批量操作正在进行，请等待其完成或停止后再开始新的操作！");
}
inline QString listBusy() { return QStringLiteral("正在添加文档，请等待文档列表添加完成后再开始操作！"); }
inline QString runWorking() { return QStringLiteral("正在操作中，请稍后..."); }
inline QString engineStarting() { return QStringLiteral("正在启动文档引擎……"); }
inline QString runPausing() { return QStringLiteral("正在暂停，当前文档处理完后暂停..."); }
inline QString runPaused() { return QStringLiteral("操作已暂停：点“继续操作”接着处理，点“停止操作”结束本次操作。"); }
inline QString closeDuringRunTitle() { return QStringLiteral("退出"); }
inline QString closeDuringRun() {
  return QStringLiteral("批量操作正在进行，退出前将停止操作（正在处理的文档会先处理完）。\n\n"
                        "你可以点确定按钮停止操作并退出，也可以点取消按钮继续操作！");
}
inline QString pauseCaption() { return QStringLiteral("暂停操作"); }
inline QString continueCaption() { return QStringLiteral("继续操作"); }
inline QString stopCaption() { return QStringLiteral("停止操作"); }
inline QString stoppingCaption() { return QStringLiteral("正在停止中,请稍后..."); }
inline QString currentDocLabel() { return QStringLiteral("当前处理文档:"); }
inline QString progressLabel() { return QStringLiteral("进度条显示文档处理进程..."); }

// Printing.
inline QString noPrinter() { return QStringLiteral("检查到你计算机尚未安装打印机,请先安装打印机！"); }

}  // namespace vm::msg
