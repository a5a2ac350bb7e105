#include "cli/streamprompter.h"

namespace vm::cli {

StreamPrompter::StreamPrompter(QTextStream& err, bool yes, QTextStream* in, bool interactive)
    : err_(err), yes_(yes), in_(in), interactive_(interactive) {}

void StreamPrompter::inform(const QString& title, const QString& text) {
  ++informs_;
  err_ << title << ": " << text << Qt::endl;
}

bool StreamPrompter::ask(const QString& title, const QString& text) {
  err_ << title << ": " << text;
  if (yes_) {
    err_ << Qt::endl << "(--yes: OK)" << Qt::endl;
    return true;
  }
  if (in_ && interactive_) {
    err_ << Qt::endl << "OK? [y/N] " << Qt::flush;
    const QString answer = in_->readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
  }
  err_ << Qt::endl << "(cancelled: no terminal to ask; pass --yes to answer OK)" << Qt::endl;
  return false;
}

}  // namespace vm::cli
