// The Help menu: the about box, the updater beside the program, the download page.

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "app/mainwindow.h"
#include "app/prompter.h"
#include "app/version.h"
#include "app/windowpart.h"

#ifndef VM_HOMEPAGE
#define VM_HOMEPAGE "https://vellumark.cn/download"
#endif

namespace vm {

namespace {

QString aboutText() {
  return productCaption() + QStringLiteral(
                                "\n\n批量修改 Word 文档：替换、页眉页脚、水印、转换、更名……\n\n"
                                "使用的组件及其许可证：\n"
                                "Qt 6（LGPL 3）\n"
                                "LibreOffice（MPL 2.0），用于 .doc 文档、版面和格式转换\n"
                                "libzip（BSD 3 条款）\n"
                                "pugixml（MIT）\n"
                                "OpenCC（Apache 2.0），用于简繁转换\n"
                                "SQLite（公有领域）\n"
                                "mdbtools（LGPL 2）\n"
                                "CUPS（Apache 2.0），用于打印");
}

// The updater is a program of its own beside this one.
QString updaterPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/vellumark-update"); }

}  // namespace

}  // namespace vm

VM_WINDOW_PART(helpMenu) {
  using namespace vm;
  MainWindow* w = &window;
  window.bindWindowCommand(QStringLiteral("m_about"),
                           [w] { w->prompter().inform(QStringLiteral("关于作者"), aboutText()); });
  window.bindWindowCommand(QStringLiteral("m_updateOnl"), [w] {
    const QFileInfo updater(updaterPath());
    if (!updater.isFile() || !updater.isExecutable() || !QProcess::startDetached(updater.filePath(), {}))
      w->prompter().inform(QStringLiteral("在线更新"), QStringLiteral("在线更新程序不存在，请重新安装！"));
  });
  window.bindWindowCommand(QStringLiteral("m_softDown"), [w] {
    if (!QDesktopServices::openUrl(QUrl(QStringLiteral(VM_HOMEPAGE))))
      w->prompter().inform(QStringLiteral("软件下载"),
                           QStringLiteral("无法打开浏览器，请手动访问：%1").arg(QStringLiteral(VM_HOMEPAGE)));
  });
}
