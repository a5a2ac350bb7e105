#pragma once
// Splitting (合并拆分 → 文档拆分设置 / 批量拆分文档, command `split`): every ticked document is cut
// into new documents of P pages each, in page order, saved into the output folder as
// NAME_1.EXT, NAME_2.EXT, ...; optionally a document inserted before every page, one at the end
// of every new document, and page breaks up to a page budget. The source stays as it was.

#include <QString>

#include <optional>
#include <utility>
#include <vector>

#include "app/settingsstore.h"

namespace vm::ops {

// The settings window frmFgsetup, as typed (checked when saved and at the start).
struct SplitSettings {
  QString folder;              // txtHbSave
  QString perPage = QStringLiteral("1");   // txtPerPage: P
  QString maxPages = QStringLiteral("0");  // txtMaxPages: B, 0 = no filling
  bool before = false;         // chkWdBChk
  QString beforePath;          // txtWdB
  bool after = false;          // chkWdEChk
  QString afterPath;           // txtWdE

  static constexpr const char* kKeepAs = "split";
  void keep(SettingsFields& f) {
    f("folder", folder), f("perPage", perPage), f("maxPages", maxPages), f("before", before);
    f("beforePath", beforePath), f("after", after), f("afterPath", afterPath);
  }
};

// Which validation: the window's save button or the start command (other folder wordings, and
// the inserted documents must exist).
enum class SplitCheck { Save, Start };

// The first problem of the settings in the checking order, as the message to show; nullopt
// when they are sound. The start command checks the document list before these.
std::optional<QString> splitSettingsProblem(const SplitSettings& s, SplitCheck which);

// The txtMaxPages change check: the message while the field is empty or not a number.
std::optional<QString> maxPagesTypingProblem(const QString& text);

// What one run splits with, read from the settings when it starts.
struct SplitPlan {
  QString folder;     // ends with "/"
  int perPage = 1;    // P >= 1
  int maxPages = 0;   // B; 0: no filling
  QString before;     // empty: none
  QString after;      // empty: none
};
SplitPlan splitPlan(const SplitSettings& s);

// The page ranges (first, last; 1-based) of the new documents of a source of `pages` pages.
std::vector<std::pair<int, int>> splitParts(int pages, int perPage);

// folder + the source's name without its extension + "_" + part + "." + its extension; a
// source name without "." gets no extension ("memo_1").
QString splitOutputName(const QString& folder, const QString& sourcePath, int part);

// Splits one source document; returns the line of the run's summary. A failure after some new
// documents were saved names them in its message.
QString splitDocument(const QString& sourcePath, const SplitPlan& plan);

}  // namespace vm::ops
