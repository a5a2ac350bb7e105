#pragma once
// Merging the ticked documents into the merge target (合并拆分 → 批量合并文档): the settings
// that 文档合并设置 edits, their checks, and the names of the numbered results.

#include <QString>

#include <optional>

#include "app/settingsstore.h"

namespace vm::ops {

inline constexpr const char* kMergeOperationId = "docHbwd";

struct MergeSettings {
  QString target;                    // txtHbSave
  int mode = -1;                     // chkFileHb: 0 one document, 1 several, -1 neither ticked
  QString perText;                   // txtPHb: listed documents per merged document
  QString maxPagesText = QStringLiteral("0");  // txtMaxPages: page budget, 0 off
  bool before = false;               // chkWdBChk
  QString beforePath;                // txtWdB
  bool after = false;                // chkWdEChk
  QString afterPath;                 // txtWdE
  bool pageBreak = false;            // chkWdAddNew

  static constexpr const char* kKeepAs = "merge";
  void keep(SettingsFields& f) {
    f("target", target), f("mode", mode), f("per", perText), f("maxPages", maxPagesText), f("before", before);
    f("beforePath", beforePath), f("after", after), f("afterPath", afterPath), f("pageBreak", pageBreak);
  }
};

struct MergeProblem {
  QString text;
  bool fixInWindow = true;  // the start command opens the settings window after its message
};

// The first failing check of the settings in the written order, as the window's save button
// (start false) or the start command (true: its wording, and the before- and after-documents
// must exist) runs them; nullopt when all pass.
std::optional<MergeProblem> mergeSettingsProblem(const MergeSettings& s, bool start);

// The page budget as a number, nullopt when txtMaxPages is empty or not a number.
std::optional<double> mergeBudget(const QString& text);

// The group size N of the several-documents mode, nullopt unless a whole number.
std::optional<int> mergeGroupSize(const QString& text);

// The result of group n beside the target: all.docx -> all_1.docx; a name without "." -> name_1.
QString numberedMergeName(const QString& target, int group);

// Page breaks that pad a document spanning `span` pages more than its first to the budget.
int paddingBreaks(double budget, int span);

}  // namespace vm::ops
