#pragma once
// The document list: full paths with a tick each, in list order. Operations work on the
// ticked entries. Counts and indexes are plain ints (the list holds 100,000 entries and more).
// It is a list model so that the window's view shows it directly.

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

namespace vm {

struct DocumentEntry {
  QString path;
  bool ticked = true;
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
  // Whether an extension qualifies for a suffix list: equal to one entry (case-sensitive),
  // at least three characters, never "ocx".
  static bool qualifies(const QString& ext, const QString& suffixList);

  // --- building -----------------------------------------------------------------------------
  // Directory scans without touching the model, safe on any thread (the window runs them off
  // the GUI thread and appends the result, so that it keeps answering). A set cancel flag
  // ends the scan early with what was found so far.
  static QStringList scanFolder(const QString& folder, const QString& suffixList);
  static QStringList scanTree(const QString& folder, const QString& suffixList,
                              const std::atomic<bool>* cancel = nullptr);
  // A single file (isFolder false) or every qualifying file of one folder (isFolder true).
  // Returns the number of entries added.
  int addFiles(const QString& path, const QString& suffixList, bool isFolder);
  // A folder and its subfolders (names not starting with "." and at most 20 characters).
  int showAllFile(const QString& folder, const QString& suffixList);
  // Appends paths, each ticked, in one model reset/insert (for scans done elsewhere).
  void append(const QStringList& paths);

  // --- editing ------------------------------------------------------------------------------
  void clear();
  void setAllTicked(bool ticked);
  void invertTicks();
  void setTicked(int index, bool ticked);
  int deleteTicked();  // returns the number removed
  int clearSame();     // removes later exact duplicates; returns the number removed
  // Removes entries of existing files that fail the filter. Returns the number removed.
  int filter(const QString& mustContain, const QString& mustNotContain, bool caseSensitive);

  // --- reading ------------------------------------------------------------------------------
  int entryCount() const { return static_cast<int>(entries_.size()); }
  int tickedCount() const { return ticked_; }
  const DocumentEntry& at(int index) const { return entries_[index]; }
  QStringList paths() const;
  QStringList tickedPaths() const;

  // QAbstractListModel
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void countsChanged(int ticked, int entries);

 private:
  QVector<DocumentEntry> entries_;
  int ticked_ = 0;
};

}  // namespace vm
