#pragma once
// The command line's subcommands: one for every declared operation (app/operation.h), and the
// few that are not operations (list, info), each in its own file (src/cli/<name>command.cpp).
//
//   vellumark-cli [--home DIR] [--yes] [--suffix doc,docx] [--recursive] COMMAND [options] PATH...

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace vm {
class AppContext;
class Prompter;
}  // namespace vm

namespace vm::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;   // a refusal ("TITLE: TEXT" on stderr), a cancelled question, a stopped run
inline constexpr int kExitUsage = 2;     // a usage error (usage on stderr)
inline constexpr int kExitFailures = 3;  // the run ended with failed documents

struct CliOption {
  QString name;         // without the dashes: "copies"
  bool takesValue = false;
  QString valueName;    // for the usage text: "N"
  QString help;
  int values = 1;       // with takesValue: how many arguments follow
};

// The parsed command line.
struct ParsedArgs {
  QString home;
  bool yes = false;
  int jobs = 0;  // --jobs N; 0: the data folder's setting
  bool json = false;       // --json: a JSON line per document and a summary line
  bool nullPaths = false;  // --null: paths on standard input end with NUL, not a line break
  bool recursive = false;
  bool help = false;
  bool suffixGiven = false;
  QString suffix;         // the --suffix value as given
  QString command;
  QMap<QString, QStringList> options;  // command options: name -> values in order ("" for flags)
  QStringList paths;

  bool has(const QString& name) const { return options.contains(name); }
  QString value(const QString& name, const QString& fallback = {}) const {
    auto it = options.find(name);
    return it == options.end() || it->isEmpty() ? fallback : it->back();
  }
};

struct CliContext {
  AppContext& app;
  Prompter& prompter;
  QTextStream& out;
  QTextStream& err;
  ParsedArgs args;
  QTextStream* in = nullptr;  // standard input (paths given as "-", answers to questions)
  // The suffix list of --suffix ("doc,docx,"), else the default: doc,docx with a usable
  // office, docx otherwise (runs the engine check when needed).
  QString suffixList();
};

struct CliCommand {
  QString name;      // "list"
  QString synopsis;  // "[options] PATH..." (after the name)
  QString summary;   // one line for the usage text
  QList<CliOption> options;
  int minPaths = 1;  // fewer PATH arguments are a usage error
  std::function<int(CliContext&)> run;
};

class CliRegistry {
 public:
  void add(CliCommand command);
  const CliCommand* find(const QString& name) const;
  const QList<CliCommand>& commands() const { return commands_; }

 private:
  QList<CliCommand> commands_;
};

// Fills the list from the PATH arguments as the File menu does and ticks every entry:
// fillList() + tickAll() of runner.h. 0, or 1 after a refusal.
int addDocuments(CliContext& ctx);

// Every built-in subcommand (src/cli/commands.cpp).
void registerBuiltinCommands(CliRegistry& registry);
CliRegistry& builtinRegistry();

// Parses args (without the program name). On a usage error returns false and *error.
bool parseArgs(const QStringList& args, const CliRegistry& registry, ParsedArgs* parsed, QString* error);
// Checks a --suffix value: only "doc" and "docx", comma-separated; empty allowed.
bool parseSuffix(const QString& value, QString* suffixList, QString* error);
QString usage(const CliRegistry& registry);

// The whole command line: args include the program name. stdin may be null.
int run(const QStringList& args, QTextStream& out, QTextStream& err, QTextStream* in = nullptr,
        bool interactive = false);

}  // namespace vm::cli
