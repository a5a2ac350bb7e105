#pragma once
// Every message and question of the commands goes through a Prompter: message boxes in the
// window, stderr and --yes on the command line, a recorder in tests. Texts and titles are
// passed exactly as the user must see them.

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
};

// Records every call; answers questions with a preset answer. For tests.
class RecordingPrompter : public Prompter {
 public:
  struct Entry {
    bool question;
    QString title;
    QString text;
  };
  void inform(const QString& title, const QString& text) override { entries.push_back({false, title, text}); }
  bool ask(const QString& title, const QString& text) override {
    entries.push_back({true, title, text});
    return answer;
  }
  bool answer = true;
  QList<Entry> entries;
};

}  // namespace vm
