#include "app/engines.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QStandardPaths>

namespace vm {

using vm::word::Need;

QString EngineStatus::defaultSuffixList() const {
  return office.usable ? QStringLiteral("doc,docx,") : QStringLiteral("docx,");
}

namespace {

QString findSoffice() {
  const QString forced = qEnvironmentVariable("VELLUMARK_SOFFICE");
  if (!forced.isEmpty()) return forced;
  QString p = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (!p.isEmpty()) return p;
  const QString fallback = QStringLiteral("/usr/lib/libreoffice/program/soffice");
  if (QFileInfo(fallback).isExecutable()) return fallback;
  return {};
}

}  // namespace

OfficeStatus probeOffice(int timeoutMs) {
  OfficeStatus s;
  if (qEnvironmentVariableIntValue("VELLUMARK_NO_OFFICE") != 0) {
    s.reason = QStringLiteral("VELLUMARK_NO_OFFICE is set");
    return s;
  }
  // The real back end, once installed, knows best.
  if (auto backend = vm::word::officeBackend()) {
    s.program = QString::fromStdString(backend->name());
    s.version = QString::fromStdString(backend->version());
    s.usable = backend->available() && !s.version.isEmpty();
    if (!s.usable) s.reason = QStringLiteral("the office back end is not available");
    return s;
  }
  s.program = findSoffice();
  if (s.program.isEmpty()) {
    s.reason = QStringLiteral("soffice not found");
    return s;
  }
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  // Even --version reads the configuration through dconf, which writes its cache under
  // XDG_RUNTIME_DIR (else ~/.cache): a folder of the probe's own, removed with it.
  QTemporaryDir runtime;
  if (runtime.isValid()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    p.setProcessEnvironment(env);
  }
  p.start(s.program, {QStringLiteral("--version")});
  if (!p.waitForStarted(timeoutMs)) {
    s.reason = QStringLiteral("%1 does not start").arg(s.program);
    return s;
  }
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished(1000);
    s.reason = QStringLiteral("%1 --version timed out").arg(s.program);
    return s;
  }
  // "LibreOffice 7.4.7.2 40(Build:2)" -> "LibreOffice 7.4.7.2"
  const QString out = QString::fromLocal8Bit(p.readAll());
  for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i + 1 < words.size(); ++i) {
      if (words[i].contains(QLatin1String("Office")) && words[i + 1].front().isDigit()) {
        s.version = words[i] + QLatin1Char(' ') + words[i + 1];
        break;
      }
    }
    if (!s.version.isEmpty()) break;
  }
  s.usable = p.exitStatus() == QProcess::NormalExit && !s.version.isEmpty();
  if (!s.usable) s.reason = QStringLiteral("%1 --version gave no version: %2").arg(s.program, out.trimmed());
  return s;
}

EngineStatus checkEngines(int timeoutMs) {
  EngineStatus e;
  e.office = probeOffice(timeoutMs);
  return e;
}

word::FeatureSet EngineStatus::features() const {
  return office.usable ? word::installedFeatures() : word::docxFeatures();
}

}  // namespace vm
