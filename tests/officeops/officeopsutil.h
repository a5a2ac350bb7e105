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

// A field of pdfinfo's report ("Pages", "Page size"), trimmed; empty when missing.
inline std::string pdfinfo(const fs::path& pdf, const std::string& field) {
  const std::string out = "\n" + shell("pdfinfo '" + pdf.string() + "' 2>/dev/null");
  const auto at = out.find("\n" + field + ":");
  if (at == std::string::npos) return {};
  const auto from = out.find_first_not_of(' ', at + field.size() + 2);
  return out.substr(from, out.find('\n', from) - from);
}

inline int pdfPages(const fs::path& pdf) {
  const std::string pages = pdfinfo(pdf, "Pages");
  return pages.empty() ? -1 : std::stoi(pages);
}

// The page count of the document rendered to PDF by the office.
inline int renderedPages(const fs::path& doc) {
  const fs::path pdf = renderPdf(doc);
  const int pages = pdfPages(pdf);
  fs::remove(pdf);
  return pages;
}

// The office's Word 97 copy of a .docx, beside it.
inline fs::path asDoc(const fs::path& docx) {
  vm::word::OpenOptions o;
  o.readOnly = true;
  o.features = {vm::word::Feature::Convert};
  auto d = vm::word::open(docx, o);
  const fs::path doc = fs::path(docx).replace_extension(".doc");
  d->saveAs(doc, vm::word::SaveFormat::Doc);
  return doc;
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
