#pragma once
// Comment removal and document clean-up of many documents: "docPzDel" (批量删除批注) and
// "docQlDel" (批量清理文档) with the options of the clean-up window ("文档清理"), declared in
// cleanup.cpp.

#include <QString>

#include <array>

#include "app/settingsstore.h"

namespace vm::ops {

// The six boxes of the clean-up window (chkDelOpt), by index.
struct CleanupSettings {
  enum Option { BlankParagraphs = 0, Hyperlinks = 1, Spaces = 2, Headers = 3, Footers = 4, Comments = 5 };
  std::array<bool, 6> options{};
  bool any() const;

  static constexpr const char* kKeepAs = "cleanup";
  void keep(SettingsFields& f) {
    const char* names[] = {"blankParagraphs", "hyperlinks", "spaces", "headers", "footers", "comments"};
    for (size_t i = 0; i < options.size(); ++i) f(names[i], options[i]);
  }
};

// Deletes every comment of the document; returns how many. Saves.
int deleteComments(const QString& path);

// The routines of the ticked options in their fixed order (hyperlinks, blank paragraphs,
// half-width spaces of the main text, headers with watermarks, footers, comments), in one
// opening of the document, saved once. Returns the summary line; with no option ticked the
// document is not opened.
QString cleanDocument(const QString& path, const CleanupSettings& settings);

}  // namespace vm::ops
