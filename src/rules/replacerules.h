#pragma once
// The content replace rules: an ordered list of (find text, replacement, tick), shared by the
// replace run, document generation, the combined runs and the tasks. The list lives for the
// program's run; the rule window and its two editors only show and edit it, so hiding or
// closing the window never loses a rule.
//
// The find text of a rule is never empty and unique in the list under exact, case-sensitive
// comparison. A replacement holding both "[img]" and "[/img]" is a picture reference: the
// picture's path is the replacement with every marker removed.
//
// Thread safety: the list is edited on the GUI thread; rules() and the other readers may be
// called from a run's worker thread at any time (they take a snapshot under a lock).

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <optional>

namespace vm::rules {

struct Rule {
  QString find;
  QString replacement;
  bool ticked = true;
  bool operator==(const Rule&) const = default;
};

// What an editor or the rule file reader refuses: the message box's title and text.
struct Refusal {
  QString title;
  QString text;
  bool operator==(const Refusal&) const = default;
};

inline const QString kImgOpen = QStringLiteral("[img]");
inline const QString kImgClose = QStringLiteral("[/img]");

// Both markers present (case-sensitive).
bool isPictureReference(const QString& value);
// The value with every "[img]" and every "[/img]" removed.
QString picturePath(const QString& value);
// "[img]" + path + "[/img]", as the picture links write it.
QString pictureReference(const QString& path);

// The editors' trimming: leading and trailing blanks (spaces) removed; other characters kept.
QString trimBlanks(const QString& text);
// The editors' test that a replacement differs from its find text (both trimmed).
std::optional<Refusal> checkDiffer(const QString& find, const QString& replacement);

class ReplaceRules : public QObject {
  Q_OBJECT
 public:
  explicit ReplaceRules(QObject* parent = nullptr);

  // --- reading (any thread) ----------------------------------------------------------------
  int count() const;
  int tickedCount() const;
  Rule at(int index) const;
  QList<Rule> rules() const;
  // Index of the rule whose find text equals find exactly; -1 when none.
  int indexOf(const QString& find) const;

  // --- the editors' validations, in their order; nothing changes on a refusal --------------
  // Add: both texts trimmed; empty find text, replacement equal to the find text, find text
  // already in the list. Accepted: the rule is appended, ticked.
  // A list with stricter rules (the filename rules) overrides the two checks; add, modify and
  // the rule file reader go through them.
  virtual std::optional<Refusal> checkAdd(const QString& find, const QString& replacement) const;
  std::optional<Refusal> add(const QString& find, const QString& replacement);
  // Modify rule index (0-based): the trimmed replacement must differ from the rule's find
  // text. Accepted: the replacement changes; the find text and the tick stay.
  virtual std::optional<Refusal> checkModify(int index, const QString& replacement) const;
  std::optional<Refusal> modify(int index, const QString& replacement);

  // --- editing -----------------------------------------------------------------------------
  void setTicked(int index, bool ticked);
  void setAllTicked(bool ticked);
  void invertTicks();
  int removeTicked();  // returns the number removed; the others keep their order
  void clear();
  // Replaces the whole list (tasks reload a stored list). The caller vouches for the rules.
  void setRules(const QList<Rule>& rules);

 signals:
  // After every change of the list (emitted on the thread that made the change).
  void changed();

 private:
  mutable QMutex mutex_;
  QList<Rule> rules_;
};

// --- The rule file: the command line's --rules and the rule window's import and export -----
//
// UTF-8 text (a byte-order mark is allowed), one rule a line: find text, a tab, the
// replacement, and an optional third column "0" that unticks the rule ("1" or nothing
// leaves it ticked). Lines starting with "#" and empty lines are ignored; CR LF is accepted.
// Pictures are written "[img]path[/img]".

struct RuleFileError {
  int line = 0;  // 1-based; 0 when the file itself cannot be read
  Refusal refusal;
  // The refusal's text, followed by the line number when there is one.
  QString text() const;
  // "TITLE: TEXT" with that text.
  QString toString() const;
};

// Appends the rules of text to into, every rule through the add validation. A rule whose find
// text is already there is skipped and described in *skipped when given, else refused. All or
// nothing: on an error, into is unchanged.
std::optional<RuleFileError> importRules(const QString& text, ReplaceRules& into, QStringList* skipped = nullptr);
// The same from a file in UTF-8, else GB18030.
std::optional<RuleFileError> importRuleFile(const QString& path, ReplaceRules& into, QStringList* skipped = nullptr);

// The file text for rules. A rule that cannot be written as one line (a tab or a line break
// in a text, a find text starting with "#") is refused: nothing is returned and *problem says
// which rule.
std::optional<QString> exportRules(const QList<Rule>& rules, Refusal* problem = nullptr);
// Writes the file; false with *problem set when a rule cannot be written or the file fails.
bool exportRuleFile(const QString& path, const QList<Rule>& rules, Refusal* problem = nullptr);

}  // namespace vm::rules
