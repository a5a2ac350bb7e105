#pragma once
// The command line's Prompter: messages go to stderr as "TITLE: TEXT"; questions too, and are
// answered OK with --yes, else by a "y" typed on an interactive stdin, else Cancel.

#include <QTextStream>

#include "app/prompter.h"

namespace vm::cli {

class StreamPrompter : public Prompter {
 public:
  // in may be null (no input: questions are answered Cancel unless yes).
  StreamPrompter(QTextStream& err, bool yes, QTextStream* in = nullptr, bool interactive = false);
  void inform(const QString& title, const QString& text) override;
  bool ask(const QString& title, const QString& text) override;

  bool yes() const { return yes_; }
  void setYes(bool yes) { yes_ = yes; }
  int informCount() const { return informs_; }

 private:
  QTextStream& err_;
  bool yes_;
  QTextStream* in_;
  bool interactive_;
  int informs_ = 0;
};

}  // namespace vm::cli
