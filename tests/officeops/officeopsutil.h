#pragma once
// What the merge and split tests share: documents of numbered pages, the page count of a
// rendering, and the texts as the office reads them back.

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/docxbuilder.h"
#include "word/document.h"

namespace vm::officeops {

namespace fs = std::filesystem;

inline const std::string kBreak = "<w:r><w:br w:type=\"page\"/></w:r>";

inline std::string shell(const std::string& command) {
  std::string out;
  FILE* f = popen(command.c_str(), "r");
  if (!f) return out;
  char buf[512];
  while (fgets(buf, sizeof buf, f)) out += buf;
  pclose(f);
  return out;
}

// Pages "NAME 1" .. "NAME n", one paragraph each.
inline fs::path numberedPages(const fs::path& path, const std::string& name, int n) {
  using namespace vm::test;
  std::string body = p(r(name + " 1"));
  for (int i = 2; i <= n; ++i) body += p(kBreak + r(name + " " + std::to_string(i)));
  return DocxBuilder().body(body).write(path);
}

// The document rendered to PDF by the office, beside it.
inline fs::path renderPdf(const fs::path& doc) {
  const fs::path pdf = doc.parent_path() / (doc.stem().string() + ".rendered.pdf");
  vm::word::OpenOptions o;
  o.readOnly = true;
  o.features = {vm::word::Feature::Render};
  auto d = vm::word::open(doc, o);
  d->saveAs(pdf, vm::word::SaveFormat::Pdf);
  d->close();
  return pdf;
}

// The page count of the document rendered to PDF by the office, as pdfinfo reads it.
inline int renderedPages(const fs::path& doc) {
  const fs::path pdf = renderPdf(doc);
  const std::string out = shell("pdfinfo '" + pdf.string() + "' 2>/dev/null");
  fs::remove(pdf);
  const auto at = out.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(out.substr(at + 6));
}

// The non-empty paragraph texts of the main story without page breaks (the office moves a
// break to the end of the paragraph before), read by the docx engine or (office) by the office.
inline std::vector<std::string> texts(const fs::path& path, bool office = false) {
  vm::word::OpenOptions o;
  o.readOnly = true;
  if (office) o.features = {vm::word::Feature::Layout};
  auto d = vm::word::open(path, o);
  std::vector<std::string> out;
  for (const auto& para : d->mainStory().paragraphs()) {
    std::string t = para.text;
    std::erase(t, '\f');
    if (t.find_first_not_of(" \t") != std::string::npos) out.push_back(t);
  }
  return out;
}

// The same texts as python-docx reads them, one a line; empty when python-docx is missing.
inline std::vector<std::string> pythonDocxTexts(const fs::path& path) {
  const std::string out = shell("/usr/bin/python3 -c 'import docx,sys\n"
                                "for x in docx.Document(sys.argv[1]).paragraphs:\n"
                                "  t=x.text.strip()\n"
                                "  t and print(t)' '" + path.string() + "' 2>/dev/null");
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(out.substr(at, nl - at));
  return lines;
}

inline bool pdfinfoMissing() { return QStandardPaths::findExecutable("pdfinfo").isEmpty(); }

}  // namespace vm::officeops
