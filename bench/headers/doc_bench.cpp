// The header operations on Word 97 .doc files through the office back end (one warm office):
// per document load, work, save and close, for the replace run and each operation, on copies of
// the corpus .doc files. Prints per operation the documents done, refused (a save that would
// lose content is refused and counted apart) and failed, and the median and 90th percentile
// milliseconds per done document.
//
//   vm_bench_headers_doc [corpus folder]

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "word/error.h"
#include "word/office/office.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using vm::word::StoryKind;

namespace {

std::vector<fs::path> corpusDocs(const fs::path& corpus) {
  std::vector<fs::path> out;
  std::ifstream in(corpus / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string c; std::getline(ss, c, '\t');) f.push_back(c);
    if (f.size() >= 8 && f[5] == "doc" && f[7] == "-") out.push_back(corpus / f[0]);
  }
  return out;
}

void work(vm::word::Document& doc, const std::string& mode) {
  if (mode == "replace") {
    doc.mainStory().replaceAll("the", "teh");
  } else if (mode == "header") {
    vm::word::Story& head = doc.ensureStory(StoryKind::Header);
    head.insertTextAtStart("机密文件");
    head.removeFirstParagraphBorder();
  } else if (mode == "watermark") {
    vm::word::Watermark mark;
    mark.text = "内部资料";
    mark.colour = 0xC0C0C0;
    mark.transparency = 0.5;
    mark.heightPt = 30 / 0.3528;
    mark.widthPt = 100 / 0.3528;
    doc.ensureStory(StoryKind::Header).addWatermark(mark);
    doc.removeHeaderStyleBorder();
  } else {  // clean: the six options in their order
    vm::word::Story& main = doc.mainStory();
    main.removeHyperlinks();
    main.removeBlankParagraphs();
    main.replaceAll(" ", "");
    for (StoryKind kind : {StoryKind::Header, StoryKind::Footer})
      for (vm::word::Story* s : doc.stories(kind)) s->clear();
    doc.deleteComments();
  }
}

double percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(q * (v.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path(VM_CORPUS_DIR);
  char tmpl[] = "/tmp/vm-headers-doc-bench-XXXXXX";
  const fs::path tmp = mkdtemp(tmpl);
  const auto docs = corpusDocs(corpus);
  vm::word::office::OfficeOptions options;
  options.dataFolder = tmp / "data";
  options.maxOffices = 1;
  auto office = vm::word::office::installOfficeBackend(options);
  std::printf("%zu corpus .doc files, one warm office\n", docs.size());
  std::printf("%-10s %5s %8s %7s %10s %8s\n", "operation", "done", "refused", "failed", "median_ms", "p90_ms");
  // A first document warms the office up outside the figures.
  if (!docs.empty()) {
    fs::copy_file(docs[0], tmp / "warm.doc");
    try {
      office->open(tmp / "warm.doc", {})->close();
    } catch (const std::exception&) {
    }
  }
  for (const std::string mode : {"replace", "header", "watermark", "clean"}) {
    std::vector<double> times;
    int refused = 0, failed = 0;
    fs::create_directories(tmp / mode);
    for (const fs::path& source : docs) {
      const fs::path copy = tmp / mode / source.filename();
      fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
      const auto start = Clock::now();
      try {
        auto doc = office->open(copy, {});
        work(*doc, mode);
        doc->save();
        doc->close();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      } catch (const vm::word::EngineError& e) {
        (e.code() == vm::word::ErrorCode::LossyRoundTrip ? refused : failed)++;
        if (e.code() != vm::word::ErrorCode::LossyRoundTrip && std::getenv("VERBOSE"))
          std::fprintf(stderr, "  %s %s: %s\n", mode.c_str(), source.filename().c_str(), e.what());
      }
    }
    std::printf("%-10s %5zu %8d %7d %10.0f %8.0f\n", mode.c_str(), times.size(), refused, failed,
                percentile(times, 0.5), percentile(times, 0.9));
  }
  vm::word::setOfficeBackend(nullptr);
  office.reset();
  fs::remove_all(tmp);
  return 0;
}
