#include "app/engines.h"

#include <QFileInfo>
#include <QProcess>
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

// The one table. Need::Layout: page layout, page counts, inserting files, format conversion,
// rendering for print (the office back end, design.md); everything else is Need::Content.
// Settings items share the need of the run they set up, so that both hide together.
// Each operation's issue corrects its rows here.
const QList<EngineNeedRow>& engineNeeds() {
  static const QList<EngineNeedRow> rows = {
      // 替换
      {"m_replaceSetup", "", Need::Content},
      {"m_startDocRep", "docR", Need::Content},
      {"m_rep_print", "docP", Need::Layout},
      // 生成
      {"m_startCreate", "", Need::Content},
      {"m_create_print", "docP", Need::Layout},
      // 打印
      {"m_print_setup", "", Need::Layout},
      {"m_print_task", "", Need::Layout},
      {"m_startPrint", "docP", Need::Layout},
      // 合并拆分
      {"m_hbsz", "", Need::Layout},
      {"m_hbsz_start", "docHbwd", Need::Layout},
      {"m_fgSetup", "", Need::Layout},
      {"m_fg_start", "docFgwd", Need::Layout},
      // 转换
      {"m_htmlFileSetup", "", Need::Layout},
      {"m_convDoc", "docFormat", Need::Layout},
      {"m_convRtf", "docFormat", Need::Layout},
      {"m_convTxt", "docFormat", Need::Layout},
      {"m_convUni", "docFormat", Need::Layout},
      {"m_convHtml", "docFormat", Need::Layout},
      {"m_jtzft", "", Need::Content},
      {"m_ftzjt", "", Need::Content},
      // 更名
      {"m_StartRName", "docRName", Need::Content},
      // 页眉页脚
      {"m_ymAdd", "docYmAdd", Need::Content},
      {"m_yjAdd", "docYjAdd", Need::Content},
      {"m_ymDel", "docYmDel", Need::Content},
      {"m_yjDel", "docYjDel", Need::Content},
      {"m_ymRepStart", "docYmRep", Need::Content},
      {"m_yjRepStart", "docYjRep", Need::Content},
      // 其他
      {"m_start_sy_add", "docSyAdd", Need::Content},
      {"m_start_sy_del", "docYmDel", Need::Content},
      {"m_pwd_setup", "", Need::Content},
      {"m_pwd_start", "docmpwd", Need::Content},
      {"m_start_modify_info", "", Need::Content},
      {"m_start_del_pz", "docPzDel", Need::Content},
      {"m_wdql", "docQlDel", Need::Content},
      {"m_wdtj", "", Need::Content},
  };
  return rows;
}

Need needForMenuItem(const QString& menuItem) {
  for (const EngineNeedRow& r : engineNeeds())
    if (menuItem == QLatin1String(r.menuItem)) return r.need;
  return Need::Content;
}

Need needForOperation(const QString& operationId) {
  for (const EngineNeedRow& r : engineNeeds())
    if (!operationId.isEmpty() && operationId == QLatin1String(r.operationId) && r.need == Need::Layout)
      return Need::Layout;
  return Need::Content;
}

QStringList officeOnlyMenuItems() {
  QStringList r;
  for (const EngineNeedRow& row : engineNeeds())
    if (row.need == Need::Layout) r << QString::fromLatin1(row.menuItem);
  return r;
}

}  // namespace vm
