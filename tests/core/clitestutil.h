#pragma once
// vellumark-cli run in process for command tests: the data folder under a test's folder and only
// .docx added.

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <filesystem>

#include "cli/registry.h"

namespace vm::clitest {

inline QString q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

struct Result {
  int code = -1;
  QString out, err;
};

// Runs vellumark-cli --home HOME --suffix docx ARGS... (ARGS may start with further global options).
inline Result runCli(const std::filesystem::path& home, const QStringList& args, QTextStream* in = nullptr) {
  Result r;
  QTextStream out(&r.out), err(&r.err);
  r.code = vm::cli::run(QStringList{"vellumark-cli", "--home", q(home), "--suffix", "docx"} + args, out, err, in);
  return r;
}

}  // namespace vm::clitest
