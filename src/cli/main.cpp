#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

#include "cli/registry.h"
#include "word/processtuning.h"

int main(int argc, char** argv) {
  vm::word::tuneForBatches();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vellumark-cli"));
  QTextStream out(stdout);
  QTextStream err(stderr);
  QTextStream in(stdin);
  return vm::cli::run(QCoreApplication::arguments(), out, err, &in, isatty(STDIN_FILENO) != 0);
}
