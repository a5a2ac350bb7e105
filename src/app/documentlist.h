#pragma once
// The document list: full paths with a tick each, in list order. Operations work
// on the ticked entries. Counts and indexes are plain ints (100,000 entries and more). It is
// a list model, so that the window's view shows it directly (DisplayRole and ToolTipRole:
// the path; CheckStateRole: the tick). Paths use "/". Used on the GUI thread; the scans are
// static and may run on any thread.

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

namespace vm {

struct DocumentEntry {
  QString path;
  bool ticked = true;
  QString result;  // how the last run left it ("完成：替换 2 处", "失败：…"); empty before a run
};

class DocumentList : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit DocumentList(QObject* parent = nullptr);

  // --- the rules of the list -------------------------------------------------------------
  // The characters after the last "." of a path; the whole text when it has none.
  static QString getFileExt(const QString& path);
  // The suffix list of the ticked suffix boxes: "doc,docx," (runs of commas reduced to one).
  static QString suffixList(bool doc, bool docx);
  // The same for any captions: each followed by a comma, runs of commas reduced to one.
  static QString suffixList(const QStringList& captions);
  // Whether an extension qualifies for a suffix list: equal to one entry (in any case), at
  // least three characters, never "ocx".
  static bool qualifies(const QString& ext, const QString& suffixList);
  // Whether a path's extension qualifies.
  static bool pathQualifies(const QString& path, const QString& suffixList);
  // The number of characters (code points, not UTF-16 units or bytes) of a name.
  static int characterCount(const QString& name);
  // Whether the tree add enters a subfolder of this name: not starting with ".".
  static bool entersSubfolder(const QString& name);
  // Files no add lists: names starting with "." and Word's owner files ("~$…").
  static bool isHiddenName(const QString& name);
  // Why a file picked on its own is not added (hidden, or its suffix not chosen); empty when
  // it qualifies.
  static QString whyNotListed(const QString& path, const QString& suffixList);
  // A folder path with "/" appended when missing ("\" is read as "/"); blank stays blank.
  static QString folderWithSlash(const QString& folder);

  // --- scans (no model access; any thread) ------------------------------------------------
  // Called once per folder read with the number of documents found so far; return false to
  // cancel.
  using ScanProgress = std::function<bool(int found, const QString& folder)>;
  // Every qualifying file of one folder that is not hidden (isHiddenName), as folder +
  // "/" + name, sorted by name (code-unit order). Subfolders are passed over. Qualifying
  // entries that cannot be listed (dangling or looping links, names that are not UTF-8, pipes)
  // are described in problems ("path：reason"), never left out unseen.
  static QStringList scanFolder(const QString& folder, const QString& suffixList,
                                const std::atomic<bool>* cancel = nullptr, QStringList* problems = nullptr);
  // The folder and its subfolders: qualifying files not hidden, then each subfolder whose
  // name does not start with ".", by name, depth first.
  // Linked subfolders are not entered. A set cancel flag (or a progress callback returning
  // false) ends the scan early with what was found so far; *cancelled tells. problems as for
  // scanFolder, and subfolders whose names are not UTF-8.
  static QStringList scanTree(const QString& folder, const QString& suffixList,
                              const std::atomic<bool>* cancel = nullptr,
                              const ScanProgress& progress = {}, bool* cancelled = nullptr,
                              QStringList* problems = nullptr);

  // The suffixes chosen for the list (the window's suffix boxes, the command line's --suffix):
  // what an operation that refills the list adds (generate and print).
  void setChosenSuffixes(const QString& suffixList) { chosenSuffixes_ = suffixList; }
  const QString& chosenSuffixes() const { return chosenSuffixes_; }

  // --- building (synchronous: scan + append) ------------------------------------------
  // AddFiles: nothing for a blank path. A single file (isFolder false): added unchanged when
  // it exists and qualifies. A folder (isFolder true): "/" appended, then scanFolder.
  // Returns the number of entries added.
  int addFiles(const QString& path, const QString& suffixList, bool isFolder, QStringList* problems = nullptr);
  // ShowAllFile: the recursive add (scanTree), "/" appended to the folder when missing.
  int showAllFile(const QString& folder, const QString& suffixList, QStringList* problems = nullptr);
  // Appends paths, each ticked, in one insert (for scans done elsewhere).
  void append(const QStringList& paths);
  void append(const QVector<DocumentEntry>& entries);
  // The outcome of the last run, shown after the path until the next run starts.
  void setResult(int index, const QString& result);
  void clearResults();

  // --- editing ------------------------------------------------------------------------------
  void clear();
  void setAllTicked(bool ticked);  // lbl_select 0 and 1, m_selAll
  void invertTicks();              // lbl_select 2
  void setTicked(int index, bool ticked);
  int deleteTicked();  // lbl_select 3, m_delSelList; returns the number removed
  int clearSame();     // m_clearSame: removes later exact duplicates; returns the number removed
  // The filter's steps 2 and 3: removes the entries of existing files whose path lacks
  // mustContain (when given) or holds mustNotContain (when given); both texts trimmed;
  // case-insensitive unless caseSensitive. Entries of missing files stay. Returns the number
  // removed. (The messages are the command's: see listcommands.h.)
  int filter(const QString& mustContain, const QString& mustNotContain, bool caseSensitive);
  // Removes the given indexes (any order, duplicates allowed), from the highest down.
  int removeIndexes(QVector<int> indexes);

  // --- reading ------------------------------------------------------------------------------
  int entryCount() const { return static_cast<int>(entries_.size()); }
  int tickedCount() const { return ticked_; }
  const DocumentEntry& at(int index) const { return entries_[index]; }
  bool isTicked(int index) const { return entries_[index].ticked; }
  QString path(int index) const { return entries_[index].path; }
  QStringList paths() const;
  QStringList tickedPaths() const;
  // A copy of the entries (implicitly shared: cheap until the list changes). The run frame
  // works on one.
  QVector<DocumentEntry> snapshot() const { return entries_; }
  // "3|10": the status bar's third panel.
  QString countsText() const;

  // QAbstractListModel
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // After every change of the ticked count or the entry count.
  void countsChanged(int ticked, int entries);

 private:
  QString chosenSuffixes_ = QStringLiteral("doc,docx,");
  void notifyCounts();
  void recount();
  QVector<DocumentEntry> entries_;
  int ticked_ = 0;
};

}  // namespace vm
