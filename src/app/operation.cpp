#include "app/operation.h"

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/messages.h"
#include "app/prompter.h"

namespace vm {

// Defined by the file the build generates from the VM_OPERATION declarations of src/ops/.
void addDeclaredOperations(OperationRegistry& registry);

void OperationRegistry::add(OperationDecl decl) {
  auto shared = std::make_shared<const OperationDecl>(std::move(decl));
  for (auto& d : decls_) {
    if (d->id == shared->id) {
      d = std::move(shared);
      return;
    }
  }
  decls_.push_back(std::move(shared));
}

const OperationDecl* OperationRegistry::find(const QString& id) const {
  for (const auto& d : decls_)
    if (d->id == id) return d.get();
  return nullptr;
}

const OperationDecl* OperationRegistry::forMenuItem(const QString& objectName) const {
  for (const auto& d : decls_)
    if (d->menuItems.contains(objectName)) return d.get();
  return nullptr;
}

const OperationDecl* OperationRegistry::forCommand(const QString& cliName) const {
  if (cliName.isEmpty()) return nullptr;
  for (const auto& d : decls_)
    if (d->cli.name == cliName) return d.get();
  return nullptr;
}

const OperationDecl* OperationRegistry::forTaskKind(const QString& letterOrWord) const {
  if (letterOrWord.isEmpty()) return nullptr;
  for (const auto& d : decls_)
    if (d->task.letter == letterOrWord || d->task.word == letterOrWord) return d.get();
  return nullptr;
}

const OperationRegistry& operations() {
  static const OperationRegistry registry = [] {
    OperationRegistry r;
    addDeclaredOperations(r);
    return r;
  }();
  return registry;
}

std::optional<Refusal> missingFeatures(const OperationDecl& decl, const word::FeatureSet& installed) {
  const word::FeatureSet missing = installed.missing(decl.features);
  if (missing.empty()) return std::nullopt;
  QStringList names;
  for (word::Feature f : missing.list()) names << QString::fromStdString(word::featureName(f));
  return Refusal{msg::titleRefused(),
                 QStringLiteral("“%1”需要文档引擎的%2功能，当前没有安装提供它的引擎（请安装 LibreOffice）。")
                     .arg(decl.title, names.join(QStringLiteral("、"))),
                 {}};
}

namespace {

void refuse(OperationEnv& env, const Refusal& r) {
  env.prompter.inform(r.title, r.text);
  if (!r.openItem.isEmpty() && env.openWindow) env.openWindow(r.openItem);
}

}  // namespace

Operation passOf(const OperationDecl& decl, RunSteps steps) {
  Operation op;
  op.id = decl.id;
  op.title = steps.title.isEmpty() ? decl.title : steps.title;
  op.initialCount = decl.initialCount;
  op.begin = std::move(steps.begin);
  op.perDocument = std::move(steps.perDocument);
  op.finish = std::move(steps.finish);
  op.independent = decl.independent && !op.begin && !op.finish;
  op.groupSaves = op.independent && decl.groupSaves;
  op.next = std::move(steps.next);
  op.items = std::move(steps.items);
  op.perItem = std::move(steps.perItem);
  return op;
}

StartOutcome startOperation(const OperationDecl& decl, OperationEnv& env, const word::FeatureSet& installed,
                            const std::function<bool()>& busy, StartMode mode) {
  RunFrame& frame = env.app.runFrame();
  if (frame.refuseIfBusy(env.prompter)) return StartOutcome::Busy;
  if (busy && busy()) {
    env.prompter.inform(msg::titleRefused(), msg::listBusy());
    return StartOutcome::Busy;
  }
  if (auto r = missingFeatures(decl, installed)) {
    refuse(env, *r);
    return StartOutcome::Unsupported;
  }
  for (const Check& check : decl.checks) {
    if (auto r = check(env)) {
      refuse(env, *r);
      return StartOutcome::Refused;
    }
  }
  const bool preview = mode == StartMode::Preview;
  if (preview && !decl.preview) return StartOutcome::Refused;
  if (!preview && decl.preview && env.confirmPreview) {
    const RunSteps look = decl.preview(env);
    if (!env.confirmPreview(look.title.isEmpty() ? decl.title : look.title, look.perDocument))
      return StartOutcome::Cancelled;
  }
  if (decl.question && mode == StartMode::Run) {
    const Question q = decl.question(env);
    if (!env.prompter.ask(q.title, q.text)) return StartOutcome::Cancelled;
  }
  RunSteps steps = preview ? decl.preview(env) : decl.prepare ? decl.prepare(env) : RunSteps{};
  QString refusal;
  if (!frame.start(passOf(decl, std::move(steps)), &refusal)) {
    env.prompter.inform(msg::titleRefused(), refusal);
    return StartOutcome::Refused;
  }
  return StartOutcome::Started;
}

void registerContinuations(RunFrame& frame) {
  for (const auto& d : operations().all()) {
    switch (d->resume) {
      case Resume::FromNext:
        break;  // the frame's default
      case Resume::FromNextSameRunSize:
        frame.registerContinuation(d->id, [](RunFrame& f) {
          f.resume(f.operation(), f.runSize(), f.currentIndex() + 1);
        });
        break;
      case Resume::Never:
        frame.registerContinuation(d->id, [](RunFrame&) {});
        break;
    }
  }
}

Check requireTickedDocuments() {
  return [](OperationEnv& env) -> std::optional<Refusal> {
    const DocumentList& list = env.app.documents();
    if (list.entryCount() < 1 || list.tickedCount() < 1) return Refusal{msg::titleRefused(), msg::noDocuments(), {}};
    return std::nullopt;
  };
}

}  // namespace vm
