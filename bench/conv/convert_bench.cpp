// Format conversion through the office back end, warm: every document of a list saved in one
// format (open, saveAs, close), one warm office for the whole list.
//
//   vm_bench_convert --list FILES.txt --out DIR --format doc|rtf|txt|unicode|html|pdf --data DIR
//
// Prints one JSON line: documents, errors, wall seconds.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "word/document.h"
#include "word/office/office.h"

namespace fs = std::filesystem;
using vm::word::SaveFormat;

int main(int argc, char** argv) {
  std::map<std::string, std::string> a;
  for (int i = 1; i + 1 < argc; i += 2) a[argv[i]] = argv[i + 1];
  const std::map<std::string, std::pair<SaveFormat, std::string>> formats = {
      {"doc", {SaveFormat::Doc, ".doc"}},   {"rtf", {SaveFormat::Rtf, ".rtf"}},   {"txt", {SaveFormat::Text, ".txt"}},
      {"unicode", {SaveFormat::UnicodeText, ".txt"}}, {"html", {SaveFormat::Html, ".html"}}, {"pdf", {SaveFormat::Pdf, ".pdf"}}};
  auto f = formats.find(a["--format"]);
  if (f == formats.end() || a["--list"].empty() || a["--out"].empty() || a["--data"].empty()) {
    std::cerr << "usage: vm_bench_convert --list FILES --out DIR --format FORMAT --data DIR\n";
    return 2;
  }
  std::vector<fs::path> docs;
  std::ifstream in(a["--list"]);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) docs.push_back(line);
  fs::create_directories(a["--out"]);
  vm::word::office::OfficeOptions options;
  options.dataFolder = a["--data"];
  options.maxOffices = 1;  // one warm office against soffice's one process
  auto office = std::make_shared<vm::word::office::OfficeBackend>(options);
  vm::word::setOfficeBackend(office);
  int errors = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < docs.size(); ++i) {
    try {
      vm::word::OpenOptions o;
      o.readOnly = true;
      o.features = {vm::word::Feature::Convert};
      auto doc = vm::word::open(docs[i], o);
      char name[32];
      std::snprintf(name, sizeof name, "%05zu", i);
      doc->saveAs(fs::path(a["--out"]) / (name + f->second.second), f->second.first);
      doc->close();
    } catch (const std::exception& e) {
      if (++errors <= 5) std::cerr << docs[i] << ": " << e.what() << "\n";
    }
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("{\"tool\":\"engine\",\"format\":\"%s\",\"docs\":%zu,\"errors\":%d,\"wall_s\":%.3f}\n", f->first.c_str(),
              docs.size(), errors, wall);
  vm::word::setOfficeBackend(nullptr);
  return 0;
}
