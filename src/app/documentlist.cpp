#include "app/documentlist.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vm {

DocumentList::DocumentList(QObject* parent) : QAbstractListModel(parent) {}

// --- rules -------------------------------------------------------------------------------------

QString DocumentList::getFileExt(const QString& path) {
  const int dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return path;
  return path.mid(dot + 1);
}

QString DocumentList::suffixList(const QStringList& captions) {
  QString s;
  for (const QString& c : captions) s += c + QLatin1Char(',');
  // Runs of commas reduced to one.
  QString out;
  out.reserve(s.size());
  for (QChar c : s) {
    if (c == QLatin1Char(',') && out.endsWith(QLatin1Char(','))) continue;
    out += c;
  }
  if (out == QLatin1String(",")) out.clear();
  return out;
}

QString DocumentList::suffixList(bool doc, bool docx) {
  QStringList captions;
  if (doc) captions << QStringLiteral("doc");
  if (docx) captions << QStringLiteral("docx");
  return suffixList(captions);
}

bool DocumentList::qualifies(const QString& ext, const QString& suffixList) {
  if (ext.size() < 3 || ext.compare(QLatin1String("ocx"), Qt::CaseInsensitive) == 0) return false;
  qsizetype from = 0;
  while (from <= suffixList.size()) {
    qsizetype comma = suffixList.indexOf(QLatin1Char(','), from);
    if (comma < 0) comma = suffixList.size();
    // Case-insensitive: "REPORT.DOC" and "合同.Docx" are the user's documents too.
    if (comma - from == ext.size() && QStringView(suffixList).mid(from, comma - from).compare(ext, Qt::CaseInsensitive) == 0)
      return true;
    from = comma + 1;
  }
  return false;
}

bool DocumentList::pathQualifies(const QString& path, const QString& suffixList) {
  return qualifies(getFileExt(path), suffixList);
}

int DocumentList::characterCount(const QString& name) {
  int n = 0;
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) ++i;
    ++n;
  }
  return n;
}

bool DocumentList::entersSubfolder(const QString& name) {
  // Any length: a long folder name must not hide the documents in it.
  return !name.isEmpty() && !name.startsWith(QLatin1Char('.'));
}

bool DocumentList::isHiddenName(const QString& name) {
  // Dot files, and Word's owner files ("~$合同.docx"), hidden on the desktop where they come from.
  return name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1String("~$"));
}

QString DocumentList::whyNotListed(const QString& path, const QString& suffixList) {
  const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  if (isHiddenName(name))
    return name.startsWith(QLatin1String("~$")) ? QStringLiteral("这是 Word 打开文档时生成的临时文件，不是文档，未加入列表")
                                                 : QStringLiteral("这是隐藏文件，未加入列表");
  if (!pathQualifies(path, suffixList))
    return QStringLiteral("文件后缀名不是所选的文档后缀名（%1），未加入列表")
        .arg(QString(suffixList).replace(QLatin1Char(','), QLatin1Char(' ')).trimmed());
  return {};
}

QString DocumentList::folderWithSlash(const QString& folder) {
  QString f = folder.trimmed();
  if (f.isEmpty()) return f;
  f = QDir::fromNativeSeparators(f);
  if (!f.endsWith(QLatin1Char('/'))) f += QLatin1Char('/');
  return f;
}

// --- scans -------------------------------------------------------------------------------------

