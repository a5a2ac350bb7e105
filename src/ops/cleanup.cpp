#include "ops/cleanup.h"

#include <QStringList>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "ops/headerfooter.h"

namespace vm::ops {

bool CleanupSettings::any() const {
  for (bool b : options)
    if (b) return true;
  return false;
}

int deleteComments(const QString& path) {
  auto doc = openFor(path, {word::Feature::Comments});
  const int n = doc->deleteComments();
  doc->save();
  doc->close();
  return n;
}

QString cleanDocument(const QString& path, const CleanupSettings& s) {
  using O = CleanupSettings;
  if (!s.any()) return QStringLiteral("未选择清理项");
  word::FeatureSet features{word::Feature::MainText};
  if (s.options[O::Hyperlinks] || s.options[O::BlankParagraphs]) features = features | word::FeatureSet{word::Feature::Cleanup};
  if (s.options[O::Headers] || s.options[O::Footers]) features = features | word::FeatureSet{word::Feature::HeaderFooter};
  if (s.options[O::Comments]) features = features | word::FeatureSet{word::Feature::Comments};
  auto doc = openFor(path, features);
  word::Story& main = doc->mainStory();
  QStringList done;
  if (s.options[O::Hyperlinks]) done << QStringLiteral("链接 %1 个").arg(main.removeHyperlinks());
  if (s.options[O::BlankParagraphs]) done << QStringLiteral("空白段落 %1 个").arg(main.removeBlankParagraphs());
  if (s.options[O::Spaces]) {
    // Word's search for " " with MatchByte: half-width spaces only, full-width ones stay.
    word::FindOptions byte;
    done << QStringLiteral("空格 %1 个").arg(main.replaceAll(" ", "", byte));
  }
  if (s.options[O::Headers]) done << QStringLiteral("页眉 %1 个").arg(clearHeadersFooters(*doc, word::StoryKind::Header));
  if (s.options[O::Footers]) done << QStringLiteral("页脚 %1 个").arg(clearHeadersFooters(*doc, word::StoryKind::Footer));
  if (s.options[O::Comments]) done << QStringLiteral("批注 %1 条").arg(doc->deleteComments());
  doc->save();
  doc->close();
  return QStringLiteral("清理：") + done.join(QStringLiteral("，"));
}

namespace {

Question confirm(const QString& title, const QString& question) {
  return Question{title, question + QStringLiteral("\n\n你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
}

}  // namespace

}  // namespace vm::ops

VM_OPERATION(commentsDelete) {
  using namespace vm;
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = QStringLiteral("docPzDel");
  d.title = QStringLiteral("批量删除批注");
  d.menuItems = {QStringLiteral("m_start_del_pz")};
  d.features = {word::Feature::Comments};
  d.checks = {requireTickedDocuments()};
  d.question = [](OperationEnv&) {
    return ops::confirm(QStringLiteral("删除批注"), QStringLiteral("你确认开始批量删除批注了吗？"));
  };
  d.prepare = [](OperationEnv&) {
    RunSteps s;
    s.perDocument = [](const QString& path) { return QStringLiteral("删除批注 %1 条").arg(ops::deleteComments(path)); };
    return s;
  };
  d.cli.name = QStringLiteral("comments delete");
  d.cli.synopsis = QStringLiteral("PATH...");
  d.cli.summary = QStringLiteral("deletes every comment (批量删除批注)");
  return d;
}

VM_OPERATION(cleanup) {
  using namespace vm;
  using O = ops::CleanupSettings;
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = QStringLiteral("docQlDel");
  d.title = QStringLiteral("批量清理文档");
  d.menuItems = {QStringLiteral("m_wdql")};
  d.settingsItems = {QStringLiteral("m_wdqlSetup")};
  d.features = {word::Feature::MainText, word::Feature::Cleanup};
  d.checks = {requireTickedDocuments()};  // the options are not checked: none ticked changes nothing
  d.question = [](OperationEnv&) {
    return ops::confirm(QStringLiteral("文档操作"), QStringLiteral("你确认开始批量清理文档了吗？"));
  };
  d.prepare = [](OperationEnv& env) {
    const O settings = env.app.store<O>();
    RunSteps s;
    s.perDocument = [settings](const QString& path) { return ops::cleanDocument(path, settings); };
    return s;
  };
  d.cli.name = QStringLiteral("clean");
  d.cli.synopsis = QStringLiteral("[--hyperlinks] [--blank-paragraphs] [--spaces] [--headers] [--footers] [--comments] PATH...");
  d.cli.summary = QStringLiteral("cleans the documents up by the options given, in this order (批量清理文档)");
  d.cli.options = {
      {QStringLiteral("hyperlinks"), false, {}, QStringLiteral("hyperlinks become plain text (清理掉文字的链接)")},
      {QStringLiteral("blank-paragraphs"), false, {}, QStringLiteral("remove paragraphs holding only their mark (清理掉多余的空白段路)")},
      {QStringLiteral("spaces"), false, {}, QStringLiteral("remove every half-width space of the main text (清理掉多余的空格)")},
      {QStringLiteral("headers"), false, {}, QStringLiteral("empty every header, watermarks included (清理页眉以及水印)")},
      {QStringLiteral("footers"), false, {}, QStringLiteral("empty every footer (清理文档的页脚)")},
      {QStringLiteral("comments"), false, {}, QStringLiteral("delete every comment (清理文档的批注)")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& v) -> std::optional<Refusal> {
    O& s = env.app.store<O>();
    s.options[O::BlankParagraphs] = v.has(QStringLiteral("blank-paragraphs"));
    s.options[O::Hyperlinks] = v.has(QStringLiteral("hyperlinks"));
    s.options[O::Spaces] = v.has(QStringLiteral("spaces"));
    s.options[O::Headers] = v.has(QStringLiteral("headers"));
    s.options[O::Footers] = v.has(QStringLiteral("footers"));
    s.options[O::Comments] = v.has(QStringLiteral("comments"));
    if (!s.any()) return Refusal{{}, QStringLiteral("give at least one of the clean-up options"), {}};
    return std::nullopt;
  };
  return d;
}
