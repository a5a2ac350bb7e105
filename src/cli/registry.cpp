#include "cli/registry.h"

#include <QFileInfo>

#include <algorithm>

#include "app/appcontext.h"
#include "app/datafolder.h"
#include "app/documentlist.h"
#include "cli/streamprompter.h"

namespace vm::cli {

void CliRegistry::add(CliCommand command) {
  for (CliCommand& c : commands_) {
    if (c.name == command.name) {
      c = std::move(command);
      return;
    }
  }
  commands_.push_back(std::move(command));
}

const CliCommand* CliRegistry::find(const QString& name) const {
  for (const CliCommand& c : commands_)
    if (c.name == name) return &c;
  return nullptr;
}

CliRegistry& builtinRegistry() {
  static CliRegistry registry = [] {
    CliRegistry r;
    registerBuiltinCommands(r);
    return r;
  }();
  return registry;
}

bool parseSuffix(const QString& value, QString* suffixList, QString* error) {
  bool doc = false, docx = false;
  for (const QString& part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const QString s = part.trimmed();
    if (s == QLatin1String("doc")) doc = true;
    else if (s == QLatin1String("docx")) docx = true;
    else if (!s.isEmpty()) {
      if (error) *error = QStringLiteral("--suffix takes doc and docx, comma-separated (not \"%1\")").arg(s);
      return false;
    }
  }
  if (suffixList) *suffixList = DocumentList::suffixList(doc, docx);
  return true;
}

QString CliContext::suffixList() {
  if (args.suffixGiven) {
    QString list;
    parseSuffix(args.suffix, &list, nullptr);
    return list;
  }
  if (!app.enginesChecked()) app.checkEngines();
  return app.engines().defaultSuffixList();
}

namespace {

struct GlobalOption {
  const char* name;
  bool takesValue;
};

const CliOption* findOption(const CliCommand* command, const QString& name) {
  if (!command) return nullptr;
  for (const CliOption& o : command->options)
    if (o.name == name) return &o;
  return nullptr;
}

}  // namespace

bool parseArgs(const QStringList& args, const CliRegistry& registry, ParsedArgs* p, QString* error) {
  *p = ParsedArgs{};
  const CliCommand* command = nullptr;
  bool endOfOptions = false;
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const bool isOption = !endOfOptions && a.startsWith(QLatin1Char('-')) && a.size() > 1;
    if (!isOption) {
      if (p->command.isEmpty()) {
        p->command = a;
        command = registry.find(a);
        // Two-word commands ("header add"): the noun, then the verb.
        if (!command && i + 1 < args.size() && (command = registry.find(a + QLatin1Char(' ') + args[i + 1])))
          p->command = a + QLatin1Char(' ') + args[++i];
        if (!command) return fail(QStringLiteral("unknown command \"%1\"").arg(a));
      } else {
        p->paths << a;
      }
      continue;
    }
    if (a == QLatin1String("--")) {
      endOfOptions = true;
      continue;
    }
    QString name = a;
    QString value;
    bool hasInlineValue = false;
    if (name.startsWith(QLatin1String("--"))) {
      name = name.mid(2);
      const int eq = name.indexOf(QLatin1Char('='));
      if (eq >= 0) {
        value = name.mid(eq + 1);
        name = name.left(eq);
        hasInlineValue = true;
      }
    } else if (a == QLatin1String("-y")) {
      name = QStringLiteral("yes");
    } else if (a == QLatin1String("-r")) {
      name = QStringLiteral("recursive");
    } else if (a == QLatin1String("-h")) {
      name = QStringLiteral("help");
    } else {
      return fail(QStringLiteral("unknown option \"%1\"").arg(a));
    }
    auto takeValue = [&](QString* out) {
      if (hasInlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    if (name == QLatin1String("home")) {
      if (!takeValue(&p->home) || p->home.isEmpty()) return fail(QStringLiteral("--home needs a folder"));
    } else if (name == QLatin1String("yes")) {
      p->yes = true;
    } else if (name == QLatin1String("json")) {
      p->json = true;
    } else if (name == QLatin1String("null")) {
      p->nullPaths = true;
    } else if (name == QLatin1String("jobs")) {
      QString v;
      bool ok = false;
      if (takeValue(&v)) p->jobs = v.toInt(&ok);
      if (!ok || p->jobs < 1 || p->jobs > 256) return fail(QStringLiteral("--jobs needs a number from 1 to 256"));
    } else if (name == QLatin1String("recursive")) {
      p->recursive = true;
    } else if (name == QLatin1String("help")) {
      p->help = true;
    } else if (name == QLatin1String("suffix")) {
      if (!takeValue(&p->suffix)) return fail(QStringLiteral("--suffix needs a list, e.g. doc,docx"));
      QString why;
      if (!parseSuffix(p->suffix, nullptr, &why)) return fail(why);
      p->suffixGiven = true;
    } else if (const CliOption* o = findOption(command, name)) {
      QString v;
      if (o->takesValue) {
        for (int k = 0; k < std::max(1, o->values); ++k) {
          if (!takeValue(&v)) return fail(QStringLiteral("--%1 needs %2 value(s)").arg(name).arg(std::max(1, o->values)));
          hasInlineValue = false;
          p->options[name] << v;
        }
      } else if (hasInlineValue) {
        return fail(QStringLiteral("--%1 takes no value").arg(name));
      } else {
        p->options[name] << v;
      }
    } else {
      return fail(QStringLiteral("unknown option \"--%1\"").arg(name));
    }
  }
  if (p->help) return true;
  if (p->command.isEmpty()) return fail(QStringLiteral("no command given"));
  if (p->paths.size() < command->minPaths) return fail(QStringLiteral("%1 needs PATH").arg(p->command));
  return true;
}

QString usage(const CliRegistry& registry) {
  QString u;
  QTextStream s(&u);
  s << "Usage: vellumark-cli [--home DIR] [--yes] [--jobs N] [--json] [--suffix doc,docx] [--recursive] COMMAND [options] PATH...\n"
    << "\n"
    << "Fills the document list from each PATH as the File menu does (a file: the single-file add;\n"
    << "a folder: the folder add; with --recursive: the folder and its subfolders) and runs COMMAND\n"
    << "on every document of the list. A PATH of - reads paths from standard input, one a line.\n"
    << "\n"
    << "Options:\n"
    << "  --home DIR        data folder (default: $VELLUMARK_HOME, else ~/.local/share/vellumark)\n"
    << "  --yes, -y         answer OK to every question\n"
    << "  --jobs N          documents worked on at once where they do not depend on each other\n"
    << "                    (default: [run] jobs in config.ini, else one per core)\n"
    << "  --json            one JSON object a line on stdout for each document (path, ok, message,\n"
    << "                    count) and a last one with \"summary\": true; the summary text goes to stderr\n"
    << "  --null            paths read from standard input (PATH -) are NUL-separated\n"
    << "  --suffix LIST     suffixes to add: doc, docx or doc,docx (default: doc,docx when\n"
    << "                    LibreOffice is usable, docx otherwise)\n"
    << "  --recursive, -r   add folders with their subfolders\n"
    << "  --help, -h        this text\n"
    << "\n"
    << "Commands:\n";
  for (const CliCommand& c : registry.commands()) {
    s << "  " << c.name << ' ' << c.synopsis << "\n      " << c.summary << "\n";
    for (const CliOption& o : c.options) {
      QString left = QStringLiteral("--") + o.name;
      if (o.takesValue) left += QLatin1Char(' ') + (o.valueName.isEmpty() ? QStringLiteral("VALUE") : o.valueName);
      s << "      " << left.leftJustified(18) << ' ' << o.help << "\n";
    }
  }
  s << "\n"
    << "Exit status: 0 done; 1 refused (\"TITLE: TEXT\" on stderr), cancelled, or stopped (Ctrl-C,\n"
    << "SIGTERM, SIGHUP: the run ends after the documents in hand); 2 usage error; 3 some documents\n"
    << "failed (see the summary).\n";
  s.flush();
  return u;
}

int run(const QStringList& argsWithProgram, QTextStream& out, QTextStream& err, QTextStream* in, bool interactive) {
  const CliRegistry& registry = builtinRegistry();
  ParsedArgs parsed;
  QString error;
  const QStringList args = argsWithProgram.mid(1);
  if (!parseArgs(args, registry, &parsed, &error)) {
    err << "vellumark-cli: " << error << "\n\n" << usage(registry) << Qt::flush;
    return kExitUsage;
  }
  if (parsed.help) {
    out << usage(registry) << Qt::flush;
    return kExitOk;
  }
  const CliCommand* command = registry.find(parsed.command);
  StreamPrompter prompter(err, parsed.yes, in, interactive);
  auto app = AppContext::create(parsed.home, prompter);
  if (!app) {
    err.flush();
    return kExitRefused;
  }
  if (parsed.jobs > 0) app->runFrame().setMaxWorkers(parsed.jobs);
  CliContext ctx{*app, prompter, out, err, parsed, in};
  const int code = command->run(ctx);
  app->errorLog().write();
  out.flush();
  err.flush();
  return code;
}

}  // namespace vm::cli