namespace {

bool codeUnitLess(const QString& a, const QString& b) { return a.compare(b, Qt::CaseSensitive) < 0; }

// A name from the file system as text; false when it is not UTF-8 (it could not be opened
// again from the text: reported instead of being left out unseen).
bool decodeName(const char* raw, QString* name) {
  const QByteArray bytes(raw);
  *name = QString::fromUtf8(bytes);
  return name->toUtf8() == bytes;
}

// Names of the files (and, when wanted, the subfolders) of one folder, each sorted. Entries
// that cannot be listed (a dangling or looping link, a name that is not UTF-8, a device or
// pipe) go to problems when their name qualifies (files) or always (subfolders).
void readFolder(const QString& folder, const QString& suffixList, QStringList* files,
                QStringList* subfolders, QStringList* linkedSubfolders, QStringList* problems) {
  const QByteArray native = QFile::encodeName(folder);
  DIR* dir = ::opendir(native.constData());
  if (!dir) return;
  const int dfd = ::dirfd(dir);
  auto report = [&](const QString& name, const char* why) {
    if (problems) problems->append(QStringLiteral("%1%2：%3").arg(folder, name, QString::fromUtf8(why)));
  };
  while (const dirent* e = ::readdir(dir)) {
    const char* raw = e->d_name;
    if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
    QString name;
    const bool decoded = decodeName(raw, &name);
    if (DocumentList::isHiddenName(name)) continue;
    struct stat st {};
    bool linked = false;
    if (::fstatat(dfd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (S_ISLNK(st.st_mode)) {
      linked = true;
      if (::fstatat(dfd, raw, &st, 0) != 0) {
        const int err = errno;
        if (DocumentList::pathQualifies(name, suffixList))
          report(name, err == ELOOP ? "链接形成循环，未加入列表" : "链接指向的文件不存在，未加入列表");
        continue;
      }
    }
    if (S_ISDIR(st.st_mode)) {
      if (!subfolders) continue;
      if (!decoded) {
        if (raw[0] != '.') report(name, "文件夹名不是有效的 UTF-8 编码，未进入");
        continue;
      }
      subfolders->append(name);
      if (linked && linkedSubfolders) linkedSubfolders->append(name);
      continue;
    }
    if (!DocumentList::pathQualifies(name, suffixList)) continue;
    if (!decoded)
      report(name, "文件名不是有效的 UTF-8 编码，无法处理，未加入列表");
    else if (!S_ISREG(st.st_mode))
      report(name, "不是普通文件，未加入列表");
    else
      files->append(name);
  }
  ::closedir(dir);
  std::sort(files->begin(), files->end(), codeUnitLess);
  if (subfolders) std::sort(subfolders->begin(), subfolders->end(), codeUnitLess);
}

}  // namespace

QStringList DocumentList::scanFolder(const QString& folder, const QString& suffixList, const std::atomic<bool>* cancel,
                                     QStringList* problems) {
  QStringList out;
  const QString base = folderWithSlash(folder);
  if (base.isEmpty() || (cancel && cancel->load())) return out;
  QStringList files;
  readFolder(base, suffixList, &files, nullptr, nullptr, problems);
  for (const QString& name : files) out.append(base + name);
  return out;
}

QStringList DocumentList::scanTree(const QString& folder, const QString& suffixList, const std::atomic<bool>* cancel,
                                   const ScanProgress& progress, bool* cancelled, QStringList* problems) {
  QStringList out;
  if (cancelled) *cancelled = false;
  const QString root = folderWithSlash(folder);
  if (root.isEmpty()) return out;

  struct Pending {
    QString path;       // ends with "/"
    QString canonical;  // canonical path of the folder, for the cycle check
  };
  QSet<QString> visited;
  std::vector<Pending> stack;
  QString rootCanonical = QFileInfo(root).canonicalFilePath();
  if (rootCanonical.isEmpty()) return out;  // not there
  stack.push_back({root, rootCanonical});

  QStringList files, subfolders, linked;
  while (!stack.empty()) {
    if (cancel && cancel->load()) {
      if (cancelled) *cancelled = true;
      break;
    }
    Pending cur = std::move(stack.back());
    stack.pop_back();
    if (visited.contains(cur.canonical)) continue;
    visited.insert(cur.canonical);
    files.clear();
    subfolders.clear();
    linked.clear();
    readFolder(cur.path, suffixList, &files, &subfolders, &linked, problems);
    for (const QString& name : files) out.append(cur.path + name);
    // Subfolders in name order, depth first: push them in reverse.
    for (auto it = subfolders.crbegin(); it != subfolders.crend(); ++it) {
      const QString& name = *it;
      // A linked folder is not entered: a link to "/" would walk the whole disk, and links
      // make loops.
      if (!entersSubfolder(name) || linked.contains(name)) continue;
      QString canonical = cur.canonical + QLatin1Char('/') + name;
      if (visited.contains(canonical)) continue;
      stack.push_back({cur.path + name + QLatin1Char('/'), std::move(canonical)});
    }
    if (progress && !progress(static_cast<int>(out.size()), cur.path)) {
      if (cancelled) *cancelled = true;
      break;
    }
  }
  return out;
}

// --- building ----------------------------------------------------------------------------------

int DocumentList::addFiles(const QString& path, const QString& suffixList, bool isFolder, QStringList* problems) {
  if (path.trimmed().isEmpty()) return 0;
  if (isFolder) {
    const QStringList found = scanFolder(path, suffixList, nullptr, problems);
    append(found);
    return static_cast<int>(found.size());
  }
  const QFileInfo fi(path);
  if (!fi.exists() || fi.isDir() || !whyNotListed(path, suffixList).isEmpty()) return 0;
  append(QStringList{path});
  return 1;
}

int DocumentList::showAllFile(const QString& folder, const QString& suffixList, QStringList* problems) {
  if (folder.trimmed().isEmpty()) return 0;
  const QStringList found = scanTree(folder, suffixList, nullptr, {}, nullptr, problems);
  append(found);
  return static_cast<int>(found.size());
}

void DocumentList::append(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const int first = entryCount();
  beginInsertRows({}, first, first + static_cast<int>(paths.size()) - 1);
  entries_.reserve(entries_.size() + paths.size());
  for (const QString& p : paths) entries_.push_back({p, true});
  ticked_ += static_cast<int>(paths.size());
  endInsertRows();
  notifyCounts();
}

void DocumentList::append(const QVector<DocumentEntry>& entries) {
  if (entries.isEmpty()) return;
  const int first = entryCount();
  beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
  entries_.append(entries);
  for (const DocumentEntry& e : entries) ticked_ += e.ticked ? 1 : 0;
  endInsertRows();
  notifyCounts();
}

void DocumentList::setResult(int index, const QString& result) {
  if (index < 0 || index >= entryCount() || entries_[index].result == result) return;
  entries_[index].result = result;
  emit dataChanged(this->index(index), this->index(index), {Qt::DisplayRole, Qt::ToolTipRole});
}

void DocumentList::clearResults() {
  bool any = false;
  for (DocumentEntry& e : entries_) {
    any = any || !e.result.isEmpty();
    e.result.clear();
  }
  if (any) emit dataChanged(index(0), index(entryCount() - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

// --- editing -----------------------------------------------------------------------------------

void DocumentList::clear() {
  if (entries_.isEmpty()) return;
  beginResetModel();
  entries_.clear();
  ticked_ = 0;
  endResetModel();
  notifyCounts();
}

void DocumentList::setAllTicked(bool ticked) {
  if (entries_.isEmpty()) return;
  for (DocumentEntry& e : entries_) e.ticked = ticked;
  ticked_ = ticked ? entryCount() : 0;
  emit dataChanged(index(0), index(entryCount() - 1), {Qt::CheckStateRole});
  notifyCounts();
}

void DocumentList::invertTicks() {
  if (entries_.isEmpty()) return;
  for (DocumentEntry& e : entries_) e.ticked = !e.ticked;
  ticked_ = entryCount() - ticked_;
  emit dataChanged(index(0), index(entryCount() - 1), {Qt::CheckStateRole});
  notifyCounts();
}

void DocumentList::setTicked(int i, bool ticked) {
  if (i < 0 || i >= entryCount() || entries_[i].ticked == ticked) return;
  entries_[i].ticked = ticked;
  ticked_ += ticked ? 1 : -1;
  emit dataChanged(index(i), index(i), {Qt::CheckStateRole});
  notifyCounts();
}

int DocumentList::removeIndexes(QVector<int> indexes) {
  std::sort(indexes.begin(), indexes.end(), std::greater<int>());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  while (!indexes.isEmpty() && indexes.front() >= entryCount()) indexes.removeFirst();
  while (!indexes.isEmpty() && indexes.back() < 0) indexes.removeLast();
  if (indexes.isEmpty()) return 0;
  // Contiguous runs, highest first.
  struct Run {
    int first, last;
  };
  std::vector<Run> runs;
  for (int i : indexes) {
    if (!runs.empty() && runs.back().first == i + 1) runs.back().first = i;
    else runs.push_back({i, i});
  }
  const int removed = static_cast<int>(indexes.size());
  if (runs.size() <= 256) {
    for (const Run& r : runs) {  // from the highest index down
      beginRemoveRows({}, r.first, r.last);
      for (int i = r.first; i <= r.last; ++i) ticked_ -= entries_[i].ticked ? 1 : 0;
      entries_.remove(r.first, r.last - r.first + 1);
      endRemoveRows();
    }
  } else {
    beginResetModel();
    std::vector<char> drop(entries_.size(), 0);
    for (int i : indexes) drop[i] = 1;
    QVector<DocumentEntry> kept;
    kept.reserve(entries_.size() - removed);
    for (int i = 0; i < entryCount(); ++i)
      if (!drop[i]) kept.push_back(std::move(entries_[i]));
    entries_ = std::move(kept);
    recount();
    endResetModel();
  }
  notifyCounts();
  return removed;
}

int DocumentList::deleteTicked() {
  if (ticked_ == 0) return 0;
  QVector<int> idx;
  idx.reserve(ticked_);
  for (int i = 0; i < entryCount(); ++i)
    if (entries_[i].ticked) idx.push_back(i);
  return removeIndexes(std::move(idx));
}

int DocumentList::clearSame() {
  QSet<QString> seen;
  seen.reserve(entries_.size());
  QVector<int> idx;
  for (int i = 0; i < entryCount(); ++i) {
    if (seen.contains(entries_[i].path)) idx.push_back(i);
    else seen.insert(entries_[i].path);
  }
  return removeIndexes(std::move(idx));
}

int DocumentList::filter(const QString& mustContain, const QString& mustNotContain, bool caseSensitive) {
  QString in = mustContain.trimmed();
  QString out = mustNotContain.trimmed();
  if (in.isEmpty() && out.isEmpty()) return 0;
  if (!caseSensitive) {
    in = in.toLower();
    out = out.toLower();
  }
  QVector<int> marked;
  for (int i = 0; i < entryCount(); ++i) {
    const QString& p = entries_[i].path;
    if (!QFileInfo::exists(p)) continue;  // entries of missing files stay untouched
    const QString path = caseSensitive ? p : p.toLower();
    if ((!in.isEmpty() && !path.contains(in)) || (!out.isEmpty() && path.contains(out))) marked.push_back(i);
  }
  return removeIndexes(std::move(marked));
}

// --- reading -----------------------------------------------------------------------------------

QStringList DocumentList::paths() const {
  QStringList r;
  r.reserve(entries_.size());
  for (const DocumentEntry& e : entries_) r.push_back(e.path);
  return r;
}

QStringList DocumentList::tickedPaths() const {
  QStringList r;
  r.reserve(ticked_);
  for (const DocumentEntry& e : entries_)
    if (e.ticked) r.push_back(e.path);
  return r;
}

QString DocumentList::countsText() const { return QStringLiteral("%1|%2").arg(ticked_).arg(entryCount()); }

int DocumentList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : entryCount(); }

QVariant DocumentList::data(const QModelIndex& idx, int role) const {
  if (!idx.isValid() || idx.row() < 0 || idx.row() >= entryCount()) return {};
  const DocumentEntry& e = entries_[idx.row()];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return e.result.isEmpty() ? e.path : e.path + QStringLiteral("　——　") + e.result;
    case Qt::EditRole:
      return e.path;
    case Qt::CheckStateRole:
      return e.ticked ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

bool DocumentList::setData(const QModelIndex& idx, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !idx.isValid() || idx.row() >= entryCount()) return false;
  setTicked(idx.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags DocumentList::flags(const QModelIndex& idx) const {
  if (!idx.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

void DocumentList::recount() {
  ticked_ = 0;
  for (const DocumentEntry& e : entries_) ticked_ += e.ticked ? 1 : 0;
}

void DocumentList::notifyCounts() { emit countsChanged(ticked_, entryCount()); }

}  // namespace vm
