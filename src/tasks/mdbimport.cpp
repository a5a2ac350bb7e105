#include "tasks/mdbimport.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>

#include "tasks/taskstore.h"

namespace vm::tasks {

namespace {

// mdb-export's field and row separators: control characters no path, rule or query holds.
const QChar kField(0x1f);
const QChar kRow(0x1e);

bool fail(QString* error, const QString& why) {
  if (error) *error = why;
  return false;
}

// Runs an mdbtools program; its standard output, or nullopt with a Chinese reason.
std::optional<QString> runTool(const QString& program, const QStringList& args, QString* error) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  // A Jet 3 file carries no code page of its own: a Chinese one was written in GBK.
  if (!env.contains(QStringLiteral("MDB_JET3_CHARSET"))) env.insert(QStringLiteral("MDB_JET3_CHARSET"), QStringLiteral("GB18030"));
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForStarted(10000)) {
    fail(error, QStringLiteral("无法运行 %1，请安装 mdbtools").arg(program));
    return std::nullopt;
  }
  if (!p.waitForFinished(120000)) {
    p.kill();
    p.waitForFinished();
    fail(error, QStringLiteral("读取 Access 数据库超时"));
    return std::nullopt;
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    const QString why = QString::fromUtf8(p.readAllStandardError()).trimmed();
    fail(error, QStringLiteral("无法读取 Access 数据库%1").arg(why.isEmpty() ? QString() : QStringLiteral("：") + why));
    return std::nullopt;
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

std::optional<ImportCounts> importTasks(const TableReader& read, TaskStore& store, QString* error) {
  auto table = [&](const char* name, bool required) -> std::optional<TableRows> {
    bool missing = false;
    std::optional<TableRows> rows = read(QString::fromLatin1(name), &missing, error);
    if (rows) return rows;
    if (missing && !required) return TableRows{};
    if (missing) fail(error, QStringLiteral("这不是任务数据库：缺少表 %1").arg(QString::fromLatin1(name)));
    return std::nullopt;
  };
  auto tid = table("tid", true);
  if (!tid) return std::nullopt;
  auto tfile = table("tfile", true), trep = table("tRep", false), tcreate = table("tCreate", false),
       tprint = table("tPrint", false);
  if (!tfile || !trep || !tcreate || !tprint) return std::nullopt;
  // Oldest first, so that the newest stays the newest in the store's list.
  std::stable_sort(tid->begin(), tid->end(), [](const auto& a, const auto& b) {
    return a.value(QStringLiteral("id")).toLongLong() < b.value(QStringLiteral("id")).toLongLong();
  });
  ImportCounts counts;
  for (const auto& row : *tid) {
    StoredTask t;
    t.id = row.value(QStringLiteral("taskid"));
    t.name = row.value(QStringLiteral("taskname"));
    t.letter = row.value(QStringLiteral("taskkind"));
    for (const auto& f : *tfile)
      if (f.value(QStringLiteral("taskid")) == t.id) t.documents << f.value(QStringLiteral("taskfile"));
    for (const auto& r : *trep)
      if (r.value(QStringLiteral("taskid")) == t.id)
        t.rules.push_back({r.value(QStringLiteral("taskrep")), r.value(QStringLiteral("taskrept"))});
    for (const auto& p : *tprint)
      if (p.value(QStringLiteral("taskid")) == t.id) {
        t.settings[QStringLiteral("tPrintCopies")] = p.value(QStringLiteral("tprintcopies"));
        break;
      }
    for (const auto& c : *tcreate)
      if (c.value(QStringLiteral("taskid")) == t.id) {
        for (const char* column : {"t_filename", "t_fileSave", "d_dataPath", "d_dataPwd", "d_sql"})
          t.settings[QString::fromLatin1(column)] = c.value(QString::fromLatin1(column).toLower());
        break;
      }
    QString why;
    if (t.id.isEmpty()) {
      counts.skipped << QStringLiteral("%1：没有任务标识").arg(t.name);
      continue;
    }
    if (!store.insert(t, &why)) {
      counts.skipped << QStringLiteral("%1 %2：%3").arg(t.id, t.name, why);
      continue;
    }
    ++counts.tasks;
    counts.documents += static_cast<int>(t.documents.size());
    counts.rules += static_cast<int>(t.rules.size());
  }
  return counts;
}

std::optional<ImportCounts> importMdb(const QString& mdbPath, TaskStore& store, QString* error) {
  if (!QFileInfo(mdbPath).isFile()) {
    fail(error, QStringLiteral("文件不存在：%1").arg(mdbPath));
    return std::nullopt;
  }
  const std::optional<QString> names = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), mdbPath}, error);
  if (!names) return std::nullopt;
  const QStringList tables = names->split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  TableReader read = [&](const QString& table, bool* missing, QString* why) -> std::optional<TableRows> {
    // Jet matches table names without regard to case; so does the import.
    auto it = std::find_if(tables.begin(), tables.end(),
                           [&](const QString& t) { return t.trimmed().compare(table, Qt::CaseInsensitive) == 0; });
    if (it == tables.end()) {
      *missing = true;
      return std::nullopt;
    }
    const std::optional<QString> text = runTool(
        QStringLiteral("mdb-export"),
        {QStringLiteral("-d"), QString(kField), QStringLiteral("-R"), QString(kRow), QStringLiteral("-Q"), QStringLiteral("-b"),
         QStringLiteral("strip"), mdbPath, it->trimmed()},
        why);
    if (!text) return std::nullopt;
    QStringList lines = text->split(kRow);
    if (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.pop_back();
    if (lines.isEmpty()) return TableRows{};
    const QStringList header = lines.takeFirst().split(kField);
    TableRows rows;
    for (const QString& line : lines) {
      const QStringList fields = line.split(kField);
      QMap<QString, QString> row;
      for (qsizetype i = 0; i < header.size() && i < fields.size(); ++i) row[header[i].trimmed().toLower()] = fields[i];
      rows.push_back(row);
    }
    return rows;
  };
  return importTasks(read, store, error);
}

}  // namespace vm::tasks
