#pragma once
// Every message and question of the commands goes through a Prompter: message boxes in the
// window (OK; OK and Cancel with the question icon), stderr and --yes on the command line
// (src/cli/streamprompter.h), a recorder in tests. Texts and titles are passed exactly as
// the user must see them (see app/messages.h for the shell's own).

#include <QList>
#include <QString>
#include <QStringList>

namespace vm {

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A message with an OK button.
  virtual void inform(const QString& title, const QString& text) = 0;
  // A question with OK and Cancel and the question icon; true for OK.
  virtual bool ask(const QString& title, const QString& text) = 0;
  // A message with an OK button that reports a failure (the warning icon in the window).
  virtual void warn(const QString& title, const QString& text) { inform(title, text); }
};

// Records every call; answers questions with a preset answer. For tests.
class RecordingPrompter : public Prompter {
 public:
  struct Entry {
    bool question;
    QString title;
    QString text;
    bool warning = false;
  };
  void inform(const QString& title, const QString& text) override { entries.push_back({false, title, text}); }
  void warn(const QString& title, const QString& text) override { entries.push_back({false, title, text, true}); }
  bool ask(const QString& title, const QString& text) override {
    entries.push_back({true, title, text});
    return answer;
  }
  bool empty() const { return entries.isEmpty(); }
  const Entry& last() const { return entries.back(); }
  void clear() { entries.clear(); }

  bool answer = true;
  QList<Entry> entries;
};

}  // namespace vm
