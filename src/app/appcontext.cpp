#include "app/appcontext.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <thread>

#include "app/messages.h"
#include "app/operation.h"
#include "app/prompter.h"

namespace vm {

AppContext::AppContext(DataFolder folder, QObject* parent)
    : QObject(parent),
      folder_(std::move(folder)),
      ini_(folder_.configIni()),
      log_(folder_.logFile()),
      frame_(list_, log_) {
  settings_ = Settings::load(ini_);
  registerContinuations(frame_);
  // The list shows how each document came out, until the next run starts.
  connect(&frame_, &RunFrame::runStarted, &list_, [this] { list_.clearResults(); });
  connect(&frame_, &RunFrame::entryReported, &list_, &DocumentList::setResult);
  // Documents worked on at once: [run] jobs in config.ini, by default one per core.
  bool given = false;
  const int jobs = ini_.readIni(QStringLiteral("run"), QStringLiteral("jobs")).trimmed().toInt(&given);
  // Undo journals: [run] keep runs (default 20; 0: none).
  bool keepGiven = false;
  const int keep = ini_.readIni(QStringLiteral("run"), QStringLiteral("keep")).trimmed().toInt(&keepGiven);
  const int keepRuns = keepGiven && keep >= 0 ? keep : 20;
  const bool journal = keepRuns > 0 && !folder_.root().isEmpty();
  frame_.setJournalFolder(journal ? folder_.root() + QStringLiteral("/runs") : QString(), keepRuns);
  frame_.setMaxWorkers(given && jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

AppContext::~AppContext() = default;

QString AppContext::keepSettings() {
  store_.keepAlso(QStringLiteral("replaceRules"), [this](SettingsFields& f) { f("rules", replaceRules_); });
  const QString path = folder_.root() + QStringLiteral("/settings.json");
  QFile file(path);
  QJsonObject saved;
  QString problem;
  if (file.exists()) {
    QJsonParseError error{};
    const QJsonDocument doc = file.open(QIODevice::ReadOnly) && file.size() < (16 << 20)
                                  ? QJsonDocument::fromJson(file.readAll(), &error)
                                  : QJsonDocument();
    file.close();
    if (doc.isObject()) {
      saved = doc.object();
    } else {
      const QString aside = path + QStringLiteral(".damaged-") +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
      QFile::rename(path, aside);
      problem = QStringLiteral("设置文件已损坏，已改名为 %1 保存；本次使用默认设置。").arg(aside);
    }
  }
  store_.keepFrom(saved);
  return problem;
}

bool AppContext::saveKeptSettings(QString* error) const {
  if (!store_.keeping()) return true;
  QSaveFile file(folder_.root() + QStringLiteral("/settings.json"));
  const QByteArray bytes = QJsonDocument(store_.keptValues()).toJson();
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
  if (error) *error = QStringLiteral("设置未能保存：%1").arg(file.errorString());
  return false;
}

std::unique_ptr<AppContext> AppContext::create(const QString& homeOption, Prompter& prompter) {
  DataFolder folder(DataFolder::resolve(homeOption));
  QString reason;
  if (!folder.ensure(&reason)) {
    prompter.inform(msg::titleError(), reason.isEmpty() ? msg::configMissing() : reason);
    return nullptr;
  }
  return std::make_unique<AppContext>(std::move(folder));
}

const EngineStatus& AppContext::checkEngines(int timeoutMs) {
  setEngines(vm::checkEngines(timeoutMs));
  return engines_;
}

bool AppContext::checkConfigIni(Prompter& prompter) const {
  if (ini_.exists()) return true;
  prompter.inform(msg::titleError(), msg::configMissing());
  return false;
}

void AppContext::reloadSettings() { settings_ = Settings::load(ini_); }

bool AppContext::saveSettings() const { return settings_.save(ini_); }

}  // namespace vm
