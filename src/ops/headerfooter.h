#pragma once
// Headers and footers of many documents: add the content of the header and footer settings to
// the current page header (footer), clear every header (footer), replace by the header and
// footer rules in the current page header (footer). Six operations ("docYmAdd", "docYjAdd",
// "docYmDel", "docYjDel", "docYmRep", "docYjRep") declared in headerfooter.cpp; the watermark
// removal and the clean-up reuse the clearing.

#include <QList>
#include <QString>

#include "rules/replacerules.h"
#include "word/document.h"
#include "app/settingsstore.h"

namespace vm::ops {

// The header and footer settings window ("页眉页脚设置"): plain text or "[img]path[/img]".
struct HeaderFooterSettings {
  QString header;
  QString footer;
  bool removeUnderline = false;  // "去除下划线": no bottom border under the inserted content

  static constexpr const char* kKeepAs = "headerFooter";
  void keep(SettingsFields& f) { f("header", header), f("footer", footer), f("removeUnderline", removeUnderline); }
};

// The header and footer replace rules ("页眉页脚替换规则"), a list of its own.
struct HeaderFooterRules {
  rules::ReplaceRules list;

  static constexpr const char* kKeepAs = "headerFooterRules";
  void keep(SettingsFields& f) { f("rules", list); }
};

// Inserts content (trimmed by the caller) at the start of the current page header (kind
// Header) or footer, created when missing; a picture reference inserts the picture. Saves.
void addHeaderFooter(const QString& path, word::StoryKind kind, const QString& content, bool removeUnderline);

// Empties every header (footer) story of the document, of every section (text, pictures,
// watermarks); the main text is never touched. Returns how many stories it emptied.
int clearHeadersFooters(word::Document& doc, word::StoryKind kind);
int clearHeadersFooters(const QString& path, word::StoryKind kind);

// Applies the ticked rules in list order to the current page header (footer); a document
// without one is left as it was. Returns the number of replacements.
int replaceInHeaderFooter(const QString& path, word::StoryKind kind, const QList<rules::Rule>& rules);

std::filesystem::path toPath(const QString& path);
// Opens a document with a back end offering features (the engine's refusals are thrown).
std::unique_ptr<word::Document> openFor(const QString& path, word::FeatureSet features);

}  // namespace vm::ops
