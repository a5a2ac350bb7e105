#include <QApplication>
#include <QMainWindow>

#include "app/version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow w;
  w.setObjectName(QStringLiteral("frmPrint"));
  w.setWindowTitle(vm::productCaption());
  w.show();
  return app.exec();
}
