#pragma once
// The File menu commands and selection links over the model, with their checks
// and messages; the window and the command line call these, so both behave the same.
// Each handler ends with the error log writer (ErrorLog::Scope). Commands that change the
// list refuse while a run is in progress (msg::runBusy()).

#include <QString>

namespace vm {

class AppContext;
class Prompter;

namespace listcmd {

// m_choosefile: when the name is not blank and the file exists, the single-file add.
// Returns the number of entries added.
int chooseFile(AppContext& app, Prompter& prompter, const QString& file, const QString& suffixList);

// m_choosefolder / m_choosefolder2 before the folder dialog: false (after "请先选择文档后缀名！",
// "出错了！") when no suffix box is ticked.
bool checkSuffixChosen(Prompter& prompter, const QString& suffixList);

// m_choosefolder (recursive false) / m_choosefolder2 (recursive true), synchronously: the
// suffix check, then, when the path is not blank and the folder exists, the folder add or the
// tree add. Returns the number added, or -1 when refused. (The window runs the scan through
// FolderScan instead and calls checkSuffixChosen / canChangeList first.)
int chooseFolder(AppContext& app, Prompter& prompter, const QString& folder, const QString& suffixList,
                 bool recursive);

// The message for a path that does not name a file or folder, with the true reason (a name
// that is not UTF-8, a dangling or looping link, or nothing there).
QString missingPathText(const QString& path);

// false (after the busy refusal) while a run is in progress.
bool canChangeList(AppContext& app, Prompter& prompter);

// m_clearDocList, m_selAll (= lbl_select 0), lbl_select 1 and 2, m_delSelList (= lbl_select 3),
// m_clearSame.
void clearList(AppContext& app, Prompter& prompter);
void selectAll(AppContext& app);
void selectNone(AppContext& app);
void invertSelection(AppContext& app);
int deleteTicked(AppContext& app, Prompter& prompter);
int clearSame(AppContext& app, Prompter& prompter);

// cmdSxStart: both fields trimmed; both empty: "文档路径包含与不包含必须输入一项！" ("出错！") and
// false. Otherwise the filter, then "文档筛选成功！" ("筛选") and true. *removed (when given)
// receives the number removed.
bool filter(AppContext& app, Prompter& prompter, const QString& mustContain, const QString& mustNotContain,
            bool caseSensitive, int* removed = nullptr);

}  // namespace listcmd
}  // namespace vm
