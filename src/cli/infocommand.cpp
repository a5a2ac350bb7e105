// vellumark-cli info [--json] PATH...: what the engine sees in each document: the back end
// that opens it, the page count (with the office back end), Word's character count, the
// paragraph count, and the headers, footers, comments and pictures found. A count the engine
// cannot give for the document prints "不支持" (null in JSON), never 0. Documents are opened
// read-only; nothing is saved. Exit 3 when a document could not be read.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

#include "app/appcontext.h"
#include "cli/commands.h"
#include "cli/registry.h"
#include "cli/runner.h"
#include "word/document.h"
#include "word/layout.h"
#ifdef VM_HAVE_OFFICE
#include "word/office/office.h"
#endif

namespace vm::cli {

namespace {

struct Info {
  QString path, backend, error;
  std::optional<int> pages, headers, footers, comments, pictures;  // nullopt: not supported
  std::int64_t characters = 0;
  int paragraphs = 0;
};

// The layout's inventory fills what the document's own back end could not count.
void fillFromLayout(Info& info, vm::word::LayoutDocument& l) {
  info.pages = l.pageCount();
  auto inv = l.inventory();
  if (!info.headers) info.headers = inv.headers;
  if (!info.footers) info.footers = inv.footers;
  if (!info.comments) info.comments = inv.comments;
  info.pictures = inv.pictures;
}

std::optional<int> storyCount(vm::word::Document& doc, vm::word::StoryKind kind) {
  try {
    return static_cast<int>(doc.stories(kind).size());
  } catch (const vm::word::EngineError& e) {
    if (e.code() == vm::word::ErrorCode::Unsupported) return std::nullopt;
    throw;
  }
}

Info inspect(const QString& path) {
  using namespace vm::word;
  Info info;
  info.path = path;
  const std::filesystem::path p = path.toStdString();
  try {
    auto doc = vm::word::open(p, {Need::Content, true});
    info.backend = QString::fromStdString(doc->backend());
    auto& main = doc->mainStory();
    info.characters = main.characterCount();
    for (const auto& para : main.paragraphs())
      if (!para.rowEnd) ++info.paragraphs;
    info.headers = storyCount(*doc, StoryKind::Header);
    info.footers = storyCount(*doc, StoryKind::Footer);
    info.comments = storyCount(*doc, StoryKind::Comments);
    if (auto* l = layout(*doc)) {
      fillFromLayout(info, *l);
    } else if (auto office = officeBackend(); office && office->available()) {
      auto laid = office->open(p, {Need::Layout, true});
      if (auto* ll = layout(*laid)) fillFromLayout(info, *ll);
    }
  } catch (const EngineError& e) {
    info.error = QString::fromStdString(e.userMessage());  // the English detail is not for the user
  }
  return info;
}

QJsonValue opt(const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null); }
QString optText(const std::optional<int>& v) { return v ? QString::number(*v) : QStringLiteral("不支持"); }

int runInfo(CliContext& ctx) {
  if (int code = fillList(ctx)) return code;
#ifdef VM_HAVE_OFFICE
  if (!vm::word::officeBackend() && qEnvironmentVariableIntValue("VELLUMARK_NO_OFFICE") == 0)
    vm::word::office::installForProgram(ctx.app.dataFolder().root().toStdString());
#endif
  const bool json = ctx.args.json || ctx.args.has(QStringLiteral("json"));
  const DocumentList& list = ctx.app.documents();
  QJsonArray all;
  int failed = 0;
  for (int i = 0; i < list.entryCount(); ++i) {
    Info info = inspect(list.at(i).path);
    if (!info.error.isEmpty()) ++failed;
    if (json) {
      QJsonObject o;
      o[QStringLiteral("path")] = info.path;
      if (!info.error.isEmpty()) {
        o[QStringLiteral("error")] = info.error;
      } else {
        o[QStringLiteral("backend")] = info.backend;
        o[QStringLiteral("pages")] = opt(info.pages);
        o[QStringLiteral("characters")] = static_cast<double>(info.characters);
        o[QStringLiteral("paragraphs")] = info.paragraphs;
        o[QStringLiteral("headers")] = opt(info.headers);
        o[QStringLiteral("footers")] = opt(info.footers);
        o[QStringLiteral("comments")] = opt(info.comments);
        o[QStringLiteral("pictures")] = opt(info.pictures);
      }
      all.append(o);
      continue;
    }
    ctx.out << info.path << '\n';
    if (!info.error.isEmpty()) {
      ctx.out << QStringLiteral("  错误：") << info.error << '\n';
      continue;
    }
    ctx.out << QStringLiteral("  后端：") << info.backend << '\n'
            << QStringLiteral("  页数：") << optText(info.pages) << '\n'
            << QStringLiteral("  字符数：") << info.characters << '\n'
            << QStringLiteral("  段落数：") << info.paragraphs << '\n'
            << QStringLiteral("  页眉：") << optText(info.headers) << QStringLiteral("  页脚：") << optText(info.footers)
            << QStringLiteral("  批注：") << optText(info.comments) << QStringLiteral("  图片：") << optText(info.pictures)
            << '\n';
  }
  if (json) ctx.out << QJsonDocument(all).toJson(QJsonDocument::Indented);
  ctx.out.flush();
  return failed ? kExitFailures : kExitOk;
}

}  // namespace

void registerInfoCommand(CliRegistry& registry) {
  CliCommand c;
  c.name = QStringLiteral("info");
  c.synopsis = QStringLiteral("[--json] PATH...");
  c.summary = QStringLiteral("print what the engine finds in each document (back end, pages, characters, paragraphs, ...)");
  c.options = {{QStringLiteral("json"), false, {}, QStringLiteral("one JSON array for scripts")}};
  c.minPaths = 1;
  c.run = runInfo;
  registry.add(std::move(c));
}

}  // namespace vm::cli
