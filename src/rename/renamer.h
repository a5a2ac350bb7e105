#pragma once
// The renamer: builds a document's new name from the pattern (date, running number, old name,
// title), rewrites it by the ticked filename rules, makes it a safe file name inside the
// output folder and finds a free one (name2, name3, ... when taken); then puts a copy of the
// source there. The source is never changed, and no existing file is ever replaced.
//
// A name never leaves the output folder: "/" and control characters (NUL included) become
// "_", "." and ".." get a "_" in front, and a name is cut (whole characters) to the file
// system's limit, the number included. The rules act on the name only, never on the folder.

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

#include "rename/namesettings.h"
#include "rules/replacerules.h"

namespace vm::word {
class Story;
}

namespace vm::rename {

inline const QString kNoTitle = QStringLiteral("没标题或者标题格式不符");
inline constexpr int kTitleMaxLength = 50;

// Every rule in order, each on the result of the one before, case-sensitively.
QString applyRules(QString text, const QList<rules::Rule>& rules);

// The text the title is taken from: the chosen paragraph, whole or between the two offsets
// (Word's Range.Text, paragraph marks included). Empty when the paragraph or the range lies
// beyond the document.
QString titleSource(word::Story& story, const RenameSettings& settings);

// From that text to the title: line breaks removed, the rules, the no-title text when empty,
// the 50-character cut and, with offsets, the E − S + 1 cut.
QString makeTitle(QString text, const QList<rules::Rule>& rules, const RenameSettings& settings);

// "/" and control characters to "_".
QString safeName(QString name);

// base, the number k (none below 2), "." and ext, with base (then ext) cut to whole characters
// so that the name holds at most limitBytes bytes of UTF-8.
QString fitName(const QString& base, int k, const QString& ext, int limitBytes);

// The longest file name the folder's file system takes, in bytes.
int nameLimit(const QString& folder);

class Renamer {
 public:
  // Rules: only the ticked ones act. write false: a preview that reads the documents and
  // reserves the names it would write, but writes nothing.
  Renamer(RenameSettings settings, QList<rules::Rule> rules, bool write);

  // The whole renamer for one document; returns the new file's path. Engine and file system
  // failures are thrown; the source is closed and unchanged in every case.
  QString rename(const QString& source);

  // The pattern with the date, number and old-name tags filled in; takes a number when the
  // pattern holds the number tag.
  QString fillPattern(const QString& source);
  int nextNumber() const { return number_; }

  // Test seam: the date the tags read (read afresh for each tag).
  void setClock(std::function<QDate()> today) { today_ = std::move(today); }

 private:
  QString freeTarget(const QString& base, const QString& ext, const QString& source);

  RenameSettings settings_;
  QList<rules::Rule> rules_;
  bool write_;
  QString folder_;
  int number_ = 1;
  int limit_ = 255;
  QSet<QString> reserved_;
  std::function<QDate()> today_ = &QDate::currentDate;
};

}  // namespace vm::rename
